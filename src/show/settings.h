#pragma once

#include "show/show_context.h"

#include <optional>
#include <string>
#include <string_view>

namespace qv {

inline constexpr const char* kSettingsFile = "control.ini";

// "Screen Saver." + SaverTitle: the section of this saver's settings in control.ini.
std::string SettingsSection(const ShowRecord& show);

// LoadSettings: Speed (default 50) and SoundOn (default 1, lowest byte of the number).
void LoadSettings(ShowContext& ctx);
// SaveSettings: writes Speed, then Sound; a failed write raises PlatformError.
void SaveSettings(ShowContext& ctx);

// A number as the settings text holds it: decimal, or hexadecimal after "0x", "0X" or "$",
// with an optional sign; nothing when the text is not a number or does not fit 32 bits.
std::optional<int32_t> ParseSettingsNumber(std::string_view text);

} // namespace qv
