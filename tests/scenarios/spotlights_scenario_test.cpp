#include "scenario_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// Pictures without black, so that every lit pixel is told from the dark screen.
const TestPicture& Wallpaper() {
    static const TestPicture p = BandedPicture(40, 30, {0xE03020, 0x30C040, 0x3050E0, 0xF0E040});
    return p;
}

const TestPicture& OtherWallpaper() {
    static const TestPicture p = BandedPicture(24, 20, {0x40E0E0, 0xE040C0, 0xFFFFFF});
    return p;
}

struct Options {
    int Mode = 0;
    int32_t Pictures = 1;
    int32_t Spots = 3;
    int32_t Size = 40;
    int32_t SwitchTime = 10000;
    int32_t MoveAxes = 3;
    int32_t Zoom = 2;
    int32_t Shape = 0;
    int32_t SpeedOffset = 50;
    bool Captions = false;
};

nlohmann::json Manifest(const Options& o) {
    nlohmann::json numbers = nlohmann::json::array();
    for (int32_t i = 0; i < o.Pictures; ++i) {
        numbers.push_back(i);
    }
    nlohmann::json params{{"PictureNumbers", numbers},
                          {"SpotCount", o.Spots},
                          {"SpotSize", o.Size},
                          {"SwitchTime", o.SwitchTime},
                          {"SpeedOffset", o.SpeedOffset}};
    if (o.Mode == 0) {
        params["MoveAxes"] = o.MoveAxes;
    } else {
        params["ZoomFactor"] = o.Zoom;
        params["SpotShape"] = o.Shape;
    }
    nlohmann::json m{{"SaverTitle", "Test show"},
                     {"AboutText", "About|text"},
                     {"TransitionType", o.Mode == 0 ? 8 : 16},
                     {"Parameters", params}};
    if (o.Captions) {
        m["BannerText"] = "Quorvex";
        m["BannerPlace"] = "TM";
        m["BannerFont"] = "Arial";
        m["BannerSize"] = 10;
        m["BannerColor"] = RGB(255, 255, 255);
        m["ClockFormat"] = "hh:nn:ss";
        m["ClockPlace"] = "BR";
        m["ClockFont"] = "Arial";
        m["ClockSize"] = 10;
        m["ClockColor"] = RGB(255, 0, 255);
    }
    return m;
}

std::vector<uint8_t> Build(const TempDir& dir, const Options& o) {
    std::vector<TestPicture> pictures{Wallpaper()};
    if (o.Pictures > 1) {
        pictures.push_back(OtherWallpaper());
    }
    return BuildWithTool(dir, Manifest(o), pictures);
}

fs::path Shot(const TempDir& dir, int32_t t) {
    return dir / ("at" + std::to_string(t) + ".png");
}

// Runs the show to the last time given, with a snapshot at each.
PlayerRun RunWithShots(const TempDir& dir, const std::vector<uint8_t>& show,
                       const std::vector<int32_t>& times, const std::string& size = "160x120",
                       std::vector<std::string> roleArgs = {}, const std::string& hostSize = "") {
    std::vector<std::string> options{"--size=" + size,
                                     "--duration=" + std::to_string(times.back() + 50)};
    if (!hostSize.empty()) {
        options.push_back("--host-size=" + hostSize);
    }
    for (int32_t t : times) {
        options.push_back("--snapshot=" + std::to_string(t) + ":" + Shot(dir, t).string());
    }
    return RunShow(dir, show, options, "", std::move(roleArgs));
}

uint32_t Rgb(const TestPicture& p, int32_t x, int32_t y) {
    return p.Colours[p.Indexes[static_cast<size_t>(y) * p.Width + x]];
}

// The picture tiled over a screen of w x h, one tile exactly in the middle.
uint32_t Tiled(const TestPicture& p, int32_t w, int32_t h, int32_t x, int32_t y) {
    auto floorMod = [](int32_t a, int32_t m) { return ((a % m) + m) % m; };
    return Rgb(p, floorMod(x - (w - p.Width) / 2, p.Width),
               floorMod(y - (h - p.Height) / 2, p.Height));
}

