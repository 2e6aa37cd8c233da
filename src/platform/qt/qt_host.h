#pragma once

#include "platform/host.h"
#include "platform/password_host.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QApplication;
class QDialog;
class QSocketNotifier;
class QTimer;
class QWindow;

namespace qv {

class QtFormView;
class SurfaceWindow;

// The real display host on Qt 6 (X11, and Wayland where it can).
//
// Visible top-level windows of the program become real windows that show their surfaces:
// a window covering the screen is borderless, on top and full screen, or with
// --windowed[=WxH] a normal window of that size (the screen the program sees is then that
// size). After each round of messages only the changed rectangle of each surface is copied
// to the screen. Hidden windows and windows of no size get no native window.
//
// Input: mouse moves, button presses and releases and key presses and releases reach the
// window as WM_ messages with client coordinates; closing a window from the window manager
// posts WM_CLOSE to it.
//
// The desktop the program sees is a grab of the screen taken when the platform starts,
// before any window of the program exists; where the session cannot grab, it is black.
//
// Preview: when the second argument is the decimal ID of an existing X window (/p ID), that
// window is adopted as a foreign window and child windows created in it are embedded into
// it. It is checked once per round of messages; when it is gone the platform learns so at
// once and the preview ends.
//
// The application object is a QApplication, so that message boxes and the dialog roles'
// forms (Qt Widgets) run on the same object as the saver windows.
//
// Password: the password component's prompt and change form are Qt dialogs on top of
// everything. While a protected saver runs its window holds the X keyboard and pointer
// grabs, so no other program receives input; the prompt takes the keyboard grab while it is
// shown. A grab that cannot be had is reported once on standard error and the saver runs on.
class QtHost : public Host, public PasswordHost {
public:
    // Opens the display; throws UsageError when there is none.
    explicit QtHost(const HostOptions& options);
    ~QtHost() override;

    static std::unique_ptr<Host> Create(const HostOptions& options);

    std::string_view Name() const override { return "window"; }
    HostCapabilities Capabilities() const override { return {.LiveDisplay = true}; }
    void Attach(Platform& os) override;
    Size ScreenSize() const override { return m_screenSize; }
    Surface& Desktop() override { return m_desktop; }
    void DeliverInput() override;
    void AfterMessages() override;
    void WaitForInput(uint32_t untilTick, uint32_t latestTick) override;
    void WatchWakeFd(int fd) override;
    void WindowCreated(HWND wnd) override;
    void WindowDestroyed(HWND wnd) override;
    void WindowShown(HWND wnd, bool visible) override;
    void CursorChanged(Cursor screen) override;
    std::optional<Rect> ForeignWindow(HWND wnd) override;
    int MessageBoxAnswer(std::string_view text, std::string_view caption, uint32_t flags) override;
    PasswordAnswer PasswordPrompt() override;
    // The display settings: the desktop's screen-saver settings program, when it is there.
    bool RunCommand(std::string_view commandLine) override;
    std::unique_ptr<FormView> CreateFormView(Form& form) override;

    // Forms (qt/forms.cpp): their windows are Qt dialogs, not surface windows.
    void AddFormView(QtFormView* view) { m_formViews.push_back(view); }
    void RemoveFormView(QtFormView* view);
    QtFormView* FormViewOf(HWND wnd) const;

    std::optional<std::string> AskPassword(HWND owner) override;
    std::optional<ChangePasswordAnswer>
    AskChangePassword(HWND owner, const ChangePasswordQuestion& question) override;
    void HoldInput(HWND wnd) override;

    // The native window that shows a platform window, if it has one (tests).
    QWindow* NativeWindow(HWND wnd) const;

private:
    void GrabDesktop();
    void AdoptPreviewHost();
    void CheckForeignWindow(bool now);
    std::unique_ptr<SurfaceWindow> MakeNativeWindow(HWND wnd);
    // What the program drew since the last round: anything, and a large part of a window.
    struct Pending {
        bool Any = false;
        bool Large = false;
        int64_t Area = 0; // of every window's damage
    };
    Pending PendingDrawing();
    // Shows the changed part of every visible window. Unless forced, small changes wait
    // on the real clock until a display refresh has passed since the last present.
    void PresentWindows(bool force);
    // Lets Qt deliver events, waiting up to ms for the first one.
    void WaitForEvents(int ms);
    // The held grabs: asked for again now and then (a window not yet on the screen cannot
    // have them, and another program may hold them for a moment).
    void KeepInputHeld();
    // Grabs the keyboard (for `keyboard`) and the pointer (for the held window); true when
    // both are ours.
    bool Grab(uint32_t keyboard);
    // Runs a modal dialog with the keyboard grab on it while it is shown.
    int RunPrompt(QDialog& dialog);

    HostOptions m_options;
    Platform* m_os = nullptr;
    // QApplication keeps references to these for its whole life.
    int m_argc = 1;
    char m_argv0[8] = "quorvex";
    char* m_argv[2] = {m_argv0, nullptr};
    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<QTimer> m_wake;
    // Wakes the event loop when the termination pipe becomes readable. It is switched off
    // once it fires and on again at the next round, so a request that waits (while a modal
    // prompt runs) does not fire it over and over.
    std::unique_ptr<QSocketNotifier> m_wakeNotifier;
    std::chrono::microseconds m_framePeriod{16667};
    std::chrono::steady_clock::time_point m_lastPresent;
    bool m_waited = false; // the program slept in WaitForInput since the last round
    std::chrono::steady_clock::time_point m_lastEvents; // the event loop's last pass
    // The damage that the last round left for a later present (-1: none); a round that
    // finds no more than that has nothing new to show.
    int64_t m_heldArea = -1;
    Size m_screenSize;
    Surface m_desktop;
    std::map<HWND, std::unique_ptr<SurfaceWindow>> m_windows;
    Cursor m_cursor = Cursor::Arrow;
    bool m_overrideCursor = false;

    // The window that holds keyboard and pointer while a protected saver runs.
    HWND m_held = 0;
    bool m_grabbed = false;
    bool m_grabNoted = false;
    std::chrono::steady_clock::time_point m_holdSince;
    std::chrono::steady_clock::time_point m_grabChecked;

    // The preview's foreign host window.
    HWND m_foreign = 0;
    // The /p handle when it is not a foreign window: children placed in it are closed.
    HWND m_refusedHost = 0;
    bool m_foreignAlive = false;
    Rect m_foreignRect;
    std::chrono::steady_clock::time_point m_foreignChecked;
    std::unique_ptr<QWindow> m_foreignWindow;

    std::vector<QtFormView*> m_formViews;
};

} // namespace qv
