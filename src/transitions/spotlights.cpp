#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace qv {
namespace {

enum SpotlightsMode : uint8_t { kSpotlights = 0, kLenses = 1 };

// The working arrays: 18 pictures, 20 spots (the block's limits keep the spots within the
// engine's picture slots).
constexpr int32_t kMaxSpots = 20;
// Without captions the spots may leave the screen by this many pixels on every side.
constexpr int32_t kOverscan = 16;
constexpr double kFrameMs = 50.0;
// Mask values: AndPictures and MaskedZoomCopy cut out the shape only with all bits set
// inside it and none outside.
constexpr uint8_t kMaskInside = 255;
constexpr uint8_t kMaskOutside = 0;

struct Spot {
    double X = 0.0; // top-left corner of the square, screen pixels
    double Y = 0.0;
    Vector2 V; // pixels per frame
};

// Everything one run of the spotlights or lenses keeps.
struct SpotlightsState {
    uint8_t Mode = kSpotlights;
    SpotlightsBlock Block;
    int32_t Axes = kAxisX | kAxisY;
    int32_t Shape = kSpotCircle;
    SpotGeometry Geometry;
    int32_t Count = 0;
    int32_t MaskSlot = 1;
    int32_t ZoomSlot = -1;
    int32_t FirstSpotSlot = 2;
    std::array<Spot, kMaxSpots> Spots{};
};

double Speed2(const SpotlightsState& s) {
    return 2.0 * s.Geometry.Step;
}

void Normalise(const SpotlightsState& s, Vector2& v, double x, double y) {
    ScaleVector2({x, y}, s.Axes, v, Speed2(s));
}

double Squared(double x) {
    return x * x;
}

// A position truncated toward zero to whole pixels. A square wider than the screen may be
// placed anywhere up to 2^32 pixels away, beyond what a pixel coordinate holds.
int32_t Pixel(double v) {
    return static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

// The offset between two truncated positions, kept within a pixel coordinate.
int32_t Offset(double to, double from) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(int64_t{Pixel(to)} - Pixel(from), INT32_MIN, INT32_MAX));
}

double DistanceSquared(const Spot& a, const Spot& b) {
    return Squared(a.X - b.X) + Squared(a.Y - b.Y);
}

// The spots show black wherever their square lies outside the shape: the AND with the mask
// leaves index 0 there, so index 0 of the picture must be black. Pictures are stored with
// their colours in any order; this puts a black entry at index 0, swapping it with the one
// there (the pixels follow). A table without black gives up its least used entry, whose
// pixels move to the nearest other colour.
void MakeIndexZeroBlack(FrameContext& ctx, int32_t slot) {
    PictureSlot& p = ctx.Engine.Pictures[static_cast<size_t>(slot)];
    RGBQUAD* table = p.Header.bmiColors;
    auto isBlack = [](const RGBQUAD& c) { return c.Red == 0 && c.Green == 0 && c.Blue == 0; };
    if (isBlack(table[0]) || p.Pixels.empty()) {
        return;
    }
    std::array<uint8_t, 256> map{};
    for (int i = 0; i < 256; ++i) {
        map[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    }
    int black = -1;
    for (int i = 1; i < 256 && black < 0; ++i) {
        if (isBlack(table[i])) {
            black = i;
        }
    }
    if (black < 0) {
        std::array<int64_t, 256> uses{};
        for (int32_t r = 0; r < p.Height(); ++r) {
            const uint8_t* row = p.Pixels.data() + static_cast<size_t>(r) * p.Stride;
            for (int32_t c = 0; c < p.Width(); ++c) {
                ++uses[row[c]];
            }
        }
        black = 1;
        for (int i = 2; i < 256; ++i) {
            if (uses[static_cast<size_t>(i)] < uses[static_cast<size_t>(black)]) {
                black = i;
            }
        }
        int nearest = 0;
        int64_t best = INT64_MAX;
        for (int i = 0; i < 256; ++i) {
            if (i == black) {
                continue;
            }
            const int64_t dr = table[i].Red - table[black].Red;
            const int64_t dg = table[i].Green - table[black].Green;
            const int64_t db = table[i].Blue - table[black].Blue;
            const int64_t d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                nearest = i;
            }
        }
        map[static_cast<size_t>(black)] = static_cast<uint8_t>(nearest);
        table[black] = RGBQUAD{0, 0, 0, 0};
    }
    // Swap entries 0 and black; a pixel sent elsewhere above is then renamed as well.
    for (uint8_t& m : map) {
        if (m == 0) {
            m = static_cast<uint8_t>(black);
        } else if (m == black) {
            m = 0;
        }
    }
    std::swap(table[0], table[black]);
    for (uint8_t& px : p.Pixels) {
        px = map[px];
    }
    std::copy(table, table + 256, ctx.Engine.FrameHeader.bmiColors);
}

