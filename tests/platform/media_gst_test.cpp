// The MCI devices on GStreamer, with sound and video files made here by sox and
// gst-launch-1.0 (and a video whose every frame we paint ourselves).
#include "media_files.h"
#include "media_test_platform.h"
#include "platform/gst/gst_media.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace qv {
namespace {

using test::BottomColour;
using test::kClipH;
using test::kClipW;
using test::MediaTestPlatform;
using test::TopColour;
namespace fs = std::filesystem;

void MustRun(const std::string& program, const std::vector<std::string>& args,
             const fs::path& cwd) {
    std::string error;
    ASSERT_TRUE(test::RunTool(program, args, cwd, &error)) << error;
}

class GstMediaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir();
        const fs::path d = s_dir->Path();
        test::MakeSineWav(d, "t.wav", "0.5");
        MustRun("/usr/bin/sox",
                {"-n", "-r", "22050", "-c", "1", "t.ogg", "synth", "0.5", "sine", "440"}, d);
        const std::string launch = "/usr/bin/gst-launch-1.0";
        MustRun(launch,
                {"-q", "audiotestsrc", "num-buffers=10", "samplesperbuffer=2205", "!",
                 "audio/x-raw,rate=22050,channels=1", "!", "lamemp3enc", "!", "filesink",
                 "location=t.mp3"},
                d);
        test::MakePaintedClip(d, "clip.avi");
        const std::vector<std::string> ball = {"videotestsrc",
                                               "num-buffers=25",
                                               "pattern=ball",
                                               "!",
                                               "video/x-raw,width=64,height=48,framerate=25/1",
                                               "!"};
        auto with = [&](std::vector<std::string> tail) {
            std::vector<std::string> args = {"-q"};
            args.insert(args.end(), ball.begin(), ball.end());
            args.insert(args.end(), tail.begin(), tail.end());
            return args;
        };
        MustRun(launch, with({"vp8enc", "!", "webmmux", "!", "filesink", "location=t.webm"}), d);
        // A video with a sound track beside it.
        MustRun(launch,
                with({"queue", "!", "avimux", "name=m", "!", "filesink", "location=av.avi",
                      "audiotestsrc", "num-buffers=22", "samplesperbuffer=1024", "!",
                      "audio/x-raw,rate=22050,channels=1,format=S16LE", "!", "queue", "!", "m."}),
                d);
        MustRun(launch, with({"mpeg2enc", "!", "mpegpsmux", "!", "filesink", "location=t.mpg"}), d);
        // A standard MIDI file with one note of half a second.
        test::WriteFile(d / "t.mid",
                        {'M', 'T',  'h',  'd',  0,    0,   0, 6,    0,    0,    0,    1,
                         1,   0xE0, 'M',  'T',  'r',  'k', 0, 0,    0,    13,   0x00, 0x90,
                         60,  100,  0x83, 0x60, 0x80, 60,  0, 0x00, 0xFF, 0x2F, 0x00});
        test::WriteFile(d / "noise.wav", std::vector<uint8_t>(4000, 0x5A));
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }

    GstMediaTest() { T.Os->Media().SetBackend(CreateGstMediaBackend(GstMediaOutput::Silent)); }

    std::string Path(const std::string& name) { return T.WindowsPath(s_dir->Path() / name); }
    MediaDevices& Mci() { return T.Os->Media(); }

    static test::TempDir* s_dir;
    MediaTestPlatform T;
};

test::TempDir* GstMediaTest::s_dir = nullptr;

