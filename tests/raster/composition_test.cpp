#include "raster_fixture.h"

namespace qv::test {
namespace {

class Composition : public RasterTest {};

TEST_F(Composition, PicturesAreCentredAndKeyedCopiesSkipTheKey) {
    EngineInit(ctx, 8, 6, 256, 0x401); // background: a picture tiled over the screen
    ctx.Engine.ScreenWidth = 40;
    ctx.Engine.ScreenHeight = 30;
    ctx.Engine.BackgroundPicture = PutPattern(4, 4, [](int32_t, int32_t) { return 9; });
    // 3 x 3, bottom-left (the key) index 0, one more 0 inside.
    const int32_t sprite = Put(3, 3, Bytes{0, 1, 2, 3, 0, 5, 6, 7, 8});
    ShowPictureKeyed(ctx, 5, 5, sprite);
    // First pixel at column (8 - 3) / 2 = 2, row (6 - 3) / 2 = 1.
    const uint8_t want[6][8] = {
        {9, 9, 9, 9, 9, 9, 9, 9}, {9, 9, 9, 1, 2, 9, 9, 9}, {9, 9, 3, 9, 5, 9, 9, 9},
        {9, 9, 6, 7, 8, 9, 9, 9}, {9, 9, 9, 9, 9, 9, 9, 9}, {9, 9, 9, 9, 9, 9, 9, 9},
    };
    for (int32_t r = 0; r < 6; ++r) {
        for (int32_t c = 0; c < 8; ++c) {
            EXPECT_EQ(Frame(c, r), want[r][c]) << c << "," << r;
        }
    }
    ShowPicture(ctx, 5, 5, sprite);
    EXPECT_EQ(Frame(2, 1), 0);
    EXPECT_EQ(Frame(3, 2), 0);
    EXPECT_EQ(Frame(3, 1), 1);
}

TEST_F(Composition, APictureLargerThanTheViewportShowsItsMiddle) {
    EngineInit(ctx, 4, 2, 256, 1);
    const int32_t big = PutPattern(8, 6, [](int32_t c, int32_t r) { return 10 * r + c; });
    ShowPicture(ctx, 0, 0, big);
    // Offsets (4 - 8) / 2 = -2 and (2 - 6) / 2 = -2.
    EXPECT_EQ(Frame(0, 0), 22);
    EXPECT_EQ(Frame(3, 1), 35);
    EXPECT_EQ(ctx.Engine.FrameBuffer.size(), 4096u);
    EXPECT_EQ(ctx.Engine.FrameBuffer[8], 0);
}

// What a background gives at screen pixel (X, Y) for a picture of size pw x ph whose
// pixel at (column c, screen row s) is 10 * s + c, placed centred on a 20 x 10 screen.
int Centred(int32_t X, int32_t Y, int32_t pw, int32_t ph) {
    const int32_t ox = (20 - pw) / 2;
    const int32_t oy = (10 - ph) / 2;
    if (X < ox || X >= ox + pw || Y < oy || Y >= oy + ph) {
        return -1;
    }
    return 10 * (Y - oy) + (X - ox);
}
int Tiled(int32_t X, int32_t Y, int32_t pw, int32_t ph) {
    const int32_t ox = (20 - pw) / 2;
    const int32_t oy = (10 - ph) / 2;
    return 10 * ((((Y - oy) % ph) + ph) % ph) + ((((X - ox) % pw) + pw) % pw);
}

TEST_F(Composition, BackgroundsPlaceThePictureOnTheScreen) {
    EngineInit(ctx, 6, 4, 256, 1);
    ctx.Engine.ScreenWidth = 20;
    ctx.Engine.ScreenHeight = 10;
    // 5 x 3: its top screen row is buffer row 2.
    const int32_t src = PutPattern(5, 3, [](int32_t c, int32_t r) { return 10 * (2 - r) + c; });
    const int32_t dst = PutPattern(7, 5, [](int32_t, int32_t) { return 200; });
    const Point places[] = {{0, 0}, {7, 3}, {5, 2}, {-3, -2}, {-40, -17}, {13, 7}, {18, 9}, {9, 4}};
    for (const Point& at : places) {
        for (int mode = 0; mode < 4; ++mode) {
            const bool tiled = mode % 2 == 1;
            const bool toFrame = mode >= 2;
            std::fill(ctx.Engine.FrameBuffer.begin(), ctx.Engine.FrameBuffer.end(), uint8_t{77});
            std::fill(ctx.Engine.Pictures[1].Pixels.begin(), ctx.Engine.Pictures[1].Pixels.end(),
                      uint8_t{200});
            const int32_t target = toFrame ? -1 : dst;
            if (tiled) {
                DrawTiledBackground(ctx, target, src, at.X, at.Y);
            } else {
                DrawCentredBackground(ctx, target, src, at.X, at.Y);
            }
            const int32_t tw = toFrame ? 6 : 7;
            const int32_t th = toFrame ? 4 : 5;
            for (int32_t s = 0; s < th; ++s) {
                for (int32_t c = 0; c < tw; ++c) {
                    int want =
                        tiled ? Tiled(at.X + c, at.Y + s, 5, 3) : Centred(at.X + c, at.Y + s, 5, 3);
                    if (want < 0) {
                        want = toFrame
                                   ? 0
                                   : 200; // the frame is cleared first; a picture keeps its pixels
                    }
                    const int32_t r = th - 1 - s;
                    const int got = toFrame ? Frame(c, r) : Pixel(dst, c, r);
                    ASSERT_EQ(got, want) << "mode " << mode << " at " << at.X << "," << at.Y
                                         << " pixel " << c << "," << s;
                }
            }
        }
    }
}

TEST_F(Composition, MaskedZoomCopyTakesTheZoomedSourceUnderTheMask) {
    EngineInit(ctx, 8, 8, 256, 1);
    const int32_t dst = PutPattern(5, 4, [](int32_t, int32_t) { return 1; });
    const int32_t src = Put(3, 2, Bytes{10, 11, 12, 13, 14, 15});
    const int32_t mask =
        PutPattern(5, 4, [](int32_t c, int32_t r) { return (c + r) % 2 ? 255 : 0; });
    MaskedZoomCopy(ctx, dst, src, mask, 2);
    for (int32_t r = 0; r < 4; ++r) {
        for (int32_t c = 0; c < 5; ++c) {
            const int want = (c + r) % 2 ? 10 + 3 * (r / 2) + c / 2 : 1;
            EXPECT_EQ(Pixel(dst, c, r), want) << c << "," << r;
        }
    }
}

TEST_F(Composition, AndPicturesCombinesEveryByte) {
    const int32_t a = PutPattern(7, 3, [](int32_t c, int32_t r) { return 0xF0 | (c + r); });
    const int32_t b = PutPattern(7, 3, [](int32_t c, int32_t) { return c % 2 ? 0xFF : 0x0F; });
    AndPictures(ctx, a, b);
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t c = 0; c < 7; ++c) {
            EXPECT_EQ(Pixel(a, c, r), (0xF0 | (c + r)) & (c % 2 ? 0xFF : 0x0F));
        }
    }
}

