#include "headless_fixture.h"
#include "platform/error.h"
#include "platform/headless/desktop_image.h"
#include "platform/headless/event_script.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

namespace qv {
namespace {

using test::HeadlessPlatform;
using test::Png;
using test::Popup;
using test::ReadPng;
using test::Recorder;

// ---- Events files -------------------------------------------------------------------

TEST(EventScript, ReadsEveryKindInTimeOrderKeepingFileOrderForEqualTimes) {
    const EventScript s = ParseEventScript("# a comment\n"
                                           "\n"
                                           "500 mouse-move 10 -20   # trailing comment\n"
                                           "100 KEY-DOWN escape\n"
                                           "500 mouse-down right\n"
                                           "answer msgbox no\n"
                                           "100 mouse-down\n"
                                           "\t700 close\r\n"
                                           "answer password REJECT\n"
                                           "800 destroy-host\n"
                                           "answer msgbox OK\n"
                                           "0 key-down f12\n",
                                           "events.txt");
    ASSERT_EQ(s.Timed.size(), 7u);
    const struct {
        int32_t At;
        ScriptAction Action;
        int32_t Line;
    } expect[] = {
        {0, ScriptAction::KeyDown, 12},       {100, ScriptAction::KeyDown, 4},
        {100, ScriptAction::MouseDown, 7},    {500, ScriptAction::MouseMove, 3},
        {500, ScriptAction::MouseDown, 5},    {700, ScriptAction::Close, 8},
        {800, ScriptAction::DestroyHost, 10},
    };
    for (size_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s.Timed[i].AtMs, expect[i].At);
        EXPECT_EQ(s.Timed[i].Action, expect[i].Action);
        EXPECT_EQ(s.Timed[i].Line, expect[i].Line);
    }
    EXPECT_EQ(s.Timed[0].Key, VK_F1 + 11);
    EXPECT_EQ(s.Timed[1].Key, VK_ESCAPE);
    EXPECT_EQ(s.Timed[2].Button, MouseButton::Left);
    EXPECT_EQ(s.Timed[3].X, 10);
    EXPECT_EQ(s.Timed[3].Y, -20);
    EXPECT_EQ(s.Timed[4].Button, MouseButton::Right);
    EXPECT_EQ(s.MessageBoxAnswers, (std::deque<int>{IDNO, IDOK}));
    ASSERT_EQ(s.PasswordAnswers.size(), 1u);
    EXPECT_EQ(s.PasswordAnswers[0].Answer, PasswordAnswer::Reject);
}

TEST(EventScript, MalformedLineIsAnErrorNamingFileAndLine) {
    const struct {
        const char* Text;
        const char* Expect;
    } cases[] = {
        {"mouse-move 1 2", "ev.txt:1: a line starts with a time"},
        {"-5 close", "ev.txt:1: a line starts with a time"},
        {"99999999999 close", "ev.txt:1: a line starts with a time"},
        {"\n# ok\n100", "ev.txt:3: missing event"},
        {"100 jump", "ev.txt:1: unknown event 'jump'"},
        {"100 mouse-move 1", "ev.txt:1: mouse-move: needs X Y"},
        {"100 mouse-move 1 2 3", "ev.txt:1: mouse-move: needs X Y"},
        {"100 mouse-move 1 40000", "ev.txt:1: mouse-move: needs X Y"},
        {"100 mouse-move a b", "ev.txt:1: mouse-move: needs X Y"},
        {"100 mouse-down thumb", "ev.txt:1: mouse-down: button must be"},
        {"100 mouse-down left right", "ev.txt:1: mouse-down: takes at most one"},
        {"100 key-down", "ev.txt:1: key-down: needs one key name"},
        {"100 key-down F13", "ev.txt:1: key-down: unknown key 'F13'"},
        {"100 close now", "ev.txt:1: close: takes no arguments"},
        {"100 destroy-host 5", "ev.txt:1: destroy-host: takes no arguments"},
        {"answer msgbox", "ev.txt:1: an answer is"},
        {"answer msgbox MAYBE", "ev.txt:1: msgbox answer must be"},
        {"answer password later", "ev.txt:1: password answer must be"},
        {"answer dialog OK", "ev.txt:1: unknown prompt 'dialog'"},
        {"100 close\n200 close\n300 klose", "ev.txt:3: unknown event"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        try {
            ParseEventScript(c.Text, "ev.txt");
            ADD_FAILURE() << "accepted";
        } catch (const UsageError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.Expect, 0), 0u) << e.what();
        }
    }
}

