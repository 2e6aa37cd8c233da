#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qv {
namespace {

// The sprite sits in its frame buffer with this margin on every side; it moves less than
// the margin per frame, so each present also covers where it was.
constexpr int32_t kMargin = 16;
constexpr int32_t kMaxSpeed = 95;
constexpr double kFrameMs = 30.0;
// The first frame comes this long after the start.
constexpr double kFirstFrameMs = 120.0;

// Everything one run of the painter keeps.
struct PainterState {
    PainterBlock Block;
    bool Keyed = false;
    int32_t Frames = 1;    // sprite frames, slots 0 ..
    int32_t TrailSlot = 0; // the frame-buffer-sized picture the painting is composed in
    int32_t FirstBackground = 0;
    int32_t Background = 0; // the slot being painted, or shown while flying
    int32_t Frame = 0;      // the sprite frame shown
    PainterSweep Sweep;
    double Deadline = 0.0;
    double NextAnimation = 0.0;
    double FreeFlightEnd = 0.0;
    bool FreeFlight = true;
};

// A new picture to paint: the whole screen unpainted, the sweeps from their first state.
void ResetBounds(const FrameContext& ctx, PainterSweep& w) {
    w.Left = 0;
    w.Right = ctx.Run.ScreenW;
    w.Top = 0;
    w.Bottom = ctx.Run.ScreenH;
    w.State = 0;
}

void StartFreeFlight(FrameContext& ctx, PainterState& s) {
    ResetBounds(ctx, s.Sweep);
    s.FreeFlightEnd = s.Deadline + s.Block.FreeFlightTime;
    s.FreeFlight = true;
}

bool LoadAll(FrameContext& ctx, std::span<const int32_t> numbers, bool shrinkEach) {
    for (const int32_t n : numbers) {
        LoadPicture(ctx, n);
        if (ctx.Engine.EngineFailed) {
            return false;
        }
        if (shrinkEach) {
            ShrinkPictures(ctx, ctx.Engine.PictureCount() - 1);
        }
    }
    return !ctx.Engine.EngineFailed;
}

// Engine open, sprite frames of one size, the trail picture, the backgrounds, one palette
// for all with the system's colours, and the desktop snapshot on the window.
bool Start(FrameContext& ctx, PainterState& s) {
    RasterEngine& e = ctx.Engine;
    EngineInit(ctx, 128, 128, 256, kTexturedRendering | kDesktopBackground);
    if (e.EngineFailed || !LoadAll(ctx, s.Block.SpriteFrameNumbers, false)) {
        return false;
    }
    if (ctx.Run.IsPreview) {
        ShrinkPictures(ctx, -1);
        if (e.EngineFailed) {
            return false;
        }
    }
    const int32_t sw = e.Pictures[0].Width();
    const int32_t sh = e.Pictures[0].Height();
    for (int32_t i = 1; i < s.Frames; ++i) {
        ResizePictures(ctx, i, sw, sh);
    }
    EngineResize(ctx, sw + 2 * kMargin, sh + 2 * kMargin);
    s.TrailSlot = e.PictureCount();
    AddBlankPicture(ctx, e.ViewportW, e.ViewportH);
    if (e.EngineFailed) {
        return false;
    }
    s.FirstBackground = e.PictureCount();
    if (!LoadAll(ctx, s.Block.BackgroundNumbers, ctx.Run.IsPreview != 0)) {
        return false;
    }
    BuildCommonPalette(ctx, true);
    if (e.EngineFailed) {
        return false;
    }
    EngineStart(ctx, ctx.Run.SaverWnd);
    if (e.EngineFailed) {
        return false;
    }
    DrawCaptions(ctx);
    return true;
}

void Draw(FrameContext& ctx, PainterState& s) {
    const auto x = static_cast<int32_t>(s.Sweep.X);
    const auto y = static_cast<int32_t>(s.Sweep.Y);
    if (s.FreeFlight) {
        PainterSweep& w = s.Sweep;
        // A wall met in free flight is a plain reflection, and the bounds never move.
        w.State = 0;
        if (w.V.X == 0.0) {
            w.V.X = -w.Saved.X;
            w.V.Y = w.Saved.Y;
        }
        if (w.V.Y == 0.0) {
            w.V.X = w.Saved.X;
            w.V.Y = -w.Saved.Y;
        }
        if (s.Keyed) {
            ShowPictureKeyed(ctx, x, y, s.Frame);
        } else {
            ShowPicture(ctx, x, y, s.Frame);
        }
        return;
    }
    // The stroke: the new picture under the sprite's square, the sprite over it.
    DrawTiledBackground(ctx, s.TrailSlot, s.Background, x, y);
    if (s.Keyed) {
        OverlayPictureKeyed(ctx, s.TrailSlot, s.Frame);
    } else {
        OverlayPicture(ctx, s.TrailSlot, s.Frame);
    }
    const PictureSlot& trail = ctx.Engine.Pictures[static_cast<size_t>(s.TrailSlot)];
    PresentPixels(ctx, x, y, trail.Pixels.data(), trail.Header);
}

// The unpainted rectangle is thinner than half the square: the last stroke without the
// sprite, and the next picture after a free flight.
void CompleteIfPainted(FrameContext& ctx, PainterState& s) {
    PainterSweep& w = s.Sweep;
    if (w.Bottom - w.Top >= w.Height / 2 && w.Right - w.Left >= w.Width / 2) {
        return;
    }
    const auto x = static_cast<int32_t>(w.X);
    const auto y = static_cast<int32_t>(w.Y);
    DrawTiledBackground(ctx, s.TrailSlot, s.Background, x, y);
    const PictureSlot& trail = ctx.Engine.Pictures[static_cast<size_t>(s.TrailSlot)];
    PresentPixels(ctx, x, y, trail.Pixels.data(), trail.Header);
    ResetBackgroundCapture(ctx);
    s.Background =
        s.FirstBackground + (s.Background - s.FirstBackground + 1) % s.Block.BackgroundCount;
    StartFreeFlight(ctx, s);
    DrawCaptions(ctx);
}

} // namespace

