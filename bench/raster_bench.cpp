// Speed of the raster engine's hot paths: the textured span, whole scenes, the waves,
// the common palette and picture loading. Run the release build.

#include "platform/headless/headless_host.h"
#include "platform/platform.h"
#include "raster/engine.h"
#include "show/picture_codec.h"

#include <array>
#include <benchmark/benchmark.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <unistd.h>

namespace qv {
namespace {

// A headless platform and an engine for one benchmark.
struct Bench {
    std::filesystem::path Dir;
    std::unique_ptr<Platform> Os;
    std::unique_ptr<EngineContext> Ctx;

    Bench() {
        Dir = std::filesystem::temp_directory_path() /
              ("qv-raster-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(Dir);
        HostOptions o;
        o.Display = DisplayKind::Headless;
        o.ScreenSize = {1024, 768};
        o.Root = (Dir / "root").string();
        o.Args = {"raster_bench"};
        Os = std::make_unique<Platform>(o, HeadlessHost::Create(o));
        Ctx = std::make_unique<EngineContext>(*Os);
    }
    ~Bench() {
        Ctx.reset();
        Os.reset();
        std::error_code ec;
        std::filesystem::remove_all(Dir, ec);
    }
};

BITMAPINFO Header(int32_t w, int32_t h) {
    BITMAPINFO info{};
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biBitCount = 8;
    info.bmiHeader.biClrUsed = 256;
    info.bmiHeader.biClrImportant = 256;
    for (int i = 0; i < 256; ++i) {
        info.bmiColors[i] = RGBQUAD{static_cast<uint8_t>(i), static_cast<uint8_t>(i * 7),
                                    static_cast<uint8_t>(255 - i), 0};
    }
    return info;
}

// A photo-like picture: smooth gradients with some noise, in the next slot.
int32_t AddPicture(EngineContext& ctx, int32_t w, int32_t h, uint32_t seed) {
    RasterEngine& e = ctx.Engine;
    PictureSlot& slot = e.Pictures[static_cast<size_t>(e.PictureTotal)];
    slot.Header = Header(w, h);
    for (int i = 0; i < 256; ++i) {
        slot.Header.bmiColors[i].Red = static_cast<uint8_t>(i * (seed + 3));
    }
    slot.Stride = (w + 3) & ~3;
    slot.Size = slot.Stride * h;
    slot.Header.bmiHeader.biSizeImage = static_cast<uint32_t>(slot.Size);
    slot.Pixels.assign(static_cast<size_t>(slot.Size), 0);
    std::mt19937 random(seed);
    for (int32_t r = 0; r < h; ++r) {
        for (int32_t c = 0; c < w; ++c) {
            slot.Pixels[static_cast<size_t>(r * slot.Stride + c)] =
                static_cast<uint8_t>((c / 3 + r / 5 + (random() % 4)) & 0xFF);
        }
    }
    return e.PictureTotal++;
}

// A full 640 x 480 screen of textured rows, 8-bit indices (arg 0) or RGB555 pixels (arg 1).
void BM_TexturedSpan(benchmark::State& state) {
    const int32_t w = 640;
    const int32_t h = 480;
    const bool highColour = state.range(0) != 0;
    std::vector<uint8_t> target(static_cast<size_t>(w * h) * (highColour ? 2 : 1));
    std::vector<uint8_t> texels(256 * 256);
    for (size_t i = 0; i < texels.size(); ++i) {
        texels[i] = static_cast<uint8_t>(i * 31);
    }
    std::array<uint16_t, 256> rgb555{};
    for (size_t i = 0; i < rgb555.size(); ++i) {
        rgb555[i] = static_cast<uint16_t>(i * 129);
    }
    SpanParams span;
    span.Target = target.data();
    span.Rgb555 = highColour ? rgb555.data() : nullptr;
    span.ViewportW = w;
    span.ViewportH = h;
    span.Texels = texels.data();
    span.TexStride = 256;
    span.TexHeight = 256;
    int64_t pixels = 0;
    for (auto _ : state) {
        for (int32_t r = 0; r < h; ++r) {
            span.Row = r;
            span.XA = fixed::ToFixed(0);
            span.XB = fixed::ToFixed(w - 1);
            span.UA = fixed::ToFixed(r % 256);
            span.VA = fixed::ToFixed(0);
            span.UB = fixed::ToFixed(255 - r % 256);
            span.VB = fixed::ToFixed(255);
            DrawTexturedSpan(span);
        }
        pixels += int64_t{w} * h;
        benchmark::DoNotOptimize(target.data());
    }
    // Reported as items (pixels) per second.
    state.SetItemsProcessed(pixels);
}
BENCHMARK(BM_TexturedSpan)->ArgName("rgb555")->Arg(0)->Arg(1);

void BuildCube(EngineContext& ctx, int32_t s) {
    RasterEngine& e = ctx.Engine;
    e.ObjectCount = 0;
    Object3D& box = e.Objects[0];
    box.VertexCount = 8;
    box.PolygonCount = 6;
    AllocObject(ctx, box);
    const int32_t v[8][3] = {{-s, -s, -s}, {s, -s, -s}, {-s, -s, s}, {s, -s, s},
                             {-s, s, -s},  {s, s, -s},  {-s, s, s},  {s, s, s}};
    for (int i = 0; i < 8; ++i) {
        SetPoint(v[i][0], v[i][1], v[i][2], box.Vertices[static_cast<size_t>(i)]);
    }
    const int16_t faces[6][4] = {{0, 1, 3, 2}, {5, 4, 6, 7}, {4, 0, 2, 6},
                                 {1, 5, 7, 3}, {2, 3, 7, 6}, {1, 0, 4, 5}};
    for (int k = 0; k < 6; ++k) {
        SetPolygon(faces[k][0], faces[k][1], faces[k][2], faces[k][3], {0, 2048}, {2048, 2048},
                   {2048, 0}, {0, 0}, k % e.PictureTotal, box.Polygons[static_cast<size_t>(k)]);
    }
    e.ObjectCount = 1;
    PrepareObjects(ctx);
}

void BM_ShowSceneCube(benchmark::State& state) {
    Bench b;
    EngineContext& ctx = *b.Ctx;
    EngineInit(ctx, 256, 256, 256, 1);
    for (uint32_t i = 0; i < 6; ++i) {
        AddPicture(ctx, 200, 200, i);
    }
    BuildCube(ctx, 70);
    ctx.Engine.View.Distance = 400;
    int32_t angle = 0;
    for (auto _ : state) {
        Object3D& box = ctx.Engine.Objects[0];
        box.Angles = Angles3{angle % 360, (angle * 2) % 360, (angle * 3) % 360};
        ++angle;
        SetView(ctx);
        ShowScene(ctx, 0, 0);
        benchmark::DoNotOptimize(ctx.Engine.FrameBuffer.data());
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ShowSceneCube);

void BM_ShowScenePanels(benchmark::State& state) {
    Bench b;
    EngineContext& ctx = *b.Ctx;
    EngineInit(ctx, 512, 512, 256, 1);
    AddPicture(ctx, 400, 400, 1);
    // An 8 x 8 grid of tiles of the picture, each tumbling a little.
    for (int32_t r = 0; r < 8; ++r) {
        for (int32_t c = 0; c < 8; ++c) {
            const int32_t u = c * 50;
            const int32_t v = r * 50;
            AddPanel(ctx, {c * 50 - 200, 0, 200 - r * 50}, {0, 0, 0}, {51, 0, 0}, {51, 0, -51},
                     {0, 0, -51}, {u, v}, {u + 50, v}, {u + 50, v + 50}, {u, v + 50}, 0);
        }
    }
    PrepareObjects(ctx);
    ctx.Engine.View.Distance = 470;
    int32_t step = 0;
    for (auto _ : state) {
        for (int32_t i = 0; i < ctx.Engine.ObjectCount; ++i) {
            Object3D& o = ctx.Engine.Objects[static_cast<size_t>(i)];
            o.Angles = Angles3{(step * (i % 5)) % 360, (step * (i % 3)) % 360, (step * 2) % 360};
        }
        ++step;
        SetView(ctx);
        ShowScene(ctx, 0, 0);
        benchmark::DoNotOptimize(ctx.Engine.FrameBuffer.data());
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ShowScenePanels);

void BM_WaveRowsAndColumns(benchmark::State& state) {
    Bench b;
    EngineContext& ctx = *b.Ctx;
    const int32_t w = 640;
    const int32_t h = 480;
    const int32_t a1 = 8;
    const int32_t a2 = 8;
    EngineInit(ctx, w + 2 * a2, h + 2 * a1, 256, 1);
    AddPicture(ctx, w, h, 3);
    AddBlankPicture(ctx, ctx.Engine.ViewportW, h);
    int32_t phase = 0;
    for (auto _ : state) {
        WaveRows(ctx, 1, 0, a2, 0, a2, 10, phase);
        WaveColumns(ctx, -1, 1, 0, a1, a1, 10, phase);
        phase += 3;
        benchmark::DoNotOptimize(ctx.Engine.FrameBuffer.data());
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WaveRowsAndColumns);

// One wave alone, 640 x 480 picture 0 into picture 1 or the frame buffer. Arg 0: rows
// (1) or columns (2); arg 1: into the frame buffer in RGB555 (1) or 8-bit picture 1 (0).
void BM_Wave(benchmark::State& state) {
    Bench b;
    EngineContext& ctx = *b.Ctx;
    const int32_t w = 640;
    const int32_t h = 480;
    const int32_t amplitude = 8;
    const bool columns = state.range(0) == 2;
    const bool highColour = state.range(1) != 0;
    // A screen-capture background gives a 16-bit frame buffer on the 32-bit headless screen.
    EngineInit(ctx, w + 2 * amplitude, h + 2 * amplitude, 256, highColour ? kBackgroundScreen : 1);
    if (ctx.Engine.HighColour != highColour) {
        state.SkipWithError("the frame buffer is not in the wanted format");
        return;
    }
    AddPicture(ctx, w, h, 3);
    AddBlankPicture(ctx, ctx.Engine.ViewportW, ctx.Engine.ViewportH);
    const int32_t dst = highColour ? -1 : 1;
    int32_t phase = 0;
    for (auto _ : state) {
        if (columns) {
            WaveColumns(ctx, dst, 0, amplitude, amplitude, amplitude, 10, phase);
        } else {
            WaveRows(ctx, dst, 0, amplitude, amplitude, amplitude, 10, phase);
        }
        phase += 3;
        benchmark::DoNotOptimize(ctx.Engine.FrameBuffer.data());
        benchmark::DoNotOptimize(ctx.Engine.Pictures[1].Pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t{w} * h);
}
BENCHMARK(BM_Wave)->ArgNames({"dir", "rgb555"})->ArgsProduct({{1, 2}, {0, 1}});

void BM_BuildCommonPalette(benchmark::State& state) {
    Bench b;
    EngineContext& ctx = *b.Ctx;
    EngineInit(ctx, 64, 64, 256, 1);
    for (uint32_t i = 0; i < 10; ++i) {
        AddPicture(ctx, 800, 600, i);
    }
    for (auto _ : state) {
        BuildCommonPalette(ctx, true);
        benchmark::DoNotOptimize(ctx.Engine.Pictures[0].Pixels.data());
    }
}
BENCHMARK(BM_BuildCommonPalette)->Unit(benchmark::kMillisecond);

void BM_LoadPictureRle8(benchmark::State& state) {
    Bench b;
    EngineContext& ctx = *b.Ctx;
    EngineInit(ctx, 64, 64, 256, 1);
    const int32_t w = 800;
    const int32_t h = 600;
    AddPicture(ctx, w, h, 5);
    const PictureSlot& p = ctx.Engine.Pictures[0];
    const std::vector<uint8_t> packed = EncodeRle8(p.Pixels, w, h, p.Stride);
    BITMAPINFO info = p.Header;
    info.bmiHeader.biCompression = BI_RLE8;
    info.bmiHeader.biSizeImage = static_cast<uint32_t>(packed.size());
    // The show file: a table whose first entry points at the record just after it.
    std::vector<uint8_t> file(256, 0);
    file.resize(file.size() + 14, 0);
    const auto* hp = reinterpret_cast<const uint8_t*>(&info);
    file.insert(file.end(), hp, hp + sizeof info);
    file.insert(file.end(), packed.begin(), packed.end());
    const auto path = b.Dir / "show.qdm";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    FreePictures(ctx);
    const HFILE f = ctx.Os.Files().CreateFile(PathMap::ToWindows(path), FileAccess::Read,
                                              FileCreation::OpenExisting);
    OpenPictureTable(ctx, f);
    for (auto _ : state) {
        LoadPicture(ctx, 0);
        benchmark::DoNotOptimize(ctx.Engine.Pictures[0].Pixels.data());
        FreePictures(ctx);
    }
    state.counters["packed bytes"] = static_cast<double>(packed.size());
}
BENCHMARK(BM_LoadPictureRle8)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace qv

BENCHMARK_MAIN();
