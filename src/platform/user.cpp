#include "platform/user.h"

#include "platform/clock.h"
#include "platform/desktop_settings.h"
#include "platform/host.h"
#include "platform/paths.h"
#include "platform/trace.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace qv {
namespace {

nlohmann::json RectJson(const Rect& r) {
    return {r.Left, r.Top, r.Right, r.Bottom};
}

const char* CursorName(Cursor c) {
    switch (c) {
    case Cursor::None:
        return "none";
    case Cursor::Arrow:
        return "arrow";
    case Cursor::Hourglass:
        return "hourglass";
    }
    return "?";
}

} // namespace

WindowManager::WindowManager(Host& host, Clock& clock, Trace& trace, std::filesystem::path root)
    : m_host(host), m_clock(clock), m_trace(trace), m_root(std::move(root)) {}

WindowManager::~WindowManager() = default;

WindowManager::Window* WindowManager::Find(HWND wnd) {
    auto it = m_windows.find(wnd);
    return it == m_windows.end() ? nullptr : &it->second;
}

const WindowManager::Window* WindowManager::Find(HWND wnd) const {
    auto it = m_windows.find(wnd);
    return it == m_windows.end() ? nullptr : &it->second;
}

Size WindowManager::MaxWindowSize() const {
    const Size s = m_host.ScreenSize();
    return {s.Width + kWindowMargin, s.Height + kWindowMargin};
}

HWND WindowManager::NewHandle() {
    // Skip handles in use (an adopted foreign handle may lie in our range) and the ones
    // the platform reserves, also after the counter wraps.
    while (m_next <= kForeignProcessWindow || m_windows.contains(m_next)) {
        ++m_next;
    }
    return m_next++;
}

HWND WindowManager::CreateWindow(const CreateWindowParams& params) {
    const bool child = (params.Style & WS_CHILD) != 0;
    Rect screen = params.Bounds;
    if (child) {
        Rect parent;
        if (!GetWindowRect(params.Parent, &parent)) {
            return 0;
        }
        screen = params.Bounds.Offset(parent.Left, parent.Top);
    } else if (params.Parent != 0 && !IsWindow(params.Parent)) {
        return 0; // an owner that does not exist, as CreateWindowEx refuses it
    }
    // As Windows does, a window is cut to a little more than the screen (and never less
    // than nothing), so an absurd size cannot ask for gigabytes of backing surface.
    const Size limit = MaxWindowSize();
    screen.Right = std::clamp(screen.Right, screen.Left, screen.Left + limit.Width);
    screen.Bottom = std::clamp(screen.Bottom, screen.Top, screen.Top + limit.Height);
    const HWND wnd = NewHandle();
    Window& w = m_windows[wnd];
    w.Params = params;
    w.ScreenRect = screen;
    w.Enabled = (params.Style & WS_DISABLED) == 0;
    const PixelFormat format =
        m_host.BitsPerPixel() <= 8 ? PixelFormat::Indexed8 : PixelFormat::Xrgb32;
    w.Pixels = std::make_unique<Surface>(screen.Width(), screen.Height(), format);
    if (!child) {
        m_zOrder.push_back(wnd);
        BringToTop(wnd);
        if (!params.Caption.empty()) {
            // Only one holder per class and caption: a second one is still a window,
            // but other processes see the first.
            w.Marker.Claim(m_root, params.ClassName, params.Caption);
        }
    }
    nlohmann::json parent = params.Parent ? nlohmann::json(params.Parent) : nlohmann::json(nullptr);
    m_trace.Emit("window-create", {{"hwnd", wnd},
                                   {"class", params.ClassName},
                                   {"caption", params.Caption},
                                   {"rect", RectJson(screen)},
                                   {"parent", parent},
                                   {"style", params.Style},
                                   {"exstyle", params.ExStyle}});
    m_host.WindowCreated(wnd);
    SendMessage(wnd, WM_CREATE, 0, 0);
    if (params.Style & WS_VISIBLE) {
        ShowWindow(wnd, SW_SHOW);
    }
    return wnd;
}

