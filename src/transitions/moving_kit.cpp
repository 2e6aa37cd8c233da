#include "transitions/moving_kit.h"

#include "transitions/style_kit.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace qv {

int32_t DepthSize(int32_t full, int32_t depth) {
    if (depth <= 0) {
        return full;
    }
    return static_cast<int32_t>((int64_t{full} * 5) / (3 * (int64_t{depth} + 1)));
}

bool AddSizeSteps(FrameContext& ctx) {
    const PictureSlot& full = ctx.Engine.Pictures[0];
    const int32_t w = full.Width();
    const int32_t h = full.Height();
    for (int32_t k = 1; k < kDepthSteps; ++k) {
        AddScaledPicture(ctx, 0, DepthSize(w, k), DepthSize(h, k));
        if (ctx.Engine.EngineFailed) {
            return false;
        }
    }
    return true;
}

bool StartFlyers(FrameContext& ctx, int32_t flyerPicture) {
    RasterEngine& e = ctx.Engine;
    EngineInit(ctx, 128, 128, 256, kTexturedRendering);
    if (e.EngineFailed) {
        return false;
    }
    LoadPicture(ctx, flyerPicture);
    if (e.EngineFailed) {
        return false;
    }
    BuildCommonPalette(ctx, false);
    if (e.EngineFailed) {
        return false;
    }
    if (ctx.Run.IsPreview) {
        ShrinkPictures(ctx, kAllPictures);
    }
    if (!AddSizeSteps(ctx)) {
        return false;
    }
    EngineStart(ctx, ctx.Run.SaverWnd);
    return !e.EngineFailed;
}

SizeSteps MeasureSizeSteps(const RasterEngine& engine) {
    SizeSteps steps;
    const int32_t w = engine.Pictures[0].Width();
    const int32_t h = engine.Pictures[0].Height();
    for (size_t k = 0; k < kDepthSteps; ++k) {
        const PictureSlot& copy = engine.Pictures[k];
        steps.Width[k] = copy.Width();
        steps.Height[k] = copy.Height();
        steps.OffsetX[k] = (w - copy.Width()) / 2;
        steps.OffsetY[k] = (h - copy.Height()) / 2;
    }
    return steps;
}

void TracePictureArea(FrameContext& ctx) {
    if (ctx.Os.Trace().Enabled()) {
        ctx.Os.Trace().Emit("picture-area",
                            {{"top", ctx.Run.FreeTop}, {"bottom", ctx.Run.FreeBottom}});
    }
}

int32_t RandomPlace(FrameContext& ctx, int64_t range) {
    const int64_t n = std::clamp<int64_t>(range, 0, UINT32_MAX);
    return NextRandom(ctx, static_cast<uint32_t>(n));
}

bool InsidePictureArea(const RunState& run, int32_t top, int32_t height) {
    return top >= run.FreeTop && int64_t{top} + height <= run.FreeBottom;
}

namespace {

// The rows of [top, top + height) that lie in the picture area, as a rectangle of the
// given columns; empty when none does.
Rect RowsInArea(const RunState& run, int32_t left, int32_t right, int64_t top, int64_t height) {
    const int64_t first = std::max<int64_t>(top, run.FreeTop);
    const int64_t end = std::min<int64_t>(top + height, run.FreeBottom);
    if (end <= first || right <= left) {
        return {};
    }
    return {left, static_cast<int32_t>(first), right, static_cast<int32_t>(end)};
}

void Fill(FrameContext& ctx, const Rect& rect) {
    if (!rect.Empty() && ctx.Engine.WindowDC != 0) {
        ctx.Os.Gdi().FillRect(ctx.Engine.WindowDC, rect, ctx.Engine.BlackBrush);
    }
}

// Draws the rows `rows` (window coordinates, within the picture) of a picture placed with
// its top-left corner at (x, y).
void PresentRows(FrameContext& ctx, int32_t x, int32_t y, const PictureSlot& picture,
                 const Rect& rows) {
    if (rows.Empty() || ctx.Engine.WindowDC == 0 || picture.Pixels.empty()) {
        return;
    }
    const int32_t h = picture.Height();
    const int32_t skipTop = rows.Top - y;
    const int32_t lines = rows.Height();
    // The source's lower-left corner counts scans from the bottom of the bottom-up rows.
    ctx.Os.Gdi().SetDIBitsToDevice(ctx.Engine.WindowDC, x, rows.Top, picture.Width(), lines, 0,
                                   h - skipTop - lines, 0, static_cast<uint32_t>(h),
                                   picture.Pixels.data(), &picture.Header, DIB_RGB_COLORS);
}

} // namespace

void PresentInArea(FrameContext& ctx, int32_t x, int32_t y, const PictureSlot& picture) {
    const Rect rows = RowsInArea(ctx.Run, x, x + picture.Width(), y, picture.Height());
    PresentRows(ctx, x, y, picture, rows);
}

void FillInArea(FrameContext& ctx, Rect rect) {
    Fill(ctx,
         RowsInArea(ctx.Run, rect.Left, rect.Right, rect.Top, int64_t{rect.Bottom} - rect.Top));
}

void MovedPicture::Present(FrameContext& ctx, int32_t x, int32_t y, const PictureSlot& picture) {
    const Rect next = RowsInArea(ctx.Run, x, x + picture.Width(), y, picture.Height());
    const Rect prev = m_previous;
    if (!prev.Empty()) {
        if (next.Empty()) {
            Fill(ctx, prev);
        } else {
            // Each strip of the old place that the new one leaves spans the old place's
            // whole extent in the other direction.
            if (next.Left > prev.Left) {
                Fill(ctx, {prev.Left, prev.Top, std::min(next.Left, prev.Right), prev.Bottom});
            }
            if (next.Right < prev.Right) {
                Fill(ctx, {std::max(next.Right, prev.Left), prev.Top, prev.Right, prev.Bottom});
            }
            if (next.Top > prev.Top) {
                Fill(ctx, {prev.Left, prev.Top, prev.Right, std::min(next.Top, prev.Bottom)});
            }
            if (next.Bottom < prev.Bottom) {
                Fill(ctx, {prev.Left, std::max(next.Bottom, prev.Top), prev.Right, prev.Bottom});
            }
        }
    }
    PresentRows(ctx, x, y, picture, next);
    m_previous = next;
}

} // namespace qv