TEST(EventScript, KeyNames) {
    const struct {
        const char* Name;
        uint32_t Key;
    } cases[] = {{"a", 'A'},
                 {"Z", 'Z'},
                 {"7", '7'},
                 {"Return", VK_RETURN},
                 {"SPACE", VK_SPACE},
                 {"f1", VK_F1},
                 {"F10", VK_F1 + 9},
                 {"left", VK_LEFT},
                 {"", 0},
                 {"F0", 0},
                 {"!", 0},
                 {"ab", 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(VirtualKeyFromName(c.Name), c.Key) << c.Name;
    }
}

// ---- Host behaviour -----------------------------------------------------------------

struct HeadlessTest : ::testing::Test {
    HeadlessPlatform P;
    void StartWithEvents(const std::string& events, std::vector<std::string> more = {}) {
        test::WriteText(P.Dir / "events.txt", events);
        more.push_back("--events=" + (P.Dir / "events.txt").string());
        P.Start(more);
    }
};

TEST_F(HeadlessTest, ScriptedMouseUsesClientCoordinatesOfTheWindowUnderIt) {
    StartWithEvents("10 mouse-move 110 70\n"
                    "20 mouse-down right\n"
                    "30 mouse-move 5 5\n" // over the bare desktop
                    "30 mouse-down\n",
                    {"--size=320x240"});
    Recorder r;
    const HWND wnd = P.User().CreateWindow(Popup({100, 50, 200, 150}, r.Proc(P.User())));
    P.PumpUntil(9);
    EXPECT_EQ(r.Last(WM_MOUSEMOVE), nullptr);
    P.PumpUntil(40);
    const auto* move = r.Last(WM_MOUSEMOVE);
    ASSERT_NE(move, nullptr);
    EXPECT_EQ(move->Wnd, wnd);
    EXPECT_EQ(GET_X_LPARAM(move->LParam), 10);
    EXPECT_EQ(GET_Y_LPARAM(move->LParam), 20);
    const auto* down = r.Last(WM_RBUTTONDOWN);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->WParam, MK_RBUTTON);
    EXPECT_EQ(down->LParam, MAKELPARAM(10, 20));
    ASSERT_NE(r.Last(WM_RBUTTONUP), nullptr);
    EXPECT_EQ(r.Messages(WM_MOUSEMOVE).size(), 1u);
    EXPECT_TRUE(r.Messages(WM_LBUTTONDOWN).empty());
    // Delivered at the round whose clock reached the time, and traced.
    const auto input = P.Trace("input");
    ASSERT_GE(input.size(), 2u);
    EXPECT_EQ(input[0]["t"], 10);
    EXPECT_EQ(input[0]["kind"], "mouse-move");
    EXPECT_EQ(input[0]["x"], 10);
}

TEST_F(HeadlessTest, KeysGoToTheForegroundWindowAndCloseToTheTopmostVisibleOne) {
    StartWithEvents("5 key-down space\n6 close\n", {"--size=320x240"});
    Recorder a;
    Recorder b;
    const HWND wa = P.User().CreateWindow(Popup({0, 0, 50, 50}, a.Proc(P.User())));
    const HWND wb = P.User().CreateWindow(Popup({0, 0, 50, 50}, b.Proc(P.User())));
    P.User().SetForegroundWindow(wa);
    P.User().SetForegroundWindow(wb);
    P.User().SetForegroundWindow(wa); // wa is on top again
    P.PumpUntil(10);
    ASSERT_NE(a.Last(WM_KEYDOWN), nullptr);
    EXPECT_EQ(a.Last(WM_KEYDOWN)->WParam, VK_SPACE);
    EXPECT_TRUE(b.Messages(WM_KEYDOWN).empty());
    EXPECT_FALSE(P.User().IsWindow(wa));
    EXPECT_TRUE(P.User().IsWindow(wb));
}

