#pragma once

#include "platform/files.h"
#include "platform/win32.h"

#include <array>
#include <cstdint>
#include <string>

namespace qv {

// The show record: the header of the show file as the loader stores it. Field names are
// the show format's own. Before the first load every field is zero or empty.
struct ShowRecord {
    int32_t ExtraFileCount = 0;
    std::array<int32_t, 2> ExtraFileSize{};
    std::array<std::string, 2> ExtraFileName;
    int32_t ShowDataSize = 0;
    int32_t LogoOffset = 0;
    int32_t DiskCount = 0;
    std::string SaverFileName; // at most 64 characters
    std::string SaverTitle;    // at most 64 characters
    std::string AboutText;     // "|" marks a line break
    int32_t LogoKind = 0;
    std::string ClientText; // "|" marks a line break
    int32_t TransitionType = 0;
    std::string SoundFile;
    int32_t SoundLoop = 0;
    std::string BannerPlace; // at most 32 characters; letters 'T'/'B', then 'L'/'M'/'R'
    std::string BannerText;  // stored with one space before and after when not empty
    std::string BannerFont;  // at most 32 characters; empty becomes "Arial"
    int32_t BannerSize = 0;
    bool BannerBold = false;
    bool BannerItalic = false;
    uint32_t BannerColor = 0; // COLORREF
    std::string ClockPlace;   // at most 4 characters
    std::string ClockFormat;  // at most 32 characters; empty = no clock
    std::string ClockFont;    // at most 32 characters
    int32_t ClockSize = 0;
    bool ClockBold = false;
    bool ClockItalic = false;
    uint32_t ClockColor = 0;

    // Computed from the file name by the loader.
    std::string ShowDir;      // up to and including the last "\"
    std::string ShowBaseName; // at most 64 characters
};

// The run state kept beside the show record. Each field is set by the part of the player
// that owns it; the saver window, the media player and the stop flag live above this layer.
struct RunState {
    HFILE ShowFile = INVALID_FILE;
    int32_t SaverRole = 0;
    int32_t Speed = 0;
    uint8_t SoundOn = 0;
    int32_t ScreenW = 0;
    int32_t ScreenH = 0;
    int32_t FreeTop = 0;
    int32_t FreeBottom = 0;
    uint8_t IsPreview = 0;
    HWND HostWnd = 0;
    HWND SaverWnd = 0;
};

// Saver roles, the values of SaverRole.
enum class SaverRoleId : int32_t {
    None = 0,       // before the first load; list writer; change password
    FullScreen = 1, // "S" in the first argument, or "/DEMO"
    Settings = 2,
    Preview = 3,   // "P" in the first argument
    Installer = 4, // "SETUP" in the executable's path
};

} // namespace qv
