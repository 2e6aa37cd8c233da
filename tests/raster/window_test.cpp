#include "raster_fixture.h"

namespace qv::test {
namespace {

constexpr int32_t kScreenW = 80;
constexpr int32_t kScreenH = 60;

// Colours whose components are 0 or 255 survive a trip through RGB555 unchanged.
uint32_t PatternRgb(int32_t x, int32_t y) {
    const int k = (x / 3 + y / 2) % 8;
    return (k & 1 ? 0xFF0000u : 0) | (k & 2 ? 0x00FF00u : 0) | (k & 4 ? 0x0000FFu : 0);
}

class OnWindow : public RasterTest {
protected:
    explicit OnWindow(int32_t bits = 32) : RasterTest({kScreenW, kScreenH}, bits) {
        CreateWindowParams p;
        p.ClassName = "Tss_screen";
        p.Caption = "raster";
        p.Style = WS_POPUP;
        p.Bounds = {0, 0, kScreenW, kScreenH};
        Wnd = ctx.Os.User().CreateWindow(p);
    }
    Surface& Screen() { return *ctx.Os.User().WindowSurface(Wnd); }
    uint32_t At(int32_t x, int32_t y) { return Screen().PixelRgb(x, y); }
    void PaintPattern() {
        Surface& s = Screen();
        ASSERT_EQ(s.Format(), PixelFormat::Xrgb32);
        for (int32_t y = 0; y < s.Height(); ++y) {
            for (int32_t x = 0; x < s.Width(); ++x) {
                s.Row32(y)[x] = PatternRgb(x, y);
            }
        }
    }
    // A palette of 0/255 colours: entry i has red bit 0, green bit 1, blue bit 2 of i.
    static BITMAPINFO PrimaryHeader(int32_t w, int32_t h) {
        BITMAPINFO info = PictureHeader(w, h);
        for (int i = 0; i < 256; ++i) {
            info.bmiColors[i] = RGBQUAD{static_cast<uint8_t>(i & 4 ? 255 : 0),
                                        static_cast<uint8_t>(i & 2 ? 255 : 0),
                                        static_cast<uint8_t>(i & 1 ? 255 : 0), 0};
        }
        return info;
    }
    static uint32_t PrimaryRgb(int index) {
        return (index & 1 ? 0xFF0000u : 0) | (index & 2 ? 0x00FF00u : 0) |
               (index & 4 ? 0x0000FFu : 0);
    }

