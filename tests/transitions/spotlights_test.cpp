#include "platform/headless/headless_host.h"
#include "test_support.h"
#include "transitions/frame.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace qv::test {
namespace {

// The headless host with a screen of a chosen depth.
class DepthHost : public HeadlessHost {
public:
    DepthHost(const HostOptions& o, int32_t bits) : HeadlessHost(o), m_bits(bits) {}
    int32_t BitsPerPixel() const override { return m_bits; }

private:
    int32_t m_bits;
};

// A saver window on a small screen of the given depth, the engine started on it with the
// given working palette realised.
class MaskWorld {
public:
    MaskWorld(int32_t bits, const std::array<RGBQUAD, 256>& palette) {
        HostOptions o;
        o.Root = m_dir.Path().string();
        o.Time = "2026-03-07T14:05:09";
        o.ScreenSize = {96, 96};
        o.Args = {(m_dir.Path() / "test.scr").string()};
        m_os = std::make_unique<Platform>(o, std::make_unique<DepthHost>(o, bits));
        Ctx = std::make_unique<FrameContext>(*m_os);
        CreateWindowParams p;
        p.ClassName = "Tss_screen";
        p.Style = WS_POPUP | WS_VISIBLE;
        p.Bounds = {0, 0, 96, 96};
        Ctx->Run.SaverWnd = m_os->User().CreateWindow(p);
        Ctx->Run.ScreenW = 96;
        Ctx->Run.ScreenH = 96;
        EngineInit(*Ctx, 64, 64, 256, kTexturedRendering);
        std::copy(palette.begin(), palette.end(), Ctx->Engine.FrameHeader.bmiColors);
        EngineStart(*Ctx, Ctx->Run.SaverWnd);
    }
    ~MaskWorld() {
        EngineShutdown(*Ctx);
        Ctx.reset();
    }

    // The mask's value at (x, y), y counted from the top as the shape was drawn.
    uint8_t At(int32_t slot, int32_t x, int32_t y) const {
        const PictureSlot& p = Ctx->Engine.Pictures[static_cast<size_t>(slot)];
        return p.Pixels[static_cast<size_t>(p.Height() - 1 - y) * p.Stride + x];
    }

private:
    TempDir m_dir;
    std::unique_ptr<Platform> m_os;

public:
    std::unique_ptr<FrameContext> Ctx;
};

std::array<RGBQUAD, 256> GreyRamp() {
    std::array<RGBQUAD, 256> t{};
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        t[static_cast<size_t>(i)] = RGBQUAD{v, v, v, 0};
    }
    return t;
}

// Reversed: white at 0 and black at 255, the values a read-back through it would swap.
std::array<RGBQUAD, 256> ReversedRamp() {
    std::array<RGBQUAD, 256> t = GreyRamp();
    std::reverse(t.begin(), t.end());
    return t;
}

// One colour everywhere: white and black cannot be told apart through it.
std::array<RGBQUAD, 256> OneColour() {
    std::array<RGBQUAD, 256> t{};
    t.fill(RGBQUAD{200, 40, 90, 0});
    return t;
}

constexpr int32_t kEdge = 60;
constexpr int32_t kMargin = 10;
constexpr int32_t kSize = 40;

// Whether (x, y) lies inside the shape, for pixels well away from its outline.
enum class Where { Inside, Outside, Edge };
Where Classify(int32_t shape, int32_t x, int32_t y) {
    const double cx = x + 0.5 - (kMargin + kSize / 2.0);
    const double cy = y + 0.5 - (kMargin + kSize / 2.0);
    double inside = 0.0; // > 0 inside, < 0 outside, in pixels from the outline
    switch (shape) {
    case kSpotSquare:
        return x >= kMargin && x < kMargin + kSize && y >= kMargin && y < kMargin + kSize
                   ? Where::Inside
                   : Where::Outside;
    case kSpotTriangle: {
        // Apex (30, 10), base from (10, 50) to (50, 50): |cx| <= (y - 10) / 2.
        const double py = y + 0.5;
        inside = std::min((py - kMargin) / 2.0 - std::abs(cx), kMargin + kSize - py);
        break;
    }
    default:
        inside = kSize / 2.0 - std::sqrt(cx * cx + cy * cy);
        break;
    }
    return inside > 1.5 ? Where::Inside : inside < -1.5 ? Where::Outside : Where::Edge;
}

// The mask is 255 inside the shape and 0 outside, the same on a true-colour and on an
// 8-bit screen, whatever palette is realised there: one where white and black trade
// places, and one where they cannot be told apart.
TEST(SpotMask, ExactlyFullInsideTheShapeAndEmptyOutsideWhateverThePalette) {
    struct Screen {
        const char* Name;
        int32_t Bits;
        std::array<RGBQUAD, 256> Palette;
    };
    const Screen screens[] = {
        {"32-bit, grey ramp", 32, GreyRamp()},
        {"8-bit, grey ramp", 8, GreyRamp()},
        {"8-bit, reversed ramp", 8, ReversedRamp()},
        {"8-bit, one colour", 8, OneColour()},
    };
    for (const int32_t shape : {kSpotCircle, kSpotSquare, kSpotTriangle}) {
        std::vector<uint8_t> first;
        for (const Screen& screen : screens) {
            SCOPED_TRACE(std::string(screen.Name) + ", shape " + std::to_string(shape));
            MaskWorld w(screen.Bits, screen.Palette);
            ASSERT_TRUE(AddSpotMask(*w.Ctx, kEdge, kMargin, kSize, shape));
            const int32_t slot = w.Ctx->Engine.PictureCount() - 1;
            const PictureSlot& mask = w.Ctx->Engine.Pictures[static_cast<size_t>(slot)];
            ASSERT_EQ(mask.Width(), kEdge);
            ASSERT_EQ(mask.Height(), kEdge);
            int wrong = 0;
            for (int32_t y = 0; y < kEdge; ++y) {
                for (int32_t x = 0; x < kEdge; ++x) {
                    const uint8_t v = w.At(slot, x, y);
                    const Where where = Classify(shape, x, y);
                    wrong += (v != 0 && v != 255) || (where == Where::Inside && v != 255) ||
                             (where == Where::Outside && v != 0);
                }
            }
            EXPECT_EQ(wrong, 0);
            // The padding of each row stays 0 as well (60 is a multiple of 4: none here),
            // and every screen gives the very same mask.
            if (first.empty()) {
                first = mask.Pixels;
            } else {
                EXPECT_EQ(mask.Pixels, first);
            }
        }
    }
}

