#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace qv {
namespace {

constexpr int32_t kMaxGrid = 11;
// The camera stands this far in front of the box's front face, which is then drawn at half
// scale: a face of 2 bx x 2 by units covers bx x by pixels.
constexpr int32_t kFaceDistance = 940;
constexpr int32_t kHalfSteps = 17; // velocity components are (Random(35) - 17) / 2
constexpr double kSpinLength = 15.0;
constexpr int32_t kRestMs = 1000;
// The largest frame side: enough for a single tile of the largest square picture (2048 x
// 2048 gives 3920); only a picture of an absurd shape (thousands of pixels on one side,
// a few on the other) would ask for more, and its frame buffer would not be allocated.
constexpr int32_t kMaxSide = 4096;

struct Face {
    int16_t C0, C1, C2, C3;
};
constexpr Face kFaces[6] = {
    {0, 1, 3, 2}, {1, 5, 7, 3}, {5, 4, 6, 7}, {4, 0, 2, 6}, {2, 3, 7, 6}, {1, 0, 4, 5},
};

struct TilesState {
    TilesBlock Block;
    int32_t Period = 1;
    double TileW = 0.0, TileH = 0.0;
    int32_t StepX = 0, StepY = 0; // between tiles' rest positions
    int32_t BoxX = 0, BoxY = 0, BoxZ = 0;
    int32_t Side = 0; // the frame buffer is Side x Side
    double MinSpeed = 0.0;
    std::array<std::array<uint8_t, kMaxGrid>, kMaxGrid> Marks{};
    uint8_t Assembling = 1;
    int32_t OriginX = 0, OriginY = 0;
    // What the screen showed at the origin before the picture was built (background modes
    // 1, 10, 11).
    HDC SnapshotDC = 0;
    HBITMAP Snapshot = 0;
    int32_t SnapshotW = 0, SnapshotH = 0;
};

int32_t RoundEven(double v) {
    return static_cast<int32_t>(std::nearbyint(v));
}

int32_t PositiveMod360(int64_t v) {
    return static_cast<int32_t>(((v % 360) + 360) % 360);
}

bool BuildBox(FrameContext& ctx, const TilesState& s) {
    RasterEngine& e = ctx.Engine;
    e.View.Distance = s.BoxZ + kFaceDistance;
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
    for (int32_t i = 0; i < 8; ++i) {
        // Bit 0 of the corner number picks the side in x, bit 1 in height, bit 2 in depth.
        SetPoint((i & 1) ? s.BoxX : -s.BoxX, (i & 4) ? s.BoxZ : -s.BoxZ, (i & 2) ? s.BoxY : -s.BoxY,
                 box.Vertices[static_cast<size_t>(i)]);
    }
    e.ObjectCount = 1;
    return true;
}

// Every face of the box shows the piece of the picture at (tx, ty).
void TextureBox(FrameContext& ctx, const TilesState& s, int32_t tx, int32_t ty) {
    Object3D& box = ctx.Engine.Objects[0];
    Point2 t0, t1, t2, t3;
    SetPoint2(tx, ty + s.BoxY, t0);
    SetPoint2(tx + s.BoxX, ty + s.BoxY, t1);
    SetPoint2(tx + s.BoxX, ty, t2);
    SetPoint2(tx, ty, t3);
    for (size_t k = 0; k < 6; ++k) {
        const Face& f = kFaces[k];
        SetPolygon(f.C0, f.C1, f.C2, f.C3, t0, t1, t2, t3, 0, box.Polygons[k]);
    }
    ctx.Engine.ObjectCount = 1;
    PrepareObjects(ctx);
}

void ChooseOrigin(FrameContext& ctx, TilesState& s) {
    const double roomY = (ctx.Run.ScreenH - s.Side) - (s.Block.TileRows - 1) * s.TileH;
    const double roomX = (ctx.Run.ScreenW - s.Side) - (s.Block.TileColumns - 1) * s.TileW;
    const int32_t centredY = RoundEven(roomY * 0.5);
    const int32_t centredX = RoundEven(roomX * 0.5);
    if (s.Block.TilePlacement == 1) {
        s.OriginY = centredY;
        s.OriginX = centredX;
    } else {
        // A picture larger than the screen has no room for a random place (the range would
        // be taken as a huge unsigned number): it stands centred, partly off the screen.
        const int32_t rangeY = RoundEven(roomY);
        const int32_t rangeX = RoundEven(roomX);
        s.OriginY = rangeY >= 0 ? NextRandom(ctx, static_cast<uint32_t>(rangeY)) : centredY;
        s.OriginX = rangeX >= 0 ? NextRandom(ctx, static_cast<uint32_t>(rangeX)) : centredX;
    }
    if (s.SnapshotDC != 0) {
        ctx.Os.Gdi().BitBlt(s.SnapshotDC, 0, 0, s.SnapshotW, s.SnapshotH, ctx.Engine.WindowDC,
                            s.OriginX, s.OriginY, SRCCOPY);
    }
}

// The next tile still to do in this phase: its mark differs from the phase flag.
void ChooseTile(FrameContext& ctx, TilesState& s, int32_t& done, int32_t& currentRow,
                int32_t& column, int32_t& row) {
    const int32_t columns = s.Block.TileColumns;
    const int32_t rows = s.Block.TileRows;
    auto mark = [&](int32_t c, int32_t r) -> uint8_t& {
        return s.Marks[static_cast<size_t>(r)][static_cast<size_t>(c)];
    };
    if (s.Block.TileOrder == 1) {
        row = currentRow;
        do {
            column = NextRandom(ctx, static_cast<uint32_t>(columns));
        } while (mark(column, row) == s.Assembling);
        mark(column, row) = s.Assembling;
        ++done;
        if (done == (rows - currentRow) * columns) {
            --currentRow;
        }
    } else {
        do {
            column = NextRandom(ctx, static_cast<uint32_t>(columns));
            row = NextRandom(ctx, static_cast<uint32_t>(rows));
        } while (mark(column, row) == s.Assembling);
        mark(column, row) = s.Assembling;
        ++done;
    }
}

// Frames between the rest position and leaving the screen at speed v: to the far edge
// (screen size) when the flight lies on that side, else to just before the near edge.
int32_t FlightFrames(bool towardFarEdge, int32_t screen, int32_t rest, int32_t side, double v) {
    const double edge = towardFarEdge ? screen : -side;
    return std::abs(RoundEven((edge - rest) / -v));
}

// The tile at rest is replaced, in the engine's captured background, by what lay there
// before the picture was built, so that the tile leaves the old background behind.
void RestoreUnderTile(FrameContext& ctx, const TilesState& s, int32_t tx, int32_t ty) {
    RasterEngine& e = ctx.Engine;
    if (e.CaptureDC == 0) {
        return;
    }
    Gdi& gdi = ctx.Os.Gdi();
    const int32_t left = (s.Side - s.BoxX) / 2;
    const int32_t top = (s.Side - s.BoxY) / 2;
    const int32_t w = s.BoxX + 1;
    const int32_t h = s.BoxY + 1;
    if (s.SnapshotDC != 0) {
        gdi.BitBlt(e.CaptureDC, left, top, w, h, s.SnapshotDC, tx + left, ty + top, SRCCOPY);
    } else {
        gdi.FillRect(e.CaptureDC, {left, top, left + w, top + h}, e.BlackBrush);
    }
}

// The tile at rest, face-on in its place: its piece of the picture pixel for pixel in the
// middle rectangle of the frame, the one a tile taken apart gives back to the background.
// The renderer would map the piece's texels with its rounded-down steps, which would drop
// or repeat a column or row of each tile: the assembled picture is then not the picture.
// Beyond the picture's right and bottom edges the frame shows the background.
void LandTile(FrameContext& ctx, const TilesState& s, int32_t tx, int32_t ty, int32_t restX,
              int32_t restY) {
    ShowPicturePiece(ctx, restX, restY, 0, tx, ty, (s.Side - s.BoxX) / 2, (s.Side - s.BoxY) / 2,
                     s.BoxX + 1, s.BoxY + 1);
}

// One tile's flight: in from beyond the screen's edge to land face-on at its place, or
// from its place out beyond the edge.
void FlyTile(FrameContext& ctx, TilesState& s, int32_t column, int32_t row) {
    RasterEngine& e = ctx.Engine;
    const bool assembling = s.Assembling != 0;
    const int32_t tx = s.StepX * column;
    const int32_t ty = s.StepY * row;
    TextureBox(ctx, s, tx, ty);

    Vector3 spinVector;
    const double a = NextRandom(ctx, 5) + 6;
    const double b = NextRandom(ctx, 5) + 6;
    const double c = NextRandom(ctx, 5) + 6;
    ScaleVector3(spinVector, a, b, c, kSpinLength);
    const Angles3 spin{RoundEven(spinVector.X), RoundEven(spinVector.Y), RoundEven(spinVector.Z)};

    const double vx = DrawTileSpeed(ctx, s.MinSpeed);
    double vy = DrawTileSpeed(ctx, s.MinSpeed * 2 / 3);
    if (s.Block.TileOrder == 1) {
        vy = std::fabs(vy); // the tile falls
    }

    const int32_t restX = s.OriginX + tx;
    const int32_t restY = s.OriginY + ty;
    const int32_t nx = FlightFrames((vx < 0) == assembling, ctx.Run.ScreenW, restX, s.Side, vx);
    const int32_t ny = FlightFrames((vy < 0) == assembling, ctx.Run.ScreenH, restY, s.Side, vy);
    // A rest place beyond the screen's edge gives no frames: the tile still lands.
    const int32_t n = std::max({nx, ny, 1});

    Angles3& angles = e.Objects[0].Angles;
    double x = restX;
    double y = restY;
    if (assembling) {
        // Wound back by n turns of the spin, so that the tile lands face-on.
        angles.A = PositiveMod360(-int64_t{spin.A} * n);
        angles.B = PositiveMod360(-int64_t{spin.B} * n);
        angles.C = PositiveMod360(-int64_t{spin.C} * n);
        x -= n * vx;
        y -= n * vy;
    } else {
        angles = {};
        ShowScene(ctx, static_cast<int32_t>(x), static_cast<int32_t>(y));
        RestoreUnderTile(ctx, s, tx, ty);
    }

    FramePacer pacer(ctx, s.Period);
    for (int32_t i = 0; i < n && !ctx.StopRequested; ++i) {
        pacer.Advance();
        angles.A = (angles.A + 3600 + spin.A) % 360;
        angles.B = (angles.B + 3600 + spin.B) % 360;
        angles.C = (angles.C + 3600 + spin.C) % 360;
        x += vx;
        y += vy;
        SetView(ctx);
        PumpFrame(ctx);
        // Every frame is drawn: the last one lands the tile (or takes it off the screen),
        // and each present must cover the box's previous place.
        if (assembling && i == n - 1) {
            LandTile(ctx, s, tx, ty, restX, restY);
        } else {
            ShowScene(ctx, static_cast<int32_t>(x), static_cast<int32_t>(y));
        }
        while (pacer.OnTime() && !ctx.StopRequested) {
            PumpFrame(ctx);
        }
    }
}

void FreeSnapshot(FrameContext& ctx, TilesState& s) {
    Gdi& gdi = ctx.Os.Gdi();
    if (s.SnapshotDC != 0) {
        gdi.DeleteDC(s.SnapshotDC);
        s.SnapshotDC = 0;
    }
    if (s.Snapshot != 0) {
        gdi.DeleteObject(s.Snapshot);
        s.Snapshot = 0;
    }
}

void CreateSnapshot(FrameContext& ctx, TilesState& s, int32_t w, int32_t h) {
    RasterEngine& e = ctx.Engine;
    Gdi& gdi = ctx.Os.Gdi();
    s.SnapshotW = RoundEven(w + s.Side - s.TileW);
    s.SnapshotH = RoundEven(h + s.Side - s.TileH);
    s.SnapshotDC = gdi.CreateCompatibleDC(e.WindowDC);
    s.Snapshot = gdi.CreateCompatibleBitmap(e.WindowDC, s.SnapshotW, s.SnapshotH);
    if (s.SnapshotDC == 0 || s.Snapshot == 0) {
        // Without it a tile leaves black behind, as on the black background.
        FreeSnapshot(ctx, s);
        return;
    }
    gdi.SelectObject(s.SnapshotDC, s.Snapshot);
    if (e.EnginePalette != 0) {
        gdi.SelectPalette(s.SnapshotDC, e.EnginePalette, false);
        gdi.RealizePalette(s.SnapshotDC);
    }
}

} // namespace

