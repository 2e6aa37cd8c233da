#pragma once

#include <cstdint>

namespace qv::test {

// What the probe draws into a window of width x height: black, with a picture of
// kPictureW x kPictureH in the middle whose every pixel differs from its neighbours, so a
// shifted, scaled or partly copied picture does not match. 0x00RRGGBB.
inline constexpr int32_t kPictureW = 120;
inline constexpr int32_t kPictureH = 90;

inline uint32_t ProbePixel(int32_t x, int32_t y, int32_t width, int32_t height) {
    const int32_t w = width < kPictureW ? width : kPictureW;
    const int32_t h = height < kPictureH ? height : kPictureH;
    const int32_t left = (width - w) / 2;
    const int32_t top = (height - h) / 2;
    if (x < left || y < top || x >= left + w || y >= top + h) {
        return 0;
    }
    const uint32_t px = static_cast<uint32_t>(x - left);
    const uint32_t py = static_cast<uint32_t>(y - top);
    return (((px * 7 + 20) & 0xFF) << 16) | (((py * 11 + 40) & 0xFF) << 8) |
           ((px * 3 + py * 5 + 60) & 0xFF);
}

} // namespace qv::test
