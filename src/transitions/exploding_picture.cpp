#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qv {
namespace {

constexpr int32_t kStepsPerHalf = 90;
// Tiles joining the motion at each step, in creation order.
constexpr int32_t kTilesPerStep = 4;
constexpr int32_t kViewDistance = 470;
// In preview the scene is seen from five times as far, at a fifth of the size.
constexpr int32_t kPreviewViewDistance = 2350;
constexpr int32_t kZoomStep = 4;
constexpr int32_t kMaxTiles = 64;

struct TileMotion {
    Point3 Velocity;
    Angles3 Spin;
};

struct ExplodeState {
    ExplodingBlock Block;
    int32_t Period = 1; // milliseconds per step
    int32_t TileCount = 0;
    std::array<TileMotion, kMaxTiles> Motion{};
    Angles3 ViewSpin;
    int32_t Zoom = kZoomStep;
    int32_t X = 0; // the viewport's place on the screen
    int32_t Y = 0;
};

int32_t RoundEven(double v) {
    return static_cast<int32_t>(std::nearbyint(v));
}

// The i-th of n indexes taken from the middle outward: for n = 5, 2 1 3 0 4.
int32_t MiddleOut(int32_t i, int32_t n) {
    const int32_t half = (i + 1) / 2;
    return n / 2 - half * (i % 2) + half * ((i + 1) % 2);
}

// The picture's row and column of the tile made at grid place (r, c).
void OrderedPlace(int32_t order, int32_t r, int32_t c, int32_t rows, int32_t columns,
                  int32_t& rowOut, int32_t& columnOut) {
    switch (order) {
    case 1:
        rowOut = r;
        columnOut = columns - 1 - c;
        break;
    case 2:
        rowOut = rows - 1 - r;
        columnOut = c;
        break;
    case 3:
        rowOut = rows - 1 - r;
        columnOut = columns - 1 - c;
        break;
    case 4:
        rowOut = MiddleOut(r, rows);
        columnOut = MiddleOut(c, columns);
        break;
    default:
        rowOut = r;
        columnOut = c;
        break;
    }
}

// The viewport: about 1.45 times the picture's larger side, no wider than the screen and
// clear of the caption bands.
void SizeViewport(FrameContext& ctx) {
    const PictureSlot& picture = ctx.Engine.Pictures[0];
    const int32_t larger = std::max(picture.Stride, picture.Height());
    int32_t m = (larger * 145 / 400) * 4;
    if (ctx.Run.IsPreview) {
        m /= 5;
    }
    int32_t fh = m * 90 / 100;
    int32_t fw = m;
    const int32_t w = ctx.Run.ScreenW;
    const int32_t h = ctx.Run.ScreenH;
    fw = std::min(fw, w);
    const int32_t band = std::max(ctx.Run.FreeTop, h - ctx.Run.FreeBottom);
    if (h - 2 * band < fh) {
        fh = h - 2 * band;
    }
    // A tiny picture or captions filling the screen leave no room: one pixel stays.
    EngineResize(ctx, std::max(fw, 1), std::max(fh, 1));
}

// The picture cut into Rows x Columns panels, each with its piece of the picture, the
// picture centred on the origin; neighbours overlap by up to a pixel so no gaps show.
void MakeTiles(FrameContext& ctx, ExplodeState& s) {
    RasterEngine& e = ctx.Engine;
    const PictureSlot& picture = e.Pictures[0];
    const int32_t w0 = picture.Width();
    const int32_t h0 = picture.Height();
    const int32_t rows = s.Block.Rows;
    const int32_t columns = s.Block.Columns;
    const double tw = static_cast<double>(w0) / columns;
    const double th = static_cast<double>(h0) / rows;
    const int32_t pw = RoundEven(tw + 0.7);
    const int32_t ph = RoundEven(th + 0.7);
    const int32_t texW = RoundEven(tw + 0.5);
    const int32_t texH = RoundEven(th + 0.5);
    e.ObjectCount = 0;
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < columns; ++c) {
            int32_t pr = 0;
            int32_t pc = 0;
            OrderedPlace(s.Block.TileOrder, r, c, rows, columns, pr, pc);
            Point3 position, c0, c1, c2, c3;
            SetPoint(RoundEven(pc * tw - (w0 / 2)), 0, RoundEven((h0 / 2) - pr * th), position);
            SetPoint(0, 0, 0, c0);
            SetPoint(pw, 0, 0, c1);
            SetPoint(pw, 0, -ph, c2);
            SetPoint(0, 0, -ph, c3);
            const auto u = static_cast<int32_t>(std::trunc(pc * tw));
            const auto v = static_cast<int32_t>(std::trunc(pr * th));
            Point2 t0, t1, t2, t3;
            SetPoint2(u, v, t0);
            SetPoint2(u + texW, v, t1);
            SetPoint2(u + texW, v + texH, t2);
            SetPoint2(u, v + texH, t3);
            AddPanel(ctx, position, c0, c1, c2, c3, t0, t1, t2, t3, 0);
            if (e.EngineFailed) {
                return;
            }
        }
    }
    s.TileCount = e.ObjectCount;
    PrepareObjects(ctx);
}

