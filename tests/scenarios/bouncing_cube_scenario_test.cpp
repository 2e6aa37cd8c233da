#include "styles3d_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kCube = 1;

// Six faces told apart by their colours; a background picture of two colours.
const std::vector<TestPicture>& Faces() {
    static const std::vector<TestPicture> faces{
        BandedPicture(32, 32, {0xE83828, 0xF8F8F8}), BandedPicture(32, 32, {0x38C848, 0xF8F8F8}),
        BandedPicture(32, 32, {0x3858E8, 0xF8F8F8}), BandedPicture(32, 32, {0xF8E848, 0x282828}),
        BandedPicture(32, 32, {0xE848C8, 0x282828}), BandedPicture(32, 32, {0x48E8E8, 0x282828}),
    };
    return faces;
}
const TestPicture& Backdrop() {
    static const TestPicture p = BandedPicture(24, 20, {0x584828, 0x385868});
    return p;
}

struct CubeParams {
    int32_t BackgroundMode = 0;
    int32_t BackgroundPicture = 6;
    int32_t Pictures = 6;
    int32_t Size = 12;
    int32_t RotationAxes = 7;
    int32_t MoveAxes = 3;
    int32_t SpeedOffset = 50;
};

nlohmann::json CubeManifest(const CubeParams& c) {
    nlohmann::json numbers = nlohmann::json::array();
    for (int32_t i = 0; i < c.Pictures; ++i) {
        numbers.push_back(i);
    }
    nlohmann::json p{{"BackgroundMode", c.BackgroundMode},
                     {"PictureNumbers", numbers},
                     {"SizeX", c.Size},
                     {"SizeY", c.Size * 5 / 6},
                     {"SizeZ", c.Size * 2 / 3},
                     {"RotationAxes", c.RotationAxes},
                     {"MoveAxes", c.MoveAxes},
                     {"SpeedOffset", c.SpeedOffset}};
    if (c.BackgroundMode >= 10) {
        p["BackgroundPicture"] = c.BackgroundPicture;
    }
    return StyleManifest(kCube, p);
}

std::vector<TestPicture> CubePictures() {
    std::vector<TestPicture> all = Faces();
    all.push_back(Backdrop());
    return all;
}

// The middle of the box's coloured pixels (twice, to stay whole): the box is symmetric
// about its centre across the screen whatever it turns on angle A.
int32_t CentreX2(const Image& image) {
    const Box b = NonBlackBox(image);
    return b.Left + b.Right;
}

struct ModeCase {
    const char* Name;
    int32_t Mode;
};

class CubeBackgrounds : public ::testing::TestWithParam<ModeCase> {};

// The box over each background: the screen outside the box keeps the background, which the
// viewport composes around the box.
TEST_P(CubeBackgrounds, MatchGolden) {
    const ModeCase& c = GetParam();
    TempDir dir;
    const auto show = BuildWithTool(dir, CubeManifest({.BackgroundMode = c.Mode}), CubePictures());
    Shots shots{dir.Path(), "cube", {400}};
    std::vector<std::string> options{"--size=160x120", "--duration=450"};
    if (c.Mode == 1) {
        options.push_back("--desktop=" + ManifestPicture(dir, 6).string());
    }
    const PlayerRun run = RunShow(dir, show, Join(options, shots.Options()));
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(shots.At(400), std::string("cube_") + c.Name + ".png");
}