// The pixels that differ from the tiled picture (lenses), or are not black (spots).
struct Lit {
    int Count = 0;
    int Wrong = 0; // spots: lit pixels that are not the tiled picture's
    Box Bounds{1 << 30, 1 << 30, 0, 0};
};
Lit LitPixels(const Image& image, const TestPicture& p, int mode) {
    Lit lit;
    for (int32_t y = 0; y < image.Height; ++y) {
        for (int32_t x = 0; x < image.Width; ++x) {
            const uint32_t c = image.At(x, y);
            const uint32_t tiled = Tiled(p, image.Width, image.Height, x, y);
            const bool counts = mode == 0 ? c != 0 : c != tiled;
            if (!counts) {
                continue;
            }
            ++lit.Count;
            lit.Wrong += mode == 0 && c != tiled;
            lit.Bounds.Left = std::min(lit.Bounds.Left, x);
            lit.Bounds.Top = std::min(lit.Bounds.Top, y);
            lit.Bounds.Right = std::max(lit.Bounds.Right, x + 1);
            lit.Bounds.Bottom = std::max(lit.Bounds.Bottom, y + 1);
        }
    }
    return lit;
}

// Three spots on black, each showing the tiled picture beneath it and nothing else.
TEST(Spotlights, SpotsLightTheTiledPictureOnABlackScreen) {
    TempDir dir;
    const PlayerRun run = RunWithShots(dir, Build(dir, {}), {600});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    ExpectMatchesGolden(Shot(dir, 600), "spotlights_spots.png");
    const Lit lit = LitPixels(ReadPng(Shot(dir, 600)), Wallpaper(), 0);
    EXPECT_EQ(lit.Wrong, 0);
    // Three discs of 40 at most, overlapping or partly off the screen.
    EXPECT_GT(lit.Count, 600);
    EXPECT_LE(lit.Count, 3 * 1300);
}

// The lens shapes over the wallpaper: it is unchanged outside the lenses, and each lens
// enlarges what lies under its centre.
TEST(Spotlights, LensesOfEachShapeEnlargeTheWallpaper) {
    const char* names[] = {"circle", "square", "triangle"};
    for (int32_t shape = 0; shape < 3; ++shape) {
        SCOPED_TRACE(names[shape]);
        TempDir dir;
        Options o;
        o.Mode = 1;
        o.Shape = shape;
        const PlayerRun run = RunWithShots(dir, Build(dir, o), {600});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        ExpectMatchesGolden(Shot(dir, 600), std::string("lenses_") + names[shape] + ".png");
        const Lit lit = LitPixels(ReadPng(Shot(dir, 600)), Wallpaper(), 1);
        EXPECT_GT(lit.Count, 100);
        EXPECT_LE(lit.Count, 3 * 40 * 40);
    }
}

TEST(Spotlights, PreviewShowsSmallSpotsAndLensesInTheHostWindow) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        Options o;
        o.Mode = mode;
        o.Size = 100; // 20 in preview
        const PlayerRun run =
            RunWithShots(dir, Build(dir, o), {800}, "320x240", {"/p", "4321"}, "80x60");
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const Image image = ReadPng(Shot(dir, 800));
        ASSERT_EQ(image.Width, 80);
        ExpectMatchesGolden(Shot(dir, 800),
                            mode == 0 ? "spotlights_preview.png" : "lenses_preview.png");
    }
}

// The rows holding a colour.
Box RowsWith(const Image& image, uint32_t colour) {
    Box b{0, image.Height, 0, 0};
    for (int32_t y = 0; y < image.Height; ++y) {
        for (int32_t x = 0; x < image.Width; ++x) {
            if (image.At(x, y) == colour) {
                b.Top = std::min(b.Top, y);
                b.Bottom = std::max(b.Bottom, y + 1);
            }
        }
    }
    return b;
}

