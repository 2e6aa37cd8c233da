#include "moving_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace qv::test {
namespace {

constexpr int32_t kFloating = 4;

const std::vector<uint32_t> kFirstColours{kRed, kGreen};
const std::vector<uint32_t> kSecondColours{kBlue, kYellow};
const std::vector<uint32_t> kAllColours{kRed, kGreen, kBlue, kYellow};

nlohmann::json FloatingManifest(int32_t count, int32_t switchTime, int32_t axes,
                                int32_t speedOffset) {
    nlohmann::json numbers = nlohmann::json::array();
    for (int32_t i = 0; i < count; ++i) {
        numbers.push_back(i);
    }
    return Manifest(kFloating, {{"PictureNumbers", numbers},
                                {"SwitchTime", switchTime},
                                {"MoveAxes", axes},
                                {"SpeedOffset", speedOffset}});
}

std::vector<int32_t> Every(int32_t from, int32_t step, int32_t to) {
    std::vector<int32_t> times;
    for (int32_t t = from; t < to; t += step) {
        times.push_back(t);
    }
    return times;
}

PlayerRun Play(const TempDir& dir, const std::vector<uint8_t>& show,
               const std::vector<int32_t>& times, std::vector<std::string> options) {
    const auto shots = Snapshots(dir, times);
    options.insert(options.end(), shots.begin(), shots.end());
    return RunShow(dir, show, options);
}

TEST(FloatingPicture, DriftsAloneOnBlackAndSwitchesInPlace) {
    TempDir dir;
    const TestPicture first = BandedPicture(32, 24, {kRed, kGreen});
    const TestPicture second = BandedPicture(20, 30, {kBlue, kYellow});
    const auto show = BuildWithTool(dir, FloatingManifest(2, 500, 3, 50), {first, second});
    const auto times = Every(45, 50, 1000);
    const PlayerRun run = Play(dir, show, times, {"--size=160x120", "--duration=1000"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "295.png", "floating_drift.png");
    // Speed 50: 9 pixels a frame. Only the current picture stands on the screen at any
    // time (nothing of an earlier place is left), the first one until the switch, which
    // the first frame after 500 ms sees.
    Box previous{};
    int32_t moved = 0;
    for (const int32_t t : times) {
        const Image image = Shot(dir, t);
        const Box all = NonBlackBox(image);
        const bool firstShown = t < 500;
        const TestPicture& p = firstShown ? first : second;
        const Box box = ColourBox(image, firstShown ? kFirstColours : kSecondColours);
        ASSERT_FALSE(box.Empty()) << "at " << t;
        EXPECT_TRUE(ColourBox(image, firstShown ? kSecondColours : kFirstColours).Empty())
            << "at " << t;
        EXPECT_EQ(all.Left, box.Left) << "at " << t;
        EXPECT_EQ(all.Top, box.Top) << "at " << t;
        EXPECT_EQ(all.Right, box.Right) << "at " << t;
        EXPECT_EQ(all.Bottom, box.Bottom) << "at " << t;
        // The window cuts off at most one frame's overshoot past a side.
        EXPECT_GE(box.Right - box.Left, p.Width - 9) << "at " << t;
        EXPECT_LE(box.Right - box.Left, p.Width) << "at " << t;
        EXPECT_GE(box.Bottom - box.Top, p.Height - 9) << "at " << t;
        moved += t > 50 && (box.Left != previous.Left || box.Top != previous.Top);
        previous = box;
    }
    EXPECT_GE(moved, 15);
}

TEST(FloatingPicture, NeverDrawsOverTheCaptions) {
    TempDir dir;
    // Speed 100: 17 pixels a frame, bouncing often off both caption margins.
    const TestPicture p = BandedPicture(40, 30, {kRed, kGreen});
    const auto show = BuildWithTool(dir, WithCaptions(FloatingManifest(1, 100000, 3, 100)), {p});
    const auto times = Every(30, 40, 3000);
    const PlayerRun run = Play(dir, show, times, {"--size=160x120", "--duration=3000"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const PictureArea area = ReportedArea(run);
    ExpectMatchesGolden(dir / "990.png", "floating_captions.png");
    std::vector<Image> later;
    bool touchedTop = false;
    bool touchedBottom = false;
    for (size_t i = 1; i < times.size(); ++i) {
        later.push_back(Shot(dir, times[i]));
        const Box box = ColourBox(later.back(), kFirstColours);
        ASSERT_FALSE(box.Empty()) << "at " << times[i];
        touchedTop = touchedTop || box.Top == area.Top;
        touchedBottom = touchedBottom || box.Bottom == area.Bottom;
    }
    EXPECT_TRUE(touchedTop && touchedBottom) << "the picture should reach both margins";
    ExpectCaptionBandsClean(Shot(dir, times[0]), later, area, kFirstColours);
}

// Where a picture of height h switched in for one of height h0 at y0 goes: the same
// centre, pushed inside the picture area, its top winning.
int32_t SwitchedTop(int32_t y0, int32_t h0, int32_t h, const PictureArea& area) {
    int32_t y = y0 + (h0 - h) / 2;
    if (y + h > area.Bottom) {
        y = area.Bottom - h;
    }
    if (y < area.Top) {
        y = area.Top;
    }
    return y;
}

TEST(FloatingPicture, WithoutAxesThePicturesStayCentredInsideTheMargins) {
    struct Case {
        const char* Name;
        int32_t SecondHeight; // 0: one picture, switching to itself
    };
    // A second picture a little taller than the first, one taller than the whole picture
    // area (its top at the area's top, its rows below the area not drawn).
    const Case cases[] = {{"itself", 0}, {"taller", 60}, {"taller than the area", 110}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const TestPicture first = BandedPicture(40, 20, {kRed, kGreen});
        std::vector<TestPicture> pictures{first};
        if (c.SecondHeight > 0) {
            pictures.push_back(BandedPicture(24, c.SecondHeight, {kBlue, kYellow}));
        }
        const auto show = BuildWithTool(
            dir, WithCaptions(FloatingManifest(static_cast<int32_t>(pictures.size()), 200, 0, 50)),
            pictures);
        const PlayerRun run =
            Play(dir, show, {10, 100, 300, 500, 700}, {"--size=160x120", "--duration=800"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const PictureArea area = ReportedArea(run);
        // Centred on the screen at first: (160 - 40) / 2, (120 - 20) / 2.
        const Box start = ColourBox(Shot(dir, 100), kFirstColours);
        EXPECT_EQ(start.Left, 60);
        EXPECT_EQ(start.Top, 50);
        // Switches near 200, 400, 600: the second picture (or the first again) at 300 and
        // 700, the first at 500.
        for (const int32_t t : {300, 700}) {
            const Image image = Shot(dir, t);
            if (c.SecondHeight == 0) {
                const Box box = ColourBox(image, kFirstColours);
                EXPECT_EQ(box.Left, 60) << "at " << t;
                EXPECT_EQ(box.Top, 50) << "at " << t;
                continue;
            }
            const int32_t top = SwitchedTop(50, 20, c.SecondHeight, area);
            const Box box = ColourBox(image, kSecondColours);
            EXPECT_TRUE(ColourBox(image, kFirstColours).Empty()) << "at " << t;
            EXPECT_EQ(box.Left, 60 + (40 - 24) / 2) << "at " << t;
            EXPECT_EQ(box.Top, std::max(top, area.Top)) << "at " << t;
            EXPECT_EQ(box.Bottom, std::min(top + c.SecondHeight, area.Bottom)) << "at " << t;
        }
        ExpectCaptionBandsClean(Shot(dir, 10), {Shot(dir, 300), Shot(dir, 500), Shot(dir, 700)},
                                area, kAllColours);
    }
}

TEST(FloatingPicture, VerticalAxisOnlyMovesUpAndDown) {
    TempDir dir;
    const TestPicture p = BandedPicture(30, 20, {kRed, kGreen});
    const auto show = BuildWithTool(dir, FloatingManifest(1, 100000, 2, 100), {p});
    // 17 pixels a frame; a snapshot every frame and a half catches every place.
    const auto times = Every(50, 30, 1000);
    const PlayerRun run = Play(dir, show, times, {"--size=160x120", "--duration=1000"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    std::set<int32_t> tops;
    for (const int32_t t : times) {
        const Box box = ColourBox(Shot(dir, t), kFirstColours);
        ASSERT_FALSE(box.Empty()) << "at " << t;
        EXPECT_EQ(box.Left, 65) << "at " << t;
        EXPECT_EQ(box.Right, 95) << "at " << t;
        tops.insert(box.Top);
    }
    EXPECT_GE(tops.size(), 5u);
}

TEST(FloatingPicture, TheNextRunMovesAtTheSpeedTheSettingsDialogSaved) {
    // The settings dialog's scroll bar sets the user's speed; with SpeedOffset 50 the style
    // moves the picture (speed / 3 + 2) / 2 pixels a frame.
    const struct {
        int32_t Speed;
        int32_t Step;
    } cases[] = {{20, 4}, {80, 14}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Speed);
        TempDir dir;
        const auto show = BuildWithTool(dir, FloatingManifest(1, 100000, 2, 50),
                                        {BandedPicture(30, 20, {kRed, kGreen})});
        const PlayerRun settings =
            RunShow(dir, show, {},
                    "10 scroll ssspeed " + std::to_string(c.Speed) + "\n20 click btnOK\n", {"/c"});
        ASSERT_EQ(settings.Result.ExitCode, 0) << settings.Result.Err;
        std::filesystem::remove(dir / "show.scr");
        // Frames every 20 ms; snapshots between them see each frame once.
        const auto times = Every(110, 20, 700);
        std::vector<std::string> options{"--size=160x120", "--duration=700"};
        const auto shots = Snapshots(dir, times);
        options.insert(options.end(), shots.begin(), shots.end());
        const PlayerRun run = RunShow(dir, show, options, "", {"/s"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        // A bounce at an edge shortens a step; the common step is the speed's.
        std::map<int32_t, int32_t> steps;
        int32_t previous = ColourBox(Shot(dir, times[0]), kFirstColours).Top;
        for (size_t i = 1; i < times.size(); ++i) {
            const int32_t top = ColourBox(Shot(dir, times[i]), kFirstColours).Top;
            ++steps[std::abs(top - previous)];
            previous = top;
        }
        const auto common =
            std::max_element(steps.begin(), steps.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        EXPECT_EQ(common->first, c.Step);
    }
}

TEST(FloatingPicture, SwitchTimeOfZeroOrLessSwitchesEveryFrame) {
    for (const int32_t switchTime : {0, -50}) {
        SCOPED_TRACE(switchTime);
        TempDir dir;
        const auto show = BuildWithTool(
            dir, FloatingManifest(2, switchTime, 0, 50),
            {BandedPicture(32, 24, {kRed, kGreen}), BandedPicture(20, 30, {kBlue, kYellow})});
        // Frames every 20 ms: consecutive snapshots one frame apart show the other picture.
        const auto times = Every(110, 20, 250);
        const PlayerRun run = Play(dir, show, times, {"--size=160x120", "--duration=300"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        bool previousFirst = false;
        for (size_t i = 0; i < times.size(); ++i) {
            const Image image = Shot(dir, times[i]);
            const bool first = !ColourBox(image, kFirstColours).Empty();
            EXPECT_NE(first, !ColourBox(image, kSecondColours).Empty()) << "at " << times[i];
            if (i > 0) {
                EXPECT_NE(first, previousFirst) << "at " << times[i];
            }
            previousFirst = first;
        }
    }
}

TEST(FloatingPicture, PreviewFloatsAFifthSizePicture) {
    TempDir dir;
    const auto show = BuildWithTool(dir, WithCaptions(FloatingManifest(1, 100000, 3, 50)),
                                    {BandedPicture(100, 60, {kRed, kGreen})});
    const auto shots = Snapshots(dir, {400, 800});
    std::vector<std::string> options{"--size=320x240", "--host-size=80x60", "--duration=900"};
    options.insert(options.end(), shots.begin(), shots.end());
    const PlayerRun run = RunShow(dir, show, options, "", {"/p", "4321"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(dir / "400.png", "floating_preview.png");
    const PictureArea area = ReportedArea(run);
    EXPECT_EQ(area.Top, 0);
    EXPECT_EQ(area.Bottom, 60);
    const Box a = NonBlackBox(Shot(dir, 400));
    const Box b = NonBlackBox(Shot(dir, 800));
    // 20 x 12, drifting at speed 50 / 5 = 10: 3 pixels a frame.
    EXPECT_LE(a.Right - a.Left, 20);
    EXPECT_LE(a.Bottom - a.Top, 12);
    EXPECT_TRUE(a.Left != b.Left || a.Top != b.Top);
}

TEST(FloatingPicture, PictureCountOutOfRangeShowsTheMessage) {
    for (const int32_t count : {0, 11}) {
        SCOPED_TRACE(count);
        TempDir dir;
        // The whole block is read first: the numbers, switch time, axes and speed.
        std::vector<int32_t> block{count};
        for (int32_t i = 0; i < count; ++i) {
            block.push_back(0);
        }
        block.insert(block.end(), {500, 3, 50});
        const auto show =
            MakeShow(PlainHeader(kFloating), block, {BandedPicture(20, 20, {kRed, kGreen})});
        const PlayerRun run = RunShow(dir, show, {"--size=400x120", "--duration=300"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u);
        EXPECT_EQ(screens[0]["text"], "The floating bitmap transition requires 1-10 bitmaps.");
        EXPECT_TRUE(Events(run.Trace, "picture-area").empty());
    }
}

} // namespace
} // namespace qv::test
