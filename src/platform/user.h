#pragma once

#include "platform/geometry.h"
#include "platform/instance_marker.h"
#include "platform/surface.h"
#include "platform/win32.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

class Clock;
class Host;
class Trace;

using WNDPROC = std::function<LRESULT(HWND, uint32_t, WPARAM, LPARAM)>;

struct MSG {
    HWND Wnd = 0;
    uint32_t Message = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
};

// What CreateWindow needs: the class and window parameters of the creation record.
struct CreateWindowParams {
    std::string ClassName;
    std::string Caption;
    uint32_t ClassStyle = 0;
    uint32_t Style = 0;
    uint32_t ExStyle = 0;
    Rect Bounds;     // in the parent's client coordinates for a child, else on the screen
    HWND Parent = 0; // parent for WS_CHILD, owner otherwise
    WNDPROC Proc;    // empty: DefWindowProc
};

enum class Cursor : uint8_t { None, Arrow, Hourglass };

// The answer a host gives to a system password dialog.
enum class PasswordAnswer : uint8_t { Accept, Reject, Cancel };

// Win32 USER: windows with integer handles, one message queue, the cursor, system
// parameters, message boxes and WinExec. Each window owns a backing surface of the
// screen's format; its window DC draws there and the host shows it.
class WindowManager {
public:
    WindowManager(Host& host, Clock& clock, Trace& trace, std::filesystem::path root);
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // Windows.
    HWND CreateWindow(const CreateWindowParams& params);
    bool DestroyWindow(HWND wnd); // sends WM_DESTROY to the window and its children first
    bool ShowWindow(HWND wnd, int command);
    bool IsWindow(HWND wnd) const;
    bool IsWindowVisible(HWND wnd) const;
    bool IsWindowEnabled(HWND wnd) const;
    bool EnableWindow(HWND wnd, bool enable);
    bool GetWindowRect(HWND wnd, Rect* rect) const; // screen coordinates
    bool GetClientRect(HWND wnd, Rect* rect) const; // (0, 0, width, height)
    // Marks the window as painted: no WM_PAINT is sent for it until it is shown again.
    bool ValidateRect(HWND wnd, const Rect* rect);
    // Screen point to the window's client coordinates.
    bool ScreenToClient(HWND wnd, Point* point) const;
    // The visible window under a screen point: the topmost top-level window that holds it,
    // then its deepest visible child there; 0 over the bare desktop.
    HWND WindowFromPoint(Point screen) const;
    // FindWindowA: class and caption, case-insensitive; windows of this process first,
    // then top-level windows of other processes that share the platform root.
    HWND FindWindow(std::string_view className, std::string_view caption) const;
    HWND GetForegroundWindow() const { return m_foreground; }
    bool SetForegroundWindow(HWND wnd);
    HWND SetActiveWindow(HWND wnd);
    HWND GetDesktopWindow() const { return kDesktopWindow; }
    HWND GetParent(HWND wnd) const;
    std::string GetClassName(HWND wnd) const;
    std::string GetWindowText(HWND wnd) const;
    bool SetWindowText(HWND wnd, std::string_view text);
    // Registers a window that another program owns (the preview's host window); it
    // exists until the host says it is gone. Returns 0 for the null handle, the handles the
    // platform reserves and handles of the program's own windows.
    HWND AdoptForeignWindow(HWND wnd, const Rect& screenRect);
    // The foreign window is gone: its children are destroyed, as Windows destroys the
    // children of a destroyed parent, and IsWindow fails for it from now on.
    void ForeignWindowGone(HWND wnd);

    // The backing surface of a window (the screen for the desktop window), or nothing.
    Surface* WindowSurface(HWND wnd);
    // Top-level windows, bottom to top, and a window's children, for hosts that compose
    // the screen.
    std::vector<HWND> TopLevelWindows() const;
    std::vector<HWND> ChildWindows(HWND parent) const;
    // The same without copying, for per-frame use: the top-level order (bottom first), and
    // the children of a window one by one in creation order (after = 0 gives the first;
    // 0 ends the walk).
    const std::vector<HWND>& ZOrder() const { return m_zOrder; }
    HWND NextChild(HWND parent, HWND after) const;

