// Speed of the 3D styles (bouncing cube, exploding picture, flying tiles) in background
// modes 0 and 1, on a 1920 x 1080 screen:
// - Headless: 20 s of the virtual clock; the counter x_real_time is how many times faster
//   than real time the player ran (20 s over the processor time it took), wall_x the same
//   over the wall-clock time.
// - Window host on Xvfb, real clock: processor seconds per second of the player and of the
//   X server over 20 s after a 3 s warm-up (/proc/PID/stat), as player_cpu and xserver_cpu.
#include "scenario_support.h"
#include "styles3d_support.h"
#include "test_support.h"
#include "x_session.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace qv;
using namespace qv::test;
using SteadyClock = std::chrono::steady_clock;

constexpr int32_t kVirtualMs = 20000;

// The show of a style in a background mode, with pictures of a realistic size.
std::vector<uint8_t> StyleShow(int32_t style, int32_t mode) {
    const TestPicture big = CellPicture(320, 240, 9, 5);
    std::vector<int32_t> block;
    std::vector<TestPicture> pictures;
    switch (style) {
    case 1: // cube: six faces of 128 x 128, half sizes 100
        block = {mode, 6, 0, 1, 2, 3, 4, 5, 100, 100, 100, 7, 3, 50};
        for (uint32_t c : {0xE83828u, 0x38C848u, 0x3858E8u, 0xF8E848u, 0xE848C8u, 0x48E8E8u}) {
            pictures.push_back(BandedPicture(128, 128, {c, 0xF8F8F8}));
        }
        break;
    case 3: // explode: 8 x 8 tiles, tumbling, the view turning; S = 50
        block = {mode, 0, 8, 8, 1, 1, 4, 50};
        pictures.push_back(big);
        break;
    default: // tiles: centred, 4 x 4, S = 90
        block = {mode, 1, 0, 0, 4, 4, 90};
        pictures.push_back(big);
        break;
    }
    return MakeShow(PlainHeader(style), block, pictures);
}

double ChildSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_Headless(benchmark::State& state) {
    const auto style = static_cast<int32_t>(state.range(0));
    const auto mode = static_cast<int32_t>(state.range(1));
    TempDir dir;
    WriteFile(dir / "show.qdm", StyleShow(style, mode));
    std::filesystem::create_directories(dir / "root");
    for (auto _ : state) {
        const double cpu0 = ChildSeconds();
        const auto t0 = SteadyClock::now();
        const RunResult r =
            Run(QV_PLAYER,
                {"/DEMO", (dir / "show.qdm").string(), "--display=headless",
                 "--root=" + (dir / "root").string(), "--size=1920x1080",
                 "--time=2026-03-07T14:05:09", "--duration=" + std::to_string(kVirtualMs)},
                dir.Path(), 600000);
        const double wall = std::chrono::duration<double>(SteadyClock::now() - t0).count();
        const double cpu = ChildSeconds() - cpu0;
        if (r.ExitCode != 0) {
            state.SkipWithError(r.Err.c_str());
            break;
        }
        state.SetIterationTime(wall);
        state.counters["x_real_time"] = kVirtualMs / 1000.0 / cpu;
        state.counters["wall_x"] = kVirtualMs / 1000.0 / wall;
    }
}
BENCHMARK(BM_Headless)
    ->ArgsProduct({{1, 3, 6}, {0, 1}})
    ->ArgNames({"style", "mode"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// User plus system time of a process, in clock ticks.
long long ProcessTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stoll(field);
        }
    }
    return ticks;
}

// The Xvfb process this benchmark started (XServer spawns it as our child).
pid_t XServerPid() {
    DIR* proc = opendir("/proc");
    pid_t found = -1;
    while (dirent* e = proc ? readdir(proc) : nullptr) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (pid <= 0) {
            continue;
        }
        std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
        std::string cmd;
        std::getline(cmdline, cmd, '\0');
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string state;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == getpid() && cmd.find("Xvfb") != std::string::npos) {
            found = pid;
            break;
        }
    }
    if (proc) {
        closedir(proc);
    }
    return found;
}

void BM_Xvfb(benchmark::State& state) {
    const auto style = static_cast<int32_t>(state.range(0));
    const auto mode = static_cast<int32_t>(state.range(1));
    TempDir dir;
    WriteFile(dir / "show.qdm", StyleShow(style, mode));
    for (auto _ : state) {
        XServer x(1920, 1080);
        const pid_t server = XServerPid();
        Child player(QV_PLAYER,
                     {"/DEMO", (dir / "show.qdm").string(), "--root=" + (dir / "root").string()},
                     XEnvironment(x));
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const long long p0 = ProcessTicks(player.Pid());
        const long long x0 = server > 0 ? ProcessTicks(server) : 0;
        const auto t0 = SteadyClock::now();
        std::this_thread::sleep_for(std::chrono::seconds(20));
        const long long p1 = ProcessTicks(player.Pid());
        const long long x1 = server > 0 ? ProcessTicks(server) : 0;
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - t0).count();
        if (const auto code = player.Wait(0)) {
            const std::string why = "the player ended during the measurement with exit code " +
                                    std::to_string(*code) + ": " + player.Errors();
            state.SkipWithError(why.c_str());
            break;
        }
        const double hz = static_cast<double>(sysconf(_SC_CLK_TCK));
        state.SetIterationTime(seconds);
        state.counters["player_cpu"] = static_cast<double>(p1 - p0) / hz / seconds;
        state.counters["xserver_cpu"] = static_cast<double>(x1 - x0) / hz / seconds;
    }
}
BENCHMARK(BM_Xvfb)
    ->ArgsProduct({{1, 3, 6}, {0, 1}})
    ->ArgNames({"style", "mode"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
