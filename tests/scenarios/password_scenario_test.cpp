#include "scenario_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// A slow fade: the picture takes 2 s to appear, then stays 1 s, so that where the fade
// stands in a snapshot tells the styles' clock.
std::vector<uint8_t> SlowFadeShow() {
    return MakeShow(PlainHeader(2), {1, 0, 0, 1000, 2000},
                    {BandedPicture(32, 24, {0xF0F0F0, 0xF0F0F0})});
}

// The player, headless, in `dir` with the platform root dir/root that the runs of one test
// share, as a saver file named like the show beside it (so that every role finds the show).
PlayerRun RunPlayer(const TempDir& dir, std::vector<std::string> args, const std::string& events,
                    const std::vector<std::string>& options = {}) {
    const fs::path program = dir / "show.scr";
    if (!fs::exists(dir / "show.qdm")) {
        WriteFile(dir / "show.qdm", SlowFadeShow());
        fs::create_symlink(QV_PLAYER, program);
    }
    fs::create_directories(dir / "root");
    const fs::path trace = dir / "trace.jsonl";
    fs::remove(trace);
    args.push_back("--display=headless");
    args.push_back("--size=160x120");
    args.push_back("--root=" + (dir / "root").string());
    args.push_back("--trace=" + trace.string());
    args.push_back("--time=2026-03-07T14:05:09");
    WriteText(dir / "events.txt", events);
    args.push_back("--events=" + (dir / "events.txt").string());
    args.insert(args.end(), options.begin(), options.end());
    PlayerRun run;
    run.Result = Run(program, args, dir.Path(), 60000);
    if (fs::exists(trace)) {
        run.Trace = ReadTrace(trace);
    }
    return run;
}

fs::path Registry(const TempDir& dir) {
    return dir / "root" / "registry.reg";
}

const char* kDesktopKey = "[HKEY_CURRENT_USER\\Control Panel\\desktop]\n";

int64_t StopTime(const PlayerRun& run) {
    return EventTime(run.Trace, "spi", {{"action", 97}, {"value", 0}});
}

// The screen cursor's changes, in order.
std::vector<std::string> CursorChanges(const PlayerRun& run) {
    std::vector<std::string> out;
    for (const auto& e : Events(run.Trace, "cursor")) {
        if (!e.contains("hwnd")) {
            out.push_back(e.value("cursor", std::string()));
        }
    }
    return out;
}

