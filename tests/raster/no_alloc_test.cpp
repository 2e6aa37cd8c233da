// The engine's per-frame operations must not touch the heap: this program counts every
// allocation made while a frame is drawn.

#include "raster_fixture.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool g_counting = false;
thread_local size_t g_allocations = 0;

void* Allocate(size_t n) {
    if (g_counting) {
        ++g_allocations;
    }
    if (void* p = std::malloc(n == 0 ? 1 : n)) {
        return p;
    }
    throw std::bad_alloc();
}
} // namespace

void* operator new(size_t n) {
    return Allocate(n);
}
void* operator new[](size_t n) {
    return Allocate(n);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

namespace qv::test {
namespace {

class PerFrame : public RasterTest {};

TEST_F(PerFrame, DrawingAFrameAllocatesNothing) {
    EngineInit(ctx, 96, 80, 256, 0x401);
    ctx.Engine.ScreenWidth = 300;
    ctx.Engine.ScreenHeight = 200;
    const int32_t texture = PutPattern(32, 24, [](int32_t c, int32_t r) { return c + r; });
    const int32_t spot = PutPattern(96, 80, [](int32_t, int32_t) { return 3; });
    const int32_t mask = PutPattern(96, 80, [](int32_t c, int32_t) { return c % 2 ? 255 : 0; });
    const int32_t other = PutPattern(96, 80, [](int32_t, int32_t) { return 5; });
    ctx.Engine.BackgroundPicture = texture;
    for (int32_t i = 0; i < 8; ++i) {
        AddPanel(ctx, {i * 10 - 40, 300 + i * 20, 0}, {-15, 0, 15}, {15, 0, 15}, {15, 0, -15},
                 {-15, 0, -15}, {0, 0}, {31, 0}, {31, 23}, {0, 23}, texture);
    }
    PrepareObjects(ctx);
    ctx.Engine.View.Distance = 100;
    ASSERT_TRUE(Errors.empty());

    g_counting = true;
    for (int32_t frame = 0; frame < 20; ++frame) {
        for (int32_t i = 0; i < ctx.Engine.ObjectCount; ++i) {
            ctx.Engine.Objects[static_cast<size_t>(i)].Angles = {frame * 7 % 360, frame * 3 % 360,
                                                                 frame * 11 % 360};
        }
        ctx.Engine.View.Angles.C = frame * 5;
        SetView(ctx);
        ShowScene(ctx, frame, -frame);
        ShowPicture(ctx, 3, 4, texture);
        ShowPictureKeyed(ctx, 3, 4, texture);
        DrawTiledBackground(ctx, spot, texture, frame - 10, frame * 2);
        DrawCentredBackground(ctx, -1, texture, frame, 7);
        AndPictures(ctx, spot, mask);
        MaskedZoomCopy(ctx, spot, texture, mask, 3);
        MergePictures(ctx, spot, other, frame % 20 - 10, 3);
        OverlayPictureKeyed(ctx, spot, texture);
        WaveRows(ctx, other, texture, 4, 2, 3, 10, frame * 4);
        WaveColumns(ctx, -1, other, 0, 3, 3, 12, frame * 6);
    }
    g_counting = false;
    EXPECT_EQ(g_allocations, 0u);
}

} // namespace
} // namespace qv::test
