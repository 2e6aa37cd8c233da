#include "raster/engine.h"
#include "show/picture_codec.h"

#include <algorithm>
#include <cstring>

namespace qv {
namespace {

// The BMP file header that precedes each picture record; the player skips it.
constexpr int32_t kFileHeaderBytes = 14;
constexpr uint32_t kCompressionScheme4 = 4;

int32_t StrideFor(int32_t width) {
    return (width + 3) & ~3;
}

// Reads exactly count bytes at the file's position; false when the file ends first.
bool ReadExactly(EngineContext& ctx, void* out, int64_t count) {
    FileSystem& files = ctx.Os.Files();
    auto* bytes = static_cast<uint8_t*>(out);
    while (count > 0) {
        const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(count, 1 << 24));
        const int32_t got = files.ReadFile(ctx.Engine.ShowFile, bytes, chunk);
        if (got <= 0) {
            return false;
        }
        bytes += got;
        count -= got;
    }
    return true;
}

// The next free slot, or nothing (and "GA") when all 20 are taken.
PictureSlot* NextSlot(EngineContext& ctx) {
    if (ctx.Engine.PictureTotal >= kMaxPictures) {
        EngineFail(ctx, "GA");
        return nullptr;
    }
    return &ctx.Engine.Pictures[static_cast<size_t>(ctx.Engine.PictureTotal)];
}

// Nearest sampling with floating-point ratios: destination (j, i) takes source column
// Trunc(j * sw / dw) of source row Trunc(i * sh / dh).
void ScalePixels(const PictureSlot& src, uint8_t* dst, int32_t dw, int32_t dh, int32_t dstride) {
    const PictureRows from = src.Rows();
    const int32_t sw = from.Width;
    const int32_t sh = from.Height;
    const double xRatio = static_cast<double>(sw) / dw;
    const double yRatio = static_cast<double>(sh) / dh;
    for (int32_t i = 0; i < dh; ++i) {
        const int32_t si = std::min(static_cast<int32_t>(i * yRatio), sh - 1);
        const uint8_t* srow = from.Row(si);
        uint8_t* drow = dst + static_cast<size_t>(i) * static_cast<size_t>(dstride);
        for (int32_t j = 0; j < dw; ++j) {
            drow[j] = srow[std::min(static_cast<int32_t>(j * xRatio), sw - 1)];
        }
    }
}

// Sizes below 2 become 2; false (and "BB") for a picture too large to hold.
bool FitSize(EngineContext& ctx, int32_t& w, int32_t& h) {
    w = std::max(w, 2);
    h = std::max(h, 2);
    if (static_cast<int64_t>(StrideFor(std::min(w, 1 << 30))) * h > kMaxPictureBytes) {
        EngineFail(ctx, "BB");
        return false;
    }
    return true;
}

void SetPictureHeader(PictureSlot& slot, int32_t w, int32_t h) {
    slot.Stride = StrideFor(w);
    slot.Size = slot.Stride * h;
    slot.Header.bmiHeader.biWidth = w;
    slot.Header.bmiHeader.biHeight = h;
    slot.Header.bmiHeader.biBitCount = 8;
    slot.Header.bmiHeader.biCompression = BI_RGB;
    slot.Header.bmiHeader.biSizeImage = static_cast<uint32_t>(slot.Size);
}

// Replaces picture n's pixels by a w x h copy.
void ReplaceScaled(EngineContext& ctx, int32_t n, int32_t w, int32_t h) {
    PictureSlot* found = FindPicture(ctx.Engine, n);
    if (found == nullptr || !FitSize(ctx, w, h)) {
        return;
    }
    PictureSlot& slot = *found;
    std::vector<uint8_t> pixels;
    if (!EngineAlloc(ctx, pixels, static_cast<int64_t>(StrideFor(w)) * h)) {
        return;
    }
    ScalePixels(slot, pixels.data(), w, h, StrideFor(w));
    slot.Pixels.swap(pixels);
    SetPictureHeader(slot, w, h);
}

template <bool Keyed>
void Overlay(EngineContext& ctx, int32_t dst, int32_t src) {
    RasterEngine& e = ctx.Engine;
    PictureSlot* target = FindPicture(e, dst);
    const PictureSlot* source = FindPicture(e, src);
    if (target == nullptr || source == nullptr) {
        return;
    }
    PictureSlot& d = *target;
    const PictureSlot& s = *source;
    constexpr int32_t kInset = 16;
    const int32_t pitch = e.ViewportW;
    const uint8_t key = s.KeyColour();
    // dst is laid out with the viewport width as its row pitch, whatever its own width:
    // its rows are not Row()'s. Only what lands inside dst's bytes is copied.
    const int32_t columns = std::min(s.Width(), pitch - kInset);
    for (int32_t i = 0; i < s.Height() && columns > 0; ++i) {
        const int64_t start = static_cast<int64_t>(kInset + i) * pitch + kInset;
        if (start + columns > d.Size) {
            break;
        }
        const uint8_t* srow = s.Row(i);
        uint8_t* drow = d.Pixels.data() + start;
        for (int32_t j = 0; j < columns; ++j) {
            if (!Keyed || srow[j] != key) {
                drow[j] = srow[j];
            }
        }
    }
}

} // namespace

