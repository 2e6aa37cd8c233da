#include "scenario_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

const TestPicture& Landscape() {
    static const TestPicture p = BandedPicture(64, 48, {0xE03020, 0x30C040, 0x3050E0, 0xF0E040});
    return p;
}

const TestPicture& Portrait() {
    static const TestPicture p = BandedPicture(40, 56, {0x40E0E0, 0xE040C0, 0xFFFFFF});
    return p;
}

// The block of a slideshow in a mode: pictures 0.., then the mode's options, placement,
// hold and effect times.
std::vector<int32_t> SlideshowBlock(int mode, int32_t count, int32_t option, int32_t blockSize,
                                    int32_t randomPlacement, int32_t hold, int32_t effect) {
    std::vector<int32_t> block{count};
    for (int32_t i = 0; i < count; ++i) {
        block.push_back(i);
    }
    if (mode == 1 || mode == 2) {
        block.push_back(option);
    }
    if (mode == 1) {
        block.push_back(blockSize);
    }
    block.insert(block.end(), {randomPlacement, hold, effect});
    return block;
}

int32_t TransitionId(int mode) {
    return mode == 0 ? 2 : mode == 1 ? 13 : 14;
}

// The manifest of a slideshow for quorvex-show: pictures 0.. in order, the mode's options
// by name.
nlohmann::json SlideshowManifest(int mode, int32_t count, int32_t option, int32_t blockSize,
                                 int32_t randomPlacement, int32_t hold, int32_t effect) {
    nlohmann::json numbers = nlohmann::json::array();
    for (int32_t i = 0; i < count; ++i) {
        numbers.push_back(i);
    }
    nlohmann::json params{{"PictureNumbers", numbers},
                          {"RandomPlacement", randomPlacement},
                          {"HoldTime", hold},
                          {"EffectTime", effect}};
    if (mode == 1 || mode == 2) {
        params["EffectOption"] = option;
    }
    if (mode == 1) {
        params["BlockSize"] = blockSize;
    }
    return {{"SaverTitle", "Test show"},
            {"AboutText", "About|text"},
            {"TransitionType", TransitionId(mode)},
            {"Parameters", params}};
}

struct ModeCase {
    const char* Name;
    int Mode;
    int32_t Option;
};

// Every reveal: the fade, the dissolve in its three block orders and the wipe in its
// five directions (4 = one of the four at random).
const ModeCase kModes[] = {
    {"fade", 0, 0},          {"dissolve_random", 1, 0}, {"dissolve_columns", 1, 1},
    {"dissolve_rows", 1, 2}, {"wipe_right", 2, 0},      {"wipe_down", 2, 1},
    {"wipe_left", 2, 2},     {"wipe_up", 2, 3},         {"wipe_random", 2, 4},
};

class SlideshowModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(SlideshowModes, MidRevealAndFullRevealMatchGoldens) {
    const ModeCase& c = GetParam();
    TempDir dir;
    // Effect 400 ms, hold 400 ms: reveal until about 400, removal from about 800. Each
    // mode stores its picture in another of the show format's three packings.
    const char* packing = c.Mode == 0 ? "raw" : c.Mode == 1 ? "rle8" : "scheme4";
    const auto show = BuildWithTool(dir, SlideshowManifest(c.Mode, 1, c.Option, 10, 0, 400, 400),
                                    {Landscape()}, packing);
    const fs::path mid = dir / "mid.png";
    const fs::path full = dir / "full.png";
    const PlayerRun run =
        RunShow(dir, show,
                {"--size=160x120", "--duration=700", "--snapshot=200:" + mid.string(),
                 "--snapshot=600:" + full.string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(mid, std::string("slideshow_") + c.Name + "_mid.png");
    ExpectMatchesGolden(full, std::string("slideshow_") + c.Name + "_full.png");
    // Fully revealed, the picture stands centred: (160 - 64) / 2, (120 - 48) / 2.
    const Box box = NonBlackBox(ReadPng(full));
    EXPECT_EQ(box.Left, 48);
    EXPECT_EQ(box.Top, 36);
    EXPECT_EQ(box.Right, 112);
    EXPECT_EQ(box.Bottom, 84);
}

INSTANTIATE_TEST_SUITE_P(Reveals, SlideshowModes, ::testing::ValuesIn(kModes),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Slideshow, PicturesFollowInOrderAndWrap) {
    TempDir dir;
    const auto show =
        BuildWithTool(dir, SlideshowManifest(0, 2, 0, 0, 0, 200, 200), {Landscape(), Portrait()});
    // Each picture takes about 200 + 200 + 200 ms: the second is up around 850, the first
    // again around 1450.
    std::vector<std::string> options{"--size=160x120", "--duration=1500"};
    const int32_t times[] = {300, 850, 1450};
    for (int32_t t : times) {
        options.push_back("--snapshot=" + std::to_string(t) + ":" +
                          (dir / (std::to_string(t) + ".png")).string());
    }
    const PlayerRun run = RunShow(dir, show, options);
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const Box first = NonBlackBox(ReadPng(dir / "300.png"));
    const Box second = NonBlackBox(ReadPng(dir / "850.png"));
    const Box again = NonBlackBox(ReadPng(dir / "1450.png"));
    EXPECT_EQ(first.Right - first.Left, 64);
    EXPECT_EQ(second.Right - second.Left, 40);
    EXPECT_EQ(second.Bottom - second.Top, 56);
    EXPECT_EQ(again.Right - again.Left, 64);
}

TEST(Slideshow, OnePictureWithRandomPlacementMovesEachShowing) {
    TempDir dir;
    const auto show = BuildWithTool(dir, SlideshowManifest(2, 1, 0, 0, 1, 100, 100), {Landscape()});
    // Each showing takes about 300 ms; full reveal at about 150, 450, 750, 1050.
    std::vector<std::string> options{"--size=160x120", "--duration=1100"};
    const int32_t times[] = {150, 450, 750, 1050};
    for (int32_t t : times) {
        options.push_back("--snapshot=" + std::to_string(t) + ":" +
                          (dir / (std::to_string(t) + ".png")).string());
    }
    const PlayerRun run = RunShow(dir, show, options);
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    std::vector<Box> boxes;
    for (int32_t t : times) {
        boxes.push_back(NonBlackBox(ReadPng(dir / (std::to_string(t) + ".png"))));
        const Box& b = boxes.back();
        EXPECT_EQ(b.Right - b.Left, 64) << "at " << t;
        EXPECT_EQ(b.Bottom - b.Top, 48) << "at " << t;
        EXPECT_GE(b.Left, 0);
        EXPECT_LE(b.Right, 160);
        EXPECT_GE(b.Top, 0);
        EXPECT_LE(b.Bottom, 120);
    }
    int moves = 0;
    for (size_t i = 1; i < boxes.size(); ++i) {
        moves += boxes[i].Left != boxes[i - 1].Left || boxes[i].Top != boxes[i - 1].Top;
    }
    EXPECT_GE(moves, 2) << "random placement should move the picture between showings";

    // The same start time gives the same places: the generator is seeded from the clock.
    TempDir again;
    std::vector<std::string> options2{"--size=160x120", "--duration=500",
                                      "--snapshot=450:" + (again / "450.png").string()};
    ASSERT_EQ(RunShow(again, show, options2).Result.ExitCode, 0);
    const Box repeat = NonBlackBox(ReadPng(again / "450.png"));
    EXPECT_EQ(repeat.Left, boxes[1].Left);
    EXPECT_EQ(repeat.Top, boxes[1].Top);
}

// The rows of an image that hold a colour other than black and the picture's colours.
bool RowHasColour(const Image& image, int32_t y, uint32_t colour) {
    for (int32_t x = 0; x < image.Width; ++x) {
        if (image.At(x, y) == colour) {
            return true;
        }
    }
    return false;
}

TEST(Slideshow, CaptionsNarrowThePictureArea) {
    TempDir dir;
    auto withCaptions = [](nlohmann::json manifest) {
        manifest["BannerText"] = "Quorvex";
        manifest["BannerPlace"] = "TM";
        manifest["BannerFont"] = "Arial";
        manifest["BannerSize"] = 10;
        manifest["BannerColor"] = RGB(255, 255, 255);
        manifest["ClockFormat"] = "hh:nn:ss";
        manifest["ClockPlace"] = "BR";
        manifest["ClockFont"] = "Arial";
        manifest["ClockSize"] = 10;
        manifest["ClockColor"] = RGB(255, 0, 255);
        return manifest;
    };
    const TestPicture small = BandedPicture(64, 40, {0xE03020, 0x30C040});
    // Centred first, for the golden; then placed at random, where every place must keep
    // clear of both captions.
    const auto centred =
        BuildWithTool(dir, withCaptions(SlideshowManifest(0, 1, 0, 0, 0, 100, 100)), {small});
    const fs::path shot = dir / "captions.png";
    const PlayerRun run = RunShow(
        dir, centred, {"--size=160x120", "--duration=200", "--snapshot=150:" + shot.string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(shot, "slideshow_captions.png");

    TempDir randomDir;
    const auto random =
        BuildWithTool(randomDir, withCaptions(SlideshowManifest(0, 1, 0, 0, 1, 100, 100)), {small});
    std::vector<std::string> options{"--size=160x120", "--duration=1600"};
    for (int32_t t = 150; t < 1600; t += 300) {
        options.push_back("--snapshot=" + std::to_string(t) + ":" +
                          (randomDir / (std::to_string(t) + ".png")).string());
    }
    ASSERT_EQ(RunShow(randomDir, random, options).Result.ExitCode, 0);
    for (int32_t t = 150; t < 1600; t += 300) {
        const Image image = ReadPng(randomDir / (std::to_string(t) + ".png"));
        // The banner's letters are white, the clock's magenta; the picture's red and green.
        int32_t bannerBottom = 0;
        int32_t clockTop = image.Height;
        int32_t pictureTop = image.Height;
        int32_t pictureBottom = 0;
        for (int32_t y = 0; y < image.Height; ++y) {
            if (RowHasColour(image, y, 0xFFFFFF)) {
                bannerBottom = std::max(bannerBottom, y + 1);
            }
            if (RowHasColour(image, y, 0xFF00FF)) {
                clockTop = std::min(clockTop, y);
            }
            if (RowHasColour(image, y, 0xE03020) || RowHasColour(image, y, 0x30C040)) {
                pictureTop = std::min(pictureTop, y);
                pictureBottom = std::max(pictureBottom, y + 1);
            }
        }
        ASSERT_GT(bannerBottom, 0) << "no banner at " << t;
        ASSERT_LT(clockTop, image.Height) << "no clock at " << t;
        ASSERT_LT(pictureTop, pictureBottom) << "no picture at " << t;
        EXPECT_GE(pictureTop, bannerBottom + 4) << "at " << t;
        EXPECT_LE(pictureBottom, clockTop - 4) << "at " << t;
    }
}

TEST(Slideshow, PictureCountOutOfRangeShowsTheMessage) {
    for (int32_t count : {0, 11}) {
        TempDir dir;
        // Nothing after the count is read: the block holds only it. The show tool refuses
        // such a count, so this show is written field by field.
        const auto show = MakeShow(PlainHeader(2), {count}, {Landscape()});
        const fs::path shot = dir / "error.png";
        const PlayerRun run = RunShow(
            dir, show, {"--size=400x120", "--duration=300", "--snapshot=200:" + shot.string()});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u) << "count " << count;
        EXPECT_EQ(screens[0]["text"], "The slideshow transition requires 1-10 bitmaps.");
        // White letters in the middle of a black screen.
        const Image image = ReadPng(shot);
        const Box box = NonBlackBox(image);
        ASSERT_FALSE(box.Empty());
        EXPECT_NEAR((box.Left + box.Right) / 2, 200, 3);
        EXPECT_NEAR((box.Top + box.Bottom) / 2, 60, 4);
        bool white = false;
        for (uint32_t p : image.Pixels) {
            white = white || p == 0xFFFFFF;
        }
        EXPECT_TRUE(white);
        // The run ends at the click, not before.
        EXPECT_GE(EventTime(run.Trace, "spi", {{"value", 0}}), 300);
    }
}

TEST(Slideshow, EngineFailureShowsTheAboutTextAndCode) {
    TempDir dir;
    // A picture header that says 255 colours: something the show tool never writes.
    TestPicture bad = Landscape();
    bad.ColoursUsed = 255;
    const auto show = MakeShow(PlainHeader(2), SlideshowBlock(0, 1, 0, 0, 0, 100, 100), {bad});
    const PlayerRun run = RunShow(dir, show, {"--size=160x120", "--duration=300"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const auto screens = Events(run.Trace, "error-screen");
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0]["text"], "ERROR : About|text [LB]");
}

} // namespace
} // namespace qv::test
