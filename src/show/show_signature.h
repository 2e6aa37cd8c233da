#pragma once

#include "show/show_record.h"

#include <cstdint>
#include <span>

namespace qv {

// What kind of other file these first bytes begin (a show file has no signature of its
// own, so only the signatures of other formats can tell): "a PNG picture", "a ZIP
// archive", ..., or null when they are none of the kinds known here.
const char* ForeignFileKind(std::span<const uint8_t> firstBytes);

// True when a header read from a file cannot have been written for a show: its transition
// id is no style's (or the file ends inside the header) and a text of it holds control
// characters, as random or foreign bytes read as a header do.
bool ImpossibleHeader(const ShowRecord& show, bool headerCut);

} // namespace qv
