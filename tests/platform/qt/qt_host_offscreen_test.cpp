// The window host in this process on Qt's offscreen and minimal platforms (no X server): what
// reaches a window's backing store after each round of messages, and the desktop where the screen
// cannot be read.
#include "platform/platform.h"
#include "platform/qt/qt_host.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>

namespace qv {
namespace {

class OffscreenHost : public ::testing::Test {
protected:
    void SetUp() override { Start("offscreen"); }

    void Start(const char* platform, ClockKind clock = ClockKind::Virtual) {
        setenv("QT_QPA_PLATFORM", platform, 1);
        HostOptions options;
        options.Args = {"test"};
        options.Root = (m_dir / "root").string();
        // The virtual clock unless asked: rounds of messages never wait for the display.
        options.Clock = clock;
        testing::internal::CaptureStderr();
        m_os = std::make_unique<Platform>(options, QtHost::Create(options));
        m_stderr = testing::internal::GetCapturedStderr();
    }

    QtHost& Host() { return static_cast<QtHost&>(m_os->Host()); }

    HWND FullScreenWindow() {
        const Size screen = Host().ScreenSize();
        CreateWindowParams p;
        p.ClassName = "Tss_screen";
        p.Style = WS_POPUP | WS_VISIBLE;
        p.Bounds = {0, 0, screen.Width, screen.Height};
        return m_os->User().CreateWindow(p);
    }

