// Speed of the transition styles on a 1920 x 1080 screen, one case per style and setting
// (the 3D styles in background modes 0 and 1, the heaviest cases of the moving styles), and
// of the xscreensaver hacks that do the same where they are installed:
// - Headless: 20 s of the virtual clock; the counter x_real_time is how many times faster
//   than real time the player ran (20 s over the processor time it took), wall_x the same
//   over the wall-clock time.
// - Window host on Xvfb, real clock: processor seconds per second of the player and of the
//   X server over 20 s after a 3 s warm-up (/proc/PID/stat), as player_cpu and xserver_cpu;
//   the hacks (BM_Peer) are measured the same way with -root.
// - Memory (only with --memory, as it takes a while): the most resident memory of a
//   headless run of one virtual minute and of one virtual hour, as peak_rss_1min_mb and
//   peak_rss_60min_mb; a style that keeps its memory flat shows the same figure twice.
#include "scenario_support.h"
#include "styles3d_support.h"
#include "test_support.h"
#include "x_session.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string_view>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace qv;
using namespace qv::test;
using SteadyClock = std::chrono::steady_clock;

constexpr int32_t kVirtualMs = 20000;

// The show of a 3D style in a background mode, with pictures of a realistic size.
std::vector<uint8_t> Show3d(int32_t style, int32_t mode) {
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

// One measured case: a style with its parameters, as a manifest for quorvex-show, or a 3D
// style in a background mode.
struct StyleCase {
    const char* Name;
    int32_t Style;
    int32_t Mode; // 3D styles: the background mode; -1: Params below
    const char* Params;
    int32_t PictureCount;
};

const StyleCase kCases[] = {
    {"cube/mode:0", 1, 0, "", 0},
    {"cube/mode:1", 1, 1, "", 0},
    {"explode/mode:0", 3, 0, "", 0},
    {"explode/mode:1", 3, 1, "", 0},
    {"tiles/mode:0", 6, 0, "", 0},
    {"tiles/mode:1", 6, 1, "", 0},
    {"floating", 4, -1,
     R"({"PictureNumbers": [0, 1], "SwitchTime": 5000, "MoveAxes": 3, "SpeedOffset": 50})", 2},
    {"flying/64_flyers", 5, -1, R"({"FlyerPicture": 0, "FlyerCount": 64, "SpeedOffset": 50})", 1},
    {"flying/64_flyers_speed_100", 5, -1,
     R"({"FlyerPicture": 0, "FlyerCount": 64, "SpeedOffset": 100})", 1},
    {"parallax/64_copies", 15, -1,
     R"({"FlyerPicture": 0, "FlyerCount": 64, "FlightDirection": 0, "SpeedOffset": 50})", 1},
    {"scattered", 10, -1,
     R"({"PictureNumbers": [0, 1], "SwitchTime": 5000, "ClearOnSwitch": 0, "SpeedOffset": 50})", 2},
    {"melting", 7, -1,
     R"({"PictureNumbers": [0], "ShowTime": 30, "DesktopStart": 0, "Jitter": 3, "BlockScale": 1})",
     1},
    {"ripple/640x480_both_waves", 12, -1,
     R"({"PictureNumbers": [0], "PictureTime": 60000, "RippleDecay": 0,
         "VerticalAmplitude": 8, "VerticalWaveLength": 6, "VerticalWaveSpeed": 40,
         "HorizontalAmplitude": 6, "HorizontalWaveLength": 8, "HorizontalWaveSpeed": 25})",
     1},
    {"spotlights/3_spots_of_200", 8, -1,
     R"({"PictureNumbers": [0, 1], "SpotCount": 3, "SpotSize": 200, "SwitchTime": 10000,
         "MoveAxes": 3, "SpeedOffset": 50})",
     2},
    {"lenses/3_lenses_of_200_zoom_2", 16, -1,
     R"({"PictureNumbers": [0, 1], "SpotCount": 3, "SpotSize": 200, "SwitchTime": 10000,
         "ZoomFactor": 2, "SpotShape": 0, "SpeedOffset": 50})",
     2},
    {"slideshow/fade", 2, -1, R"({"PictureCount": 2, "PictureNumbers": [0, 1]})", 2},
    {"slideshow/blocks", 13, -1, R"({"PictureCount": 2, "PictureNumbers": [0, 1]})", 2},
    {"slideshow/wipe", 14, -1, R"({"PictureCount": 2, "PictureNumbers": [0, 1]})", 2},
    {"video/looping_10s_clip", 11, -1, R"({"VideoFile": "clip.avi", "VideoLoop": 1})", 0},
    {"painter", 9, -1,
     R"({"FreeFlightTime": 1000, "BackgroundNumbers": [1, 2], "SpriteFrameNumbers": [0],
         "SpriteFrameTime": 100, "SpriteKeyed": 0, "SpeedOffset": 50})",
     3},
};

