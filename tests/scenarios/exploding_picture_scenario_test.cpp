#include "styles3d_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kExplode = 3;

const TestPicture& Picture() {
    static const TestPicture p = CellPicture(64, 48, 6, 7);
    return p;
}
const TestPicture& Backdrop() {
    static const TestPicture p = BandedPicture(24, 20, {0x584828, 0x385868});
    return p;
}

struct ExplodeParams {
    int32_t BackgroundMode = 0;
    int32_t BackgroundPicture = 1;
    int32_t Columns = 4;
    int32_t Rows = 3;
    int32_t Tumble = 1;
    int32_t CameraSpin = 1;
    int32_t TileOrder = 0;
    // Speed 50 + 95 - 50: S = 95, a step every 11 ms, the picture held 110 ms, each half of
    // the flight about a second.
    int32_t SpeedOffset = 95;
};

nlohmann::json ExplodeManifest(const ExplodeParams& c) {
    nlohmann::json p{{"BackgroundMode", c.BackgroundMode},
                     {"TilePicture", 0},
                     {"Columns", c.Columns},
                     {"Rows", c.Rows},
                     {"Tumble", c.Tumble},
                     {"CameraSpin", c.CameraSpin},
                     {"TileOrder", c.TileOrder},
                     {"SpeedOffset", c.SpeedOffset}};
    if (c.BackgroundMode >= 10) {
        p["BackgroundPicture"] = c.BackgroundPicture;
    }
    return StyleManifest(kExplode, p);
}

std::vector<TestPicture> Pictures() {
    return {Picture(), Backdrop()};
}

// Runs a show and returns its snapshots.
Shots Play(const TempDir& dir, const nlohmann::json& manifest, const std::vector<int32_t>& times,
           std::vector<std::string> options = {}) {
    const auto show = BuildWithTool(dir, manifest, Pictures());
    Shots shots{dir.Path(), "shot", times};
    options.push_back("--duration=" + std::to_string(times.back() + 50));
    if (std::find_if(options.begin(), options.end(), [](const std::string& o) {
            return o.rfind("--size", 0) == 0;
        }) == options.end()) {
        options.push_back("--size=160x120");
    }
    const PlayerRun run = RunShow(dir, show, Join(options, shots.Options()));
    EXPECT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    return shots;
}

struct ModeCase {
    const char* Name;
    int32_t Mode;
};

class ExplodeBackgrounds : public ::testing::TestWithParam<ModeCase> {};