// Without captions the spots travel 16 pixels beyond the top and bottom, so a spot is cut
// by the edge; with captions they turn at the captions' edges, clear of the letters.
TEST(Spotlights, SpotsTurnBeyondTheEdgesOrAtTheCaptions) {
    std::vector<int32_t> times;
    for (int32_t t = 100; t <= 6000; t += 100) {
        times.push_back(t);
    }
    for (bool captions : {false, true}) {
        SCOPED_TRACE(captions ? "captions" : "none");
        TempDir dir;
        Options o;
        o.Spots = 1;
        o.MoveAxes = 2; // up and down only
        // S = 1: v = 1, two pixels a frame; the square is 52 with the disc 6 inside it, so
        // the disc passes the edge by 8 to 10 pixels before the square turns.
        o.SpeedOffset = 1;
        o.Captions = captions;
        const PlayerRun run = RunWithShots(dir, Build(dir, o), times);
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        int32_t top = 1 << 30;
        int32_t bottom = 0;
        int cut = 0;
        int32_t bannerBottom = 0;
        int32_t clockTop = 120;
        for (int32_t t : times) {
            const Image image = ReadPng(Shot(dir, t));
            const Lit lit = LitPixels(image, Wallpaper(), 0);
            Box box{};
            // The spot's own rows: those with the picture's colours (the banner is white
            // letters on black, the clock magenta).
            for (uint32_t c : {0xE03020u, 0x30C040u, 0x3050E0u, 0xF0E040u}) {
                const Box rows = RowsWith(image, c);
                if (rows.Bottom > rows.Top) {
                    box.Top = box.Right == 0 ? rows.Top : std::min(box.Top, rows.Top);
                    box.Bottom = std::max(box.Bottom, rows.Bottom);
                    box.Right = 1;
                }
            }
            ASSERT_EQ(box.Right, 1) << "no spot at " << t;
            top = std::min(top, box.Top);
            bottom = std::max(bottom, box.Bottom);
            cut += box.Bottom - box.Top < 40;
            if (captions) {
                bannerBottom = std::max(bannerBottom, RowsWith(image, 0xFFFFFF).Bottom);
                clockTop = std::min(clockTop, RowsWith(image, 0xFF00FF).Top);
            } else {
                EXPECT_EQ(lit.Wrong, 0) << "at " << t;
            }
        }
        if (captions) {
            ASSERT_GT(bannerBottom, 0);
            ASSERT_LT(clockTop, 120);
            EXPECT_GE(top, bannerBottom + 4);
            EXPECT_LE(bottom, clockTop - 4);
            EXPECT_EQ(cut, 0);
            ExpectMatchesGolden(Shot(dir, 6000), "spotlights_captions.png");
        } else {
            EXPECT_EQ(top, 0);
            EXPECT_EQ(bottom, 120);
            EXPECT_GT(cut, 0);
        }
    }
}

