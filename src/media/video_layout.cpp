#include "media/video_layout.h"

namespace qv {
namespace {

// 32-bit two's-complement arithmetic without undefined overflow.
int32_t Mul32(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
int32_t Add32(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t Sub32(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

} // namespace

Rect VideoDestination(Size natural, const VideoBlock& params, int32_t screenW, int32_t screenH) {
    const int32_t w = Mul32(natural.Width, params.VideoWidth) / 100;
    const int32_t h = Mul32(natural.Height, params.VideoHeight) / 100;
    const int32_t x = Mul32(Sub32(screenW, w), params.VideoLeft) / 100;
    const int32_t y = Mul32(Sub32(screenH, h), params.VideoTop) / 100;
    return {x, y, Add32(x, w), Add32(y, h)};
}

} // namespace qv
