// Video frames drawn into a window surface: the per-frame path of the media devices.
#include "platform/gdi_pixels.h"
#include "platform/media.h"
#include "platform/surface.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

qv::MediaFrame Frame(std::vector<uint32_t>& pixels, int32_t w, int32_t h) {
    pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint32_t>(i * 2654435761u) & 0x00FFFFFFu;
    }
    qv::MediaFrame f;
    f.Pixels = reinterpret_cast<const uint8_t*>(pixels.data());
    f.Width = w;
    f.Height = h;
    f.Stride = w * 4;
    return f;
}

// A 320 x 240 frame scaled to range(0) x range(1) on a 1024 x 768 true-colour window.
void BM_DrawScaledFrame32(benchmark::State& state) {
    std::vector<uint32_t> pixels;
    const qv::MediaFrame frame = Frame(pixels, 320, 240);
    qv::Surface target(1024, 768, qv::PixelFormat::Xrgb32);
    std::vector<int32_t> columns;
    const qv::Rect dest{0, 0, static_cast<int32_t>(state.range(0)),
                        static_cast<int32_t>(state.range(1))};
    for (auto _ : state) {
        qv::DrawScaledFrame(frame, target, dest, columns);
        target.TakeDamage();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}
BENCHMARK(BM_DrawScaledFrame32)->Args({320, 240})->Args({640, 480})->Args({1024, 768});

// The same on an 8-bit window: each pixel through the nearest-colour cache.
void BM_DrawScaledFrame8(benchmark::State& state) {
    std::vector<uint32_t> pixels;
    const qv::MediaFrame frame = Frame(pixels, 320, 240);
    qv::Surface target(1024, 768, qv::PixelFormat::Indexed8);
    for (size_t i = 0; i < 256; ++i) {
        target.Colors()[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3),
                              static_cast<uint8_t>(i * 7), 0};
    }
    std::vector<int32_t> columns;
    qv::gdi::NearestCache nearest;
    nearest.Reset(&target.Colors());
    const qv::Rect dest{0, 0, 640, 480};
    for (auto _ : state) {
        qv::DrawScaledFrame(frame, target, dest, columns, &nearest);
        target.TakeDamage();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_DrawScaledFrame8);

} // namespace

BENCHMARK_MAIN();
