#include "moving_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

constexpr int32_t kScattered = 10;

const TestPicture& Wide() {
    static const TestPicture p = BandedPicture(24, 16, {kRed, kGreen});
    return p;
}

const TestPicture& Tall() {
    static const TestPicture p = BandedPicture(16, 20, {kBlue, kYellow});
    return p;
}

nlohmann::json ScatteredManifest(int32_t count, int32_t switchTime, int32_t clear,
                                 int32_t speedOffset) {
    nlohmann::json numbers = nlohmann::json::array();
    for (int32_t i = 0; i < count; ++i) {
        numbers.push_back(i);
    }
    return Manifest(kScattered, {{"PictureNumbers", numbers},
                                 {"SwitchTime", switchTime},
                                 {"ClearOnSwitch", clear},
                                 {"SpeedOffset", speedOffset}});
}

struct Stamp {
    int64_t T;
    int32_t X, Y, Picture;
};

std::vector<Stamp> Stamps(const PlayerRun& run) {
    std::vector<Stamp> stamps;
    for (const auto& e : Events(run.Trace, "stamp")) {
        stamps.push_back({e["t"].get<int64_t>(), e["x"].get<int32_t>(), e["y"].get<int32_t>(),
                          e["picture"].get<int32_t>()});
    }
    return stamps;
}

TEST(ScatteredPictures, CopiesFillTheScreenAndTheNextPictureTakesOver) {
    TempDir dir;
    const auto show = BuildWithTool(dir, ScatteredManifest(2, 400, 0, 50), {Wide(), Tall()});
    auto options = Snapshots(dir, {950});
    options.insert(options.begin(), {"--size=160x120", "--duration=1000"});
    const PlayerRun run = RunShow(dir, show, options);
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "950.png", "scattered_collage.png");

    const auto stamps = Stamps(run);
    ASSERT_GE(stamps.size(), 6u);
    for (size_t i = 0; i < stamps.size(); ++i) {
        const Stamp& s = stamps[i];
        const TestPicture& p = s.Picture == 0 ? Wide() : Tall();
        EXPECT_GE(s.X, 0);
        EXPECT_LT(s.X, 160 - p.Width);
        EXPECT_GE(s.Y, 0);
        EXPECT_LT(s.Y, 120 - p.Height);
        // One copy every 153 ms at speed 50; the switch is seen only after the first stamp
        // past 400 ms (at 459), so the copy at 612 is the first of the second picture.
        EXPECT_EQ(s.Picture, s.T < 600 ? 0 : 1) << "stamp at " << s.T;
    }
    // The copies land at different places.
    EXPECT_TRUE(stamps[0].X != stamps[1].X || stamps[0].Y != stamps[1].Y);
}

