#pragma once

#include <string>
#include <string_view>

namespace qv {

// The one command line a show may make the program start: the desktop's display settings
// on their screen-saver page, after an installation.
inline constexpr std::string_view kDisplaySettingsCommand =
    "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,1";

// The program that stands for those settings on this desktop.
inline constexpr const char* kScreenSaverSettingsProgram = "xscreensaver-settings";

// The full path of an executable file of that name in a directory of the search path
// (a colon-separated list, as PATH), or empty.
std::string FindOnSearchPath(std::string_view program, std::string_view searchPath);

// Starts the screen-saver settings program found on PATH, with no arguments and no shell,
// and does not wait for it. False when there is none or it cannot be started.
bool OpenScreenSaverSettings();

} // namespace qv
