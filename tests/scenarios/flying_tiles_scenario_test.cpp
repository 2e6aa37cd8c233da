#include "styles3d_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kTiles = 6;

const TestPicture& Picture() {
    static const TestPicture p = CellPicture(48, 36, 5, 3);
    return p;
}
const TestPicture& Backdrop() {
    static const TestPicture p = BandedPicture(24, 20, {0x584828, 0x385868});
    return p;
}

struct TilesParams {
    int32_t BackgroundMode = 0;
    int32_t BackgroundPicture = 1;
    int32_t TilePlacement = 1;
    int32_t TileOrder = 0;
    int32_t Columns = 2;
    int32_t Rows = 2;
    // Speed 50 + 99 - 50: S = 99, a frame every 3 ms.
    int32_t SpeedOffset = 99;
};

nlohmann::json TilesManifest(const TilesParams& c) {
    nlohmann::json p{{"BackgroundMode", c.BackgroundMode}, {"TilePlacement", c.TilePlacement},
                     {"TileOrder", c.TileOrder},           {"TilePicture", 0},
                     {"TileColumns", c.Columns},           {"TileRows", c.Rows},
                     {"SpeedOffset", c.SpeedOffset}};
    if (c.BackgroundMode >= 10) {
        p["BackgroundPicture"] = c.BackgroundPicture;
    }
    return StyleManifest(kTiles, p);
}

std::vector<TestPicture> Pictures() {
    return {Picture(), Backdrop()};
}

Shots Play(const TempDir& dir, const nlohmann::json& manifest, const std::vector<int32_t>& times,
           std::vector<std::string> options = {}, const std::string& size = "160x120") {
    const auto show = BuildWithTool(dir, manifest, Pictures());
    Shots shots{dir.Path(), "shot", times};
    options.push_back("--duration=" + std::to_string(times.back() + 20));
    options.push_back("--size=" + size);
    const PlayerRun run = RunShow(dir, show, Join(options, shots.Options()));
    EXPECT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    return shots;
}

// The runs of at least `least` equal snapshots in a row: the rests of a second after the
// picture is built and after it is taken apart. Each as its first index.
std::vector<size_t> Rests(const Shots& shots, size_t least) {
    std::vector<size_t> rests;
    size_t start = 0;
    Image first = shots.Read(shots.Times[0]);
    for (size_t i = 1; i <= shots.Times.size(); ++i) {
        Image current;
        const bool same = i < shots.Times.size() &&
                          DifferentPixels(first, current = shots.Read(shots.Times[i])) == 0;
        if (same) {
            continue;
        }
        if (i - start >= least) {
            rests.push_back(start);
        }
        start = i;
        if (i < shots.Times.size()) {
            first = std::move(current);
        }
    }
    return rests;
}

struct ModeCase {
    const char* Name;
    int32_t Mode;
};

class TilesBackgrounds : public ::testing::TestWithParam<ModeCase> {};

// A screen's pixel as it comes back through a frame buffer of RGB555 pixels (the engine's
// frame buffer over a screen capture on a screen of more than 15 bits).
uint32_t Rgb555(uint32_t c) {
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const uint32_t v = ((c >> shift) & 0xFF) >> 3;
        out |= ((v << 3) | (v >> 2)) << shift;
    }
    return out;
}

// The pixels of b that are neither a's nor a's as RGB555 gives them back.
int64_t ChangedBeyondRgb555(const Image& a, const Image& b) {
    if (a.Width != b.Width || a.Height != b.Height) {
        return static_cast<int64_t>(b.Pixels.size());
    }
    int64_t n = 0;
    for (size_t i = 0; i < a.Pixels.size(); ++i) {
        n += b.Pixels[i] != a.Pixels[i] && b.Pixels[i] != Rgb555(a.Pixels[i]);
    }
    return n;
}

