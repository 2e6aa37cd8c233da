// Speed of the GDI paths a show uses every frame, beside a plain memcpy of the same number
// of bytes. items_per_second counts pixels; bytes_per_second counts bytes written.

#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/host.h"
#include "platform/trace.h"
#include "platform/user.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

using namespace qv;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int64_t kPixels = int64_t{kWidth} * kHeight;

class BenchHost : public Host {
public:
    BenchHost() : m_desktop(kWidth, kHeight, PixelFormat::Xrgb32) {}
    std::string_view Name() const override { return "bench"; }
    void Attach(Platform&) override {}
    Size ScreenSize() const override { return {kWidth, kHeight}; }
    Surface& Desktop() override { return m_desktop; }
    void DeliverInput() override {}
    void AfterMessages() override {}
    int MessageBoxAnswer(std::string_view, std::string_view, uint32_t) override { return IDOK; }
    PasswordAnswer PasswordPrompt() override { return PasswordAnswer::Accept; }

private:
    Surface m_desktop;
};

// A 32-bit screen with one full-screen window and its DC.
struct World {
    BenchHost Screen;
    Clock TheClock{Clock::Mode::Virtual, SystemTime{2000, 1, 6, 1, 0, 0, 0, 0}, 10};
    Trace TheTrace;
    WindowManager Windows{Screen, TheClock, TheTrace, std::filesystem::temp_directory_path()};
    Gdi TheGdi{Windows, Screen};
    HWND Wnd = 0;
    HDC Dc = 0;

    World() {
        CreateWindowParams p;
        p.ClassName = "GdiBench";
        p.Style = WS_POPUP;
        p.Bounds = {0, 0, kWidth, kHeight};
        Wnd = Windows.CreateWindow(p);
        Dc = TheGdi.GetDC(Wnd);
    }
};

void Count(benchmark::State& state, int64_t pixels, int64_t bytesPerPixel) {
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * bytesPerPixel);
}

void BM_Memcpy32(benchmark::State& state) {
    std::vector<uint8_t> a(static_cast<size_t>(kPixels) * 4, 1);
    std::vector<uint8_t> b(a.size(), 2);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    Count(state, kPixels, 4);
}
BENCHMARK(BM_Memcpy32)->Unit(benchmark::kMillisecond);

void BM_SetDIBitsToDevice8To32(benchmark::State& state) {
    World w;
    BITMAPINFO info{};
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = kHeight;
    info.bmiHeader.biBitCount = 8;
    for (int i = 0; i < 256; ++i) {
        info.bmiColors[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3),
                             static_cast<uint8_t>(255 - i), 0};
    }
    std::vector<uint8_t> bits(static_cast<size_t>(kPixels));
    for (size_t i = 0; i < bits.size(); ++i) {
        bits[i] = static_cast<uint8_t>(i * 7);
    }
    for (auto _ : state) {
        w.TheGdi.SetDIBitsToDevice(w.Dc, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, bits.data(),
                                   &info, DIB_RGB_COLORS);
        benchmark::ClobberMemory();
    }
    Count(state, kPixels, 4);
}
BENCHMARK(BM_SetDIBitsToDevice8To32)->Unit(benchmark::kMillisecond);

void BM_SetDIBitsToDevice555To32(benchmark::State& state) {
    World w;
    BITMAPINFO info{};
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = kHeight;
    info.bmiHeader.biBitCount = 16;
    std::vector<uint16_t> bits(static_cast<size_t>(kPixels));
    for (size_t i = 0; i < bits.size(); ++i) {
        bits[i] = static_cast<uint16_t>(i * 37);
    }
    for (auto _ : state) {
        w.TheGdi.SetDIBitsToDevice(w.Dc, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, bits.data(),
                                   &info, DIB_RGB_COLORS);
        benchmark::ClobberMemory();
    }
    Count(state, kPixels, 4);
}
BENCHMARK(BM_SetDIBitsToDevice555To32)->Unit(benchmark::kMillisecond);

void BM_BitBltSelfCopy(benchmark::State& state) {
    World w;
    // The whole window moved down and right by 3 pixels onto itself: the overlapping
    // copy that scrolls a capture.
    for (auto _ : state) {
        w.TheGdi.BitBlt(w.Dc, 3, 3, kWidth, kHeight, w.Dc, 0, 0, SRCCOPY);
        benchmark::ClobberMemory();
    }
    Count(state, int64_t{kWidth - 3} * (kHeight - 3), 4);
}
BENCHMARK(BM_BitBltSelfCopy)->Unit(benchmark::kMillisecond);

void BM_BitBltSelfAnd(benchmark::State& state) {
    World w;
    for (auto _ : state) {
        w.TheGdi.BitBlt(w.Dc, 3, 3, kWidth, kHeight, w.Dc, 0, 0, SRCAND);
        benchmark::ClobberMemory();
    }
    Count(state, int64_t{kWidth - 3} * (kHeight - 3), 4);
}
BENCHMARK(BM_BitBltSelfAnd)->Unit(benchmark::kMillisecond);

void BM_FillRect(benchmark::State& state) {
    World w;
    const HBRUSH brush = w.TheGdi.CreateSolidBrush(RGB(10, 20, 30));
    for (auto _ : state) {
        w.TheGdi.FillRect(w.Dc, {0, 0, kWidth, kHeight}, brush);
        benchmark::ClobberMemory();
    }
    Count(state, kPixels, 4);
}
BENCHMARK(BM_FillRect)->Unit(benchmark::kMillisecond);

void BM_TextOutArial12Bold(benchmark::State& state) {
    World w;
    FontSpec request;
    request.Face = "Arial";
    request.Height = FontHeightFromPoints(12);
    request.Weight = FW_BOLD;
    w.TheGdi.SelectObject(w.Dc, w.TheGdi.CreateFont(request));
    const char* text = " The quick brown fox jumps over the lazy dog 0123456789 ";
    Size extent;
    w.TheGdi.GetTextExtentPoint32(w.Dc, text, &extent);
    for (auto _ : state) {
        w.TheGdi.TextOut(w.Dc, 10, 10, text);
        benchmark::ClobberMemory();
    }
    // Pixels of the opaque text cell.
    Count(state, int64_t{extent.Width} * extent.Height, 4);
}
BENCHMARK(BM_TextOutArial12Bold)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