// Loads list entry `index` into slot 0 (a new slot at the start, in place afterwards).
bool LoadCurrent(FrameContext& ctx, const SpotlightsState& s, int32_t index, bool first) {
    const int32_t number = s.Block.PictureNumbers[static_cast<size_t>(index)];
    if (first) {
        LoadPicture(ctx, number);
    } else {
        ReloadPicture(ctx, 0, number);
    }
    if (ctx.Engine.EngineFailed) {
        return false;
    }
    if (s.Mode == kSpotlights) {
        MakeIndexZeroBlack(ctx, 0);
    }
    if (ctx.Run.IsPreview) {
        ShrinkPictures(ctx, first ? -1 : 0);
    }
    return !ctx.Engine.EngineFailed;
}

// The derived sizes and the speed, from the block and the user's speed.
void Derive(FrameContext& ctx, SpotlightsState& s) {
    int32_t speed = EffectiveSpeed(ctx, s.Block.SpeedOffset);
    int32_t size = s.Block.SpotSize;
    if (ctx.Run.IsPreview) {
        size /= 5;
        speed /= 5;
        ctx.Run.Speed = speed;
    }
    const bool lenses = s.Mode == kLenses;
    s.Geometry = SpotlightsGeometry(speed, size, lenses ? s.Block.ZoomFactor : 1);
    s.Axes = lenses ? kAxisX | kAxisY : s.Block.MoveAxes;
    s.Shape = lenses ? s.Block.SpotShape : kSpotCircle;
}

// Placement in whole passes: a lens that overlaps an earlier one marks the pass, and from
// then on each lens of the pass drops the count by one with a chance of one in ten. A pass
// that can overlap has at least two lenses, so the count only falls while passes repeat,
// and one lens alone always fits.
void Place(FrameContext& ctx, SpotlightsState& s) {
    const int32_t width = ctx.Run.ScreenW - s.Geometry.Edge;
    const int32_t height = ctx.Run.FreeBottom - ctx.Run.FreeTop - s.Geometry.Edge;
    const double reach2 = Squared(s.Geometry.Reach);
    bool overlap = true;
    while (overlap && !ctx.StopRequested) {
        overlap = false;
        const int32_t n = s.Count;
        for (int32_t k = 0; k < n; ++k) {
            Spot& spot = s.Spots[static_cast<size_t>(k)];
            // Ranges are taken as unsigned: a square wider than the screen lands anywhere
            // and bounces back.
            spot.X = NextRandom(ctx, static_cast<uint32_t>(width));
            spot.Y = ctx.Run.FreeTop +
                     static_cast<double>(NextRandom(ctx, static_cast<uint32_t>(height)));
            const int32_t ux = NextRandom(ctx, 7) - 3;
            const int32_t uy = NextRandom(ctx, 7) - 3;
            Normalise(s, spot.V, ux, uy);
            if (s.Mode == kLenses) {
                for (int32_t j = 0; j < k; ++j) {
                    if (DistanceSquared(s.Spots[static_cast<size_t>(j)], spot) < reach2) {
                        overlap = true;
                    }
                }
            }
            PumpFrame(ctx);
            if (overlap && NextRandom(ctx, 10) == 0) {
                --s.Count;
            }
        }
    }
}