TEST(SpotMask, ApexOfTheTriangleAtTheTop) {
    MaskWorld w(32, GreyRamp());
    ASSERT_TRUE(AddSpotMask(*w.Ctx, kEdge, kMargin, kSize, kSpotTriangle));
    const int32_t slot = w.Ctx->Engine.PictureCount() - 1;
    auto width = [&](int32_t y) {
        int n = 0;
        for (int32_t x = 0; x < kEdge; ++x) {
            n += w.At(slot, x, y) == 255;
        }
        return n;
    };
    EXPECT_LE(width(kMargin + 1), 3);
    EXPECT_GE(width(kMargin + kSize - 1), kSize - 2);
    EXPECT_EQ(width(kMargin - 1), 0);
    EXPECT_EQ(width(kMargin + kSize + 1), 0);
}

// v = round(S / 15) + 1; B = D + 4 v + 11 rounded down to a multiple of 4; o = (B - D) / 2;
// R = trunc(sqrt(2 (D - 10)^2)); c = B/2 - (B/2) div Z; the zoom edge B div Z.
TEST(SpotlightsGeometry, SizesFromSpeedSizeAndZoom) {
    struct Case {
        int32_t Speed, Size, Zoom;
        int32_t Step, Edge, Margin;
        double Reach;
        int32_t ZoomOffset, ZoomEdge;
    };
    const Case cases[] = {
        {50, 100, 1, 4, 124, 12, 127, 0, 124},
        {50, 100, 2, 4, 124, 12, 127, 31, 62},
        {100, 200, 3, 8, 240, 20, 268, 80, 80},
        {1, 10, 1, 1, 24, 7, 0, 0, 24},
        // Preview: S and D already divided by 5.
        {10, 20, 2, 2, 36, 8, 14, 9, 18},
        // A factor beyond the edge behaves as the edge itself.
        {50, 100, 1000, 4, 124, 12, 127, 62, 1},
        // No shape for a negative size, as for 0.
        {50, -40, 1, 4, 24, 12, 14, 0, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Speed) + " " + std::to_string(c.Size));
        const SpotGeometry g = SpotlightsGeometry(c.Speed, c.Size, c.Zoom);
        EXPECT_EQ(g.Step, c.Step);
        EXPECT_EQ(g.Edge, c.Edge);
        EXPECT_EQ(g.Margin, c.Margin);
        EXPECT_EQ(g.Reach, c.Reach);
        EXPECT_EQ(g.ZoomOffset, c.ZoomOffset);
        EXPECT_EQ(g.ZoomEdge, c.ZoomEdge);
    }
}

// Colliding lenses fly apart at the unchanged speed 2 v, each pointing away from the other
// up to a tilt of 7 pixels, with the earlier lens's two draws first.
TEST(SeparateLenses, ApartAtTheUnchangedSpeed) {
    MaskWorld w(32, GreyRamp());
    FrameContext& ctx = *w.Ctx;
    struct Case {
        Vector2 Earlier, Later;
    };
    const Case cases[] = {
        {{100, 100}, {130, 110}},
        {{50, 80}, {20, 80}},
        {{10, 10}, {10, 50}},
        {{-16, 200}, {5, 180}},
    };
    for (const Case& c : cases) {
        ctx.RandSeed = 777;
        ShowContext copy(ctx.Os);
        copy.RandSeed = 777;
        const int32_t ex = NextRandom(copy, 15) - 7;
        const int32_t ey = NextRandom(copy, 15) - 7;
        const int32_t lx = NextRandom(copy, 15) - 7;
        const int32_t ly = NextRandom(copy, 15) - 7;
        Vector2 earlierV{3, 3};
        Vector2 laterV{3, 3};
        SeparateLenses(ctx, c.Later, laterV, c.Earlier, earlierV, 8.0);
        EXPECT_EQ(ctx.RandSeed, copy.RandSeed);
        EXPECT_NEAR(std::hypot(earlierV.X, earlierV.Y), 8.0, 1e-9);
        EXPECT_NEAR(std::hypot(laterV.X, laterV.Y), 8.0, 1e-9);
        const double dx = c.Later.X - c.Earlier.X;
        const double dy = c.Later.Y - c.Earlier.Y;
        // Along the tilted separation, exactly.
        const double ux = -dx + ex;
        const double uy = -dy + ey;
        EXPECT_NEAR(earlierV.X * uy - earlierV.Y * ux, 0.0, 1e-9);
        EXPECT_GT(earlierV.X * ux + earlierV.Y * uy, 0.0);
        EXPECT_NEAR(laterV.X * (dy + ly) - laterV.Y * (dx + lx), 0.0, 1e-9);
        // Away from each other.
        EXPECT_LT(earlierV.X * dx + earlierV.Y * dy, 0.0);
        EXPECT_GT(laterV.X * dx + laterV.Y * dy, 0.0);
    }
}

} // namespace
} // namespace qv::test
