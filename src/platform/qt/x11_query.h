#pragma once

#include "platform/geometry.h"

#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace qv {

// The screen rectangle of an X window of any client (position relative to the root
// window, size from its geometry), or nothing when no such window exists. One round trip:
// both requests are sent before either reply is awaited.
std::optional<Rect> QueryX11WindowRect(xcb_connection_t* connection, uint32_t window);

// The root window of the default screen of the display in $DISPLAY, or nothing when the
// display cannot be opened.
std::optional<uint32_t> QueryX11RootWindow();

} // namespace qv
