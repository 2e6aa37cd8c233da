#include "scenario_support.h"

#include <cmath>
#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// A picture whose every pixel has its own colour index (1..250), on a table whose colour 0
// is a dark grey, so that the frame's fill is told apart from the black screen.
TestPicture Speckled(int32_t w, int32_t h) {
    TestPicture p;
    p.Width = w;
    p.Height = h;
    p.Colours[0] = 0x202020;
    for (uint32_t i = 1; i < 256; ++i) {
        p.Colours[i] = ((i * 37) & 0xFF) << 16 | ((i * 91 + 40) & 0xFF) << 8 | ((i * 13) & 0xFF);
    }
    p.Indexes.resize(static_cast<size_t>(w) * h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            p.Indexes[static_cast<size_t>(y) * w + x] =
                static_cast<uint8_t>(1 + (x * 7 + y * 13) % 250);
        }
    }
    return p;
}

// SIN(a) = trunc(sin(a degrees) * 65536), the angle reduced into 0..359.
int64_t Sin(int64_t angle) {
    const int64_t a = ((angle % 360) + 360) % 360;
    return static_cast<int64_t>(std::sin(static_cast<double>(a) * M_PI / 180.0) * 65536.0);
}

int64_t Offset(int64_t amplitude, int64_t step, int64_t phase, int64_t m) {
    return amplitude * Sin(phase + step * m) / 65536;
}

struct Waves {
    int32_t A1, A2;       // the frame's margins: the starting amplitudes
    int32_t Step1, Step2; // degrees per column, per row
    int32_t P1, P2;       // phases
    int32_t T1 = -1;      // the amplitudes now (truncated); -1: still A1, A2
    int32_t T2 = -1;
    int32_t Now1() const { return T1 < 0 ? A1 : T1; }
    int32_t Now2() const { return T2 < 0 ? A2 : T2; }
};

// The frame the wave formulas give for a picture: rows in storage order (bottom-up), each
// source row r shifted by Offset(A2, step2, p2, r) into the row pass's picture, then each
// of its columns c shifted by Offset(A1, step1, p1, c) into the frame; a single wave goes
// straight into the frame. Returns the frame as colour indexes, top row first.
std::vector<uint8_t> ExpectedFrame(const TestPicture& p, const Waves& w, int32_t* wb, int32_t* hb) {
    *wb = (p.Width + 2 * w.A2 + 3) & ~3;
    *hb = p.Height + 2 * w.A1;
    auto storage = [&](int32_t r, int32_t c) { // picture pixel at storage row r
        return p.Indexes[static_cast<size_t>(p.Height - 1 - r) * p.Width + c];
    };
    // Storage rows of the frame: fb[R][C], R = 0 at the bottom.
    std::vector<std::vector<uint8_t>> fb(static_cast<size_t>(*hb),
                                         std::vector<uint8_t>(static_cast<size_t>(*wb), 0));
    if (w.Now1() > 0 && w.Now2() > 0) {
        std::vector<std::vector<uint8_t>> mid(static_cast<size_t>(p.Height),
                                              std::vector<uint8_t>(static_cast<size_t>(*wb), 0));
        for (int32_t r = 0; r < p.Height; ++r) {
            const int64_t start = w.A2 + Offset(w.Now2(), w.Step2, w.P2, r);
            for (int32_t c = 0; c < p.Width; ++c) {
                if (start + c >= 0 && start + c < *wb) {
                    mid[r][start + c] = storage(r, c);
                }
            }
        }
        for (int32_t c = 0; c < *wb; ++c) {
            const int64_t start = w.A1 + Offset(w.Now1(), w.Step1, w.P1, c);
            for (int32_t r = 0; r < p.Height; ++r) {
                if (start + r >= 0 && start + r < *hb) {
                    fb[start + r][c] = mid[r][c];
                }
            }
        }
    } else if (w.Now2() > 0) {
        for (int32_t r = 0; r < p.Height; ++r) {
            const int64_t start = w.A2 + Offset(w.Now2(), w.Step2, w.P2, r);
            for (int32_t c = 0; c < p.Width; ++c) {
                if (start + c >= 0 && start + c < *wb) {
                    fb[w.A1 + r][start + c] = storage(r, c);
                }
            }
        }
    } else {
        for (int32_t c = 0; c < p.Width; ++c) {
            const int64_t start = w.A1 + Offset(w.Now1(), w.Step1, w.P1, c);
            for (int32_t r = 0; r < p.Height; ++r) {
                if (start + r >= 0 && start + r < *hb) {
                    fb[start + r][w.A2 + c] = storage(r, c);
                }
            }
        }
    }
    std::vector<uint8_t> top(static_cast<size_t>(*wb) * *hb);
    for (int32_t y = 0; y < *hb; ++y) {
        for (int32_t x = 0; x < *wb; ++x) {
            top[static_cast<size_t>(y) * *wb + x] = fb[*hb - 1 - y][x];
        }
    }
    return top;
}

