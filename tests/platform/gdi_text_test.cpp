#include "gdi_fixture.h"
#include "platform/font.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qv::test {
namespace {

std::string ReadGolden(const std::string& name) {
    std::ifstream in(std::string(QV_SOURCE_DIR) + "/tests/golden/" + name);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Compares with a golden text picture; QV_WRITE_GOLDEN=1 writes it instead (then look at
// it before committing).
void ExpectGolden(const std::string& name, const std::string& actual) {
    if (const char* write = std::getenv("QV_WRITE_GOLDEN"); write && std::string(write) == "1") {
        std::ofstream(std::string(QV_SOURCE_DIR) + "/tests/golden/" + name) << actual;
        return;
    }
    EXPECT_EQ(actual, ReadGolden(name)) << "golden " << name;
}

FontSpec FontOf(const char* face, int32_t points, bool bold, bool italic) {
    FontSpec s;
    s.Face = face;
    s.Height = FontHeightFromPoints(points);
    s.Weight = bold ? FW_BOLD : FW_NORMAL;
    s.Italic = italic;
    return s;
}

TEST(GdiFonts, WindowsFaceNamesResolveToMetricCompatibleFaces) {
    struct Case {
        const char* Face;
        bool Bold, Italic;
        const char* File;
    } cases[] = {
        {"Arial", true, false, "LiberationSans-Bold.ttf"},
        {"arial", false, false, "LiberationSans-Regular.ttf"},
        {"MS Sans Serif", false, false, "LiberationSans-Regular.ttf"},
        {"Times New Roman", false, true, "LiberationSerif-Italic.ttf"},
        {"Courier New", true, true, "LiberationMono-BoldItalic.ttf"},
        {"", false, false, "LiberationSans-Regular.ttf"},
        {"DejaVu Serif", false, false, "DejaVuSerif.ttf"},
    };
    FontEngine fonts;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Face);
        const FontFace* f = fonts.Resolve(FontOf(c.Face, 12, c.Bold, c.Italic));
        ASSERT_NE(f, nullptr);
        const std::string path = FontEngine::FilePath(*f);
        EXPECT_EQ(path.substr(path.rfind('/') + 1), c.File);
        EXPECT_EQ(FontEngine::PixelSize(*f), 16); // 12 points at 96 DPI
    }
    // Fonts that resolve alike share one face and its glyphs.
    EXPECT_EQ(fonts.Resolve(FontOf("Arial", 12, true, false)),
              fonts.Resolve(FontOf("ARIAL", 12, true, false)));
}

TEST(GdiFonts, PointSizesBecomeCharacterHeightsAt96Dpi) {
    EXPECT_EQ(FontHeightFromPoints(12), -16);
    EXPECT_EQ(FontHeightFromPoints(10), -13); // 13.33
    EXPECT_EQ(FontHeightFromPoints(8), -11);  // 10.67
    EXPECT_EQ(FontHeightFromPoints(9), -12);
    EXPECT_EQ(FontHeightFromPoints(0), 0);
}

TEST(GdiText, Arial12BoldMeasuresAndDrawsTheSameEveryTime) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(100, 22, PixelFormat::Xrgb32, &bm);
    w.Gdi.FillRect(dc, {0, 0, 100, 22}, w.Gdi.GetStockObject(GRAY_BRUSH));
    const HFONT font = w.Gdi.CreateFont(FontOf("Arial", 12, true, false));
    ASSERT_NE(font, 0u);
    const HFONT old = w.Gdi.SelectObject(dc, font);
    EXPECT_EQ(old, w.Gdi.GetStockObject(SYSTEM_FONT));
    Size extent;
    ASSERT_TRUE(w.Gdi.GetTextExtentPoint32(dc, " Quorvex 96 ", &extent));
    EXPECT_EQ(extent, (Size{95, 19}));
    w.Gdi.SetTextColor(dc, RGB(0, 0, 0));
    w.Gdi.SetBkColor(dc, RGB(255, 255, 255));
    ASSERT_TRUE(w.Gdi.TextOut(dc, 2, 1, " Quorvex 96 "));
    const Surface& s = *w.Gdi.BitmapSurface(bm);
    const std::string art = Art(s, {{0xFFFFFF, '.'}, {0x000000, '#'}, {0x808080, ' '}});
    ExpectGolden("gdi_text_arial_12_bold.txt", art);
    // The opaque box is exactly the text extent.
    for (int32_t y = 0; y < 22; ++y) {
        for (int32_t x = 0; x < 100; ++x) {
            const bool inBox = x >= 2 && x < 2 + extent.Width && y >= 1 && y < 1 + extent.Height;
            ASSERT_EQ(s.PixelRgb(x, y) != 0x808080, inBox) << x << ", " << y;
        }
    }
    w.Gdi.SelectObject(dc, old);
    EXPECT_TRUE(w.Gdi.DeleteObject(font));
}

