#include "scenario_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

const TestPicture& Tile() {
    static const TestPicture p = BandedPicture(30, 20, {0xE03020, 0x30C040, 0x3050E0, 0xF0E040});
    return p;
}

const TestPicture& OtherTile() {
    static const TestPicture p = BandedPicture(24, 24, {0x40E0E0, 0xE040C0, 0xFFFFFF});
    return p;
}

std::vector<uint8_t> MeltingShow(const TempDir& dir, int32_t pictures, int32_t showTime,
                                 int32_t desktop, int32_t jitter, int32_t blockScale) {
    std::vector<TestPicture> list{Tile()};
    if (pictures > 1) {
        list.push_back(OtherTile());
    }
    nlohmann::json numbers = nlohmann::json::array();
    for (int32_t i = 0; i < pictures; ++i) {
        numbers.push_back(i);
    }
    return BuildWithTool(dir,
                         {{"SaverTitle", "Melting"},
                          {"TransitionType", 7},
                          {"Parameters",
                           {{"PictureNumbers", numbers},
                            {"ShowTime", showTime},
                            {"DesktopStart", desktop},
                            {"Jitter", jitter},
                            {"BlockScale", blockScale}}}},
                         list);
}

// How many pixels two images of one size have in common.
int64_t Same(const Image& a, const Image& b) {
    int64_t n = 0;
    for (size_t i = 0; i < a.Pixels.size(); ++i) {
        n += a.Pixels[i] == b.Pixels[i];
    }
    return n;
}

std::string At(const TempDir& dir, int32_t ms) {
    return "--snapshot=" + std::to_string(ms) + ":" +
           (dir / (std::to_string(ms) + ".png")).string();
}

Image Shot(const TempDir& dir, int32_t ms) {
    return ReadPng(dir / (std::to_string(ms) + ".png"));
}

// Between refreshes, nothing changes where blocks cannot move (Jitter 0: each block is
// copied onto itself) or have no size (BlockScale 0); otherwise the picture melts.
TEST(MeltingScreen, WhatChangesBetweenRefreshes) {
    struct Case {
        const char* Name;
        int32_t Jitter, BlockScale;
        bool Changes;
    };
    const Case cases[] = {
        {"jitter_0", 0, 1, false},
        {"blockscale_0", 4, 0, false},
        {"melting", 3, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const auto show = MeltingShow(dir, 1, 5, 0, c.Jitter, c.BlockScale);
        const PlayerRun run =
            RunShow(dir, show, {"--size=160x120", "--duration=1600", At(dir, 100), At(dir, 1500)});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const Image early = Shot(dir, 100);
        const Image late = Shot(dir, 1500);
        EXPECT_EQ(early.Pixels == late.Pixels, !c.Changes);
        ExpectMatchesGolden(dir / "1500.png", std::string("melting_") + c.Name + ".png");
    }
}

// Every ShowTime seconds the next picture is tiled afresh over the melted screen; with one
// picture the same one comes back.
TEST(MeltingScreen, RefreshesTileTheNextPictureAfresh) {
    TempDir dir;
    const auto show = MeltingShow(dir, 2, 1, 0, 4, 1);
    const PlayerRun run = RunShow(dir, show,
                                  {"--size=160x120", "--duration=2100", At(dir, 6), At(dir, 990),
                                   At(dir, 1002), At(dir, 2002)});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const int64_t all = 160 * 120;
    // Just after a refresh at most a block or two has melted (a block may span the whole
    // screen, shifted a few pixels); just before, some two hundred.
    EXPECT_GT(Same(Shot(dir, 6), Shot(dir, 2002)), all * 6 / 10);
    EXPECT_LT(Same(Shot(dir, 6), Shot(dir, 990)), Same(Shot(dir, 6), Shot(dir, 2002)));
    // At 1 s the other picture: its colours, not the first one's.
    EXPECT_LT(Same(Shot(dir, 6), Shot(dir, 1002)), all / 4);

    TempDir one;
    const auto single = MeltingShow(one, 1, 1, 0, 4, 1);
    ASSERT_EQ(RunShow(one, single, {"--size=160x120", "--duration=1100", At(one, 6), At(one, 1002)})
                  .Result.ExitCode,
              0);
    EXPECT_GT(Same(Shot(one, 6), Shot(one, 1002)), all * 6 / 10);
}

// With DesktopStart the desktop is what melts first; the first picture comes after
// ShowTime seconds.
TEST(MeltingScreen, DesktopStartMeltsTheDesktopFirst) {
    TempDir dir;
    // The desktop image: quarters of four colours.
    TestPicture desktop = BandedPicture(160, 120, {0x808080, 0x204060, 0xC0A000});
    const fs::path desktopFile = dir / "desktop.png";
    WritePngFile(desktopFile, desktop);
    const auto show = MeltingShow(dir, 1, 1, 1, 0, 1);
    const PlayerRun run =
        RunShow(dir, show,
                {"--size=160x120", "--duration=1200", "--desktop=" + desktopFile.string(),
                 At(dir, 500), At(dir, 1100)});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const Image desk = ReadPng(desktopFile);
    EXPECT_EQ(Shot(dir, 500).Pixels, desk.Pixels); // Jitter 0: the desktop untouched
    EXPECT_LT(Same(Shot(dir, 1100), desk), 160 * 120 / 2);
    ExpectMatchesGolden(dir / "1100.png", "melting_after_desktop.png");
}

TEST(MeltingScreen, PreviewMatchesGolden) {
    TempDir dir;
    const auto show = MeltingShow(dir, 1, 5, 0, 9, 6); // preview: Jitter 1, BlockScale 1
    const fs::path shot = dir / "preview.png";
    const PlayerRun run = RunShow(
        dir, show, {"--host-size=152x112", "--duration=1100", "--snapshot=1000:" + shot.string()},
        "", {"/p", "77"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(shot, "melting_preview.png");
}

TEST(MeltingScreen, RefusesCountsBeyondThePictureSlots) {
    for (const int32_t count : {0, 21}) {
        TempDir dir;
        std::vector<int32_t> block{count};
        for (int32_t i = 0; i < count; ++i) {
            block.push_back(0);
        }
        block.insert(block.end(), {5, 0, 1, 1});
        const auto show = MakeShow(PlainHeader(7), block, {Tile()});
        const PlayerRun run = RunShow(dir, show, {"--size=160x120", "--duration=200"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u) << count;
        EXPECT_EQ(screens[0]["text"], "The melting transition requires 1-20 bitmaps.");
    }
}

} // namespace
} // namespace qv::test
