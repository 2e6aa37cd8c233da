#include "platform/headless/headless_host.h"
#include "show/show_context.h"
#include "test_support.h"
#include "transitions/styles.h"

#include <cmath>
#include <gtest/gtest.h>

namespace qv::test {
namespace {

// A context for the random draws of the sweeps.
struct SweepWorld {
    SweepWorld() {
        HostOptions o;
        o.Root = Dir.Path().string();
        o.Args = {(Dir.Path() / "test.scr").string()};
        Os = std::make_unique<Platform>(o, HeadlessHost::Create(o));
        Ctx = std::make_unique<ShowContext>(*Os);
        Ctx->RandSeed = 12345;
    }
    TempDir Dir;
    std::unique_ptr<Platform> Os;
    std::unique_ptr<ShowContext> Ctx;
};

// A 64 x 48 square on a 320 x 240 screen, at speed 9.
PainterSweep Sweep(double x, double y, double vx, double vy) {
    PainterSweep w;
    w.X = x;
    w.Y = y;
    w.V = {vx, vy};
    w.Width = 64;
    w.Height = 48;
    w.Step = 9;
    w.Left = 0;
    w.Right = 320;
    w.Top = 0;
    w.Bottom = 240;
    return w;
}

double Length(const Vector2& v) {
    return std::sqrt(v.X * v.X + v.Y * v.Y);
}

// Moves and steps until the machine is back in state 0; the frames taken.
int RunSweep(ShowContext& ctx, PainterSweep& w, double* minY = nullptr, double* maxY = nullptr) {
    int frames = 0;
    do {
        w.X += w.V.X;
        w.Y += w.V.Y;
        StepSweep(ctx, w);
        if (minY) {
            *minY = std::min(*minY, w.Y);
            *maxY = std::max(*maxY, w.Y);
        }
    } while (w.State != 0 && ++frames < 10000);
    return frames;
}

// Meeting the right wall: straight up at speed v; up to the top, down to the bottom and
// back up past the row where it met the wall; then the right bound moves in to the
// square's left edge + 16 and the sprite leaves leftward at speed v.
TEST(PainterSweep, SideWallSweepMovesTheRightBoundIn) {
    SweepWorld world;
    PainterSweep w = Sweep(256.5, 100.0, 6.0, 6.0);
    StepSweep(*world.Ctx, w);
    ASSERT_EQ(w.State, 1);
    EXPECT_EQ(w.V.X, 0.0);
    EXPECT_EQ(w.V.Y, -9.0);
    EXPECT_EQ(w.Target, 100);
    EXPECT_EQ(w.Saved.X, 6.0);
    double minY = w.Y;
    double maxY = w.Y;
    ASSERT_LT(RunSweep(*world.Ctx, w, &minY, &maxY), 10000);
    EXPECT_LE(minY, 0.0);
    EXPECT_GE(maxY + 48, 240.0);
    EXPECT_LT(w.Y, 100.0);
    EXPECT_EQ(w.Right, 256 + 16);
    EXPECT_EQ(w.Left, 0);
    EXPECT_LT(w.V.X, 0.0);
    EXPECT_NEAR(Length(w.V), 9.0, 1e-9);
}

// Meeting the bottom: straight left, to the left wall, right to the right wall and back
// left past the column; then the bottom bound moves up to the square's top + 16.
TEST(PainterSweep, BottomSweepMovesTheBottomBoundUp) {
    SweepWorld world;
    PainterSweep w = Sweep(100.0, 192.5, 6.0, 6.0);
    StepSweep(*world.Ctx, w);
    ASSERT_EQ(w.State, 2);
    EXPECT_EQ(w.V.X, -9.0);
    EXPECT_EQ(w.V.Y, 0.0);
    EXPECT_EQ(w.Target, 100);
    ASSERT_LT(RunSweep(*world.Ctx, w), 10000);
    EXPECT_EQ(w.Bottom, 192 + 16);
    EXPECT_EQ(w.Top, 0);
    EXPECT_LT(w.V.Y, 0.0);
    EXPECT_NEAR(Length(w.V), 9.0, 1e-9);
}

// A corner met exactly: the side wall is tested first; a target row at or above the top
// becomes the middle row on the next frame.
TEST(PainterSweep, ACornerSweepsTheSideAndAimsAtTheMiddleRow) {
    SweepWorld world;
    PainterSweep w = Sweep(256.0, 0.0, 6.0, -6.0);
    StepSweep(*world.Ctx, w);
    ASSERT_EQ(w.State, 1);
    EXPECT_EQ(w.Target, 0);
    w.Y += w.V.Y;
    StepSweep(*world.Ctx, w);
    EXPECT_EQ(w.Target, 120);
    EXPECT_TRUE(w.F1);
    EXPECT_GT(w.V.Y, 0.0);
}

// Away from every wall the run goes on unchanged, the velocity saved for a reflection.
TEST(PainterSweep, NoWallNoChange) {
    SweepWorld world;
    PainterSweep w = Sweep(100.0, 100.0, 6.0, -6.0);
    const uint32_t seed = world.Ctx->RandSeed;
    StepSweep(*world.Ctx, w);
    EXPECT_EQ(w.State, 0);
    EXPECT_EQ(w.V.X, 6.0);
    EXPECT_EQ(w.V.Y, -6.0);
    EXPECT_EQ(w.Saved.X, 6.0);
    EXPECT_EQ(world.Ctx->RandSeed, seed);
}

} // namespace
} // namespace qv::test
