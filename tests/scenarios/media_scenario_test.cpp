// The show's sound and the video style through the real program on the headless host,
// with GStreamer playing files made by the tests.
#include "media_files.h"
#include "scenario_support.h"
#include "show/show_writer.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using Commands = std::vector<std::string>;

Commands MciCommands(const std::vector<nlohmann::json>& trace) {
    Commands out;
    for (const auto& e : Events(trace, "mci")) {
        std::string cmd = e.value("cmd", "");
        if (cmd == "notify") {
            cmd += ":" + e.value("kind", std::string());
        }
        out.push_back(cmd);
    }
    return out;
}

std::vector<uint8_t> SoundSlideshow(const std::string& sound, int32_t loop) {
    ShowRecord h = PlainHeader(2);
    h.SoundFile = sound;
    h.SoundLoop = loop;
    return MakeShow(h, {1, 0, 0, 300, 300}, {BandedPicture(32, 24, {0xC08040, 0x4080C0})});
}

std::vector<uint8_t> VideoShow(const std::string& file, int32_t loop, int32_t width, int32_t height,
                               int32_t left, int32_t top) {
    ShowRecord h = PlainHeader(11);
    h.SoundFile = "tone.wav";
    h.SoundLoop = 1;
    ShowWriter w;
    WriteShowHeader(w, h);
    w.WriteStr(file);
    for (int32_t v : {loop, width, height, left, top}) {
        w.WriteInt(v);
    }
    for (int i = 0; i < 64; ++i) {
        w.WriteInt(0);
    }
    return w.Bytes();
}

TEST(MediaScenario, SlideshowSoundOpensPlaysRepeatsStopsAndCloses) {
    TempDir dir;
    MakeSineWav(dir.Path(), "tone.wav", "0.5");
    const PlayerRun run =
        RunShow(dir, SoundSlideshow("tone.wav", 1), {"--size=160x120", "--duration=1300"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    EXPECT_EQ(MciCommands(run.Trace),
              (Commands{"open", "play", "notify:successful", "seek", "play", "notify:successful",
                        "seek", "play", "stop", "notify:aborted", "close"}));
    // The sound starts before the style's first drawing and is closed after the run is
    // stopped, before the saver state is given back.
    const int64_t play = EventTime(run.Trace, "mci", {{"cmd", "play"}});
    const int64_t close = EventTime(run.Trace, "mci", {{"cmd", "close"}});
    EXPECT_LT(play, 20);
    EXPECT_GE(close, 1300);
    EXPECT_LE(close, EventTime(run.Trace, "spi", {{"action", 97}, {"value", 0}}));
}

TEST(MediaScenario, NoMediaCommandsInPreviewOrWithTheSoundSettingOff) {
    {
        TempDir dir;
        MakeSineWav(dir.Path(), "tone.wav", "0.5");
        const PlayerRun run =
            RunShow(dir, SoundSlideshow("tone.wav", 1),
                    {"--size=320x240", "--host-size=80x60", "--duration=600"}, "", {"/p", "4321"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        EXPECT_FALSE(Events(run.Trace, "role").empty());
        EXPECT_TRUE(Events(run.Trace, "mci").empty());
    }
    {
        TempDir dir;
        MakeSineWav(dir.Path(), "tone.wav", "0.5");
        fs::create_directories(dir / "root" / "windows");
        WriteText(dir / "root" / "windows" / "control.ini", "[Screen Saver.Test show]\nSound=0\n");
        const PlayerRun run =
            RunShow(dir, SoundSlideshow("tone.wav", 1), {"--size=160x120", "--duration=600"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        EXPECT_TRUE(Events(run.Trace, "mci").empty());
    }
}

TEST(MediaScenario, VideoStyleDrawsTheFrameOfEachMomentInItsRectangle) {
    TempDir dir;
    MakePaintedClip(dir.Path(), "clip.avi");
    MakeSineWav(dir.Path(), "tone.wav", "0.5");
    const fs::path shot = dir / "video.png";
    const PlayerRun run =
        RunShow(dir, VideoShow("clip.avi", 0, 100, 100, 50, 50),
                {"--size=320x240", "--duration=900", "--snapshot=500:" + shot.string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    // The show's own sound is never opened; the video is, and stays open to the end.
    EXPECT_EQ(MciCommands(run.Trace), (Commands{"open", "window", "seek", "where", "put", "play",
                                                "close", "notify:aborted"}));
    const auto opens = Events(run.Trace, "mci");
    EXPECT_NE(opens[0].value("path", "").find("clip.avi"), std::string::npos) << opens[0].dump();
    const int64_t play = EventTime(run.Trace, "mci", {{"cmd", "play"}});
    const int64_t at = EventTime(run.Trace, "snapshot");
    ASSERT_GE(at, play);
    const int n = static_cast<int>((at - play) / kClipFrameMs);
    const Image image = ReadPng(shot);
    // Own size, centred: (128, 96) to (192, 144).
    EXPECT_EQ(image.At(128, 96), TopColour(n));
    EXPECT_EQ(image.At(191, 119), TopColour(n));
    EXPECT_EQ(image.At(128, 120), BottomColour(n));
    EXPECT_EQ(image.At(191, 143), BottomColour(n));
    EXPECT_EQ(image.At(127, 96), 0u);
    EXPECT_EQ(image.At(192, 143), 0u);
    EXPECT_EQ(image.At(150, 144), 0u);
}

TEST(MediaScenario, MissingVideoShowsItsMessage) {
    TempDir dir;
    const PlayerRun run = RunShow(dir, VideoShow("nothere.avi", 1, 100, 100, 50, 50),
                                  {"--size=160x120", "--duration=300"});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const auto screens = Events(run.Trace, "error-screen");
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0]["text"], "Could not play video file.");
}

} // namespace
} // namespace qv::test
