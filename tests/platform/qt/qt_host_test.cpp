// The window host on a real X server: each test starts its own Xvfb, runs the probe (a
// saver-like program on the real host) or the player in it, and looks at the screen with
// ImageMagick's import, moves the mouse with xdotool and plays a window manager and a
// preview's host window with x11_helper.
#include "platform/qt/key_map.h"
#include "probe_pattern.h"
#include "show/show_writer.h"
#include "test_support.h"
#include "x_session.h"

#include <Qt>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::Child;
using test::XServer;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr int kStartMs = 30000; // a sanitized Qt program can take a while to start

std::vector<std::string> Options(const test::TempDir& dir) {
    return {"--root=" + (dir / "root").string(), "--trace=" + (dir / "trace.jsonl").string()};
}

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void Xdotool(const XServer& x, const std::vector<std::string>& args) {
    ASSERT_EQ(test::RunToEnd(kXdotool, args, test::XEnvironment(x), 20000), 0)
        << kXdotool << " " << args.front();
}

// The first pixel where the screen differs from `expected` inside the rectangle at
// (left, top), or nothing when all agree. expected(x, y) takes coordinates in the rectangle.
std::optional<std::string> FirstDifference(const test::Screen& screen, int32_t left, int32_t top,
                                           int32_t width, int32_t height, auto expected) {
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t want = expected(x, y);
            const uint32_t got = screen.At(left + x, top + y);
            if (want != got) {
                char text[96];
                std::snprintf(text, sizeof text, "at (%d, %d): %06X on the screen, %06X expected",
                              x, y, got, want);
                return std::string(text);
            }
        }
    }
    return std::nullopt;
}

