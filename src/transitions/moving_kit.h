#pragma once

// What the styles that move pictures straight on the window share: the twenty size steps
// of one flying picture, the rule for random places whose range is negative, and drawing
// and erasing that keeps to the picture area between the caption bands.

#include "transitions/frame.h"

#include <array>
#include <cstdint>

namespace qv {

// Twenty sizes of the picture in slot 0, one per depth: depth 0 is the picture itself,
// depth k (1..19) a copy of width (w * 5) div (3 * (k + 1)) and height likewise, in slot k.
// Offset is where a depth's copy sits inside the full-size footprint, so that all sizes
// share one centre.
inline constexpr int32_t kDepthSteps = 20;

struct SizeSteps {
    std::array<int32_t, kDepthSteps> Width{};
    std::array<int32_t, kDepthSteps> Height{};
    std::array<int32_t, kDepthSteps> OffsetX{};
    std::array<int32_t, kDepthSteps> OffsetY{};
};

// The width or height of depth k's copy of a picture of the given full size (before the
// engine's 2-pixel minimum).
int32_t DepthSize(int32_t full, int32_t depth);

// Adds the copies for depths 1..19 from slot 0, in that order, into slots 1..19. False
// once the engine has failed.
bool AddSizeSteps(FrameContext& ctx);

// The start of the two flying styles: the engine with its 128 x 128 frame, the flyer
// picture in slot 0 on the common palette (a fifth of its size in preview), its nineteen
// smaller copies, and EngineStart. False once the engine has failed.
bool StartFlyers(FrameContext& ctx, int32_t flyerPicture);

// The sizes and centring offsets of the twenty slots, read back from the engine.
SizeSteps MeasureSizeSteps(const RasterEngine& engine);

// Reports the picture area on the trace (for tests watching a run from outside).
void TracePictureArea(FrameContext& ctx);

// A random place in 0..range-1. A negative range (a picture larger than the room it is
// placed in) counts as 0, like an exact fit: the place is then the start of the range.
int32_t RandomPlace(FrameContext& ctx, int64_t range);

// Whether the rows top..top+height-1 lie within the picture area FreeTop..FreeBottom-1.
bool InsidePictureArea(const RunState& run, int32_t top, int32_t height);

// Presents a picture slot's pixels at (x, y), only the rows that fall within the picture
// area (the window clips the columns), so that no caption band is drawn over.
void PresentInArea(FrameContext& ctx, int32_t x, int32_t y, const PictureSlot& picture);

// Fills rect black with the engine's black brush, cut to the rows of the picture area.
void FillInArea(FrameContext& ctx, Rect rect);

// A picture moved about the window: each presentation erases the part of the previous one
// that the new one does not cover, so the movement does not flicker. Both are cut to the
// picture area, so the erasing never reaches into a caption band either.
class MovedPicture {
public:
    void Present(FrameContext& ctx, int32_t x, int32_t y, const PictureSlot& picture);

private:
    Rect m_previous{}; // the rows last drawn; empty: nothing yet
};

} // namespace qv
