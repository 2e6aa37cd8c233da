#include "gdi_fixture.h"

#include <vector>

namespace qv::test {
namespace {

TEST(GdiObjects, FreshDcsHoldTheStockObjectsAndSelectObjectSwapsThem) {
    GdiWorld w;
    const HDC dc = w.Gdi.CreateCompatibleDC(0);
    ASSERT_NE(dc, 0u);
    const HBRUSH red = w.Gdi.CreateSolidBrush(RGB(255, 0, 0));
    const HPEN pen = w.Gdi.CreatePen(PS_SOLID, 2, RGB(0, 0, 255));
    EXPECT_EQ(w.Gdi.SelectObject(dc, red), w.Gdi.GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(w.Gdi.SelectObject(dc, pen), w.Gdi.GetStockObject(BLACK_PEN));
    // Selected objects stay until they are swapped out.
    EXPECT_FALSE(w.Gdi.DeleteObject(red));
    EXPECT_EQ(w.Gdi.SelectObject(dc, w.Gdi.GetStockObject(BLACK_BRUSH)), red);
    EXPECT_TRUE(w.Gdi.DeleteObject(red));
    EXPECT_FALSE(w.Gdi.DeleteObject(red));
    // Deleting the DC lets go of what it held.
    EXPECT_TRUE(w.Gdi.DeleteDC(dc));
    EXPECT_TRUE(w.Gdi.DeleteObject(pen));
    // Stock objects survive DeleteObject.
    EXPECT_TRUE(w.Gdi.DeleteObject(w.Gdi.GetStockObject(BLACK_BRUSH)));
    const HDC again = w.Gdi.CreateCompatibleDC(0);
    EXPECT_NE(w.Gdi.SelectObject(again, w.Gdi.GetStockObject(BLACK_BRUSH)), 0u);
}

TEST(GdiObjects, BitmapsGoIntoOneMemoryDcAtATime) {
    GdiWorld w;
    const HWND wnd = w.MakeWindow(4, 4);
    const HDC windowDc = w.Gdi.GetDC(wnd);
    const HDC a = w.Gdi.CreateCompatibleDC(windowDc);
    const HDC b = w.Gdi.CreateCompatibleDC(windowDc);
    const HBITMAP bm = w.Gdi.CreateCompatibleBitmap(windowDc, 3, 2);
    ASSERT_NE(bm, 0u);
    EXPECT_EQ(w.Gdi.BitmapSurface(bm)->Format(), PixelFormat::Xrgb32);
    EXPECT_NE(w.Gdi.SelectObject(a, bm), 0u);
    EXPECT_EQ(w.Gdi.SelectObject(b, bm), 0u);
    EXPECT_EQ(w.Gdi.SelectObject(windowDc, bm), 0u);
    EXPECT_EQ(w.Gdi.DcSurface(a), w.Gdi.BitmapSurface(bm));
    EXPECT_FALSE(w.Gdi.DeleteObject(bm));
    EXPECT_TRUE(w.Gdi.DeleteDC(a));
    EXPECT_NE(w.Gdi.SelectObject(b, bm), 0u);
    EXPECT_EQ(w.Gdi.ReleaseDC(wnd, a), 0);
    EXPECT_EQ(w.Gdi.ReleaseDC(wnd, windowDc), 1);
    EXPECT_EQ(w.Gdi.ReleaseDC(wnd, windowDc), 0);
}

TEST(GdiObjects, WindowAndScreenDcsDrawOnTheirSurfaces) {
    GdiWorld w;
    const HWND wnd = w.MakeWindow(5, 3);
    EXPECT_EQ(w.Gdi.GetDC(0xBEEF), 0u);
    const HDC screen = w.Gdi.GetDC(0);
    const HDC desktop = w.Gdi.GetDC(w.Windows.GetDesktopWindow());
    const HDC dc = w.Gdi.GetDC(wnd);
    EXPECT_EQ(w.Gdi.DcSurface(screen), &w.Screen.Desktop());
    EXPECT_EQ(w.Gdi.DcSurface(desktop), &w.Screen.Desktop());
    EXPECT_EQ(w.Gdi.DcSurface(dc), w.Windows.WindowSurface(wnd));
    // A DC whose window is gone draws nothing and says so.
    w.Windows.DestroyWindow(wnd);
    EXPECT_EQ(w.Gdi.FillRect(dc, {0, 0, 2, 2}, w.Gdi.GetStockObject(BLACK_BRUSH)), 0);
    EXPECT_FALSE(w.Gdi.BitBlt(screen, 0, 0, 2, 2, dc, 0, 0, SRCCOPY));
    EXPECT_EQ(w.Gdi.ReleaseDC(wnd, dc), 1);
}

TEST(GdiObjects, BadArgumentsAtEveryConstructorAndSelectorFail) {
    GdiWorld w;
    const HDC dc = w.Gdi.CreateCompatibleDC(0);
    PALETTEENTRY entries[2] = {};
    EXPECT_EQ(w.Gdi.CreateCompatibleDC(0xBAD), 0u);
    EXPECT_EQ(w.Gdi.CreateCompatibleBitmap(0, 4, 4), 0u);
    EXPECT_EQ(w.Gdi.CreateCompatibleBitmap(dc, -1, 4), 0u);
    EXPECT_EQ(w.Gdi.CreateCompatibleBitmap(dc, 4, -1), 0u);
    EXPECT_EQ(w.Gdi.CreateCompatibleBitmap(dc, 1 << 20, 1 << 20), 0u);
    EXPECT_EQ(w.Gdi.CreateIndexedBitmap(0, 4), 0u);
    EXPECT_EQ(w.Gdi.CreateIndexedBitmap(4, -4), 0u);
    EXPECT_EQ(w.Gdi.CreatePen(3, 1, 0), 0u);
    EXPECT_EQ(w.Gdi.CreatePen(PS_SOLID, -1, 0), 0u);
    EXPECT_EQ(w.Gdi.CreatePalette(nullptr, 2), 0u);
    EXPECT_EQ(w.Gdi.CreatePalette(entries, 0), 0u);
    EXPECT_EQ(w.Gdi.CreatePalette(entries, 257), 0u);
    EXPECT_EQ(w.Gdi.GetStockObject(-1), 0u);
    EXPECT_EQ(w.Gdi.GetStockObject(99), 0u);
    EXPECT_EQ(w.Gdi.SelectObject(0xBAD, w.Gdi.GetStockObject(BLACK_BRUSH)), 0u);
    EXPECT_EQ(w.Gdi.SelectObject(dc, 0xBAD), 0u);
    EXPECT_EQ(w.Gdi.SelectObject(dc, dc), 0u);
    EXPECT_EQ(w.Gdi.SelectObject(dc, w.Gdi.GetStockObject(DEFAULT_PALETTE)), 0u);
    EXPECT_FALSE(w.Gdi.DeleteObject(0));
    EXPECT_FALSE(w.Gdi.DeleteObject(dc));
    EXPECT_FALSE(w.Gdi.DeleteDC(0xBAD));
    EXPECT_EQ(w.Gdi.SetTextColor(0xBAD, 0), CLR_INVALID);
    EXPECT_EQ(w.Gdi.SetBkColor(0xBAD, 0), CLR_INVALID);
    EXPECT_EQ(w.Gdi.SetBkMode(dc, 7), 0);
    EXPECT_FALSE(w.Gdi.SetViewportOrgEx(0xBAD, 0, 0, nullptr));
    EXPECT_EQ(w.Gdi.BitmapSurface(w.Gdi.GetStockObject(BLACK_BRUSH)), nullptr);
    EXPECT_EQ(w.Gdi.DcSurface(0xBAD), nullptr);
    EXPECT_EQ(w.Gdi.GetDeviceCaps(0xBAD, BITSPIXEL), 0);
    EXPECT_EQ(w.Gdi.SelectPalette(dc, 0xBAD, false), 0u);
    EXPECT_EQ(w.Gdi.SelectPalette(0xBAD, w.Gdi.GetStockObject(DEFAULT_PALETTE), false), 0u);
    EXPECT_EQ(w.Gdi.RealizePalette(0xBAD), GDI_ERROR);
    EXPECT_EQ(w.Gdi.GetSystemPaletteEntries(0xBAD, 0, 1, entries), 0u);
    EXPECT_EQ(w.Gdi.GetSystemPaletteEntries(dc, 256, 1, entries), 0u);
    // A zero-sized compatible bitmap is 1 x 1, as in Windows.
    const HBITMAP tiny = w.Gdi.CreateCompatibleBitmap(dc, 0, 5);
    ASSERT_NE(tiny, 0u);
    EXPECT_EQ(w.Gdi.BitmapSurface(tiny)->Bounds(), (Rect{0, 0, 1, 1}));
}

TEST(GdiSystem, ClassicColourSchemeAndDeviceCaps) {
    GdiWorld w({640, 480}, 32);
    struct Case {
        int Index;
        COLORREF Colour;
    } colours[] = {
        {COLOR_BTNFACE, 0xC0C0C0},
        {COLOR_BTNSHADOW, 0x808080},
        {COLOR_BTNHIGHLIGHT, 0xFFFFFF},
        {COLOR_ACTIVECAPTION, 0x800000},
        {COLOR_INACTIVECAPTION, 0x808080},
        {COLOR_MENU, 0xC0C0C0},
        {COLOR_ACTIVEBORDER, 0xC0C0C0},
        {COLOR_INACTIVEBORDER, 0xC0C0C0},
        {COLOR_APPWORKSPACE, 0x808080},
        {COLOR_HIGHLIGHT, 0x800000},
        {COLOR_HIGHLIGHTTEXT, 0xFFFFFF},
        {COLOR_WINDOW, 0xFFFFFF},
        {COLOR_WINDOWTEXT, 0x000000},
        {COLOR_BACKGROUND, 0x808000},
        {-1, 0},
        {1000, 0},
    };
    for (const Case& c : colours) {
        EXPECT_EQ(w.Gdi.GetSysColor(c.Index), c.Colour) << c.Index;
    }
    const HDC screen = w.Gdi.GetDC(0);
    const HDC memory = w.Gdi.CreateCompatibleDC(screen);
    for (HDC dc : {screen, memory}) {
        EXPECT_EQ(w.Gdi.GetDeviceCaps(dc, BITSPIXEL), 32);
        EXPECT_EQ(w.Gdi.GetDeviceCaps(dc, HORZRES), 640);
        EXPECT_EQ(w.Gdi.GetDeviceCaps(dc, VERTRES), 480);
        EXPECT_EQ(w.Gdi.GetDeviceCaps(dc, SIZEPALETTE), 0);
        EXPECT_EQ(w.Gdi.GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
        EXPECT_NE(w.Gdi.GetDeviceCaps(dc, RASTERCAPS) & RC_BITBLT, 0);
    }
    GdiWorld eight({320, 200}, 8);
    const HDC e = eight.Gdi.GetDC(0);
    EXPECT_EQ(eight.Gdi.GetDeviceCaps(e, BITSPIXEL), 8);
    EXPECT_EQ(eight.Gdi.GetDeviceCaps(e, SIZEPALETTE), 256);
    EXPECT_NE(eight.Gdi.GetDeviceCaps(e, RASTERCAPS) & RC_PALETTE, 0);
}

std::vector<PALETTEENTRY> SystemPalette(Gdi& gdi, HDC dc) {
    std::vector<PALETTEENTRY> out(256);
    EXPECT_EQ(gdi.GetSystemPaletteEntries(dc, 0, 256, out.data()), 256u);
    return out;
}

uint32_t Rgb(const PALETTEENTRY& e) {
    return (uint32_t{e.peRed} << 16) | (uint32_t{e.peGreen} << 8) | e.peBlue;
}

TEST(GdiPalettes, TheSystemPaletteIsTheStaticColoursUntilAPaletteIsRealisedInTheForeground) {
    GdiWorld w;
    const HWND wnd = w.MakeWindow(4, 4);
    const HDC dc = w.Gdi.GetDC(wnd);
    std::vector<PALETTEENTRY> sys = SystemPalette(w.Gdi, dc);
    EXPECT_EQ(Rgb(sys[0]), 0x000000u);
    EXPECT_EQ(Rgb(sys[1]), 0x800000u);
    EXPECT_EQ(Rgb(sys[7]), 0xC0C0C0u);
    EXPECT_EQ(Rgb(sys[8]), 0xC0DCC0u);
    EXPECT_EQ(Rgb(sys[9]), 0xA6CAF0u);
    EXPECT_EQ(Rgb(sys[10]), 0x000000u);
    EXPECT_EQ(Rgb(sys[245]), 0x000000u);
    EXPECT_EQ(Rgb(sys[246]), 0xFFFBF0u);
    EXPECT_EQ(Rgb(sys[247]), 0xA0A0A4u);
    EXPECT_EQ(Rgb(sys[249]), 0xFF0000u);
    EXPECT_EQ(Rgb(sys[255]), 0xFFFFFFu);

    std::vector<PALETTEENTRY> entries(256);
    for (int i = 0; i < 256; ++i) {
        entries[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 9, PC_NOCOLLAPSE};
    }
    const HPALETTE pal = w.Gdi.CreatePalette(entries.data(), 256);
    const HPALETTE small = w.Gdi.CreatePalette(entries.data() + 100, 3);
    // In the background, or in a memory DC, nothing changes.
    const HDC memory = w.Gdi.CreateCompatibleDC(dc);
    w.Gdi.SelectPalette(memory, pal, false);
    EXPECT_EQ(w.Gdi.RealizePalette(memory), 256u);
    EXPECT_EQ(w.Gdi.SelectPalette(dc, pal, true), w.Gdi.GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(w.Gdi.RealizePalette(dc), 256u);
    EXPECT_EQ(Rgb(SystemPalette(w.Gdi, dc)[1]), 0x800000u);
    // In the foreground of a window DC it becomes the system palette, flags cleared.
    w.Gdi.SelectPalette(dc, pal, false);
    EXPECT_EQ(w.Gdi.RealizePalette(dc), 256u);
    sys = SystemPalette(w.Gdi, dc);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(Rgb(sys[i]), (uint32_t(i) << 16) | (uint32_t(255 - i) << 8) | 9u) << i;
        ASSERT_EQ(sys[i].peFlags, 0);
    }
    // A shorter palette fills the start; the static table stands after it.
    w.Gdi.SelectPalette(dc, small, false);
    w.Gdi.RealizePalette(dc);
    sys = SystemPalette(w.Gdi, dc);
    EXPECT_EQ(Rgb(sys[0]), (100u << 16) | (155u << 8) | 9u);
    EXPECT_EQ(Rgb(sys[2]), (102u << 16) | (153u << 8) | 9u);
    EXPECT_EQ(Rgb(sys[3]), 0x808000u); // the static dark yellow
    EXPECT_EQ(Rgb(sys[255]), 0xFFFFFFu);
    // Partial reads.
    PALETTEENTRY two[2];
    EXPECT_EQ(w.Gdi.GetSystemPaletteEntries(dc, 254, 10, two), 2u);
    EXPECT_EQ(Rgb(two[1]), 0xFFFFFFu);
    EXPECT_EQ(w.Gdi.GetSystemPaletteEntries(dc, 0, 0, nullptr), 256u);
    // A selected palette is not deleted.
    EXPECT_FALSE(w.Gdi.DeleteObject(small));
    w.Gdi.SelectPalette(dc, w.Gdi.GetStockObject(DEFAULT_PALETTE), false);
    EXPECT_TRUE(w.Gdi.DeleteObject(small));
}

TEST(GdiPalettes, OnAnEightBitDisplayThePaletteColoursWindowsAndCompatibleBitmaps) {
    GdiWorld w({16, 16}, 8);
    const HWND wnd = w.MakeWindow(4, 2);
    const HDC dc = w.Gdi.GetDC(wnd);
    Surface& s = *w.Windows.WindowSurface(wnd);
    ASSERT_EQ(s.Format(), PixelFormat::Indexed8);
    std::vector<PALETTEENTRY> entries(256, PALETTEENTRY{255, 255, 255, 0});
    entries[0] = {0, 0, 0, 0};
    entries[40] = {200, 0, 0, 0};
    entries[41] = {0, 0, 200, 0};
    const HPALETTE pal = w.Gdi.CreatePalette(entries.data(), 256);
    w.Gdi.SelectPalette(dc, pal, false);
    w.Gdi.RealizePalette(dc);
    EXPECT_EQ(s.Colors()[40], (RGBQUAD{0, 0, 200, 0}));
    // Brush colours go to the nearest realised colour.
    const HBRUSH reddish = w.Gdi.CreateSolidBrush(RGB(180, 20, 0));
    w.Gdi.FillRect(dc, {0, 0, 2, 2}, reddish);
    EXPECT_EQ(s.Row(0)[0], 40);
    // A bitmap made compatible with the window is indexed with the same colours; a
    // palette selected into its DC becomes its colour table.
    const HDC memory = w.Gdi.CreateCompatibleDC(dc);
    const HBITMAP bm = w.Gdi.CreateCompatibleBitmap(dc, 4, 2);
    w.Gdi.SelectObject(memory, bm);
    Surface& b = *w.Gdi.BitmapSurface(bm);
    ASSERT_EQ(b.Format(), PixelFormat::Indexed8);
    EXPECT_EQ(b.Colors(), s.Colors());
    entries[41] = {0, 200, 0, 0};
    const HPALETTE other = w.Gdi.CreatePalette(entries.data(), 256);
    w.Gdi.SelectPalette(memory, other, false);
    EXPECT_EQ(b.Colors()[41], (RGBQUAD{0, 200, 0, 0}));
    const HBRUSH greenish = w.Gdi.CreateSolidBrush(RGB(0, 190, 0));
    w.Gdi.FillRect(memory, {0, 0, 4, 2}, greenish);
    EXPECT_EQ(b.Row(1)[3], 41);
    // Blitting it back maps its colours onto the window's: green is nearest to black
    // among black, red, blue and white.
    ASSERT_TRUE(w.Gdi.BitBlt(dc, 0, 0, 4, 2, memory, 0, 0, SRCCOPY));
    EXPECT_EQ(s.Row(0)[0], 0);
}

} // namespace
} // namespace qv::test
