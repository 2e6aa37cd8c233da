// The program as a desktop meets it: ended by a daemon's SIGTERM or a Ctrl-C, and installed
// into a prefix with its man pages, desktop files and xscreensaver settings.
#include "show/show_writer.h"
#include "test_support.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qv {
namespace {

namespace fs = std::filesystem;

// A show that runs until it is stopped: a slideshow without pictures shows its one-line
// message until then.
void WriteRunningShow(const fs::path& path) {
    ShowRecord rec;
    rec.SaverTitle = "Running";
    rec.TransitionType = 2;
    ShowWriter w;
    WriteShowHeader(w, rec);
    test::WriteFile(path, w.Bytes());
}

pid_t Start(const fs::path& program, const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// The exit code, or -1 when the process is still running after timeoutMs (it is killed).
int WaitFor(pid_t pid, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// SIGTERM and SIGINT end a saver run with the teardown of a mouse move, and exit code 0;
// the request wakes the program from its wait (the real clock here).
TEST(Signals, TermAndIntEndTheSaverRolesWithTheirTeardown) {
    const struct {
        std::vector<std::string> Args;
        int Signal;
        bool FullScreen;
    } cases[] = {
        {{"/s"}, SIGTERM, true},
        {{"/s"}, SIGINT, true},
        {{"/p", "1234"}, SIGTERM, false},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        WriteRunningShow(dir / "show.qdm");
        const fs::path trace = dir / "trace.jsonl";
        std::vector<std::string> args = c.Args;
        for (const std::string& a : std::vector<std::string>{
                 "--display=headless", "--clock=real", "--show=" + (dir / "show.qdm").string(),
                 "--root=" + (dir / "root").string(), "--trace=" + trace.string()}) {
            args.push_back(a);
        }
        const pid_t pid = Start(QV_PLAYER, args);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        const auto sent = std::chrono::steady_clock::now();
        kill(pid, c.Signal);
        EXPECT_EQ(WaitFor(pid, 10000), 0) << c.Args[0];
        const auto took = std::chrono::steady_clock::now() - sent;
        EXPECT_LT(took, std::chrono::seconds(2)) << c.Args[0];
        const auto events = test::ReadTrace(trace);
        const auto signals = test::Events(events, "signal");
        ASSERT_EQ(signals.size(), 1u) << c.Args[0];
        EXPECT_EQ(signals[0]["signal"], c.Signal);
        const auto exits = test::Events(events, "exit");
        ASSERT_EQ(exits.size(), 1u);
        EXPECT_LE(exits[0]["t"].get<int64_t>() - signals[0]["t"].get<int64_t>(), 100);
        if (c.FullScreen) {
            const auto spi = test::Events(events, "spi");
            ASSERT_EQ(spi.size(), 2u);
            EXPECT_EQ(spi.back()["value"], 0);
            const auto cursor = test::Events(events, "cursor");
            ASSERT_FALSE(cursor.empty());
            EXPECT_EQ(cursor.back()["cursor"], "arrow");
        }
    }
}

// The hack's own arguments: what it cannot use is a usage error that says what is wrong,
// never a run that ends at once and is started again and again.
TEST(Hack, BadArgumentsAreUsageErrorsThatNameTheProblem) {
    const struct {
        std::vector<std::string> Args;
        const char* Says;
    } cases[] = {
        {{"-window-id", "0xZZ"}, "0xZZ"},          {{"-window-id", "0"}, "no window ID"},
        {{"-window-id"}, "needs a value"},         {{"-fps"}, "no window to draw on"},
        {{"-root", "-nosuch"}, "-nosuch"},         {{"-root", "stray"}, "stray"},
        {{"--window-id=12", "--show="}, "--show"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        std::vector<std::string> args = {"--display=headless"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const auto r = test::Run(QV_HACK, args, dir.Path());
        EXPECT_EQ(r.ExitCode, 2) << c.Says << r.Err;
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
    }
    // A show that is not there is said so, with exit code 1.
    test::TempDir dir;
    const auto r = test::Run(
        QV_HACK,
        {"-window-id", "1234", "--display=headless", "--show=" + (dir / "missing.qdm").string()},
        dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("missing.qdm"), std::string::npos) << r.Err;
}

bool Runs(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The installed tree under a prefix (and under DESTDIR), with pages, desktop files and the
// xscreensaver settings that their checkers accept, and a hack that plays the installed demo.
TEST(Install, InstallsAWorkingTreeUnderAnyPrefix) {
    test::TempDir dir;
    const fs::path prefix = dir / "p";
    const std::string install = "cmake --install " QV_BUILD_DIR " --prefix ";
    ASSERT_TRUE(Runs(install + prefix.string()));
    ASSERT_TRUE(Runs("DESTDIR=" + (dir / "stage").string() + " " + install + "/opt/qv"));
    const char* files[] = {
        "bin/quorvex",
        "bin/quorvex-show",
        "bin/quorvex-xscreensaver",
        "lib/quorvex/libqv_password_cpl.so",
        "lib/quorvex/libqv_mpr_dll.so",
        "share/quorvex/demo.qdm",
        "share/man/man1/quorvex.1",
        "share/man/man1/quorvex-show.1",
        "share/man/man6/quorvex-xscreensaver.6",
        "share/xscreensaver/config/quorvex.xml",
        "share/applications/quorvex.desktop",
        "share/applications/quorvex-settings.desktop",
        "share/mime/packages/quorvex.xml",
    };
    for (const char* f : files) {
        EXPECT_TRUE(fs::is_regular_file(prefix / f)) << f;
        EXPECT_TRUE(fs::is_regular_file(dir / "stage" / "opt" / "qv" / f)) << "DESTDIR " << f;
    }
    // The settings entry names the demo where the prefix (not the staging folder) puts it.
    const std::string settings =
        test::ReadText(dir / "stage/opt/qv/share/applications/quorvex-settings.desktop");
    EXPECT_NE(settings.find("--show=/opt/qv/share/quorvex/demo.qdm"), std::string::npos);

    for (const char* page : {"share/man/man1/quorvex.1", "share/man/man1/quorvex-show.1",
                             "share/man/man6/quorvex-xscreensaver.6"}) {
        const fs::path out = dir / "man.txt";
        ASSERT_EQ(std::system(("MANWIDTH=80 man --warnings -l " + (prefix / page).string() + " 2>" +
                               out.string() + " >/dev/null")
                                  .c_str()),
                  0);
        EXPECT_EQ(test::ReadText(out), "") << page;
    }
    EXPECT_TRUE(Runs("desktop-file-validate " + (prefix / files[10]).string() + " " +
                     (prefix / files[11]).string()));
    EXPECT_TRUE(Runs("xmllint --noout " + (prefix / files[9]).string() + " " +
                     (prefix / files[12]).string()));

    // The installed hack, copied away from everything else, plays the installed demo.
    const fs::path root = dir / "root";
    const fs::path trace = dir / "hack.jsonl";
    const fs::path shot = dir / "hack.png";
    const pid_t pid = Start(prefix / "bin/quorvex-xscreensaver",
                            {"-window-id", "0x4d2", "-fps", "--display=headless",
                             "--host-size=320x240", "--snapshot=2000:" + shot.string(),
                             "--root=" + root.string(), "--trace=" + trace.string()});
    for (int i = 0; i < 200 && !fs::exists(shot); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitFor(pid, 10000), 0);
    const auto events = test::ReadTrace(trace);
    const auto role = test::Events(events, "role");
    ASSERT_EQ(role.size(), 1u);
    EXPECT_EQ(role[0]["role"], "hosted");
    std::string expected = "Z:" + (prefix / "share/quorvex/demo.qdm").string();
    for (char& ch : expected) {
        ch = ch == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    EXPECT_EQ(role[0]["show"], expected);
    EXPECT_TRUE(fs::is_regular_file(shot));
    EXPECT_TRUE(test::Events(events, "error-screen").empty());
}

} // namespace
} // namespace qv
