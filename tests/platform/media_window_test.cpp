// The show's sound on the window host, on a real X server and the real clock: GStreamer
// plays it to the machine's sound output, or, on a machine without one (as in CI), to a
// null output that still keeps time, and the show runs and ends as it would silently.
#include "media_files.h"
#include "qt/x_session.h"
#include "scenario_support.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

size_t Count(const std::vector<nlohmann::json>& mci, const std::string& cmd) {
    size_t n = 0;
    for (const auto& e : mci) {
        n += e.value("cmd", "") == cmd;
    }
    return n;
}

TEST(MediaWindowHost, ShowWithARepeatingWavRunsAndEndsCleanly) {
    XServer x(320, 240);
    TempDir dir;
    MakeSineWav(dir.Path(), "tone.wav", "0.4");
    ShowRecord h = PlainHeader(14);
    h.SoundFile = "tone.wav";
    h.SoundLoop = 1;
    WriteFile(dir / "show.qdm", MakeShow(h, {1, 0, 0, 0, 600000, 200},
                                         {BandedPicture(64, 48, {0xE03020, 0x30C040})}));
    fs::create_symlink(QV_PLAYER, dir / "show.scr");
    fs::create_directories(dir / "root");
    const auto env = XEnvironment(x);
    ASSERT_EQ(RunToEnd("/usr/bin/xdotool", {"mousemove", "100", "100"}, env, 20000), 0);
    Child player(
        dir / "show.scr",
        {"/s", "--root=" + (dir / "root").string(), "--trace=" + (dir / "trace.jsonl").string()},
        env);

    // Wait, on the real clock, until the sound has ended once and started again.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<nlohmann::json> mci;
    while (std::chrono::steady_clock::now() < deadline) {
        mci = Events(ReadTrace(dir / "trace.jsonl"), "mci");
        if (Count(mci, "play") >= 2) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_GE(Count(mci, "play"), 2u) << player.Errors();
    ASSERT_EQ(mci[0].value("cmd", ""), "open");
    EXPECT_EQ(mci[0]["result"], 0);

    // The first move records the place; a second one 20 pixels away ends the run.
    ASSERT_EQ(RunToEnd("/usr/bin/xdotool", {"mousemove", "105", "100"}, env, 20000), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(RunToEnd("/usr/bin/xdotool", {"mousemove", "125", "100"}, env, 20000), 0);
    EXPECT_EQ(player.Wait(20000), 0) << player.Errors();

    const auto trace = ReadTrace(dir / "trace.jsonl");
    EXPECT_EQ(Events(trace, "start")[0]["host"], "window");
    mci = Events(trace, "mci");
    // Every end of the sound was a success, a full length after its play.
    const auto plays = Count(mci, "play");
    size_t successes = 0;
    for (const auto& e : mci) {
        successes += e.value("kind", "") == "successful";
    }
    EXPECT_EQ(successes, plays - 1);
    ASSERT_GE(mci.size(), 3u);
    EXPECT_EQ(mci[mci.size() - 3].value("cmd", ""), "stop");
    EXPECT_EQ(mci.back().value("cmd", ""), "close");
    EXPECT_EQ(mci.back()["result"], 0);
    EXPECT_FALSE(Events(trace, "exit").empty());
}

} // namespace
} // namespace qv::test