void Move(FrameContext& ctx, const SpotlightsState& s, Spot& spot) {
    const double right = ctx.Run.ScreenW + kOverscan;
    const double top = ctx.Run.FreeTop;
    const double bottom = ctx.Run.FreeBottom;
    Vector2& v = spot.V;
    bool bounce = false;
    if (spot.X + s.Geometry.Edge > right) {
        v.X = -1.0 - std::abs(0.6 * v.X);
        bounce = true;
    } else if (spot.X < -kOverscan) {
        v.X = 1.0 + std::abs(0.6 * v.X);
        bounce = true;
    }
    if (bounce) {
        v.Y += NextRandom(ctx, 3) - 1;
        Normalise(s, v, v.X, v.Y);
    }
    bounce = false;
    if (spot.Y + v.Y < top) {
        v.Y = 1.0 + std::abs(0.6 * v.Y);
        bounce = true;
    } else if (spot.Y + v.Y + s.Geometry.Edge > bottom) {
        v.Y = -1.0 - std::abs(0.6 * v.Y);
        bounce = true;
    }
    if (bounce) {
        v.X += NextRandom(ctx, 3) - 1;
        Normalise(s, v, v.X, v.Y);
    }
    spot.X += v.X;
    spot.Y += v.Y;
}

void Compose(FrameContext& ctx, const SpotlightsState& s) {
    for (int32_t k = 0; k < s.Count; ++k) {
        const Spot& spot = s.Spots[static_cast<size_t>(k)];
        const int32_t x = Pixel(spot.X);
        const int32_t y = Pixel(spot.Y);
        const int32_t slot = s.FirstSpotSlot + k;
        if (s.Mode == kLenses) {
            const int32_t zx = Offset(spot.X, -s.Geometry.ZoomOffset);
            const int32_t zy = Offset(spot.Y, -s.Geometry.ZoomOffset);
            DrawTiledBackground(ctx, s.ZoomSlot, 0, zx, zy);
            DrawTiledBackground(ctx, slot, 0, x, y);
            MaskedZoomCopy(ctx, slot, s.ZoomSlot, s.MaskSlot, s.Geometry.Zoom);
        } else {
            DrawTiledBackground(ctx, slot, 0, x, y);
            AndPictures(ctx, slot, s.MaskSlot);
        }
    }
}

void Pairs(FrameContext& ctx, SpotlightsState& s) {
    const double reach2 = Squared(s.Geometry.Reach);
    for (int32_t k = 1; k < s.Count; ++k) {
        Spot& a = s.Spots[static_cast<size_t>(k)];
        for (int32_t j = 0; j < k; ++j) {
            Spot& b = s.Spots[static_cast<size_t>(j)];
            if (s.Mode == kSpotlights) {
                // Where two squares overlap both show both shapes.
                MergePictures(ctx, s.FirstSpotSlot + k, s.FirstSpotSlot + j, Offset(b.X, a.X),
                              Offset(b.Y, a.Y));
            } else if (DistanceSquared(a, b) < reach2) {
                SeparateLenses(ctx, {a.X, a.Y}, a.V, {b.X, b.Y}, b.V, Speed2(s));
            }
        }
    }
}

void Present(FrameContext& ctx, const SpotlightsState& s) {
    for (int32_t k = 0; k < s.Count; ++k) {
        const Spot& spot = s.Spots[static_cast<size_t>(k)];
        const PictureSlot& p = ctx.Engine.Pictures[static_cast<size_t>(s.FirstSpotSlot + k)];
        PresentPixels(ctx, Pixel(spot.X), Pixel(spot.Y), p.Pixels.data(), p.Header);
    }
}

// The wallpaper of the lenses: the picture tiled over the window.
void PaintScreen(FrameContext& ctx, const SpotlightsState& s) {
    if (s.Mode == kLenses) {
        TileScreen(ctx, 0);
    }
}

// The next picture of the list into slot 0, its palette realised on a fresh screen, and its
// colour table in every working picture.
bool ChangePicture(FrameContext& ctx, const SpotlightsState& s, int32_t index) {
    if (!LoadCurrent(ctx, s, index, false)) {
        return false;
    }
    EngineStart(ctx, ctx.Run.SaverWnd);
    if (ctx.Engine.EngineFailed) {
        return false;
    }
    PaintScreen(ctx, s);
    DrawCaptions(ctx);
    RasterEngine& e = ctx.Engine;
    const RGBQUAD* table = e.Pictures[0].Header.bmiColors;
    for (int32_t i = 1; i < e.PictureCount(); ++i) {
        std::copy(table, table + 256, e.Pictures[static_cast<size_t>(i)].Header.bmiColors);
    }
    return true;
}

} // namespace