TEST(GdiText, TransparentModeDrawsOnlyTheLettersAndOpaqueFillsTheCell) {
    GdiWorld w;
    HBITMAP a = 0;
    HBITMAP b = 0;
    const HDC opaque = w.MakeBitmapDc(40, 20, PixelFormat::Xrgb32, &a);
    const HDC transparent = w.MakeBitmapDc(40, 20, PixelFormat::Xrgb32, &b);
    for (HDC dc : {opaque, transparent}) {
        w.Gdi.FillRect(dc, {0, 0, 40, 20}, w.Gdi.GetStockObject(GRAY_BRUSH));
        w.Gdi.SetTextColor(dc, RGB(255, 0, 0));
        w.Gdi.SetBkColor(dc, RGB(0, 0, 255));
    }
    EXPECT_EQ(w.Gdi.SetBkMode(transparent, TRANSPARENT), OPAQUE);
    ASSERT_TRUE(w.Gdi.TextOut(opaque, 1, 1, "Hi!"));
    ASSERT_TRUE(w.Gdi.TextOut(transparent, 1, 1, "Hi!"));
    const Surface& so = *w.Gdi.BitmapSurface(a);
    const Surface& st = *w.Gdi.BitmapSurface(b);
    int red = 0;
    for (int32_t y = 0; y < 20; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            const uint32_t o = so.PixelRgb(x, y);
            const uint32_t t = st.PixelRgb(x, y);
            // The same letters; where the opaque text shows its background, the
            // transparent text leaves the grey.
            if (o == 0xFF0000) {
                ++red;
                ASSERT_EQ(t, 0xFF0000u);
            } else {
                ASSERT_EQ(t, 0x808080u);
                ASSERT_TRUE(o == 0x0000FF || o == 0x808080);
            }
        }
    }
    EXPECT_GT(red, 20);
}

TEST(GdiText, AFreshDcHasTheSystemFontAndClipsText) {
    GdiWorld w;
    const HWND wnd = w.MakeWindow(20, 10);
    const HDC dc = w.Gdi.GetDC(wnd);
    Size extent;
    ASSERT_TRUE(w.Gdi.GetTextExtentPoint32(dc, "Error", &extent));
    EXPECT_GT(extent.Width, 20);
    EXPECT_EQ(extent.Height,
              15); // Liberation Sans at 13 pixels: ascent 11.8 and descent 2.8, rounded up
    Surface& s = *w.Windows.WindowSurface(wnd);
    s.TakeDamage();
    ASSERT_TRUE(w.Gdi.TextOut(dc, -3, 4, "Error"));
    EXPECT_EQ(s.TakeDamage().Bounds(), (Rect{0, 4, 20, 10}));
    EXPECT_TRUE(w.Gdi.TextOut(dc, 5000, -5000, "far away"));
    Size empty;
    ASSERT_TRUE(w.Gdi.GetTextExtentPoint32(dc, "", &empty));
    EXPECT_EQ(empty, (Size{0, 15}));
    w.Gdi.ReleaseDC(wnd, dc);
}

TEST(GdiText, SyntheticBoldAndItalicOnlyWhenTheFaceHasNoVariant) {
    GdiWorld w;
    HBITMAP bm = 0;
    // The math face's cell is tall (its ascent and descent make room for big operators).
    const HDC dc = w.MakeBitmapDc(60, 100, PixelFormat::Xrgb32, &bm);
    auto draw = [&](const FontSpec& request, Size* extent) {
        const HFONT f = w.Gdi.CreateFont(request);
        w.Gdi.DeleteObject(w.Gdi.SelectObject(dc, f));
        w.Gdi.FillRect(dc, {0, 0, 60, 100}, w.Gdi.GetStockObject(WHITE_BRUSH));
        w.Gdi.GetTextExtentPoint32(dc, "Ill", extent);
        w.Gdi.TextOut(dc, 0, 0, "Ill");
        int ink = 0;
        const Surface& s = *w.Gdi.BitmapSurface(bm);
        for (int32_t y = 0; y < 100; ++y) {
            for (int32_t x = 0; x < 60; ++x) {
                ink += s.PixelRgb(x, y) == 0;
            }
        }
        return ink;
    };
    Size plain;
    Size bold;
    Size italic;
    // The math face has neither bold nor italic: both are made from its outlines.
    const int plainInk = draw(FontOf("DejaVu Math TeX Gyre", 12, false, false), &plain);
    const int boldInk = draw(FontOf("DejaVu Math TeX Gyre", 12, true, false), &bold);
    const int italicInk = draw(FontOf("DejaVu Math TeX Gyre", 12, false, true), &italic);
    EXPECT_GT(boldInk, plainInk);
    EXPECT_EQ(bold.Width, plain.Width + 3); // one pixel more per character
    EXPECT_EQ(italic, plain);
    EXPECT_NE(italicInk, 0);
}

