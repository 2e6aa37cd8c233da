// The show's sound and the video style in whole saver runs: the MCI commands that the
// trace records, in the order the run gives them, and what the snapshots show.
#include "media/sound.h"
#include "media/video.h"
#include "media_files.h"
#include "media_run_support.h"
#include "platform/paths.h"
#include "platform/scripted_media.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using Commands = std::vector<std::string>;

int64_t Time(const nlohmann::json& e) {
    return e.value("t", int64_t{-1});
}

// The mci events for one command.
std::vector<nlohmann::json> Only(const std::vector<nlohmann::json>& mci, const std::string& cmd) {
    std::vector<nlohmann::json> out;
    for (const auto& e : mci) {
        if (e.value("cmd", "") == cmd) {
            out.push_back(e);
        }
    }
    return out;
}

TEST(ResolveMediaPath, NamesWithADriveOrSlashStandElseTheyAreInShowDir) {
    ShowRecord show;
    show.ShowDir = "Z:\\SHOWS\\BIRDS\\";
    const struct {
        const char* Name;
        const char* Path;
    } cases[] = {
        {"SONG.WAV", "Z:\\SHOWS\\BIRDS\\SONG.WAV"},
        {"C:\\MEDIA\\SONG.WAV", "C:\\MEDIA\\SONG.WAV"},
        {"Z:SONG.WAV", "Z:SONG.WAV"},
        {"/home/user/song.wav", "/home/user/song.wav"},
        {"media/song.wav", "media/song.wav"},
        {"MEDIA\\SONG.WAV", "Z:\\SHOWS\\BIRDS\\MEDIA\\SONG.WAV"},
        // A leading backslash without a drive is appended too.
        {"\\SONG.WAV", "Z:\\SHOWS\\BIRDS\\\\SONG.WAV"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveMediaPath(show, c.Name), c.Path) << c.Name;
    }
}

class SoundRunTest : public ::testing::Test {
protected:
    void SetUp() override { MakeSineWav(Dir.Path(), "tone.wav", "0.5"); }
    TempDir Dir;
};

TEST_F(SoundRunTest, RepeatingSoundPlaysAgainAtEachEndUntilTheStyleEnds) {
    MediaRunOptions o;
    o.DurationMs = 1800;
    const MediaRun run = RunMediaShow(Dir, SlideshowShow(MediaHeader(2, "tone.wav", 1)), o);
    const Commands cmds = MciCommands(run.Mci);
    ASSERT_GE(cmds.size(), 5u);
    // A bare name is looked for beside the show.
    // The player upper-cases the show's folder.
    EXPECT_EQ(run.Mci[0]["path"], UpperCase(PathMap::ToWindows(Dir.Path())) + "\\tone.wav");
    EXPECT_EQ(run.Mci[0]["result"], 0);
    const uint32_t length = run.Mci[0]["length"];
    EXPECT_NEAR(length, 500u, 20u);
    // open, play, then (notice, rewind, play) for every end, then stop (which aborts the
    // play that is running) and close.
    Commands expected = {"open", "play"};
    const size_t repeats = (cmds.size() - 5) / 3;
    for (size_t i = 0; i < repeats; ++i) {
        expected.insert(expected.end(), {"notify:successful", "seek", "play"});
    }
    expected.insert(expected.end(), {"stop", "notify:aborted", "close"});
    EXPECT_EQ(cmds, expected);
    EXPECT_EQ(repeats, 3u);
    // Each end comes one length after its play, and the next play at once.
    const auto plays = Only(run.Mci, "play");
    const auto notices = Only(run.Mci, "notify");
    for (size_t i = 0; i < repeats; ++i) {
        EXPECT_EQ(Time(notices[i]), Time(plays[i]) + length);
        EXPECT_EQ(Time(plays[i + 1]), Time(notices[i]));
        EXPECT_EQ(plays[i + 1]["from"], 0);
    }
    // The stop comes when the run ends, not before.
    EXPECT_GE(Time(Only(run.Mci, "stop")[0]), 1800);
}

TEST_F(SoundRunTest, SoundWithoutTheRepeatByteSetPlaysOnce) {
    for (int32_t loop : {0, 256, 0x7F00}) {
        SCOPED_TRACE(loop);
        MediaRunOptions o;
        o.DurationMs = 1200;
        const MediaRun run = RunMediaShow(Dir, SlideshowShow(MediaHeader(2, "tone.wav", loop)), o);
        EXPECT_EQ(MciCommands(run.Mci),
                  (Commands{"open", "play", "notify:successful", "stop", "close"}));
    }
}