void OpenPictureTable(EngineContext& ctx, HFILE file) {
    RasterEngine& e = ctx.Engine;
    e.ShowFile = file;
    e.PictureTable.fill(-1);
    std::array<uint8_t, kPictureTableSize * 4> raw{};
    FileSystem& files = ctx.Os.Files();
    const int32_t got = files.ReadFile(file, raw.data(), static_cast<int32_t>(raw.size()));
    const int64_t base = files.SetFilePointer(file, 0, SeekFrom::Current);
    if (got <= 0 || base < 0) {
        return;
    }
    // Offsets count from just after the table; entries the file does not hold stay unset.
    for (int32_t i = 0; i < kPictureTableSize && (i + 1) * 4 <= got; ++i) {
        int32_t offset = 0;
        std::memcpy(&offset, raw.data() + i * 4, 4);
        e.PictureTable[static_cast<size_t>(i)] = base + offset;
    }
}

namespace {

// Reads picture n of the table into slot; on failure the slot is left as it was.
bool LoadInto(EngineContext& ctx, PictureSlot* slot, int32_t n) {
    RasterEngine& e = ctx.Engine;
    FileSystem& files = ctx.Os.Files();
    // A table entry outside the file, or a record cut short, is a bad picture.
    const int64_t fileSize = files.GetFileSize(e.ShowFile);
    const int64_t offset =
        n >= 0 && n < kPictureTableSize ? e.PictureTable[static_cast<size_t>(n)] : -1;
    constexpr int64_t kRecordHead = kFileHeaderBytes + static_cast<int64_t>(sizeof(BITMAPINFO));
    if (offset < 0 || fileSize < 0 || offset + kRecordHead > fileSize ||
        files.SetFilePointer(e.ShowFile, offset + kFileHeaderBytes, SeekFrom::Begin) < 0) {
        EngineFail(ctx, "LB");
        return false;
    }
    BITMAPINFO header{};
    if (!ReadExactly(ctx, &header, sizeof header)) {
        EngineFail(ctx, "LB");
        return false;
    }
    const BITMAPINFOHEADER& h = header.bmiHeader;
    if (h.biClrUsed != 256 || h.biClrImportant != 256 || h.biWidth <= 0 || h.biHeight <= 0) {
        EngineFail(ctx, "LB");
        return false;
    }
    const int64_t stride = (static_cast<int64_t>(h.biWidth) + 3) & ~int64_t{3};
    const int64_t size = stride * h.biHeight;
    if (size > kMaxPictureBytes) {
        EngineFail(ctx, "BB");
        return false;
    }
    const int64_t stored = h.biSizeImage == 0 ? size : static_cast<int64_t>(h.biSizeImage);
    if (offset + kRecordHead + stored > fileSize) {
        EngineFail(ctx, "LB");
        return false;
    }
    std::vector<uint8_t> pixels;
    if (!EngineAlloc(ctx, pixels, size)) {
        return false;
    }
    if (h.biCompression == BI_RLE8 || h.biCompression == kCompressionScheme4) {
        // Packed data goes to a scratch block and expands into the slot, never past it.
        std::vector<uint8_t> packed;
        if (!EngineAlloc(ctx, packed, stored)) {
            return false;
        }
        if (!ReadExactly(ctx, packed.data(), stored)) {
            EngineFail(ctx, "LB");
            return false;
        }
        if (h.biCompression == BI_RLE8) {
            DecodeRle8(packed, pixels, static_cast<int32_t>(stride));
        } else {
            DecodeScheme4(packed, pixels);
        }
    } else if (!ReadExactly(ctx, pixels.data(), std::min(stored, size))) {
        EngineFail(ctx, "LB");
        return false;
    }
    slot->Pixels.swap(pixels);
    slot->Header = header;
    SetPictureHeader(*slot, h.biWidth, h.biHeight);
    std::copy(std::begin(header.bmiColors), std::end(header.bmiColors),
              std::begin(e.FrameHeader.bmiColors));
    RebuildRgb555(e);
    return true;
}

} // namespace

