#pragma once

#include "platform/user.h"

#include <cstdint>

namespace qv {

struct Player;

// Hosted: the full-size show inside a window another program owns (the xscreensaver hack):
// a disabled child filling HostWnd like the preview's, without the running-saver caption,
// and deaf to the mouse (the owner of the window decides when the run ends).
enum class SaverWindowKind : uint8_t { FullScreen, Preview, Hosted };

// The saver window class ("Tss_screen"): full screen, borderless and topmost with the
// caption that marks a running saver, or a disabled child filling the preview's host
// window. Its window procedure answers focus, painting and palette messages itself, runs
// the movement test and the password check on mouse input, ignores keys, and turns an
// exception raised while a message is handled into the end of the run.
class TScreenSaverWindow {
public:
    TScreenSaverWindow(Player& player, SaverWindowKind kind);
    // Destroys the native window if it still exists.
    ~TScreenSaverWindow();
    TScreenSaverWindow(const TScreenSaverWindow&) = delete;
    TScreenSaverWindow& operator=(const TScreenSaverWindow&) = delete;

    // The creation record of the native window for this kind.
    CreateWindowParams CreateParams() const;
    // Creates the native window (visible at once); 0 when it cannot be created.
    HWND CreateWnd();
    HWND Handle() const { return m_wnd; }

    // The window procedure, without the exception guard.
    LRESULT WndProc(HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam);
    // The exception handler: stops the run and posts a quit message.
    void HandleException();

private:
    LRESULT DefaultHandler(HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam);
    void MouseMove(int32_t x, int32_t y);
    void RealizeEnginePalette();

    Player& m_player;
    SaverWindowKind m_kind;
    HWND m_wnd = 0;
};

inline constexpr const char* kSaverWindowClass = "Tss_screen";
inline constexpr const char* kSaverWindowCaption = "SS_captionqazwsxedc";

// The squared distance beyond which a mouse move disturbs the saver.
inline constexpr int32_t kMouseMoveThresholdSquared = 70;

} // namespace qv
