#pragma once

// The Win32 names and values that the player's code uses, kept as the original API spells
// them so that the player reads like the program it rebuilds.

#include <cstdint>

namespace qv {

using HWND = uint32_t; // 0 = no window
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using COLORREF = uint32_t; // 0x00BBGGRR

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) {
    return static_cast<uint8_t>(c & 0xFF);
}
constexpr uint8_t GetGValue(COLORREF c) {
    return static_cast<uint8_t>((c >> 8) & 0xFF);
}
constexpr uint8_t GetBValue(COLORREF c) {
    return static_cast<uint8_t>((c >> 16) & 0xFF);
}

// Window messages.
inline constexpr uint32_t WM_CREATE = 0x0001;
inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_SIZE = 0x0005;
inline constexpr uint32_t WM_ACTIVATE = 0x0006;
inline constexpr uint32_t WM_SETFOCUS = 0x0007;
inline constexpr uint32_t WM_PAINT = 0x000F;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_ERASEBKGND = 0x0014;
inline constexpr uint32_t WM_SHOWWINDOW = 0x0018;
inline constexpr uint32_t WM_SETCURSOR = 0x0020;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_KEYUP = 0x0101;
inline constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr uint32_t WM_QUERYNEWPALETTE = 0x030F;
inline constexpr uint32_t WM_PALETTECHANGED = 0x0311;
inline constexpr uint32_t MM_MCINOTIFY = 0x03B9;
inline constexpr uint32_t WM_USER = 0x0400;

// Mouse and key message parameters.
constexpr LPARAM MAKELPARAM(int32_t lo, int32_t hi) {
    return static_cast<LPARAM>((static_cast<uint32_t>(lo) & 0xFFFF) |
                               ((static_cast<uint32_t>(hi) & 0xFFFF) << 16));
}
constexpr int32_t GET_X_LPARAM(LPARAM lp) {
    return static_cast<int16_t>(lp & 0xFFFF);
}
constexpr int32_t GET_Y_LPARAM(LPARAM lp) {
    return static_cast<int16_t>((lp >> 16) & 0xFFFF);
}

// Mouse key state in wParam of mouse messages; activation state in WM_ACTIVATE.
inline constexpr WPARAM MK_LBUTTON = 0x0001;
inline constexpr WPARAM MK_RBUTTON = 0x0002;
inline constexpr WPARAM MK_MBUTTON = 0x0010;
inline constexpr WPARAM WA_ACTIVE = 1;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;

// Window styles.
inline constexpr uint32_t WS_POPUP = 0x80000000u;
inline constexpr uint32_t WS_CHILD = 0x40000000u;
inline constexpr uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr uint32_t WS_DISABLED = 0x08000000u;
inline constexpr uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000u;
inline constexpr uint32_t WS_EX_TOPMOST = 0x00000008u;
inline constexpr uint32_t CS_PARENTDC = 0x0080u;

// System parameters.
inline constexpr uint32_t SPI_SETSCREENSAVEACTIVE = 17;
inline constexpr uint32_t SPI_SETSCREENSAVERRUNNING = 97;

// System metrics.
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;

// Message boxes.
inline constexpr uint32_t MB_OK = 0x0000;
inline constexpr uint32_t MB_OKCANCEL = 0x0001;
inline constexpr uint32_t MB_ABORTRETRYIGNORE = 0x0002;
inline constexpr uint32_t MB_YESNOCANCEL = 0x0003;
inline constexpr uint32_t MB_YESNO = 0x0004;
inline constexpr uint32_t MB_RETRYCANCEL = 0x0005;
inline constexpr uint32_t MB_TYPEMASK = 0x000F;
inline constexpr uint32_t MB_DEFBUTTON2 = 0x0100;
inline constexpr uint32_t MB_DEFBUTTON3 = 0x0200;
inline constexpr uint32_t MB_DEFMASK = 0x0F00;
inline constexpr uint32_t MB_ICONERROR = 0x0010;
inline constexpr uint32_t MB_ICONQUESTION = 0x0020;
inline constexpr uint32_t MB_ICONWARNING = 0x0030;
inline constexpr uint32_t MB_ICONINFORMATION = 0x0040;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Virtual keys used by scripted input.
inline constexpr uint32_t VK_RETURN = 0x0D;
inline constexpr uint32_t VK_ESCAPE = 0x1B;
inline constexpr uint32_t VK_SPACE = 0x20;
inline constexpr uint32_t VK_BACK = 0x08;
inline constexpr uint32_t VK_TAB = 0x09;
inline constexpr uint32_t VK_SHIFT = 0x10;
inline constexpr uint32_t VK_CONTROL = 0x11;
inline constexpr uint32_t VK_MENU = 0x12;
inline constexpr uint32_t VK_LEFT = 0x25;
inline constexpr uint32_t VK_UP = 0x26;
inline constexpr uint32_t VK_RIGHT = 0x27;
inline constexpr uint32_t VK_DOWN = 0x28;
inline constexpr uint32_t VK_DELETE = 0x2E;
inline constexpr uint32_t VK_F1 = 0x70;

} // namespace qv
