#include "raster/target.h"
#include "raster_fixture.h"

namespace qv::test {
namespace {

class Engine : public RasterTest {};

struct ViewportCase {
    int32_t W, H;
    int32_t WantW, WantCentreX, WantCentreY;
    int32_t WantBytes;
};

TEST_F(Engine, ViewportIsRoundedAndTheFrameBufferHasItsMinimum) {
    const ViewportCase cases[] = {
        {30, 7, 32, 16, 3, 4096},     {64, 64, 64, 32, 32, 4096}, {1, 1, 4, 2, 0, 4096},
        {100, 50, 100, 50, 25, 5000}, {-5, -5, 0, 0, 0, 4096},
    };
    for (const ViewportCase& c : cases) {
        EngineInit(ctx, c.W, c.H, 256, 1);
        const RasterEngine& e = ctx.Engine;
        EXPECT_EQ(e.ViewportW, c.WantW) << c.W;
        EXPECT_EQ(e.ViewportH, std::max(c.H, 0)) << c.W;
        EXPECT_EQ(e.CentreX, c.WantCentreX) << c.W;
        EXPECT_EQ(e.CentreY, c.WantCentreY) << c.W;
        EXPECT_EQ(e.FrameBufferSize, c.WantBytes) << c.W;
        EXPECT_EQ(e.FrameBuffer, Bytes(static_cast<size_t>(c.WantBytes), 0)) << c.W;
        EXPECT_EQ(e.FrameHeader.bmiHeader.biWidth, c.WantW);
    }
    EngineResize(ctx, 130, 40);
    EXPECT_EQ(ctx.Engine.ViewportW, 132);
    EXPECT_EQ(ctx.Engine.FrameBufferSize, 132 * 40);
    EXPECT_EQ(ctx.Engine.FrameHeader.bmiHeader.biHeight, 40);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(Engine, FlagsChooseRenderAndBackgroundModes) {
    struct Case {
        uint32_t Flags;
        uint8_t Background;
        bool Snapshot;
    };
    const Case cases[] = {{0x001, 0, false}, {0x101, 1, false}, {0x301, 1, true}, {0x401, 2, false},
                          {0x801, 3, false}, {0xD01, 3, false}, {0x501, 2, false}};
    for (const Case& c : cases) {
        EngineInit(ctx, 8, 8, 256, c.Flags);
        EXPECT_EQ(ctx.Engine.RenderMode, 1u) << c.Flags;
        EXPECT_EQ(ctx.Engine.BackgroundMode, c.Background) << c.Flags;
        EXPECT_EQ(ctx.Engine.DesktopSnapshot, c.Snapshot) << c.Flags;
        EXPECT_TRUE(ctx.Engine.Running);
        EXPECT_EQ(ctx.Engine.PrevX, kNothingPresented);
    }
    EXPECT_EQ(ctx.Engine.ShadesPerColour, 1);
    EXPECT_EQ(ctx.Engine.LightScale, 1);
}

TEST_F(Engine, FrameHeaderAndRgb555Table) {
    EngineInit(ctx, 10, 6, 256, 1);
    const BITMAPINFOHEADER& h = ctx.Engine.FrameHeader.bmiHeader;
    EXPECT_EQ(+h.biSize, 40u);
    EXPECT_EQ(+h.biWidth, 12);
    EXPECT_EQ(+h.biHeight, 6);
    EXPECT_EQ(+h.biPlanes, 1);
    EXPECT_EQ(+h.biBitCount, 8);
    EXPECT_EQ(+h.biCompression, 0u);
    EXPECT_EQ(+h.biSizeImage, 0u);
    EXPECT_EQ(+h.biClrUsed, 256u);
    EXPECT_EQ(+h.biClrImportant, 256u);
    ctx.Engine.FrameHeader.bmiColors[3] = RGBQUAD{7, 128, 255, 0}; // blue, green, red
    ctx.Engine.FrameHeader.bmiColors[4] = RGBQUAD{255, 255, 255, 0};
    ResetFrameHeader(ctx.Engine);
    EXPECT_EQ(ctx.Engine.Rgb555[3], (31 << 10) | (16 << 5) | 0);
    EXPECT_EQ(ctx.Engine.Rgb555[4], 0x7FFF);
    // The working palette is the frame header's colour table and survives a reset.
    EXPECT_EQ(ctx.Engine.FrameHeader.bmiColors[3], (RGBQUAD{7, 128, 255, 0}));
}

TEST_F(Engine, AFrameBufferThatCannotBeAllocatedFailsWithGA) {
    ctx.Engine.AllocationLimit = 5000;
    EngineInit(ctx, 100, 100, 256, 1);
    EXPECT_EQ(Errors, std::vector<std::string>{"GA"});
    EXPECT_TRUE(ctx.Engine.EngineFailed);
    EXPECT_TRUE(ctx.Engine.FrameBuffer.empty());
    // Drawing on an engine without a frame buffer does nothing rather than crash.
    ShowPicture(ctx, 0, 0, 0);
    RenderScene(ctx);
    // A new start clears the failure.
    Errors.clear();
    EngineInit(ctx, 50, 50, 256, 1);
    EXPECT_TRUE(Errors.empty());
    EXPECT_FALSE(ctx.Engine.EngineFailed);
    EXPECT_EQ(ctx.Engine.FrameBufferSize, 4096);
}

TEST_F(Engine, ShutdownReleasesPicturesObjectsAndTheFrameBuffer) {
    EngineInit(ctx, 16, 16, 256, 1);
    PutPattern(4, 4, [](int32_t, int32_t) { return 1; });
    ctx.Engine.Objects[0].VertexCount = 8;
    ctx.Engine.Objects[0].PolygonCount = 6;
    AllocObject(ctx, ctx.Engine.Objects[0]);
    ctx.Engine.ObjectCount = 1;
    EngineShutdown(ctx);
    EXPECT_FALSE(ctx.Engine.Running);
    EXPECT_EQ(ctx.Engine.PictureCount(), 0);
    EXPECT_TRUE(ctx.Engine.Pictures[0].Pixels.empty());
    EXPECT_TRUE(ctx.Engine.Objects[0].Vertices.empty());
    EXPECT_TRUE(ctx.Engine.FrameBuffer.empty());
    // Shutting down twice is harmless.
    EngineShutdown(ctx);
    EXPECT_TRUE(Errors.empty());
}

TEST(EngineContexts, TwoEnginesLiveSideBySide) {
    TempDir dir;
    Platform os(HeadlessOptions(dir, {32, 32}),
                HeadlessHost::Create(HeadlessOptions(dir, {32, 32})));
    EngineContext a(os);
    EngineContext b(os);
    EngineInit(a, 8, 8, 256, 1);
    EngineInit(b, 100, 100, 256, 1);
    EXPECT_EQ(a.Engine.FrameBufferSize, 4096);
    EXPECT_EQ(b.Engine.FrameBufferSize, 10000);
}

// The range checks of the inner loops stop a checking build at the first index outside
// a picture or a target, naming the function that found it.
TEST(RangeChecks, StopAtABadIndexAndNameTheFunction) {
#if !defined(QV_CHECKS)
    GTEST_SKIP() << "range checks are compiled into debug builds only";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    PictureSlot slot;
    slot.Header.bmiHeader.biWidth = 3;
    slot.Header.bmiHeader.biHeight = 2;
    slot.Stride = 4;
    slot.Size = 8;
    slot.Pixels.assign(8, 7);
    Bytes frame(16, 0);
    const PixelWriter<uint8_t> out{frame.data(), 4, 4, 4, nullptr};
    const uint8_t* row = slot.Row(1);
    out.Put(3, 3, row[2]);
    out.Copy(0, 1, row, 3);
    EXPECT_EQ(frame[15], 7);
    EXPECT_EQ(frame[3], 7);
    EXPECT_DEATH(slot.Row(2), "Row: check failed");
    EXPECT_DEATH(slot.Rows().Row(-1), "Row: check failed");
    EXPECT_DEATH(out.Put(0, 4, 1), "Put: check failed");
    EXPECT_DEATH(out.Put(4, 0, 1), "Row: check failed");
    EXPECT_DEATH(out.Copy(3, 2, row, 3), "Copy: check failed");
    EXPECT_DEATH(out.Fill(3, -1, 2, 0), "Fill: check failed");
    slot.Pixels.resize(6); // shorter than its rows
    EXPECT_DEATH(slot.Row(1), "Row: check failed");
#endif
}

} // namespace
} // namespace qv::test
