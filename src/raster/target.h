#pragma once

#include "raster/engine.h"

#include <algorithm>
#include <cstring>

namespace qv {

// Where an operation draws: picture dst, or the frame buffer for dst = -1, as rows in
// buffer order (bottom-up), Stride pixels apart. A high-colour frame buffer holds 16-bit
// pixels: palette indices written to it go through the RGB555 table.
struct PixelTarget {
    uint8_t* Pixels = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;
    const uint16_t* Rgb555 = nullptr;

    size_t At(int32_t r, int32_t c) const {
        return static_cast<size_t>(r) * static_cast<size_t>(Stride) + static_cast<size_t>(c);
    }
    void Put(int32_t r, int32_t c, uint8_t index) const {
        if (Rgb555 != nullptr) {
            reinterpret_cast<uint16_t*>(Pixels)[At(r, c)] = Rgb555[index];
        } else {
            Pixels[At(r, c)] = index;
        }
    }
    // count pixels of row r from column c.
    void Copy(int32_t r, int32_t c, const uint8_t* from, int32_t count) const {
        if (count <= 0) {
            return;
        }
        if (Rgb555 != nullptr) {
            uint16_t* to = reinterpret_cast<uint16_t*>(Pixels) + At(r, c);
            for (int32_t i = 0; i < count; ++i) {
                to[i] = Rgb555[from[i]];
            }
        } else {
            std::memcpy(Pixels + At(r, c), from, static_cast<size_t>(count));
        }
    }
    void Fill(int32_t r, int32_t c, int32_t count, uint8_t index) const {
        if (count <= 0) {
            return;
        }
        if (Rgb555 != nullptr) {
            uint16_t* to = reinterpret_cast<uint16_t*>(Pixels) + At(r, c);
            std::fill(to, to + count, Rgb555[index]);
        } else {
            std::memset(Pixels + At(r, c), index, static_cast<size_t>(count));
        }
    }
};

inline PictureSlot* PictureFor(RasterEngine& e, int32_t n) {
    if (n < 0 || n >= e.PictureTotal || e.Pictures[static_cast<size_t>(n)].Pixels.empty()) {
        return nullptr;
    }
    return &e.Pictures[static_cast<size_t>(n)];
}

// The target for dst; Pixels is null when there is none.
inline PixelTarget TargetFor(RasterEngine& e, int32_t dst) {
    if (dst == -1) {
        if (e.FrameBuffer.empty()) {
            return {};
        }
        return {e.FrameBuffer.data(), e.ViewportW, e.ViewportH, e.ViewportW,
                e.HighColour ? e.Rgb555.data() : nullptr};
    }
    PictureSlot* p = PictureFor(e, dst);
    if (p == nullptr) {
        return {};
    }
    return {p->Pixels.data(), p->Width(), p->Height(), p->Stride, nullptr};
}

} // namespace qv
