#include "show/settings.h"

#include <cstdint>

namespace qv {

std::string SettingsSection(const ShowRecord& show) {
    return "Screen Saver." + show.SaverTitle;
}

std::optional<int32_t> ParseSettingsNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    bool hex = false;
    if (!text.empty() && text.front() == '$') {
        hex = true;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) {
            return std::nullopt;
        }
    }
    if (hex) {
        // Hexadecimal fills all 32 bits: $FFFFFFFF is -1.
        const auto bits = static_cast<int32_t>(static_cast<uint32_t>(value));
        return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(bits)) : bits;
    }
    if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull) {
        return std::nullopt;
    }
    return negative ? static_cast<int32_t>(-static_cast<int64_t>(value))
                    : static_cast<int32_t>(value);
}

void LoadSettings(ShowContext& ctx) {
    const std::string section = SettingsSection(ctx.Show);
    ProfileStore& profile = ctx.Os.Profile();
    const auto read = [&](const char* key, int32_t fallback) {
        return ParseSettingsNumber(profile.GetPrivateProfileString(section, key, "", kSettingsFile))
            .value_or(fallback);
    };
    ctx.Run.Speed = read("Speed", 50);
    ctx.Run.SoundOn = static_cast<uint8_t>(read("Sound", 1) & 0xFF);
}

void SaveSettings(ShowContext& ctx) {
    const std::string section = SettingsSection(ctx.Show);
    ProfileStore& profile = ctx.Os.Profile();
    profile.WriteString(section, "Speed", std::to_string(ctx.Run.Speed), kSettingsFile);
    profile.WriteString(section, "Sound", std::to_string(ctx.Run.SoundOn), kSettingsFile);
}

} // namespace qv