bool WindowManager::DestroyWindow(HWND wnd) {
    Window* w = Find(wnd);
    if (!w || w->Foreign || w->Destroying) {
        return false;
    }
    // A handler of WM_DESTROY (or of a child's) may call DestroyWindow again: it then
    // does nothing instead of sending WM_DESTROY a second time.
    w->Destroying = true;
    // Children (and owned windows) go first, as Windows destroys them with their parent.
    std::vector<HWND> children;
    for (const auto& [h, other] : m_windows) {
        if (other.Params.Parent == wnd && !other.Foreign) {
            children.push_back(h);
        }
    }
    for (HWND c : children) {
        DestroyWindow(c);
    }
    if (!Find(wnd)) {
        return true; // destroyed by a child's handler
    }
    SendMessage(wnd, WM_DESTROY, 0, 0);
    m_host.WindowDestroyed(wnd);
    m_windows.erase(wnd);
    std::erase(m_zOrder, wnd);
    if (m_foreground == wnd) {
        m_foreground = 0;
    }
    if (m_active == wnd) {
        m_active = 0;
    }
    // Messages for a destroyed window are dropped.
    std::erase_if(m_queue, [wnd](const MSG& m) { return m.Wnd == wnd; });
    m_trace.Emit("window-destroy", {{"hwnd", wnd}});
    return true;
}

bool WindowManager::ShowWindow(HWND wnd, int command) {
    Window* w = Find(wnd);
    if (!w) {
        return false;
    }
    if (w->Foreign) {
        return true; // another program's window: not ours to show or hide
    }
    const bool was = w->Visible;
    w->Visible = command != SW_HIDE && command != SW_MINIMIZE;
    if (w->Visible != was) {
        if (w->Visible) {
            w->Pixels->AddDamage(w->Pixels->Bounds());
            w->NeedsPaint = true;
        }
        m_host.WindowShown(wnd, w->Visible);
    }
    return was;
}

bool WindowManager::IsWindow(HWND wnd) const {
    if (wnd == kDesktopWindow) {
        return true;
    }
    const Window* w = Find(wnd);
    if (!w) {
        return false;
    }
    if (w->Foreign) {
        return m_host.ForeignWindow(wnd).has_value();
    }
    return true;
}

bool WindowManager::IsWindowVisible(HWND wnd) const {
    const Window* w = Find(wnd);
    return w && w->Visible;
}

bool WindowManager::IsWindowEnabled(HWND wnd) const {
    const Window* w = Find(wnd);
    return w && w->Enabled;
}

bool WindowManager::EnableWindow(HWND wnd, bool enable) {
    Window* w = Find(wnd);
    if (!w) {
        return false;
    }
    const bool wasDisabled = !w->Enabled;
    w->Enabled = enable;
    return wasDisabled;
}

bool WindowManager::GetWindowRect(HWND wnd, Rect* rect) const {
    if (wnd == kDesktopWindow) {
        const Size s = m_host.ScreenSize();
        *rect = {0, 0, s.Width, s.Height};
        return true;
    }
    const Window* w = Find(wnd);
    if (!w) {
        return false;
    }
    if (w->Foreign) {
        auto r = m_host.ForeignWindow(wnd);
        if (!r) {
            return false;
        }
        *rect = *r;
        return true;
    }
    *rect = w->ScreenRect;
    return true;
}

bool WindowManager::GetClientRect(HWND wnd, Rect* rect) const {
    Rect r;
    if (!GetWindowRect(wnd, &r)) {
        return false;
    }
    *rect = {0, 0, r.Width(), r.Height()};
    return true;
}

bool WindowManager::ValidateRect(HWND wnd, const Rect* /*rect*/) {
    // Windows keep their pixels, so only showing a window invalidates it, and then as a
    // whole: validating any part of it counts as painting it.
    Window* w = Find(wnd);
    if (!w) {
        return wnd == kDesktopWindow;
    }
    w->NeedsPaint = false;
    return true;
}

bool WindowManager::ScreenToClient(HWND wnd, Point* point) const {
    Rect r;
    if (!GetWindowRect(wnd, &r)) {
        return false;
    }
    point->X -= r.Left;
    point->Y -= r.Top;
    return true;
}

