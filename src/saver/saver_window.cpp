#include "saver/saver_window.h"

#include "saver/player.h"
#include "saver/saver.h"

#include <exception>
#include <nlohmann/json.hpp>

namespace qv {

TScreenSaverWindow::TScreenSaverWindow(Player& player, SaverWindowKind kind)
    : m_player(player), m_kind(kind) {}

TScreenSaverWindow::~TScreenSaverWindow() {
    WindowManager& user = m_player.Os.User();
    if (m_wnd && user.IsWindow(m_wnd)) {
        try {
            user.DestroyWindow(m_wnd);
        } catch (...) {
            // A handler that fails while the window goes has nothing left to stop.
        }
    }
}

CreateWindowParams TScreenSaverWindow::CreateParams() const {
    WindowManager& user = m_player.Os.User();
    CreateWindowParams p;
    p.ClassName = kSaverWindowClass;
    if (m_kind == SaverWindowKind::FullScreen) {
        p.ClassStyle = 0;
        p.Caption = kSaverWindowCaption;
        p.Style = WS_POPUP | WS_VISIBLE;
        p.ExStyle = WS_EX_TOPMOST;
        p.Bounds = {0, 0, user.GetSystemMetrics(SM_CXSCREEN), user.GetSystemMetrics(SM_CYSCREEN)};
        p.Parent = m_player.App.Handle();
    } else {
        p.ClassStyle = CS_PARENTDC;
        p.Style = WS_CHILD | WS_VISIBLE | WS_DISABLED;
        p.ExStyle = 0;
        Rect host;
        if (user.GetWindowRect(m_player.Run.HostWnd, &host)) {
            p.Bounds = {0, 0, host.Width(), host.Height()};
        }
        p.Parent = m_player.Run.HostWnd;
    }
    return p;
}

HWND TScreenSaverWindow::CreateWnd() {
    CreateWindowParams p = CreateParams();
    p.Proc = [this](HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        try {
            return WndProc(wnd, message, wParam, lParam);
        } catch (...) {
            HandleException();
        }
        return 0;
    };
    m_wnd = m_player.Os.User().CreateWindow(p);
    return m_wnd;
}

void TScreenSaverWindow::HandleException() {
    m_player.StopRequested = true;
    m_player.Os.Trace().Emit("exception", {{"in", "message"}});
    m_player.Os.User().PostQuitMessage(0);
}

void TScreenSaverWindow::RealizeEnginePalette() {
    Gdi& gdi = m_player.Os.Gdi();
    gdi.SelectPalette(m_player.Engine.WindowDC, m_player.Engine.EnginePalette, false);
    gdi.RealizePalette(m_player.Engine.WindowDC);
}

LRESULT TScreenSaverWindow::WndProc(HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam) {
    WindowManager& user = m_player.Os.User();
    switch (message) {
    case WM_SETFOCUS:
        return 0;
    case WM_QUERYNEWPALETTE:
        if (m_player.Engine.EnginePalette) {
            Gdi& gdi = m_player.Os.Gdi();
            gdi.SelectPalette(m_player.Engine.WindowDC, m_player.Engine.EnginePalette, false);
            return static_cast<LRESULT>(gdi.RealizePalette(m_player.Engine.WindowDC));
        }
        return DefaultHandler(wnd, message, wParam, lParam);
    case WM_ERASEBKGND:
        // Nothing is painted: the styles draw on their own schedule.
        user.ValidateRect(wnd, nullptr);
        return 1;
    case WM_PAINT:
        user.ValidateRect(wnd, nullptr);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (m_kind != SaverWindowKind::Hosted) {
            PasswordCheck(m_player);
        }
        return 0;
    case WM_MOUSEMOVE:
        if (m_kind != SaverWindowKind::Hosted) {
            MouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        }
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        // Key presses neither end the run nor reach any other handler.
        return 0;
    case WM_PALETTECHANGED:
        if (m_player.Engine.EnginePalette) {
            RealizeEnginePalette();
        }
        return 0;
    default:
        return DefaultHandler(wnd, message, wParam, lParam);
    }
}

LRESULT TScreenSaverWindow::DefaultHandler(HWND wnd, uint32_t message, WPARAM wParam,
                                           LPARAM lParam) {
    if (m_kind != SaverWindowKind::FullScreen &&
        (message == WM_DESTROY || message == WM_CLOSE || message == WM_QUIT)) {
        // A preview or hosted run ends when its window goes.
        m_player.StopRequested = true;
    }
    return m_player.Os.User().DefWindowProc(wnd, message, wParam, lParam);
}

void TScreenSaverWindow::MouseMove(int32_t x, int32_t y) {
    Player& p = m_player;
    if (p.MouseStartSet) {
        const int64_t dx = static_cast<int64_t>(x) - p.MouseStartX;
        const int64_t dy = static_cast<int64_t>(y) - p.MouseStartY;
        if (dx * dx + dy * dy > kMouseMoveThresholdSquared) {
            PasswordCheck(p);
            p.MouseStartSet = false;
        }
        return;
    }
    // The first move after the start (or after a refused password) only records the place.
    p.MouseStartX = x;
    p.MouseStartY = y;
    p.MouseStartSet = true;
}

} // namespace qv
