#include "platform/headless/headless_host.h"
#include "saver/saver.h"
#include "saver/saver_window.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace qv::test {
namespace {

// A headless platform with an application object and a player on it, and a spare window
// whose procedure does what a test asks when it is sent WM_USER.
class SaverFixture {
public:
    SaverFixture() {
        HostOptions o;
        o.Root = m_dir.Path().string();
        o.ScreenSize = {160, 120};
        o.Args = {(m_dir.Path() / "test.scr").string()};
        m_os = std::make_unique<Platform>(o, HeadlessHost::Create(o));
        m_app = std::make_unique<Application>(*m_os);
        P = std::make_unique<Player>(*m_os, *m_app);
        CreateWindowParams spare;
        spare.ClassName = "Spare";
        spare.Proc = [this](HWND wnd, uint32_t message, WPARAM w, LPARAM l) -> LRESULT {
            if (message == WM_USER && OnUser) {
                OnUser();
                return 0;
            }
            return m_os->User().DefWindowProc(wnd, message, w, l);
        };
        Spare = m_os->User().CreateWindow(spare);
    }
    ~SaverFixture() {
        P.reset();
        m_app.reset();
    }
    WindowManager& User() { return m_os->User(); }
    // The saver window of a full-screen run, created without running anything.
    HWND MakeSaverWindow() {
        P->SaverWindow = std::make_unique<TScreenSaverWindow>(*P, SaverWindowKind::FullScreen);
        P->Run.SaverWnd = P->SaverWindow->CreateWnd();
        return P->Run.SaverWnd;
    }

private:
    TempDir m_dir;
    std::unique_ptr<Platform> m_os;
    std::unique_ptr<Application> m_app;

public:
    std::unique_ptr<Player> P;
    HWND Spare = 0;
    std::function<void()> OnUser;
};

TEST(PasswordCheck, WithoutProtectionTheRunStopsWithTheArrowShownMeanwhile) {
    SaverFixture f;
    f.MakeSaverWindow();
    f.User().SetScreenCursor(Cursor::None);
    // What the check's round of message processing finds.
    Cursor during = Cursor::None;
    bool guarded = false;
    f.OnUser = [&] {
        during = f.User().ScreenCursor();
        guarded = f.P->InPasswordCheck;
    };
    f.User().PostMessage(f.Spare, WM_USER, 0, 0);
    PasswordCheck(*f.P);
    EXPECT_EQ(during, Cursor::Arrow);
    EXPECT_TRUE(guarded);
    EXPECT_TRUE(f.P->StopRequested);
    EXPECT_FALSE(f.P->InPasswordCheck);
    EXPECT_EQ(f.User().ScreenCursor(), Cursor::None);
}

TEST(PasswordCheck, DoesNothingInPreviewWhileRunningOrAfterAStop) {
    const struct {
        const char* Name;
        uint8_t Preview;
        bool InCheck;
        bool Stopped;
    } cases[] = {
        {"preview", 1, false, false},
        {"check running", 0, true, false},
        {"already stopped", 0, false, true},
    };
    for (const auto& c : cases) {
        SaverFixture f;
        f.MakeSaverWindow();
        f.User().SetScreenCursor(Cursor::None);
        f.P->Run.IsPreview = c.Preview;
        f.P->InPasswordCheck = c.InCheck;
        f.P->StopRequested = c.Stopped;
        bool pumped = false;
        f.OnUser = [&] { pumped = true; };
        f.User().PostMessage(f.Spare, WM_USER, 0, 0);
        PasswordCheck(*f.P);
        EXPECT_FALSE(pumped) << c.Name;
        EXPECT_EQ(f.P->StopRequested, c.Stopped) << c.Name;
        EXPECT_EQ(f.User().ScreenCursor(), Cursor::None) << c.Name;
    }
}

TEST(PasswordCheck, InputDuringTheCheckStartsNoSecondOne) {
    SaverFixture f;
    const HWND saver = f.MakeSaverWindow();
    int arrows = 0;
    // A click that arrives while the check runs reaches the saver window's handler, which
    // must see the guard and return.
    f.OnUser = [&] {
        f.User().PostMessage(saver, WM_LBUTTONDOWN, 0, 0);
        arrows += f.User().ScreenCursor() == Cursor::Arrow;
    };
    f.User().PostMessage(f.Spare, WM_USER, 0, 0);
    Platform& os = f.P->Os;
    const uint32_t before = os.GetTickCount();
    f.User().SendMessage(saver, WM_LBUTTONDOWN, 0, 0);
    EXPECT_TRUE(f.P->StopRequested);
    EXPECT_FALSE(f.P->InPasswordCheck);
    EXPECT_EQ(arrows, 1);
    // One round of message processing in all (each round moves the virtual clock by a
    // quantum): a second check would have processed messages again.
    EXPECT_EQ(os.GetTickCount() - before, static_cast<uint32_t>(os.Clock().QuantumMs()));
}

TEST(SaverWindow, AnExceptionInAHandlerStopsTheRun) {
    SaverFixture f;
    const HWND saver = f.MakeSaverWindow();
    // The check's round of message processing runs a procedure that throws: the saver
    // window's handler turns it into the end of the run.
    f.OnUser = [] { throw std::runtime_error("broken handler"); };
    f.User().PostMessage(f.Spare, WM_USER, 0, 0);
    f.User().SendMessage(saver, WM_RBUTTONDOWN, 0, 0);
    EXPECT_TRUE(f.P->StopRequested);
    EXPECT_TRUE(f.User().QuitPosted());
    // The guard came down with the exception.
    EXPECT_FALSE(f.P->InPasswordCheck);
}

TEST(SaverWindow, CreationRecords) {
    SaverFixture f;
    TScreenSaverWindow full(*f.P, SaverWindowKind::FullScreen);
    const CreateWindowParams a = full.CreateParams();
    EXPECT_EQ(a.ClassName, "Tss_screen");
    EXPECT_EQ(a.Caption, "SS_captionqazwsxedc");
    EXPECT_EQ(a.Style, WS_POPUP | WS_VISIBLE);
    EXPECT_EQ(a.ExStyle, WS_EX_TOPMOST);
    EXPECT_EQ(a.ClassStyle, 0u);
    EXPECT_EQ(a.Bounds, (Rect{0, 0, 160, 120}));
    EXPECT_EQ(a.Parent, f.P->App.Handle());

    CreateWindowParams hostParams;
    hostParams.ClassName = "Host";
    hostParams.Style = WS_POPUP | WS_VISIBLE;
    hostParams.Bounds = {10, 20, 90, 80};
    f.P->Run.HostWnd = f.User().CreateWindow(hostParams);
    TScreenSaverWindow preview(*f.P, SaverWindowKind::Preview);
    const CreateWindowParams b = preview.CreateParams();
    EXPECT_EQ(b.Caption, "");
    EXPECT_EQ(b.Style, WS_CHILD | WS_VISIBLE | WS_DISABLED);
    EXPECT_EQ(b.ExStyle, 0u);
    EXPECT_EQ(b.ClassStyle, CS_PARENTDC);
    EXPECT_EQ(b.Bounds, (Rect{0, 0, 80, 60}));
    EXPECT_EQ(b.Parent, f.P->Run.HostWnd);
}

TEST(FullScreenRun, AnExceptionStillRestoresTheSystemState) {
    SaverFixture f;
    // The run's first round of message processing meets a procedure that throws, outside
    // any handler of the saver window.
    f.OnUser = [] { throw std::runtime_error("broken"); };
    f.User().PostMessage(f.Spare, WM_USER, 0, 0);
    RunFullScreen(*f.P);
    EXPECT_TRUE(f.P->StopRequested);
    EXPECT_FALSE(f.User().ScreenSaverRunning());
    EXPECT_EQ(f.User().ScreenCursor(), Cursor::Arrow);
    EXPECT_EQ(f.P->SaverWindow, nullptr);
    EXPECT_EQ(f.User().FindWindow("Tss_screen", "SS_captionqazwsxedc"), 0u);
}

} // namespace
} // namespace qv::test
