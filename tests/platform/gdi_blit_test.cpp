#include "gdi_fixture.h"
#include "platform/gdi_pixels.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace qv::test {
namespace {

// What a blit must produce, worked out pixel by pixel from copies taken before it ran: a
// destination pixel inside the destination rectangle whose source pixel lies inside the
// source surface is combined with that source pixel; every other pixel keeps its value.
// Because the source is a copy, a blit of a surface onto itself must match it exactly
// (the result is as if the source had been copied first).
Surface Expected(const Surface& dstBefore, const Surface& srcBefore, int32_t x, int32_t y,
                 int32_t w, int32_t h, int32_t sx, int32_t sy, uint32_t rop) {
    Surface out = dstBefore;
    for (int32_t dy = 0; dy < h; ++dy) {
        for (int32_t dx = 0; dx < w; ++dx) {
            const int32_t tx = x + dx;
            const int32_t ty = y + dy;
            const int32_t fx = sx + dx;
            const int32_t fy = sy + dy;
            if (tx < 0 || ty < 0 || tx >= out.Width() || ty >= out.Height() || fx < 0 || fy < 0 ||
                fx >= srcBefore.Width() || fy >= srcBefore.Height()) {
                continue;
            }
            uint32_t s = 0;
            if (out.Format() == PixelFormat::Xrgb32) {
                s = srcBefore.PixelRgb(fx, fy);
            } else if (srcBefore.Format() == PixelFormat::Indexed8 &&
                       srcBefore.Colors() == out.Colors()) {
                s = srcBefore.Row(fy)[fx];
            } else {
                s = gdi::NearestIndex(out.Colors(), srcBefore.PixelRgb(fx, fy));
            }
            const uint32_t d = Raw(out, tx, ty);
            const uint32_t v = rop == SRCCOPY ? s : rop == SRCAND ? (d & s) : (d | s);
            if (out.Format() == PixelFormat::Xrgb32) {
                out.Row32(ty)[tx] = v;
            } else {
                out.Row(ty)[tx] = static_cast<uint8_t>(v);
            }
        }
    }
    return out;
}

void ExpectSamePixels(const Surface& actual, const Surface& expected) {
    ASSERT_EQ(actual.Width(), expected.Width());
    ASSERT_EQ(actual.Height(), expected.Height());
    for (int32_t y = 0; y < actual.Height(); ++y) {
        for (int32_t x = 0; x < actual.Width(); ++x) {
            ASSERT_EQ(Raw(actual, x, y), Raw(expected, x, y)) << "pixel (" << x << ", " << y << ")";
        }
    }
}

struct BlitCase {
    const char* Name;
    int32_t X, Y, W, H, SrcX, SrcY;
};

// Destination and source rectangles around 7 x 5 surfaces: inside, over every edge, all
// outside.
const BlitCase kPlacements[] = {
    {"inside", 1, 1, 3, 2, 2, 1},
    {"whole", 0, 0, 7, 5, 0, 0},
    {"dst over left", -2, 1, 4, 3, 0, 0},
    {"dst over top", 1, -2, 3, 4, 0, 0},
    {"dst over right", 5, 1, 4, 3, 0, 0},
    {"dst over bottom", 1, 3, 3, 4, 0, 0},
    {"src over left", 1, 1, 4, 3, -2, 0},
    {"src over top", 1, 1, 3, 4, 0, -3},
    {"src over right", 0, 0, 5, 3, 4, 1},
    {"src over bottom", 0, 0, 3, 5, 1, 3},
    {"larger than both", -3, -3, 20, 20, -1, -2},
    {"all outside", 8, 0, 3, 3, 0, 0},
    {"source all outside", 0, 0, 3, 3, 9, 9},
    {"empty", 2, 2, 0, 3, 0, 0},
};

// Overlapping copies of one surface onto itself, in every direction.
const BlitCase kSelfCopies[] = {
    {"right", 2, 0, 5, 5, 0, 0},      {"left", 0, 0, 5, 5, 2, 0},
    {"down", 0, 2, 7, 3, 0, 0},       {"up", 0, 0, 7, 3, 0, 2},
    {"down right", 1, 1, 6, 4, 0, 0}, {"up left", 0, 0, 6, 4, 1, 1},
    {"down left", 0, 1, 6, 4, 1, 0},  {"up right", 1, 0, 6, 4, 0, 1},
    {"in place", 0, 0, 7, 5, 0, 0},   {"right by one over the edge", 1, 0, 9, 5, 0, 0},
};

const uint32_t kRops[] = {SRCCOPY, SRCAND, SRCPAINT};

struct FormatPair {
    const char* Name;
    PixelFormat Dst, Src;
    bool SharedTable;
};
const FormatPair kFormats[] = {
    {"32 to 32", PixelFormat::Xrgb32, PixelFormat::Xrgb32, false},
    {"8 to 32", PixelFormat::Xrgb32, PixelFormat::Indexed8, false},
    {"8 to 8 same table", PixelFormat::Indexed8, PixelFormat::Indexed8, true},
    {"8 to 8 other table", PixelFormat::Indexed8, PixelFormat::Indexed8, false},
    {"32 to 8", PixelFormat::Indexed8, PixelFormat::Xrgb32, false},
};

TEST(GdiBitBlt, EveryRopFormatAndPlacementMatchesThePixelReference) {
    for (const FormatPair& f : kFormats) {
        for (uint32_t rop : kRops) {
            for (const BlitCase& c : kPlacements) {
                SCOPED_TRACE(std::string(f.Name) + ", " + c.Name + ", rop " + std::to_string(rop));
                GdiWorld w;
                HBITMAP db = 0;
                HBITMAP sb = 0;
                const HDC dst = w.MakeBitmapDc(7, 5, f.Dst, &db);
                const HDC src = w.MakeBitmapDc(6, 4, f.Src, &sb);
                Surface& ds = *w.Gdi.BitmapSurface(db);
                Surface& ss = *w.Gdi.BitmapSurface(sb);
                ds.Colors() = DistinctTable(1);
                ss.Colors() = f.SharedTable ? ds.Colors() : DistinctTable(2);
                FillPattern(ds, 11);
                FillPattern(ss, 12);
                const Surface expected = Expected(ds, ss, c.X, c.Y, c.W, c.H, c.SrcX, c.SrcY, rop);
                ASSERT_TRUE(w.Gdi.BitBlt(dst, c.X, c.Y, c.W, c.H, src, c.SrcX, c.SrcY, rop));
                ExpectSamePixels(ds, expected);
            }
        }
    }
}

TEST(GdiBitBlt, SelfCopyWithOverlapActsAsIfTheSourceWereCopiedFirst) {
    for (PixelFormat format : {PixelFormat::Xrgb32, PixelFormat::Indexed8}) {
        for (uint32_t rop : kRops) {
            for (const BlitCase& c : kSelfCopies) {
                SCOPED_TRACE(std::string(c.Name) + ", rop " + std::to_string(rop) +
                             (format == PixelFormat::Indexed8 ? ", 8-bit" : ", 32-bit"));
                GdiWorld w;
                HBITMAP b = 0;
                const HDC dc = w.MakeBitmapDc(7, 5, format, &b);
                Surface& s = *w.Gdi.BitmapSurface(b);
                s.Colors() = DistinctTable(3);
                FillPattern(s, 21);
                const Surface before = s;
                const Surface expected =
                    Expected(before, before, c.X, c.Y, c.W, c.H, c.SrcX, c.SrcY, rop);
                ASSERT_TRUE(w.Gdi.BitBlt(dc, c.X, c.Y, c.W, c.H, dc, c.SrcX, c.SrcY, rop));
                ExpectSamePixels(s, expected);
            }
        }
    }
}

TEST(GdiBitBlt, WindowSurfaceSelfCopyScrollsAndRecordsDamage) {
    GdiWorld w;
    const HWND wnd = w.MakeWindow(9, 6);
    const HDC dc = w.Gdi.GetDC(wnd);
    Surface& s = *w.Windows.WindowSurface(wnd);
    FillPattern(s, 5);
    s.TakeDamage();
    const Surface before = s;
    ASSERT_TRUE(w.Gdi.BitBlt(dc, 2, 1, 9, 6, dc, 0, 0, SRCCOPY));
    ExpectSamePixels(s, Expected(before, before, 2, 1, 9, 6, 0, 0, SRCCOPY));
    EXPECT_EQ(s.TakeDamage().Bounds(), (Rect{2, 1, 9, 6}));
    w.Gdi.ReleaseDC(wnd, dc);
}

// Damage is kept as a few rectangles: changes that overlap or touch become one, changes
// apart stay apart, and beyond the list's room the rectangles are merged so that every
// changed pixel stays covered.
TEST(SurfaceDamage, KeepsChangesApartAndCoversEveryChangedPixel) {
    struct Case {
        const char* Name;
        std::vector<Rect> Added;
        std::vector<Rect> Expected; // in any order; empty: only check coverage
    };
    std::vector<Rect> many;
    for (int32_t i = 0; i < 20; ++i) {
        many.push_back({i * 10, (i * 7) % 50, i * 10 + 3, (i * 7) % 50 + 4});
    }
    const Case cases[] = {
        {"apart", {{0, 0, 2, 2}, {50, 50, 60, 55}}, {{0, 0, 2, 2}, {50, 50, 60, 55}}},
        {"overlapping", {{0, 0, 10, 10}, {5, 5, 20, 12}}, {{0, 0, 20, 12}}},
        {"touching", {{0, 0, 10, 10}, {10, 0, 12, 4}}, {{0, 0, 12, 10}}},
        {"a union that reaches a third",
         {{0, 0, 4, 4}, {20, 0, 24, 4}, {3, 0, 21, 2}},
         {{0, 0, 24, 4}}},
        {"clipped to the surface",
         {{-5, -5, 3, 3}, {190, 90, 300, 300}},
         {{0, 0, 3, 3}, {190, 90, 200, 100}}},
        {"more than fit", many, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Surface s(200, 100, PixelFormat::Xrgb32);
        for (const Rect& r : c.Added) {
            s.AddDamage(r);
        }
        const DamageList d = s.TakeDamage();
        EXPECT_TRUE(s.Damage().Empty());
        ASSERT_LE(d.Count, DamageList::kMax);
        std::vector<Rect> got(d.Rects.begin(), d.Rects.begin() + d.Count);
        if (!c.Expected.empty()) {
            auto byCorner = [](const Rect& a, const Rect& b) {
                return std::tie(a.Left, a.Top) < std::tie(b.Left, b.Top);
            };
            std::vector<Rect> want = c.Expected;
            std::sort(got.begin(), got.end(), byCorner);
            std::sort(want.begin(), want.end(), byCorner);
            EXPECT_EQ(got, want);
        }
        for (const Rect& r : c.Added) {
            const Rect in = r.Intersect(s.Bounds());
            for (int32_t y = in.Top; y < in.Bottom; ++y) {
                for (int32_t x = in.Left; x < in.Right; ++x) {
                    EXPECT_TRUE(std::any_of(got.begin(), got.end(),
                                            [&](const Rect& g) {
                                                return x >= g.Left && x < g.Right && y >= g.Top &&
                                                       y < g.Bottom;
                                            }))
                        << x << "," << y;
                }
            }
        }
    }
}

TEST(GdiBitBlt, ViewportOriginsShiftBothEnds) {
    GdiWorld w;
    HBITMAP db = 0;
    HBITMAP sb = 0;
    const HDC dst = w.MakeBitmapDc(7, 5, PixelFormat::Xrgb32, &db);
    const HDC src = w.MakeBitmapDc(7, 5, PixelFormat::Xrgb32, &sb);
    FillPattern(*w.Gdi.BitmapSurface(db), 1);
    FillPattern(*w.Gdi.BitmapSurface(sb), 2);
    const Surface expected =
        Expected(*w.Gdi.BitmapSurface(db), *w.Gdi.BitmapSurface(sb), 3, 2, 3, 2, 1, 0, SRCCOPY);
    Point old{9, 9};
    ASSERT_TRUE(w.Gdi.SetViewportOrgEx(dst, 2, 1, &old));
    EXPECT_EQ(old, (Point{0, 0}));
    ASSERT_TRUE(w.Gdi.SetViewportOrgEx(src, -1, -2, nullptr));
    // Logical (1, 1) on the destination is device (3, 2); logical (2, 2) on the source is
    // device (1, 0).
    ASSERT_TRUE(w.Gdi.BitBlt(dst, 1, 1, 3, 2, src, 2, 2, SRCCOPY));
    ExpectSamePixels(*w.Gdi.BitmapSurface(db), expected);
}

TEST(GdiBitBlt, UnknownRopsHandlesAndNegativeSizesFail) {
    GdiWorld w;
    const HDC a = w.MakeBitmapDc(4, 4, PixelFormat::Xrgb32);
    const HDC b = w.MakeBitmapDc(4, 4, PixelFormat::Xrgb32);
    EXPECT_FALSE(w.Gdi.BitBlt(a, 0, 0, 2, 2, b, 0, 0, 0x00660046)); // SRCINVERT: not supported
    EXPECT_FALSE(w.Gdi.BitBlt(a, 0, 0, 2, 2, 0, 0, 0, SRCCOPY));
    EXPECT_FALSE(w.Gdi.BitBlt(0, 0, 0, 2, 2, b, 0, 0, SRCCOPY));
    EXPECT_FALSE(w.Gdi.BitBlt(a, 0, 0, 2, 2, 0xDEAD, 0, 0, SRCCOPY));
    EXPECT_FALSE(w.Gdi.BitBlt(a, 0, 0, -2, 2, b, 0, 0, SRCCOPY));
    EXPECT_FALSE(w.Gdi.BitBlt(a, 0, 0, 2, -2, b, 0, 0, SRCCOPY));
    // Extreme coordinates are clipped away, not overflowed.
    EXPECT_TRUE(w.Gdi.BitBlt(a, INT32_MAX - 1, INT32_MIN, INT32_MAX, INT32_MAX, b, INT32_MIN,
                             INT32_MAX, SRCCOPY));
}

TEST(GdiPixels, Rgb555WidensEachChannelByRepeatingItsTopBits) {
    struct Case {
        uint16_t In;
        uint32_t Out;
    } cases[] = {
        {0x0000, 0x000000}, {0x7FFF, 0xFFFFFF}, {0x7C00, 0xFF0000}, {0x03E0, 0x00FF00},
        {0x001F, 0x0000FF}, {0x0010, 0x000084}, {0x0200, 0x008400}, {0x4000, 0x840000},
        {0x0021, 0x000808}, // green 1 and blue 1: (1 << 3) | (1 >> 2) = 8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gdi::ExpandRgb555(c.In), c.Out) << std::hex << c.In;
        EXPECT_EQ(gdi::PackRgb555(c.Out), c.In) << std::hex << c.In;
    }
    // Every RGB555 value survives widening and packing.
    for (uint32_t p = 0; p < 0x8000; ++p) {
        ASSERT_EQ(gdi::PackRgb555(gdi::ExpandRgb555(static_cast<uint16_t>(p))), p);
    }
}

TEST(GdiPixels, NearestColourTakesTheFirstOfEquallyNearEntries) {
    ColorTable t{};
    t[3] = {0, 0, 100, 0};                        // red 100
    t[7] = {0, 0, 110, 0};                        // red 110
    t[9] = {0, 0, 110, 0};                        // the same again: never chosen
    EXPECT_EQ(gdi::NearestIndex(t, 0x690000), 3); // 105 is as near to both: the first wins
    EXPECT_EQ(gdi::NearestIndex(t, 0x6A0000), 7);
    EXPECT_EQ(gdi::NearestIndex(t, 0x000000), 0);
}

} // namespace
} // namespace qv::test