TEST_F(SoundRunTest, NoMediaCommandInPreviewWithSoundOffOrWithoutASound) {
    const std::string soundOff = "[Screen Saver.Media Test]\nSound=0\n";
    const struct {
        const char* Name;
        RunRole Role;
        const char* SoundFile;
        const char* ControlIni;
    } cases[] = {
        {"preview", RunRole::Preview, "tone.wav", ""},
        {"sound setting off", RunRole::FullScreen, "tone.wav", soundOff.c_str()},
        {"no sound file", RunRole::FullScreen, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        MakeSineWav(dir.Path(), "tone.wav", "0.5");
        MediaRunOptions o;
        o.Role = c.Role;
        o.DurationMs = 600;
        o.ControlIni = c.ControlIni;
        const MediaRun run = RunMediaShow(dir, SlideshowShow(MediaHeader(2, c.SoundFile, 1)), o);
        EXPECT_TRUE(run.Mci.empty()) << run.Mci.size();
        // The run itself went on: the slideshow drew until the end.
        EXPECT_FALSE(Events(run.Trace, "exit").empty() && run.Trace.empty());
    }
}

TEST_F(SoundRunTest, StopDuringTheFirstPumpSkipsEndSoundAndTheDeviceClosesWithThePlayer) {
    MediaRunOptions o;
    o.Events = "0 mouse-down left\n";
    const MediaRun run = RunMediaShow(Dir, SlideshowShow(MediaHeader(2, "tone.wav", 1)), o);
    // No stop: the close comes from the media player's end, with the play still running.
    EXPECT_EQ(MciCommands(run.Mci), (Commands{"open", "play", "close", "notify:aborted"}));
    // The player goes before the saver state is given back.
    const int64_t spiOff = [&] {
        for (const auto& e : Events(run.Trace, "spi")) {
            if (e.value("value", -1) == 0) {
                return Time(e);
            }
        }
        return int64_t{-1};
    }();
    ASSERT_GE(spiOff, 0);
    EXPECT_LE(Time(Only(run.Mci, "close")[0]), spiOff);
    EXPECT_LT(spiOff, 100);
}

TEST_F(SoundRunTest, MissingOrUnplayableSoundRunsTheShowSilently) {
    WriteFile(Dir / "noise.wav", std::vector<uint8_t>(2000, 0x33));
    for (const char* name : {"missing.wav", "noise.wav"}) {
        SCOPED_TRACE(name);
        MediaRunOptions o;
        o.DurationMs = 700;
        o.SnapshotsAt = {650};
        const MediaRun run = RunMediaShow(Dir, SlideshowShow(MediaHeader(2, name, 1)), o);
        ASSERT_EQ(MciCommands(run.Mci), Commands{"open"});
        EXPECT_NE(run.Mci[0]["result"], 0);
        EXPECT_TRUE(Events(run.Trace, "error-screen").empty());
        // The slideshow's picture is on the screen.
        const Picture shot = ReadSnapshot(Dir, 650);
        EXPECT_NE(shot.At(shot.Width / 2, shot.Height / 2), 0u);
    }
}

TEST_F(SoundRunTest, VideoStyleNeverOpensTheShowsSound) {
    MakePaintedClip(Dir.Path(), "clip.avi");
    MediaRunOptions o;
    o.DurationMs = 500;
    const MediaRun run = RunMediaShow(
        Dir, VideoShow(MediaHeader(11, "tone.wav", 1), "clip.avi", 0, 100, 100, 50, 50), o);
    const auto opens = Only(run.Mci, "open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0]["path"], UpperCase(PathMap::ToWindows(Dir.Path())) + "\\clip.avi");
}

// The video's place on the screen, with the scripted device (its own size as the test
// gives it): the rectangle put, and where the snapshot has the video.
TEST(VideoRunTest, VideoIsShownAtItsSizeAndPlaceInPercent) {
    const struct {
        const char* Name;
        RunRole Role;
        Size Natural;
        int32_t Width, Height, Left, Top;
        Rect Put;    // in the saver window
        Rect Screen; // where it is seen on the 320 x 240 screen
    } cases[] = {
        {"own size, centred",
         RunRole::FullScreen,
         {160, 120},
         100,
         100,
         50,
         50,
         {80, 60, 240, 180},
         {80, 60, 240, 180}},
        {"twice, top left",
         RunRole::FullScreen,
         {160, 120},
         200,
         200,
         0,
         0,
         {0, 0, 320, 240},
         {0, 0, 320, 240}},
        {"wider than the screen",
         RunRole::FullScreen,
         {400, 100},
         100,
         100,
         50,
         50,
         {-40, 70, 360, 170},
         {0, 70, 320, 170}},
        {"right bottom corner",
         RunRole::FullScreen,
         {100, 50},
         50,
         50,
         100,
         100,
         {270, 215, 320, 240},
         {270, 215, 320, 240}},
        // In preview a fifth: 32 x 24 centred in the 80 x 60 host, which sits in the
        // middle of the screen at (120, 90).
        {"preview",
         RunRole::Preview,
         {160, 120},
         100,
         100,
         50,
         50,
         {24, 18, 56, 42},
         {144, 108, 176, 132}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        WriteFile(dir / "clip.avi", {0});
        MediaRunOptions o;
        o.Role = c.Role;
        o.DurationMs = 400;
        o.SnapshotsAt = {300};
        ScriptedMedia media;
        media.LengthMs = 5000;
        media.HasVideo = true;
        media.NaturalSize = c.Natural;
        o.Backend = [media] {
            auto b = std::make_unique<ScriptedMediaBackend>();
            b->Script("clip.avi", media);
            return b;
        };
        const MediaRun run = RunMediaShow(
            dir, VideoShow(MediaHeader(11, "", 0), "clip.avi", 0, c.Width, c.Height, c.Left, c.Top),
            o);
        const auto puts = Only(run.Mci, "put");
        ASSERT_EQ(puts.size(), 1u);
        EXPECT_EQ(puts[0]["rect"],
                  nlohmann::json::array({c.Put.Left, c.Put.Top, c.Put.Right, c.Put.Bottom}));
        const Picture shot = ReadSnapshot(dir, 300);
        for (int32_t y = 0; y < shot.Height; y += 2) {
            for (int32_t x = 0; x < shot.Width; x += 2) {
                const bool inside = x >= c.Screen.Left && x < c.Screen.Right && y >= c.Screen.Top &&
                                    y < c.Screen.Bottom;
                if (inside) {
                    ASSERT_NE(shot.At(x, y), 0u) << x << "," << y;
                } else if (c.Role == RunRole::FullScreen) {
                    ASSERT_EQ(shot.At(x, y), 0u) << x << "," << y;
                }
            }
        }
    }
}

class GstVideoRunTest : public ::testing::Test {
protected:
    void SetUp() override { MakePaintedClip(Dir.Path(), "clip.avi"); }
    TempDir Dir;
};

TEST_F(GstVideoRunTest, SnapshotsShowTheFrameOfTheirTimeAndALoopStartsOverUnderTheCaptions) {
    ShowRecord header = MediaHeader(11, "", 0);
    header.BannerText = " Hi ";
    MediaRunOptions o;
    o.DurationMs = 1500;
    for (int32_t at = 0; at <= 1400; at += 10) {
        o.SnapshotsAt.push_back(at);
    }
    // Own size at the top left, under the banner.
    const MediaRun run = RunMediaShow(Dir, VideoShow(header, "clip.avi", 1, 100, 100, 0, 0), o);
    const Commands cmds = MciCommands(run.Mci);
    ASSERT_GE(cmds.size(), 9u);
    EXPECT_EQ(Commands(cmds.begin(), cmds.begin() + 9),
              (Commands{"open", "window", "seek", "where", "put", "play", "notify:successful",
                        "seek", "play"}));
    EXPECT_EQ(cmds[cmds.size() - 2], "close");
    const auto plays = Only(run.Mci, "play");
    ASSERT_GE(plays.size(), 2u);
    const int64_t first = Time(plays[0]);
    const int64_t second = Time(plays[1]);
    // The notice comes at the end of the pass; the restart pumps once before it plays.
    EXPECT_EQ(Time(Only(run.Mci, "notify")[0]), first + 1000);
    EXPECT_EQ(second, first + 1001);

    // Every snapshot shows, beside the banner, the frame of its own time in the pass it
    // falls in.
    int checked = 0;
    for (const auto& snap : Events(run.Trace, "snapshot")) {
        const int32_t at = snap["at"];
        const int64_t t = Time(snap);
        if (t < first + 1 || (t >= first + 1000 && t < second + 1)) {
            continue; // the moments around a (re)start
        }
        const int64_t start = t >= second ? second : first;
        const int n = static_cast<int>((t - start) / 40);
        SCOPED_TRACE(at);
        const Picture shot = ReadSnapshot(Dir, at);
        EXPECT_EQ(shot.At(kClipW - 1, 30), BottomColour(n));
        EXPECT_EQ(shot.At(kClipW - 1, kClipH - 1), BottomColour(n));
        EXPECT_EQ(shot.At(kClipW, 30), 0u);
        ++checked;
    }
    EXPECT_GT(checked, 100);

    // The banner stands over the video's corner after each (re)start, until the next
    // frame covers it.
    const auto cornerAt = [&](int64_t t) {
        const int32_t at = static_cast<int32_t>((t + 9) / 10 * 10);
        return ReadSnapshot(Dir, at).At(1, 1);
    };
    EXPECT_EQ(cornerAt(first + 20), 0u);
    EXPECT_EQ(cornerAt(first + 60), TopColour(1));
    EXPECT_EQ(cornerAt(first + 990), TopColour(24));
    EXPECT_EQ(cornerAt(second + 20), 0u);
    EXPECT_EQ(cornerAt(second + 60), TopColour(1));
}

TEST_F(GstVideoRunTest, VideoWithoutLoopPlaysOnceAndLaterNoticesDoNothing) {
    MediaRunOptions o;
    o.DurationMs = 2500;
    o.SnapshotsAt = {2000};
    const MediaRun run = RunMediaShow(
        Dir, VideoShow(MediaHeader(11, "", 0), "clip.avi", 0x100, 100, 100, 50, 50), o);
    EXPECT_EQ(MciCommands(run.Mci), (Commands{"open", "window", "seek", "where", "put", "play",
                                              "notify:successful", "close"}));
    EXPECT_EQ(Only(run.Mci, "put")[0]["rect"], nlohmann::json::array({128, 96, 192, 144}));
    // The last frame stays.
    const Picture shot = ReadSnapshot(Dir, 2000);
    EXPECT_EQ(shot.At(128, 96), TopColour(kClipFrames - 1));
    EXPECT_EQ(shot.At(191, 143), BottomColour(kClipFrames - 1));
}

TEST_F(GstVideoRunTest, RunsRepeatPixelForPixel) {
    std::string error;
    ASSERT_TRUE(RunTool("/usr/bin/gst-launch-1.0",
                        {"-q", "videotestsrc", "num-buffers=30", "pattern=ball", "!",
                         "video/x-raw,width=96,height=64,framerate=30/1", "!", "vp8enc", "!",
                         "webmmux", "!", "filesink", "location=ball.webm"},
                        Dir.Path(), &error))
        << error;
    const std::vector<int32_t> times = {100, 333, 517, 900, 1250};
    std::vector<std::vector<uint8_t>> first;
    for (int round = 0; round < 2; ++round) {
        TempDir dir;
        fs::copy_file(Dir / "ball.webm", dir / "ball.webm");
        MediaRunOptions o;
        o.DurationMs = 1300;
        o.SnapshotsAt = times;
        RunMediaShow(dir, VideoShow(MediaHeader(11, "", 0), "ball.webm", 1, 150, 150, 50, 50), o);
        for (size_t i = 0; i < times.size(); ++i) {
            const auto png = ReadFile(dir / ("shot-" + std::to_string(times[i]) + ".png"));
            if (round == 0) {
                first.push_back(png);
            } else {
                EXPECT_EQ(png, first[i]) << times[i];
            }
        }
    }
    // The ball moves: the pictures differ from moment to moment.
    EXPECT_NE(first[0], first[1]);
    EXPECT_NE(first[1], first[2]);
}

TEST_F(GstVideoRunTest, MissingOrSoundOnlyFiles) {
    MakeSineWav(Dir.Path(), "tone.wav", "0.3");
    {
        MediaRunOptions o;
        o.DurationMs = 400;
        const MediaRun run = RunMediaShow(
            Dir, VideoShow(MediaHeader(11, "", 1), "nothere.avi", 1, 100, 100, 50, 50), o);
        EXPECT_EQ(MciCommands(run.Mci), Commands{"open"});
        const auto screens = Events(run.Trace, "error-screen");
        ASSERT_EQ(screens.size(), 1u);
        EXPECT_EQ(screens[0]["text"], kVideoOpenMessage);
    }
    {
        // A sound given as the video plays (here over and over) with no rectangle read
        // or set, on a black screen.
        MediaRunOptions o;
        o.DurationMs = 800;
        const MediaRun run = RunMediaShow(
            Dir, VideoShow(MediaHeader(11, "", 0), "tone.wav", 1, 100, 100, 50, 50), o);
        EXPECT_EQ(MciCommands(run.Mci),
                  (Commands{"open", "seek", "play", "notify:successful", "seek", "play",
                            "notify:successful", "seek", "play", "close", "notify:aborted"}));
        EXPECT_TRUE(Events(run.Trace, "error-screen").empty());
    }
}

} // namespace
} // namespace qv::test
