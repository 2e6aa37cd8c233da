#pragma once

#include <string>

namespace qv::tool {

// The transition styles a show may name: for each id its style, mode and parameter fields
// (in stored order, with when each is present and its limits).
std::string FormatStyleList();

} // namespace qv::tool
