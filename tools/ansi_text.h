#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv::tool {

// Show files hold texts in the Windows ANSI code page (1252); manifests and info output are
// UTF-8 JSON. Every byte has a code point (the five bytes 1252 leaves undefined map to the
// C1 controls of the same value), so a text survives the trip both ways unchanged.
std::string AnsiToUtf8(std::string_view ansi);
// Empty when the text is not valid UTF-8 or holds a character code page 1252 lacks.
std::optional<std::string> Utf8ToAnsi(std::string_view utf8);

} // namespace qv::tool