HWND WindowManager::WindowFromPoint(Point screen) const {
    auto holds = [&](HWND wnd) {
        const Window* w = Find(wnd);
        return w && w->Visible && screen.X >= w->ScreenRect.Left &&
               screen.X < w->ScreenRect.Right && screen.Y >= w->ScreenRect.Top &&
               screen.Y < w->ScreenRect.Bottom;
    };
    HWND hit = 0;
    for (auto it = m_zOrder.rbegin(); it != m_zOrder.rend(); ++it) {
        if (holds(*it)) {
            hit = *it;
            break;
        }
    }
    // A foreign window (the preview's host) lies under the program's own windows.
    if (hit == 0) {
        for (const auto& [h, w] : m_windows) {
            if (w.Foreign && holds(h)) {
                hit = h;
                break;
            }
        }
    }
    // The last child created that holds the point is the topmost one there.
    for (bool deeper = hit != 0; deeper;) {
        deeper = false;
        HWND top = 0;
        for (HWND c = NextChild(hit, 0); c != 0; c = NextChild(hit, c)) {
            if (holds(c)) {
                top = c;
            }
        }
        if (top != 0) {
            hit = top;
            deeper = true;
        }
    }
    return hit;
}

HWND WindowManager::FindWindow(std::string_view className, std::string_view caption) const {
    for (HWND wnd : m_zOrder) {
        const Window& w = m_windows.at(wnd);
        if (EqualsNoCase(w.Params.ClassName, className) &&
            EqualsNoCase(w.Params.Caption, caption)) {
            return wnd;
        }
    }
    if (!caption.empty() && InstanceMarker::IsHeld(m_root, className, caption)) {
        // A window of another process: there is no handle to it here, only its presence.
        return kForeignProcessWindow;
    }
    return 0;
}

void WindowManager::BringToTop(HWND wnd) {
    auto it = std::find(m_zOrder.begin(), m_zOrder.end(), wnd);
    if (it == m_zOrder.end()) {
        return;
    }
    m_zOrder.erase(it);
    const bool topmost = (m_windows.at(wnd).Params.ExStyle & WS_EX_TOPMOST) != 0;
    // Above every window of its band: the top of the list for a topmost window, else just
    // below the first topmost window.
    auto pos = m_zOrder.end();
    if (!topmost) {
        pos = std::find_if(m_zOrder.begin(), m_zOrder.end(), [this](HWND h) {
            return (m_windows.at(h).Params.ExStyle & WS_EX_TOPMOST) != 0;
        });
    }
    m_zOrder.insert(pos, wnd);
}

void WindowManager::Activate(HWND wnd) {
    if (m_active == wnd) {
        return;
    }
    m_active = wnd;
    BringToTop(wnd);
    // The order in which Windows tells a window that it became active: it may realise
    // its palette, then it is active, then it has the keyboard focus.
    SendMessage(wnd, WM_QUERYNEWPALETTE, 0, 0);
    if (Find(wnd)) {
        SendMessage(wnd, WM_ACTIVATE, WA_ACTIVE, 0);
    }
    if (Find(wnd)) {
        SendMessage(wnd, WM_SETFOCUS, 0, 0);
    }
}

bool WindowManager::SetForegroundWindow(HWND wnd) {
    if (wnd != 0 && !IsWindow(wnd)) {
        return false;
    }
    if (m_foreground != wnd) {
        m_foreground = wnd;
        m_trace.Emit("foreground", {{"hwnd", wnd}});
        const Window* w = Find(wnd);
        if (w && !w->Foreign) {
            Activate(wnd);
        }
    }
    return true;
}

HWND WindowManager::SetActiveWindow(HWND wnd) {
    const HWND old = m_active;
    const Window* w = Find(wnd);
    if (w && !w->Foreign) {
        SetForegroundWindow(wnd);
        Activate(wnd);
    }
    return old;
}

HWND WindowManager::GetParent(HWND wnd) const {
    const Window* w = Find(wnd);
    return w ? w->Params.Parent : 0;
}

std::string WindowManager::GetClassName(HWND wnd) const {
    const Window* w = Find(wnd);
    return w ? w->Params.ClassName : std::string();
}

std::string WindowManager::GetWindowText(HWND wnd) const {
    const Window* w = Find(wnd);
    return w ? w->Params.Caption : std::string();
}

bool WindowManager::SetWindowText(HWND wnd, std::string_view text) {
    Window* w = Find(wnd);
    if (!w) {
        return false;
    }
    if (w->Foreign) {
        return false;
    }
    w->Params.Caption = std::string(text);
    if ((w->Params.Style & WS_CHILD) == 0) {
        // Other processes find the window under its new caption only.
        w->Marker.Release();
        if (!text.empty()) {
            w->Marker.Claim(m_root, w->Params.ClassName, text);
        }
    }
    return true;
}

