#include "frame_fixture.h"
#include "transitions/reveal_effects.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

// A 10 x 6 picture whose every pixel has its own colour, and where it goes in the window.
struct SmallPicture {
    SmallPicture() {
        Header.bmiHeader.biWidth = 10;
        Header.bmiHeader.biHeight = 6;
        Header.bmiHeader.biClrUsed = 256;
        Header.bmiHeader.biClrImportant = 256;
        for (int i = 0; i < 256; ++i) {
            Header.bmiColors[i] =
                RGBQUAD{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 200, 0};
        }
        Pixels.assign(12 * 6, 0);
        for (int32_t row = 0; row < 6; ++row) {
            for (int32_t x = 0; x < 10; ++x) {
                Pixels[static_cast<size_t>(row) * 12 + x] = static_cast<uint8_t>(1 + row * 10 + x);
            }
        }
    }
    // The colour of the picture's pixel (x, y), y counted from the top.
    uint32_t Rgb(int32_t x, int32_t y) const {
        const RGBQUAD& c = Header.bmiColors[Pixels[static_cast<size_t>(5 - y) * 12 + x]];
        return (uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue;
    }
    BITMAPINFO Header{};
    std::vector<uint8_t> Pixels;
};

constexpr int32_t kX = 7;
constexpr int32_t kY = 5;

// Counts the picture's pixels shown in the window at (kX, kY), and the black ones there.
struct Shown {
    int Picture = 0;
    int Black = 0;
};
Shown Look(FrameFixture& f, const SmallPicture& p) {
    Shown s;
    const Surface& w = f.Window();
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
            const uint32_t c = w.PixelRgb(kX + x, kY + y);
            s.Picture += c == p.Rgb(x, y);
            s.Black += c == 0;
        }
    }
    return s;
}

using Effect = void (*)(FrameContext&, const SmallPicture&, RevealDirection, int32_t duration,
                        int32_t option);

void Fade(FrameContext& ctx, const SmallPicture& p, RevealDirection d, int32_t duration, int32_t) {
    PaletteFade(ctx, kX, kY, p.Pixels.data(), p.Header, d, duration);
}
void Dissolve(FrameContext& ctx, const SmallPicture& p, RevealDirection d, int32_t duration,
              int32_t order) {
    BlockDissolve(ctx, kX, kY, p.Pixels.data(), p.Header, d, 20, duration, order);
}
void Wipe(FrameContext& ctx, const SmallPicture& p, RevealDirection d, int32_t duration,
          int32_t direction) {
    StripWipe(ctx, kX, kY, p.Pixels.data(), p.Header, d, duration, direction);
}

struct EffectCase {
    const char* Name;
    Effect Run;
    int32_t Option;
    // How long a run takes, as a multiple of its duration: the wipes towards the start
    // draw half + 1 strips at duration / half each (10 wide: 6 x 1/5; 6 high: 4 x 1/3).
    double Stretch;
    double MaxStretch;
};

const EffectCase kEffects[] = {
    {"fade", Fade, 0, 1, 1},
    {"dissolve random", Dissolve, 0, 1, 1},
    {"dissolve columns", Dissolve, 1, 1, 1},
    {"dissolve rows", Dissolve, 2, 1, 1},
    {"wipe right", Wipe, 0, 1, 1},
    {"wipe down", Wipe, 1, 1, 1},
    {"wipe left", Wipe, 2, 6.0 / 5, 6.0 / 5},
    {"wipe up", Wipe, 3, 4.0 / 3, 4.0 / 3},
    {"wipe random", Wipe, 4, 1, 4.0 / 3},
    {"wipe unknown direction", Wipe, 9, 1, 1},
};