TEST_F(Composition, MergePicturesOrsTheOverlapIntoBoth) {
    EngineInit(ctx, 4, 4, 256, 1);
    struct Case {
        int32_t Dx, Dy;
        bool Merges;
    };
    const Case cases[] = {{1, 0, true},   {-3, 2, true}, {3, -3, true},  {4, 0, false},
                          {-4, 0, false}, {0, 4, false}, {0, -4, false}, {0, 0, true}};
    for (const Case& k : cases) {
        FreePictures(ctx);
        // a's pixels hold bit 0x10 and its position; b's bit 0x20 and its position.
        const int32_t a =
            PutPattern(4, 4, [](int32_t c, int32_t r) { return 0x10 | (r * 4 + c) % 16; });
        const int32_t b =
            PutPattern(4, 4, [](int32_t c, int32_t r) { return 0x20 | (r * 4 + c) % 16; });
        const Bytes a0 = ctx.Engine.Pictures[0].Pixels;
        const Bytes b0 = ctx.Engine.Pictures[1].Pixels;
        MergePictures(ctx, a, b, k.Dx, k.Dy);
        for (int32_t s = 0; s < 4; ++s) { // screen rows of a
            for (int32_t c = 0; c < 4; ++c) {
                const int32_t bc = c - k.Dx;
                const int32_t bs = s - k.Dy;
                const bool overlap = k.Merges && bc >= 0 && bc < 4 && bs >= 0 && bs < 4;
                const uint8_t av = a0[static_cast<size_t>((3 - s) * 4 + c)];
                if (overlap) {
                    const uint8_t bv = b0[static_cast<size_t>((3 - bs) * 4 + bc)];
                    EXPECT_EQ(Pixel(a, c, 3 - s), av | bv) << k.Dx << "," << k.Dy;
                    EXPECT_EQ(Pixel(b, bc, 3 - bs), av | bv) << k.Dx << "," << k.Dy;
                } else {
                    EXPECT_EQ(Pixel(a, c, 3 - s), av) << k.Dx << "," << k.Dy;
                }
            }
        }
        if (!k.Merges) {
            EXPECT_EQ(ctx.Engine.Pictures[1].Pixels, b0);
        }
    }
}

