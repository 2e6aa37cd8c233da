// The MCI devices with the scripted backend: play state on the virtual clock, notices,
// errors, and video drawn into the display window.
#include "media_test_platform.h"
#include "platform/gdi_pixels.h"
#include "platform/headless/movie_recorder.h"
#include "platform/scripted_media.h"

#include <gtest/gtest.h>
#include <map>

namespace qv {
namespace {

using test::MediaTestPlatform;

ScriptedMedia Sound(uint32_t lengthMs) {
    ScriptedMedia m;
    m.LengthMs = lengthMs;
    return m;
}

ScriptedMedia Video(uint32_t lengthMs, Size size) {
    ScriptedMedia m;
    m.LengthMs = lengthMs;
    m.HasVideo = true;
    m.NaturalSize = size;
    return m;
}

ScriptedMedia Failing(MCIERROR error) {
    ScriptedMedia m;
    m.OpenError = error;
    return m;
}

class MediaDevicesTest : public ::testing::Test {
protected:
    MediaDevicesTest() {
        auto backend = std::make_unique<ScriptedMediaBackend>();
        Scripted = backend.get();
        T.Os->Media().SetBackend(std::move(backend));
    }

    MCIDEVICEID OpenScripted(const std::string& name, const ScriptedMedia& media) {
        Scripted->Script(name, media);
        MCIDEVICEID id = 0;
        EXPECT_EQ(Mci().Open(T.WindowsPath(T.File(name)), &id), 0u);
        return id;
    }
    MediaDevices& Mci() { return T.Os->Media(); }

