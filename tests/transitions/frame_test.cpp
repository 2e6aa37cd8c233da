#include "frame_fixture.h"
#include "transitions/reveal_effects.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

TEST(FrameClock, ElapsedFollowsTheTickCountLessTheBase) {
    FrameFixture f;
    FrameContext& ctx = *f.Ctx;
    const int32_t start = Elapsed(ctx);
    ctx.TickBase = start + 1000;
    EXPECT_EQ(Elapsed(ctx), -1000);
    ctx.TickBase = 0;
    // A wait of 0 or less does not pump; a wait of 50 pumps until 50 ms have passed.
    WaitMs(ctx, 0);
    WaitMs(ctx, -20);
    EXPECT_EQ(Elapsed(ctx), start);
    WaitMs(ctx, 50);
    EXPECT_GE(Elapsed(ctx), start + 50);
    EXPECT_LE(Elapsed(ctx), start + 50 + f.Os().Clock().QuantumMs());
    // The stop flag ends a wait at once.
    ctx.StopRequested = true;
    const int32_t before = Elapsed(ctx);
    WaitMs(ctx, 1000000);
    EXPECT_EQ(Elapsed(ctx), before);
}

TEST(FrameClock, PumpFrameStopsWhenTheWindowsGo) {
    {
        FrameFixture f;
        EXPECT_FALSE(PumpFrame(*f.Ctx));
        f.Os().User().DestroyWindow(f.Ctx->Run.SaverWnd);
        EXPECT_TRUE(PumpFrame(*f.Ctx));
    }
    {
        // In preview, a host window that is not a window stops the run.
        FrameFixture f;
        f.Ctx->Run.IsPreview = 1;
        f.Ctx->Run.HostWnd = 777777;
        EXPECT_TRUE(PumpFrame(*f.Ctx));
    }
}

TEST(FrameErrorScreen, ReturnsOnceTheWindowHasGone) {
    FrameFixture f;
    // The error screen pumps until the stop flag: a window destroyed meanwhile sets it.
    f.Os().User().PostMessage(f.Ctx->Run.SaverWnd, WM_CLOSE, 0, 0);
    ErrorScreen(*f.Ctx, "message");
    EXPECT_TRUE(f.Ctx->StopRequested);
}

struct CaptionCase {
    const char* Place;
    bool Banner;
    int32_t FreeTopBefore;
    int32_t FreeBottomBefore;
};

// Measures the caption from the window: the rectangle whose pixels are not the red fill.
Rect ChangedArea(const Surface& s) {
    Rect r{s.Width(), s.Height(), 0, 0};
    for (int32_t y = 0; y < s.Height(); ++y) {
        for (int32_t x = 0; x < s.Width(); ++x) {
            if (s.PixelRgb(x, y) != 0xFF0000) {
                r.Left = std::min(r.Left, x);
                r.Top = std::min(r.Top, y);
                r.Right = std::max(r.Right, x + 1);
                r.Bottom = std::max(r.Bottom, y + 1);
            }
        }
    }
    return r;
}

