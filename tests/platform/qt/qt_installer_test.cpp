// The installer wizard on the window host against a real X server: each page drawn by Qt
// Widgets, and a whole installation driven by xdotool clicks on the wizard's buttons and
// Return on the closing message box. With QV_INSTALLER_SHOTS set to a folder, a picture of
// the screen at each page is left there to be looked at.
#include "scenario_support.h"
#include "x_session.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kXdotool = "/usr/bin/xdotool";

// A set with a read-me and a licence, written by quorvex-show. The setup is the player
// without its debugging sections: the window host lets a loop that only pumps messages wait
// a little each round, and the copy pumps once per 4096-byte block.
void WriteSet(const TempDir& dir) {
    const fs::path player = dir / "quorvex";
    ASSERT_EQ(Run("/usr/bin/strip", {"--strip-debug", "-o", player.string(), QV_PLAYER}, dir.Path())
                  .ExitCode,
              0);
    const fs::path m = dir / "manifest";
    fs::create_directories(m);
    WritePngFile(m / "picture0.png", BandedPicture(16, 12, {0x20A040, 0xE0E020}));
    WritePngFile(m / "logo.png", BandedPicture(90, 40, {0x2040C0, 0xF0F0F0, 0xC02020}));
    WriteText(m / "readme.txt", "Night Birds\nA show of birds at night.\n");
    WriteText(m / "licence.txt", "Share it freely.\n");
    WriteFile(m / "songs.bin", std::vector<uint8_t>(20000, 0x5A));
    const nlohmann::json manifest = {
        {"SaverTitle", "Night Birds"},
        {"SaverFileName", "Night Birds"},
        {"TransitionType", 2},
        {"AboutText", "Birds|at night"},
        {"ClientText", "Made for|testing"},
        {"LogoKind", 1},
        {"Logo", {{{"File", "logo.png"}}}},
        {"Parameters",
         {{"PictureNumbers", {0}}, {"RandomPlacement", 0}, {"HoldTime", 300}, {"EffectTime", 100}}},
        {"Pictures", {{{"File", "picture0.png"}}}},
        {"Installation",
         {{"Setup", "BIRDSETUP.EXE"},
          {"DiskSize", 12000},
          {"ReadMe", "readme.txt"},
          {"Licence", "licence.txt"},
          {"ExtraFiles", {{{"File", "songs.bin"}, {"Name", "songs.dat"}}}}}}};
    WriteText(m / "set.json", manifest.dump(2));
    ASSERT_EQ(Run(QV_SHOW_TOOL,
                  {"build", (m / "set.json").string(), "--set=" + (dir / "set").string(),
                   "--player=" + player.string()},
                  dir.Path())
                  .ExitCode,
              0);
}

std::string FindWindow(const XServer& x, const std::string& name, int attempts = 150) {
    std::string found;
    for (int attempt = 0; attempt < attempts && found.empty(); ++attempt) {
        RunToEnd(kXdotool, {"search", "--onlyvisible", "--name", name}, XEnvironment(x), 20000,
                 &found);
        if (found.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return found.substr(0, found.find('\n'));
}

// A click at a point; the pointer then leaves it, since a synchronous move to where the
// pointer already is waits for a motion that never comes.
void Click(const XServer& x, int32_t screenX, int32_t screenY) {
    ASSERT_EQ(RunToEnd(kXdotool,
                       {"mousemove", "--sync", std::to_string(screenX), std::to_string(screenY),
                        "click", "1", "mousemove", "--sync", "1", "1"},
                       XEnvironment(x), 20000),
              0);
}

// The screen once the page has had time to paint: checked for content in the wizard's
// area, and kept as a picture when asked.
void LookAt(const XServer& x, const std::string& name, int32_t left, int32_t top) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const Screen s = Screenshot(x);
    int changes = 0;
    for (int32_t xx = left + 1; xx < left + 472; ++xx) {
        changes += s.At(xx, top + 293) != s.At(xx - 1, top + 293);
    }
    EXPECT_GT(changes, 12) << name; // the buttons' edges and captions on that row
    if (const char* shots = std::getenv("QV_INSTALLER_SHOTS")) {
        RunToEnd("/usr/bin/import",
                 {"-display", x.Display(), "-window", "root",
                  (fs::path(shots) / (name + ".png")).string()},
                 {}, 20000);
    }
}

TEST(QtInstaller, EachPageIsDrawnAndClicksInstallTheSaver) {
    XServer x(640, 480);
    TempDir dir;
    WriteSet(dir);
    fs::create_directories(dir / "root");
    Child setup(dir / "set" / "BIRDSETUP.EXE",
                {"--root=" + (dir / "root").string(), "--trace=" + (dir / "trace.jsonl").string()},
                XEnvironment(x));
    const std::string id = FindWindow(x, "^Night Birds Setup$");
    ASSERT_FALSE(id.empty()) << setup.Errors();
    const int32_t left = (640 - 472) / 2;
    const int32_t top = (480 - 316) / 2;
    // The middle of btnInstall, in screen pixels.
    const int32_t nextX = left + 304 + 37;
    const int32_t nextY = top + 282 + 11;
    LookAt(x, "page0-welcome", left, top);
    Click(x, nextX, nextY);
    LookAt(x, "page1-readme", left, top);
    Click(x, nextX, nextY);
    LookAt(x, "page2-licence", left, top);
    Click(x, nextX, nextY);
    LookAt(x, "page3-ready", left, top);
    Click(x, nextX, nextY);
    // The message that the installation is complete; Return closes it.
    const std::string box = FindWindow(x, "^Night Birds$", 1200);
    ASSERT_FALSE(box.empty()) << setup.Errors();
    // The gauge full, the buttons disabled, and the message over the wizard.
    LookAt(x, "finished", left, top);
    ASSERT_EQ(
        RunToEnd(kXdotool, {"windowfocus", "--sync", box, "key", "Return"}, XEnvironment(x), 20000),
        0);
    EXPECT_EQ(setup.Wait(30000), 0) << setup.Errors();

    const auto trace = ReadTrace(dir / "trace.jsonl");
    std::vector<int> pages;
    for (const auto& e : Events(trace, "installer-page")) {
        pages.push_back(e["page"]);
    }
    EXPECT_EQ(pages, (std::vector<int>{1, 2, 3}));
    const fs::path win = dir / "root" / "windows";
    EXPECT_EQ(ReadFile(win / "Night Birds.SCR"), ReadFile(dir / "quorvex"));
    EXPECT_EQ(ReadFile(win / "songs.dat"), std::vector<uint8_t>(20000, 0x5A));
    EXPECT_NE(ReadText(win / "system.ini").find("SCRNSAVE.EXE=Z:\\"), std::string::npos);
    EXPECT_NE(EventTime(trace, "winexec",
                        {{"command", "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,1"}}),
              -1);
    EXPECT_NE(EventTime(trace, "msgbox", {{"text", "Installation of 'Night Birds' complete."}}),
              -1);
}

} // namespace
} // namespace qv::test