HWND WindowManager::AdoptForeignWindow(HWND wnd, const Rect& screenRect) {
    if (wnd <= kForeignProcessWindow) {
        return 0;
    }
    if (const Window* known = Find(wnd)) {
        return known->Foreign ? wnd : 0;
    }
    Window& w = m_windows[wnd];
    w.Foreign = true;
    w.Visible = true;
    w.ScreenRect = screenRect;
    w.Params.ClassName = "#foreign";
    w.Pixels =
        std::make_unique<Surface>(screenRect.Width(), screenRect.Height(), PixelFormat::Xrgb32);
    return wnd;
}

void WindowManager::ForeignWindowGone(HWND wnd) {
    Window* w = Find(wnd);
    if (!w || !w->Foreign) {
        return;
    }
    for (HWND c = NextChild(wnd, 0); c != 0; c = NextChild(wnd, 0)) {
        if (!DestroyWindow(c)) {
            break;
        }
    }
    m_windows.erase(wnd);
    if (m_foreground == wnd) {
        m_foreground = 0;
    }
    m_trace.Emit("window-destroy", {{"hwnd", wnd}, {"foreign", true}});
}

Surface* WindowManager::WindowSurface(HWND wnd) {
    if (wnd == 0 || wnd == kDesktopWindow) {
        return &m_host.Desktop();
    }
    Window* w = Find(wnd);
    return w ? w->Pixels.get() : nullptr;
}

std::vector<HWND> WindowManager::TopLevelWindows() const {
    return m_zOrder;
}

HWND WindowManager::NextChild(HWND parent, HWND after) const {
    for (auto it = m_windows.upper_bound(after); it != m_windows.end(); ++it) {
        const Window& w = it->second;
        if (!w.Foreign && (w.Params.Style & WS_CHILD) && w.Params.Parent == parent) {
            return it->first;
        }
    }
    return 0;
}

std::vector<HWND> WindowManager::ChildWindows(HWND parent) const {
    std::vector<HWND> out;
    for (const auto& [h, w] : m_windows) {
        if (!w.Foreign && (w.Params.Style & WS_CHILD) && w.Params.Parent == parent) {
            out.push_back(h);
        }
    }
    return out;
}

bool WindowManager::PostMessage(HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam) {
    if (wnd != 0 && !Find(wnd)) {
        return false;
    }
    m_queue.push_back({wnd, message, wParam, lParam});
    return true;
}