TEST(FrameCaptions, PlacesAndPictureArea) {
    const CaptionCase cases[] = {
        {"TL", true, 0, 120},  {"TM", true, 0, 120},   {"TR", true, 0, 120},  {"BL", true, 0, 120},
        {"BM", true, 0, 120},  {"BR", true, 0, 120},   {"TM", true, 90, 120}, {"BM", true, 0, 10},
        {"TL", false, 0, 120}, {"TM", false, 90, 120}, {"TR", false, 0, 120}, {"BL", false, 0, 120},
        {"BM", false, 0, 10},  {"BR", false, 0, 120},  {"XY", true, 0, 120},
    };
    for (const CaptionCase& c : cases) {
        FrameFixture f;
        FrameContext& ctx = *f.Ctx;
        f.Fill(RGB(255, 0, 0));
        ctx.Run.FreeTop = c.FreeTopBefore;
        ctx.Run.FreeBottom = c.FreeBottomBefore;
        if (c.Banner) {
            ctx.Show.BannerText = " Hi ";
            ctx.Show.BannerPlace = c.Place;
            ctx.Show.BannerFont = "Arial";
            ctx.Show.BannerSize = 10;
            ctx.Show.BannerColor = RGB(0, 255, 0);
        } else {
            ctx.Show.ClockFormat = "hh:nn";
            ctx.Show.ClockPlace = c.Place;
            ctx.Show.ClockFont = "Arial";
            ctx.Show.ClockSize = 10;
            ctx.Show.ClockColor = RGB(0, 0, 255);
        }
        DrawCaptions(ctx);
        const Surface& s = f.Window();
        const Rect area = ChangedArea(s);
        const std::string what = std::string(c.Banner ? "banner " : "clock ") + c.Place;
        ASSERT_FALSE(area.Empty()) << what;
        const char v = c.Place[0] == 'B' ? 'B' : 'T';
        const char h = c.Place[1] == 'M' ? 'M' : c.Place[1] == 'R' ? 'R' : 'L';
        if (c.Banner) {
            // The banner stands on an opaque black box exactly as large as its text, so
            // its changed area is the whole text cell.
            const int32_t th = area.Height();
            if (v == 'T') {
                EXPECT_EQ(area.Top, 0) << what;
                EXPECT_EQ(ctx.Run.FreeTop, std::max(c.FreeTopBefore, th + 4)) << what;
                EXPECT_EQ(ctx.Run.FreeBottom, c.FreeBottomBefore) << what;
            } else {
                EXPECT_EQ(area.Bottom, 120) << what;
                EXPECT_EQ(ctx.Run.FreeBottom, std::min(c.FreeBottomBefore, 120 - th - 4)) << what;
                EXPECT_EQ(ctx.Run.FreeTop, c.FreeTopBefore) << what;
            }
            bool black = false;
            for (int32_t y = area.Top; y < area.Bottom; ++y) {
                for (int32_t x = area.Left; x < area.Right; ++x) {
                    EXPECT_NE(s.PixelRgb(x, y), 0xFF0000u)
                        << what << " box has a hole at " << x << "," << y;
                    black = black || s.PixelRgb(x, y) == 0;
                }
            }
            EXPECT_TRUE(black) << what;
        } else {
            // Only the clock's letters are painted: the fill shows between them.
            bool red = false;
            for (int32_t y = area.Top; y < area.Bottom; ++y) {
                for (int32_t x = area.Left; x < area.Right; ++x) {
                    red = red || s.PixelRgb(x, y) == 0xFF0000;
                }
            }
            EXPECT_TRUE(red) << what;
            // The clock's area assignments are plain, not maximum and minimum: FreeTop
            // drops from 90 to the clock's height + 4. The letters' cell is at least as
            // high as the painted area.
            if (v == 'T') {
                EXPECT_GE(ctx.Run.FreeTop, area.Bottom + 4) << what;
                EXPECT_LT(ctx.Run.FreeTop, 40) << what;
                EXPECT_EQ(ctx.Run.FreeBottom, c.FreeBottomBefore) << what;
            } else {
                EXPECT_LE(ctx.Run.FreeBottom, area.Top - 4) << what;
                EXPECT_GT(ctx.Run.FreeBottom, 80) << what;
                EXPECT_EQ(ctx.Run.FreeTop, c.FreeTopBefore) << what;
            }
        }
        // Horizontal place: the cell touches the left edge, is centred, or touches the
        // right edge (letters may leave a column or two of the cell unpainted).
        if (h == 'L') {
            EXPECT_LE(area.Left, 2) << what;
        } else if (h == 'R') {
            EXPECT_GE(area.Right, 118) << what;
        } else {
            EXPECT_NEAR((area.Left + area.Right) / 2, 80, 3) << what;
        }
    }
}

TEST(FrameCaptions, NothingInPreviewAndNoClockWithoutFormat) {
    FrameFixture f;
    FrameContext& ctx = *f.Ctx;
    f.Fill(RGB(255, 0, 0));
    ctx.Show.BannerText = " Hi ";
    ctx.Show.BannerPlace = "TL";
    ctx.Show.BannerSize = 10;
    ctx.Run.IsPreview = 1;
    DrawCaptions(ctx);
    EXPECT_TRUE(ChangedArea(f.Window()).Empty());
    EXPECT_EQ(ctx.Run.FreeTop, 0);
    EXPECT_EQ(ctx.Run.FreeBottom, 120);
    ctx.Run.IsPreview = 0;
    ctx.Show.BannerText.clear();
    ctx.Show.ClockFormat.clear();
    DrawCaptions(ctx);
    EXPECT_TRUE(ChangedArea(f.Window()).Empty());
}

TEST(FrameTiles, OneTileSitsExactlyInTheMiddle) {
    FrameFixture f({100, 60});
    FrameContext& ctx = *f.Ctx;
    // A 30 x 20 tile: white with a black top-left pixel.
    PictureSlot& tile = ctx.Engine.Pictures[0];
    tile.Header = ctx.Engine.FrameHeader;
    tile.Header.bmiHeader.biWidth = 30;
    tile.Header.bmiHeader.biHeight = 20;
    tile.Stride = 32;
    tile.Size = 32 * 20;
    tile.Pixels.assign(32 * 20, 255);
    tile.Pixels[19 * 32] = 0; // bottom-up: the last row in memory is the top row
    ctx.Engine.PictureTotal = 1;
    TileScreen(ctx, 0);
    const Surface& s = f.Window();
    // The middle tile starts at ((100 - 30) / 2, (60 - 20) / 2) = (35, 20); the grid
    // repeats every 30 and 20 pixels from there, over the whole window.
    for (int32_t y = 0; y < 60; ++y) {
        for (int32_t x = 0; x < 100; ++x) {
            const bool corner = (x - 35 + 300) % 30 == 0 && (y - 20 + 200) % 20 == 0;
            ASSERT_EQ(s.PixelRgb(x, y), corner ? 0u : 0xFFFFFFu) << x << "," << y;
        }
    }
}

} // namespace
} // namespace qv::test