INSTANTIATE_TEST_SUITE_P(Modes, CubeBackgrounds,
                         ::testing::Values(ModeCase{"black", 0}, ModeCase{"desktop", 1},
                                           ModeCase{"tiled", 10}, ModeCase{"centred", 11}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A picture mode without its picture, and a mode without a meaning, play as black.
TEST(Cube, PictureModesWithoutPictureAndUnknownModesAreBlack) {
    TempDir blackDir;
    const auto black = BuildWithTool(blackDir, CubeManifest({}), CubePictures());
    Shots reference{blackDir.Path(), "black", {300}};
    ASSERT_EQ(
        RunShow(blackDir, black, Join({"--size=160x120", "--duration=350"}, reference.Options()))
            .Result.ExitCode,
        0);
    for (int32_t mode : {10, 11, 12, 5}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        const auto show = BuildWithTool(
            dir, CubeManifest({.BackgroundMode = mode, .BackgroundPicture = -1}), CubePictures());
        Shots shots{dir.Path(), "shot", {300}};
        const PlayerRun run =
            RunShow(dir, show, Join({"--size=160x120", "--duration=350"}, shots.Options()));
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        EXPECT_EQ(DifferentPixels(shots.Read(300), reference.Read(300)), 0);
    }
}

TEST(Cube, PreviewPlaysSmallInTheHostWindow) {
    TempDir dir;
    const auto show = BuildWithTool(dir, CubeManifest({.Size = 40}), CubePictures());
    Shots shots{dir.Path(), "preview", {400}};
    const PlayerRun run = RunShow(
        dir, show, Join({"--size=320x240", "--host-size=80x60", "--duration=450"}, shots.Options()),
        "", {"/p", "4321"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(shots.At(400), "cube_preview.png");
}

// In preview a saved speed of 1 with offset 50 gives S = 1, S div 5 = 0 and a step of
// 2 pixels per frame; with only the horizontal axis the box moves exactly that far.
TEST(Cube, PreviewAtSpeedOneStepsTwoPixels) {
    TempDir dir;
    WriteSpeed(dir, 1);
    const auto show = BuildWithTool(
        dir, CubeManifest({.Size = 40, .RotationAxes = 1, .MoveAxes = 1}), CubePictures());
    // Frames every 20 ms; the box starts centred and needs a while to reach a side.
    Shots shots{dir.Path(), "step", {210, 410}};
    const PlayerRun run = RunShow(
        dir, show, Join({"--size=320x240", "--host-size=80x60", "--duration=450"}, shots.Options()),
        "", {"/p", "4321"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    // Ten frames of 2 pixels: 20 pixels, twice that for the doubled centre.
    EXPECT_NEAR(std::abs(CentreX2(shots.Read(410)) - CentreX2(shots.Read(210))), 40, 2);
}

// The box bounces off the caption bands: over a few seconds it comes near both bands but
// never covers them.
TEST(Cube, BouncesOffTheCaptionBands) {
    TempDir dir;
    const auto show = BuildWithTool(dir, WithCaptions(CubeManifest({})), CubePictures());
    Shots shots{dir.Path(), "captions", Times(100, 3000, 50)};
    const PlayerRun run =
        RunShow(dir, show, Join({"--size=160x120", "--duration=3050"}, shots.Options()));
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(shots.At(400), "cube_captions.png");
    // The banner's letters are white, the clock's magenta; the faces use neither.
    const Image first = shots.Read(100);
    int32_t bannerBottom = 0;
    int32_t clockTop = first.Height;
    for (int32_t y = 0; y < first.Height; ++y) {
        for (int32_t x = 0; x < first.Width; ++x) {
            if (first.At(x, y) == 0xFFFFFF) {
                bannerBottom = std::max(bannerBottom, y + 1);
            }
            if (first.At(x, y) == 0xFF00FF) {
                clockTop = std::min(clockTop, y);
            }
        }
    }
    ASSERT_GT(bannerBottom, 0);
    ASSERT_LT(clockTop, first.Height);
    int32_t highest = first.Height;
    int32_t lowest = 0;
    for (int32_t t : shots.Times) {
        const Image image = shots.Read(t);
        // The box: coloured pixels between the bands.
        for (int32_t y = 0; y < image.Height; ++y) {
            for (int32_t x = 0; x < image.Width; ++x) {
                const uint32_t p = image.At(x, y);
                if (p != 0 && p != 0xFFFFFF && p != 0xFF00FF && y >= bannerBottom && y < clockTop) {
                    highest = std::min(highest, y);
                    lowest = std::max(lowest, y + 1);
                }
            }
        }
        // Nothing of the box on the banner's rows or the clock's.
        for (int32_t y = 0; y < image.Height; ++y) {
            if (y >= bannerBottom && y < clockTop) {
                continue;
            }
            for (int32_t x = 0; x < image.Width; ++x) {
                const uint32_t p = image.At(x, y);
                const uint32_t q = first.At(x, y);
                // The clock's seconds change; the banner does not.
                if (y < bannerBottom) {
                    EXPECT_EQ(p, q)
                        << "banner band touched at " << t << " (" << x << "," << y << ")";
                }
            }
        }
    }
    // It came within its viewport's margin of both bands.
    EXPECT_LT(highest, bannerBottom + 30);
    EXPECT_GT(lowest, clockTop - 30);
}

// No rotation axis: the box spins on angle A alone at trunc(step / 2) = 4 degrees a frame
// (S = 50, step 8); with no move axis it stays in the middle. After 90 frames (1.8 s) it is
// where it was, after 45 it is not.
TEST(Cube, NoAxesSpinsOnAngleAInTheCentre) {
    TempDir dir;
    const auto show =
        BuildWithTool(dir, CubeManifest({.RotationAxes = 0, .MoveAxes = 0}), CubePictures());
    Shots shots{dir.Path(), "spin", {310, 1210, 2110}};
    const PlayerRun run =
        RunShow(dir, show, Join({"--size=160x120", "--duration=2150"}, shots.Options()));
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_EQ(DifferentPixels(shots.Read(310), shots.Read(2110)), 0);
    EXPECT_GT(DifferentPixels(shots.Read(310), shots.Read(1210)), 0);
    for (int32_t t : shots.Times) {
        EXPECT_NEAR(CentreX2(shots.Read(t)), 160, 2) << t;
    }
}

// Horizontal drift only: the box's height on the screen never changes, bounces included
// (the vertical jitter of a bounce is cleared again).
TEST(Cube, HorizontalDriftKeepsItsHeight) {
    TempDir dir;
    // Turning on angle B alone (in the screen's plane) the box is symmetric about its centre.
    const auto show =
        BuildWithTool(dir, CubeManifest({.RotationAxes = 2, .MoveAxes = 1}), CubePictures());
    Shots shots{dir.Path(), "drift", Times(100, 2000, 100)};
    const PlayerRun run =
        RunShow(dir, show, Join({"--size=160x120", "--duration=2050"}, shots.Options()));
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    int32_t left = 160;
    int32_t right = 0;
    for (int32_t t : shots.Times) {
        const Box b = NonBlackBox(shots.Read(t));
        EXPECT_NEAR(b.Top + b.Bottom, 120, 2) << t;
        left = std::min(left, b.Left);
        right = std::max(right, b.Right);
    }
    // It went from side to side.
    EXPECT_LT(left, 20);
    EXPECT_GT(right, 140);
}

// 50 frames a second: on time every 20 ms a new frame; when every frame is late (a clock
// step of 30 ms per message round), every second frame is drawn.
TEST(Cube, FiftyFramesASecondAndEverySecondWhenLate) {
    TempDir dir;
    const auto show = BuildWithTool(dir, CubeManifest({}), CubePictures());
    {
        Shots shots{dir.Path(), "fast", Times(300, 500, 5)};
        ASSERT_EQ(RunShow(dir, show, Join({"--size=160x120", "--duration=520"}, shots.Options()))
                      .Result.ExitCode,
                  0);
        const std::vector<int32_t> changes = ChangeIndexes(shots);
        ASSERT_GE(changes.size(), 9u);
        for (size_t i = 1; i < changes.size(); ++i) {
            EXPECT_EQ(changes[i] - changes[i - 1], 4) << "frames 20 ms apart";
        }
    }
    {
        Shots shots{dir.Path(), "late", Times(300, 900, 30)};
        ASSERT_EQ(
            RunShow(dir, show,
                    Join({"--size=160x120", "--duration=950", "--quantum=30"}, shots.Options()))
                .Result.ExitCode,
            0);
        const std::vector<int32_t> changes = ChangeIndexes(shots);
        ASSERT_GE(changes.size(), 8u);
        for (size_t i = 1; i < changes.size(); ++i) {
            EXPECT_EQ(changes[i] - changes[i - 1], 2) << "every second frame";
        }
    }
}

TEST(Cube, PictureCountOutOfRangeShowsTheMessage) {
    for (int32_t count : {0, 7}) {
        SCOPED_TRACE(count);
        TempDir dir;
        // The whole block is read: mode, count, the numbers, sizes, axes, offset.
        std::vector<int32_t> block{0, count};
        for (int32_t i = 0; i < count; ++i) {
            block.push_back(0);
        }
        block.insert(block.end(), {12, 10, 8, 7, 3, 50});
        const auto show = MakeShow(PlainHeader(kCube), block, {Faces()[0]});
        const PlayerRun run = RunShow(dir, show, {"--size=320x120", "--duration=300"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u);
        EXPECT_EQ(screens[0]["text"], "The cube transition requres 1-6 bitmaps");
    }
}

// Absurd sizes, axes and offsets, a picture number outside the table, a flat box.
TEST(Cube, HostileBlocksEndCleanly) {
    const int32_t kMax = 2147483647;
    const int32_t kMin = -kMax - 1;
    ExpectHostileBlocksEndCleanly(kCube,
                                  {
                                      {0, 6, 0, 0, 0, 0, 0, 0, 500000, -500000, kMax, -1, -1, kMax},
                                      {1, 1, 99, 10, 10, 10, 0, 0, kMin},
                                      {11, -5, 1, 0, 0, 0, 0, 255, 3, 50},
                                      {10, 63, 2, 0, 0, -40, 30, kMin, kMin, kMin, kMax},
                                      {kMin, 1, 0, 1, 1, 1, 7, 3, 50},
                                  },
                                  {Faces()[0]});
}

} // namespace
} // namespace qv::test