TEST_F(Composition, WaveRowsShiftEachRowAlongTheSine) {
    EngineInit(ctx, 12, 6, 256, 1);
    const int32_t src = PutPattern(5, 4, [](int32_t c, int32_t r) { return 1 + 10 * r + c; });
    struct Case {
        int32_t Left, Top, Amplitude, Step, Phase;
        int32_t Shift[4]; // per source row
    };
    const Case cases[] = {
        {3, 1, 0, 17, 40, {0, 0, 0, 0}},      // amplitude 0: the rows as they are, 3 zeros in front
        {3, 1, 3, 90, 90, {3, 0, -3, 0}},     // sin 90, 180, 270, 360
        {1, 0, 2, -90, 0, {0, -2, 0, 2}},     // negative steps reduce into 0..359
        {9, 2, 5, 0, 90, {5, 5, 5, 5}},       // past the end of the row: cut
        {0, -1, 4, 0, 270, {-4, -4, -4, -4}}, // before its start: cut; row -1 is skipped
        {2, 0, 7, 30, 0, {0, 3, 6, 7}},       // trunc(7 * SIN[30] / 65536) = 3
    };
    for (const Case& k : cases) {
        std::fill(ctx.Engine.FrameBuffer.begin(), ctx.Engine.FrameBuffer.end(), uint8_t{99});
        WaveRows(ctx, -1, src, k.Left, k.Top, k.Amplitude, k.Step, k.Phase);
        for (int32_t r = 0; r < 6; ++r) {
            const int32_t m = r - k.Top;
            for (int32_t c = 0; c < 12; ++c) {
                int want = 99;
                if (m >= 0 && m < 4) {
                    const int32_t i = c - (k.Left + k.Shift[m]);
                    want = i >= 0 && i < 5 ? 1 + 10 * m + i : 0;
                }
                ASSERT_EQ(Frame(c, r), want)
                    << "case left " << k.Left << " phase " << k.Phase << " at " << c << "," << r;
            }
        }
    }
}

TEST_F(Composition, WaveColumnsShiftEachColumnAlongTheSine) {
    EngineInit(ctx, 8, 9, 256, 1);
    const int32_t src = PutPattern(4, 3, [](int32_t c, int32_t r) { return 1 + 10 * r + c; });
    const int32_t mid = PutPattern(8, 9, [](int32_t, int32_t) { return 99; });
    struct Case {
        int32_t Left, Top, Amplitude, Step, Phase;
        int32_t Shift[4]; // per source column
    };
    const Case cases[] = {
        {2, 3, 0, 45, 10, {0, 0, 0, 0}},
        {2, 3, 3, 90, 90, {3, 0, -3, 0}},
        {6, 7, 4, 0, 90, {4, 4, 4, 4}},       // columns 8 and 9 lie outside and are skipped
        {-1, 0, 2, 0, 270, {-2, -2, -2, -2}}, // column -1 is skipped; rows before 0 are cut
    };
    for (const Case& k : cases) {
        for (int32_t target : {-1, mid}) {
            std::fill(ctx.Engine.FrameBuffer.begin(), ctx.Engine.FrameBuffer.end(), uint8_t{99});
            std::fill(ctx.Engine.Pictures[1].Pixels.begin(), ctx.Engine.Pictures[1].Pixels.end(),
                      uint8_t{99});
            WaveColumns(ctx, target, src, k.Left, k.Top, k.Amplitude, k.Step, k.Phase);
            for (int32_t c = 0; c < 8; ++c) {
                const int32_t m = c - k.Left;
                for (int32_t r = 0; r < 9; ++r) {
                    int want = 99;
                    if (m >= 0 && m < 4) {
                        const int32_t i = r - (k.Top + k.Shift[m]);
                        want = i >= 0 && i < 3 ? 1 + 10 * i + m : 0;
                    }
                    const int got = target == -1 ? Frame(c, r) : Pixel(mid, c, r);
                    ASSERT_EQ(got, want) << "left " << k.Left << " at " << c << "," << r;
                }
            }
        }
    }
}