// Over each background: the picture assembles, rests a second, is taken apart, and the
// background is back as it was (before: just after the start, before the first tile shows).
// The tiles' frames are composed in RGB555 pixels on this true-colour screen, so a pixel
// they passed over comes back as its 5-bit value; nothing else may change.
TEST_P(TilesBackgrounds, AssemblesAndLeavesTheBackgroundAsItWas) {
    const ModeCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> options;
    if (c.Mode == 1) {
        BuildWithTool(dir, TilesManifest({}), Pictures());
        fs::copy_file(ManifestPicture(dir, 1), dir / "desktop.png");
        options.push_back("--desktop=" + (dir / "desktop.png").string());
    }
    const Shots shots =
        Play(dir, TilesManifest({.BackgroundMode = c.Mode}), Times(10, 4010, 100), options);
    const std::vector<size_t> rests = Rests(shots, 8);
    ASSERT_GE(rests.size(), 2u) << "a rest after building and after taking apart";
    const Image before = shots.Read(shots.Times[0]);
    const Image assembled = shots.Read(shots.Times[rests[0]]);
    const Image after = shots.Read(shots.Times[rests[1]]);
    ExpectMatchesGolden(shots.At(shots.Times[rests[0]]),
                        std::string("tiles_") + c.Name + "_assembled.png");
    EXPECT_EQ(ChangedBeyondRgb555(before, after), 0) << "the background is back";
    EXPECT_GT(DifferentPixels(before, assembled), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, TilesBackgrounds,
                         ::testing::Values(ModeCase{"black", 0}, ModeCase{"desktop", 1},
                                           ModeCase{"tiled", 10}, ModeCase{"centred", 11}),
                         [](const auto& info) { return std::string(info.param.Name); });

// The first rest: the picture as built (snapshots 100 ms apart unless told).
Image Assembled(const Shots& shots, size_t least = 8) {
    const std::vector<size_t> rests = Rests(shots, least);
    EXPECT_FALSE(rests.empty());
    return rests.empty() ? Image{} : shots.Read(shots.Times[rests[0]]);
}

// Every tile lands face-on exactly in its place whatever its flight: built from other
// random flights (another start time, another order, falling row by row) the centred
// picture is the same pixel for pixel.
TEST(Tiles, EveryFlightLandsInPlace) {
    TempDir a;
    TempDir b;
    TempDir c;
    const Image first = Assembled(Play(a, TilesManifest({}), Times(2, 3002, 100)));
    const Image other = Assembled(
        Play(b, TilesManifest({}), Times(2, 3002, 100), {"--time=2026-05-01T09:31:47.512"}));
    const Image falling = Assembled(Play(c, TilesManifest({.TileOrder = 1}), Times(2, 3002, 100)));
    EXPECT_EQ(DifferentPixels(first, other), 0);
    EXPECT_EQ(DifferentPixels(first, falling), 0);
}

// Built, the picture stands in its place pixel for pixel, whatever the grid: tiles that
// divide the picture, tiles of rounded sizes whose last pieces reach past its edges, one
// tile. Around it the black background shows, up to its very edge.
TEST(Tiles, TheBuiltPictureIsThePicturePixelForPixel) {
    struct Grid {
        int32_t Columns, Rows;
    };
    for (const Grid g : {Grid{2, 2}, Grid{3, 3}, Grid{5, 4}, Grid{7, 5}, Grid{1, 1}}) {
        SCOPED_TRACE(std::to_string(g.Columns) + " x " + std::to_string(g.Rows));
        TempDir dir;
        const Image built = Assembled(
            Play(dir, TilesManifest({.Columns = g.Columns, .Rows = g.Rows}), Times(2, 4002, 100)));
        ASSERT_GT(built.Width, 0);
        const Box box = NonBlackBox(built);
        const TestPicture& p = Picture();
        ASSERT_EQ(box.Right - box.Left, p.Width);
        ASSERT_EQ(box.Bottom - box.Top, p.Height);
        int64_t wrong = 0;
        for (int32_t y = 0; y < p.Height; ++y) {
            for (int32_t x = 0; x < p.Width; ++x) {
                const uint32_t colour = p.Colours[p.Indexes[static_cast<size_t>(y) * p.Width + x]];
                wrong += built.At(box.Left + x, box.Top + y) != Rgb555(colour);
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

// One tile: the whole picture flies in, rests, flies out.
TEST(Tiles, OneByOneIsTheWholePicture) {
    TempDir dir;
    const Shots shots = Play(dir, TilesManifest({.Columns = 1, .Rows = 1}), Times(2, 3002, 50));
    const std::vector<size_t> rests = Rests(shots, 16);
    ASSERT_GE(rests.size(), 2u);
    ExpectMatchesGolden(shots.At(shots.Times[rests[0]]), "tiles_1x1_assembled.png");
    EXPECT_EQ(DifferentPixels(shots.Read(2), shots.Read(shots.Times[rests[1]])), 0);
}

// Row by row from the bottom: while the picture is built the bottom row is complete before
// anything of the row above shows, and every tile comes down from above.
TEST(Tiles, OrderOneBuildsFromTheBottomRowUpWithFallingTiles) {
    TempDir dir;
    const Shots shots =
        Play(dir, TilesManifest({.TileOrder = 1, .Columns = 2, .Rows = 3}), Times(2, 2502, 10));
    const Image built = Assembled(shots, 80);
    ASSERT_GT(built.Width, 0);
    const Box picture = NonBlackBox(built);
    const int32_t rowHeight = (picture.Bottom - picture.Top) / 3;
    // The rows of the built picture, from the top: whether a screen shows each as built.
    auto rowDone = [&](const Image& image, int32_t r) {
        for (int32_t y = picture.Top + r * rowHeight + 2; y < picture.Top + (r + 1) * rowHeight - 2;
             ++y) {
            for (int32_t x = picture.Left; x < picture.Right; ++x) {
                if (image.At(x, y) != built.At(x, y)) {
                    return false;
                }
            }
        }
        return true;
    };
    // The flying box: the top of the non-black pixels outside the picture's place. Within a
    // flight it only goes down; it goes up only when the next tile comes in from above.
    int32_t lastTop = -1;
    int32_t downs = 0;
    int32_t ups = 0;
    for (int32_t t : shots.Times) {
        const Image image = shots.Read(t);
        if (DifferentPixels(image, built) == 0) {
            break;
        }
        // A row above is done only after every row below it.
        for (int32_t r = 0; r < 2; ++r) {
            if (rowDone(image, r)) {
                EXPECT_TRUE(rowDone(image, r + 1))
                    << "row " << r << " before the one below at " << t;
            }
        }
        int32_t top = -1;
        for (int32_t y = 0; y < image.Height && top < 0; ++y) {
            for (int32_t x = 0; x < image.Width; ++x) {
                const bool inPlace = x >= picture.Left && x < picture.Right && y >= picture.Top &&
                                     y < picture.Bottom;
                if (!inPlace && image.At(x, y) != 0) {
                    top = y;
                    break;
                }
            }
        }
        if (top >= 0 && lastTop >= 0) {
            downs += top > lastTop;
            ups += top < lastTop;
        }
        lastTop = top;
    }
    EXPECT_GT(downs, 10);
    EXPECT_LE(ups, 6) << "one new tile for each of the six";
}

// On a 1920-pixel screen the least speed m = 12.8 is above the largest |vx| of 8.5 (and
// m x 2/3 above the largest |vy|): the tiles fly at 8.5 pixels a frame on both axes, and
// the picture is still built whole and taken apart again.
TEST(Tiles, WideScreenStillBuildsThePicture) {
    TempDir dir;
    TempDir narrow;
    const Shots shots = Play(dir, TilesManifest({}), Times(2, 5002, 100), {}, "1920x120");
    const std::vector<size_t> rests = Rests(shots, 8);
    ASSERT_GE(rests.size(), 2u);
    const Image built = shots.Read(shots.Times[rests[0]]);
    // The same picture as on a narrow screen, where the rule can be met.
    const Image small = Assembled(Play(narrow, TilesManifest({}), Times(2, 3002, 100)));
    const Box wide = NonBlackBox(built);
    const Box box = NonBlackBox(small);
    ASSERT_EQ(wide.Right - wide.Left, box.Right - box.Left);
    ASSERT_EQ(wide.Bottom - wide.Top, box.Bottom - box.Top);
    for (int32_t y = 0; y < box.Bottom - box.Top; ++y) {
        for (int32_t x = 0; x < box.Right - box.Left; ++x) {
            ASSERT_EQ(built.At(wide.Left + x, wide.Top + y), small.At(box.Left + x, box.Top + y));
        }
    }
    EXPECT_EQ(DifferentPixels(shots.Read(2), shots.Read(shots.Times[rests[1]])), 0);
}

// Random placement: each build-up at a new place, the taking apart where it was built.
TEST(Tiles, RandomPlacementMovesEachBuild) {
    TempDir dir;
    const Shots shots =
        Play(dir, TilesManifest({.TilePlacement = 0}), Times(2, 9002, 100), {}, "200x150");
    const std::vector<size_t> rests = Rests(shots, 8);
    ASSERT_GE(rests.size(), 3u);
    const Box first = NonBlackBox(shots.Read(shots.Times[rests[0]]));
    const Box second = NonBlackBox(shots.Read(shots.Times[rests[2]]));
    EXPECT_TRUE(first.Left != second.Left || first.Top != second.Top);
    EXPECT_EQ(DifferentPixels(shots.Read(2), shots.Read(shots.Times[rests[1]])), 0);
}

// A frame every P = (100 - S) x 2 + 1 milliseconds: at S = 95, every 11 ms.
TEST(Tiles, FramesComeEveryPeriod) {
    TempDir dir;
    // From about 1.13 s the second tile of this start time flies across the screen.
    const Shots shots = Play(dir, TilesManifest({.SpeedOffset = 95}), Times(1150, 1300, 1));
    const std::vector<int32_t> changes = ChangeIndexes(shots);
    ASSERT_GE(changes.size(), 8u);
    for (size_t i = 1; i < changes.size(); ++i) {
        EXPECT_EQ(changes[i] - changes[i - 1], 11);
    }
}

TEST(Tiles, PreviewAndCaptions) {
    {
        // In preview S is divided by 3 (here 33, a frame every 135 ms): the first tiles are
        // on their way for a few seconds, at a fifth of the size.
        TempDir dir;
        const auto show = BuildWithTool(dir, TilesManifest({}), Pictures());
        Shots shots{dir.Path(), "preview", Times(250, 4000, 250)};
        const PlayerRun run = RunShow(
            dir, show,
            Join({"--size=320x240", "--host-size=80x60", "--duration=4020"}, shots.Options()), "",
            {"/p", "4321"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        int32_t seen = -1;
        int32_t moves = 0;
        Box previous;
        for (int32_t t : shots.Times) {
            const Box b = NonBlackBox(shots.Read(t));
            if (b.Empty()) {
                continue;
            }
            moves += seen >= 0 && (b.Left != previous.Left || b.Top != previous.Top);
            EXPECT_LE(b.Right - b.Left, 24) << "a tile of a fifth of the picture's size";
            seen = t;
            previous = b;
        }
        ASSERT_GE(seen, 0) << "no tile in the host window";
        EXPECT_GE(moves, 1);
        ExpectMatchesGolden(shots.At(seen), "tiles_preview.png");
    }
    {
        TempDir dir;
        const Shots shots = Play(dir, WithCaptions(TilesManifest({})), Times(2, 3002, 100));
        const std::vector<size_t> rests = Rests(shots, 8);
        ASSERT_GE(rests.size(), 1u);
        ExpectMatchesGolden(shots.At(shots.Times[rests[0]]), "tiles_captions.png");
    }
}

TEST(Tiles, OutOfRangeValuesShowTheirMessages) {
    struct Case {
        std::vector<int32_t> Block;
        const char* Message;
    };
    // Mode, [background picture,] placement, order, picture, columns, rows, offset.
    const Case cases[] = {
        {{5, 1, 0, 0, 2, 2, 50},
         "The flying tiles transition requires background mode 0, 1, 10 or 11."},
        {{10, -1, 1, 0, 0, 2, 2, 50}, "The flying tiles transition requires a background bitmap."},
        {{0, 1, 0, 0, 0, 2, 50}, "The flying tiles transition requires 1-11 tile columns."},
        {{0, 1, 0, 0, 12, 2, 50}, "The flying tiles transition requires 1-11 tile columns."},
        {{0, 1, 0, 0, 2, 0, 50}, "The flying tiles transition requires 1-11 tile rows."},
        {{0, 1, 0, 0, 2, 12, 50}, "The flying tiles transition requires 1-11 tile rows."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Message);
        TempDir dir;
        const auto show = MakeShow(PlainHeader(kTiles), c.Block, {Picture()});
        const PlayerRun run = RunShow(dir, show, {"--size=480x120", "--duration=200"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u);
        EXPECT_EQ(screens[0]["text"], c.Message);
    }
}

// A one-pixel picture in 11 x 11 tiles, a picture larger than the screen at a random place,
// a background picture outside the table, absurd offsets.
TEST(Tiles, HostileBlocksEndCleanly) {
    const int32_t kMax = 2147483647;
    const int32_t kMin = -kMax - 1;
    ExpectHostileBlocksEndCleanly(
        kTiles,
        {
            {0, 1, 1, 0, 11, 11, kMax},
            {1, 5, 7, 0, 11, 1, kMin},
            {10, 64, 1, 0, 0, 2, 2, 50},
            {0, 0, 0, 1, 3, 3, 100},
            {11, 1, kMin, kMax, 0, 11, 11, 100},
        },
        {BandedPicture(1, 1, {0xF8F8F8}), BandedPicture(200, 150, {0xE83828, 0x3858E8})});
}

} // namespace
} // namespace qv::test
