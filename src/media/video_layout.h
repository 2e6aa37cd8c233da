#pragma once

#include "platform/geometry.h"
#include "show/style_blocks.h"

#include <cstdint>

namespace qv {

// Where the video goes: w = W0 * VideoWidth / 100, h = H0 * VideoHeight / 100,
// x = (screenW - w) * VideoLeft / 100, y = (screenH - h) * VideoTop / 100, in 32-bit
// arithmetic that wraps as the stored values' own arithmetic did, multiplying first and
// dividing toward zero. The result is (x, y, x + w, y + h).
Rect VideoDestination(Size natural, const VideoBlock& params, int32_t screenW, int32_t screenH);

} // namespace qv
