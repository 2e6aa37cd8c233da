// Processor time the player takes on the window host: the demo show full screen on a
// 1920 x 1080 X screen (Xvfb) with the real clock, measured over 20 s of its run from the
// user and system times the kernel keeps for the process (/proc/PID/stat). Reported as the
// counter cpu_percent: percent of one core, averaged over the 20 s.
#include "test_support.h"
#include "x_session.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using namespace qv::test;
using SteadyClock = std::chrono::steady_clock;

// User plus system time of a process, in clock ticks.
long long ProcessTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    // Fields after the command name (which may hold spaces) start after its ')'.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    long long utime = 0;
    long long stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) {
            utime = std::stoll(field);
        } else if (i == 15) {
            stime = std::stoll(field);
        }
    }
    return utime + stime;
}

void RunDemo(benchmark::State& state, const std::vector<std::string>& options) {
    for (auto _ : state) {
        XServer x(1920, 1080);
        TempDir dir;
        std::vector<std::string> args = {"/DEMO", QV_DEMO_SHOW,
                                         "--root=" + (dir / "root").string()};
        args.insert(args.end(), options.begin(), options.end());
        Child player(QV_PLAYER, args, XEnvironment(x));
        // Start-up and the first pictures' loading are not what is measured.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const long long ticks0 = ProcessTicks(player.Pid());
        const auto t0 = SteadyClock::now();
        std::this_thread::sleep_for(std::chrono::seconds(20));
        const long long ticks1 = ProcessTicks(player.Pid());
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - t0).count();
        if (player.Wait(0)) {
            state.SkipWithError("the player ended during the measurement");
            break;
        }
        state.SetIterationTime(seconds);
        state.counters["cpu_percent"] = 100.0 * static_cast<double>(ticks1 - ticks0) /
                                        static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds;
    }
}

void BM_DemoFullScreen1920x1080(benchmark::State& state) {
    RunDemo(state, {});
}
BENCHMARK(BM_DemoFullScreen1920x1080)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_DemoWindowed1024x768(benchmark::State& state) {
    RunDemo(state, {"--windowed=1024x768"});
}
BENCHMARK(BM_DemoWindowed1024x768)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
