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

// The melting screen: blocks of the window copied onto themselves a few pixels off, every
// 5 ms, with the next picture tiled afresh every ShowTime seconds (optionally starting on
// the desktop).
void RunMeltingScreen(FrameContext& ctx);

// The ripple: each picture alone, centred in the picture area, its rows and columns swung
// by two travelling, dying sine waves, for PictureTime milliseconds.
void RunRipple(FrameContext& ctx);

// The bouncing cube: a box with the show's pictures on its faces, spinning and drifting
// over the screen's background, bouncing off its sides and the caption bands.
void RunBouncingCube(FrameContext& ctx);

// The exploding picture: one picture cut into tiles that fly apart in space and back home
// again, over and over.
void RunExplodingPicture(FrameContext& ctx);

// Flying tiles: one picture built up tile by tile, each tile a small box flying in from
// beyond the screen's edge to land in its place, then taken apart again the same way.
void RunFlyingTiles(FrameContext& ctx);

// One component of a flying tile's velocity: a multiple of 0.5 from -8.5 to 8.5 whose size
// is at least `least`, each allowed value equally likely, in one random draw. When `least`
// is above 8.5 (a screen wider than 1275 pixels) no value qualifies and the result is
// -8.5 or +8.5, the fastest there is.
double DrawTileSpeed(FrameContext& ctx, double least);

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

} // namespace qv
