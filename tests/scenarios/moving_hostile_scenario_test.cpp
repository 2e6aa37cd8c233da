#include "moving_support.h"

#include <chrono>
#include <gtest/gtest.h>
#include <limits>

namespace qv::test {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

struct HostileCase {
    const char* Name;
    int32_t Style;
    std::vector<int32_t> Block;
    int32_t PictureW = 24;
    int32_t PictureH = 16;
};

// Blocks no authoring tool writes: absurd times, speeds, axes and directions, missing
// pictures, cut-off blocks, and pictures far larger than the screen. Every run must end
// cleanly at the stop, without hanging.
const HostileCase kCases[] = {
    {"floating_extremes", 4, {1, 0, kMin, kMax, kMin}},
    {"floating_huge_times", 4, {2, 0, 0, kMax, -1, kMax}},
    {"floating_missing_picture", 4, {2, 0, 63, 500, 3, 50}},
    {"floating_cut_off", 4, {1}},
    {"floating_larger_than_screen", 4, {1, 0, 0, 3, 100}, 400, 300},
    {"flying_missing_picture", 5, {40, 64, 50}},
    {"flying_negative_picture", 5, {-7, 64, 50}},
    {"flying_extreme_speed", 5, {0, 64, kMax}, 400, 300},
    {"flying_cut_off", 5, {0}},
    {"parallax_odd_direction", 15, {0, 64, 0x7FFFFF77, kMin}},
    {"parallax_random_in_high_bits", 15, {0, 64, static_cast<int32_t>(0xFFFFFF04), kMax}},
    {"parallax_larger_than_screen", 15, {0, 64, 2, 100}, 400, 300},
    {"parallax_missing_picture", 15, {63, 10, 0, 50}},
    {"scattered_every_frame", 10, {1, 0, kMin, 1, kMax}},
    {"scattered_missing_pictures", 10, {3, 0, 62, 63, 100, 0, 50}},
    {"scattered_cut_off", 10, {2, 0}},
    {"scattered_larger_than_screen", 10, {1, 0, 100, 1, 100}, 400, 300},
};

class MovingHostileBlocks : public ::testing::TestWithParam<HostileCase> {};

TEST_P(MovingHostileBlocks, EndCleanlyAtTheStop) {
    const HostileCase& c = GetParam();
    TempDir dir;
    ShowRecord header = PlainHeader(c.Style);
    header.BannerText = "Banner";
    header.BannerPlace = "BM";
    header.BannerSize = 10;
    header.BannerColor = RGB(255, 255, 255);
    const auto show =
        MakeShow(header, c.Block, {BandedPicture(c.PictureW, c.PictureH, {kRed, kGreen, kBlue})});
    const auto start = std::chrono::steady_clock::now();
    const PlayerRun run = RunShow(dir, show, {"--size=160x120", "--duration=400"});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_LT(took, std::chrono::seconds(20));
    // The run reached its end: the saver said it stopped.
    EXPECT_GE(EventTime(run.Trace, "spi", {{"value", 0}}), 400);
}

INSTANTIATE_TEST_SUITE_P(Blocks, MovingHostileBlocks, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace qv::test