void LoadPicture(EngineContext& ctx, int32_t n) {
    PictureSlot* slot = NextSlot(ctx);
    if (slot != nullptr && LoadInto(ctx, slot, n)) {
        ++ctx.Engine.PictureTotal;
    }
}

void ReloadPicture(EngineContext& ctx, int32_t slot, int32_t n) {
    if (slot < 0 || slot >= ctx.Engine.PictureTotal) {
        EngineFail(ctx, "LB");
        return;
    }
    LoadInto(ctx, &ctx.Engine.Pictures[static_cast<size_t>(slot)], n);
}

void FreePictures(EngineContext& ctx) {
    for (PictureSlot& slot : ctx.Engine.Pictures) {
        std::vector<uint8_t>().swap(slot.Pixels);
        slot.Stride = 0;
        slot.Size = 0;
    }
    ctx.Engine.PictureTotal = 0;
}

void AddScaledPicture(EngineContext& ctx, int32_t n, int32_t w, int32_t h) {
    RasterEngine& e = ctx.Engine;
    const PictureSlot* source = FindPicture(e, n);
    if (source == nullptr) {
        return;
    }
    PictureSlot* slot = NextSlot(ctx);
    if (slot == nullptr || !FitSize(ctx, w, h)) {
        return;
    }
    std::vector<uint8_t> pixels;
    if (!EngineAlloc(ctx, pixels, static_cast<int64_t>(StrideFor(w)) * h)) {
        return;
    }
    const PictureSlot& src = *source;
    ScalePixels(src, pixels.data(), w, h, StrideFor(w));
    slot->Header = src.Header;
    slot->Pixels.swap(pixels);
    SetPictureHeader(*slot, w, h);
    ++e.PictureTotal;
}

void ShrinkPictures(EngineContext& ctx, int32_t n) {
    const int32_t first = n == kAllPictures ? 0 : n;
    const int32_t last = n == kAllPictures ? ctx.Engine.PictureTotal - 1 : n;
    for (int32_t i = first; i <= last && !ctx.Engine.EngineFailed; ++i) {
        if (const PictureSlot* slot = FindPicture(ctx.Engine, i)) {
            ReplaceScaled(ctx, i, slot->Width() / 5, slot->Height() / 5);
        }
    }
}

void ResizePictures(EngineContext& ctx, int32_t n, int32_t w, int32_t h) {
    const int32_t first = n == kAllPictures ? 0 : n;
    const int32_t last = n == kAllPictures ? ctx.Engine.PictureTotal - 1 : n;
    for (int32_t i = first; i <= last && !ctx.Engine.EngineFailed; ++i) {
        ReplaceScaled(ctx, i, w, h);
    }
}

void AddBlankPicture(EngineContext& ctx, int32_t w, int32_t h) {
    RasterEngine& e = ctx.Engine;
    PictureSlot* slot = NextSlot(ctx);
    if (slot == nullptr || !FitSize(ctx, w, h)) {
        return;
    }
    std::vector<uint8_t> pixels;
    if (!EngineAlloc(ctx, pixels, static_cast<int64_t>(StrideFor(w)) * h)) {
        return;
    }
    slot->Header = e.FrameHeader;
    slot->Pixels.swap(pixels);
    SetPictureHeader(*slot, w, h);
    ++e.PictureTotal;
}

void OverlayPicture(EngineContext& ctx, int32_t dst, int32_t src) {
    Overlay<false>(ctx, dst, src);
}

void OverlayPictureKeyed(EngineContext& ctx, int32_t dst, int32_t src) {
    Overlay<true>(ctx, dst, src);
}

} // namespace qv