TEST(ScatteredPictures, FrameDelayFollowsTheEffectiveSpeed) {
    struct Case {
        int32_t SpeedOffset; // the user's speed is 50, so this is the effective speed
        int64_t Delay;
    };
    const Case cases[] = {{1, 300}, {50, 153}, {100, 3}, {-400, 300}, {900, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.SpeedOffset);
        TempDir dir;
        const auto show =
            BuildWithTool(dir, ScatteredManifest(1, 10000, 0, c.SpeedOffset), {Wide()});
        const PlayerRun run = RunShow(dir, show, {"--size=160x120", "--duration=650"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto stamps = Stamps(run);
        ASSERT_GE(stamps.size(), 3u);
        for (size_t i = 1; i < stamps.size(); ++i) {
            EXPECT_NEAR(stamps[i].T - stamps[i - 1].T, c.Delay, 1) << "stamp " << i;
        }
    }
}

TEST(ScatteredPictures, ClearOnSwitchWipesAndDrawsTheCaptionsAgain) {
    TempDir dir;
    const auto show =
        BuildWithTool(dir, WithCaptions(ScatteredManifest(2, 300, 1, 50)), {Wide(), Tall()});
    auto options = Snapshots(dir, {100, 280, 500, 700, 1100});
    options.insert(options.begin(), {"--size=160x120", "--duration=1200"});
    const PlayerRun run = RunShow(dir, show, options);
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const PictureArea area = ReportedArea(run);
    // Stamps at 0, 153, 306 (then the switch: wipe), 459, 612 (wipe), ...: at 500 only the
    // one copy of the second picture stands.
    ExpectMatchesGolden(dir / "500.png", "scattered_clear_captions.png");
    const Image at500 = Shot(dir, 500);
    int32_t red = 0;
    int32_t blue = 0;
    for (const uint32_t p : at500.Pixels) {
        red += p == kRed;
        blue += p == kBlue;
    }
    EXPECT_EQ(red, 0) << "the first picture's copies were not wiped";
    EXPECT_GT(blue, 0);
    ExpectCaptionBandsClean(Shot(dir, 100),
                            {Shot(dir, 280), at500, Shot(dir, 700), Shot(dir, 1100)}, area,
                            {kRed, kGreen, kBlue, kYellow});
    for (const Stamp& s : Stamps(run)) {
        const TestPicture& p = s.Picture == 0 ? Wide() : Tall();
        EXPECT_GE(s.Y, area.Top);
        EXPECT_LE(s.Y + p.Height, area.Bottom);
    }
}

TEST(ScatteredPictures, PreviewStampsFifthSizeCopiesWithoutCaptions) {
    TempDir dir;
    const TestPicture big = BandedPicture(60, 40, {kRed, kGreen, kBlue});
    const auto show = BuildWithTool(dir, WithCaptions(ScatteredManifest(1, 10000, 0, 80)), {big});
    auto options = Snapshots(dir, {600});
    options.insert(options.begin(), {"--size=320x240", "--host-size=80x60", "--duration=700"});
    const PlayerRun run = RunShow(dir, show, options, "", {"/p", "4321"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "600.png", "scattered_preview.png");
    const PictureArea area = ReportedArea(run);
    EXPECT_EQ(area.Top, 0);
    EXPECT_EQ(area.Bottom, 60);
    const auto stamps = Stamps(run);
    ASSERT_GE(stamps.size(), 5u);
    for (const Stamp& s : stamps) {
        // 60 x 40 shrunk to 12 x 8.
        EXPECT_LT(s.X, 80 - 12);
        EXPECT_LT(s.Y, 60 - 8);
    }
}

TEST(ScatteredPictures, PicturesAsLargeAsTheirRoomOrLargerGoToTheStartOfTheirRange) {
    // Exactly as wide as the screen: always at x = 0. Wider and taller than the picture
    // area: at x = 0 and the area's top, cut off at the area's bottom, so that the clock's
    // band stays clean.
    TempDir exact;
    const auto exactShow = BuildWithTool(exact, ScatteredManifest(1, 10000, 0, 90),
                                         {BandedPicture(160, 30, {kRed, kGreen})});
    const PlayerRun exactRun = RunShow(exact, exactShow, {"--size=160x120", "--duration=300"});
    ASSERT_EQ(exactRun.Result.ExitCode, 0) << exactRun.Result.Err;
    const auto exactStamps = Stamps(exactRun);
    ASSERT_GE(exactStamps.size(), 5u);
    int32_t rows = 0;
    for (size_t i = 0; i < exactStamps.size(); ++i) {
        EXPECT_EQ(exactStamps[i].X, 0);
        rows += i > 0 && exactStamps[i].Y != exactStamps[0].Y;
    }
    EXPECT_GT(rows, 0) << "the rows should still vary";

    TempDir big;
    const auto bigShow = BuildWithTool(big, WithCaptions(ScatteredManifest(1, 10000, 0, 90)),
                                       {BandedPicture(200, 150, {kRed, kGreen, kBlue})});
    auto options = Snapshots(big, {20, 250});
    options.insert(options.begin(), {"--size=160x120", "--duration=300"});
    const PlayerRun bigRun = RunShow(big, bigShow, options);
    ASSERT_EQ(bigRun.Result.ExitCode, 0) << bigRun.Result.Err;
    const PictureArea area = ReportedArea(bigRun);
    const auto bigStamps = Stamps(bigRun);
    ASSERT_GE(bigStamps.size(), 5u);
    for (const Stamp& s : bigStamps) {
        EXPECT_EQ(s.X, 0);
        EXPECT_EQ(s.Y, area.Top);
    }
    const Image last = Shot(big, 250);
    ExpectCaptionBandsClean(Shot(big, 20), {last}, area, {kRed, kGreen, kBlue});
    // The picture area itself is covered edge to edge.
    const Box box = NonBlackBox(last);
    EXPECT_EQ(box.Left, 0);
    EXPECT_EQ(box.Right, 160);
}

TEST(ScatteredPictures, PictureCountOutOfRangeShowsTheMessageAndReadsNoFurther) {
    for (const int32_t count : {0, 11, -3}) {
        SCOPED_TRACE(count);
        TempDir dir;
        // Only the count is in the block: reading on would take the picture table for
        // parameters and the message would not be the count's.
        const auto show = MakeShow(PlainHeader(kScattered), {count}, {Wide()});
        const PlayerRun run = RunShow(dir, show, {"--size=400x120", "--duration=300"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u);
        EXPECT_EQ(screens[0]["text"], "The slideshow transition requires 1-10 bitmaps.");
        EXPECT_TRUE(Events(run.Trace, "stamp").empty());
    }
}

} // namespace
} // namespace qv::test
