#include "headless_fixture.h"
#include "platform/desktop_settings.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using test::HeadlessPlatform;
using test::Popup;
using test::Recorder;

constexpr uint32_t kA = WM_USER + 1;
constexpr uint32_t kB = WM_USER + 2;
constexpr uint32_t kC = WM_USER + 3;

struct UserTest : ::testing::Test {
    HeadlessPlatform P;
    Recorder R;
    HWND Wnd = 0;

    void SetUp() override {
        P.Start({"--size=320x240"});
        Wnd = P.User().CreateWindow(Popup({0, 0, 100, 80}, R.Proc(P.User()), 0));
        ASSERT_NE(Wnd, 0u);
        R.Got.clear();
    }
    std::vector<uint32_t> UserMessages() const {
        std::vector<uint32_t> out;
        for (const auto& e : R.Got) {
            if (e.Message >= WM_USER) {
                out.push_back(e.Message);
            }
        }
        return out;
    }
};

TEST_F(UserTest, PostedMessagesArriveInOrderAndOnlyOnce) {
    WindowManager& user = P.User();
    user.PostMessage(Wnd, kA, 1, 2);
    user.PostMessage(Wnd, kB, 0, 0);
    // A message posted by a handler is dispatched in the same round, after those waiting.
    R.Handler = [&](HWND, uint32_t m, WPARAM, LPARAM) {
        if (m == kA) {
            user.PostMessage(Wnd, kC, 0, 0);
        }
        return false;
    };
    user.ProcessMessages();
    EXPECT_EQ(UserMessages(), (std::vector<uint32_t>{kA, kB, kC}));
    EXPECT_EQ(R.Got[0].WParam, 1u);
    EXPECT_EQ(R.Got[0].LParam, 2);
    user.ProcessMessages();
    EXPECT_EQ(UserMessages().size(), 3u);
}

TEST_F(UserTest, HandlerThatProcessesMessagesAgainDispatchesTheRestInsideIt) {
    WindowManager& user = P.User();
    std::vector<std::string> log;
    R.Handler = [&](HWND, uint32_t m, WPARAM, LPARAM) {
        if (m == kA) {
            log.push_back("A begins");
            user.ProcessMessages();
            log.push_back("A ends");
        } else if (m == kB || m == kC) {
            log.push_back(m == kB ? "B" : "C");
        }
        return false;
    };
    user.PostMessage(Wnd, kA, 0, 0);
    user.PostMessage(Wnd, kB, 0, 0);
    user.PostMessage(Wnd, kC, 0, 0);
    const uint32_t before = P.Os->GetTickCount();
    user.ProcessMessages();
    EXPECT_EQ(log, (std::vector<std::string>{"A begins", "B", "C", "A ends"}));
    // Each round, the inner one included, moves the virtual clock one quantum.
    EXPECT_EQ(P.Os->GetTickCount(), before + 2);
}

TEST_F(UserTest, DeadlineLoopOnTheVirtualClockEndsExactlyAtTheDeadline) {
    Platform& os = *P.Os;
    os.Sleep(17);
    const uint32_t deadline = os.GetTickCount() + 250;
    int rounds = 0;
    while (static_cast<int32_t>(deadline - os.GetTickCount()) > 0) {
        P.User().ProcessMessages();
        ++rounds;
    }
    EXPECT_EQ(os.GetTickCount(), deadline);
    EXPECT_EQ(rounds, 250);
}

TEST_F(UserTest, QuitMessageSetsTheFlagAndReachesNoWindow) {
    P.User().PostMessage(Wnd, WM_QUIT, 4, 0);
    EXPECT_FALSE(P.User().QuitPosted());
    P.User().ProcessMessages();
    EXPECT_TRUE(P.User().QuitPosted());
    EXPECT_EQ(P.User().QuitCode(), 4);
    P.User().PostQuitMessage(3);
    P.User().ProcessMessages();
    EXPECT_EQ(P.User().QuitCode(), 3);
    EXPECT_TRUE(R.Messages(WM_QUIT).empty());
}

