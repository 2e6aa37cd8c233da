#pragma once

#include "raster/engine.h"

namespace qv {

// Where an operation draws: picture dst, or the frame buffer for dst = -1, as 8-bit rows
// in buffer order (bottom-up).
struct PixelTarget {
    uint8_t* Pixels = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;
    uint8_t* Row(int32_t r) const { return Pixels + static_cast<size_t>(r) * Stride; }
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
        return {e.FrameBuffer.data(), e.ViewportW, e.ViewportH, e.ViewportW};
    }
    PictureSlot* p = PictureFor(e, dst);
    if (p == nullptr) {
        return {};
    }
    return {p->Pixels.data(), p->Width(), p->Height(), p->Stride};
}

} // namespace qv
