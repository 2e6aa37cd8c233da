// The screen lock on the window host: while a password-protected saver runs on a real X
// server no other client gets key presses or grabs, the password prompt takes what is
// typed, and only the right password ends the run.
#include "scenario_support.h"
#include "x_session.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kXdotool = "/usr/bin/xdotool";

std::vector<uint8_t> HeldShow() {
    return MakeShow(PlainHeader(14), {1, 0, 0, 0, 600000, 200},
                    {BandedPicture(64, 48, {0xE03020, 0x30C040})});
}

void Xdotool(const XServer& x, const std::vector<std::string>& args) {
    ASSERT_EQ(RunToEnd(kXdotool, args, XEnvironment(x), 20000), 0) << args.front();
}

// Waits until the trace file has an event of this name and these fields.
bool AwaitTrace(const fs::path& file, const std::string& ev, const nlohmann::json& match,
                size_t count = 1) {
    const auto deadline = SteadyClock::now() + std::chrono::seconds(20);
    do {
        if (fs::exists(file)) {
            size_t seen = 0;
            for (const auto& e : Events(ReadTrace(file), ev)) {
                bool all = true;
                for (const auto& [k, v] : match.items()) {
                    all = all && e.contains(k) && e[k] == v;
                }
                seen += all ? 1 : 0;
            }
            if (seen >= count) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (SteadyClock::now() < deadline);
    return false;
}

// Waits for the password prompt's window to be on the screen.
bool AwaitPrompt(const XServer& x) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string found;
        RunToEnd(kXdotool, {"search", "--onlyvisible", "--name", "^Screen Saver Password$"},
                 XEnvironment(x), 20000, &found);
        if (!found.empty()) {
            // Let the prompt take the keyboard.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// A show beside a link to the player, with the password set and protection on.
void InstallProtected(const TempDir& dir) {
    WriteFile(dir / "show.qdm", HeldShow());
    fs::create_symlink(QV_PLAYER, dir / "show.scr");
    const std::string root = "--root=" + (dir / "root").string();
    WriteText(dir / "events.txt",
              "answer change-password new=Sesame-42 confirm=Sesame-42 protect=on\n");
    ASSERT_EQ(test::Run(dir / "show.scr",
                        {"/a", "1", "--display=headless", root,
                         "--events=" + (dir / "events.txt").string()},
                        dir.Path())
                  .ExitCode,
              0);
}

TEST(QtPassword, AProtectedSaverHoldsAllInputUntilTheRightPassword) {
    TempDir dir;
    InstallProtected(dir);
    const std::string root = "--root=" + (dir / "root").string();

    XServer x(320, 240);
    Child probe(QV_X_GRAB_PROBE, {}, XEnvironment(x));
    ASSERT_TRUE(probe.ReadLine(20000)) << probe.Errors();
    // Before the saver, the other client gets typed keys and can grab.
    Xdotool(x, {"key", "x"});
    probe.WriteLine("keys");
    EXPECT_EQ(probe.ReadLine(10000), "keys 1");
    probe.WriteLine("grab");
    EXPECT_EQ(probe.ReadLine(10000), "pointer 0 keyboard 0");

    Xdotool(x, {"mousemove", "100", "100"});
    const fs::path trace = dir / "trace.jsonl";
    Child player(dir / "show.scr", {"/s", root, "--trace=" + trace.string()}, XEnvironment(x));
    ASSERT_TRUE(AwaitTrace(trace, "input-hold", nlohmann::json::object())) << player.Errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    // Keys typed while the saver runs never reach the other client, nor can it grab.
    probe.WriteLine("focus");
    EXPECT_EQ(probe.ReadLine(10000), "focused");
    Xdotool(x, {"key", "a", "b", "c"});
    probe.WriteLine("keys");
    EXPECT_EQ(probe.ReadLine(10000), "keys 1");
    probe.WriteLine("grab");
    EXPECT_EQ(probe.ReadLine(10000), "pointer 1 keyboard 1");
    EXPECT_EQ(player.Wait(0), std::nullopt) << player.Errors();

    // A disturbance opens the prompt; a wrong password keeps the saver running.
    Xdotool(x, {"mousemove", "100", "100"});
    Xdotool(x, {"mousemove", "140", "140"});
    ASSERT_TRUE(AwaitPrompt(x)) << player.Errors();
    Xdotool(x, {"type", "--delay", "30", "wrong"});
    Xdotool(x, {"key", "Return"});
    ASSERT_TRUE(AwaitTrace(trace, "password-verify", {{"result", "wrong"}})) << player.Errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(player.Wait(0), std::nullopt) << player.Errors();
    probe.WriteLine("grab");
    EXPECT_EQ(probe.ReadLine(10000), "pointer 1 keyboard 1");

    // The right one ends it.
    Xdotool(x, {"mousemove", "60", "60"});
    Xdotool(x, {"mousemove", "160", "160"});
    ASSERT_TRUE(AwaitPrompt(x)) << player.Errors();
    Xdotool(x, {"type", "--delay", "30", "Sesame-42"});
    Xdotool(x, {"key", "Return"});
    EXPECT_EQ(player.Wait(20000), 0) << player.Errors();
    EXPECT_TRUE(AwaitTrace(trace, "password-verify", {{"result", "right"}}));

    probe.WriteLine("keys");
    EXPECT_EQ(probe.ReadLine(10000), "keys 1");
    // The saver let go: the other client can grab again.
    probe.WriteLine("grab");
    EXPECT_EQ(probe.ReadLine(10000), "pointer 0 keyboard 0");
    EXPECT_EQ(ReadText(trace).find("Sesame"), std::string::npos);
    EXPECT_EQ(player.Errors().find("Sesame"), std::string::npos);
}

TEST(QtPassword, AGrabThatCannotBeHadIsSaidOnceAndTheSaverRunsOn) {
    TempDir dir;
    InstallProtected(dir);
    XServer x(320, 240);
    Child probe(QV_X_GRAB_PROBE, {}, XEnvironment(x));
    ASSERT_TRUE(probe.ReadLine(20000)) << probe.Errors();
    probe.WriteLine("hold");
    ASSERT_EQ(probe.ReadLine(10000), "held 0 0");

    const fs::path trace = dir / "trace.jsonl";
    Child player(dir / "show.scr",
                 {"/s", "--root=" + (dir / "root").string(), "--trace=" + trace.string()},
                 XEnvironment(x));
    ASSERT_TRUE(AwaitTrace(trace, "input-hold", nlohmann::json::object())) << player.Errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_EQ(player.Wait(0), std::nullopt) << player.Errors();
    const std::string errors = player.Errors();
    const std::string note = "cannot hold the keyboard and mouse";
    const size_t at = errors.find(note);
    EXPECT_NE(at, std::string::npos) << errors;
    EXPECT_EQ(errors.find(note, at + 1), std::string::npos) << errors;

    // Once the other program lets go, the saver takes the grabs after all.
    probe.WriteLine("release");
    ASSERT_EQ(probe.ReadLine(10000), "released");
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    probe.WriteLine("grab");
    EXPECT_EQ(probe.ReadLine(10000), "pointer 1 keyboard 1");
}

} // namespace
} // namespace qv::test
