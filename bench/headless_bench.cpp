// Speed of the headless host's per-frame paths: one round of message processing, the
// composition of the screen, and a recorded GIF frame (exact palette and colour cube).
// items_per_second counts pixels where a frame is handled.

#include "platform/headless/headless_host.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace qv;

constexpr int32_t kWidth = 1024;
constexpr int32_t kHeight = 768;

// A headless platform with one full-screen window, its root in the temporary folder.
struct World {
    std::filesystem::path Root = std::filesystem::temp_directory_path() / "qv_headless_bench";
    std::unique_ptr<Platform> Os;
    HeadlessHost* Host = nullptr;
    HWND Wnd = 0;

    World() {
        const std::string root = "--root=" + Root.string();
        const char* argv[] = {"bench", root.c_str(), "--size=1024x768"};
        HostOptions options = ParseHostOptions(3, argv);
        auto host = std::make_unique<HeadlessHost>(options);
        Host = host.get();
        Os = std::make_unique<Platform>(std::move(options), std::move(host));
        CreateWindowParams p;
        p.ClassName = "Bench";
        p.Style = WS_POPUP | WS_VISIBLE;
        p.Bounds = {0, 0, kWidth, kHeight};
        Wnd = Os->User().CreateWindow(p);
    }
    ~World() {
        Os.reset();
        std::error_code ec;
        std::filesystem::remove_all(Root, ec);
    }
};

void FillFrame(Surface& s, uint32_t frame, bool manyColours) {
    for (int32_t y = 0; y < s.Height(); ++y) {
        uint32_t* row = s.Row32(y);
        for (int32_t x = 0; x < s.Width(); ++x) {
            row[x] = manyColours ? (static_cast<uint32_t>(x + frame) & 0xFF) << 16 |
                                       (static_cast<uint32_t>(y) & 0xFF) << 8 | (frame & 0xFF)
                                 : ((static_cast<uint32_t>(x + y + frame) >> 4) & 0x7F) * 0x010101;
        }
    }
}

void BM_ProcessMessagesRound(benchmark::State& state) {
    World world;
    for (auto _ : state) {
        world.Os->User().PostMessage(world.Wnd, WM_USER, 0, 0);
        world.Os->User().ProcessMessages();
    }
}
BENCHMARK(BM_ProcessMessagesRound);

void BM_ComposeScreen(benchmark::State& state) {
    World world;
    FillFrame(*world.Os->User().WindowSurface(world.Wnd), 0, true);
    for (auto _ : state) {
        benchmark::DoNotOptimize(world.Host->ComposeView().Pixels);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ComposeScreen);

// Each iteration hands the recorder a new frame, so the previous one is quantised and
// written: the cost of one recorded frame that changed.
void BM_GifFrame(benchmark::State& state) {
    const bool manyColours = state.range(0) != 0;
    const auto file = std::filesystem::temp_directory_path() / "qv_headless_bench.gif";
    Surface frames[2] = {Surface(kWidth, kHeight, PixelFormat::Xrgb32),
                         Surface(kWidth, kHeight, PixelFormat::Xrgb32)};
    FillFrame(frames[0], 0, manyColours);
    FillFrame(frames[1], 1, manyColours);
    GifRecorder gif;
    std::string error;
    if (!gif.Open(file.string(), &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    uint32_t t = 0;
    for (auto _ : state) {
        const Surface& s = frames[t % 2];
        gif.AddFrame({s.Row32(0), kWidth, kHeight, s.Stride() / 4}, t * 40);
        ++t;
    }
    gif.Finish(t * 40, 40);
    std::filesystem::remove(file);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_GifFrame)->Arg(0)->Arg(1)->ArgNames({"many_colours"})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
