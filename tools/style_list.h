#pragma once

#include "saver/style_registry.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qv::tool {

// The transition styles a show may name: for each id its style, mode and parameter fields
// (in stored order, with when each is present and its limits).
std::string FormatStyleList();

// A manifest for a first show of the style: every header field and every field of its
// block at the sample value of the field table, and the pictures given (or placeholder
// names picture1.png, ... for a style that shows pictures).
nlohmann::ordered_json StyleTemplate(const StyleEntry& style, std::vector<std::string> pictures);

} // namespace qv::tool
