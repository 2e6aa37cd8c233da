// The player itself on the window host: a slideshow played on a real X server must look
// exactly like the same moment of the same show on the headless host, and the ways a run
// ends on a real display (mouse movement, the host window of a preview going away, a saver
// already running) must end it.
#include "scenario_support.h"
#include "x_session.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr int kStartMs = 30000;

// One picture, not placed at random, revealed by a 200 ms wipe to the right and then held
// for ten minutes: from half a second on, the screen stands still. (A wipe, not a fade: on
// the real clock a fade that skips late frames may end a step short of full brightness.)
std::vector<uint8_t> HeldShow() {
    return MakeShow(PlainHeader(14), {1, 0, 0, 0, 600000, 200},
                    {BandedPicture(64, 48, {0xE03020, 0x30C040, 0x3050E0, 0xF0E040})});
}

// The show beside a link to the player named like it, as the desktop starts a saver.
fs::path InstallShow(const TempDir& dir, const std::vector<uint8_t>& show) {
    WriteFile(dir / "show.qdm", show);
    fs::create_symlink(QV_PLAYER, dir / "show.scr");
    fs::create_directories(dir / "root");
    return dir / "show.scr";
}

std::vector<std::string> RunOptions(const TempDir& dir, const std::string& traceName) {
    return {"--root=" + (dir / "root").string(), "--trace=" + (dir / traceName).string()};
}

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void Xdotool(const XServer& x, const std::vector<std::string>& args) {
    ASSERT_EQ(RunToEnd(kXdotool, args, XEnvironment(x), 20000), 0) << args.front();
}

