#pragma once

#include "platform/surface.h"

#include <string>

namespace qv {

// The desktop that stands for the user's: by default a picture drawn here (a teal desktop
// with icons, their labels, a taskbar and a logo), the same pixels on every run, with
// enough detail that a saver's background modes can be told apart on it.
void DrawDefaultDesktop(Surface& desktop);

// Reads a PNG, JPEG or BMP file and scales it (nearest pixel) to fill the desktop surface.
// Throws UsageError when the file cannot be read or decoded, or is larger than 16384
// pixels on a side.
void LoadDesktopImage(const std::string& file, Surface& desktop);

} // namespace qv