// The show of a case, written into the folder; false when it could not be built.
bool WriteCaseShow(const TempDir& dir, const StyleCase& c) {
    std::vector<uint8_t> show;
    if (c.Mode >= 0) {
        show = Show3d(c.Style, c.Mode);
    } else {
        // Pictures of a realistic size: the ripple's 640 x 480, the painter's sprite small.
        std::vector<TestPicture> pictures;
        for (int32_t i = 0; i < c.PictureCount; ++i) {
            const bool sprite = c.Style == 9 && i == 0;
            const int32_t w = c.Style == 12 ? 640 : sprite ? 64 : 320;
            const int32_t h = c.Style == 12 ? 480 : sprite ? 48 : 240;
            pictures.push_back(CellPicture(w, h, 9, 5 + static_cast<uint32_t>(i)));
        }
        // The style's template gives every field; the case sets those it measures.
        const RunResult tmpl = Run(QV_SHOW_TOOL, {"template", std::to_string(c.Style)}, dir.Path());
        nlohmann::json parameters =
            tmpl.ExitCode == 0
                ? nlohmann::json::parse(tmpl.Out).value("Parameters", nlohmann::json::object())
                : nlohmann::json::object();
        const nlohmann::json own = nlohmann::json::parse(c.Params);
        parameters.update(own);
        // A list the case sets gives its count (PictureNumbers -> PictureCount).
        for (const auto& [key, value] : own.items()) {
            const size_t at = key.rfind("Numbers");
            const std::string count = key.substr(0, at) + "Count";
            if (value.is_array() && at != std::string::npos && at + 7 == key.size() &&
                !own.contains(count) && parameters.contains(count)) {
                parameters[count] = value.size();
            }
        }
        const nlohmann::json manifest{{"SaverTitle", "Bench"},
                                      {"AboutText", "Bench"},
                                      {"TransitionType", c.Style},
                                      {"Parameters", parameters}};
        show = BuildWithTool(dir, manifest, pictures);
    }
    WriteFile(dir / "show.qdm", show);
    if (c.Style == 11) {
        // Ten seconds of a moving test picture with a tone, beside the show.
        const RunResult r =
            Run("/usr/bin/gst-launch-1.0",
                {"-q", "videotestsrc", "pattern=ball", "num-buffers=250", "!",
                 "video/x-raw,format=BGRx,width=320,height=240,framerate=25/1", "!", "avimux",
                 "name=mux", "!", "filesink", "location=" + (dir / "clip.avi").string(),
                 "audiotestsrc", "num-buffers=430", "!", "audioconvert", "!", "mux."},
                dir.Path(), 60000);
        if (r.ExitCode != 0) {
            std::fprintf(stderr, "gst-launch-1.0 could not write the clip: %s\n", r.Err.c_str());
            return false;
        }
    }
    return !show.empty();
}

// The case's show in the folder, or the benchmark skipped with the reason.
bool PrepareCase(benchmark::State& state, const TempDir& dir, const StyleCase& c) {
    if (!WriteCaseShow(dir, c)) {
        state.SkipWithError("the case's show did not build");
        return false;
    }
    std::filesystem::create_directories(dir / "root");
    return true;
}

