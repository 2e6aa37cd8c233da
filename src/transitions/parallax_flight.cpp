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
constexpr int kLaneTries = 100;
// Where a copy without a free lane travels unseen until its next crossing.
constexpr double kParked = -1000.0;

enum Direction : int32_t {
    kLeftToRight = 0,
    kRightToLeft = 1,
    kTopToBottom = 2,
    kBottomToTop = 3,
    kRandomDirection = 4,
};

// One copy: its depth (fixed for the run), the size of that depth's picture, its place.
struct Flyer {
    int32_t Depth = 0;
    int32_t W = 0;
    int32_t H = 0;
    double X = 0.0;
    double Y = 0.0;
};

struct ParallaxState {
    ParallaxBlock Block;
    int32_t Direction = kLeftToRight;
    std::array<Flyer, kMaxFlyers> Flyers{};
    int32_t Count = 0;
};

int32_t Round(double v) {
    return static_cast<int32_t>(std::nearbyint(v)); // halves to even
}

bool Horizontal(int32_t direction) {
    return direction == kLeftToRight || direction == kRightToLeft;
}

// Whether copy a's lane (its rows for a horizontal flight, its columns for a vertical one)
// overlaps no other copy's.
bool LaneFree(const ParallaxState& s, int32_t a) {
    const Flyer& f = s.Flyers[static_cast<size_t>(a)];
    const bool horizontal = Horizontal(s.Direction);
    for (int32_t j = 0; j < s.Count; ++j) {
        if (j == a) {
            continue;
        }
        const Flyer& o = s.Flyers[static_cast<size_t>(j)];
        const bool overlaps =
            horizontal ? f.Y + f.H > o.Y && o.Y + o.H > f.Y : f.X + f.W > o.X && o.X + o.W > f.X;
        if (overlaps) {
            return false;
        }
    }
    return true;
}

// A new lane for copy a that no other copy occupies; parked out of sight when 100 random
// lanes are all taken.
void ChooseLane(FrameContext& ctx, ParallaxState& s, int32_t a) {
    Flyer& f = s.Flyers[static_cast<size_t>(a)];
    const RunState& run = ctx.Run;
    const bool horizontal = Horizontal(s.Direction);
    for (int i = 0; i < kLaneTries; ++i) {
        if (horizontal) {
            f.Y = run.FreeTop + RandomPlace(ctx, int64_t{run.FreeBottom} - run.FreeTop - f.H);
        } else {
            f.X = RandomPlace(ctx, int64_t{run.ScreenW} - f.W);
        }
        if (LaneFree(s, a)) {
            return;
        }
    }
    (horizontal ? f.Y : f.X) = kParked;
}

// Moves a copy one step, painting black the strip it uncovers, and brings it back at the
// opposite edge in a new lane once it has left.
void Move(FrameContext& ctx, ParallaxState& s, int32_t i) {
    Flyer& f = s.Flyers[static_cast<size_t>(i)];
    const RunState& run = ctx.Run;
    const double step = 25.0 / (f.Depth + 2);
    const int32_t strip = Round(step) + 1;
    auto fill = [&](int32_t left, int32_t top, int32_t width, int32_t height) {
        FillInArea(ctx, {left, top, left + width, top + height});
    };
    switch (s.Direction) {
    case kLeftToRight:
        fill(Round(f.X), Round(f.Y), strip, f.H);
        f.X += step;
        if (f.X > run.ScreenW) {
            f.X = -f.W;
            ChooseLane(ctx, s, i);
        }
        break;
    case kRightToLeft:
        f.X -= step;
        fill(Round(f.X) + f.W, Round(f.Y), strip, f.H);
        if (f.X < -f.W) {
            f.X = run.ScreenW;
            ChooseLane(ctx, s, i);
        }
        break;
    case kTopToBottom:
        if (run.FreeTop < f.Y && f.Y + f.H < run.FreeBottom) {
            fill(Round(f.X), Round(f.Y), f.W, strip);
        } else if (run.FreeTop < f.Y) {
            // Leaving at the bottom: the rest of it in the area goes.
            fill(Round(f.X), Round(f.Y), f.W, run.FreeBottom - Round(f.Y));
        }
        f.Y += step;
        if (f.Y > run.FreeBottom) {
            f.Y = -f.H;
            ChooseLane(ctx, s, i);
        }
        break;
    case kBottomToTop:
        f.Y -= step;
        if (run.FreeTop < f.Y && f.Y + f.H < run.FreeBottom) {
            fill(Round(f.X), Round(f.Y) + f.H, f.W, strip);
        } else if (f.Y < run.FreeBottom) {
            // Outside the area: a block from the area's top, in the copy's own lane.
            fill(Round(f.X), run.FreeTop, f.W, strip + f.H);
        }
        if (f.Y < -f.H) {
            f.Y = run.FreeBottom;
            ChooseLane(ctx, s, i);
        }
        break;
    default:
        break; // no direction: the copies stand still
    }
}

} // namespace