// Takes screenshots until the rectangle shows what is expected (the window may still be
// on its way to the screen); the last difference otherwise.
std::optional<std::string> AwaitScreen(const XServer& x, int32_t left, int32_t top, int32_t width,
                                       int32_t height, auto expected) {
    std::optional<std::string> diff;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(10);
    do {
        diff = FirstDifference(test::Screenshot(x), left, top, width, height, expected);
        if (!diff) {
            return diff;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (SteadyClock::now() < deadline);
    return diff;
}

auto Pattern(int32_t width, int32_t height) {
    return [=](int32_t x, int32_t y) { return test::ProbePixel(x, y, width, height); };
}

std::vector<std::string> ScreenCursorChanges(const fs::path& trace) {
    std::vector<std::string> out;
    for (const auto& e : test::Events(test::ReadTrace(trace), "cursor")) {
        if (!e.contains("hwnd")) {
            out.push_back(e["cursor"]);
        }
    }
    return out;
}

TEST(QtHost, FullScreenShowsTheSurfaceTakesInputAndEndsOnMovement) {
    XServer x(320, 240);
    test::TempDir dir;
    // The pointer rests where the run starts, so the first move the window sees is known.
    Xdotool(x, {"mousemove", "100", "100"});
    Child probe(QV_QT_PROBE, With({"/s", "pattern"}, Options(dir)), test::XEnvironment(x));
    EXPECT_EQ(probe.WaitForLine("screen", kStartMs), "screen 320 240");
    ASSERT_TRUE(probe.WaitForLine("drawn", kStartMs)) << probe.Errors();

    // The whole screen is the window's surface, pixel for pixel.
    EXPECT_EQ(AwaitScreen(x, 0, 0, 320, 240, Pattern(320, 240)), std::nullopt);

    Xdotool(x, {"mousemove", "104", "103"});
    EXPECT_TRUE(probe.WaitForLine("move 104 103", 10000)) << probe.Output();
    Xdotool(x, {"key", "a"});
    EXPECT_TRUE(probe.WaitForLine("key 0x41", 10000)) << probe.Output();
    Xdotool(x, {"key", "Escape"});
    EXPECT_TRUE(probe.WaitForLine("key 0x1b", 10000)) << probe.Output();
    // Keys and small moves leave the run going; a move of 20 pixels ends it.
    Xdotool(x, {"mousemove", "120", "100"});
    EXPECT_TRUE(probe.WaitForLine("move 120 100", 10000)) << probe.Output();
    EXPECT_EQ(probe.WaitForLine("end", 10000), "end moved");
    EXPECT_EQ(probe.Wait(20000), 0) << probe.Errors();
    EXPECT_EQ(ScreenCursorChanges(dir / "trace.jsonl"),
              (std::vector<std::string>{"none", "arrow"}));
}

TEST(QtHost, MouseButtonsArriveWithClientCoordinates) {
    const struct {
        const char* Button;
        const char* Expected;
    } cases[] = {
        {"1", "button 0x201 30 40"},
        {"3", "button 0x204 30 40"},
        {"2", "button 0x207 30 40"},
    };
    XServer x(200, 150);
    for (const auto& c : cases) {
        test::TempDir dir;
        Xdotool(x, {"mousemove", "30", "40"});
        Child probe(QV_QT_PROBE, With({"/s", "pattern"}, Options(dir)), test::XEnvironment(x));
        ASSERT_TRUE(probe.WaitForLine("drawn", kStartMs)) << probe.Errors();
        ASSERT_EQ(AwaitScreen(x, 0, 0, 200, 150, Pattern(200, 150)), std::nullopt);
        Xdotool(x, {"click", c.Button});
        EXPECT_EQ(probe.WaitForLine("button", 10000), c.Expected) << probe.Output();
        EXPECT_EQ(probe.Wait(20000), 0) << probe.Errors();
    }
}

TEST(QtHost, WindowedPlaysInAFixedWindowThatEndsTheRunWhenClosed) {
    const struct {
        const char* Option;
        int32_t Width;
        int32_t Height;
    } cases[] = {
        {"--windowed=200x150", 200, 150},
        {"--windowed", 1024, 768}, // the default size on a screen that has room for it
    };
    XServer x(1280, 1024);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Option);
        test::TempDir dir;
        Child probe(QV_QT_PROBE, With({"/s", "pattern", c.Option}, Options(dir)),
                    test::XEnvironment(x));
        // The program sees a screen of the window's size and lays its show out for it.
        EXPECT_EQ(probe.WaitForLine("screen", kStartMs),
                  "screen " + std::to_string(c.Width) + " " + std::to_string(c.Height));
        ASSERT_TRUE(probe.WaitForLine("drawn", kStartMs)) << probe.Errors();

        std::string found;
        for (int attempt = 0; attempt < 50 && found.empty(); ++attempt) {
            test::RunToEnd(kXdotool, {"search", "--name", "^Screen Saver$"}, test::XEnvironment(x),
                           20000, &found);
        }
        const std::string id = found.substr(0, found.find('\n'));
        ASSERT_FALSE(id.empty());
        std::string geometry;
        ASSERT_EQ(test::RunToEnd(QV_X11_HELPER, {"geometry", id}, test::XEnvironment(x), 20000,
                                 &geometry),
                  0);
        int left = 0, top = 0, width = 0, height = 0;
        ASSERT_EQ(std::sscanf(geometry.c_str(), "%d %d %d %d", &left, &top, &width, &height), 4);
        EXPECT_EQ(width, c.Width);
        EXPECT_EQ(height, c.Height);
        EXPECT_EQ(AwaitScreen(x, left, top, c.Width, c.Height, Pattern(c.Width, c.Height)),
                  std::nullopt);

        // The window manager's close button: WM_CLOSE reaches the window, which goes away.
        ASSERT_EQ(test::RunToEnd(QV_X11_HELPER, {"close", id}, test::XEnvironment(x), 20000), 0);
        EXPECT_TRUE(probe.WaitForLine("close", 10000));
        EXPECT_EQ(probe.WaitForLine("end", 10000), "end window-gone");
        EXPECT_EQ(probe.Wait(20000), 0) << probe.Errors();
    }
}

