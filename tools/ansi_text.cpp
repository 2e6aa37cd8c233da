#include "ansi_text.h"

#include <cstdint>

namespace qv::tool {
namespace {

// Code points of bytes 0x80..0x9F in code page 1252.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void PutUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::optional<uint8_t> ToAnsi(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<uint8_t>(c);
    }
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == c) {
            return static_cast<uint8_t>(0x80 + i);
        }
    }
    return std::nullopt;
}

} // namespace

std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (const char ch : ansi) {
        const auto b = static_cast<uint8_t>(ch);
        PutUtf8(out, b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : static_cast<char32_t>(b));
    }
    return out;
}

std::optional<std::string> Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        char32_t c = 0;
        size_t n = 0;
        if (b < 0x80) {
            c = b;
            n = 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1Fu;
            n = 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0Fu;
            n = 3;
        } else {
            return std::nullopt; // four-byte characters are all outside code page 1252
        }
        if (i + n > utf8.size()) {
            return std::nullopt;
        }
        for (size_t k = 1; k < n; ++k) {
            const auto cont = static_cast<uint8_t>(utf8[i + k]);
            if ((cont & 0xC0) != 0x80) {
                return std::nullopt;
            }
            c = (c << 6) | (cont & 0x3Fu);
        }
        const std::optional<uint8_t> a = ToAnsi(c);
        if (!a) {
            return std::nullopt;
        }
        out += static_cast<char>(*a);
        i += n;
    }
    return out;
}

} // namespace qv::tool
