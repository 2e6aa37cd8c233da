#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <cmath>

namespace qv {
namespace {

// A frame every 20 ms: the box moves at 50 frames per second.
constexpr double kFramePeriodMs = 20.0;
constexpr int32_t kViewDistance = 400;
// The texture pair standing for a picture's far edge: PrepareObjects pulls it to the
// picture's last column or row.
constexpr int32_t kFarEdge = 2048;

// The box's faces: corners in order and the picture each shows (before mod n).
struct Face {
    int16_t C0, C1, C2, C3;
    int32_t Picture;
};
constexpr Face kFaces[6] = {
    {0, 1, 3, 2, 0}, {5, 4, 6, 7, 2}, {4, 0, 2, 6, 3},
    {1, 5, 7, 3, 1}, {2, 3, 7, 6, 4}, {1, 0, 4, 5, 5},
};

struct CubeState {
    CubeBlock Block;
    int32_t Step = 2;
    int32_t Side = 0; // the viewport is Side x Side pixels
    double X = 0.0;   // the viewport's top-left corner on the screen
    double Y = 0.0;
    Vector2 Velocity; // pixels per frame
    Vector3 Spin;     // degrees per frame for the angles A, B, C
};

// Round half to even, as the motion's angle update wants.
int32_t RoundEven(double v) {
    return static_cast<int32_t>(std::nearbyint(v));
}

int32_t MoveAxes(const CubeState& s) {
    return s.Block.MoveAxes & (kAxisX | kAxisY);
}

void NewDirection(FrameContext& ctx, CubeState& s) {
    const double dx = NextRandom(ctx, 7) - 3;
    const double dy = NextRandom(ctx, 7) - 3;
    ScaleVector2({dx, dy}, MoveAxes(s), s.Velocity, s.Step);
}

void Normalise(CubeState& s) {
    ScaleVector2(s.Velocity, MoveAxes(s), s.Velocity, s.Step);
}

// The box as the scene's only object: eight corners, six faces each showing the whole of
// one picture.
bool BuildBox(FrameContext& ctx, const CubeState& s) {
    RasterEngine& e = ctx.Engine;
    e.View.Distance = kViewDistance;
    e.ObjectCount = 0;
    Object3D& box = e.Objects[0];
    box.Position = {};
    box.Angles = {};
    box.VertexCount = 8;
    box.PolygonCount = 6;
    AllocObject(ctx, box);
    if (e.EngineFailed) {
        return false;
    }
    const int32_t sx = s.Block.SizeX;
    const int32_t sy = s.Block.SizeY;
    const int32_t sz = s.Block.SizeZ;
    for (int32_t i = 0; i < 8; ++i) {
        // Bit 0 of the corner number picks the side in x, bit 1 in height, bit 2 in depth.
        SetPoint((i & 1) ? sx : -sx, (i & 4) ? sz : -sz, (i & 2) ? sy : -sy,
                 box.Vertices[static_cast<size_t>(i)]);
    }
    Point2 t0, t1, t2, t3;
    SetPoint2(0, kFarEdge, t0);
    SetPoint2(kFarEdge, kFarEdge, t1);
    SetPoint2(kFarEdge, 0, t2);
    SetPoint2(0, 0, t3);
    const int32_t n = s.Block.PictureCount;
    for (size_t k = 0; k < 6; ++k) {
        const Face& f = kFaces[k];
        SetPolygon(f.C0, f.C1, f.C2, f.C3, t0, t1, t2, t3, f.Picture % n, box.Polygons[k]);
    }
    e.ObjectCount = 1;
    PrepareObjects(ctx);
    return true;
}

// Spin on the axes RotationAxes selects, step / 2 degrees per frame in all; with no axis
// selected the box spins on angle A.
void ChooseSpin(FrameContext& ctx, CubeState& s) {
    const double u = 7 + NextRandom(ctx, 5);
    const double v = 7 + NextRandom(ctx, 5);
    const double w = 7 + NextRandom(ctx, 5);
    const double length = s.Step * 0.5;
    ScaleVector3(s.Spin, u, v, w, length);
    const int32_t axes = s.Block.RotationAxes & 0xFF;
    const double a = (axes & 1) ? s.Spin.X : 0.0;
    const double b = (axes & 2) ? s.Spin.Y : 0.0;
    const double c = (axes & 4) ? s.Spin.Z : 0.0;
    ScaleVector3(s.Spin, a, b, c, length);
}

// One frame's motion: turn the box, drift, and bounce off the screen's sides and the
// caption margins.
void Move(FrameContext& ctx, CubeState& s) {
    Angles3& angles = ctx.Engine.Objects[0].Angles;
    angles.A = RoundEven(angles.A + 360 + s.Spin.X) % 360;
    angles.B = RoundEven(angles.B + 360 + s.Spin.Y) % 360;
    angles.C = RoundEven(angles.C + 360 + s.Spin.Z) % 360;

    if (MoveAxes(s) != 0) {
        // ScaleVector2 never returns the zero vector for a non-empty mask, so one draw
        // settles it.
        while (s.Velocity.X == 0.0 && s.Velocity.Y == 0.0) {
            NewDirection(ctx, s);
        }
    }
    s.X += s.Velocity.X;
    s.Y += s.Velocity.Y;

    const int32_t w = ctx.Run.ScreenW;
    const double side = s.Side;
    bool bounced = true;
    if (s.X + side > w) {
        s.Velocity.X = -std::fabs(0.6 * s.Velocity.X);
    } else if (s.X < 0) {
        s.Velocity.X = std::fabs(0.6 * s.Velocity.X);
    } else {
        bounced = false;
    }
    if (bounced) {
        s.Velocity.Y += NextRandom(ctx, 3) - 1;
        Normalise(s);
    }
    bounced = true;
    if (s.Y < ctx.Run.FreeTop) {
        s.Velocity.Y = std::fabs(0.6 * s.Velocity.Y);
    } else if (s.Y + side > ctx.Run.FreeBottom) {
        s.Velocity.Y = -std::fabs(0.6 * s.Velocity.Y);
    } else {
        bounced = false;
    }
    if (bounced) {
        s.Velocity.X += NextRandom(ctx, 3) - 1;
        Normalise(s);
    }
}

} // namespace

void RunBouncingCube(FrameContext& ctx) {
    CubeState s;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        StyleBlock<CubeBlock> block = ReadStyleBlock(file, kCubeParams, 0);
        s.Block = std::move(block.Values);
        int32_t speed = EffectiveSpeed(ctx, s.Block.SpeedOffset);
        // The whole block is read and the picture table opened before the count is judged.
        OpenPictureTable(ctx, ctx.Run.ShowFile);
        if (block.Refused) {
            ErrorScreen(ctx, block.Refused->Refusal);
            return;
        }
        CubeBlock& b = s.Block;
        // Modes without a meaning, and a picture mode without its picture, are black.
        if ((b.BackgroundMode >= kShowBackgroundTiled && b.BackgroundPicture == -1) ||
            BackgroundFlags(b.BackgroundMode) == 0) {
            b.BackgroundMode = kShowBackgroundBlack;
        }
        if (ctx.Run.IsPreview) {
            b.SizeX /= 5;
            b.SizeY /= 5;
            b.SizeZ /= 5;
            speed /= 5;
        }
        s.Step = speed / 8 + 2;
        const double diagonal = std::sqrt(double(b.SizeX) * b.SizeX + double(b.SizeY) * b.SizeY +
                                          double(b.SizeZ) * b.SizeZ);
        const auto side = static_cast<int32_t>(std::trunc(diagonal * 2.75 + 8 + s.Step * 2.5));
        s.Side = side - side % 4;
    }
    const CubeBlock& b = s.Block;
    const int32_t mode = b.BackgroundMode;
    const bool pictureBackground = mode >= kShowBackgroundTiled;
    if (!StartStyle(ctx, {.OpenTable = false,
                          .Width = s.Side,
                          .Height = s.Side,
                          .Flags = kTexturedRendering | BackgroundFlags(mode),
                          .Pictures = b.PictureNumbers,
                          .BackgroundPicture =
                              pictureBackground ? b.BackgroundPicture : kNoBackgroundPicture,
                          .Palette = mode == kShowBackgroundDesktop ? StylePalette::CommonWithSystem
                                                                    : StylePalette::Common,
                          .BackgroundMode = mode}) ||
        !BuildBox(ctx, s)) {
        return;
    }

    const int32_t w = ctx.Run.ScreenW;
    const int32_t h = ctx.Run.ScreenH;
    s.Y = (h - s.Side) / 2;
    s.X = (w - s.Side) / 2;
    ChooseSpin(ctx, s);
    NewDirection(ctx, s);

    FramePacer pacer(ctx, kFramePeriodMs);
    while (!ctx.StopRequested) {
        pacer.Advance();
        Move(ctx, s);
        SetView(ctx);
        // On time, or every second frame when the machine cannot keep up: the motion
        // keeps its pace either way.
        if (pacer.DrawEverySecondWhenLate()) {
            ShowScene(ctx, static_cast<int32_t>(s.X), static_cast<int32_t>(s.Y));
        }
        pacer.Wait();
    }
    EngineShutdown(ctx);
}

} // namespace qv
