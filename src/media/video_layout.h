#pragma once

#include "platform/geometry.h"

#include <cstdint>
#include <string>

namespace qv {

// The video style's parameter block, in the order it is stored.
struct VideoParams {
    std::string VideoFile;
    int32_t VideoLoop = 0;   // low byte non-zero: play over and over
    int32_t VideoWidth = 0;  // percent of the video's own width
    int32_t VideoHeight = 0; // percent of the video's own height
    int32_t VideoLeft = 0;   // percent of the room beside the video: 0 left, 100 right
    int32_t VideoTop = 0;    // percent of the room above and below: 0 top, 100 bottom
};

// Where the video goes: w = W0 * VideoWidth / 100, h = H0 * VideoHeight / 100,
// x = (screenW - w) * VideoLeft / 100, y = (screenH - h) * VideoTop / 100, in 32-bit
// arithmetic that wraps as the stored values' own arithmetic did, multiplying first and
// dividing toward zero. The result is (x, y, x + w, y + h).
Rect VideoDestination(Size natural, const VideoParams& params, int32_t screenW, int32_t screenH);

} // namespace qv