TEST_F(HeadlessTest, DurationClicksTheTopmostVisibleEnabledWindowAtItsCentre) {
    P.Start({"--size=320x240", "--duration=50"});
    Recorder below;
    Recorder disabled;
    const HWND target = P.User().CreateWindow(Popup({20, 10, 120, 90}, below.Proc(P.User())));
    P.User().CreateWindow(
        Popup({0, 0, 320, 240}, disabled.Proc(P.User()), WS_VISIBLE | WS_DISABLED));
    P.User().CreateWindow(Popup({0, 0, 320, 240}, {}, 0)); // hidden
    P.User().CreateWindow(Popup({0, 0, 0, 0}));            // visible, but of no size
    P.PumpUntil(50);
    EXPECT_TRUE(below.Messages(WM_LBUTTONDOWN).empty());
    P.PumpUntil(52);
    const auto* down = below.Last(WM_LBUTTONDOWN);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->Wnd, target);
    EXPECT_EQ(down->WParam, MK_LBUTTON);
    EXPECT_EQ(down->LParam, MAKELPARAM(50, 40));
    EXPECT_NE(below.Last(WM_LBUTTONUP), nullptr);
    EXPECT_TRUE(disabled.Messages(WM_LBUTTONDOWN).empty());
    P.PumpUntil(200);
    EXPECT_EQ(below.Messages(WM_LBUTTONDOWN).size(), 1u);
}

TEST_F(HeadlessTest, PreviewHostWindowExistsUntilDestroyHost) {
    StartWithEvents("30 destroy-host\n", {"--size=320x240", "--host-size=100x60", "/p", "4242"});
    WindowManager& user = P.User();
    EXPECT_EQ(P.Host->VirtualHostWindow(), 4242u);
    ASSERT_TRUE(user.IsWindow(4242));
    Rect host;
    ASSERT_TRUE(user.GetWindowRect(4242, &host));
    EXPECT_EQ(host, (Rect{110, 90, 210, 150}));
    Recorder r;
    CreateWindowParams p;
    p.ClassName = "Tss_screen";
    p.Style = WS_CHILD | WS_VISIBLE | WS_DISABLED;
    p.Bounds = {0, 0, 100, 60};
    p.Parent = 4242;
    p.Proc = r.Proc(user);
    const HWND saver = user.CreateWindow(p);
    ASSERT_NE(saver, 0u);
    Rect inside;
    user.GetWindowRect(saver, &inside);
    EXPECT_EQ(inside, host);
    P.PumpUntil(30);
    EXPECT_TRUE(user.IsWindow(4242));
    P.PumpUntil(31);
    EXPECT_FALSE(user.IsWindow(4242));
    EXPECT_FALSE(user.GetWindowRect(4242, &host));
    // Its child went with it, told by WM_DESTROY.
    EXPECT_FALSE(user.IsWindow(saver));
    EXPECT_NE(r.Last(WM_DESTROY), nullptr);
}

TEST_F(HeadlessTest, DurationEndsAPreviewByTakingItsHostAway) {
    P.Start({"--duration=20", "/p", "777"});
    EXPECT_TRUE(P.User().IsWindow(777));
    P.PumpUntil(21);
    EXPECT_FALSE(P.User().IsWindow(777));
}

TEST_F(HeadlessTest, HostWindowLargerThanTheScreenIsCutToIt) {
    P.Start({"--size=64x48", "--host-size=1000x30", "/p", "300"});
    Rect host;
    ASSERT_TRUE(P.User().GetWindowRect(300, &host));
    EXPECT_EQ(host, (Rect{0, 9, 64, 39}));
}

TEST_F(HeadlessTest, NoHostWindowWithoutADecimalHandle) {
    P.Start({"/p", "12ab"});
    EXPECT_EQ(P.Host->VirtualHostWindow(), 0u);
    EXPECT_FALSE(P.User().IsWindow(12));
}

