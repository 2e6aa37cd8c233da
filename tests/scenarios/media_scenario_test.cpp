// The show's sound and the video style through the real program on the headless host,
// with GStreamer playing files made by the tests.
#include "media_files.h"
#include "scenario_support.h"
#include "show/show_writer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
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

// A looping video holds its memory: a run of 130 replays of the one-second clip holds no
// more than one of 10 (each replay's seeks once left their messages queued in the pipeline,
// some tens of kilobytes a replay). The sanitizer build's quarantine of freed memory is
// turned off for the two runs, so that what is measured is what the program keeps.
TEST(MediaScenario, ALoopingVideoKeepsItsMemoryFlat) {
    TempDir dir;
    MakePaintedClip(dir.Path(), "clip.avi");
    MakeSineWav(dir.Path(), "tone.wav", "0.5");
    const char* old = std::getenv("ASAN_OPTIONS");
    const std::string saved = old ? old : "";
    setenv("ASAN_OPTIONS", (saved + (saved.empty() ? "" : ":") + "quarantine_size_mb=0").c_str(),
           1);
    int64_t peak[2] = {};
    for (int i = 0; i < 2; ++i) {
        const PlayerRun run =
            RunShow(dir, VideoShow("clip.avi", 1, 100, 100, 50, 50),
                    {"--size=160x120", i == 0 ? "--duration=10000" : "--duration=130000"});
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        peak[i] = run.Result.PeakRssKb;
    }
    if (old) {
        setenv("ASAN_OPTIONS", saved.c_str(), 1);
    } else {
        unsetenv("ASAN_OPTIONS");
    }
    EXPECT_LT(peak[1] - peak[0], 2048)
        << "KiB: " << peak[0] << " after 10 replays, " << peak[1] << " after 130";
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

// A recording decoded back: its frames as RGB and its sound as mono 48 kHz samples.
struct Decoded {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Rgb;
    std::vector<int16_t> Sound;
    size_t Frames() const { return Rgb.size() / (static_cast<size_t>(Width) * Height * 3); }
    // The loudness of the sound from ms for 20 ms, as root mean square.
    double Level(int64_t ms) const {
        double sum = 0;
        const size_t from = static_cast<size_t>(ms * 48);
        for (size_t i = from; i < from + 960 && i < Sound.size(); ++i) {
            sum += static_cast<double>(Sound[i]) * Sound[i];
        }
        return std::sqrt(sum / 960);
    }
};

Decoded DecodeWebm(const fs::path& file, int32_t width, int32_t height) {
    const fs::path dir = file.parent_path();
    std::string error;
    const bool ok = RunTool("/usr/bin/gst-launch-1.0",
                            {"-q",
                             "filesrc",
                             "location=" + file.string(),
                             "!",
                             "matroskademux",
                             "name=d",
                             "d.video_0",
                             "!",
                             "queue",
                             "!",
                             "vp8dec",
                             "!",
                             "videoconvert",
                             "!",
                             "video/x-raw,format=RGB",
                             "!",
                             "filesink",
                             "location=frames.raw",
                             "d.audio_0",
                             "!",
                             "queue",
                             "!",
                             "opusdec",
                             "!",
                             "audioconvert",
                             "!",
                             "audioresample",
                             "!",
                             "audio/x-raw,format=S16LE,channels=1,rate=48000",
                             "!",
                             "filesink",
                             "location=sound.raw"},
                            dir, &error);
    EXPECT_TRUE(ok) << error;
    Decoded d;
    d.Width = width;
    d.Height = height;
    d.Rgb = ReadFile(dir / "frames.raw");
    const std::vector<uint8_t> sound = ReadFile(dir / "sound.raw");
    d.Sound.resize(sound.size() / 2);
    std::memcpy(d.Sound.data(), sound.data(), d.Sound.size() * 2);
    return d;
}

double Psnr(const Decoded& d, size_t frame, const Image& shot) {
    const size_t size = static_cast<size_t>(d.Width) * d.Height;
    double sum = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint32_t p = shot.Pixels[i];
        const uint8_t* q = &d.Rgb[(frame * size + i) * 3];
        const int e[3] = {static_cast<int>(p >> 16 & 0xFF) - q[0],
                          static_cast<int>(p >> 8 & 0xFF) - q[1],
                          static_cast<int>(p & 0xFF) - q[2]};
        sum += e[0] * e[0] + e[1] * e[1] + e[2] * e[2];
    }
    const double mse = sum / (static_cast<double>(size) * 3);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST(MediaScenario, WebmRecordingHasEveryFrameAndTheSoundWhereItPlays) {
    const struct {
        int32_t Loop;
        const char* What;
    } cases[] = {{1, "a looping tone repeats to the end"}, {0, "a tone that ends leaves silence"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir dir;
        MakeSineWav(dir.Path(), "tone.wav", "1");
        const std::vector<uint8_t> show = SoundSlideshow("tone.wav", c.Loop);
        const std::vector<std::string> options = {"--size=160x120", "--duration=5000",
                                                  "--record=" + (dir / "a.webm").string(),
                                                  "--snapshot=2480:" + (dir / "shot.png").string()};
        const PlayerRun run = RunShow(dir, show, options);
        ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        // Nothing on standard error when it is not a terminal.
        EXPECT_EQ(run.Result.Err, "");
        const Decoded d = DecodeWebm(dir / "a.webm", 160, 120);
        // 5 s at 25 frames a second, and 5 s of sound.
        EXPECT_EQ(d.Frames(), 125u);
        EXPECT_NEAR(static_cast<double>(d.Sound.size()), 240000.0, 960.0);
        const int64_t play = EventTime(run.Trace, "mci", {{"cmd", "play"}});
        ASSERT_GE(play, 0);
        const int64_t heardUntil = c.Loop ? 5000 : play + 1000;
        for (int64_t ms = 0; ms + 20 <= 5000; ms += 20) {
            SCOPED_TRACE(ms);
            if (ms + 20 <= play - 10 || ms >= heardUntil + 30) {
                EXPECT_LT(d.Level(ms), 100.0);
            } else if (ms >= play + 30 && ms + 20 <= heardUntil - 30) {
                EXPECT_GT(d.Level(ms), 3000.0);
            }
        }
        // The frame of 2480 ms (frame 62) is the snapshot of that moment, within the
        // encoder's loss.
        EXPECT_GT(Psnr(d, 62, ReadPng(dir / "shot.png")), 35.0);
        if (c.Loop) {
            // The same run again gives the same bytes.
            const std::vector<uint8_t> first = ReadFile(dir / "a.webm");
            const PlayerRun again = RunShow(dir, show, options);
            ASSERT_EQ(again.Result.ExitCode, 0) << again.Result.Err;
            EXPECT_TRUE(ReadFile(dir / "a.webm") == first);
        }
    }
}

TEST(MediaScenario, WebmRecordingOfTheVideoStyleHasTheVideosOwnSound) {
    TempDir dir;
    // One second of video with a tone as its sound track; the show's own sound is not
    // played by this style.
    std::string error;
    ASSERT_TRUE(RunTool("/usr/bin/gst-launch-1.0",
                        {"-q", "videotestsrc", "num-buffers=25", "!",
                         "video/x-raw,format=BGRx,width=64,height=48,framerate=25/1", "!", "avimux",
                         "name=m", "!", "filesink", "location=clip.avi", "audiotestsrc",
                         "num-buffers=50", "samplesperbuffer=960", "volume=0.5", "!",
                         "audio/x-raw,format=S16LE,rate=48000,channels=1", "!", "m."},
                        dir.Path(), &error))
        << error;
    MakeSineWav(dir.Path(), "tone.wav", "0.5");
    const PlayerRun run =
        RunShow(dir, VideoShow("clip.avi", 0, 100, 100, 50, 50),
                {"--size=160x120", "--duration=2000", "--record=" + (dir / "v.webm").string()});
    ASSERT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
    const Decoded d = DecodeWebm(dir / "v.webm", 160, 120);
    EXPECT_EQ(d.Frames(), 50u);
    const int64_t play = EventTime(run.Trace, "mci", {{"cmd", "play"}});
    ASSERT_GE(play, 0);
    for (int64_t ms = 0; ms + 20 <= 2000; ms += 20) {
        SCOPED_TRACE(ms);
        if (ms + 20 <= play - 10 || ms >= play + 1030) {
            EXPECT_LT(d.Level(ms), 100.0);
        } else if (ms >= play + 30 && ms + 20 <= play + 970) {
            EXPECT_GT(d.Level(ms), 3000.0);
        }
    }
}

TEST(MediaScenario, RecordingNamesTheMissingEncoderAndProgressShowsOnATerminal) {
    TempDir dir;
    fs::create_directories(dir / "plugins");
    // A GStreamer without plugins: neither kind of video can be written.
    for (const auto& [file, expect] : std::vector<std::pair<std::string, std::string>>{
             {"a.webm", "vp8enc"}, {"a.mp4", "x264enc"}}) {
        const RunResult r = test::Run(
            "/usr/bin/env",
            {"GST_PLUGIN_SYSTEM_PATH_1_0=" + (dir / "plugins").string(), "GST_PLUGIN_PATH_1_0=",
             "GST_REGISTRY_1_0=" + (dir / "registry.bin").string(), QV_PLAYER, "--display=headless",
             "--duration=100", "--record=" + (dir / file).string()},
            dir.Path());
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_NE(r.Err.find(expect), std::string::npos) << r.Err;
        EXPECT_FALSE(fs::exists(dir / file));
    }
    // On a terminal the line of progress ends at 100 %.
    WriteFile(dir / "s.qdm", MakeShow(PlainHeader(2), {1, 0, 0, 300, 300},
                                      {BandedPicture(32, 24, {0xC08040, 0x4080C0})}));
    const std::string command =
        std::string(QV_PLAYER) + " /DEMO " + (dir / "s.qdm").string() +
        " --root=" + (dir / "root").string() +
        " --display=headless --size=64x48 --duration=2000 --record=" + (dir / "p.webm").string();
    const RunResult r = test::Run("/usr/bin/script", {"-qec", command, "/dev/null"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Out;
    EXPECT_NE(r.Out.find("recording: 100% of 2.0 s, 50 frames"), std::string::npos) << r.Out;
}

} // namespace
} // namespace qv::test