TEST(QtHost, PreviewDrawsInsideTheForeignWindowAndEndsWhenItGoes) {
    XServer x(320, 240);
    test::TempDir dir;
    Child host(QV_X11_HELPER, {"window", "40", "30", "152", "112", "336699"},
               test::XEnvironment(x));
    const std::optional<std::string> id = host.ReadLine(kStartMs);
    ASSERT_TRUE(id) << host.Errors();

    Child probe(QV_QT_PROBE, With({"/p", *id, "pattern"}, Options(dir)), test::XEnvironment(x));
    EXPECT_EQ(probe.WaitForLine("screen", kStartMs), "screen 152 112");
    ASSERT_TRUE(probe.WaitForLine("drawn", kStartMs)) << probe.Errors();
    EXPECT_EQ(AwaitScreen(x, 40, 30, 152, 112, Pattern(152, 112)), std::nullopt);

    host.WriteLine("destroy");
    ASSERT_EQ(host.ReadLine(10000), "destroyed");
    const auto gone = SteadyClock::now();
    EXPECT_TRUE(probe.WaitForLine("host-gone", 10000)) << probe.Output();
    const auto noticed = SteadyClock::now();
    EXPECT_LT(noticed - gone, std::chrono::milliseconds(100));
    EXPECT_EQ(probe.Wait(20000), 0) << probe.Errors();
}

TEST(QtHost, PreviewOfAnIdThatIsNoWindowShowsNothing) {
    XServer x(320, 240);
    test::TempDir dir;
    std::string output;
    EXPECT_EQ(test::RunToEnd(QV_QT_PROBE, With({"/p", "4242", "pattern"}, Options(dir)),
                             test::XEnvironment(x), kStartMs, &output),
              0);
    EXPECT_NE(output.find("no-host"), std::string::npos) << output;
}

TEST(QtHost, DesktopIsTheScreenAsItWasBeforeTheWindowAppeared) {
    XServer x(320, 240);
    test::TempDir dir;
    Child other(QV_X11_HELPER, {"window", "40", "30", "152", "112", "336699"},
                test::XEnvironment(x));
    ASSERT_TRUE(other.ReadLine(kStartMs)) << other.Errors();
    const test::Screen before = test::Screenshot(x);
    ASSERT_EQ(before.At(40, 30), 0x336699u);

    // The probe shows the desktop it was given with its colours inverted: the screen then
    // shows the inverse of what was there before, which it could not by accident.
    Child probe(QV_QT_PROBE, With({"/s", "inverse"}, Options(dir)), test::XEnvironment(x));
    ASSERT_TRUE(probe.WaitForLine("drawn", kStartMs)) << probe.Errors();
    EXPECT_EQ(AwaitScreen(x, 0, 0, 320, 240,
                          [&](int32_t px, int32_t py) { return ~before.At(px, py) & 0xFFFFFF; }),
              std::nullopt);
    Xdotool(x, {"click", "1"});
    EXPECT_EQ(probe.Wait(20000), 0) << probe.Errors();
}

void WriteShow(const fs::path& path) {
    ShowRecord rec;
    rec.SaverTitle = "Test";
    ShowWriter w;
    WriteShowHeader(w, rec);
    test::WriteFile(path, w.Bytes());
}

TEST(QtHost, PlayerUsesTheDisplayAndRefusesASecondSaver) {
    XServer x(320, 240);
    test::TempDir dir;
    WriteShow(dir / "saver.qdm");
    fs::create_symlink(QV_PLAYER, dir / "saver.scr");
    const std::string root = "--root=" + (dir / "root").string();

    // Without --display, a display in the environment means the window host.
    const fs::path first = dir / "first.jsonl";
    std::string output;
    ASSERT_EQ(test::RunToEnd(dir / "saver.scr", {"/s", root, "--trace=" + first.string()},
                             test::XEnvironment(x), kStartMs, &output),
              0)
        << output;
    auto starts = test::Events(test::ReadTrace(first), "start");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0]["host"], "window");
    EXPECT_EQ(test::Events(test::ReadTrace(first), "role").size(), 1u);

    // With a full-screen saver on the display, a second start ends at once.
    Child running(QV_QT_PROBE, {"/s", "pattern", root}, test::XEnvironment(x));
    ASSERT_TRUE(running.WaitForLine("drawn", kStartMs)) << running.Errors();
    const fs::path second = dir / "second.jsonl";
    ASSERT_EQ(test::RunToEnd(dir / "saver.scr", {"/s", root, "--trace=" + second.string()},
                             test::XEnvironment(x), kStartMs, &output),
              0)
        << output;
    const auto trace = test::ReadTrace(second);
    EXPECT_EQ(test::Events(trace, "saver-running").size(), 1u);
    EXPECT_TRUE(test::Events(trace, "role").empty());
    // The running saver was not touched.
    EXPECT_EQ(running.Wait(0), std::nullopt);
    EXPECT_EQ(AwaitScreen(x, 0, 0, 320, 240, Pattern(320, 240)), std::nullopt);
}

