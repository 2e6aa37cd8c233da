#include "picture_record.h"

#include "show/picture_codec.h"
#include "show/show_reader.h"
#include "show/show_writer.h"

#include <algorithm>
#include <cstring>

namespace qv::tool {
namespace {

uint32_t Le32(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Le16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

void Put16(ShowWriter& w, uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    w.WriteBytes(b, 2);
}

} // namespace

const char* CompressionName(uint32_t compression) {
    switch (compression) {
    case 0:
        return "raw";
    case 1:
        return "rle8";
    case 4:
        return "scheme4";
    default:
        return "raw (unknown packing value)";
    }
}

std::optional<Compression> ParseCompression(const std::string& name) {
    if (name == "raw") {
        return Compression::Raw;
    }
    if (name == "rle8") {
        return Compression::Rle8;
    }
    if (name == "scheme4") {
        return Compression::Scheme4;
    }
    return std::nullopt;
}

std::vector<uint8_t> EncodePictureRecord(const IndexedPicture& p, Compression compression) {
    std::vector<uint8_t> data;
    switch (compression) {
    case Compression::Raw:
        data = p.Pixels;
        break;
    case Compression::Rle8:
        data = EncodeRle8(p.Pixels, p.Width, p.Height, p.Stride());
        break;
    case Compression::Scheme4:
        data = EncodeScheme4(p.Pixels);
        break;
    }
    ShowWriter w;
    // BITMAPFILEHEADER: "BM", file size, two reserved words, offset of the pixel data.
    w.WriteBytes("BM", 2);
    w.WriteInt(static_cast<int32_t>(kRecordHeadSize + data.size()));
    w.WriteInt(0);
    w.WriteInt(static_cast<int32_t>(kRecordHeadSize));
    // BITMAPINFOHEADER.
    w.WriteInt(40);
    w.WriteInt(p.Width);
    w.WriteInt(p.Height); // positive: rows bottom-up
    Put16(w, 1);
    Put16(w, 8);
    w.WriteInt(static_cast<int32_t>(compression));
    w.WriteInt(static_cast<int32_t>(data.size()));
    w.WriteInt(0);
    w.WriteInt(0);
    w.WriteInt(256);
    w.WriteInt(256);
    for (const RGBQUAD& c : p.Palette) {
        const uint8_t q[4] = {c.Blue, c.Green, c.Red, 0};
        w.WriteBytes(q, 4);
    }
    w.WriteBytes(data.data(), data.size());
    return std::move(w.Bytes());
}

PictureRecordInfo ReadPictureRecord(std::span<const uint8_t> file, int64_t offset) {
    PictureRecordInfo r;
    r.Offset = offset;
    const auto size = static_cast<int64_t>(file.size());
    if (offset < 0 || offset >= size) {
        r.Problem = "offset outside the file";
        return r;
    }
    if (size - offset < static_cast<int64_t>(kRecordHeadSize)) {
        r.Problem = "truncated at byte " + std::to_string(size) + ": the picture header is cut";
        return r;
    }
    r.HeaderComplete = true;
    const auto at = static_cast<size_t>(offset) + kFileHeaderSize;
    BITMAPINFOHEADER& h = r.Info.bmiHeader;
    h.biSize = Le32(file, at);
    h.biWidth = static_cast<int32_t>(Le32(file, at + 4));
    h.biHeight = static_cast<int32_t>(Le32(file, at + 8));
    h.biPlanes = Le16(file, at + 12);
    h.biBitCount = Le16(file, at + 14);
    h.biCompression = Le32(file, at + 16);
    h.biSizeImage = Le32(file, at + 20);
    h.biXPelsPerMeter = static_cast<int32_t>(Le32(file, at + 24));
    h.biYPelsPerMeter = static_cast<int32_t>(Le32(file, at + 28));
    h.biClrUsed = Le32(file, at + 32);
    h.biClrImportant = Le32(file, at + 36);
    for (size_t i = 0; i < 256; ++i) {
        const size_t c = at + 40 + 4 * i;
        r.Info.bmiColors[i] = RGBQUAD{file[c], file[c + 1], file[c + 2], file[c + 3]};
    }

    const int64_t stride = (static_cast<int64_t>(h.biWidth) + 3) & ~int64_t{3};
    const int64_t bytes = stride * static_cast<int64_t>(h.biHeight);
    r.DataSize = h.biSizeImage == 0 ? bytes : static_cast<int64_t>(h.biSizeImage);
    const int64_t dataStart = offset + static_cast<int64_t>(kRecordHeadSize);
    r.DataAvailable = std::clamp<int64_t>(size - dataStart, 0, std::max<int64_t>(r.DataSize, 0));

    if (h.biClrUsed != 256 || h.biClrImportant != 256) {
        r.Problem = "colours used/important not 256 (the player fails with LB)";
    } else if (h.biWidth <= 0 || h.biHeight <= 0) {
        r.Problem = "width and height must be positive";
    } else if (bytes > kMaxPictureBytes) {
        r.Problem = "larger than 4194304 bytes (the player fails with BB)";
    } else if (r.DataAvailable < r.DataSize) {
        r.Problem = "truncated at byte " + std::to_string(size) + ": pixel data cut";
    }
    return r;
}

std::optional<IndexedPicture> DecodePictureRecord(std::span<const uint8_t> file,
                                                  const PictureRecordInfo& info) {
    if (!info.HeaderComplete) {
        return std::nullopt;
    }
    const BITMAPINFOHEADER& h = info.Info.bmiHeader;
    const int64_t stride = (static_cast<int64_t>(h.biWidth) + 3) & ~int64_t{3};
    if (h.biClrUsed != 256 || h.biClrImportant != 256 || h.biWidth <= 0 || h.biHeight <= 0 ||
        stride * h.biHeight > kMaxPictureBytes) {
        return std::nullopt;
    }
    IndexedPicture p;
    p.Width = h.biWidth;
    p.Height = h.biHeight;
    std::copy(std::begin(info.Info.bmiColors), std::end(info.Info.bmiColors), p.Palette.begin());
    p.Pixels.assign(static_cast<size_t>(stride * h.biHeight), 0);
    const std::span<const uint8_t> data =
        file.subspan(static_cast<size_t>(info.Offset) + kRecordHeadSize,
                     static_cast<size_t>(info.DataAvailable));
    switch (h.biCompression) {
    case 1:
        DecodeRle8(data, p.Pixels, static_cast<int32_t>(stride));
        break;
    case 4:
        DecodeScheme4(data, p.Pixels);
        break;
    default:
        std::memcpy(p.Pixels.data(), data.data(), std::min(data.size(), p.Pixels.size()));
        break;
    }
    return p;
}

std::array<int64_t, kTableEntries> ReadPictureTable(std::span<const uint8_t> file, int64_t offset) {
    std::array<int64_t, kTableEntries> table{};
    if (offset < 0 || offset > static_cast<int64_t>(file.size())) {
        return table;
    }
    MemoryShowReader reader(file, static_cast<size_t>(offset));
    const int64_t base = offset + static_cast<int64_t>(kTableSize);
    for (int64_t& entry : table) {
        entry = base + reader.ReadInt();
    }
    return table;
}

} // namespace qv::tool
