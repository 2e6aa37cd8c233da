#include "scenario_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> FadeShow() {
    return MakeShow(PlainHeader(2), {1, 0, 0, 300, 300},
                    {BandedPicture(32, 24, {0xC08040, 0x4080C0})});
}

// When the run let go of the saver state: the time of "SPI_SETSCREENSAVERRUNNING 0".
int64_t StopTime(const PlayerRun& run) {
    return EventTime(run.Trace, "spi", {{"action", 97}, {"value", 0}});
}

TEST(SaverRun, MouseMovesBeyondEightPixelsStopTheSaver) {
    const struct {
        const char* Name;
        const char* Events;
        bool StopsEarly;
    } cases[] = {
        // The first move only records where the mouse is, however far away it lands.
        {"first move records", "100 mouse-move 150 110\n", false},
        // 8 pixels: squared distance 64, not above 70.
        {"8 pixels", "100 mouse-move 50 50\n200 mouse-move 58 50\n", false},
        // Diagonal: 6 and 6 make 72.
        {"diagonal 6,6", "100 mouse-move 50 50\n200 mouse-move 56 56\n", true},
        {"diagonal 5,6", "100 mouse-move 50 50\n200 mouse-move 55 56\n", false},
        // 9 pixels: 81.
        {"9 pixels", "100 mouse-move 50 50\n200 mouse-move 41 50\n", true},
        {"keys", "100 key-down A\n150 key-down ESCAPE\n200 key-down SPACE\n", false},
        {"click", "200 mouse-down left\n", true},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const PlayerRun run =
            RunShow(dir, FadeShow(), {"--size=160x120", "--duration=1000"}, c.Events);
        ASSERT_EQ(run.Result.ExitCode, 0) << c.Name << ": " << run.Result.Err;
        const int64_t stop = StopTime(run);
        if (c.StopsEarly) {
            EXPECT_GE(stop, 200) << c.Name;
            EXPECT_LT(stop, 260) << c.Name;
        } else {
            EXPECT_GE(stop, 1000) << c.Name;
        }
    }
}

TEST(SaverRun, SystemStateAndCursorAreRestoredInOrder) {
    TempDir dir;
    const PlayerRun run = RunShow(dir, FadeShow(), {"--size=160x120", "--duration=400"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    // The system-wide events in the order they happened.
    std::vector<std::string> order;
    for (const auto& line : run.Trace) {
        const std::string ev = line.value("ev", "");
        if (ev == "spi") {
            order.push_back("spi " + std::to_string(line.value("value", -1)));
        } else if (ev == "cursor" && !line.contains("hwnd")) {
            order.push_back("cursor " + line.value("cursor", std::string()));
        } else if (ev == "exit") {
            order.push_back("exit " + std::to_string(line.value("code", -1)));
        }
    }
    // Hidden for the run, shown and hidden again around the password check of the click,
    // then the saver state off and the arrow back.
    const std::vector<std::string> expected{"spi 1", "cursor none",  "cursor arrow", "cursor none",
                                            "spi 0", "cursor arrow", "exit 0"};
    EXPECT_EQ(order, expected);
    // The saver window had the marks of a running saver and is gone at the end.
    const auto created = Events(run.Trace, "window-create");
    bool saverWindow = false;
    for (const auto& w : created) {
        saverWindow =
            saverWindow || (w["class"] == "Tss_screen" && w["caption"] == "SS_captionqazwsxedc");
    }
    EXPECT_TRUE(saverWindow);
}

TEST(SaverRun, TransitionIdsWithoutAStyleEndAtOnce) {
    for (int32_t id : {0, 17, -3}) {
        TempDir dir;
        const auto show =
            MakeShow(PlainHeader(id), {1, 0, 0, 300, 300}, {BandedPicture(32, 24, {0xFFFFFF})});
        const fs::path shot = dir / "end.png";
        const PlayerRun run = RunShow(
            dir, show, {"--size=160x120", "--duration=5000", "--snapshot=0:" + shot.string()});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        const int64_t stop = StopTime(run);
        EXPECT_GE(stop, 0) << "id " << id;
        EXPECT_LT(stop, 50) << "id " << id;
        EXPECT_TRUE(Events(run.Trace, "error-screen").empty());
    }
}

TEST(Preview, RunsInsideTheHostWindowUntilItIsDestroyed) {
    TempDir dir;
    // Captions are never drawn in a preview: only the picture may show.
    ShowRecord header = PlainHeader(2);
    header.BannerText = "Banner";
    header.BannerSize = 10;
    header.BannerColor = RGB(255, 255, 255);
    header.ClockFormat = "hh:nn";
    header.ClockSize = 10;
    header.ClockColor = RGB(255, 255, 0);
    const auto show =
        MakeShow(header, {1, 0, 0, 400, 200}, {BandedPicture(100, 60, {0xE03020, 0x3050E0})});
    const fs::path shot = dir / "preview.png";
    const PlayerRun run = RunShow(dir, show,
                                  {"--size=320x240", "--host-size=80x60", "--duration=5000",
                                   "--snapshot=400:" + shot.string()},
                                  "500 destroy-host\n", {"/p", "4321"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    // The saver window is a child of the host, filling it.
    const auto created = Events(run.Trace, "window-create");
    HWND saver = 0;
    for (const auto& w : created) {
        if (w["class"] == "Tss_screen") {
            EXPECT_EQ(w["caption"], "");
            EXPECT_EQ(w["parent"], 4321);
            saver = w["hwnd"];
        }
    }
    ASSERT_NE(saver, 0u);
    // Pictures are shrunk to a fifth (100 x 60 becomes 20 x 12), centred in 80 x 60.
    const Box box = NonBlackBox(ReadPng(shot));
    EXPECT_EQ(box.Right - box.Left, 20);
    EXPECT_EQ(box.Bottom - box.Top, 12);
    EXPECT_EQ(box.Left, 30);
    EXPECT_EQ(box.Top, 24);
    // The preview ends within one frame of the host's going.
    const int64_t gone = EventTime(run.Trace, "window-destroy", {{"hwnd", saver}});
    EXPECT_GE(gone, 500);
    EXPECT_LE(gone, 510);
    // No saver state, no cursor change in a preview.
    EXPECT_TRUE(Events(run.Trace, "spi").empty());
}

TEST(Preview, WithoutAHandleNothingIsShown) {
    TempDir dir;
    const PlayerRun run =
        RunShow(dir, FadeShow(), {"--size=160x120", "--duration=1000"}, "", {"/p"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    for (const auto& w : Events(run.Trace, "window-create")) {
        EXPECT_NE(w["class"], "Tss_screen");
    }
    EXPECT_LT(EventTime(run.Trace, "exit"), 50);
}

} // namespace
} // namespace qv::test