// The window host says once which headless options it ignores, and cuts a window larger
// than the screen to the screen. /LIST ends as soon as the host is up.
TEST(QtHost, SaysWhatItIgnoresAndCutsAWindowToTheScreen) {
    XServer x(640, 480);
    const struct {
        std::vector<std::string> Args;
        std::vector<std::string> Lines; // each on standard error
        std::vector<std::string> Absent;
    } cases[] = {
        {{"--duration=100", "--snapshot=10:a.png", "--host-size=40x30"},
         {"quorvex: the window host ignores --duration, --snapshot, --host-size (used by "
          "--display=headless only)\n"},
         {"--windowed"}},
        {{"--windowed=5000x300"},
         {"quorvex: --windowed=5000x300 is larger than the screen; using 640x300\n"},
         {"ignores"}},
        {{"--windowed=600x400"}, {}, {"ignores", "larger than the screen"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.Args));
        test::TempDir dir;
        std::string output;
        EXPECT_EQ(test::RunToEnd(QV_PLAYER,
                                 With(With({"/LIST", "--display=window"}, c.Args), Options(dir)),
                                 test::XEnvironment(x), kStartMs, &output),
                  0)
            << output;
        for (const std::string& line : c.Lines) {
            EXPECT_NE(output.find(line), std::string::npos) << output;
            EXPECT_EQ(output.find(line), output.rfind(line)) << "said twice: " << output;
        }
        for (const std::string& word : c.Absent) {
            EXPECT_EQ(output.find(word), std::string::npos) << output;
        }
    }
}

TEST(QtHost, MissingDisplayIsAClearError) {
    const struct {
        std::optional<std::string> Display;
        const char* Message;
    } cases[] = {
        {std::nullopt, "no display"},
        {":97", "cannot open the display :97"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        std::string output;
        const test::EnvChanges env = {{"DISPLAY", c.Display},
                                      {"WAYLAND_DISPLAY", std::nullopt},
                                      {"QT_QPA_PLATFORM", std::nullopt}};
        EXPECT_EQ(test::RunToEnd(QV_PLAYER, With({"/LIST", "--display=window"}, Options(dir)), env,
                                 kStartMs, &output),
                  2);
        EXPECT_NE(output.find(c.Message), std::string::npos) << output;
    }
}

TEST(KeyMap, VirtualKeysOfQtKeys) {
    const struct {
        int QtKey;
        uint32_t VirtualKey;
    } cases[] = {
        {Qt::Key_A, 0x41},      {Qt::Key_Z, 0x5A},       {Qt::Key_0, 0x30},
        {Qt::Key_9, 0x39},      {Qt::Key_F1, 0x70},      {Qt::Key_F12, 0x7B},
        {Qt::Key_Escape, 0x1B}, {Qt::Key_Return, 0x0D},  {Qt::Key_Enter, 0x0D},
        {Qt::Key_Space, 0x20},  {Qt::Key_Left, 0x25},    {Qt::Key_Down, 0x28},
        {Qt::Key_Shift, 0x10},  {Qt::Key_Delete, 0x2E},  {Qt::Key_Exclam, 0},
        {Qt::Key_unknown, 0},   {Qt::Key_VolumeDown, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VirtualKeyFromQtKey(c.QtKey), c.VirtualKey) << "Qt key " << c.QtKey;
    }
    const auto bits = [](auto flag) { return static_cast<uint32_t>(flag); };
    EXPECT_EQ(MouseKeyState(bits(Qt::LeftButton) | bits(Qt::MiddleButton), bits(Qt::ShiftModifier)),
              WPARAM{0x0001 | 0x0010 | 0x0004});
    EXPECT_EQ(MouseKeyState(bits(Qt::RightButton), bits(Qt::ControlModifier)),
              WPARAM{0x0002 | 0x0008});
}

} // namespace
} // namespace qv
