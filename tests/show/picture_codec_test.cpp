#include "show/picture_codec.h"
#include "show/show_writer.h"
#include "test_support.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace qv {
namespace {

using Bytes = std::vector<uint8_t>;

// A test picture: `height` rows of `stride` bytes, the first `width` of each row drawn
// with a mix of long runs, short runs and noise, the row padding left at 0.
Bytes MakePicture(int32_t width, int32_t height, int32_t stride, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes pixels(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t value = 0;
            switch ((x / 7 + y) % 4) {
            case 0:
                value = static_cast<uint8_t>(y);
                break; // long runs
            case 1:
                value = static_cast<uint8_t>(random() % 256);
                break; // noise
            case 2:
                value = static_cast<uint8_t>((x / 2) % 3);
                break; // pairs
            default:
                value = static_cast<uint8_t>(random() % 2);
                break; // short runs
            }
            pixels[static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(x)] =
                value;
        }
    }
    return pixels;
}

struct Shape {
    int32_t Width;
    int32_t Height;
};

class CodecRoundTrip : public testing::TestWithParam<Shape> {};

TEST_P(CodecRoundTrip, Rle8AndScheme4GiveBackEveryPixel) {
    const Shape shape = GetParam();
    const int32_t stride = (shape.Width + 3) & ~3;
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        const Bytes pixels = MakePicture(shape.Width, shape.Height, stride, seed);

        const Bytes rle = EncodeRle8(pixels, shape.Width, shape.Height, stride);
        Bytes fromRle(pixels.size(), 0);
        DecodeRle8(rle, fromRle, stride);
        EXPECT_EQ(fromRle, pixels) << "RLE8, seed " << seed;
        EXPECT_EQ(rle.size() % 2, 0u);

        const Bytes packed = EncodeScheme4(pixels);
        Bytes fromScheme4(pixels.size(), 0);
        DecodeScheme4(packed, fromScheme4);
        EXPECT_EQ(fromScheme4, pixels) << "scheme 4, seed " << seed;
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CodecRoundTrip,
                         testing::Values(Shape{1, 1}, Shape{2, 3}, Shape{3, 2}, Shape{17, 5},
                                         Shape{300, 4}, Shape{640, 3}, Shape{255, 2}, Shape{256, 2},
                                         Shape{129, 3}));

TEST(PictureCodec, LongRunsSplitAtTheCountLimits) {
    // A row of 600 equal pixels needs several RLE8 runs (count up to 255) and several
    // scheme-4 runs (up to 127); a 300-byte noise row needs more than one literal.
    const int32_t width = 600;
    Bytes pixels(static_cast<size_t>(width) * 2, 9);
    for (int32_t x = 0; x < 300; ++x) {
        pixels[static_cast<size_t>(width + x)] = static_cast<uint8_t>(x * 7 + x / 3);
    }
    const Bytes rle = EncodeRle8(pixels, width, 2, width);
    Bytes a(pixels.size(), 0);
    DecodeRle8(rle, a, width);
    EXPECT_EQ(a, pixels);
    const Bytes packed = EncodeScheme4(pixels);
    Bytes b(pixels.size(), 0);
    DecodeScheme4(packed, b);
    EXPECT_EQ(b, pixels);
}

// Hostile packed data: the decoders must keep inside `out`. The output lies inside a larger
// buffer filled with a guard value; any write outside shows in the guard bytes (and to
// AddressSanitizer, since the decoders see only the inner span).
struct HostileCase {
    std::string Name;
    bool Scheme4;
    Bytes Packed;
    int32_t OutSize;
    int32_t Stride;
    Bytes Expected; // the whole output after decoding
};

