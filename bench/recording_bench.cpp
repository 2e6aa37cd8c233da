// Speed of recording: the real player records 60 s of the demo show at 1920 x 1080 on the
// headless host, as WebM (VP8 and Opus, 25 frames a second) and as GIF (10 frames a
// second, as the demo records it). times_real_time is the length of the run divided by
// the time the recording took.

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kRunMs = 60000;

void Record(benchmark::State& state, const char* file, int fps) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qv_recording_bench";
    std::filesystem::create_directories(dir);
    const std::string out = (dir / file).string();
    const std::string command =
        std::string(QV_PLAYER) + " /DEMO " + QV_DEMO_SHOW +
        " --display=headless --size=1920x1080 --duration=" + std::to_string(kRunMs) +
        " --fps=" + std::to_string(fps) +
        " --time=2026-03-07T14:05:09 --root=" + (dir / "root").string() + " --record=" + out +
        " 2>/dev/null";
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("the player failed");
            break;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (seconds > 0) {
        state.counters["times_real_time"] =
            kRunMs / 1000.0 * static_cast<double>(state.iterations()) / seconds;
        state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(out)) / 1e6;
    }
    std::filesystem::remove_all(dir);
}

void BM_RecordWebm1080p(benchmark::State& state) {
    Record(state, "demo.webm", 25);
}
void BM_RecordGif1080p(benchmark::State& state) {
    Record(state, "demo.gif", 10);
}

BENCHMARK(BM_RecordWebm1080p)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_RecordGif1080p)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