// Takes screenshots until the rectangle at (left, top) shows `expected`; the first
// difference of the last one otherwise.
std::optional<std::string> AwaitScreen(const XServer& x, int32_t left, int32_t top,
                                       const Image& expected) {
    std::optional<std::string> diff;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(15);
    do {
        const Screen s = Screenshot(x);
        diff.reset();
        for (int32_t y = 0; y < expected.Height && !diff; ++y) {
            for (int32_t px = 0; px < expected.Width && !diff; ++px) {
                const uint32_t want = expected.At(px, y) & 0xFFFFFF;
                const uint32_t got = s.At(left + px, top + y);
                if (want != got) {
                    char text[96];
                    std::snprintf(text, sizeof text,
                                  "at (%d, %d): %06X on the screen, %06X expected", px, y, got,
                                  want);
                    diff = text;
                }
            }
        }
        if (!diff) {
            return diff;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (SteadyClock::now() < deadline);
    return diff;
}

std::vector<std::string> ScreenCursor(const std::vector<nlohmann::json>& trace) {
    std::vector<std::string> out;
    for (const auto& e : Events(trace, "cursor")) {
        if (!e.contains("hwnd")) {
            out.push_back(e["cursor"]);
        }
    }
    return out;
}

TEST(QtPlayer, FullScreenSlideshowLooksAsHeadlessAndEndsOnMovement) {
    TempDir headlessDir;
    const fs::path shot = headlessDir / "held.png";
    const PlayerRun headless = RunShow(
        headlessDir, HeldShow(),
        {"--size=320x240", "--duration=2000", "--snapshot=1500:" + shot.string()}, "", {"/s"});
    ASSERT_EQ(headless.Result.ExitCode, 0) << headless.Result.Err;
    const Image expected = ReadPng(shot);
    ASSERT_EQ(expected.Width, 320);
    ASSERT_FALSE(NonBlackBox(expected).Empty()); // the picture is there to be seen

    XServer x(320, 240);
    TempDir dir;
    const fs::path saver = InstallShow(dir, HeldShow());
    Xdotool(x, {"mousemove", "100", "100"});
    // No --display: a display in the environment means the window host and the real clock.
    Child player(saver, With({"/s"}, RunOptions(dir, "trace.jsonl")), XEnvironment(x));
    EXPECT_EQ(AwaitScreen(x, 0, 0, expected), std::nullopt);

    // A second saver start sees the first one and ends without touching it.
    std::string output;
    EXPECT_EQ(RunToEnd(saver, With({"/s"}, RunOptions(dir, "second.jsonl")), XEnvironment(x),
                       kStartMs, &output),
              0)
        << output;
    const auto second = ReadTrace(dir / "second.jsonl");
    EXPECT_EQ(Events(second, "saver-running").size(), 1u);
    EXPECT_TRUE(Events(second, "role").empty());
    EXPECT_EQ(player.Wait(0), std::nullopt) << player.Errors();

    // The first move only records where the mouse is; 20 pixels further ends the run.
    Xdotool(x, {"mousemove", "105", "100"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(player.Wait(0), std::nullopt) << player.Errors();
    Xdotool(x, {"mousemove", "125", "100"});
    EXPECT_EQ(player.Wait(20000), 0) << player.Errors();

    const auto trace = ReadTrace(dir / "trace.jsonl");
    const auto starts = Events(trace, "start");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0]["host"], "window");
    const std::vector<std::string> cursor = ScreenCursor(trace);
    ASSERT_GE(cursor.size(), 2u);
    EXPECT_EQ(cursor.front(), "none");
    EXPECT_EQ(cursor.back(), "arrow");
}

TEST(QtPlayer, WindowedRunIsLaidOutForTheWindowAndEndsWhenItIsClosed) {
    TempDir headlessDir;
    const fs::path shot = headlessDir / "held.png";
    const PlayerRun headless = RunShow(
        headlessDir, HeldShow(),
        {"--size=240x180", "--duration=2000", "--snapshot=1500:" + shot.string()}, "", {"/s"});
    ASSERT_EQ(headless.Result.ExitCode, 0) << headless.Result.Err;
    const Image expected = ReadPng(shot);
    ASSERT_EQ(expected.Width, 240);
    ASSERT_FALSE(NonBlackBox(expected).Empty());

    XServer x(640, 480);
    TempDir dir;
    const fs::path saver = InstallShow(dir, HeldShow());
    Child player(saver, With({"/s", "--windowed=240x180"}, RunOptions(dir, "trace.jsonl")),
                 XEnvironment(x));
    std::string found;
    for (int attempt = 0; attempt < 100 && found.empty(); ++attempt) {
        RunToEnd(kXdotool, {"search", "--name", "^Screen Saver$"}, XEnvironment(x), 20000, &found);
        if (found.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    const std::string id = found.substr(0, found.find('\n'));
    ASSERT_FALSE(id.empty()) << player.Errors();
    std::string geometry;
    ASSERT_EQ(RunToEnd(QV_X11_HELPER, {"geometry", id}, XEnvironment(x), 20000, &geometry), 0);
    int left = 0, top = 0, width = 0, height = 0;
    ASSERT_EQ(std::sscanf(geometry.c_str(), "%d %d %d %d", &left, &top, &width, &height), 4);
    EXPECT_EQ(width, 240);
    EXPECT_EQ(height, 180);
    // The show is laid out for the window as it is for a screen of that size.
    EXPECT_EQ(AwaitScreen(x, left, top, expected), std::nullopt);

    // The window manager's close button ends the run.
    ASSERT_EQ(RunToEnd(QV_X11_HELPER, {"close", id}, XEnvironment(x), 20000), 0);
    EXPECT_EQ(player.Wait(20000), 0) << player.Errors();
}

TEST(QtPlayer, PreviewPlaysInsideTheHostWindowUntilItIsDestroyed) {
    TempDir headlessDir;
    const fs::path shot = headlessDir / "preview.png";
    const PlayerRun headless = RunShow(headlessDir, HeldShow(),
                                       {"--size=320x240", "--host-size=152x112", "--duration=2000",
                                        "--snapshot=1500:" + shot.string()},
                                       "", {"/p", "4321"});
    ASSERT_EQ(headless.Result.ExitCode, 0) << headless.Result.Err;
    const Image expected = ReadPng(shot);
    ASSERT_EQ(expected.Width, 152);
    ASSERT_EQ(expected.Height, 112);
    ASSERT_FALSE(NonBlackBox(expected).Empty());

    XServer x(320, 240);
    TempDir dir;
    const fs::path saver = InstallShow(dir, HeldShow());
    Child host(QV_X11_HELPER, {"window", "40", "30", "152", "112", "336699"}, XEnvironment(x));
    const std::optional<std::string> id = host.ReadLine(kStartMs);
    ASSERT_TRUE(id) << host.Errors();
    Child player(saver, With({"/p", *id}, RunOptions(dir, "trace.jsonl")), XEnvironment(x));
    EXPECT_EQ(AwaitScreen(x, 40, 30, expected), std::nullopt);

    host.WriteLine("destroy");
    ASSERT_EQ(host.ReadLine(10000), "destroyed");
    const auto gone = SteadyClock::now();
    EXPECT_EQ(player.Wait(20000), 0) << player.Errors();
    const auto ended = SteadyClock::now();
    // The process is gone this long after its host window; its run ended sooner.
    std::printf("player ended %lld ms after its host window\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(ended - gone).count()));
    const auto trace = ReadTrace(dir / "trace.jsonl");
    EXPECT_FALSE(Events(trace, "exit").empty());
}

// The program's own handles (its desktop, its hidden application window) are no foreign
// host: the preview ends at once, as for a handle that is no window. The leak checker of a
// sanitizer build runs with the player's own suppressions only, as when run by hand.
TEST(QtPlayer, PreviewInOneOfTheProgramsOwnWindowsEndsAtOnce) {
    XServer x(320, 240);
    EnvChanges env = XEnvironment(x);
    for (auto& [name, value] : env) {
        if (name == "LSAN_OPTIONS") {
            value = std::nullopt;
        }
    }
    for (const char* handle : {"1", "256"}) {
        TempDir dir;
        const fs::path saver = InstallShow(dir, HeldShow());
        std::string output;
        EXPECT_EQ(RunToEnd(saver, With({"/p", handle}, RunOptions(dir, "trace.jsonl")), env,
                           kStartMs, &output),
                  0)
            << handle << ": " << output;
        const auto trace = ReadTrace(dir / "trace.jsonl");
        EXPECT_EQ(Events(trace, "exit").size(), 1u) << handle;
    }
}

// The xscreensaver hack draws the full-size show, captions included, in the window it is
// given (by -window-id in hexadecimal, or by XSCREENSAVER_WINDOW with -root), exactly as
// the headless full-screen run of that size; two hacks play at once, and SIGTERM ends each
// at once with the teardown of a full-screen run.
TEST(QtPlayer, XScreenSaverHackPlaysFullSizeInItsWindowAndEndsOnSigterm) {
    ShowRecord header = PlainHeader(14);
    header.BannerText = "Hack";
    header.BannerPlace = "BM";
    header.BannerSize = 12;
    header.BannerColor = 0x00FFFFFF;
    const std::vector<uint8_t> show =
        MakeShow(header, {1, 0, 0, 0, 600000, 200},
                 {BandedPicture(64, 48, {0xE03020, 0x30C040, 0x3050E0, 0xF0E040})});
    TempDir headlessDir;
    const fs::path shot = headlessDir / "hack.png";
    const PlayerRun headless = RunShow(
        headlessDir, show,
        {"--size=160x120", "--duration=2000", "--snapshot=1500:" + shot.string()}, "", {"/s"});
    ASSERT_EQ(headless.Result.ExitCode, 0) << headless.Result.Err;
    const Image expected = ReadPng(shot);
    ASSERT_EQ(expected.Width, 160);
    ASSERT_FALSE(NonBlackBox(expected).Empty());

    XServer x(400, 300);
    TempDir dir;
    WriteFile(dir / "show.qdm", show);
    fs::create_directories(dir / "root");
    Child first(QV_X11_HELPER, {"window", "10", "20", "160", "120", "336699"}, XEnvironment(x));
    Child second(QV_X11_HELPER, {"window", "200", "150", "160", "120", "336699"}, XEnvironment(x));
    const std::optional<std::string> firstId = first.ReadLine(kStartMs);
    const std::optional<std::string> secondId = second.ReadLine(kStartMs);
    ASSERT_TRUE(firstId && secondId);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%lx", std::stoul(*firstId));
    const std::string showArg = "--show=" + (dir / "show.qdm").string();
    Child byId(QV_HACK,
               {"-fps", "--window-id", hex, showArg, "--root=" + (dir / "root").string(),
                "--trace=" + (dir / "one.jsonl").string()},
               XEnvironment(x));
    EnvChanges env = XEnvironment(x);
    env.emplace_back("XSCREENSAVER_WINDOW", *secondId);
    Child byRoot(QV_HACK,
                 {"-root", showArg, "--root=" + (dir / "root").string(),
                  "--trace=" + (dir / "two.jsonl").string()},
                 env);
    EXPECT_EQ(AwaitScreen(x, 10, 20, expected), std::nullopt) << byId.Errors();
    EXPECT_EQ(AwaitScreen(x, 200, 150, expected), std::nullopt) << byRoot.Errors();
    // Input does not end the hack: the daemon decides.
    Xdotool(x, {"mousemove", "50", "50"});
    Xdotool(x, {"mousemove", "120", "100"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(byId.Wait(0), std::nullopt) << byId.Errors();

    for (auto [hack, trace] : {std::pair{&byId, "one.jsonl"}, std::pair{&byRoot, "two.jsonl"}}) {
        const auto sent = SteadyClock::now();
        kill(hack->Pid(), SIGTERM);
        EXPECT_EQ(hack->Wait(20000), 0) << hack->Errors();
        std::printf("hack ended %lld ms after SIGTERM\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               SteadyClock::now() - sent)
                                               .count()));
        const auto events = ReadTrace(dir / trace);
        const auto signal = Events(events, "signal");
        ASSERT_EQ(signal.size(), 1u) << trace;
        const auto spi = Events(events, "spi");
        ASSERT_FALSE(spi.empty());
        EXPECT_EQ(spi.back()["value"], 0); // the screen-saver-running state is off again
        const std::vector<std::string> cursor = ScreenCursor(events);
        ASSERT_FALSE(cursor.empty());
        EXPECT_EQ(cursor.back(), "arrow");
        const auto exits = Events(events, "exit");
        ASSERT_EQ(exits.size(), 1u);
        // The run ends within 100 ms of the signal on the program's own clock.
        EXPECT_LE(exits[0]["t"].get<int64_t>() - signal[0]["t"].get<int64_t>(), 100);
    }
}

} // namespace
} // namespace qv::test