TEST_F(UserTest, AbsurdWindowSizesAreCut) {
    const HWND huge = P.User().CreateWindow(Popup({-5, 0, 2000000000, 1000000}));
    const HWND inverted = P.User().CreateWindow(Popup({50, 50, 10, 10}));
    Rect r;
    ASSERT_TRUE(P.User().GetWindowRect(huge, &r));
    EXPECT_EQ(r, (Rect{-5, 0, -5 + 320 + 64, 240 + 64}));
    ASSERT_TRUE(P.User().GetClientRect(inverted, &r));
    EXPECT_EQ(r, (Rect{0, 0, 0, 0}));
    EXPECT_EQ(P.User().WindowSurface(inverted)->Width(), 0);
}

TEST_F(UserTest, ShownWindowIsErasedAndPaintedOnceWhenTheQueueIsEmpty) {
    WindowManager& user = P.User();
    user.PostMessage(Wnd, kA, 0, 0);
    user.ShowWindow(Wnd, SW_SHOW);
    user.ProcessMessages();
    EXPECT_EQ(R.Messages(), (std::vector<uint32_t>{kA, WM_ERASEBKGND, WM_PAINT}));
    user.ProcessMessages();
    EXPECT_EQ(R.Got.size(), 3u);
    // Validated before the round: no paint.
    user.ShowWindow(Wnd, SW_HIDE);
    user.ShowWindow(Wnd, SW_SHOW);
    user.ValidateRect(Wnd, nullptr);
    user.ProcessMessages();
    EXPECT_EQ(R.Got.size(), 3u);
}