// Whether the snapshot shows exactly that frame at (x, y) and black around it.
bool ShowsFrame(const Image& shot, const TestPicture& p, const Waves& w, int32_t x, int32_t y) {
    int32_t wb = 0;
    int32_t hb = 0;
    const std::vector<uint8_t> frame = ExpectedFrame(p, w, &wb, &hb);
    for (int32_t sy = 0; sy < shot.Height; ++sy) {
        for (int32_t sx = 0; sx < shot.Width; ++sx) {
            const bool inside = sx >= x && sx < x + wb && sy >= y && sy < y + hb;
            const uint32_t want =
                inside ? p.Colours[frame[static_cast<size_t>(sy - y) * wb + (sx - x)]] : 0;
            if (shot.At(sx, sy) != want) {
                return false;
            }
        }
    }
    return true;
}

std::vector<int32_t> RippleBlock(int32_t pictures, int32_t time, int32_t decay, int32_t a1,
                                 int32_t length1, int32_t speed1, int32_t a2, int32_t length2,
                                 int32_t speed2) {
    std::vector<int32_t> block{pictures};
    for (int32_t i = 0; i < pictures; ++i) {
        block.push_back(i);
    }
    block.insert(block.end(), {time, decay, a1, length1, speed1, a2, length2, speed2});
    return block;
}

// Still waves (speed 0, no decay) put exactly the formulas' frame on the screen, centred.
TEST(Ripple, FramesAreTheWaveFormulasApplied) {
    const TestPicture picture = Speckled(36, 24);
    struct Case {
        const char* Name;
        int32_t A1, Length1, A2, Length2;
        int32_t Step1, Step2; // the steps those lengths give
    };
    const Case cases[] = {
        {"both_waves", 5, 6, 4, -20, 10, 36},
        {"rows_only", 0, 6, 6, 4, 10, 12}, // the frame is exactly as high as the picture
        {"columns_only", 7, 1, 0, 9, 15, 7},
        {"still", 0, 3, 0, 3, 13, 13},            // the picture undistorted from the first frame
        {"backward_wave", 4, 20, 3, 30, -4, -14}, // lengths above 16 run the other way
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const auto show =
            MakeShow(PlainHeader(12),
                     RippleBlock(1, 5000, 0, c.A1, c.Length1, 0, c.A2, c.Length2, 0), {picture});
        const fs::path shot = dir / "frame.png";
        const PlayerRun run = RunShow(
            dir, show, {"--size=160x120", "--duration=300", "--snapshot=200:" + shot.string()});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const Waves w{c.A1, c.A2, c.Step1, c.Step2, 0, 0};
        const int32_t wb = (36 + 2 * c.A2 + 3) & ~3;
        const int32_t hb = 24 + 2 * c.A1;
        EXPECT_TRUE(ShowsFrame(ReadPng(shot), picture, w, (160 - wb) / 2, (120 - hb) / 2));
    }
}

