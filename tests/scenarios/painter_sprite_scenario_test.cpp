#include "platform/headless/image_files.h"
#include "scenario_support.h"

#include <cmath>
#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// Dark enough to pass through RGB555 unchanged: the sprite flies over a 16-bit capture of
// the screen.
constexpr uint32_t kDesktop = 0x081018;

const TestPicture& FirstBackground() {
    static const TestPicture p = BandedPicture(40, 30, {0xE03020, 0x30C040, 0x3050E0, 0xF0E040});
    return p;
}

const TestPicture& SecondBackground() {
    static const TestPicture p = BandedPicture(24, 20, {0x60A0E0, 0xA040C0, 0xD0D0A0});
    return p;
}

// 24 x 16: three bands inside a one-pixel frame of its own colour, the key colour.
const TestPicture& Sprite() {
    static const TestPicture p = [] {
        TestPicture s = BandedPicture(24, 16, {0xF06090, 0x90F060, 0xA0A0F0});
        s.Colours[4] = 0x602010;
        for (int32_t y = 0; y < s.Height; ++y) {
            for (int32_t x = 0; x < s.Width; ++x) {
                if (x == 0 || y == 0 || x == s.Width - 1 || y == s.Height - 1) {
                    s.Indexes[static_cast<size_t>(y) * s.Width + x] = 4;
                }
            }
        }
        return s;
    }();
    return p;
}

struct Options {
    int32_t FreeFlight = 1000;
    int32_t Backgrounds = 2;
    int32_t Keyed = 0;
    int32_t SpeedOffset = 50;
};

std::vector<uint8_t> Build(const TempDir& dir, const Options& o) {
    nlohmann::json backgrounds = nlohmann::json::array();
    for (int32_t i = 0; i < o.Backgrounds; ++i) {
        backgrounds.push_back(1 + i);
    }
    nlohmann::json params{{"FreeFlightTime", o.FreeFlight}, {"BackgroundNumbers", backgrounds},
                          {"SpriteFrameNumbers", {0}},      {"SpriteFrameTime", 100},
                          {"SpriteKeyed", o.Keyed},         {"SpeedOffset", o.SpeedOffset}};
    nlohmann::json m{{"SaverTitle", "Test show"},
                     {"AboutText", "About|text"},
                     {"TransitionType", 9},
                     {"Parameters", params}};
    return BuildWithTool(dir, m, {Sprite(), FirstBackground(), SecondBackground()});
}

fs::path Shot(const TempDir& dir, int32_t t) {
    return dir / ("at" + std::to_string(t) + ".png");
}

// A uniform desktop image.
std::string Desktop(const TempDir& dir) {
    const fs::path file = dir / "desktop.png";
    const uint32_t pixels[4] = {kDesktop, kDesktop, kDesktop, kDesktop};
    std::string error;
    EXPECT_TRUE(WritePng(file.string(), {pixels, 2, 2, 2}, &error)) << error;
    return file.string();
}

PlayerRun RunWithShots(const TempDir& dir, const std::vector<uint8_t>& show,
                       const std::vector<int32_t>& times, const std::string& size,
                       std::vector<std::string> roleArgs = {}, const std::string& hostSize = "") {
    std::vector<std::string> options{"--size=" + size,
                                     "--duration=" + std::to_string(times.back() + 50),
                                     "--desktop=" + Desktop(dir)};
    if (!hostSize.empty()) {
        options.push_back("--host-size=" + hostSize);
    }
    for (int32_t t : times) {
        options.push_back("--snapshot=" + std::to_string(t) + ":" + Shot(dir, t).string());
    }
    return RunShow(dir, show, options, "", std::move(roleArgs));
}

// A colour as the common palette holds it: each channel's upper four bits and 8.
uint32_t Quantised(uint32_t c) {
    return (c & 0xF0F0F0) | 0x080808;
}