TEST_F(UserTest, DisabledWindowGetsNoInput) {
    WindowManager& user = P.User();
    user.EnableWindow(Wnd, false);
    user.PostMessage(Wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    user.PostMessage(Wnd, WM_KEYDOWN, 'A', 1);
    user.PostMessage(Wnd, MM_MCINOTIFY, 1, 0);
    user.ProcessMessages();
    EXPECT_EQ(R.Messages(), (std::vector<uint32_t>{MM_MCINOTIFY}));
}

TEST_F(UserTest, DestroyWindowDestroysChildrenFirstAndDropsTheirMessages) {
    WindowManager& user = P.User();
    Recorder childRec;
    CreateWindowParams child;
    child.ClassName = "Child";
    child.Style = WS_CHILD | WS_VISIBLE;
    child.Bounds = {10, 10, 20, 20};
    child.Parent = Wnd;
    child.Proc = childRec.Proc(user);
    const HWND c = user.CreateWindow(child);
    ASSERT_NE(c, 0u);
    Rect r;
    ASSERT_TRUE(user.GetWindowRect(c, &r));
    EXPECT_EQ(r, (Rect{10, 10, 20, 20}));
    user.PostMessage(c, kA, 0, 0);
    user.PostMessage(Wnd, kA, 0, 0);
    // A handler that destroys its own window again while being destroyed.
    int destroys = 0;
    R.Handler = [&](HWND w, uint32_t m, WPARAM, LPARAM) {
        if (m == WM_DESTROY) {
            ++destroys;
            EXPECT_FALSE(user.DestroyWindow(w));
        }
        return false;
    };
    EXPECT_TRUE(user.DestroyWindow(Wnd));
    EXPECT_EQ(destroys, 1);
    EXPECT_FALSE(user.IsWindow(Wnd));
    EXPECT_FALSE(user.IsWindow(c));
    ASSERT_NE(childRec.Last(WM_DESTROY), nullptr);
    user.ProcessMessages();
    EXPECT_TRUE(childRec.Messages(kA).empty());
    EXPECT_TRUE(R.Messages(kA).empty());
    EXPECT_FALSE(user.DestroyWindow(Wnd));
    EXPECT_EQ(P.Trace("window-destroy").size(), 2u);
}

TEST_F(UserTest, WindowCloseByDefaultDestroysIt) {
    P.User().PostMessage(Wnd, WM_CLOSE, 0, 0);
    P.User().ProcessMessages();
    EXPECT_FALSE(P.User().IsWindow(Wnd));
}

TEST_F(UserTest, FindWindowMatchesClassAndCaptionWithoutCase) {
    WindowManager& user = P.User();
    CreateWindowParams p = Popup({0, 0, 10, 10});
    p.ClassName = "Tss_screen";
    p.Caption = "SS_captionqazwsxedc";
    const HWND saver = user.CreateWindow(p);
    p.Caption = "";
    user.CreateWindow(p);
    EXPECT_EQ(user.FindWindow("TSS_SCREEN", "ss_captionQAZWSXEDC"), saver);
    EXPECT_EQ(user.FindWindow("Tss_screen", "other"), 0u);
    EXPECT_EQ(user.FindWindow("Other", "SS_captionqazwsxedc"), 0u);

    // Another program on the same root sees that one exists, but has no handle to it.
    HostOptions o;
    o.Root = (P.Dir / "root").string();
    o.Args = {"second"};
    Platform other(o, HeadlessHost::Create(o));
    EXPECT_EQ(other.User().FindWindow("Tss_screen", "SS_captionqazwsxedc"),
              WindowManager::kForeignProcessWindow);
    // A new caption is what others find from then on.
    user.SetWindowText(saver, "Renamed");
    EXPECT_EQ(other.User().FindWindow("Tss_screen", "SS_captionqazwsxedc"), 0u);
    EXPECT_EQ(other.User().FindWindow("Tss_screen", "Renamed"),
              WindowManager::kForeignProcessWindow);
    user.SetWindowText(saver, "SS_captionqazwsxedc");
    user.DestroyWindow(saver);
    EXPECT_EQ(other.User().FindWindow("Tss_screen", "SS_captionqazwsxedc"), 0u);
    EXPECT_EQ(user.FindWindow("Tss_screen", "SS_captionqazwsxedc"), 0u);
}

TEST_F(UserTest, ActivationTellsTheWindowInWindowsOrderAndIsTraced) {
    WindowManager& user = P.User();
    EXPECT_EQ(user.SetActiveWindow(Wnd), 0u);
    EXPECT_EQ(R.Messages(), (std::vector<uint32_t>{WM_QUERYNEWPALETTE, WM_ACTIVATE, WM_SETFOCUS}));
    EXPECT_EQ(user.GetForegroundWindow(), Wnd);
    user.SetActiveWindow(Wnd);
    EXPECT_EQ(R.Got.size(), 3u);
    EXPECT_FALSE(user.SetForegroundWindow(0x7777));
    EXPECT_TRUE(user.SetForegroundWindow(0));
    const auto fg = P.Trace("foreground");
    ASSERT_EQ(fg.size(), 2u);
    EXPECT_EQ(fg[0]["hwnd"], Wnd);
    EXPECT_EQ(fg[1]["hwnd"], 0);
}

TEST_F(UserTest, PaletteChangeReachesEveryTopLevelWindowNamingTheRealiser) {
    Recorder other;
    const HWND second = P.User().CreateWindow(Popup({0, 0, 10, 10}, other.Proc(P.User())));
    P.User().PaletteChanged(second);
    ASSERT_NE(R.Last(WM_PALETTECHANGED), nullptr);
    EXPECT_EQ(R.Last(WM_PALETTECHANGED)->WParam, second);
    ASSERT_NE(other.Last(WM_PALETTECHANGED), nullptr);
}

TEST_F(UserTest, TopmostWindowsStayAboveLaterOrdinaryOnes) {
    WindowManager& user = P.User();
    CreateWindowParams top = Popup({0, 0, 10, 10});
    top.ExStyle = WS_EX_TOPMOST;
    const HWND t = user.CreateWindow(top);
    const HWND later = user.CreateWindow(Popup({0, 0, 10, 10}));
    EXPECT_EQ(user.ZOrder(), (std::vector<HWND>{Wnd, later, t}));
    user.SetForegroundWindow(Wnd);
    EXPECT_EQ(user.ZOrder(), (std::vector<HWND>{later, Wnd, t}));
}

TEST_F(UserTest, ForeignHandlesAreNeverReusedForOwnWindows) {
    WindowManager& user = P.User();
    EXPECT_EQ(user.AdoptForeignWindow(WindowManager::kDesktopWindow, {0, 0, 5, 5}), 0u);
    EXPECT_EQ(user.AdoptForeignWindow(Wnd, {0, 0, 5, 5}), 0u);
    const HWND next = Wnd + 1;
    // Nobody answers for this handle, so it exists in the table but IsWindow asks the host.
    EXPECT_EQ(user.AdoptForeignWindow(next, {0, 0, 5, 5}), next);
    const HWND created = user.CreateWindow(Popup({0, 0, 5, 5}));
    EXPECT_NE(created, next);
    EXPECT_NE(created, 0u);
    EXPECT_EQ(user.GetClassName(created), "TestWindow");
}

TEST_F(UserTest, CreateWindowRefusesMissingParentOrOwner) {
    CreateWindowParams child = Popup({0, 0, 5, 5});
    child.Style = WS_CHILD;
    child.Parent = 0x9999;
    EXPECT_EQ(P.User().CreateWindow(child), 0u);
    CreateWindowParams owned = Popup({0, 0, 5, 5});
    owned.Parent = 0x9999;
    EXPECT_EQ(P.User().CreateWindow(owned), 0u);
}

TEST_F(UserTest, SystemStateCursorAndPromptsAreKeptAndTraced) {
    WindowManager& user = P.User();
    EXPECT_TRUE(user.SystemParametersInfo(SPI_SETSCREENSAVERRUNNING, 1));
    EXPECT_TRUE(user.ScreenSaverRunning());
    EXPECT_TRUE(user.SystemParametersInfo(SPI_SETSCREENSAVEACTIVE, 1));
    EXPECT_TRUE(user.ScreenSaveActive());
    EXPECT_FALSE(user.SystemParametersInfo(12345, 1));
    user.SetScreenCursor(Cursor::None);
    user.SetWindowCursor(Wnd, Cursor::Hourglass);
    EXPECT_EQ(user.ScreenCursor(), Cursor::None);
    EXPECT_EQ(user.WindowCursor(Wnd), Cursor::Hourglass);
    EXPECT_EQ(user.MessageBox(Wnd, "Install?", "Saver", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_GT(user.WinExec("rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,1", 1), 31u);

    const auto spi = P.Trace("spi");
    ASSERT_EQ(spi.size(), 2u);
    EXPECT_EQ(spi[0]["action"], SPI_SETSCREENSAVERRUNNING);
    EXPECT_EQ(spi[0]["value"], 1);
    const auto cursor = P.Trace("cursor");
    ASSERT_EQ(cursor.size(), 2u);
    EXPECT_EQ(cursor[0]["cursor"], "none");
    EXPECT_EQ(cursor[1]["cursor"], "hourglass");
    EXPECT_EQ(cursor[1]["hwnd"], Wnd);
    const auto box = P.Trace("msgbox");
    ASSERT_EQ(box.size(), 1u);
    EXPECT_EQ(box[0]["text"], "Install?");
    EXPECT_EQ(box[0]["caption"], "Saver");
    EXPECT_EQ(box[0]["flags"], MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(box[0]["answer"], IDYES);
    const auto exec = P.Trace("winexec");
    ASSERT_EQ(exec.size(), 1u);
    EXPECT_EQ(exec[0]["command"], "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,1");
    EXPECT_EQ(exec[0]["ran"], false);
    const auto created = P.Trace("window-create");
    ASSERT_FALSE(created.empty());
    EXPECT_EQ(created.back()["class"], "TestWindow");
    EXPECT_EQ(created.back()["rect"], (nlohmann::json{0, 0, 100, 80}));
}

// A host that would run whatever it is given, to show what the platform hands it.
class RunningHost : public HeadlessHost {
public:
    using HeadlessHost::HeadlessHost;
    std::vector<std::string> Ran;
    bool RunCommand(std::string_view commandLine) override {
        Ran.emplace_back(commandLine);
        return true;
    }
};

TEST(WinExec, OnlyTheDisplaySettingsCommandReachesTheHost) {
    test::TempDir dir;
    const std::vector<std::string> words = {"quorvex", "--display=headless",
                                            "--root=" + (dir / "root").string(),
                                            "--trace=" + (dir / "trace.jsonl").string()};
    std::vector<const char*> argv;
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    HostOptions options = ParseHostOptions(static_cast<int>(argv.size()), argv.data());
    auto host = std::make_unique<RunningHost>(options);
    RunningHost* running = host.get();
    {
        Platform os(std::move(options), std::move(host));
        for (const char* command :
             {"rm -rf /", "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,1 ; rm x",
              "RUNDLL32.EXE shell32.dll,Control_RunDLL desk.cpl,,1",
              "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,1"}) {
            EXPECT_GT(os.User().WinExec(command, 1), 31u);
        }
        EXPECT_EQ(running->Ran, std::vector<std::string>{std::string(kDisplaySettingsCommand)});
    }
    const auto traced = test::Events(test::ReadTrace(dir / "trace.jsonl"), "winexec");
    ASSERT_EQ(traced.size(), 4u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_FALSE(traced[i]["ran"].get<bool>());
    }
    EXPECT_TRUE(traced[3]["ran"].get<bool>());
}

} // namespace
} // namespace qv
