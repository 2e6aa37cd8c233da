#pragma once

#include "platform/win32.h"

#include <cstdint>

namespace qv {

// The Windows virtual-key code of a Qt key code (Qt::Key), or 0 for a key that has none.
uint32_t VirtualKeyFromQtKey(int qtKey);

// The MK_ flags of a mouse message's wParam from Qt's button and modifier masks
// (Qt::MouseButtons and Qt::KeyboardModifiers as plain integers).
WPARAM MouseKeyState(uint32_t qtButtons, uint32_t qtModifiers);

} // namespace qv