    MediaTestPlatform T;
    ScriptedMediaBackend* Scripted = nullptr;
};

TEST_F(MediaDevicesTest, PlayNotifiesSuccessAtStartPlusLength) {
    const MCIDEVICEID id = OpenScripted("tone.wav", Sound(500));
    T.RunUntil(100);
    ASSERT_EQ(Mci().Play(id, T.NoticeWindow), 0u);
    T.RunUntil(2000);
    ASSERT_EQ(T.Notices.size(), 1u);
    EXPECT_EQ(T.Notices[0].Tick, 600u);
    EXPECT_EQ(T.Notices[0].Kind, MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(T.Notices[0].Device, static_cast<LPARAM>(id));
    uint32_t pos = 0;
    ASSERT_EQ(Mci().Position(id, &pos), 0u);
    EXPECT_EQ(pos, 500u);
}

// What a command does to a play that is still running: the notice it gets, when.
TEST_F(MediaDevicesTest, CommandsDuringPlayEndThePendingNotice) {
    struct Case {
        const char* Name;
        std::function<void(MediaDevices&, MCIDEVICEID, HWND)> Command;
        std::vector<WPARAM> Kinds;
    };
    const std::vector<Case> cases = {
        {"stop", [](MediaDevices& m, MCIDEVICEID id, HWND) { m.Stop(id); }, {MCI_NOTIFY_ABORTED}},
        {"seek",
         [](MediaDevices& m, MCIDEVICEID id, HWND) { m.SeekToStart(id); },
         {MCI_NOTIFY_ABORTED}},
        {"close", [](MediaDevices& m, MCIDEVICEID id, HWND) { m.Close(id); }, {MCI_NOTIFY_ABORTED}},
        {"play again",
         [](MediaDevices& m, MCIDEVICEID id, HWND w) { m.Play(id, w); },
         {MCI_NOTIFY_SUPERSEDED, MCI_NOTIFY_SUCCESSFUL}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        T.Notices.clear();
        const MCIDEVICEID id = OpenScripted("tone.wav", Sound(300));
        const uint32_t start = T.Os->GetTickCount();
        Mci().Play(id, T.NoticeWindow);
        T.RunUntil(start + 100);
        c.Command(Mci(), id, T.NoticeWindow);
        T.RunUntil(start + 1000);
        std::vector<WPARAM> kinds;
        for (const auto& n : T.Notices) {
            kinds.push_back(n.Kind);
        }
        EXPECT_EQ(kinds, c.Kinds);
        if (c.Kinds.size() == 2) {
            // A play on a running device goes on from where it is.
            EXPECT_EQ(T.Notices[1].Tick, start + 300);
        }
        Mci().Close(id);
    }
}

TEST_F(MediaDevicesTest, StopKeepsThePositionAndPlayResumesThere) {
    const MCIDEVICEID id = OpenScripted("tone.wav", Sound(400));
    Mci().Play(id, T.NoticeWindow);
    T.RunUntil(150);
    Mci().Stop(id);
    uint32_t pos = 0;
    Mci().Position(id, &pos);
    EXPECT_EQ(pos, 150u);
    T.RunUntil(1000);
    T.Notices.clear();
    Mci().Play(id, T.NoticeWindow);
    T.RunUntil(2000);
    ASSERT_EQ(T.Notices.size(), 1u);
    EXPECT_EQ(T.Notices[0].Tick, 1000u + 250u);
}

TEST_F(MediaDevicesTest, PlayAtTheEndEndsAtOnceAndSeekStartsOver) {
    const MCIDEVICEID id = OpenScripted("tone.wav", Sound(50));
    Mci().Play(id, T.NoticeWindow);
    T.RunUntil(100);
    ASSERT_EQ(T.Notices.size(), 1u);
    Mci().Play(id, T.NoticeWindow);
    T.Rounds(1);
    ASSERT_EQ(T.Notices.size(), 2u);
    EXPECT_EQ(T.Notices[1].Kind, MCI_NOTIFY_SUCCESSFUL);
    Mci().SeekToStart(id);
    const uint32_t start = T.Os->GetTickCount();
    Mci().Play(id, T.NoticeWindow);
    T.RunUntil(start + 100);
    ASSERT_EQ(T.Notices.size(), 3u);
    EXPECT_EQ(T.Notices[2].Tick, start + 50);
}

TEST_F(MediaDevicesTest, ErrorsAreCodesWithTexts) {
    MCIDEVICEID id = 99;
    EXPECT_EQ(Mci().Open(T.WindowsPath(T.Dir() / "missing.wav"), &id), MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(Mci().Open(T.WindowsPath(T.Dir()), &id), MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(Mci().Open("C:\\WINDOWS\\TADA.WAV", &id), MCIERR_FILE_NOT_FOUND);
    Scripted->Script("bad.avi", Failing(MCIERR_INVALID_FILE));
    EXPECT_EQ(Mci().Open(T.WindowsPath(T.File("bad.avi")), &id), MCIERR_INVALID_FILE);
    EXPECT_EQ(Mci().OpenCount(), 0u);

    Rect r;
    EXPECT_EQ(Mci().Play(7, T.NoticeWindow), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(Mci().Stop(7), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(Mci().SeekToStart(7), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(Mci().Close(7), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(Mci().Where(7, &r), MCIERR_INVALID_DEVICE_ID);

    const MCIDEVICEID sound = OpenScripted("tone.wav", Sound(1000));
    EXPECT_EQ(Mci().Where(sound, &r), MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_EQ(Mci().Put(sound, {0, 0, 10, 10}), MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_EQ(Mci().Window(sound, T.Window), MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_EQ(Mci().Close(sound), 0u);
    EXPECT_EQ(Mci().Close(sound), MCIERR_INVALID_DEVICE_ID);

    const std::string found = mciGetErrorString(MCIERR_FILE_NOT_FOUND);
    EXPECT_NE(found, mciGetErrorString(MCIERR_INVALID_FILE));
    EXPECT_NE(found.find("file"), std::string::npos);

    // Every command is traced with its result and the error's text.
    const auto trace = T.Mci();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace[0]["cmd"], "open");
    EXPECT_EQ(trace[0]["result"], MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(trace[0]["error"], found);
}

TEST_F(MediaDevicesTest, WithoutABackendEveryOpenFails) {
    Mci().SetBackend(nullptr);
    MCIDEVICEID id = 0;
    EXPECT_EQ(Mci().Open(T.WindowsPath(T.File("tone.wav")), &id), MCIERR_CANNOT_LOAD_DRIVER);
}

TEST_F(MediaDevicesTest, WindowsPathsResolveCaseInsensitively) {
    T.File("tone.wav");
    const std::string upper = UpperCase(T.WindowsPath(T.Dir() / "tone.wav"));
    MCIDEVICEID id = 0;
    EXPECT_EQ(Mci().Open(upper, &id), 0u);
    EXPECT_EQ(Mci().Open(UpperCase(T.WindowsPath(T.Dir())) + "/TONE.WAV", &id), 0u);
}

uint32_t Pixel(const Surface& s, int32_t x, int32_t y) {
    return s.PixelRgb(x, y);
}

TEST_F(MediaDevicesTest, VideoFrameAtTheClockIsDrawnScaledIntoTheDestination) {
    const MCIDEVICEID id = OpenScripted("clip.avi", Video(400, {40, 30}));
    bool video = false;
    ASSERT_EQ(Mci().HasVideo(id, &video), 0u);
    EXPECT_TRUE(video);
    Rect where;
    ASSERT_EQ(Mci().Where(id, &where), 0u);
    EXPECT_EQ(where, (Rect{0, 0, 40, 30}));
    ASSERT_EQ(Mci().Window(id, T.Window), 0u);
    ASSERT_EQ(Mci().Put(id, {10, 20, 90, 80}), 0u);
    Mci().Where(id, &where);
    EXPECT_EQ(where, (Rect{10, 20, 90, 80}));

    const uint32_t start = T.Os->GetTickCount();
    Mci().Play(id, T.NoticeWindow);
    for (uint32_t at : {0u, 39u, 40u, 130u, 399u}) {
        T.RunUntil(start + at);
        T.Rounds(1); // this round draws the frame at start + at
        SCOPED_TRACE(at);
        const uint32_t colour = ScriptedFrameColor(at / 40);
        const Surface& s = T.Screen();
        EXPECT_EQ(Pixel(s, 10, 20), colour);
        EXPECT_EQ(Pixel(s, 89, 79), colour);
        EXPECT_EQ(Pixel(s, 9, 20), 0u);
        EXPECT_EQ(Pixel(s, 90, 50), 0u);
        EXPECT_EQ(Pixel(s, 50, 80), 0u);
        T.RunUntil(start + at + 1);
    }
    // After the end the last frame stays.
    T.RunUntil(start + 600);
    EXPECT_EQ(Pixel(T.Screen(), 50, 50), ScriptedFrameColor(9));
}

TEST_F(MediaDevicesTest, DestinationsOffScreenAreClippedAndZeroSizeMeansOwnSize) {
    struct Case {
        Rect Put;
        Rect Drawn; // on the 320 x 240 screen
    };
    const std::vector<Case> cases = {
        {{-10, -5, 30, 25}, {0, 0, 30, 25}},
        {{300, 230, 380, 290}, {300, 230, 320, 240}},
        {{5, 6, 0, 0}, {5, 6, 45, 36}}, // right and bottom 0: own size
        {{-2000000000, 0, 2000000000, 240}, {0, 0, 320, 240}},
        {{50, 50, 40, 90}, {}}, // negative width: nothing
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n++);
        Surface& s = T.Screen();
        std::fill(s.Bytes().begin(), s.Bytes().end(), 0);
        const MCIDEVICEID id = OpenScripted("clip.avi", Video(400, {40, 30}));
        Mci().Window(id, T.Window);
        Mci().Put(id, c.Put);
        Mci().Play(id, T.NoticeWindow);
        T.Rounds(1);
        for (int32_t y = 0; y < s.Height(); y += 3) {
            for (int32_t x = 0; x < s.Width(); x += 3) {
                const bool inside = x >= c.Drawn.Left && x < c.Drawn.Right && y >= c.Drawn.Top &&
                                    y < c.Drawn.Bottom;
                ASSERT_EQ(s.PixelRgb(x, y) != 0, inside) << x << "," << y;
            }
        }
        Mci().Close(id);
    }
}

TEST(DrawScaledFrameTest, NearestPixelScalingKeepsOrientation) {
    // A 2 x 2 frame: top-left red, top-right green, bottom-left blue, bottom-right white.
    const uint32_t px[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFFFFFFFF};
    MediaFrame frame;
    frame.Pixels = reinterpret_cast<const uint8_t*>(px);
    frame.Width = 2;
    frame.Height = 2;
    frame.Stride = 8;
    Surface s(8, 6, PixelFormat::Xrgb32);
    std::vector<int32_t> columns;
    DrawScaledFrame(frame, s, {1, 1, 7, 5}, columns);
    EXPECT_EQ(s.PixelRgb(1, 1), 0x00FF0000u);
    EXPECT_EQ(s.PixelRgb(3, 2), 0x00FF0000u);
    EXPECT_EQ(s.PixelRgb(4, 1), 0x0000FF00u);
    EXPECT_EQ(s.PixelRgb(1, 3), 0x000000FFu);
    EXPECT_EQ(s.PixelRgb(6, 4), 0x00FFFFFFu); // the unused byte is cleared
    EXPECT_EQ(s.PixelRgb(0, 0), 0u);
    EXPECT_EQ(s.PixelRgb(7, 5), 0u);
    EXPECT_EQ(s.Damage().Bounds(), (Rect{1, 1, 7, 5}));
}

TEST(DrawScaledFrameTest, EightBitSurfacesTakeTheNearestTableEntry) {
    const uint32_t px[2] = {0x00F01010, 0x000000E0};
    MediaFrame frame;
    frame.Pixels = reinterpret_cast<const uint8_t*>(px);
    frame.Width = 2;
    frame.Height = 1;
    frame.Stride = 8;
    Surface s(4, 2, PixelFormat::Indexed8);
    s.Colors()[7] = {0x00, 0x00, 0xFF, 0}; // red
    s.Colors()[9] = {0xFF, 0x00, 0x00, 0}; // blue
    for (size_t i = 0; i < 256; ++i) {
        if (i != 7 && i != 9) {
            s.Colors()[i] = {0x80, 0x80, 0x80, 0};
        }
    }
    std::vector<int32_t> columns;
    gdi::NearestCache nearest;
    nearest.Reset(&s.Colors());
    DrawScaledFrame(frame, s, {0, 0, 4, 2}, columns, &nearest);
    EXPECT_EQ(s.Row(0)[0], 7);
    EXPECT_EQ(s.Row(1)[1], 7);
    EXPECT_EQ(s.Row(0)[2], 9);
    EXPECT_EQ(s.Row(1)[3], 9);
}

// A movie backend that keeps what it is given; each sound file decodes to its length in
// samples of one value.
struct KeptMovie {
    uint64_t Frames = 0;
    std::vector<int16_t> Sound;
    bool Finished = false;
};

class KeepingBackend : public MovieBackend {
public:
    KeepingBackend(KeptMovie* kept, std::map<std::string, std::pair<size_t, int16_t>> sounds)
        : m_kept(kept), m_sounds(std::move(sounds)) {}
    bool CanWrite(const std::string&, std::string*) override { return true; }
    std::unique_ptr<MovieEncoder> CreateEncoder(const std::string&, const MovieFormat&,
                                                std::string*) override {
        struct Encoder : MovieEncoder {
            KeptMovie* Kept;
            std::string None;
            bool AddFrame(const uint32_t*, int32_t) override { return ++Kept->Frames, true; }
            bool AddSound(std::span<const int16_t> s) override {
                Kept->Sound.insert(Kept->Sound.end(), s.begin(), s.end());
                return true;
            }
            bool Finish() override { return Kept->Finished = true; }
            const std::string& Error() const override { return None; }
        };
        auto e = std::make_unique<Encoder>();
        e->Kept = m_kept;
        return e;
    }
    bool DecodeSound(const std::filesystem::path& file, const MovieFormat&,
                     std::vector<int16_t>* samples, std::string*) override {
        const auto& [count, value] = m_sounds.at(file.filename().string());
        samples->assign(count, value);
        return true;
    }

private:
    KeptMovie* m_kept;
    std::map<std::string, std::pair<size_t, int16_t>> m_sounds;
};

// The recording's sound track follows the plays on the clock: each from where it started,
// until it stops or ends, mixed (and clamped) where two overlap, silent elsewhere.
TEST_F(MediaDevicesTest, RecordingLaysEachPlayOnTheSoundTrack) {
    KeptMovie kept;
    // One sample a millisecond, one channel, so that sample n is tick n.
    MovieRecorder recorder(
        std::make_unique<KeepingBackend>(
            &kept, std::map<std::string, std::pair<size_t, int16_t>>{{"a.wav", {500, 100}},
                                                                     {"b.wav", {300, 32720}}}),
        "x.webm");
    MovieFormat format;
    format.Width = 4;
    format.Height = 4;
    format.Fps = 10;
    format.SampleRate = 1000;
    format.Channels = 1;
    std::string error;
    ASSERT_TRUE(recorder.Open(format, &error)) << error;
    Mci().SetListener(&recorder);
    const MCIDEVICEID a = OpenScripted("a.wav", Sound(500));
    const MCIDEVICEID b = OpenScripted("b.wav", Sound(300));
    const std::map<uint32_t, std::function<void()>> commands = {
        {100, [&] { Mci().Play(a, 0); }},
        {250, [&] { Mci().Play(b, 0); }},
        {300, [&] { Mci().Stop(a); }},    // at position 200
        {700, [&] { Mci().Play(a, 0); }}, // from 200 to its end at 1000
    };
    const uint32_t pixels[16] = {};
    for (uint32_t tick = 0; tick < 1100; tick += 50) {
        T.RunUntil(tick);
        if (auto it = commands.find(tick); it != commands.end()) {
            it->second();
        }
        if (tick % 100 == 0) {
            ASSERT_TRUE(recorder.AddFrame({pixels, 4, 4, 4}));
            ASSERT_TRUE(recorder.SoundUntil(tick));
        }
    }
    Mci().SetListener(nullptr);
    ASSERT_TRUE(recorder.Finish()) << recorder.Error();
    EXPECT_TRUE(kept.Finished);
    EXPECT_EQ(kept.Frames, 11u);
    ASSERT_EQ(kept.Sound.size(), 1100u);
    const struct {
        size_t From, To;
        int16_t Value;
    } spans[] = {{0, 100, 0},   {100, 250, 100},  {250, 300, 32767}, {300, 550, 32720},
                 {550, 700, 0}, {700, 1000, 100}, {1000, 1100, 0}};
    for (const auto& span : spans) {
        for (size_t i = span.From; i < span.To; ++i) {
            ASSERT_EQ(kept.Sound[i], span.Value) << "sample " << i;
        }
    }
}

} // namespace
} // namespace qv
