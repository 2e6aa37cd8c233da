#pragma once

#include <cstdint>

namespace qv {

struct FrameContext;

// The transition styles, one entry point each. A style reads its parameter block from
// the show file (which stands at it when the style is called), loads its pictures into
// the raster engine, runs its own frame loop until the stop flag is set, and returns.

// The slideshow: the show's pictures one at a time, each brought onto a black screen by a
// reveal effect (mode 0: palette fade, 1: block dissolve, 2: strip wipe), held, and taken
// away by the same effect.
void RunSlideshow(FrameContext& ctx, uint8_t mode);

} // namespace qv