TEST_F(GstMediaTest, OpensSoundAndVideoFilesByContent) {
    struct Case {
        const char* File;
        bool Video;
        uint32_t LengthMs;
    };
    const std::vector<Case> cases = {
        {"t.wav", false, 500},    {"t.ogg", false, 500},  {"t.mp3", false, 1000},
        {"clip.avi", true, 1000}, {"t.webm", true, 1000}, {"t.mpg", true, 1000},
        {"av.avi", true, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        MCIDEVICEID id = 0;
        ASSERT_EQ(Mci().Open(Path(c.File), &id), 0u);
        bool video = !c.Video;
        ASSERT_EQ(Mci().HasVideo(id, &video), 0u);
        EXPECT_EQ(video, c.Video);
        uint32_t length = 0;
        Mci().Length(id, &length);
        EXPECT_NEAR(length, c.LengthMs, 100); // encoders pad a little
        if (c.Video) {
            Rect where;
            ASSERT_EQ(Mci().Where(id, &where), 0u);
            EXPECT_EQ(where, (Rect{0, 0, kClipW, kClipH}));
            // Half way through, a decoded frame is in the window's top-left corner.
            Surface& s = T.Screen();
            std::fill(s.Bytes().begin(), s.Bytes().end(), 0);
            ASSERT_EQ(Mci().Window(id, T.Window), 0u);
            ASSERT_EQ(Mci().Play(id, T.NoticeWindow), 0u);
            T.RunUntil(T.Os->GetTickCount() + 500);
            int lit = 0;
            for (int32_t y = 0; y < s.Height(); ++y) {
                for (int32_t x = 0; x < s.Width(); ++x) {
                    const bool inside = x < kClipW && y < kClipH;
                    if (s.PixelRgb(x, y) != 0) {
                        ASSERT_TRUE(inside) << x << "," << y;
                        ++lit;
                    }
                }
            }
            EXPECT_GT(lit, 0);
        }
        EXPECT_EQ(Mci().Close(id), 0u);
    }
}

TEST_F(GstMediaTest, NoticeArrivesAtStartPlusLengthOnTheVirtualClock) {
    MCIDEVICEID id = 0;
    ASSERT_EQ(Mci().Open(Path("t.wav"), &id), 0u);
    uint32_t length = 0;
    Mci().Length(id, &length);
    T.RunUntil(250);
    ASSERT_EQ(Mci().Play(id, T.NoticeWindow), 0u);
    T.RunUntil(250 + length + 100);
    ASSERT_EQ(T.Notices.size(), 1u);
    EXPECT_EQ(T.Notices[0].Tick, 250 + length);
    EXPECT_EQ(T.Notices[0].Kind, MCI_NOTIFY_SUCCESSFUL);
}

TEST_F(GstMediaTest, FrameDrawnAtTimeTIsTheFrameAtT) {
    MCIDEVICEID id = 0;
    ASSERT_EQ(Mci().Open(Path("clip.avi"), &id), 0u);
    ASSERT_EQ(Mci().Window(id, T.Window), 0u);
    // Twice the own size, at (10, 20).
    ASSERT_EQ(Mci().Put(id, {10, 20, 10 + 2 * kClipW, 20 + 2 * kClipH}), 0u);
    const uint32_t start = 100;
    T.RunUntil(start);
    Mci().Play(id, T.NoticeWindow);
    for (uint32_t at : {0u, 39u, 40u, 41u, 500u, 519u, 520u, 999u}) {
        SCOPED_TRACE(at);
        T.RunUntil(start + at);
        T.Rounds(1);
        const int n = static_cast<int>(at / 40);
        const Surface& s = T.Screen();
        EXPECT_EQ(s.PixelRgb(10, 20), TopColour(n));
        EXPECT_EQ(s.PixelRgb(10 + 2 * kClipW - 1, 20 + kClipH - 1), TopColour(n));
        EXPECT_EQ(s.PixelRgb(10, 20 + kClipH), BottomColour(n));
        EXPECT_EQ(s.PixelRgb(10 + 2 * kClipW - 1, 20 + 2 * kClipH - 1), BottomColour(n));
        EXPECT_EQ(s.PixelRgb(9, 20), 0u);
        EXPECT_EQ(s.PixelRgb(10, 20 + 2 * kClipH), 0u);
    }
    // Rewound and played again, the first frame comes back.
    T.RunUntil(start + 1200);
    ASSERT_EQ(T.Notices.size(), 1u);
    Mci().SeekToStart(id);
    T.Rounds(1);
    EXPECT_EQ(T.Screen().PixelRgb(10, 20), TopColour(0));
}

TEST_F(GstMediaTest, LastFrameStaysWhileTheSoundOutlastsTheVideo) {
    MCIDEVICEID id = 0;
    ASSERT_EQ(Mci().Open(Path("av.avi"), &id), 0u);
    uint32_t length = 0;
    Mci().Length(id, &length);
    ASSERT_GT(length, 1005u); // the sound track is longer than the 1000 ms of video
    Mci().Window(id, T.Window);
    const uint32_t start = T.Os->GetTickCount();
    Mci().Play(id, T.NoticeWindow);
    T.RunUntil(start + 990);
    T.Rounds(1);
    const std::vector<uint8_t> last = T.Screen().Bytes();
    T.RunUntil(start + length + 10);
    EXPECT_EQ(T.Screen().Bytes(), last);
    ASSERT_EQ(T.Notices.size(), 1u);
    EXPECT_EQ(T.Notices[0].Tick, start + length);
}

TEST_F(GstMediaTest, BadFilesFailWithACode) {
    MCIDEVICEID id = 0;
    EXPECT_EQ(Mci().Open(Path("missing.wav"), &id), MCIERR_FILE_NOT_FOUND);
    const MCIERROR noise = Mci().Open(Path("noise.wav"), &id);
    EXPECT_TRUE(noise == MCIERR_INVALID_FILE || noise == MCIERR_EXTENSION_NOT_FOUND) << noise;
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(Mci().OpenCount(), 0u);
}

bool SoundFontInstalled() {
    std::string dirs = std::getenv("XDG_DATA_DIRS") ? std::getenv("XDG_DATA_DIRS") : "";
    if (dirs.empty()) {
        dirs = "/usr/local/share:/usr/share";
    }
    size_t from = 0;
    while (from <= dirs.size()) {
        const size_t to = std::min(dirs.find(':', from), dirs.size());
        const fs::path sf2 = fs::path(dirs.substr(from, to - from)) / "sounds" / "sf2";
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(sf2, ec)) {
            if (e.path().extension() == ".sf2") {
                return true;
            }
        }
        from = to + 1;
    }
    return false;
}

