#include "headless_fixture.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using test::ReadPng;
using test::TempDir;

std::vector<std::string> Options(const TempDir& dir, const std::string& run) {
    return {"--size=320x240",
            "--root=" + (dir / "root").string(),
            "--events=" + (dir / "events.txt").string(),
            "--snapshot=150:" + (dir / ("early" + run + ".png")).string(),
            "--snapshot=400:" + (dir / ("late" + run + ".png")).string(),
            "--record=" + (dir / ("run" + run + ".gif")).string(),
            "--fps=20",
            "--duration=600"};
}

TEST(HeadlessRun, SameOptionsGiveByteIdenticalPicturesAndRecording) {
    TempDir dir;
    test::WriteText(dir / "events.txt", "# the mouse comes to rest over the window\n"
                                        "100 mouse-move 100 80\n"
                                        "250 mouse-move 120 90\n");
    for (const char* run : {"1", "2"}) {
        const auto r = test::Run(QV_HEADLESS_DEMO, Options(dir, run), dir.Path());
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
    }
    for (const char* name : {"early", "late", "run"}) {
        SCOPED_TRACE(name);
        const std::string ext = std::string(name) == "run" ? ".gif" : ".png";
        const auto first = test::ReadFile(dir / (name + std::string("1") + ext));
        const auto second = test::ReadFile(dir / (name + std::string("2") + ext));
        EXPECT_GT(first.size(), 100u);
        EXPECT_TRUE(first == second);
    }

    // At 150 ms: the gradient (red = x, green = y, blue = 150 / 4) with the mark where the
    // mouse was at 100 ms (screen 100, 80 = client 60, 50), the desktop around it.
    const auto early = ReadPng(dir / "early1.png");
    ASSERT_EQ(early.Width, 320);
    EXPECT_EQ(early.At(2, 2), 0x008080u);
    EXPECT_EQ(early.At(39, 70), 0x008080u);
    EXPECT_EQ(early.At(40 + 10, 30 + 20), 0x0A1425u);
    EXPECT_EQ(early.At(100, 80), 0xFFFF00u);
    EXPECT_EQ(early.At(279, 189), 0xEF9F25u);
    EXPECT_EQ(early.At(280, 189), 0x008080u);
    // At 400 ms: navy, the bar at client x = 400 / 8 = 50, the mark moved to 120, 90.
    const auto late = ReadPng(dir / "late1.png");
    EXPECT_EQ(late.At(41, 31), 0x000080u);
    EXPECT_EQ(late.At(90, 100), 0xFFFFFFu);
    EXPECT_EQ(late.At(95, 100), 0x000080u);
    EXPECT_EQ(late.At(121, 91), 0xFFFF00u);
    EXPECT_EQ(late.At(100, 80), 0x000080u);
}

TEST(HeadlessRun, BadStartsEndWithExitCodeTwoAndAClearMessage) {
    TempDir dir;
    test::WriteText(dir / "events.txt", "100 mouse-move 1 2\n200 mouse-move 1\n");
    const struct {
        std::vector<std::string> Args;
        std::string Expect;
    } cases[] = {
        {{"--events=" + (dir / "events.txt").string()},
         (dir / "events.txt").string() + ":2: mouse-move: needs X Y"},
        {{"--record=" + (dir / "a.webm").string()},
         "WebM recording is not available in this build"},
        {{"--snapshot=abc"}, "option --snapshot: must be MS:FILE.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Expect);
        auto args = c.Args;
        args.push_back("--root=" + (dir / "root").string());
        const auto r = test::Run(QV_HEADLESS_DEMO, args, dir.Path());
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_NE(r.Err.find(c.Expect), std::string::npos) << r.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "a.webm"));
}

} // namespace
} // namespace qv