// A colour after a round trip through RGB555, as the capture of the screen under the
// flying sprite gives it back.
uint32_t Through555(uint32_t c) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const uint32_t five = ((c >> shift) & 0xFF) >> 3;
        out |= ((five << 3) | (five >> 2)) << shift;
    }
    return out;
}

// The picture tiled over the screen as the engine tiles it, one tile in the middle.
uint32_t Tiled(const TestPicture& p, int32_t w, int32_t h, int32_t x, int32_t y) {
    auto floorMod = [](int32_t a, int32_t m) { return ((a % m) + m) % m; };
    const int32_t px = floorMod(x - (w - p.Width) / 2, p.Width);
    const int32_t py = floorMod(y - (h - p.Height) / 2, p.Height);
    return Quantised(p.Colours[p.Indexes[static_cast<size_t>(py) * p.Width + px]]);
}

// The box of the pixels that differ from a reference, and how many.
struct Differences {
    int Count = 0;
    Box Bounds{1 << 30, 1 << 30, 0, 0};
};
template <class Reference>
Differences Differ(const Image& image, Reference reference) {
    Differences d;
    for (int32_t y = 0; y < image.Height; ++y) {
        for (int32_t x = 0; x < image.Width; ++x) {
            const uint32_t want = reference(x, y);
            const uint32_t c = image.At(x, y);
            // The 16-pixel margin the sprite leaves behind in flight is the 16-bit capture.
            if (c != want && c != Through555(want)) {
                ++d.Count;
                d.Bounds.Left = std::min(d.Bounds.Left, x);
                d.Bounds.Top = std::min(d.Bounds.Top, y);
                d.Bounds.Right = std::max(d.Bounds.Right, x + 1);
                d.Bounds.Bottom = std::max(d.Bounds.Bottom, y + 1);
            }
        }
    }
    return d;
}

// The square of the sprite: 24 + 32 by 16 + 32.
constexpr int32_t kSquareW = 56;
constexpr int32_t kSquareH = 48;

// Whether the screen shows picture p everywhere but inside one square of the sprite.
bool Painted(const Image& image, const TestPicture& p) {
    const Differences d = Differ(
        image, [&](int32_t x, int32_t y) { return Tiled(p, image.Width, image.Height, x, y); });
    return d.Count == 0 || (d.Bounds.Right - d.Bounds.Left <= kSquareW &&
                            d.Bounds.Bottom - d.Bounds.Top <= kSquareH);
}

// The desktop first; then the first background painted over all of it, pixel for pixel
// (the flying sprite aside), then the second, then the first again.
TEST(PainterSprite, PaintsEachBackgroundCompletelyInTurn) {
    TempDir dir;
    std::vector<int32_t> times;
    for (int32_t t = 200; t <= 20000; t += 200) {
        times.push_back(t);
    }
    const PlayerRun run = RunWithShots(dir, Build(dir, {}), times, "160x120");
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    std::string phases;
    for (int32_t t : times) {
        const Image image = ReadPng(Shot(dir, t));
        const bool desktop =
            Differ(image, [](int32_t, int32_t) { return kDesktop; }).Count <= kSquareW * kSquareH;
        const char phase = desktop                              ? 'D'
                           : Painted(image, FirstBackground())  ? '1'
                           : Painted(image, SecondBackground()) ? '2'
                                                                : '.';
        if (phases.empty() || phases.back() != phase) {
            phases += phase;
        }
    }
    // Painting goes on between the complete screens.
    std::string complete;
    for (char c : phases) {
        if (c != '.') {
            complete += c;
        }
    }
    EXPECT_EQ(complete.substr(0, 4), "D121") << phases;
    ExpectMatchesGolden(Shot(dir, 1400), "painter_painting.png");
}