// Speed 50 and SpeedOffset 50 give v = 4: 8 pixels a frame, 50 ms apart. With D = 100 the
// square is 124 wide with the disc 12 in from its corner. MoveAxes 1: sideways only;
// MoveAxes 0: standing still.
TEST(Spotlights, MoveAxesAndTheStepOfEightPixels) {
    TempDir dir;
    Options o;
    o.Spots = 1;
    o.Size = 100;
    o.MoveAxes = 1;
    std::vector<int32_t> times;
    for (int32_t t = 200; t <= 4000; t += 50) {
        times.push_back(t);
    }
    const PlayerRun run = RunWithShots(dir, Build(dir, o), times, "320x240");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    std::vector<Box> boxes;
    for (int32_t t : times) {
        boxes.push_back(LitPixels(ReadPng(Shot(dir, t)), Wallpaper(), 0).Bounds);
    }
    int steps = 0;
    int32_t leftMost = 1 << 30;
    int32_t rightMost = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].Top, boxes[0].Top) << "at " << times[i];
        EXPECT_EQ(boxes[i].Bottom, boxes[0].Bottom) << "at " << times[i];
        leftMost = std::min(leftMost, boxes[i].Left);
        rightMost = std::max(rightMost, boxes[i].Right);
        if (i > 0 && boxes[i].Left > 0 && boxes[i - 1].Left > 0 && boxes[i].Right < 320 &&
            boxes[i - 1].Right < 320) {
            const int32_t dx = std::abs(boxes[i].Left - boxes[i - 1].Left);
            EXPECT_EQ(dx, 8) << "at " << times[i];
            steps += dx == 8;
            EXPECT_EQ(boxes[i].Right - boxes[i].Left, 100);
        }
    }
    EXPECT_GT(steps, 10);
    // The square's left edge turns at -16, its right at 320 + 16: the disc, 12 inside it,
    // reaches 4 pixels (less one step) past either edge and is cut there.
    EXPECT_EQ(leftMost, 0);
    EXPECT_EQ(rightMost, 320);

    TempDir still;
    o.MoveAxes = 0;
    const PlayerRun stillRun = RunWithShots(still, Build(still, o), {300, 1500});
    ASSERT_EQ(stillRun.Result.ExitCode, 0) << stillRun.Result.Err;
    EXPECT_EQ(ReadPng(Shot(still, 300)).Pixels, ReadPng(Shot(still, 1500)).Pixels);
}

// However short the switch time, one picture is never changed; two pictures take turns
// (each change leaves the screen black until the next frame).
TEST(Spotlights, OnePictureNeverChanges) {
    std::vector<int32_t> times;
    for (int32_t t = 100; t <= 800; t += 50) {
        times.push_back(t);
    }
    for (int32_t pictures : {1, 2}) {
        SCOPED_TRACE(pictures);
        TempDir dir;
        Options o;
        o.Pictures = pictures;
        o.SwitchTime = 100;
        o.MoveAxes = 0;
        const PlayerRun run = RunWithShots(dir, Build(dir, o), times);
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const Image first = ReadPng(Shot(dir, times[0]));
        int same = 0;
        int second = 0;
        for (int32_t t : times) {
            const Image image = ReadPng(Shot(dir, t));
            same += image.Pixels == first.Pixels;
            const Lit other = LitPixels(image, OtherWallpaper(), 0);
            second += other.Count > 0 && other.Wrong == 0;
        }
        if (pictures == 1) {
            EXPECT_EQ(same, static_cast<int>(times.size()));
            EXPECT_EQ(LitPixels(first, Wallpaper(), 0).Wrong, 0);
        } else {
            EXPECT_GT(second, 2);
            EXPECT_LT(same, static_cast<int>(times.size()) - 2);
        }
    }
}

// Seventeen lenses far larger than the screen cannot be placed apart: the placement drops
// lenses until one is left, and the run goes on.
TEST(Spotlights, PlacementDropsLensesUntilTheyFit) {
    TempDir dir;
    Options o;
    o.Mode = 1;
    o.Spots = 17;
    o.Size = 100;
    o.Shape = 1;
    const PlayerRun run = RunWithShots(dir, Build(dir, o), {300});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const Lit lit = LitPixels(ReadPng(Shot(dir, 300)), Wallpaper(), 1);
    // One square lens of 100: the differing pixels fit in one 100 x 100 square.
    EXPECT_GT(lit.Count, 1000);
    EXPECT_LE(lit.Bounds.Right - lit.Bounds.Left, 100);
    EXPECT_LE(lit.Bounds.Bottom - lit.Bounds.Top, 100);
}

std::vector<int32_t> NineteenPictures() {
    std::vector<int32_t> block{19};
    block.insert(block.end(), 19, 0);
    block.insert(block.end(), {1, 40, 1000, 3, 50});
    return block;
}