SpotGeometry SpotlightsGeometry(int32_t speed, int32_t spotSize, int32_t zoomFactor) {
    SpotGeometry g;
    g.Step = static_cast<int32_t>(std::nearbyint(speed * (1.0 / 15.0))) + 1;
    // A negative size has no shape at all, as a size of 0. Sizes past what a picture slot
    // holds are cut to a square that is still too large for one, which the style refuses.
    const int32_t size = std::clamp(spotSize, 0, 1 << 20);
    g.Size = size;
    g.Edge = (size + 4 * g.Step + 11) & ~3;
    g.Margin = (g.Edge - size) / 2;
    // Any factor of the edge or more samples the zoom picture's first pixel alone, as a
    // larger one would.
    g.Zoom = std::clamp(zoomFactor, 1, g.Edge);
    g.Reach = std::trunc(std::sqrt(2.0 * Squared(size - 10.0)));
    g.ZoomOffset = g.Edge / 2 - (g.Edge / 2) / g.Zoom;
    g.ZoomEdge = g.Edge / g.Zoom;
    return g;
}

void SeparateLenses(ShowContext& ctx, const Vector2& at, Vector2& v, const Vector2& earlierAt,
                    Vector2& earlierV, double speed) {
    // The earlier lens first, each direction tilted by up to 7 pixels.
    const double ex = (earlierAt.X - at.X) + (NextRandom(ctx, 15) - 7);
    const double ey = (earlierAt.Y - at.Y) + (NextRandom(ctx, 15) - 7);
    ScaleVector2({ex, ey}, kAxisX | kAxisY, earlierV, speed);
    const double x = (at.X - earlierAt.X) + (NextRandom(ctx, 15) - 7);
    const double y = (at.Y - earlierAt.Y) + (NextRandom(ctx, 15) - 7);
    ScaleVector2({x, y}, kAxisX | kAxisY, v, speed);
}

bool AddSpotMask(FrameContext& ctx, int32_t edge, int32_t margin, int32_t size, int32_t shape) {
    RasterEngine& e = ctx.Engine;
    const int32_t slot = e.PictureCount();
    AddBlankPicture(ctx, edge, edge);
    if (e.EngineFailed) {
        return false;
    }
    PictureSlot& mask = e.Pictures[static_cast<size_t>(slot)];
    // The shape is drawn on an indexed bitmap of our own two colours, white at 255 and black
    // at 0 (the rest grey, nearer neither), and its indices read back as they are: the
    // values do not depend on the palette the window has realised, nor on its depth.
    Gdi& gdi = ctx.Os.Gdi();
    std::array<PALETTEENTRY, 256> entries{};
    entries.fill(PALETTEENTRY{128, 128, 128, 0});
    entries[kMaskOutside] = PALETTEENTRY{0, 0, 0, 0};
    entries[kMaskInside] = PALETTEENTRY{255, 255, 255, 0};
    const HPALETTE palette = gdi.CreatePalette(entries.data(), 256);
    const HBITMAP bitmap = gdi.CreateIndexedBitmap(mask.Width(), mask.Height());
    const HDC dc = gdi.CreateCompatibleDC(e.WindowDC);
    const HBRUSH white = gdi.CreateSolidBrush(RGB(255, 255, 255));
    const HBRUSH black = gdi.CreateSolidBrush(RGB(0, 0, 0));
    const HPEN pen = gdi.CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    if (palette != 0 && bitmap != 0 && dc != 0) {
        const HGDIOBJ oldBitmap = gdi.SelectObject(dc, bitmap);
        const HPALETTE oldPalette = gdi.SelectPalette(dc, palette, false);
        gdi.RealizePalette(dc);
        gdi.FillRect(dc, {0, 0, mask.Width(), mask.Height()}, black);
        const HGDIOBJ oldPen = gdi.SelectObject(dc, pen);
        const HGDIOBJ oldBrush = gdi.SelectObject(dc, white);
        const int32_t far = margin + size;
        switch (shape) {
        case kSpotSquare:
            gdi.FillRect(dc, {margin, margin, far, far}, white);
            break;
        case kSpotTriangle: {
            const Point corners[3] = {{margin, far}, {far, far}, {margin + size / 2, margin}};
            gdi.Polygon(dc, corners, 3);
            break;
        }
        default:
            gdi.Ellipse(dc, margin, margin, far, far);
            break;
        }
        gdi.SelectObject(dc, oldBrush);
        gdi.SelectObject(dc, oldPen);
        // A copy of the header: the read-back fills it with the bitmap's own colours.
        BITMAPINFO info = mask.Header;
        gdi.GetDIBits(dc, bitmap, 0, static_cast<uint32_t>(mask.Height()), mask.Pixels.data(),
                      &info, DIB_RGB_COLORS);
        gdi.SelectPalette(dc, oldPalette, false);
        gdi.SelectObject(dc, oldBitmap);
    }
    // Anything but the two values (none is expected) counts as outside.
    for (uint8_t& px : mask.Pixels) {
        px = px == kMaskInside ? kMaskInside : kMaskOutside;
    }
    gdi.DeleteObject(pen);
    gdi.DeleteObject(black);
    gdi.DeleteObject(white);
    if (dc != 0) {
        gdi.DeleteDC(dc);
    }
    gdi.DeleteObject(bitmap);
    gdi.DeleteObject(palette);
    return true;
}