TEST(PasswordRun, WithoutProtectionTheFirstClickEndsTheRunWithoutAPrompt) {
    const std::string on =
        std::string("REGEDIT4\n") + kDesktopKey + "\"ScreenSaveUsePassword\"=dword:00000001\n";
    const struct {
        const char* Name;
        std::string Registry; // empty: no file
        const char* Cpl;      // what PASSWORD.CPL is, when not the project's own
        bool Held;            // the setting asks for the input to be held
    } cases[] = {
        {"value 0", std::string("REGEDIT4\n") + kDesktopKey + "\"ScreenSaveUsePassword\"=dword:0\n",
         nullptr, false},
        {"no registry file", "", nullptr, false},
        {"key missing", "REGEDIT4\n[HKEY_CURRENT_USER\\Software]\n\"x\"=dword:1\n", nullptr, false},
        {"value missing", std::string("REGEDIT4\n") + kDesktopKey + "\"Other\"=dword:1\n", nullptr,
         false},
        {"no entry point", on, QV_NO_ENTRY_LIBRARY, true},
        {"not a library", on, "text", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        fs::create_directories(dir / "root" / "windows" / "system");
        if (!c.Registry.empty()) {
            WriteText(Registry(dir), c.Registry);
        }
        if (c.Cpl && std::string(c.Cpl) == "text") {
            WriteText(dir / "root" / "windows" / "system" / "PASSWORD.CPL", "text");
        } else if (c.Cpl) {
            fs::copy_file(c.Cpl, dir / "root" / "windows" / "system" / "PASSWORD.CPL");
        }
        const PlayerRun run = RunPlayer(
            dir, {"/s"}, "200 mouse-down\nanswer password type secret\n", {"--duration=3000"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        EXPECT_GE(StopTime(run), 200);
        EXPECT_LT(StopTime(run), 260);
        EXPECT_TRUE(Events(run.Trace, "password-prompt").empty());
        EXPECT_EQ(Events(run.Trace, "input-hold").empty(), !c.Held);
    }
}

TEST(PasswordRun, ProtectedSaverEndsOnlyAfterTheRightPassword) {
    TempDir dir;
    // The user sets the password with /a and turns protection on.
    const PlayerRun set = RunPlayer(
        dir, {"/a", "1234"}, "answer change-password new=Sesame-42 confirm=Sesame-42 protect=on\n");
    ASSERT_EQ(set.Result.ExitCode, 0) << set.Result.Err;
    const std::string stored = ReadText(Registry(dir));
    EXPECT_NE(stored.find("\"ScreenSaveUsePassword\"=dword:00000001"), std::string::npos);
    EXPECT_NE(stored.find("\"ScreenSave_Data\"=\"$y$"), std::string::npos);
    EXPECT_EQ(stored.find("Sesame"), std::string::npos);

    // A click at 500 ms: a wrong password that takes 3 s to type; mouse moves meanwhile.
    // At 5000 ms a click and the right one.
    const std::string events = "500 mouse-down\n"
                               "answer password type wrong 3000\n"
                               "1000 mouse-move 10 10\n"
                               "1500 mouse-move 100 100\n"
                               "2000 mouse-down\n"
                               "5000 mouse-down\n"
                               "answer password type Sesame-42 100\n";
    const PlayerRun run =
        RunPlayer(dir, {"/s"}, events,
                  {"--duration=20000", "--snapshot=400:" + (dir / "a400.png").string(),
                   "--snapshot=3600:" + (dir / "a3600.png").string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_FALSE(Events(run.Trace, "input-hold").empty());
    const auto verdicts = Events(run.Trace, "password-verify");
    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[0]["result"], "wrong");
    EXPECT_EQ(verdicts[1]["result"], "right");
    EXPECT_EQ(Events(run.Trace, "password-prompt").size(), 2u);
    EXPECT_GE(StopTime(run), 5100);
    EXPECT_LT(StopTime(run), 5200);
    // Hidden for the run, shown for each prompt and hidden again, the arrow back at the end.
    const std::vector<std::string> cursors{"none", "arrow", "none", "arrow", "none", "arrow"};
    EXPECT_EQ(CursorChanges(run), cursors);
    EXPECT_EQ(ReadText(dir / "trace.jsonl").find("Sesame"), std::string::npos);

    // The same show, undisturbed: the fade stood still for the 3 s of the prompt, so the
    // picture at 3600 ms is where an undisturbed run has it at about 600 ms.
    TempDir calm;
    const PlayerRun reference =
        RunPlayer(calm, {"/s"}, "",
                  {"--duration=1000", "--snapshot=400:" + (calm / "b400.png").string(),
                   "--snapshot=598:" + (calm / "b598.png").string(),
                   "--snapshot=3600:" + (calm / "b3600.png").string()});
    ASSERT_EQ(reference.Result.ExitCode, 0) << reference.Result.Err;
    const Image a400 = ReadPng(dir / "a400.png");
    const Image a3600 = ReadPng(dir / "a3600.png");
    const Image b400 = ReadPng(calm / "b400.png");
    const Image b598 = ReadPng(calm / "b598.png");
    EXPECT_EQ(a400.Pixels, b400.Pixels);
    EXPECT_EQ(a3600.Pixels, b598.Pixels) << std::hex << a3600.At(80, 60) << " " << b598.At(80, 60);
    // Part way in: neither black nor the picture's full colour.
    EXPECT_NE(a3600.At(80, 60), 0xF0F0F0u);
    EXPECT_NE(a3600.At(80, 60), 0u);
}

TEST(PasswordRun, AValueOfAnotherTypeEndsTheRunThroughTheExceptionPath) {
    TempDir dir;
    WriteText(Registry(dir),
              std::string("REGEDIT4\n") + kDesktopKey + "\"ScreenSaveUsePassword\"=\"1\"\n");
    const PlayerRun run = RunPlayer(dir, {"/s"}, "200 mouse-down\n", {"--duration=3000"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const int64_t exception = EventTime(run.Trace, "exception", {{"in", "message"}});
    EXPECT_GE(exception, 200);
    EXPECT_GT(StopTime(run), exception - 1);
    EXPECT_LT(StopTime(run), 300);
    EXPECT_EQ(CursorChanges(run).back(), "arrow");
    EXPECT_TRUE(Events(run.Trace, "password-prompt").empty());
}

TEST(PasswordRun, ChangeRoleSetsChangesAndTurnsProtectionOnAndOff) {
    TempDir dir;
    const struct {
        const char* Name;
        std::vector<std::string> Args;
        const char* Events;
        const char* UsePassword; // the stored value afterwards, or nullptr for no file
    } steps[] = {
        {"no second argument",
         {"/a"},
         "answer change-password new=x confirm=x protect=on\n",
         nullptr},
        {"set",
         {"/a", "99"},
         "answer change-password new=First-1 confirm=First-1 protect=on\n",
         "dword:00000001"},
        {"change without the old one",
         {"/a", "99"},
         "answer change-password new=Second-2 confirm=Second-2\n",
         "dword:00000001"},
        {"change",
         {"/a", "99"},
         "answer change-password old=First-1 new=Second-2 confirm=Second-2\n",
         "dword:00000001"},
        {"off",
         {"/A", "99"},
         "answer change-password old=Second-2 protect=off\n",
         "dword:00000000"},
    };
    std::string hash;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.Name);
        const PlayerRun run = RunPlayer(dir, s.Args, s.Events);
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        EXPECT_EQ(EventTime(run.Trace, "role", {{"role", "change-password"}}) >= 0, true);
        if (!s.UsePassword) {
            EXPECT_FALSE(fs::exists(Registry(dir)));
            EXPECT_TRUE(Events(run.Trace, "password-prompt").empty());
            continue;
        }
        const std::string text = ReadText(Registry(dir));
        EXPECT_NE(text.find(std::string("\"ScreenSaveUsePassword\"=") + s.UsePassword),
                  std::string::npos)
            << text;
        for (const char* secret : {"First-1", "Second-2"}) {
            EXPECT_EQ(text.find(secret), std::string::npos);
        }
    }
    // After "off" the saver ends at the first click; the password stays for next time.
    const PlayerRun run = RunPlayer(dir, {"/s"}, "200 mouse-down\n", {"--duration=3000"});
    EXPECT_LT(StopTime(run), 260);
    const PlayerRun on =
        RunPlayer(dir, {"/a", "99"}, "answer change-password old=Second-2 protect=on\n");
    EXPECT_NE(ReadText(Registry(dir)).find("dword:00000001"), std::string::npos);
    const PlayerRun locked = RunPlayer(dir, {"/s"},
                                       "200 mouse-down\nanswer password type First-1\n"
                                       "400 mouse-down\nanswer password type Second-2\n",
                                       {"--duration=3000"});
    EXPECT_GE(StopTime(locked), 400);
    EXPECT_LT(StopTime(locked), 460);
}

} // namespace
} // namespace qv::test