    // Messages.
    bool PostMessage(HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam);
    void PostQuitMessage(int exitCode);
    LRESULT SendMessage(HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam);
    LRESULT DefWindowProc(HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam);
    // Processes pending messages once: lets the host deliver its input, dispatches every
    // message waiting in the queue (including those posted meanwhile) and returns when the
    // queue is empty. Re-entrant: a handler may call it again.
    void ProcessMessages();
    // A message waits in the queue, or a visible window waits for WM_PAINT.
    bool MessagesWaiting() const;
    // Work done at the start of every round, after the host's input and before the queue
    // is dispatched: media devices post their completion notices and draw video frames.
    void SetRoundHook(std::function<void()> hook) { m_roundHook = std::move(hook); }
    // A window realised a palette that changed the screen's colours: every top-level
    // window gets WM_PALETTECHANGED with the realising window in wParam.
    void PaletteChanged(HWND realizer);
    // A quit message was posted (PostQuitMessage) or one posted to a window was taken
    // from the queue; quit messages are never dispatched to window procedures.
    bool QuitPosted() const { return m_quitPosted; }
    int QuitCode() const { return m_quitCode; }

    // Cursor.
    void SetScreenCursor(Cursor cursor);
    void SetWindowCursor(HWND wnd, Cursor cursor);
    Cursor ScreenCursor() const { return m_screenCursor; }
    Cursor WindowCursor(HWND wnd) const;

    // SystemParametersInfoA for the actions the player uses; the state is kept and traced.
    bool SystemParametersInfo(uint32_t action, uint32_t param);
    bool ScreenSaverRunning() const { return m_saverRunning; }
    bool ScreenSaveActive() const { return m_saveActive; }

    int GetSystemMetrics(int index) const;

    // MessageBoxA: the host answers; the call is traced with its answer.
    int MessageBox(HWND owner, std::string_view text, std::string_view caption, uint32_t flags);
    // The system password dialog of the password component.
    PasswordAnswer AskPassword(HWND owner);
    // WinExec: traced; only the display settings command is ever run, and only by a host
    // that can (the window host opens the desktop's screen-saver settings).
    uint32_t WinExec(std::string_view commandLine, int show);

    static constexpr HWND kDesktopWindow = 1;
    // How much larger than the screen a window may be, in pixels on each axis.
    static constexpr int32_t kWindowMargin = 64;
    // The largest window: the screen plus the margin.
    Size MaxWindowSize() const;
    // What FindWindow returns for a window that another process holds.
    static constexpr HWND kForeignProcessWindow = 2;

private:
    struct Window {
        CreateWindowParams Params;
        Rect ScreenRect;
        bool Visible = false;
        bool Enabled = true;
        bool Foreign = false;
        bool Destroying = false; // WM_DESTROY sent; a second DestroyWindow does nothing
        bool NeedsPaint = false; // shown and not yet validated
        Cursor WindowCursor = Cursor::Arrow;
        std::unique_ptr<Surface> Pixels;
        InstanceMarker Marker;
    };
    Window* Find(HWND wnd);
    const Window* Find(HWND wnd) const;
    void Dispatch(const MSG& msg);
    HWND NewHandle();
    // Puts a top-level window at the top of its band (topmost windows stay above the rest).
    void BringToTop(HWND wnd);
    void Activate(HWND wnd);
    // Sends WM_ERASEBKGND and WM_PAINT to one visible window that needs painting; false
    // when none does.
    bool PaintOne();

    Host& m_host;
    Clock& m_clock;
    Trace& m_trace;
    std::filesystem::path m_root;
    std::map<HWND, Window> m_windows;
    std::vector<HWND> m_zOrder; // top-level windows, bottom first
    std::deque<MSG> m_queue;
    std::function<void()> m_roundHook;
    HWND m_next = 0x100;
    HWND m_foreground = 0;
    HWND m_active = 0;
    bool m_quitPosted = false;
    int m_quitCode = 0;
    Cursor m_screenCursor = Cursor::Arrow;
    bool m_saverRunning = false;
    bool m_saveActive = false;
};

} // namespace qv