// A travelling wave: the frame shown is the formulas' frame at the phase that the frames
// so far have reached (speed field 50: 10 degrees a frame), and with no decay and one
// picture the showing is not restarted after PictureTime (it ripples on for two hours).
TEST(Ripple, TravellingWavesKeepTheirPhaseWithoutDecay) {
    const TestPicture picture = Speckled(36, 24);
    TempDir dir;
    const auto show =
        MakeShow(PlainHeader(12), RippleBlock(1, 100, 0, 4, 6, 50, 3, 10, 50), {picture});
    const fs::path shot = dir / "frame.png";
    const PlayerRun run =
        RunShow(dir, show, {"--size=160x120", "--duration=600", "--snapshot=500:" + shot.string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const Image image = ReadPng(shot);
    const int32_t wb = (36 + 6 + 3) & ~3;
    const int32_t hb = 24 + 8;
    int32_t frames = -1;
    for (int32_t k = 0; k < 36 && frames < 0; ++k) {
        const int32_t phase = (10 * k) % 360;
        if (ShowsFrame(image, picture, {4, 3, 10, 6, phase, phase}, (160 - wb) / 2,
                       (120 - hb) / 2)) {
            frames = k;
        }
    }
    ASSERT_GE(frames, 0) << "no phase of the wave matches the snapshot";
    // About 24 frames of 20 ms have run by 500 ms; had the showing restarted after its
    // 100 ms, the phase would have started again from 0 (at most 5 frames on).
    EXPECT_GE(frames, 20);
}

// Decay brings both waves to rest: the picture then stands still in the frame's middle.
TEST(Ripple, DecayedWavesLeaveThePictureStill) {
    const TestPicture picture = Speckled(36, 24);
    TempDir dir;
    // Decay 200: one pixel a frame, so amplitudes 3 and 2 are gone after 3 frames.
    const auto show =
        MakeShow(PlainHeader(12), RippleBlock(1, 5000, 200, 3, 6, 50, 2, 10, 50), {picture});
    const fs::path shot = dir / "frame.png";
    const PlayerRun run =
        RunShow(dir, show, {"--size=160x120", "--duration=500", "--snapshot=400:" + shot.string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const int32_t wb = (36 + 4 + 3) & ~3;
    const int32_t hb = 24 + 6;
    // Both amplitudes at 0: every shift is 0, whatever the phase; the margins stay.
    EXPECT_TRUE(ShowsFrame(ReadPng(shot), picture, {3, 2, 10, 6, 0, 0, 0, 0}, (160 - wb) / 2,
                           (120 - hb) / 2));
}

TEST(Ripple, PicturesTakeTurnsWithTheirOwnColours) {
    TestPicture first = Speckled(36, 24);
    TestPicture second = Speckled(20, 30);
    for (uint32_t i = 1; i < 256; ++i) {
        second.Colours[i] = 0x00FF00 | i; // another table: greens
    }
    TempDir dir;
    const auto show =
        MakeShow(PlainHeader(12), RippleBlock(2, 300, 0, 0, 6, 0, 0, 6, 0), {first, second});
    const PlayerRun run =
        RunShow(dir, show,
                {"--size=160x120", "--duration=800", "--snapshot=150:" + (dir / "a.png").string(),
                 "--snapshot=450:" + (dir / "b.png").string(),
                 "--snapshot=750:" + (dir / "c.png").string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const Waves still{0, 0, 10, 10, 0, 0};
    EXPECT_TRUE(ShowsFrame(ReadPng(dir / "a.png"), first, still, 62, 48));
    EXPECT_TRUE(ShowsFrame(ReadPng(dir / "b.png"), second, still, 70, 45));
    EXPECT_TRUE(ShowsFrame(ReadPng(dir / "c.png"), first, still, 62, 48));
}

TEST(Ripple, RefusesABadCountBeforeReadingOn) {
    for (const int32_t count : {0, 11}) {
        TempDir dir;
        const auto show = MakeShow(PlainHeader(12), {count}, {});
        const PlayerRun run = RunShow(dir, show, {"--size=160x120", "--duration=200"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u) << count;
        EXPECT_EQ(screens[0]["text"], "The ripple transition requires 1-10 bitmaps.");
    }
}

// Goldens: the two waves under a top banner and a bottom clock (the frame centred in the
// band between them), and the preview (a fifth of the picture; amplitude 8 -> 2, wave
// length 6 -> step 14).
TEST(Ripple, CaptionsAndPreviewMatchGoldens) {
    const TestPicture picture = BandedPicture(100, 60, {0xE03020, 0x30C040, 0x3050E0, 0xF0E040});
    {
        TempDir dir;
        ShowRecord header = PlainHeader(12);
        header.BannerText = " Ripple ";
        header.BannerPlace = "TM";
        header.BannerFont = "Arial";
        header.BannerSize = 12;
        header.BannerColor = RGB(255, 255, 255);
        header.ClockFormat = "hh:nn";
        header.ClockPlace = "BL";
        header.ClockFont = "Arial";
        header.ClockSize = 12;
        header.ClockColor = RGB(255, 255, 0);
        const auto show = MakeShow(header, RippleBlock(1, 5000, 0, 8, 6, 40, 6, 8, 25), {picture});
        const fs::path shot = dir / "captions.png";
        const PlayerRun run = RunShow(
            dir, show, {"--size=200x160", "--duration=400", "--snapshot=330:" + shot.string()});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        ExpectMatchesGolden(shot, "ripple_captions.png");
    }
    {
        TempDir dir;
        const auto show =
            MakeShow(PlainHeader(12), RippleBlock(1, 5000, 0, 8, 6, 40, 8, 6, 25), {picture});
        const fs::path shot = dir / "preview.png";
        const PlayerRun run = RunShow(
            dir, show, {"--host-size=152x112", "--duration=400", "--snapshot=330:" + shot.string()},
            "", {"/p", "77"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        ExpectMatchesGolden(shot, "ripple_preview.png");
        // 100 x 60 shrinks to 20 x 12; amplitude 8 becomes 2: a frame of 24 x 16.
        const Box box = NonBlackBox(ReadPng(shot));
        EXPECT_LE(box.Right - box.Left, 24);
        EXPECT_LE(box.Bottom - box.Top, 16);
    }
}

} // namespace
} // namespace qv::test