TEST_F(HeadlessTest, PromptsTakeScriptedAnswersInOrderThenDefaults) {
    StartWithEvents("answer msgbox NO\n"
                    "answer password reject\n"
                    "answer msgbox CANCEL\n"
                    "answer msgbox YES\n" // an OK box has no Yes button
                    "answer password accept\n");
    WindowManager& user = P.User();
    EXPECT_EQ(user.MessageBox(0, "q1", "c", MB_YESNO), IDNO);
    EXPECT_EQ(user.AskPassword(0), PasswordAnswer::Reject);
    EXPECT_EQ(user.MessageBox(0, "q2", "c", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(user.MessageBox(0, "q3", "c", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(user.AskPassword(0), PasswordAnswer::Accept);
    // Nothing left: the default button, and a cancelled password dialog.
    EXPECT_EQ(user.MessageBox(0, "q4", "c", MB_YESNOCANCEL), IDYES);
    EXPECT_EQ(user.MessageBox(0, "q5", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_EQ(user.MessageBox(0, "q6", "c", MB_YESNO | MB_DEFBUTTON3), IDYES);
    EXPECT_EQ(user.AskPassword(0), PasswordAnswer::Cancel);
    const auto boxes = P.Trace("msgbox");
    ASSERT_EQ(boxes.size(), 6u);
    EXPECT_EQ(boxes[1]["text"], "q2");
    EXPECT_EQ(boxes[1]["answer"], IDCANCEL);
}

TEST_F(HeadlessTest, BadInputsAreUsageErrorsAtStart) {
    const struct {
        std::vector<std::string> Words;
        const char* Expect;
    } cases[] = {
        {{"--record=" + (P.Dir / "run.webm").string()},
         "WebM recording is not available in this build"},
        {{"--events=" + (P.Dir / "missing.txt").string()}, "cannot read the events file"},
        {{"--desktop=" + (P.Dir / "missing.png").string()}, "cannot read the desktop image"},
        {{"--snapshot=5:" + (P.Dir / "no/such/dir/a.png").string()}, "cannot write the snapshot"},
        {{"--record=" + (P.Dir / "no/such/dir/a.gif").string()}, "cannot record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Expect);
        HeadlessPlatform p;
        try {
            p.Start(c.Words);
            ADD_FAILURE() << "accepted";
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Expect), std::string::npos) << e.what();
        }
    }
    test::WriteText(P.Dir / "bad.txt", "100 close\n200 explode\n");
    try {
        P.Start({"--events=" + (P.Dir / "bad.txt").string()});
        ADD_FAILURE() << "accepted";
    } catch (const UsageError& e) {
        EXPECT_EQ(std::string(e.what()),
                  (P.Dir / "bad.txt").string() + ":2: unknown event 'explode'");
    }
}

// ---- Pictures -----------------------------------------------------------------------

TEST_F(HeadlessTest, SnapshotShowsTheDesktopAroundWindowsAndChildrenInsideParents) {
    const auto file = P.Dir / "shot.png";
    P.Start({"--size=200x150", "--snapshot=5:" + file.string()});
    WindowManager& user = P.User();
    const HWND back = user.CreateWindow(Popup({100, 40, 180, 110}));
    test::FillWindow(user, back, 0x0000FF);
    const HWND front = user.CreateWindow(Popup({150, 30, 220, 50}));
    test::FillWindow(user, front, 0xFF0000);
    CreateWindowParams c;
    c.ClassName = "Child";
    c.Style = WS_CHILD | WS_VISIBLE;
    c.Bounds = {70, 40, 100, 60}; // partly outside its parent
    c.Parent = back;
    const HWND child = user.CreateWindow(c);
    test::FillWindow(user, child, 0x00FF00);
    const HWND hidden = user.CreateWindow(Popup({0, 0, 200, 150}, {}, 0));
    test::FillWindow(user, hidden, 0xFFFFFF);
    P.PumpUntil(4);
    EXPECT_FALSE(std::filesystem::exists(file));
    P.PumpUntil(6);
    const Png png = ReadPng(file);
    ASSERT_EQ(png.Width, 200);
    ASSERT_EQ(png.Height, 150);
    EXPECT_EQ(png.At(2, 2), 0x008080u);    // the teal desktop
    EXPECT_EQ(png.At(99, 40), 0x008080u);  // just left of the back window
    EXPECT_EQ(png.At(100, 40), 0x0000FFu); // its corner
    EXPECT_EQ(png.At(160, 45), 0xFF0000u); // the front window over it
    EXPECT_EQ(png.At(199, 30), 0xFF0000u); // and cut at the screen's edge
    EXPECT_EQ(png.At(179, 99), 0x00FF00u); // the child, cut at its parent's edge
    EXPECT_EQ(png.At(180, 99), 0x008080u);
    EXPECT_EQ(png.At(100, 148), 0xC0C0C0u); // the taskbar
    const auto shots = P.Trace("snapshot");
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(shots[0]["file"], file.string());
    EXPECT_EQ(shots[0]["at"], 5);
    EXPECT_EQ(shots[0]["time"], 5);
}

TEST_F(HeadlessTest, PreviewSnapshotIsTheHostWindowWithTheSaverInIt) {
    const auto file = P.Dir / "preview.png";
    P.Start({"--size=320x240", "--host-size=40x30", "--snapshot=3:" + file.string(), "/p", "5000"});
    WindowManager& user = P.User();
    CreateWindowParams p;
    p.ClassName = "Tss_screen";
    p.Style = WS_CHILD | WS_VISIBLE | WS_DISABLED;
    p.Bounds = {10, 0, 40, 30};
    p.Parent = 5000;
    const HWND saver = user.CreateWindow(p);
    test::FillWindow(user, saver, 0x123456);
    P.PumpUntil(4);
    const Png png = ReadPng(file);
    ASSERT_EQ(png.Width, 40);
    ASSERT_EQ(png.Height, 30);
    EXPECT_EQ(png.At(0, 0), 0x000000u); // the host window itself, black
    EXPECT_EQ(png.At(10, 0), 0x123456u);
    EXPECT_EQ(png.At(39, 29), 0x123456u);
}

TEST_F(HeadlessTest, SnapshotsTheRunNeverReachedShowTheScreenAsItWasLeft) {
    const auto file = P.Dir / "late.png";
    P.Start({"--size=64x48", "--snapshot=1000:" + file.string()});
    const HWND wnd = P.User().CreateWindow(Popup({0, 0, 64, 48}));
    test::FillWindow(P.User(), wnd, 0x445566);
    P.PumpUntil(10);
    EXPECT_FALSE(std::filesystem::exists(file));
    P.Host->Finish();
    EXPECT_EQ(ReadPng(file).At(5, 5), 0x445566u);
    const auto shots = P.Trace("snapshot");
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(shots[0]["at"], 1000);
    EXPECT_EQ(shots[0]["time"], 10);
}

TEST_F(HeadlessTest, SnapshotThatCannotBeWrittenFailsTheRun) {
    std::filesystem::create_directory(P.Dir / "gone");
    P.Start({"--size=64x48", "--snapshot=5:" + (P.Dir / "gone" / "a.png").string()});
    std::filesystem::remove(P.Dir / "gone");
    P.PumpUntil(10);
    EXPECT_EQ(P.Trace("snapshot").at(0)["error"],
              "cannot create " + (P.Dir / "gone" / "a.png").string());
    EXPECT_THROW(P.Host->Finish(), PlatformError);
}

TEST(DesktopImage, DefaultIsTheSameEveryTimeAndSafeOnTinyScreens) {
    Surface a(300, 200, PixelFormat::Xrgb32);
    Surface b(300, 200, PixelFormat::Xrgb32);
    DrawDefaultDesktop(a);
    DrawDefaultDesktop(b);
    EXPECT_EQ(a.Bytes(), b.Bytes());
    EXPECT_EQ(a.PixelRgb(0, 0), 0x008080u);
    Surface tiny(1, 1, PixelFormat::Xrgb32);
    DrawDefaultDesktop(tiny);
}

TEST(DesktopImage, FileIsScaledToTheScreen) {
    test::TempDir dir;
    const uint32_t pixels[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    std::string error;
    ASSERT_TRUE(WritePng((dir / "d.png").string(), {pixels, 2, 2, 2}, &error)) << error;
    Surface desktop(4, 6, PixelFormat::Xrgb32);
    LoadDesktopImage((dir / "d.png").string(), desktop);
    EXPECT_EQ(desktop.PixelRgb(0, 0), 0xFF0000u);
    EXPECT_EQ(desktop.PixelRgb(1, 2), 0xFF0000u);
    EXPECT_EQ(desktop.PixelRgb(2, 2), 0x00FF00u);
    EXPECT_EQ(desktop.PixelRgb(0, 3), 0x0000FFu);
    EXPECT_EQ(desktop.PixelRgb(3, 5), 0xFFFFFFu);
    test::WriteText(dir / "junk.png", "not a picture");
    EXPECT_THROW(LoadDesktopImage((dir / "junk.png").string(), desktop), UsageError);
}

// ---- Recording ----------------------------------------------------------------------

struct GifFrames {
    int Width = 0;
    std::vector<int> Delays;       // hundredths of a second
    std::vector<uint32_t> TopLeft; // the first pixel of each frame, as RGB
    std::vector<int> ColourCounts; // distinct colours used by each frame
};

GifFrames ReadGif(const std::filesystem::path& file) {
    GifFrames out;
    int err = 0;
    GifFileType* gif = DGifOpenFileName(file.c_str(), &err);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << "cannot read " << file;
        return out;
    }
    out.Width = gif->SWidth;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& img = gif->SavedImages[i];
        GraphicsControlBlock gcb{};
        DGifSavedExtensionToGCB(gif, i, &gcb);
        out.Delays.push_back(gcb.DelayTime);
        const ColorMapObject* map =
            img.ImageDesc.ColorMap ? img.ImageDesc.ColorMap : gif->SColorMap;
        const GifColorType c = map->Colors[img.RasterBits[0]];
        out.TopLeft.push_back((uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue);
        std::vector<bool> used(256);
        const int count = img.ImageDesc.Width * img.ImageDesc.Height;
        for (int p = 0; p < count; ++p) {
            used[img.RasterBits[p]] = true;
        }
        out.ColourCounts.push_back(static_cast<int>(std::count(used.begin(), used.end(), true)));
    }
    DGifCloseFile(gif, &err);
    return out;
}

TEST_F(HeadlessTest, RecordingWritesOnlyChangedFramesWithTheirDelays) {
    const auto file = P.Dir / "run.gif";
    P.Start({"--size=32x24", "--record=" + file.string(), "--fps=10"});
    WindowManager& user = P.User();
    const HWND wnd = user.CreateWindow(Popup({0, 0, 32, 24}));
    // Red for 0..249 ms, then a picture of more than 256 colours until 400, then blue.
    while (P.Os->GetTickCount() < 520) {
        const uint32_t t = P.Os->GetTickCount();
        if (t < 250) {
            test::FillWindow(user, wnd, 0xFF0000);
        } else if (t < 400) {
            Surface* s = user.WindowSurface(wnd);
            for (int32_t y = 0; y < 24; ++y) {
                for (int32_t x = 0; x < 32; ++x) {
                    s->Row32(y)[x] =
                        static_cast<uint32_t>((x * 8) << 16 | (y * 10) << 8 | ((x + y) * 4));
                }
            }
        } else {
            test::FillWindow(user, wnd, 0x0000FF);
        }
        user.ProcessMessages();
    }
    P.Host->Finish();
    const GifFrames gif = ReadGif(file);
    EXPECT_EQ(gif.Width, 32);
    // Frames at 0, 100, 200 are red (one frame, 300 ms), 300 is the gradient (100 ms),
    // 400 and 500 are blue (from 400 to the end at 520, at least one period).
    ASSERT_EQ(gif.Delays.size(), 3u);
    EXPECT_EQ(gif.Delays, (std::vector<int>{30, 10, 12}));
    EXPECT_EQ(gif.TopLeft[0], 0xFF0000u);
    EXPECT_EQ(gif.TopLeft[2], 0x0000FFu);
    EXPECT_EQ(gif.ColourCounts[0], 1);
    // The gradient has 768 colours: it is put on the fixed cube, whose black is index 0.
    EXPECT_EQ(gif.TopLeft[1], 0x000000u);
    EXPECT_GT(gif.ColourCounts[1], 20);
}

} // namespace
} // namespace qv