    // What the window shows now: its backing store.
    QImage Shown(HWND wnd) {
        QWindow* window = Host().NativeWindow(wnd);
        if (!window) {
            ADD_FAILURE() << "no native window";
            return {};
        }
        return window->screen()
            ->grabWindow(window->winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    test::TempDir m_dir;
    std::unique_ptr<Platform> m_os;
    std::string m_stderr;
};

void Fill(Surface& s, const Rect& r, uint32_t colour, bool damage) {
    for (int32_t y = r.Top; y < r.Bottom; ++y) {
        for (int32_t x = r.Left; x < r.Right; ++x) {
            s.Row32(y)[x] = colour;
        }
    }
    if (damage) {
        s.AddDamage(r);
    }
}

uint32_t Pixel(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

TEST_F(OffscreenHost, EachRoundCopiesTheChangedRectangleOnly) {
    const HWND wnd = FullScreenWindow();
    Surface& s = *m_os->User().WindowSurface(wnd);
    Fill(s, s.Bounds(), 0xC03020, true);
    m_os->User().ProcessMessages();
    m_os->User().ProcessMessages();
    QImage shown = Shown(wnd);
    ASSERT_EQ(shown.width(), s.Width());
    ASSERT_EQ(shown.height(), s.Height());
    EXPECT_EQ(Pixel(shown, 0, 0), 0xC03020u);
    EXPECT_EQ(Pixel(shown, s.Width() - 1, s.Height() - 1), 0xC03020u);

    // Drawn without damage: stays off the screen. Drawn with damage: shows, exactly there.
    Fill(s, {5, 5, 6, 6}, 0x0000FF, false);
    Fill(s, {20, 30, 50, 40}, 0x00FF00, true);
    m_os->User().ProcessMessages();
    shown = Shown(wnd);
    EXPECT_EQ(Pixel(shown, 5, 5), 0xC03020u);
    EXPECT_EQ(Pixel(shown, 20, 30), 0x00FF00u);
    EXPECT_EQ(Pixel(shown, 49, 39), 0x00FF00u);
    EXPECT_EQ(Pixel(shown, 19, 30), 0xC03020u);
    EXPECT_EQ(Pixel(shown, 50, 39), 0xC03020u);
    EXPECT_EQ(Pixel(shown, 49, 40), 0xC03020u);

    // Two changes far apart show as themselves: what lies between them, drawn without
    // damage, stays off the screen.
    Fill(s, {60, 60, 61, 61}, 0x0000FF, false);
    Fill(s, {2, 2, 4, 4}, 0xFFFF00, true);
    Fill(s, {100, 100, 102, 102}, 0xFF00FF, true);
    m_os->User().ProcessMessages();
    shown = Shown(wnd);
    EXPECT_EQ(Pixel(shown, 3, 3), 0xFFFF00u);
    EXPECT_EQ(Pixel(shown, 101, 101), 0xFF00FFu);
    EXPECT_EQ(Pixel(shown, 60, 60), 0xC03020u);

    // A window shown again after hiding shows all of its surface, damaged or not.
    m_os->User().ShowWindow(wnd, SW_HIDE);
    m_os->User().ProcessMessages();
    m_os->User().ShowWindow(wnd, SW_SHOW);
    m_os->User().ProcessMessages();
    m_os->User().ProcessMessages();
    EXPECT_EQ(Pixel(Shown(wnd), 5, 5), 0x0000FFu);
}

TEST_F(OffscreenHost, WindowsOfNoSizeOrHiddenGetNoNativeWindow) {
    CreateWindowParams hidden;
    hidden.ClassName = "TApplication";
    hidden.Style = WS_POPUP;
    const HWND app = m_os->User().CreateWindow(hidden);
    m_os->User().ShowWindow(app, SW_RESTORE); // shown, but of no size
    const HWND wnd = FullScreenWindow();
    m_os->User().ProcessMessages();
    EXPECT_EQ(Host().NativeWindow(app), nullptr);
    ASSERT_NE(Host().NativeWindow(wnd), nullptr);
    EXPECT_TRUE(Host().NativeWindow(wnd)->isVisible());
    m_os->User().DestroyWindow(wnd);
    EXPECT_EQ(Host().NativeWindow(wnd), nullptr);
}

// On the real clock, as a saver runs.
class RealClockHost : public OffscreenHost {
protected:
    void SetUp() override { Start("offscreen", ClockKind::Real); }

    // Sleeps as a wait between two steps does, with nothing to end it sooner.
    void Sleep(uint32_t ms) { m_os->WaitForMessage(m_os->Clock().GetTickCount() + ms); }
};

TEST_F(RealClockHost, SmallChangesSoonAfterAPresentAreShownAtTheNextRefreshOrBeforeASleep) {
    using std::chrono::steady_clock;
    const HWND wnd = FullScreenWindow();
    Surface& s = *m_os->User().WindowSurface(wnd);
    Fill(s, s.Bounds(), 0x102030, true);
    m_os->User().ProcessMessages();
    m_os->User().ProcessMessages();
    Sleep(100); // what waits is shown before the sleep
    ASSERT_EQ(Pixel(Shown(wnd), 0, 0), 0x102030u);

    // Long after the last present: shown by the round.
    Fill(s, {10, 10, 20, 20}, 0x00FF00, true);
    const steady_clock::time_point shown = steady_clock::now();
    m_os->User().ProcessMessages();
    EXPECT_EQ(Pixel(Shown(wnd), 10, 10), 0x00FF00u);

    // Right after it: waits for the display's next refresh (when this round came soon
    // enough to tell)...
    Fill(s, {40, 40, 50, 50}, 0x0000FF, true);
    m_os->User().ProcessMessages();
    if (steady_clock::now() - shown < std::chrono::milliseconds(10)) {
        EXPECT_EQ(Pixel(Shown(wnd), 40, 40), 0x102030u);
    }
    // ...and is shown before the program sleeps past that refresh, so nothing drawn is
    // left off the screen while the program waits.
    Sleep(50);
    EXPECT_EQ(Pixel(Shown(wnd), 40, 40), 0x0000FFu);
    EXPECT_EQ(Pixel(Shown(wnd), 10, 10), 0x00FF00u);
}

// Presses a button of the message box once it is open (or closes the box without one).
void AnswerMessageBox(QMessageBox::StandardButton button) {
    QTimer::singleShot(10, [button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            AnswerMessageBox(button); // not open yet
            return;
        }
        if (button == QMessageBox::NoButton) {
            box->reject();
        } else if (QAbstractButton* b = box->button(button)) {
            b->click();
        } else {
            ADD_FAILURE() << "the box has no such button";
            box->reject();
        }
    });
}

TEST_F(OffscreenHost, MessageBoxesOfferTheFlagsButtonsAndAnswerWithTheirIds) {
    const struct {
        uint32_t Flags;
        QMessageBox::StandardButton Press; // NoButton: closed without a button
        int Answer;
    } cases[] = {
        {MB_OK | MB_ICONINFORMATION, QMessageBox::Ok, IDOK},
        {MB_OK, QMessageBox::NoButton, IDOK},
        {MB_OKCANCEL, QMessageBox::Cancel, IDCANCEL},
        {MB_OKCANCEL | MB_ICONWARNING, QMessageBox::NoButton, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Yes, IDYES},
        {MB_YESNO, QMessageBox::No, IDNO},
        {MB_YESNOCANCEL, QMessageBox::Cancel, IDCANCEL},
        {MB_YESNOCANCEL | MB_ICONERROR, QMessageBox::No, IDNO},
    };
    for (const auto& c : cases) {
        AnswerMessageBox(c.Press);
        EXPECT_EQ(m_os->User().MessageBox(0, "Text", "Caption", c.Flags), c.Answer)
            << "flags " << c.Flags;
    }
}

// Qt's minimal platform cannot read its screen, as a Wayland session does not let programs.
class UnreadableScreen : public OffscreenHost {
protected:
    void SetUp() override { Start("minimal"); }
};

TEST_F(UnreadableScreen, DesktopIsBlackAndTheUserIsTold) {
    const Surface& desktop = Host().Desktop();
    ASSERT_EQ(desktop.Width(), Host().ScreenSize().Width);
    for (int32_t y = 0; y < desktop.Height(); y += 37) {
        for (int32_t x = 0; x < desktop.Width(); x += 41) {
            ASSERT_EQ(desktop.PixelRgb(x, y), 0u);
        }
    }
    EXPECT_NE(m_stderr.find("desktop is shown black"), std::string::npos) << m_stderr;
}

} // namespace
} // namespace qv
