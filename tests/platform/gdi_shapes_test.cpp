#include "gdi_fixture.h"

namespace qv::test {
namespace {

// Pen black ('#'), brush grey ('o'), background white ('.').
const std::map<uint32_t, char> kLegend = {{0xFFFFFF, '.'}, {0x000000, '#'}, {0x808080, 'o'}};

enum class Shape { Rectangle, Ellipse };

struct ShapeCase {
    const char* Name;
    Shape Kind;
    int32_t Left, Top, Right, Bottom;
    bool NullPen;
    const char* Expected;
    int32_t PenWidth = 1;
};

const ShapeCase kShapes[] = {
    {"rectangle", Shape::Rectangle, 1, 1, 6, 5, false,
     "........\n"
     ".#####..\n"
     ".#ooo#..\n"
     ".#ooo#..\n"
     ".#####..\n"
     "........\n"},
    {"rectangle without outline is one smaller", Shape::Rectangle, 1, 1, 6, 5, true,
     "........\n"
     ".oooo...\n"
     ".oooo...\n"
     ".oooo...\n"
     "........\n"
     "........\n"},
    {"rectangle given right to left", Shape::Rectangle, 4, 4, 1, 1, false,
     "........\n"
     ".###....\n"
     ".#o#....\n"
     ".###....\n"
     "........\n"
     "........\n"},
    {"rectangle 2 x 2 is all outline", Shape::Rectangle, 2, 2, 4, 4, false,
     "........\n"
     "........\n"
     "..##....\n"
     "..##....\n"
     "........\n"
     "........\n"},
    {"empty rectangle draws nothing", Shape::Rectangle, 2, 2, 2, 5, false,
     "........\n"
     "........\n"
     "........\n"
     "........\n"
     "........\n"
     "........\n"},
    {"rectangle over the edges", Shape::Rectangle, -2, -1, 3, 3, false,
     "oo#.....\n"
     "oo#.....\n"
     "###.....\n"
     "........\n"
     "........\n"
     "........\n"},
    {"circle 6", Shape::Ellipse, 1, 0, 7, 6, false,
     "..####..\n"
     ".##oo##.\n"
     ".#oooo#.\n"
     ".#oooo#.\n"
     ".##oo##.\n"
     "..####..\n"},
    {"ellipse 7 x 5", Shape::Ellipse, 0, 0, 7, 5, false,
     ".#####..\n"
     "##ooo##.\n"
     "#ooooo#.\n"
     "##ooo##.\n"
     ".#####..\n"
     "........\n"},
    {"circle 6 without outline is a circle 5", Shape::Ellipse, 1, 0, 7, 6, true,
     "..ooo...\n"
     ".ooooo..\n"
     ".ooooo..\n"
     ".ooooo..\n"
     "..ooo...\n"
     "........\n"},
    {"circle 3", Shape::Ellipse, 2, 2, 5, 5, false,
     "........\n"
     "........\n"
     "..###...\n"
     "..#o#...\n"
     "..###...\n"
     "........\n"},
    {"rectangle with a 2-pixel pen centred on its edge", Shape::Rectangle, 1, 1, 6, 5, false,
     "######..\n"
     "######..\n"
     "##oo##..\n"
     "######..\n"
     "######..\n"
     "........\n",
     2},
    {"ellipse with a 2-pixel pen", Shape::Ellipse, 0, 0, 8, 6, false,
     "..####..\n"
     ".######.\n"
     "##oooo##\n"
     "##oooo##\n"
     ".######.\n"
     "..####..\n",
     2},
    {"ellipse 1 high", Shape::Ellipse, 1, 2, 6, 3, false,
     "........\n"
     "........\n"
     ".#####..\n"
     "........\n"
     "........\n"
     "........\n"},
};

TEST(GdiShapes, RectanglesAndEllipsesCoverTheirPixels) {
    for (const ShapeCase& c : kShapes) {
        SCOPED_TRACE(c.Name);
        GdiWorld w;
        HBITMAP bm = 0;
        const HDC dc = w.MakeBitmapDc(8, 6, PixelFormat::Xrgb32, &bm);
        w.Gdi.FillRect(dc, {0, 0, 8, 6}, w.Gdi.GetStockObject(WHITE_BRUSH));
        const HPEN pen =
            c.NullPen ? w.Gdi.GetStockObject(NULL_PEN) : w.Gdi.CreatePen(PS_SOLID, c.PenWidth, 0);
        w.Gdi.SelectObject(dc, pen);
        w.Gdi.SelectObject(dc, w.Gdi.GetStockObject(GRAY_BRUSH));
        if (c.Kind == Shape::Rectangle) {
            ASSERT_TRUE(w.Gdi.Rectangle(dc, c.Left, c.Top, c.Right, c.Bottom));
        } else {
            ASSERT_TRUE(w.Gdi.Ellipse(dc, c.Left, c.Top, c.Right, c.Bottom));
        }
        EXPECT_EQ(Art(*w.Gdi.BitmapSurface(bm), kLegend), c.Expected);
    }
}

struct PolygonCase {
    const char* Name;
    std::vector<Point> Points;
    bool NullPen;
    const char* Expected;
};

const PolygonCase kPolygons[] = {
    {"square: right and bottom edges stay outside",
     {{1, 1}, {5, 1}, {5, 4}, {1, 4}},
     true,
     "........\n"
     ".oooo...\n"
     ".oooo...\n"
     ".oooo...\n"
     "........\n"
     "........\n"},
    {"square with its outline",
     {{1, 1}, {5, 1}, {5, 4}, {1, 4}},
     false,
     "........\n"
     ".#####..\n"
     ".#ooo#..\n"
     ".#ooo#..\n"
     ".#####..\n"
     "........\n"},
    {"triangle: pixels whose centres lie inside",
     {{0, 0}, {6, 0}, {0, 6}},
     true,
     "ooooo...\n"
     "oooo....\n"
     "ooo.....\n"
     "oo......\n"
     "o.......\n"
     "........\n"},
    {"alternate fill leaves the overlap of a bow tie's loops empty",
     {{0, 1}, {7, 1}, {7, 5}, {2, 5}, {2, 0}, {5, 0}, {5, 3}, {0, 3}},
     true,
     "..ooo...\n"
     "oo...oo.\n"
     "oo...oo.\n"
     "..ooooo.\n"
     "..ooooo.\n"
     "........\n"},
    {"outside the surface",
     {{-5, -5}, {20, -5}, {20, 20}, {-5, 20}},
     true,
     "oooooooo\n"
     "oooooooo\n"
     "oooooooo\n"
     "oooooooo\n"
     "oooooooo\n"
     "oooooooo\n"},
    {"flat polygon is only its outline",
     {{1, 2}, {6, 2}},
     false,
     "........\n"
     "........\n"
     ".######.\n"
     "........\n"
     "........\n"
     "........\n"},
};

TEST(GdiShapes, PolygonsFillWithAlternateRuleAndExclusiveRightAndBottom) {
    for (const PolygonCase& c : kPolygons) {
        SCOPED_TRACE(c.Name);
        GdiWorld w;
        HBITMAP bm = 0;
        const HDC dc = w.MakeBitmapDc(8, 6, PixelFormat::Xrgb32, &bm);
        w.Gdi.FillRect(dc, {0, 0, 8, 6}, w.Gdi.GetStockObject(WHITE_BRUSH));
        w.Gdi.SelectObject(dc, w.Gdi.GetStockObject(c.NullPen ? NULL_PEN : BLACK_PEN));
        w.Gdi.SelectObject(dc, w.Gdi.GetStockObject(GRAY_BRUSH));
        ASSERT_TRUE(w.Gdi.Polygon(dc, c.Points.data(), static_cast<int>(c.Points.size())));
        EXPECT_EQ(Art(*w.Gdi.BitmapSurface(bm), kLegend), c.Expected);
    }
}

TEST(GdiShapes, FillRectUsesOriginClipsAndRecordsDamageOnWindows) {
    GdiWorld w;
    const HWND wnd = w.MakeWindow(6, 4);
    const HDC dc = w.Gdi.GetDC(wnd);
    Surface& s = *w.Windows.WindowSurface(wnd);
    s.TakeDamage();
    const HBRUSH red = w.Gdi.CreateSolidBrush(RGB(255, 0, 0));
    w.Gdi.SetViewportOrgEx(dc, 2, 1, nullptr);
    EXPECT_EQ(w.Gdi.FillRect(dc, {1, 1, 10, 2}, red), 1);
    EXPECT_EQ(s.TakeDamage().Bounds(), (Rect{3, 2, 6, 3}));
    EXPECT_EQ(Art(s, {{0, '.'}, {0xFF0000, 'r'}}), "......\n"
                                                   "......\n"
                                                   "...rrr\n"
                                                   "......\n");
    // A system colour index + 1 stands for that colour's brush.
    EXPECT_EQ(w.Gdi.FillRect(dc, {-2, -1, -1, 0}, static_cast<HBRUSH>(COLOR_BACKGROUND + 1)), 1);
    EXPECT_EQ(s.PixelRgb(0, 0), 0x008080u); // teal
    EXPECT_EQ(w.Gdi.FillRect(dc, {0, 0, 1, 1}, w.Gdi.GetStockObject(NULL_BRUSH)), 1);
    EXPECT_EQ(w.Gdi.FillRect(dc, {0, 0, 1, 1}, 0xBAD), 0);
    EXPECT_EQ(w.Gdi.FillRect(dc, {0, 0, 1, 1}, w.Gdi.GetStockObject(BLACK_PEN)), 0);
    EXPECT_EQ(w.Gdi.ReleaseDC(wnd, dc), 1);
    EXPECT_TRUE(w.Gdi.DeleteObject(red));
}

TEST(GdiShapes, ColoursOnAnIndexedBitmapTakeTheNearestTableEntry) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(3, 1, PixelFormat::Indexed8, &bm);
    Surface& s = *w.Gdi.BitmapSurface(bm);
    for (auto& q : s.Colors()) {
        q = {255, 255, 255, 0};
    }
    s.Colors()[5] = {0, 0, 100, 0};
    s.Colors()[6] = {0, 0, 120, 0};
    s.Colors()[7] = {0, 0, 110, 0};
    const HBRUSH b = w.Gdi.CreateSolidBrush(RGB(105, 0, 0)); // as near to 5 as to 7: 5 wins
    w.Gdi.FillRect(dc, {0, 0, 1, 1}, b);
    const HBRUSH c = w.Gdi.CreateSolidBrush(RGB(118, 0, 0));
    w.Gdi.FillRect(dc, {1, 0, 2, 1}, c);
    EXPECT_EQ(s.Row(0)[0], 5);
    EXPECT_EQ(s.Row(0)[1], 6);
    EXPECT_EQ(s.Row(0)[2], 0);
}

TEST(GdiShapes, BadArgumentsFail) {
    GdiWorld w;
    const HDC dc = w.MakeBitmapDc(4, 4, PixelFormat::Xrgb32);
    const Point pts[3] = {{0, 0}, {3, 0}, {0, 3}};
    EXPECT_FALSE(w.Gdi.Rectangle(0, 0, 0, 2, 2));
    EXPECT_FALSE(w.Gdi.Ellipse(0xBAD, 0, 0, 2, 2));
    EXPECT_FALSE(w.Gdi.Polygon(0, pts, 3));
    EXPECT_FALSE(w.Gdi.Polygon(dc, nullptr, 3));
    EXPECT_FALSE(w.Gdi.Polygon(dc, pts, 1));
    EXPECT_FALSE(w.Gdi.Polygon(dc, pts, -4));
    const Point far[3] = {{INT32_MIN, 0}, {INT32_MAX, 0}, {0, INT32_MAX}};
    EXPECT_FALSE(w.Gdi.Polygon(dc, far, 3));
    EXPECT_TRUE(w.Gdi.Ellipse(dc, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
    EXPECT_TRUE(w.Gdi.Rectangle(dc, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
}

} // namespace
} // namespace qv::test