    HWND Wnd = 0;
};

TEST_F(OnWindow, StartPaintsTheWindowBlackAndMeasuresIt) {
    PaintPattern();
    EngineInit(ctx, 16, 16, 256, 1);
    EngineStart(ctx, Wnd);
    ASSERT_TRUE(Errors.empty());
    EXPECT_EQ(ctx.Engine.ScreenWidth, kScreenW);
    EXPECT_EQ(ctx.Engine.ScreenHeight, kScreenH);
    EXPECT_NE(ctx.Engine.WindowDC, 0u);
    EXPECT_NE(ctx.Engine.EnginePalette, 0u);
    EXPECT_TRUE(ctx.Os.User().IsWindowVisible(Wnd));
    for (int32_t y = 0; y < kScreenH; ++y) {
        for (int32_t x = 0; x < kScreenW; ++x) {
            ASSERT_EQ(At(x, y), 0u) << x << "," << y;
        }
    }
}

TEST_F(OnWindow, StartWithTheSnapshotFlagShowsTheDesktop) {
    Surface& desktop = ctx.Os.Host().Desktop();
    for (int32_t y = 0; y < desktop.Height(); ++y) {
        for (int32_t x = 0; x < desktop.Width(); ++x) {
            desktop.Row32(y)[x] = PatternRgb(x + 1, y);
        }
    }
    EngineInit(ctx, 16, 16, 256, 0x301);
    EngineStart(ctx, Wnd);
    ASSERT_TRUE(Errors.empty());
    for (int32_t y = 0; y < kScreenH; ++y) {
        for (int32_t x = 0; x < kScreenW; ++x) {
            ASSERT_EQ(At(x, y), PatternRgb(x + 1, y)) << x << "," << y;
        }
    }
}

TEST_F(OnWindow, StartWithoutAWindowFailsWithNP) {
    EngineInit(ctx, 16, 16, 256, 1);
    EngineStart(ctx, 0x7777);
    EXPECT_EQ(Errors, std::vector<std::string>{"NP"});
    EXPECT_TRUE(ctx.Engine.EngineFailed);
    EngineShutdown(ctx);
}

TEST_F(OnWindow, FramesArePresentedAtTheirPosition) {
    EngineInit(ctx, 8, 6, 256, 1);
    const BITMAPINFO h = PrimaryHeader(3, 2);
    Put(3, 2, Bytes{1, 2, 3, 4, 5, 6}, &h);
    EngineStart(ctx, Wnd);
    ShowPicture(ctx, 10, 20, 0);
    // The frame's bottom row (row 0) is the window's row 20 + 5; the picture's first pixel
    // sits at frame column 2, row 2.
    EXPECT_EQ(At(12, 20 + 5 - 2), PrimaryRgb(1));
    EXPECT_EQ(At(14, 20 + 5 - 2), PrimaryRgb(3));
    EXPECT_EQ(At(13, 20 + 5 - 3), PrimaryRgb(5));
    EXPECT_EQ(At(10, 20), PrimaryRgb(0));
    // PresentPixels draws a picture with its own header.
    PresentPixels(ctx, 50, 40, ctx.Engine.Pictures[0].Pixels.data(), ctx.Engine.Pictures[0].Header);
    EXPECT_EQ(At(50, 41), PrimaryRgb(1));
    EXPECT_EQ(At(52, 40), PrimaryRgb(6));
}

TEST_F(OnWindow, PresentMovedErasesWhatTheNewPlaceNoLongerCovers) {
    EngineInit(ctx, 8, 8, 256, 1);
    const BITMAPINFO h = PrimaryHeader(6, 4);
    Put(6, 4, Bytes(24, 7), &h); // white
    EngineStart(ctx, Wnd);
    Gdi& gdi = ctx.Os.Gdi();
    const HBRUSH red = gdi.CreateSolidBrush(RGB(255, 0, 0));
    gdi.SelectObject(ctx.Engine.WindowDC, red);
    gdi.SelectObject(ctx.Engine.WindowDC, gdi.GetStockObject(NULL_PEN));
    const PictureSlot& p = ctx.Engine.Pictures[0];
    const Point moves[] = {{3, 0},  {-3, 0}, {0, 2},   {0, -2}, {2, 1},
                           {-2, 1}, {2, -1}, {-2, -1}, {10, 9}};
    for (const Point& m : moves) {
        gdi.FillRect(ctx.Engine.WindowDC, {0, 0, kScreenW, kScreenH},
                     gdi.GetStockObject(BLACK_BRUSH));
        ctx.Engine.MovedRect = Rect{kNothingPresented, 0, kNothingPresented, 0};
        const Rect first{20, 20, 26, 24};
        PresentMoved(ctx, first.Left, first.Top, p.Pixels.data(), p.Header);
        const Rect next = first.Offset(m.X, m.Y);
        PresentMoved(ctx, next.Left, next.Top, p.Pixels.data(), p.Header);
        for (int32_t y = 10; y < 40; ++y) {
            for (int32_t x = 10; x < 40; ++x) {
                const auto inside = [&](const Rect& r) {
                    return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
                };
                const uint32_t want = inside(next) ? 0xFFFFFFu : inside(first) ? 0xFF0000u : 0u;
                ASSERT_EQ(At(x, y), want)
                    << "move " << m.X << "," << m.Y << " at " << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(Errors.empty());
}

class OnHighColourWindow : public OnWindow {};

TEST_F(OnHighColourWindow, ScreenBackgroundFollowsTheViewportInEveryDirection) {
    const BITMAPINFO h = PrimaryHeader(4, 3);
    // A keyed sprite: index 0 (its bottom-left pixel) lets the screen through.
    EngineInit(ctx, 10, 7, 256, 0x101);
    Put(4, 3, Bytes{0, 1, 0, 2, 3, 0, 4, 0, 5, 6, 0, 1}, &h);
    ASSERT_TRUE(ctx.Engine.HighColour);
    EXPECT_EQ(ctx.Engine.FrameBufferSize, 2 * 4096);
    EXPECT_EQ(+ctx.Engine.FrameHeader.bmiHeader.biBitCount, 16);
    EngineStart(ctx, Wnd);
    PaintPattern();
    // Moves in all eight directions, each within the margin around the sprite (4 columns,
    // 2 rows), so that the new frame covers where the sprite was.
    const Point path[] = {{30, 20}, {33, 20}, {30, 20}, {30, 22}, {30, 21}, {34, 23},
                          {31, 21}, {35, 19}, {31, 20}, {31, 20}, {27, 22}, {23, 20}};
    for (const Point& at : path) {
        ShowPictureKeyed(ctx, at.X, at.Y, 0);
        // The viewport is 12 wide: the sprite's first pixel sits at frame column 4, row 2
        // (bottom-up), that is window row at.Y + 7 - 1 - 2.
        for (int32_t y = 0; y < kScreenH; ++y) {
            for (int32_t x = 0; x < kScreenW; ++x) {
                uint32_t want = PatternRgb(x, y);
                const int32_t c = x - at.X - 4;
                const int32_t r = (at.Y + 7 - 1 - y) - 2;
                if (c >= 0 && c < 4 && r >= 0 && r < 3) {
                    const int index = ctx.Engine.Pictures[0].Pixels[static_cast<size_t>(r * 4 + c)];
                    if (index != 0) {
                        want = PrimaryRgb(index);
                    }
                }
                ASSERT_EQ(At(x, y), want)
                    << "viewport at " << at.X << "," << at.Y << " pixel " << x << "," << y;
            }
        }
        EXPECT_EQ(ctx.Engine.PrevX, at.X);
        EXPECT_EQ(ctx.Engine.PrevY, at.Y);
    }
    // After a reset the capture is taken afresh, from what the screen shows now.
    ResetBackgroundCapture(ctx);
    EXPECT_EQ(ctx.Engine.PrevX, kNothingPresented);
    ShowPicture(ctx, 2, 3, 0);
    EXPECT_EQ(At(2 + 4, 3 + 4), PrimaryRgb(0)); // the sprite's own key colour, opaque now
    EXPECT_TRUE(Errors.empty());
}

TEST_F(OnHighColourWindow, TheSceneIsDrawnInRgb555) {
    EngineInit(ctx, 64, 64, 256, 0x101);
    const BITMAPINFO h = PrimaryHeader(2, 2);
    Put(2, 2, Bytes{3, 3, 3, 3}, &h);
    EngineStart(ctx, Wnd);
    AddPanel(ctx, {0, 300, 0}, {-20, 0, 20}, {20, 0, 20}, {20, 0, -20}, {-20, 0, -20}, {0, 0},
             {1, 0}, {1, 1}, {0, 1}, 0);
    PrepareObjects(ctx);
    SetView(ctx);
    ShowScene(ctx, 0, 0);
    const uint16_t* frame = reinterpret_cast<const uint16_t*>(ctx.Engine.FrameBuffer.data());
    EXPECT_EQ(frame[32 * 64 + 32], ctx.Engine.Rgb555[3]);
    EXPECT_EQ(ctx.Engine.Rgb555[3], 0x7C00 | 0x03E0);
    EXPECT_EQ(At(32, 32), PrimaryRgb(3));
}

// An 8-bit palettised screen: the frame stays 8-bit and the screen's palette is adopted.
class OnPaletteWindow : public OnWindow {
protected:
    OnPaletteWindow() : OnWindow(8) {}
};

TEST_F(OnPaletteWindow, TheFirstCapturedFrameAdoptsTheScreenPalette) {
    BITMAPINFO h = PictureHeader(4, 2);
    for (int i = 0; i < 256; ++i) {
        h.bmiColors[i] = RGBQUAD{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                 static_cast<uint8_t>((i * 5) & 0xFF), 0};
    }
    EngineInit(ctx, 8, 4, 256, 0x101);
    Put(4, 2, Bytes{10, 20, 30, 40, 50, 60, 70, 80}, &h);
    const BITMAPINFO before = ctx.Engine.Pictures[0].Header;
    const Bytes beforePixels = ctx.Engine.Pictures[0].Pixels;
    ASSERT_FALSE(ctx.Engine.HighColour);
    EngineStart(ctx, Wnd);
    ShowPicture(ctx, 5, 5, 0);
    ASSERT_TRUE(Errors.empty());
    EXPECT_TRUE(ctx.Engine.ScreenPaletteAdopted);
    std::array<PALETTEENTRY, 256> system{};
    ctx.Os.Gdi().GetSystemPaletteEntries(ctx.Engine.WindowDC, 0, 256, system.data());
    const PictureSlot& p = ctx.Engine.Pictures[0];
    for (int i = 0; i < 256; ++i) {
        const RGBQUAD& w = ctx.Engine.FrameHeader.bmiColors[i];
        EXPECT_EQ((RGBQUAD{system[i].peBlue, system[i].peGreen, system[i].peRed, 0}),
                  (RGBQUAD{w.Blue, w.Green, w.Red, 0}))
            << i;
        EXPECT_EQ(p.Header.bmiColors[i], w);
    }
    // Every pixel now names the screen colour nearest to its old colour, and shows it.
    for (int32_t k = 0; k < 8; ++k) {
        const RGBQUAD old = before.bmiColors[beforePixels[static_cast<size_t>(k)]];
        int best = 0;
        int bestDistance = 600000;
        for (int i = 0; i < 256; ++i) {
            const RGBQUAD& s = p.Header.bmiColors[i];
            const int d = (s.Red - old.Red) * (s.Red - old.Red) +
                          (s.Green - old.Green) * (s.Green - old.Green) +
                          (s.Blue - old.Blue) * (s.Blue - old.Blue);
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        EXPECT_EQ(p.Pixels[static_cast<size_t>(k / 4 * 4 + k % 4)], best) << k;
        const RGBQUAD& shown = p.Header.bmiColors[best];
        const int32_t x = 5 + 2 + k % 4;
        const int32_t y = 5 + 4 - 1 - (1 + k / 4);
        EXPECT_EQ(At(x, y), (uint32_t{shown.Red} << 16) | (uint32_t{shown.Green} << 8) | shown.Blue)
            << k;
    }
    // Later frames only scroll the capture.
    const Bytes adopted = p.Pixels;
    ShowPicture(ctx, 7, 5, 0);
    EXPECT_EQ(p.Pixels, adopted);
}

} // namespace
} // namespace qv::test
