#include "moving_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace qv::test {
namespace {

constexpr int32_t kParallax = 15;

const std::vector<uint32_t> kColours{kRed, kGreen, kBlue};

const TestPicture& Flyer() {
    static const TestPicture p = BandedPicture(40, 24, {kRed, kGreen, kBlue});
    return p;
}

nlohmann::json ParallaxManifest(int32_t count, int32_t direction, int32_t speedOffset) {
    return Manifest(kParallax, {{"FlyerPicture", 0},
                                {"FlyerCount", count},
                                {"FlightDirection", direction},
                                {"SpeedOffset", speedOffset}});
}

PlayerRun Play(const TempDir& dir, const std::vector<uint8_t>& show,
               const std::vector<int32_t>& times, std::vector<std::string> options,
               std::vector<std::string> roleArgs = {}) {
    const auto shots = Snapshots(dir, times);
    options.insert(options.end(), shots.begin(), shots.end());
    return RunShow(dir, show, options, "", std::move(roleArgs));
}

std::map<int32_t, std::vector<Drawn>> ByCopy(const std::vector<Drawn>& drawn) {
    std::map<int32_t, std::vector<Drawn>> copies;
    for (const Drawn& d : drawn) {
        copies[d.I].push_back(d);
    }
    return copies;
}

TEST(ParallaxFlight, CopiesCrossInTheirLanesAtTheirDepthsSpeeds) {
    TempDir dir;
    // Speed 50: a frame every 76 ms.
    const auto show = BuildWithTool(dir, ParallaxManifest(20, 0, 50), {Flyer()});
    const std::vector<int32_t> times{500, 1500, 2500};
    const PlayerRun run = Play(dir, show, times, {"--size=160x120", "--duration=2600"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "1500.png", "parallax_flight.png");
    const auto drawn = DrawnPictures(run, "stamp");
    ASSERT_FALSE(drawn.empty());
    // Twenty copies, one at each depth: copy i at depth 19 - i.
    std::set<int32_t> depths;
    for (const auto& [i, stamps] : ByCopy(drawn)) {
        for (const Drawn& d : stamps) {
            EXPECT_EQ(d.Depth, 19 - i);
        }
        depths.insert(stamps[0].Depth);
    }
    EXPECT_GE(depths.size(), 15u);
    for (const int32_t t : times) {
        ExpectNothingLeftBehind(run, Shot(dir, t), t, drawn, kColours);
    }
}

TEST(ParallaxFlight, OneCopyFliesAtFullSizeTwelveAndAHalfPixelsAFrame) {
    TempDir dir;
    const auto show = BuildWithTool(dir, ParallaxManifest(1, 0, 50), {Flyer()});
    const PlayerRun run = RunShow(dir, show, {"--size=400x120", "--duration=1500"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const auto drawn = DrawnPictures(run, "stamp");
    ASSERT_GE(drawn.size(), 8u);
    // Within one crossing the copy is 12.5 pixels further each frame (rounded, halves to
    // even).
    for (size_t k = 0; k < drawn.size(); ++k) {
        EXPECT_EQ(drawn[k].Depth, 0);
        EXPECT_EQ(drawn[k].W, 40);
        if (drawn[k].X < drawn[0].X) {
            break; // the next crossing
        }
        const double expected = 12.5 * static_cast<double>(drawn[k].Frame - drawn[0].Frame);
        EXPECT_NEAR(drawn[k].X - drawn[0].X, expected, 1.0) << "stamp " << k;
        EXPECT_EQ(drawn[k].Y, drawn[0].Y);
    }
}

TEST(ParallaxFlight, SixtyFourCopiesShareTheTwentyDepths) {
    TempDir dir;
    const auto show = BuildWithTool(dir, ParallaxManifest(64, 1, 100), {Flyer()});
    const PlayerRun run = RunShow(dir, show, {"--size=320x240", "--duration=300"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    std::map<int32_t, std::set<int32_t>> copiesAtDepth;
    for (const Drawn& d : DrawnPictures(run, "stamp")) {
        EXPECT_EQ(d.Depth, (20 * (63 - d.I)) / 64);
        copiesAtDepth[d.Depth].insert(d.I);
    }
    for (const auto& [depth, copies] : copiesAtDepth) {
        EXPECT_LE(copies.size(), 4u) << "depth " << depth;
    }
    EXPECT_GE(copiesAtDepth.size(), 10u);
}

// The direction a copy's stamps move in, from consecutive frames: 0 right, 1 left, 2 down,
// 3 up; -1 when they did not move.
int32_t Movement(const Drawn& a, const Drawn& b) {
    if (b.X > a.X) {
        return 0;
    }
    if (b.X < a.X) {
        return 1;
    }
    if (b.Y > a.Y) {
        return 2;
    }
    return b.Y < a.Y ? 3 : -1;
}

TEST(ParallaxFlight, EveryDirectionAndTheRandomOneHoldsForTheRun) {
    for (const int32_t direction : {0, 1, 2, 3, 4, 0x104}) {
        SCOPED_TRACE(direction);
        TempDir dir;
        const auto show = BuildWithTool(dir, WithCaptions(ParallaxManifest(6, direction, 100)),
                                        {BandedPicture(24, 16, {kRed, kGreen, kBlue})});
        std::vector<int32_t> times;
        for (int32_t t = 20; t < 900; t += 110) {
            times.push_back(t);
        }
        // Speed 100: a frame every millisecond, many crossings.
        const PlayerRun run = Play(dir, show, times, {"--size=160x120", "--duration=900"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto chosen = Events(run.Trace, "parallax");
        ASSERT_EQ(chosen.size(), 1u);
        const int32_t flown = chosen[0]["direction"];
        if ((direction & 0xFF) != 4) {
            EXPECT_EQ(flown, direction);
        }
        ASSERT_GE(flown, 0);
        ASSERT_LE(flown, 3);
        const PictureArea area = ReportedArea(run);
        const auto drawn = DrawnPictures(run, "stamp");
        ASSERT_FALSE(drawn.empty());
        for (const auto& [i, stamps] : ByCopy(drawn)) {
            for (size_t k = 1; k < stamps.size(); ++k) {
                // Consecutive frames of one crossing (a copy that comes back in jumps
                // to the opposite edge).
                const bool crossing = std::abs(stamps[k].X - stamps[k - 1].X) <= 13 &&
                                      std::abs(stamps[k].Y - stamps[k - 1].Y) <= 13;
                if (stamps[k].Frame == stamps[k - 1].Frame + 1 && crossing) {
                    const int32_t m = Movement(stamps[k - 1], stamps[k]);
                    EXPECT_TRUE(m == flown || m == -1)
                        << "copy " << i << " frame " << stamps[k].Frame;
                }
            }
        }
        for (const Drawn& d : drawn) {
            // Inside the picture area vertically.
            EXPECT_GE(d.Y, area.Top);
            EXPECT_LE(d.Y + d.H, area.Bottom);
        }
        std::vector<Image> later;
        for (size_t k = 1; k < times.size(); ++k) {
            later.push_back(Shot(dir, times[k]));
            ExpectNothingLeftBehind(run, later.back(), times[k], drawn, kColours);
        }
        ExpectCaptionBandsClean(Shot(dir, times[0]), later, area, kColours);
    }
}

TEST(ParallaxFlight, ALaneAtTheAreasTopOrAPictureTooTallIsNeverStamped) {
    // The picture area of a 160 x 120 screen without captions is 120 rows: a picture 119
    // high has one lane, at the top (Random(1) = 0), which the strict test never stamps;
    // one taller than the area has none (its range counts as 0: the same lane).
    for (const int32_t h : {119, 150}) {
        SCOPED_TRACE(h);
        TempDir dir;
        const auto show = BuildWithTool(dir, ParallaxManifest(1, 0, 100),
                                        {BandedPicture(30, h, {kRed, kGreen, kBlue})});
        const PlayerRun run = Play(dir, show, {250}, {"--size=160x120", "--duration=300"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        EXPECT_TRUE(DrawnPictures(run, "stamp").empty());
        EXPECT_TRUE(NonBlackBox(Shot(dir, 250)).Empty());
    }
}

TEST(ParallaxFlight, PreviewFliesCopiesOfTheShrunkPicture) {
    TempDir dir;
    const auto show = BuildWithTool(dir, WithCaptions(ParallaxManifest(10, 2, 60)),
                                    {BandedPicture(100, 60, {kRed, kGreen, kBlue})});
    const PlayerRun run =
        Play(dir, show, {900}, {"--size=320x240", "--host-size=80x60", "--duration=1000"},
             {"/p", "4321"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "900.png", "parallax_preview.png");
    for (const Drawn& d : DrawnPictures(run, "stamp")) {
        EXPECT_LE(d.W, 20);
        EXPECT_LE(d.H, 12);
    }
}

TEST(ParallaxFlight, FlyerCountOutOfRangeShowsTheMessage) {
    for (const int32_t count : {0, 65}) {
        SCOPED_TRACE(count);
        TempDir dir;
        const auto show = MakeShow(PlainHeader(kParallax), {0, count, 0, 50}, {Flyer()});
        const PlayerRun run = RunShow(dir, show, {"--size=400x120", "--duration=300"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u);
        EXPECT_EQ(screens[0]["text"], "The flying bitmap transition requires 1-64 flying bitmaps.");
        EXPECT_TRUE(Events(run.Trace, "parallax").empty());
    }
}

} // namespace
} // namespace qv::test