// Wider than a block of the column routine, with shifts that put some columns wholly
// above or below the target: every column, in every block, is where its shift puts it.
TEST_F(Composition, WaveColumnsPlaceEveryColumnOfAWidePicture) {
    EngineInit(ctx, 300, 12, 256, 1);
    const int32_t w = 290;
    const int32_t h = 5;
    const auto value = [](int32_t c, int32_t r) { return 1 + (c * 7 + r * 3) % 250; };
    const int32_t src = PutPattern(w, h, value);
    const int32_t left = 5;
    const int32_t top = 3;
    const int32_t amplitude = 9;
    std::fill(ctx.Engine.FrameBuffer.begin(), ctx.Engine.FrameBuffer.end(), uint8_t{255});
    WaveColumns(ctx, kFrameBuffer, src, left, top, amplitude, 7, 11);
    int32_t wholly = 0; // columns that land wholly outside the target
    for (int32_t c = 0; c < 300; ++c) {
        const int32_t m = c - left;
        int32_t shift = 0;
        if (m >= 0 && m < w) {
            const int64_t sine = ctx.Engine.Trig.Sin[static_cast<size_t>((11 + 7 * m) % 360)];
            shift = static_cast<int32_t>(amplitude * sine / 65536);
            wholly += top + shift >= 12 || top + shift + h <= 0;
        }
        for (int32_t r = 0; r < 12; ++r) {
            int want = 255;
            if (m >= 0 && m < w) {
                const int32_t i = r - (top + shift);
                want = i >= 0 && i < h ? value(m, i) : 0;
            }
            ASSERT_EQ(Frame(c, r), want) << "at " << c << "," << r;
        }
    }
    EXPECT_GT(wholly, 0);
}

TEST_F(Composition, WavesDoNothingWhileTheEngineIsStopped) {
    EngineInit(ctx, 8, 8, 256, 1);
    const int32_t src = PutPattern(4, 4, [](int32_t, int32_t) { return 5; });
    const int32_t dst = PutPattern(8, 8, [](int32_t, int32_t) { return 3; });
    ctx.Engine.Running = false;
    WaveRows(ctx, dst, src, 0, 0, 0, 0, 0);
    WaveColumns(ctx, dst, src, 0, 0, 0, 0, 0);
    EXPECT_EQ(Pixel(dst, 0, 0), 3);
}

} // namespace
} // namespace qv::test

namespace qv::test {
namespace {

// In high colour the frame buffer holds RGB555 pixels: backgrounds and waves drawn into it
// give, pixel for pixel, the RGB555 colour of what they give in 8 bits.
TEST_F(Composition, HighColourFramesHoldTheRgb555OfTheIndexedFrame) {
    EngineContext wide(ctx.Os);
    EngineInit(ctx, 10, 7, 256, 1);
    EngineInit(wide, 10, 7, 256, 0x101);
    ASSERT_TRUE(wide.Engine.HighColour);
    ASSERT_FALSE(ctx.Engine.HighColour);
    BITMAPINFO h = PictureHeader(5, 3);
    h.bmiColors[0] = RGBQUAD{40, 50, 60, 0}; // what "zero" pixels show
    Put(5, 3, Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, &h);
    wide.Engine.Pictures = ctx.Engine.Pictures;
    wide.Engine.PictureTotal = ctx.Engine.PictureTotal;
    std::copy(std::begin(h.bmiColors), std::end(h.bmiColors),
              std::begin(wide.Engine.FrameHeader.bmiColors));
    RebuildRgb555(wide.Engine);
    for (EngineContext* c : {&ctx, &wide}) {
        c->Engine.ScreenWidth = 23;
        c->Engine.ScreenHeight = 17;
    }
    using Draw = void (*)(EngineContext&);
    const Draw draws[] = {
        [](EngineContext& c) { DrawTiledBackground(c, -1, 0, -3, 4); },
        [](EngineContext& c) { DrawCentredBackground(c, -1, 0, 5, 4); },
        [](EngineContext& c) { WaveRows(c, -1, 0, 2, 1, 3, 90, 0); },
        [](EngineContext& c) { WaveColumns(c, -1, 0, 3, 1, 2, 45, 30); },
    };
    for (size_t k = 0; k < std::size(draws); ++k) {
        std::fill(ctx.Engine.FrameBuffer.begin(), ctx.Engine.FrameBuffer.end(), uint8_t{0});
        // Both start as index 0 everywhere, so pixels a draw leaves alone compare too.
        auto* start = reinterpret_cast<uint16_t*>(wide.Engine.FrameBuffer.data());
        std::fill(start, start + wide.Engine.FrameBuffer.size() / 2, wide.Engine.Rgb555[0]);
        draws[k](ctx);
        draws[k](wide);
        const auto* pixels = reinterpret_cast<const uint16_t*>(wide.Engine.FrameBuffer.data());
        for (int32_t i = 0; i < 12 * 7; ++i) {
            ASSERT_EQ(pixels[i], wide.Engine.Rgb555[ctx.Engine.FrameBuffer[static_cast<size_t>(i)]])
                << "draw " << k << " pixel " << i;
        }
    }
}

} // namespace
} // namespace qv::test