void RunParallaxFlight(FrameContext& ctx) {
    ParallaxState s;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        StyleBlock<ParallaxBlock> block = ReadStyleBlock(file, kParallaxParams, 0);
        s.Block = block.Values;
        s.Direction = s.Block.FlightDirection & 0xFF;
        // A random direction is chosen once, for the whole run.
        if (s.Direction == kRandomDirection) {
            s.Direction = NextRandom(ctx, 4);
        }
        EffectiveSpeed(ctx, s.Block.SpeedOffset);
        // The whole block and the picture table are read before a bad count is refused.
        OpenPictureTable(ctx, ctx.Run.ShowFile);
        if (block.Refused) {
            ErrorScreen(ctx, block.Refused->Refusal);
            return;
        }
    }
    s.Count = s.Block.FlyerCount;
    const int32_t period = ((100 - ctx.Run.Speed) * 3) / 2 + 1;

    if (!StartFlyers(ctx, s.Block.FlyerPicture)) {
        return;
    }
    RasterEngine& e = ctx.Engine;
    DrawCaptions(ctx);
    TracePictureArea(ctx);

    // Copies not yet placed have size 0 and block no lane.
    const SizeSteps sizes = MeasureSizeSteps(e);
    for (int32_t i = s.Count - 1; i >= 0; --i) {
        Flyer& f = s.Flyers[static_cast<size_t>(i)];
        f.Depth = (20 * (s.Count - 1 - i)) / s.Count;
        f.W = sizes.Width[static_cast<size_t>(f.Depth)];
        f.H = sizes.Height[static_cast<size_t>(f.Depth)];
        f.X = NextRandom(ctx, static_cast<uint32_t>(ctx.Run.ScreenW)) - f.W / 2;
        f.Y =
            ctx.Run.FreeTop + RandomPlace(ctx, int64_t{ctx.Run.FreeBottom} - ctx.Run.FreeTop - f.H);
        ChooseLane(ctx, s, i);
    }
    if (ctx.Os.Trace().Enabled()) {
        ctx.Os.Trace().Emit("parallax", {{"direction", s.Direction}, {"period", period}});
    }

    FramePacer pacer(ctx, period);
    int64_t frame = 0;
    while (!ctx.StopRequested) {
        pacer.Advance();
        ++frame;
        // Far copies first, so that near ones are stamped over them.
        for (int32_t i = 0; i < s.Count; ++i) {
            Move(ctx, s, i);
            const Flyer& f = s.Flyers[static_cast<size_t>(i)];
            // Only a copy wholly and strictly inside the area vertically is stamped.
            if (ctx.Run.FreeTop < f.Y && f.Y + f.H < ctx.Run.FreeBottom) {
                const PictureSlot& picture = e.Pictures[static_cast<size_t>(f.Depth)];
                PresentPixels(ctx, Round(f.X), Round(f.Y), picture.Pixels.data(), picture.Header);
                if (ctx.Os.Trace().Enabled()) {
                    ctx.Os.Trace().Emit("stamp", {{"i", i},
                                                  {"depth", f.Depth},
                                                  {"x", Round(f.X)},
                                                  {"y", Round(f.Y)},
                                                  {"w", f.W},
                                                  {"h", f.H},
                                                  {"frame", frame}});
                }
            }
        }
        pacer.Wait();
    }
    EngineShutdown(ctx);
}

} // namespace qv
