#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/moving_kit.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>

namespace qv {
namespace {

constexpr int32_t kMaxFlyers = 64;
constexpr int32_t kNearest = 0;
constexpr int32_t kFarthest = kDepthSteps - 1; // a restarted copy's depth

// One flying copy: its velocity (divided by the depth on every frame), the top-left corner
// of its full-size footprint, and its depth (above 19: not yet visible).
struct Flyer {
    int32_t Vx = 0;
    int32_t Vy = 0;
    int32_t Px = 0;
    int32_t Py = 0;
    int32_t Depth = 0;
};

// Everything one run keeps: its block, the sizes, the copies and the ring of their order.
struct FlyingState {
    FlyingBlock Block;
    int32_t Spread = 80;
    int32_t W = 0;
    int32_t H = 0;
    SizeSteps Sizes;
    std::array<Flyer, kMaxFlyers> Flyers{};
    int32_t Count = 0;
    int32_t Ring = 0; // the copy most recently restarted
    int64_t Frame = 0;
};

// The frame period in milliseconds at effective speed 1..100.
int32_t FramePeriod(int32_t speed) {
    return 201 - 2 * speed;
}

// A new start near the centre, flying outward the way it is placed.
void Launch(FrameContext& ctx, const FlyingState& s, Flyer& f) {
    const int32_t r = s.Spread;
    const int32_t a = NextRandom(ctx, static_cast<uint32_t>(2 * r + 1)) - r;
    const int32_t b = NextRandom(ctx, static_cast<uint32_t>(2 * r + 1)) - r;
    f.Vx = static_cast<int32_t>(std::trunc(a * 1.4 * 1.7));
    f.Vy = static_cast<int32_t>(std::trunc(b * 1.7));
    f.Px = static_cast<int32_t>(int64_t{(ctx.Run.ScreenW - s.W) / 2} * (a + 100) / 100);
    f.Py = static_cast<int32_t>(int64_t{(ctx.Run.ScreenH - s.H) / 2} * (b + 100) / 100);
}

// Whether a copy at a visible depth lies within the picture area vertically (the window
// clips it sideways).
bool Visible(const FrameContext& ctx, const FlyingState& s, const Flyer& f) {
    if (f.Depth > kFarthest || f.Depth < kNearest) {
        return false;
    }
    const auto d = static_cast<size_t>(f.Depth);
    return InsidePictureArea(ctx.Run, f.Py + s.Sizes.OffsetY[d], s.Sizes.Height[d]);
}

Rect Drawn(const FlyingState& s, const Flyer& f) {
    const auto d = static_cast<size_t>(f.Depth);
    const int32_t left = f.Px + s.Sizes.OffsetX[d];
    const int32_t top = f.Py + s.Sizes.OffsetY[d];
    return {left, top, left + s.Sizes.Width[d], top + s.Sizes.Height[d]};
}

void Erase(FrameContext& ctx, const FlyingState& s, const Flyer& f) {
    if (Visible(ctx, s, f)) {
        FillInArea(ctx, Drawn(s, f));
    }
}

// Erases a copy where it was, brings it one depth nearer (moving faster the nearer it is)
// and draws it there.
void Fly(FrameContext& ctx, FlyingState& s, int32_t i) {
    Flyer& f = s.Flyers[static_cast<size_t>(i)];
    Erase(ctx, s, f);
    const int32_t before = f.Depth;
    f.Depth -= 1;
    f.Px += f.Vx / before;
    f.Py += f.Vy / before;
    if (Visible(ctx, s, f)) {
        const Rect at = Drawn(s, f);
        const PictureSlot& picture = ctx.Engine.Pictures[static_cast<size_t>(f.Depth)];
        PresentPixels(ctx, at.Left, at.Top, picture.Pixels.data(), picture.Header);
        if (ctx.Os.Trace().Enabled()) {
            ctx.Os.Trace().Emit("flyer", {{"i", i},
                                          {"depth", f.Depth},
                                          {"x", at.Left},
                                          {"y", at.Top},
                                          {"w", at.Width()},
                                          {"h", at.Height()},
                                          {"frame", s.Frame}});
        }
    }
}

} // namespace

void RunFlyingPictures(FrameContext& ctx) {
    FlyingState s;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        StyleBlock<FlyingBlock> block = ReadStyleBlock(file, kFlyingParams, 0);
        s.Block = block.Values;
        EffectiveSpeed(ctx, s.Block.SpeedOffset);
        // The whole block and the picture table are read before a bad count is refused.
        OpenPictureTable(ctx, ctx.Run.ShowFile);
        if (block.Refused) {
            ErrorScreen(ctx, block.Refused->Refusal);
            return;
        }
    }
    s.Count = s.Block.FlyerCount;
    const int32_t period = FramePeriod(ctx.Run.Speed);

    if (!StartFlyers(ctx, s.Block.FlyerPicture)) {
        return;
    }
    if (ctx.Run.IsPreview) {
        s.Spread = 20;
    }
    RasterEngine& e = ctx.Engine;
    s.W = e.Pictures[0].Width();
    s.H = e.Pictures[0].Height();
    s.Sizes = MeasureSizeSteps(e);

    // Staggered in depth between 19 and 38, copy 0 farthest.
    for (int32_t i = 0; i < s.Count; ++i) {
        Flyer& f = s.Flyers[static_cast<size_t>(i)];
        Launch(ctx, s, f);
        f.Depth = ((s.Count - 1 - i) * 20) / s.Count + kFarthest;
    }
    s.Ring = s.Count - 1;

    DrawCaptions(ctx);
    TracePictureArea(ctx);
    // Without captions the copies may leave the screen at the top and bottom before they
    // stop being drawn.
    if (ctx.Run.FreeTop == 0) {
        ctx.Run.FreeTop = -400;
    }
    if (ctx.Run.FreeBottom == ctx.Run.ScreenH) {
        ctx.Run.FreeBottom = ctx.Run.ScreenH + 400;
    }

    FramePacer pacer(ctx, period);
    while (!ctx.StopRequested) {
        pacer.Advance();
        ++s.Frame;
        // Ring order: the farthest copies first, so that nearer ones cover them.
        for (int32_t k = 0; k < s.Count; ++k) {
            Fly(ctx, s, (s.Ring + 1 + k) % s.Count);
        }
        pacer.Wait();
        for (int32_t i = 0; i < s.Count; ++i) {
            Flyer& f = s.Flyers[static_cast<size_t>(i)];
            if (f.Depth != kNearest) {
                continue;
            }
            Erase(ctx, s, f);
            Launch(ctx, s, f);
            f.Depth = kFarthest;
            s.Ring = s.Ring == 0 ? s.Count - 1 : s.Ring - 1;
        }
    }
    EngineShutdown(ctx);
}

} // namespace qv