void WindowManager::PostQuitMessage(int exitCode) {
    m_quitPosted = true;
    m_quitCode = exitCode;
    m_queue.push_back({0, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
}

LRESULT WindowManager::SendMessage(HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(wnd);
    if (!w || w->Foreign) {
        return 0;
    }
    if (w->Params.Proc) {
        // Copy: the procedure may destroy its own window.
        WNDPROC proc = w->Params.Proc;
        return proc(wnd, message, wParam, lParam);
    }
    return DefWindowProc(wnd, message, wParam, lParam);
}

LRESULT WindowManager::DefWindowProc(HWND wnd, uint32_t message, WPARAM /*wParam*/,
                                     LPARAM /*lParam*/) {
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(wnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        ValidateRect(wnd, nullptr);
        return 0;
    default:
        return 0;
    }
}

void WindowManager::Dispatch(const MSG& msg) {
    if (msg.Message == WM_QUIT) {
        // As the GUI layer's message processing does, a quit message (to the thread or to
        // a window) ends the message loop and reaches no window procedure.
        m_quitPosted = true;
        m_quitCode = static_cast<int>(msg.WParam);
        return;
    }
    Window* w = Find(msg.Wnd);
    if (!w) {
        return;
    }
    // Input to a disabled window is dropped, as Windows does not deliver it.
    const bool input = (msg.Message >= WM_KEYDOWN && msg.Message <= 0x0108) ||
                       (msg.Message >= WM_MOUSEMOVE && msg.Message <= 0x020E);
    if (input && !w->Enabled) {
        return;
    }
    SendMessage(msg.Wnd, msg.Message, msg.WParam, msg.LParam);
}

bool WindowManager::PaintOne() {
    for (auto& [wnd, w] : m_windows) {
        if (w.NeedsPaint && w.Visible && !w.Destroying) {
            // Cleared first so that a handler that never validates is painted once, not
            // forever.
            w.NeedsPaint = false;
            const HWND target = wnd;
            SendMessage(target, WM_ERASEBKGND, 0, 0);
            if (Find(target)) {
                SendMessage(target, WM_PAINT, 0, 0);
            }
            return true;
        }
    }
    return false;
}

bool WindowManager::MessagesWaiting() const {
    if (!m_queue.empty()) {
        return true;
    }
    return std::any_of(m_windows.begin(), m_windows.end(), [](const auto& entry) {
        const Window& w = entry.second;
        return w.NeedsPaint && w.Visible && !w.Destroying;
    });
}

void WindowManager::ProcessMessages() {
    m_host.DeliverInput();
    if (m_roundHook) {
        m_roundHook();
    }
    // As with PeekMessage, WM_PAINT comes only when nothing else is waiting.
    for (;;) {
        if (!m_queue.empty()) {
            const MSG msg = m_queue.front();
            m_queue.pop_front();
            Dispatch(msg);
        } else if (!PaintOne()) {
            break;
        }
    }
    m_host.AfterMessages();
    m_clock.OnMessagesProcessed();
}

void WindowManager::PaletteChanged(HWND realizer) {
    // Copied: a handler may create or destroy windows.
    const std::vector<HWND> targets = m_zOrder;
    for (HWND wnd : targets) {
        SendMessage(wnd, WM_PALETTECHANGED, realizer, 0);
    }
}

void WindowManager::SetScreenCursor(Cursor cursor) {
    if (cursor != m_screenCursor) {
        m_screenCursor = cursor;
        m_trace.Emit("cursor", {{"cursor", CursorName(cursor)}});
        m_host.CursorChanged(cursor);
    }
}

Cursor WindowManager::WindowCursor(HWND wnd) const {
    const Window* w = Find(wnd);
    return w ? w->WindowCursor : Cursor::Arrow;
}

void WindowManager::SetWindowCursor(HWND wnd, Cursor cursor) {
    if (Window* w = Find(wnd)) {
        w->WindowCursor = cursor;
        m_trace.Emit("cursor", {{"hwnd", wnd}, {"cursor", CursorName(cursor)}});
    }
}

bool WindowManager::SystemParametersInfo(uint32_t action, uint32_t param) {
    switch (action) {
    case SPI_SETSCREENSAVERRUNNING:
        m_saverRunning = param != 0;
        break;
    case SPI_SETSCREENSAVEACTIVE:
        m_saveActive = param != 0;
        break;
    default:
        return false;
    }
    m_trace.Emit("spi", {{"action", action}, {"value", param}});
    return true;
}

int WindowManager::GetSystemMetrics(int index) const {
    const Size s = m_host.ScreenSize();
    switch (index) {
    case SM_CXSCREEN:
        return s.Width;
    case SM_CYSCREEN:
        return s.Height;
    default:
        return 0;
    }
}

int WindowManager::MessageBox(HWND /*owner*/, std::string_view text, std::string_view caption,
                              uint32_t flags) {
    const int answer = m_host.MessageBoxAnswer(text, caption, flags);
    m_trace.Emit("msgbox", {{"text", std::string(text)},
                            {"caption", std::string(caption)},
                            {"flags", flags},
                            {"answer", answer}});
    return answer;
}

PasswordAnswer WindowManager::AskPassword(HWND /*owner*/) {
    const PasswordAnswer a = m_host.PasswordPrompt();
    const char* name = a == PasswordAnswer::Accept   ? "accept"
                       : a == PasswordAnswer::Reject ? "reject"
                                                     : "cancel";
    m_trace.Emit("password", {{"answer", name}});
    return a;
}

uint32_t WindowManager::WinExec(std::string_view commandLine, int show) {
    // Command lines come from a show's data: only the display settings are ever opened,
    // and only by a host that can; anything else is recorded and nothing more.
    const bool known = commandLine == kDisplaySettingsCommand;
    const bool ran = known && m_host.RunCommand(commandLine);
    m_trace.Emit("winexec", {{"command", std::string(commandLine)}, {"show", show}, {"ran", ran}});
    return 33; // WinExec reports success with a value above 31.
}

} // namespace qv