void StepSweep(ShowContext& ctx, PainterSweep& w) {
    const double v = w.Step;
    auto normalise = [&](double x, double y) { ScaleVector2({x, y}, kAxisX | kAxisY, w.V, v); };
    switch (w.State) {
    case 0:
        w.Saved = w.V;
        w.F1 = w.F2 = w.F3 = w.F4 = false;
        if ((w.X + w.Width >= w.Right && w.V.X > 0) || (w.X <= w.Left && w.V.X < 0)) {
            // A side wall: straight up, and back down along it.
            w.V = {0.0, -v};
            w.Target = static_cast<int32_t>(w.Y);
            w.State = 1;
        } else if ((w.Y <= w.Top && w.V.Y < 0) || (w.Y + w.Height >= w.Bottom && w.V.Y > 0)) {
            // The top or the bottom: straight left, and back along it.
            w.V = {-v, 0.0};
            w.Target = static_cast<int32_t>(w.X);
            w.State = 2;
        }
        break;
    case 1:
        if (w.Target <= w.Top) {
            w.Target = (w.Bottom + w.Top) / 2;
        }
        if (w.F1 && w.Y + w.Height >= w.Bottom) {
            w.F2 = true;
            w.V.Y = -std::abs(w.V.Y);
        }
        if (w.Y <= w.Top) {
            w.F1 = true;
            w.V.Y = std::abs(w.V.Y);
        }
        if (w.F1 && w.F2 && w.Target > w.Y) {
            // Up, down and back up past the target row: the strip along the wall is
            // painted, and that bound moves in.
            w.V = {-w.Saved.X, w.Saved.Y};
            if (w.X + w.Width >= w.Right) {
                w.Right = static_cast<int32_t>(w.X) + kMargin;
                w.V.X = -std::abs(w.Saved.X);
            } else if (w.X <= w.Left) {
                w.Left = static_cast<int32_t>(w.X) + w.Width - kMargin;
                w.V.X = std::abs(w.Saved.X);
            }
            w.V.Y += NextRandom(ctx, 3) - 1;
            normalise(w.V.X, w.V.Y);
            w.State = 0;
        }
        break;
    case 2:
        if (w.Target <= w.Left) {
            w.Target = (w.Right + w.Left) / 2;
        }
        if (w.F3 && w.X + w.Width >= w.Right) {
            w.F4 = true;
            w.V.X = -std::abs(w.V.X);
        }
        if (w.X <= w.Left) {
            w.F3 = true;
            w.V.X = std::abs(w.V.X);
        }
        if (w.F3 && w.F4 && w.Target > w.X) {
            w.V = w.Saved;
            if (w.Y + w.Height >= w.Bottom) {
                w.Bottom = static_cast<int32_t>(w.Y) + kMargin;
                w.V.Y = -std::abs(w.Saved.Y);
            } else if (w.Y <= w.Top) {
                w.Top = static_cast<int32_t>(w.Y) + w.Height - kMargin;
                w.V.Y = std::abs(w.Saved.Y);
            }
            w.V.X += NextRandom(ctx, 3) - 1;
            normalise(w.V.X, w.V.Y);
            w.State = 0;
        }
        break;
    default:
        w.State = 0;
        break;
    }
}