// Opaque, the sprite's whole rectangle shows, its frame included; keyed, the frame's
// colour (the first pixel's) lets the desktop through.
TEST(PainterSprite, KeyedSpriteLetsTheKeyColourThrough) {
    for (int32_t keyed : {0, 1}) {
        SCOPED_TRACE(keyed);
        TempDir dir;
        Options o;
        o.Keyed = keyed;
        o.FreeFlight = 60000;
        const PlayerRun run = RunWithShots(dir, Build(dir, o), {400}, "160x120");
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        ExpectMatchesGolden(Shot(dir, 400), keyed ? "painter_keyed.png" : "painter_opaque.png");
        const Image image = ReadPng(Shot(dir, 400));
        const Differences d = Differ(image, [](int32_t, int32_t) { return kDesktop; });
        const uint32_t frame = Through555(Quantised(0x602010));
        int framePixels = 0;
        for (uint32_t c : image.Pixels) {
            framePixels += c == frame;
        }
        if (keyed) {
            EXPECT_EQ(framePixels, 0);
            EXPECT_EQ(d.Bounds.Right - d.Bounds.Left, 22);
            EXPECT_EQ(d.Bounds.Bottom - d.Bounds.Top, 14);
        } else {
            EXPECT_EQ(framePixels, 2 * 24 + 2 * 14);
            EXPECT_EQ(d.Count, 24 * 16);
        }
    }
}

// The sprite's step: speed 50 gives 9 pixels a frame, 95 or more 15, preview 2 to 4 (3 at
// speed 50). Five frames of 30 ms in free flight, with no wall in the way.
TEST(PainterSprite, StepFollowsTheSpeed) {
    struct Case {
        int32_t SpeedOffset;
        bool Preview;
        double Step;
    };
    const Case cases[] = {{50, false, 9}, {100, false, 15}, {95, false, 15}, {50, true, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.SpeedOffset) + (c.Preview ? " preview" : ""));
        TempDir dir;
        Options o;
        o.FreeFlight = 60000;
        o.SpeedOffset = c.SpeedOffset;
        std::vector<std::string> role;
        if (c.Preview) {
            role = {"/p", "4321"};
        }
        const PlayerRun run = RunWithShots(dir, Build(dir, o), {250, 400}, "480x360", role,
                                           c.Preview ? "200x150" : "");
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const Box a =
            Differ(ReadPng(Shot(dir, 250)), [](int32_t, int32_t) { return kDesktop; }).Bounds;
        const Box b =
            Differ(ReadPng(Shot(dir, 400)), [](int32_t, int32_t) { return kDesktop; }).Bounds;
        const double dx = b.Left - a.Left;
        const double dy = b.Top - a.Top;
        EXPECT_GT(dx, 0);
        EXPECT_GT(dy, 0);
        EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), 5 * c.Step, 1.5);
        if (c.Preview) {
            ExpectMatchesGolden(Shot(dir, 400), "painter_preview.png");
        }
    }
}

TEST(PainterSprite, CountsOutsideTheWorkingListsShowTheirMessage) {
    struct Case {
        std::vector<int32_t> Block;
        const char* Text;
    };
    const char* backgrounds = "The painter transition requires 1-10 background bitmaps.";
    const char* frames = "The painter transition requires 1-9 sprite bitmaps.";
    std::vector<int32_t> eleven{1000, 11};
    eleven.insert(eleven.end(), 11, 1);
    eleven.insert(eleven.end(), {1, 0, 100, 0, 50});
    const Case cases[] = {
        {{1000, 0, 1, 0, 100, 0, 50}, backgrounds},
        {eleven, backgrounds},
        {{1000, 1, 1, 0, 100, 0, 50}, frames},
        {{1000, 1, 1, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, 50}, frames},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        TempDir dir;
        const auto show = MakeShow(PlainHeader(9), c.Block, {Sprite(), FirstBackground()});
        const PlayerRun run = RunShow(dir, show, {"--size=400x120", "--duration=300"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u);
        EXPECT_EQ(screens[0]["text"], c.Text);
    }
}

} // namespace
} // namespace qv::test
