#pragma once

#include <cstdint>

namespace qv {

struct FrameContext;
struct BITMAPINFO;

// Which way an effect runs: Reveal draws the picture, Remove blacks its rectangle out.
enum class RevealDirection : uint8_t { Remove = 0, Reveal = 1 };

// The block grid of a dissolve: the block edge in pixels and the number of columns and
// rows. The edge is blockPercent of the picture's larger side (at least one pixel); while
// that gives 50 or more columns or rows, the percentage is raised by one, so the grid never
// exceeds 49 x 49 blocks.
struct BlockGrid {
    int32_t Edge = 1;
    int32_t Columns = 0;
    int32_t Rows = 0;
    int32_t Percent = 0; // the percentage actually used
};
BlockGrid BlockDissolveGrid(int32_t width, int32_t height, int32_t blockPercent);

// The strips of a wipe: columns or rows of 2 pixels, numbered from Start towards End
// (exclusive) by Step (+1 or -1), one every TimeStep milliseconds. Directions: 0 left to
// right, 1 top to bottom, 2 right to left, 3 bottom to top (4, "one at random", is resolved
// by the caller). Any other direction wipes left to right.
struct StripPlan {
    bool Columns = true;
    int32_t Direction = 0;
    int32_t Start = 0;
    int32_t End = 0;
    int32_t Step = 1;
    double TimeStep = 0.0;
};
StripPlan StripWipePlan(int32_t width, int32_t height, int32_t direction, int32_t duration);

// The block orders of a dissolve.
inline constexpr int32_t kDissolveRandom = 0;
inline constexpr int32_t kDissolveByColumn = 1;
inline constexpr int32_t kDissolveByRow = 2;
// The wipe direction that picks one of the four at random for each run.
inline constexpr int32_t kWipeRandom = 4;

// The three reveal effects of the slideshow. Each paces itself on Elapsed over duration
// milliseconds, pumps messages at every step and returns early once the stop flag is set.
// pixels and header are a picture as the raster engine holds it (bottom-up 8-bit rows and
// its 1064-byte header with colour table); (x, y) is its top-left corner in the window.
void PaletteFade(FrameContext& ctx, int32_t x, int32_t y, const uint8_t* pixels,
                 const BITMAPINFO& header, RevealDirection reveal, int32_t duration);
void BlockDissolve(FrameContext& ctx, int32_t x, int32_t y, const uint8_t* pixels,
                   const BITMAPINFO& header, RevealDirection reveal, int32_t blockPercent,
                   int32_t duration, int32_t order);
void StripWipe(FrameContext& ctx, int32_t x, int32_t y, const uint8_t* pixels,
               const BITMAPINFO& header, RevealDirection reveal, int32_t duration,
               int32_t direction);

} // namespace qv
