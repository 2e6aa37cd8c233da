#include "show/show_writer.h"
#include "test_support.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qv {
namespace {

namespace fs = std::filesystem;

// Writes a minimal show (header only) at `path`.
void WriteShow(const fs::path& path) {
    ShowRecord rec;
    rec.SaverTitle = "Test";
    ShowWriter w;
    WriteShowHeader(w, rec);
    test::WriteFile(path, w.Bytes());
}

// A player reachable under `exe` (a symbolic link, so argv[0] carries that name).
fs::path LinkPlayer(const fs::path& exe) {
    fs::create_directories(exe.parent_path());
    fs::create_symlink(QV_PLAYER, exe);
    return exe;
}

struct Outcome {
    int ExitCode = -1;
    std::vector<nlohmann::json> Trace;
    std::string Out, Err;
};

Outcome RunPlayer(const fs::path& exe, std::vector<std::string> args, const fs::path& cwd,
                  const fs::path& root) {
    const fs::path trace = cwd / "trace.jsonl";
    args.push_back("--trace=" + trace.string());
    args.push_back("--root=" + root.string());
    args.push_back("--display=headless");
    const auto r = test::Run(exe, args, cwd);
    return {r.ExitCode, test::ReadTrace(trace), r.Out, r.Err};
}

std::optional<nlohmann::json> Role(const Outcome& o) {
    auto roles = test::Events(o.Trace, "role");
    if (roles.empty()) {
        return std::nullopt;
    }
    return roles.front();
}

TEST(Startup, RoleFromCommandLineAndExecutablePath) {
    const struct {
        std::string Exe;
        std::vector<std::string> Args;
        const char* Role; // nullptr: no role is chosen
        int SaverRole;
    } cases[] = {
        {"saver.scr", {"/s"}, "full-screen", 1},
        {"saver.scr", {"-S"}, "full-screen", 1},
        {"saver.scr", {"s"}, "full-screen", 1},
        {"saver.scr", {"/S:123"}, "full-screen", 1},
        {"saver.scr", {"/LISTS"}, "full-screen", 1},
        {"saver.scr", {"/p", "1234"}, "preview", 3},
        {"saver.scr", {"/p"}, "preview", 3},
        {"saver.scr", {"/ps"}, "preview", 3},
        {"saver.scr", {"/a"}, "change-password", 0},
        {"saver.scr", {"/AP"}, "change-password", 0},
        {"saver.scr", {"/c"}, "settings", 2},
        {"saver.scr", {"/c:1234"}, "settings", 2},
        {"saver.scr", {}, "settings", 2},
        {"Saver.Exe", {"/s"}, "full-screen", 1},
        {"SETUP/SAVER.SCR", {}, "installer", 4},
        {"c/setup/saver.scr", {"/c"}, "installer", 4},
        {"c/setup/saver.scr", {"/s"}, "full-screen", 1},
        {"mysetup.exe", {}, "installer", 4},
        {"saver.scr", {"/DEMO", "show.dat"}, "full-screen", 1},
        {"saver.scr", {"/demo", "SHOW.DAT"}, "full-screen", 1},
        {"saver.scr", {"/DEMO", "missing.dat"}, nullptr, 0},
        {"saver.scr", {"/DEMO"}, nullptr, 0},
        {"nosuffix", {"/s"}, nullptr, 0}, // the show would be "QDM" in the current folder
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const fs::path exe = LinkPlayer(dir / c.Exe);
        // The show beside the executable, named in lower case.
        fs::path show = exe.parent_path() / exe.filename().replace_extension(".qdm");
        for (auto& ch : const_cast<std::string&>(show.native())) {
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        }
        WriteShow(exe.parent_path() / show.filename());
        WriteShow(dir / "show.dat");
        const Outcome o = RunPlayer(exe, c.Args, dir.Path(), dir / "root");
        const std::string label = c.Exe + (c.Args.empty() ? "" : " " + c.Args[0]);
        EXPECT_EQ(o.ExitCode, 0) << label << o.Err;
        const auto role = Role(o);
        if (!c.Role) {
            EXPECT_FALSE(role) << label;
            continue;
        }
        ASSERT_TRUE(role) << label;
        EXPECT_EQ((*role)["role"], c.Role) << label;
        EXPECT_EQ((*role)["SaverRole"], c.SaverRole) << label;
        const auto exits = test::Events(o.Trace, "exit");
        ASSERT_EQ(exits.size(), 1u) << label;
        EXPECT_EQ(exits[0]["code"], 0) << label;
    }
}

// --show names the show for every role in place of the one beside the executable; a
// relative name is taken from the current directory, and /DEMO keeps its own argument 2.
TEST(Startup, ShowOptionChoosesTheShowInEveryRole) {
    const struct {
        std::vector<std::string> Args;
        const char* Role;                 // nullptr: the show is not found
        const char* NoShowFile = nullptr; // the name the no-show event reports
    } cases[] = {
        {{"/s", "--show=shows/Other.qdm"}, "full-screen"},
        {{"/p", "1234", "--show=shows/Other.qdm"}, "preview"},
        {{"--show=shows/Other.qdm"}, "settings"},
        {{"/c", "--show="}, nullptr}, // a usage error, below
        {{"/s", "--show=shows/missing.qdm"}, nullptr, "SHOWS\\MISSING.QDM"},
        {{"/DEMO", "demo.dat", "--show=shows/missing.qdm"}, "full-screen"},
        {{"/DEMO", "missing.dat", "--show=shows/Other.qdm"}, nullptr, "MISSING.DAT"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        // The executable lives elsewhere, with a show of its own beside it.
        const fs::path exe = LinkPlayer(dir / "bin" / "saver.scr");
        ShowRecord beside;
        beside.SaverTitle = "Beside";
        ShowWriter w;
        WriteShowHeader(w, beside);
        test::WriteFile(dir / "bin" / "saver.qdm", w.Bytes());
        ShowRecord other;
        other.SaverTitle = "Other";
        ShowWriter o2;
        WriteShowHeader(o2, other);
        fs::create_directories(dir / "work" / "shows");
        test::WriteFile(dir / "work" / "shows" / "other.qdm", o2.Bytes());
        WriteShow(dir / "work" / "demo.dat");
        std::string label;
        for (const auto& a : c.Args) {
            label += a + " ";
        }
        const Outcome o = RunPlayer(exe, c.Args, dir / "work", dir / "root");
        if (c.Args.back() == "--show=") {
            EXPECT_EQ(o.ExitCode, 2) << label;
            EXPECT_NE(o.Err.find("--show"), std::string::npos) << label;
            continue;
        }
        EXPECT_EQ(o.ExitCode, 0) << label << o.Err;
        const auto role = Role(o);
        if (!c.Role) {
            EXPECT_FALSE(role) << label;
            const auto none = test::Events(o.Trace, "no-show");
            ASSERT_EQ(none.size(), 1u) << label;
            const std::string file = none[0]["file"];
            EXPECT_TRUE(file.ends_with(c.NoShowFile)) << label << file;
            continue;
        }
        ASSERT_TRUE(role) << label;
        EXPECT_EQ((*role)["role"], c.Role) << label;
        const auto shown = test::Events(o.Trace, "form-show");
        EXPECT_EQ(shown.empty(), std::string(c.Role) != "settings") << label;
        for (const auto& form : shown) {
            EXPECT_EQ(form["caption"], "Other") << label;
        }
    }
}

TEST(Startup, SettingsRoleRunsTheSettingsFormUntilItClosesThenEnds) {
    test::TempDir dir;
    const fs::path exe = LinkPlayer(dir / "saver.scr");
    WriteShow(dir / "saver.qdm");
    test::WriteText(dir / "events.txt", "5 close\n");
    const Outcome o = RunPlayer(exe, {"/c", "--events=" + (dir / "events.txt").string()},
                                dir.Path(), dir / "root");
    ASSERT_EQ(o.ExitCode, 0) << o.Err;
    std::vector<std::string> order;
    for (const auto& e : o.Trace) {
        const std::string ev = e["ev"];
        if (ev == "role" || ev == "form-show" || ev == "form-close" || ev == "exit") {
            order.push_back(ev + (e.contains("form") ? " " + e["form"].get<std::string>() : ""));
        }
    }
    // The about box is made hidden and stays so unless its button is used.
    EXPECT_EQ(order, (std::vector<std::string>{"role", "form-show TCfgFrm", "form-close TCfgFrm",
                                               "exit"}));
    const auto shown = test::Events(o.Trace, "form-show");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(shown[0]["modal"].get<bool>()); // the main form
    EXPECT_EQ(shown[0]["caption"], "Test");
    EXPECT_EQ(test::Events(o.Trace, "form-close")[0]["t"], 5);
}

TEST(Startup, ArgumentZeroReachesTheProgramAsAWindowsPath) {
    test::TempDir dir;
    const fs::path exe = LinkPlayer(dir / "Saver.scr");
    WriteShow(dir / "saver.qdm");
    const Outcome o = RunPlayer(exe, {"/s"}, dir.Path(), dir / "root");
    const auto start = test::Events(o.Trace, "start");
    ASSERT_EQ(start.size(), 1u);
    std::string expected = "Z:" + (dir / "Saver.scr").string();
    std::replace(expected.begin(), expected.end(), '/', '\\');
    EXPECT_EQ(start[0]["args"][0], expected);
    EXPECT_EQ(start[0]["args"][1], "/s");
    EXPECT_EQ(start[0]["args"].size(), 2u); // host options are not the program's arguments
}

TEST(Startup, ListWriterWritesSixteenIds) {
    const struct {
        std::vector<std::string> Args;
        bool Writes;
    } cases[] = {
        {{"/LIST"}, true},   {{"/list"}, true},   {{"/LIST", "extra"}, true},
        {{"/LISTS"}, false}, {{"/LIST2"}, false},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const fs::path exe = LinkPlayer(dir / "bin" / "saver.scr"); // no show file anywhere
        const Outcome o = RunPlayer(exe, c.Args, dir.Path(), dir / "root");
        EXPECT_EQ(o.ExitCode, 0);
        const fs::path list = dir / "Transitions.qtl";
        ASSERT_EQ(fs::exists(list), c.Writes) << c.Args[0];
        if (c.Writes) {
            const auto bytes = test::ReadFile(list);
            ASSERT_EQ(bytes.size(), 64u);
            for (int i = 0; i < 16; ++i) {
                const int32_t v = bytes[4 * i] | (bytes[4 * i + 1] << 8) |
                                  (bytes[4 * i + 2] << 16) | (bytes[4 * i + 3] << 24);
                EXPECT_EQ(v, i + 1);
            }
            const auto writes = test::Events(o.Trace, "file-write");
            ASSERT_EQ(writes.size(), 1u);
            EXPECT_EQ(writes[0]["bytes"], 64);
        }
    }
}

TEST(Startup, ListWriterDoesNotWriteThroughWhatIsNoFileOfItsOwn) {
    const struct {
        const char* What;
        bool Fifo;
    } cases[] = {{"symlink", false}, {"fifo", true}};
    for (const auto& c : cases) {
        test::TempDir dir;
        const fs::path exe = LinkPlayer(dir / "bin" / "saver.scr");
        test::WriteText(dir / "target", "not a list");
        if (c.Fifo) {
            ASSERT_EQ(::mkfifo((dir / "Transitions.qtl").c_str(), 0600), 0);
        } else {
            fs::create_symlink(dir / "target", dir / "Transitions.qtl");
        }
        const Outcome o = RunPlayer(exe, {"/LIST"}, dir.Path(), dir / "root");
        EXPECT_EQ(o.ExitCode, 0) << c.What;
        EXPECT_EQ(test::ReadText(dir / "target"), "not a list") << c.What;
        EXPECT_TRUE(test::Events(o.Trace, "file-write").empty()) << c.What;
    }
}

TEST(Startup, MissingShowEndsQuietly) {
    for (const std::string arg : {"/s", "/p", "/c", "", "/a"}) {
        test::TempDir dir;
        const fs::path exe = LinkPlayer(dir / "saver.scr");
        const Outcome o =
            RunPlayer(exe, arg.empty() ? std::vector<std::string>{} : std::vector{arg}, dir.Path(),
                      dir / "root");
        EXPECT_EQ(o.ExitCode, 0) << arg;
        EXPECT_EQ(o.Out, "") << arg;
        EXPECT_EQ(o.Err, "") << arg;
        EXPECT_FALSE(Role(o)) << arg;
        EXPECT_EQ(test::Events(o.Trace, "no-show").size(), 1u) << arg;
    }
}

// The show file that the player looks for beside exe, as it names it.
std::string ShowNameBeside(const fs::path& exe) {
    std::string name = "Z:" + exe.parent_path().string() + "/" + exe.stem().string() + ".QDM";
    std::replace(name.begin(), name.end(), '/', '\\');
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name;
}

// A quiet end stays quiet (exit 0, nothing on standard error) where no terminal is there
// to read it, as when a desktop starts the saver; on a terminal it is one line saying why.
// The trace has the reason either way.
TEST(Startup, QuietEndsSayWhyOnATerminalOnly) {
    enum class Show { None, HeaderOnly, RefusedSlideshow };
    const struct {
        const char* Name;
        Show Beside;
        std::vector<std::string> Args;
        const char* Event;   // nullptr: no reason is given
        std::string Message; // "{show}" stands for the show file beside the program
    } cases[] = {
        {"ShowNamedAsArgument",
         Show::None,
         {"my.qdm"},
         "no-show",
         "no show file {show} beside the program; to play my.qdm, run quorvex /DEMO my.qdm or "
         "quorvex --show=my.qdm"},
        {"NoShowBeside",
         Show::None,
         {"/s"},
         "no-show",
         "no show file: looked for {show} (name one with /DEMO FILE or --show=FILE)"},
        {"DemoOfAMissingFile",
         Show::None,
         {"/DEMO", "missing.qdm"},
         "no-show",
         "no show file: looked for MISSING.QDM (name one with /DEMO FILE or --show=FILE)"},
        {"DemoOfAPicture",
         Show::None,
         {"/DEMO", "photo.png"},
         "not-playable",
         "PHOTO.PNG is not a show file: it is a PNG picture"},
        {"NoStyle",
         Show::HeaderOnly,
         {"/s"},
         "not-playable",
         "{show} is not a show file, or a damaged one: its transition id 0 names no style (1 to "
         "16)"},
        {"PreviewWithoutHandle",
         Show::HeaderOnly,
         {"/p"},
         "no-preview-window",
         "the preview needs the number of the window to draw in (/p 1234)"},
        {"PreviewHandleNoNumber",
         Show::HeaderOnly,
         {"/p", "abc"},
         "no-preview-window",
         "the preview window abc is no window: nothing is shown"},
        // A show that plays (and shows its style's own message) gets no word.
        {"ShowThatPlays", Show::RefusedSlideshow, {"/s", "--duration=300"}, nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        test::TempDir dir;
        const fs::path exe = LinkPlayer(dir / "saver.scr");
        test::WriteText(dir / "my.qdm", "not beside the program");
        test::WriteFile(dir / "photo.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0});
        if (c.Beside != Show::None) {
            ShowRecord rec;
            rec.TransitionType = c.Beside == Show::RefusedSlideshow ? 2 : 0;
            ShowWriter w;
            WriteShowHeader(w, rec);
            w.WriteInt(0); // a picture count the slideshow refuses
            test::WriteFile(dir / "saver.qdm", w.Bytes());
        }
        std::string expected = c.Message;
        if (const size_t at = expected.find("{show}"); at != std::string::npos) {
            expected.replace(at, 6, ShowNameBeside(exe));
        }
        std::vector<std::string> args = c.Args;
        for (const std::string& option :
             {"--trace=" + (dir / "trace.jsonl").string(), "--root=" + (dir / "root").string(),
              std::string("--display=headless")}) {
            args.push_back(option);
        }

        const test::RunResult quiet = test::Run(exe, args, dir.Path());
        EXPECT_EQ(quiet.ExitCode, 0);
        EXPECT_EQ(quiet.Err, "");
        const auto trace = test::ReadTrace(dir / "trace.jsonl");
        if (c.Event) {
            const auto events = test::Events(trace, c.Event);
            ASSERT_EQ(events.size(), 1u);
            EXPECT_EQ(events[0]["reason"], expected);
        }

        const test::RunResult told = test::RunWithTerminal(exe, args, dir.Path());
        EXPECT_EQ(told.ExitCode, 0);
        EXPECT_EQ(told.Err, c.Event ? "quorvex: " + expected + "\n" : "");
    }
}

TEST(Startup, HelpMarksTheOptionsOnlyTheHeadlessHostUses) {
    test::TempDir dir;
    const auto r = test::Run(QV_PLAYER, {"--help"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0);
    for (const char* line : {"\n* --duration=MS ", "\n* --snapshot=MS:FILE.png ",
                             "\n* --record=FILE.gif|FILE.webm", "\n* --events=FILE ",
                             "\n* --desktop=IMAGE ", "\n* --host-size=WxH ", "\n  --trace=FILE "}) {
        EXPECT_NE(r.Out.find(line), std::string::npos) << line;
    }
}

TEST(Startup, UnknownHostOptionIsAUsageError) {
    test::TempDir dir;
    const auto r = test::Run(QV_PLAYER, {"/s", "--no-such-option"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_NE(r.Err.find("--no-such-option"), std::string::npos);
}

// Starts the window holder; returns its pid once it holds the window.
pid_t StartHolder(const fs::path& root, const char* cls, const char* caption) {
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execl(QV_WINDOW_HOLDER, QV_WINDOW_HOLDER, root.c_str(), cls, caption, nullptr);
        _exit(127);
    }
    close(out[1]);
    char buf[16] = {};
    const ssize_t n = read(out[0], buf, sizeof buf - 1);
    close(out[0]);
    EXPECT_GT(n, 0);
    EXPECT_STREQ(buf, "ready\n");
    return pid;
}

TEST(Startup, RunningSaverInAnotherProcessStopsEveryNewStart) {
    test::TempDir dir;
    const fs::path exe = LinkPlayer(dir / "saver.scr");
    WriteShow(dir / "saver.qdm");
    const fs::path root = dir / "root";

    const pid_t holder = StartHolder(root, "Tss_screen", "SS_captionqazwsxedc");
    for (const std::string arg : {"/s", "/p", ""}) {
        std::vector<std::string> args;
        if (!arg.empty()) {
            args = {arg, "77"};
        }
        const Outcome o = RunPlayer(exe, args, dir.Path(), root);
        EXPECT_EQ(o.ExitCode, 0) << arg;
        EXPECT_FALSE(Role(o)) << arg;
        const auto running = test::Events(o.Trace, "saver-running");
        ASSERT_EQ(running.size(), 1u) << arg;
        EXPECT_EQ(running[0]["reason"],
                  "a full-screen saver of this program is running already; nothing else starts");
    }
    // However the saver dies, its window is gone with it.
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    const Outcome after = RunPlayer(exe, {"/s"}, dir.Path(), root);
    ASSERT_TRUE(Role(after));
    EXPECT_EQ((*Role(after))["role"], "full-screen");
}

TEST(Startup, OtherWindowsAndOtherRootsDoNotCount) {
    test::TempDir dir;
    const fs::path exe = LinkPlayer(dir / "saver.scr");
    WriteShow(dir / "saver.qdm");
    // A preview window (empty caption) and a saver under another platform root.
    const pid_t preview = StartHolder(dir / "root", "Tss_screen", "");
    const pid_t other = StartHolder(dir / "other-root", "Tss_screen", "SS_captionqazwsxedc");
    const Outcome o = RunPlayer(exe, {"/s"}, dir.Path(), dir / "root");
    ASSERT_TRUE(Role(o));
    EXPECT_EQ((*Role(o))["role"], "full-screen");
    for (pid_t p : {preview, other}) {
        kill(p, SIGKILL);
        waitpid(p, nullptr, 0);
    }
}

} // namespace
} // namespace qv
