#pragma once

#include "platform/gdi.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qv::tool {

// An 8-bit picture as the player holds it: rows bottom-up, each row Stride() bytes, and a
// full 256-entry colour table.
struct IndexedPicture {
    int32_t Width = 0;
    int32_t Height = 0;
    std::array<RGBQUAD, 256> Palette{};
    std::vector<uint8_t> Pixels;

    int32_t Stride() const { return (Width + 3) & ~3; }
    uint8_t At(int32_t x, int32_t yFromTop) const {
        return Pixels[static_cast<size_t>(Height - 1 - yFromTop) * static_cast<size_t>(Stride()) +
                      static_cast<size_t>(x)];
    }
};

// How a picture's pixel data is stored.
enum class Compression : uint32_t { Raw = 0, Rle8 = 1, Scheme4 = 4 };
const char* CompressionName(uint32_t compression); // "raw", "rle8", "scheme4", or "raw (n)"
std::optional<Compression> ParseCompression(const std::string& name);

// The sizes of a picture record's parts.
inline constexpr size_t kFileHeaderSize = 14;
inline constexpr size_t kInfoSize = 40 + 256 * 4;
inline constexpr size_t kRecordHeadSize = kFileHeaderSize + kInfoSize;
// The largest picture the player loads (stride x height).
inline constexpr int64_t kMaxPictureBytes = 4194304;
inline constexpr int32_t kTableEntries = 64;
inline constexpr size_t kTableSize = kTableEntries * 4;

// A picture record: BMP file header, BITMAPINFOHEADER with 256 colours used and
// important, the 256-entry colour table and the pixel data in the given packing.
std::vector<uint8_t> EncodePictureRecord(const IndexedPicture& picture, Compression compression);

// What a file holds at a picture offset, read the way the player loads it.
struct PictureRecordInfo {
    int64_t Offset = 0;          // absolute file offset of the record
    bool HeaderComplete = false; // the 14 + 1064 bytes of the record's head are in the file
    BITMAPINFO Info{};
    int64_t DataSize = 0;      // bytes of pixel data the player reads
    int64_t DataAvailable = 0; // how many of them the file holds
    std::string Problem;       // empty when the player would load it whole
};
PictureRecordInfo ReadPictureRecord(std::span<const uint8_t> file, int64_t offset);

// Decodes a record as the player does: packed data expanded into a zero-filled picture,
// bytes beyond the end of the file read as absent. Empty when the player would refuse it
// (the reason is in info.Problem).
std::optional<IndexedPicture> DecodePictureRecord(std::span<const uint8_t> file,
                                                  const PictureRecordInfo& info);

// The 64 table entries at `offset` as absolute offsets (each stored offset is relative to
// the position right after the table). Entries beyond the end of the file read as 0.
std::array<int64_t, kTableEntries> ReadPictureTable(std::span<const uint8_t> file, int64_t offset);

} // namespace qv::tool