class HostileInput : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, StaysInsideTheOutputAndCutsAtItsEnd) {
    const HostileCase& c = GetParam();
    constexpr size_t kGuard = 64;
    Bytes buffer(kGuard + static_cast<size_t>(c.OutSize) + kGuard, 0xEE);
    std::span<uint8_t> out(buffer.data() + kGuard, static_cast<size_t>(c.OutSize));
    std::fill(out.begin(), out.end(), 0);
    if (c.Scheme4) {
        DecodeScheme4(c.Packed, out);
    } else {
        DecodeRle8(c.Packed, out, c.Stride);
    }
    EXPECT_EQ(Bytes(out.begin(), out.end()), c.Expected);
    for (size_t i = 0; i < kGuard; ++i) {
        ASSERT_EQ(buffer[i], 0xEE) << "write before the output";
        ASSERT_EQ(buffer[buffer.size() - 1 - i], 0xEE) << "write after the output";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileInput,
    testing::Values(
        HostileCase{"Rle8RunCrossesTheEnd", false, {200, 5}, 6, 4, {5, 5, 5, 5, 5, 5}},
        HostileCase{"Rle8LiteralCrossesTheEnd", false, {0, 5, 1, 2, 3, 4, 5, 0}, 3, 4, {1, 2, 3}},
        HostileCase{"Rle8LiteralLongerThanTheData", false, {0, 9, 1, 2}, 6, 4, {1, 2, 0, 0, 0, 0}},
        HostileCase{"Rle8MoveFarPastTheEnd", false, {0, 2, 255, 255, 3, 7}, 8, 4, Bytes(8, 0)},
        HostileCase{
            "Rle8MoveThenRunCut", false, {0, 2, 1, 1, 9, 7}, 8, 4, {0, 0, 0, 0, 0, 7, 7, 7}},
        HostileCase{
            "Rle8EndOfLinePastTheLastRow", false, {0, 0, 0, 0, 0, 0, 2, 1}, 8, 4, Bytes(8, 0)},
        HostileCase{"Rle8MoveCutShort", false, {1, 4, 0, 2, 9}, 4, 4, {4, 0, 0, 0}},
        HostileCase{"Rle8EndOfPictureStops", false, {2, 1, 0, 1, 2, 9}, 4, 4, {1, 1, 0, 0}},
        HostileCase{"Rle8OddTrailingByte", false, {2, 3, 7}, 4, 4, {3, 3, 0, 0}},
        HostileCase{"Rle8ZeroStrideWritesNothing", false, {4, 3}, 4, 0, Bytes(4, 0)},
        HostileCase{"Rle8EmptyData", false, {}, 4, 4, Bytes(4, 0)},
        HostileCase{"Scheme4RunCrossesTheEnd", true, {0x81, 6}, 5, 0, {6, 6, 6, 6, 6}},
        HostileCase{"Scheme4LiteralCrossesTheEnd", true, {5, 1, 2, 3, 4, 5}, 2, 0, {1, 2}},
        HostileCase{"Scheme4LiteralLongerThanTheData", true, {9, 1, 2}, 5, 0, {1, 2, 0, 0, 0}},
        HostileCase{"Scheme4MinusOneTwentyEightEndsThePicture",
                    true,
                    {0xFE, 4, 0x80, 0, 0xFE, 5},
                    6,
                    0,
                    {4, 4, 0, 0, 0, 0}},
        HostileCase{"Scheme4ZeroEnds", true, {0xFE, 4, 0, 0, 0xFE, 5}, 6, 0, {4, 4, 0, 0, 0, 0}},
        HostileCase{"Scheme4RunWithoutValue", true, {0xFE}, 3, 0, {0, 0, 0}},
        HostileCase{
            "Scheme4LiteralPaddedToEvenOffset", true, {2, 1, 2, 99, 0xFF, 3}, 4, 0, {1, 2, 3, 0}},
        HostileCase{"Scheme4EmptyOutput", true, {0x81, 6}, 0, 0, {}}),
    [](const testing::TestParamInfo<HostileCase>& info) { return info.param.Name; });

TEST(PictureCodec, RandomBytesNeverWriteOutside) {
    // Whatever the bytes, both decoders stay inside the output (checked by the guards and
    // by AddressSanitizer in the debug build).
    std::mt19937 random(42);
    for (int round = 0; round < 2000; ++round) {
        Bytes packed(random() % 64);
        for (uint8_t& b : packed) {
            b = static_cast<uint8_t>(random());
        }
        const size_t size = random() % 40;
        Bytes buffer(size + 32, 0xEE);
        std::span<uint8_t> out(buffer.data() + 16, size);
        DecodeRle8(packed, out, static_cast<int32_t>(random() % 12));
        DecodeScheme4(packed, out);
        for (size_t i = 0; i < 16; ++i) {
            ASSERT_EQ(buffer[i], 0xEE);
            ASSERT_EQ(buffer[buffer.size() - 1 - i], 0xEE);
        }
    }
}

} // namespace
} // namespace qv

namespace qv {
namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// ImageMagick's RLE8 writer is an independent encoder: its output must decode to the
// colours of the uncompressed picture it was made from.
TEST(PictureCodec, DecodesImageMagickRle8) {
    const int32_t width = 45;
    const int32_t height = 17;
    const int32_t stride = (width + 3) & ~3;
    // An 8-bit BMP with all 256 colours in use (so the writer keeps 8 bits), long runs in
    // the left half and a colour ramp in the right.
    ShowWriter w;
    const int32_t pixelsAt = 14 + 40 + 1024;
    w.WriteBytes("BM", 2);
    w.WriteInt(pixelsAt + stride * height);
    w.WriteInt(0);
    w.WriteInt(pixelsAt);
    for (const int32_t v : {40, width, height}) {
        w.WriteInt(v);
    }
    w.WriteBytes("\x01\x00\x08\x00", 4);
    for (const int32_t v : {0, stride * height, 2835, 2835, 256, 256}) {
        w.WriteInt(v);
    }
    for (int i = 0; i < 256; ++i) {
        const uint8_t quad[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                 static_cast<uint8_t>(i * 7), 0};
        w.WriteBytes(quad, 4);
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(stride * height), 0);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            pixels[static_cast<size_t>(y * stride + x)] =
                x < 20 ? static_cast<uint8_t>(y * 3) : static_cast<uint8_t>((y * width + x) % 256);
        }
    }
    w.WriteBytes(pixels.data(), pixels.size());

    test::TempDir dir;
    test::WriteFile(dir / "in.bmp", w.Bytes());
    const test::RunResult r =
        test::Run("/usr/bin/convert", {"in.bmp", "-compress", "RLE", "BMP3:out.bmp"}, dir.Path());
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const std::vector<uint8_t> out = test::ReadFile(dir / "out.bmp");
    ASSERT_GE(out.size(), 54u);
    ASSERT_EQ(Le32(out, 30), 1u) << "not RLE8";
    ASSERT_EQ(Le32(out, 22), static_cast<uint32_t>(height));
    const size_t paletteAt = 14 + Le32(out, 14);
    const uint32_t colours = Le32(out, 46) == 0 ? 256 : Le32(out, 46);

    std::vector<uint8_t> decoded(pixels.size(), 0);
    DecodeRle8(std::span<const uint8_t>(out).subspan(Le32(out, 10)), decoded, stride);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(y * stride + x);
            ASSERT_LT(decoded[at], colours);
            const uint8_t* got = &out[paletteAt + 4u * decoded[at]];
            const uint8_t i = pixels[at];
            ASSERT_EQ(got[0], i) << x << "," << y;
            ASSERT_EQ(got[1], static_cast<uint8_t>(255 - i)) << x << "," << y;
            ASSERT_EQ(got[2], static_cast<uint8_t>(i * 7)) << x << "," << y;
        }
    }
}

} // namespace
} // namespace qv
