#include "show/show_signature.h"

#include <cstring>
#include <string_view>

namespace qv {
namespace {

struct Signature {
    std::string_view Bytes;
    size_t At; // where the bytes stand in the file
    const char* Kind;
};

using namespace std::string_view_literals;

const Signature kSignatures[] = {
    {"\x89PNG\r\n\x1a\n"sv, 0, "a PNG picture"},
    {"\xff\xd8\xff"sv, 0, "a JPEG picture"},
    {"GIF87a"sv, 0, "a GIF picture"},
    {"GIF89a"sv, 0, "a GIF picture"},
    {"BM"sv, 0, "a BMP picture"},
    {"RIFF"sv, 0, "a RIFF file (WAV sound or AVI video)"},
    {"PK\x03\x04"sv, 0, "a ZIP archive"},
    {"PK\x05\x06"sv, 0, "a ZIP archive"},
    {"MZ"sv, 0, "a Windows or DOS executable"},
    {"\x7f"
     "ELF"sv,
     0, "an ELF executable"},
    {"#!"sv, 0, "a script"},
};

bool HasControlCharacters(const std::string& text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\r' && c != '\n') {
            return true;
        }
    }
    return false;
}

} // namespace

const char* ForeignFileKind(std::span<const uint8_t> first) {
    for (const Signature& s : kSignatures) {
        if (first.size() >= s.At + s.Bytes.size() &&
            std::memcmp(first.data() + s.At, s.Bytes.data(), s.Bytes.size()) == 0) {
            return s.Kind;
        }
    }
    return nullptr;
}

bool ImpossibleHeader(const ShowRecord& s, bool headerCut) {
    if (!headerCut && s.TransitionType >= 0 && s.TransitionType <= 16) {
        return false;
    }
    for (const std::string* text :
         {&s.ExtraFileName[0], &s.ExtraFileName[1], &s.SaverFileName, &s.SaverTitle, &s.AboutText,
          &s.ClientText, &s.SoundFile, &s.BannerPlace, &s.BannerText, &s.BannerFont, &s.ClockPlace,
          &s.ClockFormat, &s.ClockFont}) {
        if (HasControlCharacters(*text)) {
            return true;
        }
    }
    return false;
}

} // namespace qv