// MIDI plays when the machine has a MIDI decoder and a sound font; without a sound font
// (the test is run a second time with none to be found) the open fails with a code.
TEST_F(GstMediaTest, MidiOpensWithASoundFontAndFailsCleanlyWithout) {
    MCIDEVICEID id = 0;
    const MCIERROR result = Mci().Open(Path("t.mid"), &id);
    if (SoundFontInstalled()) {
        ASSERT_EQ(result, 0u) << mciGetErrorString(result);
        bool video = true;
        Mci().HasVideo(id, &video);
        EXPECT_FALSE(video);
        uint32_t length = 0;
        Mci().Length(id, &length);
        EXPECT_GT(length, 0u);
    } else {
        EXPECT_NE(result, 0u);
        EXPECT_EQ(id, 0u);
        EXPECT_EQ(Mci().OpenCount(), 0u);
    }
}

// The window host's output: real time, the machine's sound output or, on a machine
// without one, a null output that still keeps time.
class GstMediaSpeakersTest : public ::testing::Test {
protected:
    GstMediaSpeakersTest() {
        HostOptions o;
        o.Root = (Dir / "root").string();
        o.Args = {"quorvex"};
        o.Clock = ClockKind::Real;
        o.ScreenSize = {160, 120};
        Os = std::make_unique<Platform>(o, HeadlessHost::Create(o));
        Os->Media().SetBackend(CreateGstMediaBackend(GstMediaOutput::Speakers));
        CreateWindowParams p;
        p.ClassName = "Screen";
        p.Style = WS_POPUP | WS_VISIBLE;
        p.Bounds = {0, 0, 160, 120};
        p.Proc = [this](HWND, uint32_t msg, WPARAM, LPARAM) -> LRESULT {
            Notices += msg == MM_MCINOTIFY;
            return 0;
        };
        Wnd = Os->User().CreateWindow(p);
    }

    // Pumps on the real clock until the play has ended (at most five seconds); the time
    // it took.
    uint32_t PlayToTheEnd(MCIDEVICEID id) {
        // The device's play starts on the clock before the element is started, which takes
        // a while on a busy machine: the span is measured from before the command.
        const uint32_t start = Os->GetTickCount();
        EXPECT_EQ(Os->Media().Play(id, Wnd), 0u);
        while (Notices == 0 && Os->GetTickCount() - start < 5000) {
            Os->User().ProcessMessages();
            Os->Sleep(5);
        }
        return Os->GetTickCount() - start;
    }

    test::TempDir Dir;
    std::unique_ptr<Platform> Os;
    HWND Wnd = 0;
    int Notices = 0;
};

TEST_F(GstMediaSpeakersTest, PlaysToTheEndInRealTimeWithOrWithoutASoundDevice) {
    test::MakeSineWav(Dir.Path(), "t.wav", "0.3");
    MCIDEVICEID id = 0;
    ASSERT_EQ(Os->Media().Open(PathMap::ToWindows(Dir / "t.wav"), &id), 0u);
    EXPECT_GE(PlayToTheEnd(id), 300u);
    EXPECT_EQ(Notices, 1);
    EXPECT_EQ(Os->Media().Close(id), 0u);
}

TEST_F(GstMediaSpeakersTest, VideoShowsItsFramesAsItPlays) {
    test::MakePaintedClip(Dir.Path(), "clip.avi");
    MCIDEVICEID id = 0;
    ASSERT_EQ(Os->Media().Open(PathMap::ToWindows(Dir / "clip.avi"), &id), 0u);
    ASSERT_EQ(Os->Media().Window(id, Wnd), 0u);
    EXPECT_GE(PlayToTheEnd(id), 1000u);
    EXPECT_EQ(Notices, 1);
    // Some frame of the clip, whole, in the corner: on the real clock which one depends
    // on the machine's pace, but its two halves belong together.
    const Surface& s = *Os->User().WindowSurface(Wnd);
    int frame = -1;
    for (int n = 0; n < test::kClipFrames; ++n) {
        if (s.PixelRgb(0, 0) == TopColour(n)) {
            frame = n;
        }
    }
    ASSERT_GE(frame, 0);
    EXPECT_EQ(s.PixelRgb(kClipW - 1, kClipH - 1), BottomColour(frame));
    EXPECT_EQ(s.PixelRgb(kClipW, 0), 0u);
    EXPECT_EQ(Os->Media().Close(id), 0u);
}

} // namespace
} // namespace qv