// The picture whole, then in flight over each background; after a whole cycle (held,
// out and home again) the screen is the same pixel for pixel.
TEST_P(ExplodeBackgrounds, MidFlightGoldenAndWholeAgainAfterACycle) {
    const ModeCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> options;
    if (c.Mode == 1) {
        // The desktop: the backdrop scaled over the screen.
        BuildWithTool(dir, ExplodeManifest({}), Pictures());
        fs::copy_file(ManifestPicture(dir, 1), dir / "desktop.png");
        options.push_back("--desktop=" + (dir / "desktop.png").string());
    }
    // Held from the start to about 110 ms; out until about 1100, home until about 2100,
    // held again until about 2200.
    const Shots shots =
        Play(dir, ExplodeManifest({.BackgroundMode = c.Mode}), {60, 700, 2160}, options);
    ExpectMatchesGolden(shots.At(700), std::string("explode_") + c.Name + ".png");
    EXPECT_GT(DifferentPixels(shots.Read(60), shots.Read(700)), 0) << "the tiles flew";
    EXPECT_EQ(DifferentPixels(shots.Read(60), shots.Read(2160)), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, ExplodeBackgrounds,
                         ::testing::Values(ModeCase{"black", 0}, ModeCase{"desktop", 1},
                                           ModeCase{"tiled", 10}, ModeCase{"centred", 11}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Explode, WholePictureMatchesGolden) {
    TempDir dir;
    const Shots shots = Play(dir, ExplodeManifest({}), {60});
    ExpectMatchesGolden(shots.At(60), "explode_whole.png");
}

// Out-of-range tile counts act as the nearest in range: 1 as 2, 20 as 8. The same start
// time draws the same motions, so the screens are equal.
TEST(Explode, ColumnCountsAreClamped) {
    for (const auto& [given, acting] : {std::pair{1, 2}, std::pair{20, 8}}) {
        SCOPED_TRACE(given);
        TempDir a;
        TempDir b;
        const Shots clamped = Play(a, ExplodeManifest({.Columns = given}), {60, 500});
        const Shots plain = Play(b, ExplodeManifest({.Columns = acting}), {60, 500});
        for (int32_t t : clamped.Times) {
            EXPECT_EQ(DifferentPixels(clamped.Read(t), plain.Read(t)), 0) << t;
        }
    }
}

// 2 x 2 tiles without tumbling or camera spin: in the first step only tile 0 moves, from
// the second all four; the tiles keep facing the viewer while the view backs away.
TEST(Explode, TwoByTwoWithoutTumbleOrSpin) {
    TempDir dir;
    // S = 95: the picture is held until about 110 ms, the steps follow every 11 ms.
    const Shots shots =
        Play(dir, ExplodeManifest({.Columns = 2, .Rows = 2, .Tumble = 0, .CameraSpin = 0}),
             Times(100, 160, 2));
    ExpectMatchesGolden(shots.At(160), "explode_2x2_flight.png");
    // The first change after the hold is the first step; the next the second.
    const std::vector<int32_t> changes = ChangeIndexes(shots);
    ASSERT_GE(changes.size(), 2u);
    ExpectMatchesGolden(shots.At(shots.Times[changes[0]]), "explode_2x2_step1.png");
    ExpectMatchesGolden(shots.At(shots.Times[changes[1]]), "explode_2x2_step2.png");
}

// A step every P = 201 - 2 S milliseconds: at S = 95 (P = 11) the screen changes every
// 11 ms while the tiles fly. At S = 50 (P = 101) with a clock step of 150 ms per message
// round every step is late and none is drawn: the picture stays whole.
TEST(Explode, StepsComeEveryPeriodAndLateStepsAreNotDrawn) {
    {
        TempDir dir;
        const Shots shots = Play(dir, ExplodeManifest({}), Times(300, 410, 1));
        const std::vector<int32_t> changes = ChangeIndexes(shots);
        ASSERT_GE(changes.size(), 9u);
        for (size_t i = 1; i < changes.size(); ++i) {
            EXPECT_EQ(changes[i] - changes[i - 1], 11);
        }
    }
    {
        TempDir dir;
        const Shots shots =
            Play(dir, ExplodeManifest({.SpeedOffset = 50}), {1200, 1800, 3000}, {"--quantum=150"});
        EXPECT_EQ(DifferentPixels(shots.Read(1200), shots.Read(1800)), 0);
        EXPECT_EQ(DifferentPixels(shots.Read(1200), shots.Read(3000)), 0);
    }
}

TEST(Explode, PreviewAndCaptions) {
    {
        TempDir dir;
        const auto show = BuildWithTool(dir, ExplodeManifest({}), Pictures());
        Shots shots{dir.Path(), "preview", {60, 700}};
        const PlayerRun run = RunShow(
            dir, show,
            Join({"--size=320x240", "--host-size=80x60", "--duration=750"}, shots.Options()), "",
            {"/p", "4321"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        ExpectMatchesGolden(shots.At(60), "explode_preview_whole.png");
        ExpectMatchesGolden(shots.At(700), "explode_preview_flight.png");
    }
    {
        // The viewport stays clear of the caption bands.
        TempDir dir;
        const Shots shots = Play(dir, WithCaptions(ExplodeManifest({})), {60, 700});
        ExpectMatchesGolden(shots.At(700), "explode_captions.png");
    }
}

// Tile orders and background modes without a meaning play as order 0 and black.
TEST(Explode, UnknownTileOrderAndModeActAsZero) {
    TempDir a;
    TempDir b;
    const Shots odd = Play(a, ExplodeManifest({.BackgroundMode = 7, .TileOrder = 9}), {60, 500});
    const Shots plain = Play(b, ExplodeManifest({}), {60, 500});
    for (int32_t t : odd.Times) {
        EXPECT_EQ(DifferentPixels(odd.Read(t), plain.Read(t)), 0) << t;
    }
}

// Picture numbers outside the table, absurd counts, orders and offsets, a one-pixel picture.
TEST(Explode, HostileBlocksEndCleanly) {
    const int32_t kMax = 2147483647;
    const int32_t kMin = -kMax - 1;
    ExpectHostileBlocksEndCleanly(kExplode,
                                  {
                                      {0, 70, 2, 2, 0, 0, 0, 50},
                                      {0, 1, kMin, kMax, -1, -1, 99999, kMin},
                                      {10, -1, 0, 8, 8, 1, 1, 4, kMax},
                                      {11, 0, 0, 8, 8, 1, 1, 4, 100},
                                  },
                                  {BandedPicture(1, 1, {0xF8F8F8}), Picture()});
}

} // namespace
} // namespace qv::test