TEST(GdiText, BadArgumentsFail) {
    GdiWorld w;
    const HDC dc = w.MakeBitmapDc(10, 10, PixelFormat::Xrgb32);
    Size size;
    EXPECT_FALSE(w.Gdi.TextOut(0, 0, 0, "x"));
    EXPECT_FALSE(w.Gdi.GetTextExtentPoint32(0xBAD, "x", &size));
    EXPECT_FALSE(w.Gdi.GetTextExtentPoint32(dc, "x", nullptr));
    FontSpec huge;
    huge.Height = -100000;
    EXPECT_EQ(w.Gdi.CreateFont(huge), 0u);
    // An unknown face still draws, with fontconfig's nearest match.
    const HFONT odd = w.Gdi.CreateFont(FontOf("No Such Face 1996", 10, false, false));
    ASSERT_NE(odd, 0u);
    w.Gdi.SelectObject(dc, odd);
    EXPECT_TRUE(w.Gdi.TextOut(dc, 0, 0, "x\x80\xff"));
}

} // namespace
} // namespace qv::test

namespace qv::test {
namespace {

// Captions are drawn as a mask pass (black text on white, SRCAND) and a colour pass
// (coloured text on black, SRCCOPY for a boxed banner, SRCPAINT for letters only).
TEST(GdiText, MaskAndColourPassesPaintBoxedAndUnboxedCaptions) {
    for (uint32_t colourRop : {SRCCOPY, SRCPAINT}) {
        SCOPED_TRACE(colourRop == SRCCOPY ? "boxed" : "letters only");
        GdiWorld w;
        const HWND wnd = w.MakeWindow(60, 24);
        const HDC window = w.Gdi.GetDC(wnd);
        const HBRUSH backdrop = w.Gdi.CreateSolidBrush(RGB(0, 128, 0));
        w.Gdi.FillRect(window, {0, 0, 60, 24}, backdrop);
        const HFONT font = w.Gdi.CreateFont(FontOf("Times New Roman", 10, false, true));
        Size extent;
        const HDC scratch = w.Gdi.CreateCompatibleDC(window);
        w.Gdi.SelectObject(scratch, font);
        ASSERT_TRUE(w.Gdi.GetTextExtentPoint32(scratch, " Hello ", &extent));
        const HBITMAP bm = w.Gdi.CreateCompatibleBitmap(window, extent.Width, extent.Height);
        w.Gdi.SelectObject(scratch, bm);
        w.Gdi.SetBkColor(scratch, RGB(255, 255, 255));
        w.Gdi.SetTextColor(scratch, RGB(0, 0, 0));
        w.Gdi.TextOut(scratch, 0, 0, " Hello ");
        ASSERT_TRUE(w.Gdi.BitBlt(window, 3, 2, extent.Width, extent.Height, scratch, 0, 0, SRCAND));
        w.Gdi.SetBkColor(scratch, RGB(0, 0, 0));
        w.Gdi.SetTextColor(scratch, RGB(255, 255, 0));
        w.Gdi.TextOut(scratch, 0, 0, " Hello ");
        ASSERT_TRUE(
            w.Gdi.BitBlt(window, 3, 2, extent.Width, extent.Height, scratch, 0, 0, colourRop));
        const Surface& s = *w.Windows.WindowSurface(wnd);
        int letters = 0;
        for (int32_t y = 0; y < 24; ++y) {
            for (int32_t x = 0; x < 60; ++x) {
                const uint32_t p = s.PixelRgb(x, y);
                const bool inBox =
                    x >= 3 && x < 3 + extent.Width && y >= 2 && y < 2 + extent.Height;
                if (!inBox) {
                    ASSERT_EQ(p, 0x008000u);
                } else if (p == 0xFFFF00) {
                    ++letters;
                } else {
                    // Around the letters: black in a box, the backdrop otherwise.
                    ASSERT_EQ(p, colourRop == SRCCOPY ? 0x000000u : 0x008000u) << x << ", " << y;
                }
            }
        }
        EXPECT_GT(letters, 15);
        w.Gdi.DeleteDC(scratch);
        EXPECT_TRUE(w.Gdi.DeleteObject(bm));
        EXPECT_TRUE(w.Gdi.DeleteObject(font));
    }
}

} // namespace
} // namespace qv::test