TEST(Spotlights, OutOfRangeValuesShowTheirMessage) {
    struct Case {
        int32_t Id;
        std::vector<int32_t> Block;
        const char* Text;
    };
    const Case cases[] = {
        {8, {0, 1, 40, 1000, 3, 50}, "The spotlight transition requires 1-18 bitmaps."},
        {8, NineteenPictures(), "The spotlight transition requires 1-18 bitmaps."},
        {8, {1, 0, 0, 40, 1000, 3, 50}, "The spotlight transition requires 1-18 spots."},
        {8, {1, 0, 19, 40, 1000, 3, 50}, "The spotlight transition requires 1-18 spots."},
        {16, {1, 0, 18, 40, 1000, 2, 0, 50}, "The lens transition requires 1-17 lenses."},
        {16,
         {1, 0, 3, 40, 1000, 0, 0, 50},
         "The lens transition requires a zoom factor of 1 or more."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        TempDir dir;
        const auto show = MakeShow(PlainHeader(c.Id), c.Block, {Wallpaper()});
        const PlayerRun run = RunShow(dir, show, {"--size=320x120", "--duration=300"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u);
        EXPECT_EQ(screens[0]["text"], c.Text);
    }
}

// Outside their shapes the spots show index 0, which is made black: a picture of 256
// colours without black gives up its least used colour (the first of them, at index 1),
// whose pixels take the nearest other colour (index 0's).
TEST(Spotlights, APictureWithoutBlackGivesUpItsLeastUsedColour) {
    TestPicture full;
    full.Width = 16;
    full.Height = 16;
    for (int32_t i = 0; i < 256; ++i) {
        full.Colours[static_cast<size_t>(i)] =
            static_cast<uint32_t>(((16 + (i & 15) * 15) << 16) | ((16 + (i >> 4) * 15) << 8) | 128);
        full.Indexes.push_back(static_cast<uint8_t>(i));
    }
    TempDir dir;
    Options o;
    o.Size = 60;
    const auto show = BuildWithTool(dir, Manifest(o), {full});
    const PlayerRun run = RunWithShots(dir, show, {600});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const Image image = ReadPng(Shot(dir, 600));
    int lit = 0;
    int wrong = 0;
    for (int32_t y = 0; y < image.Height; ++y) {
        for (int32_t x = 0; x < image.Width; ++x) {
            const uint32_t c = image.At(x, y);
            if (c == 0) {
                continue;
            }
            ++lit;
            const uint32_t want = Tiled(full, image.Width, image.Height, x, y);
            wrong += c != want && !(want == full.Colours[1] && c == full.Colours[0]);
        }
    }
    EXPECT_GT(lit, 1000);
    EXPECT_EQ(wrong, 0);
}

// A square too large for a picture is refused as the engine refuses such a picture.
TEST(Spotlights, SpotTooLargeForAPictureIsTheEnginesRefusal) {
    TempDir dir;
    const auto show = MakeShow(PlainHeader(8), {1, 0, 1, 100000, 1000, 3, 50}, {Wallpaper()});
    const PlayerRun run = RunShow(dir, show, {"--size=160x120", "--duration=300"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const auto screens = Events(run.Trace, "error-screen");
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0]["text"], "ERROR : About|text [BB]");
}

// Squares wider than the screen draw their places from the whole unsigned range: far away,
// and they stay away, bouncing back a step at a time. The run goes on as long as asked.
TEST(Spotlights, SquaresWiderThanTheScreenStillRun) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        Options o;
        o.Mode = mode;
        o.Size = 300;
        const PlayerRun run = RunWithShots(dir, Build(dir, o), {400});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        EXPECT_TRUE(Events(run.Trace, "error-screen").empty());
        EXPECT_GE(EventTime(run.Trace, "exit"), 400);
    }
}

} // namespace
} // namespace qv::test
