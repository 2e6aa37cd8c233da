#pragma once

#include "platform/error.h"
#include "raster/engine.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace qv {

// Writes palette indices into the rows of one target in one pixel format: 8-bit indices
// as they stand (Pixel = uint8_t) or 16-bit RGB555 pixels through the working palette's
// table (Pixel = uint16_t). Rows are in buffer order (bottom-up), Stride pixels apart.
// An operation picks the writer once, through PixelTarget::Write, and runs its loops on
// it, so the pixel format is never tested per pixel.
template <typename Pixel>
struct PixelWriter {
    static_assert(std::is_same_v<Pixel, uint8_t> || std::is_same_v<Pixel, uint16_t>);

    Pixel* Pixels = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;
    const uint16_t* Rgb555 = nullptr;

    // The target's pixel for a palette index.
    Pixel Convert(uint8_t index) const {
        if constexpr (std::is_same_v<Pixel, uint16_t>) {
            return Rgb555[index];
        } else {
            return index;
        }
    }
    Pixel* Row(int32_t r) const {
        QV_CHECK(r >= 0 && r < Height);
        return Pixels + static_cast<size_t>(r) * static_cast<size_t>(Stride);
    }
    void Put(int32_t r, int32_t c, uint8_t index) const {
        QV_CHECK(c >= 0 && c < Width);
        Row(r)[c] = Convert(index);
    }
    // count pixels of row r from column c, taken from count palette indices.
    void Copy(int32_t r, int32_t c, const uint8_t* from, int32_t count) const {
        if (count <= 0) {
            return;
        }
        QV_CHECK(c >= 0 && count <= Width - c);
        Pixel* to = Row(r) + c;
        if constexpr (std::is_same_v<Pixel, uint16_t>) {
            for (int32_t i = 0; i < count; ++i) {
                to[i] = Rgb555[from[i]];
            }
        } else {
            std::memcpy(to, from, static_cast<size_t>(count));
        }
    }
    void Fill(int32_t r, int32_t c, int32_t count, uint8_t index) const {
        if (count <= 0) {
            return;
        }
        QV_CHECK(c >= 0 && count <= Width - c);
        Pixel* to = Row(r) + c;
        std::fill(to, to + count, Convert(index));
    }
};

// Where an operation draws: picture dst, or the frame buffer for dst = kFrameBuffer. A
// high-colour frame buffer holds 16-bit pixels (Rgb555 set); everything else 8-bit ones.
struct PixelTarget {
    uint8_t* Pixels = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;
    const uint16_t* Rgb555 = nullptr;

    explicit operator bool() const { return Pixels != nullptr; }

    // Runs op once with the writer for this target's pixel format and returns its result.
    template <typename Op>
    decltype(auto) Write(Op&& op) const {
        if (Rgb555 != nullptr) {
            return op(PixelWriter<uint16_t>{reinterpret_cast<uint16_t*>(Pixels), Width, Height,
                                            Stride, Rgb555});
        }
        return op(PixelWriter<uint8_t>{Pixels, Width, Height, Stride, nullptr});
    }
};

// The target for dst; empty (false) when there is none.
inline PixelTarget TargetFor(RasterEngine& e, int32_t dst) {
    if (dst == kFrameBuffer) {
        if (e.FrameBuffer.empty()) {
            return {};
        }
        return {e.FrameBuffer.data(), e.ViewportW, e.ViewportH, e.ViewportW,
                e.HighColour ? e.Rgb555.data() : nullptr};
    }
    PictureSlot* p = FindPicture(e, dst);
    if (p == nullptr) {
        return {};
    }
    return {p->Pixels.data(), p->Width(), p->Height(), p->Stride, nullptr};
}

} // namespace qv