void NewMotion(FrameContext& ctx, ExplodeState& s) {
    for (int32_t k = 0; k < s.TileCount; ++k) {
        TileMotion& m = s.Motion[static_cast<size_t>(k)];
        m.Velocity.X = NextRandom(ctx, 5) - 2;
        m.Velocity.Y = NextRandom(ctx, 5) - 2;
        m.Velocity.Z = NextRandom(ctx, 5) - 2;
        m.Spin = {};
        if ((s.Block.Tumble & 0xFF) != 0) {
            m.Spin.A = (NextRandom(ctx, 15) - 7) * 2;
            m.Spin.B = (NextRandom(ctx, 15) - 7) * 2;
            m.Spin.C = (NextRandom(ctx, 15) - 7) * 2;
        }
    }
    s.ViewSpin = {};
    if ((s.Block.CameraSpin & 0xFF) != 0) {
        // Even steps of -8 to +8 degrees, modulo 360: 180 steps are whole turns.
        s.ViewSpin.A = NextRandom(ctx, 9) * 2 + 352;
        s.ViewSpin.B = NextRandom(ctx, 9) * 2 + 352;
        s.ViewSpin.C = NextRandom(ctx, 9) * 2 + 352;
    }
    s.Zoom = kZoomStep;
}

// One half of the flight: 90 steps, four more tiles joining at each. Every tile moves as
// many steps in the homeward half as in the outward one, so it lands exactly in place.
void FlyHalf(FrameContext& ctx, ExplodeState& s) {
    RasterEngine& e = ctx.Engine;
    int32_t active = 0;
    FramePacer pacer(ctx, s.Period);
    for (int32_t step = 0; step < kStepsPerHalf && !ctx.StopRequested; ++step) {
        pacer.Advance();
        for (int32_t k = 0; k <= active; ++k) {
            Object3D& tile = e.Objects[static_cast<size_t>(k)];
            const TileMotion& m = s.Motion[static_cast<size_t>(k)];
            tile.Position.X += m.Velocity.X;
            tile.Position.Y += m.Velocity.Y;
            tile.Position.Z += m.Velocity.Z;
            tile.Angles.A = (tile.Angles.A + m.Spin.A + 360) % 360;
            tile.Angles.B = (tile.Angles.B + m.Spin.B + 360) % 360;
            tile.Angles.C = (tile.Angles.C + m.Spin.C + 360) % 360;
        }
        Angles3& view = e.View.Angles;
        view.C = (view.C + s.ViewSpin.C) % 360;
        view.B = (view.B + s.ViewSpin.B) % 360;
        view.A = (view.A + s.ViewSpin.A) % 360;
        e.View.Distance += s.Zoom;
        SetView(ctx);
        active = std::min(active + kTilesPerStep, s.TileCount - 1);
        // A late step is not drawn.
        PumpFrame(ctx);
        if (pacer.OnTime()) {
            ShowScene(ctx, s.X, s.Y);
            pacer.Wait();
        }
    }
}

} // namespace

void RunExplodingPicture(FrameContext& ctx) {
    ExplodeState s;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        s.Block = ReadStyleBlock(file, kExplodingParams, 0).Values;
    }
    const int32_t speed = EffectiveSpeed(ctx, s.Block.SpeedOffset);
    OpenPictureTable(ctx, ctx.Run.ShowFile);
    ExplodingBlock& b = s.Block;
    // Modes without a meaning, and a picture mode without its picture, are black; tile
    // orders without a meaning are the plain order.
    if ((b.BackgroundMode >= kShowBackgroundTiled && b.BackgroundPicture == -1) ||
        BackgroundFlags(b.BackgroundMode) == 0) {
        b.BackgroundMode = kShowBackgroundBlack;
    }
    if (b.TileOrder < 0 || b.TileOrder > 4) {
        b.TileOrder = 0;
    }
    const int32_t mode = b.BackgroundMode;
    const int32_t tilePicture[] = {b.TilePicture};
    if (!StartStyle(ctx, {.OpenTable = false,
                          .Width = 512,
                          .Height = 512,
                          .Flags = kTexturedRendering | BackgroundFlags(mode),
                          .Pictures = tilePicture,
                          .BackgroundPicture = mode >= kShowBackgroundTiled ? b.BackgroundPicture
                                                                            : kNoBackgroundPicture,
                          .Palette = mode == kShowBackgroundDesktop ? StylePalette::CommonWithSystem
                                                                    : StylePalette::Common,
                          .BackgroundMode = mode})) {
        return;
    }
    s.Period = 201 - 2 * speed;

    RasterEngine& e = ctx.Engine;
    SizeViewport(ctx);
    if (e.EngineFailed) {
        return;
    }
    MakeTiles(ctx, s);
    if (e.EngineFailed) {
        return;
    }
    e.View.Target = {};
    e.View.Distance = ctx.Run.IsPreview ? kPreviewViewDistance : kViewDistance;
    e.View.Angles = {};
    SetView(ctx);
    PumpFrame(ctx);
    s.X = (ctx.Run.ScreenW - e.ViewportW) / 2 - 1;
    s.Y = (ctx.Run.ScreenH - e.ViewportH) / 2;

    while (!ctx.StopRequested) {
        SetView(ctx);
        ShowScene(ctx, s.X, s.Y);
        WaitMs(ctx, 10 * s.Period);
        NewMotion(ctx, s);
        for (int32_t half = 0; half < 2 && !ctx.StopRequested; ++half) {
            FlyHalf(ctx, s);
            // Homeward: the same motion backwards. The view spin goes on turning.
            for (int32_t k = 0; k < s.TileCount; ++k) {
                TileMotion& m = s.Motion[static_cast<size_t>(k)];
                m.Velocity = {-m.Velocity.X, -m.Velocity.Y, -m.Velocity.Z};
                m.Spin = {-m.Spin.A, -m.Spin.B, -m.Spin.C};
            }
            s.Zoom = -s.Zoom;
        }
        PumpFrame(ctx);
    }
    EngineShutdown(ctx);
}

} // namespace qv
