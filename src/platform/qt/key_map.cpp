#include "platform/qt/key_map.h"

#include <Qt>

namespace qv {
namespace {

struct KeyPair {
    int QtKey;
    uint32_t VirtualKey;
};

// Keys whose virtual-key code is not their character code.
constexpr KeyPair kKeys[] = {
    {Qt::Key_Backspace, 0x08}, {Qt::Key_Tab, 0x09},      {Qt::Key_Backtab, 0x09},
    {Qt::Key_Return, 0x0D},    {Qt::Key_Enter, 0x0D},    {Qt::Key_Shift, 0x10},
    {Qt::Key_Control, 0x11},   {Qt::Key_Alt, 0x12},      {Qt::Key_Pause, 0x13},
    {Qt::Key_CapsLock, 0x14},  {Qt::Key_Escape, 0x1B},   {Qt::Key_Space, 0x20},
    {Qt::Key_PageUp, 0x21},    {Qt::Key_PageDown, 0x22}, {Qt::Key_End, 0x23},
    {Qt::Key_Home, 0x24},      {Qt::Key_Left, 0x25},     {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27},     {Qt::Key_Down, 0x28},     {Qt::Key_Print, 0x2C},
    {Qt::Key_Insert, 0x2D},    {Qt::Key_Delete, 0x2E},   {Qt::Key_Meta, 0x5B},
    {Qt::Key_Menu, 0x5D},      {Qt::Key_NumLock, 0x90},  {Qt::Key_ScrollLock, 0x91},
};

// MK_ flags of mouse messages.
constexpr WPARAM kMkLButton = 0x0001;
constexpr WPARAM kMkRButton = 0x0002;
constexpr WPARAM kMkShift = 0x0004;
constexpr WPARAM kMkControl = 0x0008;
constexpr WPARAM kMkMButton = 0x0010;

} // namespace

uint32_t VirtualKeyFromQtKey(int qtKey) {
    // Letters and digits: the virtual-key code is the upper-case character code.
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
        return static_cast<uint32_t>(qtKey);
    }
    // F1 .. F24 are 0x70 .. 0x87.
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return 0x70 + static_cast<uint32_t>(qtKey - Qt::Key_F1);
    }
    for (const KeyPair& k : kKeys) {
        if (k.QtKey == qtKey) {
            return k.VirtualKey;
        }
    }
    return 0;
}

WPARAM MouseKeyState(uint32_t qtButtons, uint32_t qtModifiers) {
    WPARAM state = 0;
    if (qtButtons & Qt::LeftButton) {
        state |= kMkLButton;
    }
    if (qtButtons & Qt::RightButton) {
        state |= kMkRButton;
    }
    if (qtButtons & Qt::MiddleButton) {
        state |= kMkMButton;
    }
    if (qtModifiers & Qt::ShiftModifier) {
        state |= kMkShift;
    }
    if (qtModifiers & Qt::ControlModifier) {
        state |= kMkControl;
    }
    return state;
}

} // namespace qv
