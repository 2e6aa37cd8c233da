// The settings dialog on the window host against a real X server: a Qt dialog of exactly
// the form's client size, centred, that saves on OK (clicked with xdotool) and saves nothing
// on Escape or the window manager's close button.
#include "scenario_support.h"
#include "x_session.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kXdotool = "/usr/bin/xdotool";

fs::path InstallShow(const TempDir& dir) {
    ShowRecord h = PlainHeader(1);
    h.SoundFile = "tone.wav";
    WriteFile(dir / "show.qdm", MakeShow(h, {}, {}));
    fs::create_symlink(QV_PLAYER, dir / "show.scr");
    fs::create_directories(dir / "root");
    return dir / "show.scr";
}

// The X window of the dialog titled like the show, once it is mapped.
std::string FindDialog(const XServer& x) {
    std::string found;
    for (int attempt = 0; attempt < 150 && found.empty(); ++attempt) {
        RunToEnd(kXdotool, {"search", "--onlyvisible", "--name", "^Test show$"}, XEnvironment(x),
                 20000, &found);
        if (found.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return found.substr(0, found.find('\n'));
}

struct Geometry {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};

Geometry GeometryOf(const XServer& x, const std::string& id) {
    std::string text;
    EXPECT_EQ(RunToEnd(QV_X11_HELPER, {"geometry", id}, XEnvironment(x), 20000, &text), 0);
    Geometry g;
    EXPECT_EQ(std::sscanf(text.c_str(), "%d %d %d %d", &g.Left, &g.Top, &g.Width, &g.Height), 4);
    return g;
}

TEST(QtDialogs, SettingsDialogIsSizedCentredAndSavesOnlyOnOk) {
    const struct {
        const char* Name;
        const char* How; // "ok", "escape" or "close"
        bool Saves;
    } cases[] = {
        {"OK clicked", "ok", true}, {"Escape", "escape", false}, {"close box", "close", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        XServer x(640, 480);
        TempDir dir;
        const fs::path saver = InstallShow(dir);
        Child player(saver,
                     {"/c", "--root=" + (dir / "root").string(),
                      "--trace=" + (dir / "trace.jsonl").string()},
                     XEnvironment(x));
        const std::string id = FindDialog(x);
        ASSERT_FALSE(id.empty()) << player.Errors();
        const Geometry g = GeometryOf(x, id);
        EXPECT_EQ(g.Width, 201);
        EXPECT_EQ(g.Height, 129);
        EXPECT_EQ(g.Left, (640 - 201) / 2);
        EXPECT_EQ(g.Top, (480 - 129) / 2);
        // Time to paint, then the dialog is not one flat colour.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const Screen s = Screenshot(x);
        int changes = 0;
        for (int32_t xx = g.Left + 1; xx < g.Left + g.Width; ++xx) {
            changes += s.At(xx, g.Top + 103) != s.At(xx - 1, g.Top + 103);
        }
        EXPECT_GT(changes, 8); // the two buttons' edges and captions on that row

        if (std::string(c.How) == "ok") {
            // The middle of btnOK: the button panel starts 80 pixels down.
            ASSERT_EQ(RunToEnd(kXdotool,
                               {"mousemove", "--sync", std::to_string(g.Left + 141),
                                std::to_string(g.Top + 103), "click", "1"},
                               XEnvironment(x), 20000),
                      0);
        } else if (std::string(c.How) == "escape") {
            ASSERT_EQ(RunToEnd(kXdotool, {"windowfocus", "--sync", id, "key", "Escape"},
                               XEnvironment(x), 20000),
                      0);
        } else {
            ASSERT_EQ(RunToEnd(QV_X11_HELPER, {"close", id}, XEnvironment(x), 20000), 0);
        }
        EXPECT_EQ(player.Wait(20000), 0) << player.Errors();
        const auto trace = ReadTrace(dir / "trace.jsonl");
        EXPECT_EQ(Events(trace, "profile-write").size(), c.Saves ? 2u : 0u);
        EXPECT_EQ(fs::exists(dir / "root" / "windows" / "control.ini"), c.Saves);
        if (c.Saves) {
            EXPECT_EQ(ReadText(dir / "root" / "windows" / "control.ini"),
                      "[Screen Saver.Test show]\nSpeed=50\nSound=1\n");
        }
    }
}

} // namespace
} // namespace qv::test