void RunSpotlights(FrameContext& ctx, uint8_t mode) {
    SpotlightsState s;
    s.Mode = mode == kLenses ? kLenses : kSpotlights;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        StyleBlock<SpotlightsBlock> block = ReadStyleBlock(file, kSpotlightsParams, s.Mode);
        s.Block = std::move(block.Values);
        Derive(ctx, s);
        OpenPictureTable(ctx, ctx.Run.ShowFile);
        if (block.Refused) {
            ErrorScreen(ctx, block.Refused->Refusal);
            return;
        }
    }
    s.Count = std::min(s.Block.SpotCount, kMaxSpots);

    // The mask and every spot are pictures of B x B: one that a picture slot cannot hold is
    // refused as the engine refuses it, before the frame buffer of that size is allocated.
    if (int64_t{s.Geometry.Edge} * s.Geometry.Edge > kMaxPictureBytes) {
        EngineFail(ctx, "BB");
        return;
    }
    EngineInit(ctx, s.Geometry.Edge, s.Geometry.Edge, 256, kTexturedRendering);
    if (ctx.Engine.EngineFailed || !LoadCurrent(ctx, s, 0, true)) {
        return;
    }
    EngineStart(ctx, ctx.Run.SaverWnd);
    PaintScreen(ctx, s);
    if (ctx.Engine.EngineFailed) {
        return;
    }
    s.MaskSlot = ctx.Engine.PictureCount();
    if (!AddSpotMask(ctx, s.Geometry.Edge, s.Geometry.Margin, s.Geometry.Size, s.Shape)) {
        return;
    }
    DrawCaptions(ctx);
    if (ctx.Run.FreeTop == 0) {
        ctx.Run.FreeTop = -kOverscan;
    }
    if (ctx.Run.FreeBottom == ctx.Run.ScreenH) {
        ctx.Run.FreeBottom = ctx.Run.ScreenH + kOverscan;
    }
    if (s.Mode == kLenses) {
        s.ZoomSlot = ctx.Engine.PictureCount();
        AddBlankPicture(ctx, s.Geometry.ZoomEdge, s.Geometry.ZoomEdge);
    }
    s.FirstSpotSlot = ctx.Engine.PictureCount();
    for (int32_t k = 0; k < s.Count && !ctx.Engine.EngineFailed; ++k) {
        AddBlankPicture(ctx, s.Geometry.Edge, s.Geometry.Edge);
    }
    if (ctx.Engine.EngineFailed) {
        return;
    }
    Place(ctx, s);

    FramePacer pacer(ctx, kFrameMs);
    double switchAt = pacer.Deadline() + s.Block.SwitchTime;
    int32_t index = 0;
    while (!ctx.StopRequested) {
        pacer.Advance();
        for (int32_t k = 0; k < s.Count; ++k) {
            Move(ctx, s, s.Spots[static_cast<size_t>(k)]);
        }
        PumpFrame(ctx);
        Compose(ctx, s);
        Pairs(ctx, s);
        Present(ctx, s);
        if (pacer.Deadline() > switchAt && s.Block.PictureCount > 1) {
            index = (index + 1) % s.Block.PictureCount;
            if (!ChangePicture(ctx, s, index)) {
                return;
            }
            switchAt += s.Block.SwitchTime;
        }
        pacer.Wait();
    }
    EngineShutdown(ctx);
}

} // namespace qv
