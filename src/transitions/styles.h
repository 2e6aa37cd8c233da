#pragma once

#include "transitions/vector_math.h"

#include <cstdint>

namespace qv {

struct FrameContext;
struct ShowContext;

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

// Spotlights (mode 0, id 8): round spots glide over a black screen, each lighting the part
// of the picture tiled beneath it. Lenses (mode 1, id 16): round, square or triangular
// lenses glide over the tiled picture and enlarge what lies under their centres.
void RunSpotlights(FrameContext& ctx, uint8_t mode);

// The shapes of a spot.
inline constexpr int32_t kSpotCircle = 0;
inline constexpr int32_t kSpotSquare = 1;
inline constexpr int32_t kSpotTriangle = 2;

// The sizes of the spots, from the effective speed and the spot size (both already divided
// by 5 in preview) and, for lenses, the zoom factor (1 for spotlights).
struct SpotGeometry {
    int32_t Step = 1;       // v: a spot moves 2 v pixels per frame
    int32_t Size = 0;       // D: edge of the visible shape
    int32_t Edge = 12;      // B: edge of the square composed per spot, a multiple of 4
    int32_t Margin = 6;     // o: the shape lies from o to o + D across the square
    int32_t Zoom = 1;       // Z: the magnification of a lens
    double Reach = 0.0;     // R: lenses closer than this collide
    int32_t ZoomOffset = 0; // c: where the zoom picture starts inside the square
    int32_t ZoomEdge = 12;  // B div Z: the zoom picture's edge
};
SpotGeometry SpotlightsGeometry(int32_t speed, int32_t spotSize, int32_t zoomFactor);

// Two colliding lenses fly apart at the given speed: the earlier lens (of the pair, in
// spot order) away from the later one and the later away from the earlier, each direction
// tilted by up to 7 pixels at random (four draws, the earlier lens's first).
void SeparateLenses(ShowContext& ctx, const Vector2& at, Vector2& v, const Vector2& earlierAt,
                    Vector2& earlierV, double speed);

// Adds an edge x edge picture holding a spot's mask: 255 inside the shape (size pixels
// across, margin pixels in from the top-left corner; other shape values draw the circle)
// and 0 everywhere else, whatever palette the window has realised. False once the engine
// has failed.
bool AddSpotMask(FrameContext& ctx, int32_t edge, int32_t margin, int32_t size, int32_t shape);

// The painter sprite (id 9): a small animated figure flies over the desktop, then sweeps
// the screen until the next picture of the list, tiled, shows everywhere; and so on.
void RunPainterSprite(FrameContext& ctx);

// Where the painter's square is and how it sweeps: state 0 is a diagonal run, 1 a sweep
// along a side wall, 2 one along the top or the bottom; Left..Bottom bound what is still
// unpainted.
struct PainterSweep {
    double X = 0.0; // the square's top-left corner on the screen
    double Y = 0.0;
    Vector2 V;     // pixels per frame
    Vector2 Saved; // the velocity of the last frame in state 0
    int32_t State = 0;
    bool F1 = false; // state 1: reached the top; F2: then the bottom
    bool F2 = false;
    bool F3 = false; // state 2: reached the left; F4: then the right
    bool F4 = false;
    int32_t Target = 0; // the row (state 1) or column (state 2) that ends the sweep
    int32_t Left = 0;
    int32_t Right = 0;
    int32_t Top = 0;
    int32_t Bottom = 0;
    int32_t Width = 0; // the square: the sprite with its margin of 16 on every side
    int32_t Height = 0;
    int32_t Step = 2; // v: the speed in pixels per frame
};

// One frame of the sweep state machine, on the position already moved.
void StepSweep(ShowContext& ctx, PainterSweep& sweep);

// Parallax flight: copies of one picture in twenty sizes crossing the screen in one
// direction, the smaller the slower, each in a lane of its own.
void RunParallaxFlight(FrameContext& ctx);

} // namespace qv
