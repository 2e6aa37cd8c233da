#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/moving_kit.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <cmath>

namespace qv {
namespace {

// The frame period in milliseconds.
constexpr double kFramePeriod = 20.0;
// Draws of a new direction before a motionless picture is left where it is.
constexpr int kDirectionTries = 100;

// Everything one run keeps: its block, the picture shown, where it is and where it goes.
struct FloatingState {
    FloatingBlock Block;
    int32_t Axes = 0;   // the drift's axis bits: 1 horizontal, 2 vertical
    double Drift = 0.0; // pixels per frame
    int32_t Current = 0;
    int32_t W = 0;
    int32_t H = 0;
    double X = 0.0;
    double Y = 0.0;
    Vector2 Velocity;
    double SwitchDeadline = 0.0;
    MovedPicture Shown;
};

// Keeps the direction and brings the velocity to the drift speed, on the allowed axes.
void Normalise(FloatingState& s) {
    Vector2 out;
    ScaleVector2(s.Velocity, s.Axes, out, s.Drift);
    s.Velocity = out;
}

void RandomDirection(FrameContext& ctx, FloatingState& s) {
    s.Velocity.X = NextRandom(ctx, 7) - 3;
    s.Velocity.Y = NextRandom(ctx, 7) - 3;
    Normalise(s);
}

// Turns the picture back where it has crossed the screen's sides or the picture area's
// edges while moving outward: 60% of the speed, a little random turn, the drift speed again.
void Bounce(FrameContext& ctx, FloatingState& s) {
    const RunState& run = ctx.Run;
    Vector2& v = s.Velocity;
    if (s.X + s.W > run.ScreenW && v.X > 0) {
        v.X = -std::abs(0.6 * v.X);
        v.Y += NextRandom(ctx, 3) - 1;
        Normalise(s);
    } else if (s.X < 0 && v.X < 0) {
        v.X = std::abs(0.6 * v.X);
        v.Y += NextRandom(ctx, 3) - 1;
        Normalise(s);
    }
    if (s.Y < run.FreeTop && v.Y < 0) {
        v.Y = std::abs(0.6 * v.Y);
        v.X += NextRandom(ctx, 3) - 1;
        Normalise(s);
    } else if (s.Y + s.H > run.FreeBottom && v.Y > 0) {
        v.Y = -std::abs(0.6 * v.Y);
        v.X += NextRandom(ctx, 3) - 1;
        Normalise(s);
    }
}

// The next picture takes the old one's centre, pushed inside the picture area (its top
// wins when it is taller than the area).
void SwitchPicture(FrameContext& ctx, FloatingState& s) {
    s.Current = (s.Current + 1) % s.Block.PictureCount;
    const PictureSlot& next = ctx.Engine.Pictures[static_cast<size_t>(s.Current)];
    s.X += (s.W - next.Width()) / 2;
    s.Y += (s.H - next.Height()) / 2;
    s.W = next.Width();
    s.H = next.Height();
    if (s.Y + s.H > ctx.Run.FreeBottom) {
        s.Y = ctx.Run.FreeBottom - s.H;
    }
    if (s.Y < ctx.Run.FreeTop) {
        s.Y = ctx.Run.FreeTop;
    }
}

} // namespace

void RunFloatingPicture(FrameContext& ctx) {
    FloatingState s;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        StyleBlock<FloatingBlock> block = ReadStyleBlock(file, kFloatingParams, 0);
        s.Block = std::move(block.Values);
        int32_t speed = EffectiveSpeed(ctx, s.Block.SpeedOffset);
        // The whole block and the picture table are read before a bad count is refused.
        OpenPictureTable(ctx, ctx.Run.ShowFile);
        if (block.Refused) {
            ErrorScreen(ctx, block.Refused->Refusal);
            return;
        }
        if (ctx.Run.IsPreview) {
            speed /= 5;
        }
        s.Drift = (speed / 3 + 2) / 2;
    }
    s.Axes = s.Block.MoveAxes & (kAxisX | kAxisY);

    if (!StartStyle(ctx, {.OpenTable = false,
                          .Width = 128,
                          .Height = 128,
                          .Flags = kTexturedRendering,
                          .Pictures = s.Block.PictureNumbers,
                          .Palette = StylePalette::Common,
                          .Captions = false})) {
        return;
    }
    if (ctx.Run.IsPreview) {
        ShrinkPictures(ctx, -1);
    }
    DrawCaptions(ctx);
    TracePictureArea(ctx);

    RandomDirection(ctx, s);
    const PictureSlot& first = ctx.Engine.Pictures[0];
    s.W = first.Width();
    s.H = first.Height();
    s.Y = (ctx.Run.ScreenH - s.H) / 2;
    s.X = (ctx.Run.ScreenW - s.W) / 2;

    FramePacer pacer(ctx, kFramePeriod);
    s.SwitchDeadline = pacer.Deadline() + s.Block.SwitchTime;
    while (!ctx.StopRequested) {
        pacer.Advance();
        if (s.Axes != 0) {
            for (int i = 0; i < kDirectionTries && s.Velocity.X == 0 && s.Velocity.Y == 0; ++i) {
                RandomDirection(ctx, s);
            }
        }
        s.X += s.Velocity.X;
        s.Y += s.Velocity.Y;
        Bounce(ctx, s);

        PumpFrame(ctx);
        if (pacer.OnTime()) {
            // Cut to the picture area: the overshoot of a bounce never reaches a caption.
            s.Shown.Present(ctx, static_cast<int32_t>(std::trunc(s.X)),
                            static_cast<int32_t>(std::trunc(s.Y)),
                            ctx.Engine.Pictures[static_cast<size_t>(s.Current)]);
            pacer.Wait();
        }
        const int32_t now = Elapsed(ctx);
        if (now > s.SwitchDeadline) {
            s.SwitchDeadline = static_cast<double>(now) + s.Block.SwitchTime;
            SwitchPicture(ctx, s);
        }
    }
    EngineShutdown(ctx);
}

} // namespace qv
