#include "moving_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

constexpr int32_t kFlying = 5;

const std::vector<uint32_t> kColours{kRed, kGreen, kBlue};

const TestPicture& Flyer() {
    static const TestPicture p = BandedPicture(48, 36, {kRed, kGreen, kBlue});
    return p;
}

nlohmann::json FlyingManifest(int32_t count, int32_t speedOffset) {
    return Manifest(kFlying,
                    {{"FlyerPicture", 0}, {"FlyerCount", count}, {"SpeedOffset", speedOffset}});
}

// The size of depth k's copy: five sixths of full size at depth 1, a twelfth at 19, at
// least 2 pixels.
int32_t DepthSize(int32_t full, int32_t k) {
    return k == 0 ? full : std::max(2, full * 5 / (3 * (k + 1)));
}

PlayerRun Play(const TempDir& dir, const std::vector<uint8_t>& show,
               const std::vector<int32_t>& times, std::vector<std::string> options,
               std::vector<std::string> roleArgs = {}) {
    const auto shots = Snapshots(dir, times);
    options.insert(options.end(), shots.begin(), shots.end());
    return RunShow(dir, show, options, "", std::move(roleArgs));
}

TEST(FlyingPictures, CopiesFlyOutOfTheDepthAndLeaveNothingBehind) {
    TempDir dir;
    const auto show = BuildWithTool(dir, FlyingManifest(12, 50), {Flyer()});
    const std::vector<int32_t> times{550, 1050, 1550, 2050};
    const PlayerRun run = Play(dir, show, times, {"--size=160x120", "--duration=2100"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "1550.png", "flying_copies.png");
    const auto drawn = DrawnPictures(run, "flyer");
    ASSERT_FALSE(drawn.empty());
    for (const Drawn& d : drawn) {
        EXPECT_EQ(d.W, DepthSize(48, d.Depth));
        EXPECT_EQ(d.H, DepthSize(36, d.Depth));
    }
    for (const int32_t t : times) {
        ExpectNothingLeftBehind(run, Shot(dir, t), t, drawn, kColours);
    }
}

TEST(FlyingPictures, OneCopyGrowsThroughEveryDepthAndStartsAgain) {
    // Speed 91: a frame every 201 - 182 = 19 ms. On a screen this size the copy is still on
    // it at full size.
    TempDir first;
    const auto show = BuildWithTool(first, FlyingManifest(1, 91), {Flyer()});
    const PlayerRun probe = RunShow(first, show, {"--size=640x480", "--duration=500"});
    ASSERT_EQ(probe.Result.ExitCode, 0) << probe.Result.Err;
    const auto drawn = DrawnPictures(probe, "flyer");
    // Depth 19 at the start, drawn at 18 down to 0 in the next 19 frames, then at 18 again.
    ASSERT_GE(drawn.size(), 21u);
    for (size_t k = 0; k < 21; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(drawn[k].Frame, static_cast<int64_t>(k) + 1);
        EXPECT_EQ(drawn[k].Depth,
                  k < 19 ? 18 - static_cast<int32_t>(k) : 18 - (static_cast<int32_t>(k) - 19));
        if (k > 0) {
            EXPECT_EQ(drawn[k].T - drawn[k - 1].T, 19);
        }
    }
    // Full size for one period, then wiped: during frame 19 only it is seen, during frame
    // 20 only the small new copy.
    TempDir second;
    const int32_t full = static_cast<int32_t>(drawn[18].T) + 9;
    const int32_t restarted = static_cast<int32_t>(drawn[19].T) + 9;
    const PlayerRun run =
        Play(second, show, {full, restarted}, {"--size=640x480", "--duration=500"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    for (const auto& [t, d] : {std::pair{full, drawn[18]}, std::pair{restarted, drawn[19]}}) {
        const Box box = NonBlackBox(Shot(second, t));
        const Box expected{std::max(d.X, 0), std::max(d.Y, 0), std::min(d.X + d.W, 640),
                           std::min(d.Y + d.H, 480)};
        if (expected.Empty()) {
            // Flown off the screen: nothing at all may be left.
            EXPECT_TRUE(box.Empty()) << "at " << t;
            continue;
        }
        EXPECT_EQ(box.Left, expected.Left) << "at " << t;
        EXPECT_EQ(box.Top, expected.Top) << "at " << t;
        EXPECT_EQ(box.Right, expected.Right) << "at " << t;
        EXPECT_EQ(box.Bottom, expected.Bottom) << "at " << t;
    }
}

TEST(FlyingPictures, TwoCopiesStartTenFramesApart) {
    TempDir dir;
    const auto show = BuildWithTool(dir, FlyingManifest(2, 91), {Flyer()});
    const PlayerRun run = RunShow(dir, show, {"--size=160x120", "--duration=400"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    // Depths 29 (copy 0) and 19 (copy 1): copy 1 is drawn from the first frame (at 18),
    // copy 0 from the tenth (at 19, when copy 1 is at 9), ten depths behind.
    int64_t firstFrame[2] = {-1, -1};
    int32_t firstDepth[2] = {-1, -1};
    int32_t depthAt10[2] = {-1, -1};
    for (const Drawn& d : DrawnPictures(run, "flyer")) {
        if (firstFrame[d.I] < 0) {
            firstFrame[d.I] = d.Frame;
            firstDepth[d.I] = d.Depth;
        }
        if (d.Frame == 10) {
            depthAt10[d.I] = d.Depth;
        }
    }
    EXPECT_EQ(firstFrame[1], 1);
    EXPECT_EQ(firstDepth[1], 18);
    EXPECT_EQ(firstFrame[0], 10);
    EXPECT_EQ(firstDepth[0], 19);
    EXPECT_EQ(depthAt10[1], 9);
    EXPECT_EQ(depthAt10[0], 19);
}

TEST(FlyingPictures, CopiesKeepOffTheCaptionBands) {
    TempDir dir;
    const auto show = BuildWithTool(dir, WithCaptions(FlyingManifest(24, 90)), {Flyer()});
    std::vector<int32_t> times;
    for (int32_t t = 30; t < 2500; t += 130) {
        times.push_back(t);
    }
    const PlayerRun run = Play(dir, show, times, {"--size=160x120", "--duration=2500"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const PictureArea area = ReportedArea(run);
    ExpectMatchesGolden(dir / "1330.png", "flying_captions.png");
    const auto drawn = DrawnPictures(run, "flyer");
    ASSERT_FALSE(drawn.empty());
    for (const Drawn& d : drawn) {
        EXPECT_GE(d.Y, area.Top);
        EXPECT_LE(d.Y + d.H, area.Bottom);
    }
    std::vector<Image> later;
    for (size_t i = 1; i < times.size(); ++i) {
        later.push_back(Shot(dir, times[i]));
        ExpectNothingLeftBehind(run, later.back(), times[i], drawn, kColours);
    }
    ExpectCaptionBandsClean(Shot(dir, times[0]), later, area, kColours);
}

TEST(FlyingPictures, PreviewFliesFifthSizeCopiesNearTheCentre) {
    TempDir dir;
    const auto show = BuildWithTool(dir, WithCaptions(FlyingManifest(8, 80)),
                                    {BandedPicture(100, 60, {kRed, kGreen, kBlue})});
    const PlayerRun run =
        Play(dir, show, {700}, {"--size=320x240", "--host-size=80x60", "--duration=800"},
             {"/p", "4321"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "700.png", "flying_preview.png");
    const auto drawn = DrawnPictures(run, "flyer");
    ASSERT_FALSE(drawn.empty());
    for (const Drawn& d : drawn) {
        // Made from the 20 x 12 shrunk picture.
        EXPECT_EQ(d.W, DepthSize(20, d.Depth));
        EXPECT_EQ(d.H, DepthSize(12, d.Depth));
    }
}

TEST(FlyingPictures, FlyerCountOutOfRangeShowsTheMessage) {
    for (const int32_t count : {0, 65}) {
        SCOPED_TRACE(count);
        TempDir dir;
        const auto show = MakeShow(PlainHeader(kFlying), {0, count, 50}, {Flyer()});
        const PlayerRun run = RunShow(dir, show, {"--size=400x120", "--duration=300"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u);
        EXPECT_EQ(screens[0]["text"], "The flying bitmap transition requires 1-64 flying bitmaps.");
        EXPECT_TRUE(Events(run.Trace, "flyer").empty());
    }
}

} // namespace
} // namespace qv::test
