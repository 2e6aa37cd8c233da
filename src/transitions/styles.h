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

// Scattered pictures: copies of the show's pictures stamped one by one at random places,
// a collage that moves on to the next picture every SwitchTime milliseconds (after a
// black wipe, with ClearOnSwitch).
void RunScatteredPictures(FrameContext& ctx);

// Floating picture: one of the show's pictures drifting over a black screen, bouncing off
// the sides and the caption margins, exchanged in place for the next every SwitchTime
// milliseconds.
void RunFloatingPicture(FrameContext& ctx);

// Flying pictures: copies of one picture flying out of the depth of the screen toward the
// viewer through twenty size steps, each wiped away at full size and started again.
void RunFlyingPictures(FrameContext& ctx);

// Parallax flight: copies of one picture in twenty sizes crossing the screen in one
// direction, the smaller the slower, each in a lane of its own.
void RunParallaxFlight(FrameContext& ctx);

} // namespace qv