// The player headless at 1920 x 1080 on the case's show for durationMs of virtual time.
RunResult PlayHeadless(const TempDir& dir, int32_t durationMs, int timeoutMs) {
    return Run(QV_PLAYER,
               {"/DEMO", (dir / "show.qdm").string(), "--display=headless",
                "--root=" + (dir / "root").string(), "--size=1920x1080",
                "--time=2026-03-07T14:05:09", "--duration=" + std::to_string(durationMs)},
               dir.Path(), timeoutMs);
}

double ChildSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_Headless(benchmark::State& state, const StyleCase& c) {
    TempDir dir;
    if (!PrepareCase(state, dir, c)) {
        return;
    }
    for (auto _ : state) {
        const double cpu0 = ChildSeconds();
        const auto t0 = SteadyClock::now();
        const RunResult r = PlayHeadless(dir, kVirtualMs, 600000);
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

// The most resident memory of headless runs of one virtual minute and one virtual hour.
void BM_Memory(benchmark::State& state, const StyleCase& c) {
    TempDir dir;
    if (!PrepareCase(state, dir, c)) {
        return;
    }
    for (auto _ : state) {
        const auto t0 = SteadyClock::now();
        for (const auto& [minutes, counter] :
             {std::pair{1, "peak_rss_1min_mb"}, std::pair{60, "peak_rss_60min_mb"}}) {
            const RunResult r = PlayHeadless(dir, minutes * 60000, 3600000);
            if (r.ExitCode != 0) {
                state.SkipWithError(r.Err.c_str());
                return;
            }
            state.counters[counter] = static_cast<double>(r.PeakRssKb) / 1024.0;
        }
        state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - t0).count());
    }
}

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

// Processor use of a program on a 1920 x 1080 Xvfb and of the X server, 20 s after a
// 3 s warm-up.
void MeasureOnXvfb(benchmark::State& state, const std::string& program,
                   const std::vector<std::string>& args) {
    for (auto _ : state) {
        XServer x(1920, 1080);
        const pid_t server = XServerPid();
        Child player(program, args, XEnvironment(x));
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
void BM_Xvfb(benchmark::State& state, const StyleCase& c) {
    TempDir dir;
    if (!PrepareCase(state, dir, c)) {
        return;
    }
    MeasureOnXvfb(state, QV_PLAYER,
                  {"/DEMO", (dir / "show.qdm").string(), "--root=" + (dir / "root").string()});
}

// The xscreensaver hacks our styles are compared with, where installed.
const char* const kPeers[] = {"decayscreen", "ripples", "spotlight", "distort", "slidescreen"};
constexpr const char* kHackDir = "/usr/libexec/xscreensaver/";

void BM_Peer(benchmark::State& state, const std::string& hack) {
    MeasureOnXvfb(state, kHackDir + hack, {"-root"});
}

} // namespace

// One measured run per benchmark, in seconds of its own timing.
template <typename Fn, typename Arg>
void Register(const std::string& name, Fn fn, const Arg& arg) {
    benchmark::RegisterBenchmark(name.c_str(), fn, arg)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
}

int main(int argc, char** argv) {
    // --memory: the long memory runs in place of the speed measurements.
    const auto end = std::remove(argv + 1, argv + argc, std::string_view("--memory"));
    const bool memory = end != argv + argc;
    argc = static_cast<int>(end - argv);
    argv[argc] = nullptr;
    for (const StyleCase& c : kCases) {
        if (memory) {
            Register("BM_Memory/" + std::string(c.Name), BM_Memory, c);
        } else {
            Register("BM_Headless/" + std::string(c.Name), BM_Headless, c);
            Register("BM_Xvfb/" + std::string(c.Name), BM_Xvfb, c);
        }
    }
    for (const char* hack : kPeers) {
        if (!memory && access((std::string(kHackDir) + hack).c_str(), X_OK) == 0) {
            Register("BM_Peer/" + std::string(hack), BM_Peer, std::string(hack));
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