double DrawTileSpeed(FrameContext& ctx, double least) {
    // The smallest number of half steps that is at least `least`; the largest there is
    // when none is.
    int32_t lowest = 0;
    while (lowest < kHalfSteps && lowest * 0.5 < least) {
        ++lowest;
    }
    if (lowest == 0) {
        return (NextRandom(ctx, 2 * kHalfSteps + 1) - kHalfSteps) * 0.5;
    }
    // The allowed values: -17 .. -lowest and lowest .. 17 half steps, one draw among them.
    const int32_t perSide = kHalfSteps - lowest + 1;
    const int32_t r = NextRandom(ctx, static_cast<uint32_t>(2 * perSide));
    const int32_t halfSteps = r < perSide ? r - kHalfSteps : lowest + (r - perSide);
    return halfSteps * 0.5;
}

void RunFlyingTiles(FrameContext& ctx) {
    TilesState s;
    StyleBlock<TilesBlock> block;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        block = ReadStyleBlock(file, kTilesParams, 0);
    }
    s.Block = block.Values;
    int32_t speed = EffectiveSpeed(ctx, s.Block.SpeedOffset);
    OpenPictureTable(ctx, ctx.Run.ShowFile);
    if (block.Refused) {
        ErrorScreen(ctx, block.Refused->Refusal);
        return;
    }
    if (ctx.Run.IsPreview) {
        speed /= 3;
        ctx.Run.Speed = speed;
    }
    s.Period = (100 - speed) * 2 + 1;

    RasterEngine& e = ctx.Engine;
    const TilesBlock& b = s.Block;
    const int32_t mode = b.BackgroundMode;
    // The screen capture is the background in every mode: a landed tile stays on the
    // screen as pixels, and the flying box is composed over what the screen shows.
    EngineInit(ctx, 64, 64, 256,
               kTexturedRendering |
                   (mode == kShowBackgroundDesktop ? kDesktopBackground : kScreenBackground));
    if (e.EngineFailed) {
        return;
    }
    const int32_t pictures[] = {b.TilePicture};
    if (!LoadPictures(ctx, pictures)) {
        return;
    }
    const bool pictureBackground = mode >= kShowBackgroundTiled;
    if (pictureBackground) {
        LoadPicture(ctx, b.BackgroundPicture);
        if (e.EngineFailed) {
            return;
        }
    }
    BuildCommonPalette(ctx, mode == kShowBackgroundDesktop);
    if (e.EngineFailed) {
        return;
    }
    if (ctx.Run.IsPreview) {
        ShrinkPictures(ctx, -1);
    }

    const int32_t w = e.Pictures[0].Width();
    const int32_t h = e.Pictures[0].Height();
    s.TileW = static_cast<double>(w) / b.TileColumns;
    s.TileH = static_cast<double>(h) / b.TileRows;
    s.StepX = RoundEven(s.TileW);
    s.StepY = RoundEven(s.TileH);
    s.BoxX = s.StepX + 1;
    s.BoxY = s.StepY + 1;
    s.BoxZ = (s.BoxX + s.BoxY) / 2;
    const double diagonal =
        std::sqrt(double(s.BoxX) * s.BoxX + double(s.BoxY) * s.BoxY + double(s.BoxZ) * s.BoxZ);
    int32_t side = static_cast<int32_t>(std::trunc((diagonal * 2.2 + 26) * 0.5));
    // Each present must cover the box's previous place: the frame holds the box turned any
    // way (a corner comes no nearer the camera than the view distance less the diagonal)
    // with a frame's largest move (8.5 pixels, and a pixel for the truncated position) on
    // every side. For small tiles the rule above leaves less and the tiles leave pieces of
    // themselves on the screen; there the frame is made that much larger.
    // (A box larger than the view distance has no such bound; its frame is capped below.)
    if (const double nearest = s.BoxZ + kFaceDistance - diagonal; nearest > 0) {
        const double reach = std::min(diagonal * kFocalFactor / nearest, double{kMaxSide});
        side = std::max(side, 2 * (static_cast<int32_t>(std::ceil(reach)) + kHalfSteps / 2 + 2));
    }
    s.Side = std::min((side + 3) / 4 * 4, kMaxSide);
    EngineResize(ctx, s.Side, s.Side);
    if (e.EngineFailed) {
        return;
    }

    EngineStart(ctx, ctx.Run.SaverWnd);
    if (e.EngineFailed) {
        return;
    }
    AdoptScreenPalette(ctx, 0, 0);
    ResetBackgroundCapture(ctx);
    if (mode == kShowBackgroundTiled) {
        TileScreen(ctx, 1); // shrunk with the others in preview
    } else if (mode == kShowBackgroundCentred) {
        const PictureSlot& p = e.Pictures[1];
        PresentPixels(ctx, (ctx.Run.ScreenW - p.Width()) / 2, (ctx.Run.ScreenH - p.Height()) / 2,
                      p.Pixels.data(), p.Header);
    }
    DrawCaptions(ctx);
    if (!BuildBox(ctx, s)) {
        return;
    }
    if (mode != kShowBackgroundBlack) {
        CreateSnapshot(ctx, s, w, h);
    }
    s.MinSpeed = ctx.Run.ScreenW / 150.0;

    const int32_t total = b.TileColumns * b.TileRows;
    while (!ctx.StopRequested) {
        if (s.Assembling) {
            ChooseOrigin(ctx, s);
        }
        int32_t done = 0;
        int32_t currentRow = b.TileRows - 1;
        while (!ctx.StopRequested) {
            int32_t column = 0;
            int32_t row = 0;
            ChooseTile(ctx, s, done, currentRow, column, row);
            FlyTile(ctx, s, column, row);
            if (done == total) {
                break;
            }
        }
        s.Assembling = s.Assembling ? 0 : 1;
        WaitMs(ctx, kRestMs);
        // Just outside the window: the next flight captures the screen afresh.
        ShowScene(ctx, ctx.Run.ScreenW, ctx.Run.ScreenH);
    }
    FreeSnapshot(ctx, s);
    EngineShutdown(ctx);
}

} // namespace qv