void RunPainterSprite(FrameContext& ctx) {
    PainterState s;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        StyleBlock<PainterBlock> block = ReadStyleBlock(file, kPainterParams, 0);
        s.Block = std::move(block.Values);
        int32_t speed = EffectiveSpeed(ctx, s.Block.SpeedOffset);
        if (ctx.Run.IsPreview) {
            speed /= 5;
        }
        speed = std::min(speed, kMaxSpeed);
        ctx.Run.Speed = speed;
        s.Sweep.Step = speed / 7 + 2;
        OpenPictureTable(ctx, ctx.Run.ShowFile);
        if (block.Refused) {
            ErrorScreen(ctx, block.Refused->Refusal);
            return;
        }
    }
    s.Keyed = (s.Block.SpriteKeyed & 0xFF) != 0;
    s.Frames = s.Block.SpriteFrameCount;
    if (!Start(ctx, s)) {
        return;
    }
    PainterSweep& w = s.Sweep;
    w.Width = ctx.Engine.ViewportW;
    w.Height = ctx.Engine.ViewportH;
    ResetBounds(ctx, w);
    w.X = (ctx.Run.ScreenW - w.Width) / 2;
    w.Y = (ctx.Run.ScreenH - w.Height) / 2;
    // Toward the lower right.
    const int32_t a = NextRandom(ctx, 4) + 3;
    const int32_t b = NextRandom(ctx, 4) + 3;
    ScaleVector2({static_cast<double>(a), static_cast<double>(b)}, kAxisX | kAxisY, w.V, w.Step);
    w.Saved = w.V;

    s.Frame = 0;
    s.Background = s.FirstBackground;
    s.Deadline = Elapsed(ctx) + kFirstFrameMs;
    s.NextAnimation = s.Deadline + s.Block.SpriteFrameTime;
    s.FreeFlightEnd = s.Deadline + s.Block.FreeFlightTime;
    s.FreeFlight = true;
    while (!ctx.StopRequested) {
        s.Deadline += kFrameMs;
        if (s.Deadline > s.FreeFlightEnd) {
            s.FreeFlight = false;
        }
        w.X += w.V.X;
        w.Y += w.V.Y;
        StepSweep(ctx, w);
        CompleteIfPainted(ctx, s);
        Draw(ctx, s);
        if (s.Deadline >= s.NextAnimation) {
            s.Frame = (s.Frame + 1) % s.Frames;
            s.NextAnimation += s.Block.SpriteFrameTime;
        }
        PumpUntil(ctx, s.Deadline);
    }
    EngineShutdown(ctx);
}

} // namespace qv