TEST(RevealEffects, RevealShowsThePictureAndRemoveBlacksItOutInTime) {
    for (const EffectCase& e : kEffects) {
        FrameFixture f;
        FrameContext& ctx = *f.Ctx;
        const SmallPicture p;
        f.Fill(RGB(255, 0, 0));
        const int32_t t0 = Elapsed(ctx);
        e.Run(ctx, p, RevealDirection::Reveal, 300, e.Option);
        const int32_t revealTook = Elapsed(ctx) - t0;
        EXPECT_EQ(Look(f, p).Picture, 60) << e.Name;
        // The duration holds to within a few frames.
        EXPECT_GE(revealTook, 300 * e.Stretch - 5) << e.Name;
        EXPECT_LE(revealTook, 300 * e.MaxStretch + 10) << e.Name;
        // Nothing outside the picture's rectangle is touched.
        EXPECT_EQ(f.Window().PixelRgb(kX - 1, kY), 0xFF0000u) << e.Name;
        EXPECT_EQ(f.Window().PixelRgb(kX + 10, kY + 5), 0xFF0000u) << e.Name;
        EXPECT_EQ(f.Window().PixelRgb(kX, kY + 6), 0xFF0000u) << e.Name;

        const int32_t t1 = Elapsed(ctx);
        e.Run(ctx, p, RevealDirection::Remove, 200, e.Option);
        EXPECT_EQ(Look(f, p).Black, 60) << e.Name;
        EXPECT_GE(Elapsed(ctx) - t1, 200 * e.Stretch - 5) << e.Name;
        EXPECT_LE(Elapsed(ctx) - t1, 200 * e.MaxStretch + 10) << e.Name;
    }
}

TEST(RevealEffects, AStopEndsEveryEffectWithinOneStep) {
    for (const EffectCase& e : kEffects) {
        FrameFixture f;
        FrameContext& ctx = *f.Ctx;
        const SmallPicture p;
        f.Fill(RGB(255, 0, 0));
        // A window that is gone stops the run at the first pump; a huge duration must not
        // keep the effect waiting out its step.
        f.Os().User().DestroyWindow(ctx.Run.SaverWnd);
        const int32_t t0 = Elapsed(ctx);
        e.Run(ctx, p, RevealDirection::Reveal, 2000000000, e.Option);
        EXPECT_TRUE(ctx.StopRequested) << e.Name;
        EXPECT_LE(Elapsed(ctx) - t0, 5) << e.Name;
    }
}

TEST(RevealEffects, FadeOfNoDurationShowsOneFrame) {
    FrameFixture f;
    FrameContext& ctx = *f.Ctx;
    const SmallPicture p;
    f.Fill(RGB(255, 0, 0));
    // In: one black frame. Out: one full frame, then black.
    PaletteFade(ctx, kX, kY, p.Pixels.data(), p.Header, RevealDirection::Reveal, 0);
    EXPECT_EQ(Look(f, p).Black, 60);
    PaletteFade(ctx, kX, kY, p.Pixels.data(), p.Header, RevealDirection::Remove, 0);
    EXPECT_EQ(Look(f, p).Black, 60);
    // Negative durations end just as safely.
    PaletteFade(ctx, kX, kY, p.Pixels.data(), p.Header, RevealDirection::Remove, -500);
    EXPECT_EQ(Look(f, p).Black, 60);
}

TEST(RevealEffects, FadeInEndsAtFullBrightnessWhenFramesSlowDown) {
    FrameFixture f;
    FrameContext& ctx = *f.Ctx;
    const SmallPicture p;
    f.Fill(RGB(255, 0, 0));
    // Ten quick frames, then a machine that falls behind: each round takes 100 ms, so the
    // estimate of frames left drops below the step count before full brightness.
    int rounds = 0;
    f.Os().User().SetRoundHook([&] {
        if (++rounds > 10) {
            f.Os().Clock().Advance(100);
        }
    });
    PaletteFade(ctx, kX, kY, p.Pixels.data(), p.Header, RevealDirection::Reveal, 300);
    f.Os().User().SetRoundHook(nullptr);
    EXPECT_EQ(Look(f, p).Picture, 60);
}

} // namespace
} // namespace qv::test
