#pragma once

#include "platform/media.h"
#include "platform/win32.h"

#include <functional>
#include <string>

namespace qv {

class Platform;

// The media player of a saver run: at most one open MCI device, a hidden child window of
// the saver window that receives the device's completion notices, and the saver window as
// the window a video draws in. Every command's result is kept as the last error (never
// shown). Destroying the player closes a device that is still open.
class MediaPlayer {
public:
    // parent: the saver window, which is also the display window.
    MediaPlayer(Platform& os, HWND parent);
    ~MediaPlayer();
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // The file to open (a Windows path).
    std::string FileName;

    MCIDEVICEID DeviceId() const { return m_deviceId; }
    bool HasVideo() const { return m_hasVideo; }
    MCIERROR LastError() const { return m_lastError; }
    std::string LastErrorText() const { return mciGetErrorString(m_lastError); }
    HWND NotifyWindow() const { return m_window; }
    HWND Display() const { return m_display; }

    // Called for every MM_MCINOTIFY the player's window receives, whatever its kind.
    void SetOnNotify(std::function<void()> handler) { m_onNotify = std::move(handler); }

    // Opens FileName (closing a device that is open first); for a device with video, its
    // frames are drawn in the display window. A non-zero result is a failure of the open
    // itself (a later setup error is only kept).
    MCIERROR Open();
    // Plays from the current position with a notice at the end; a device whose play has
    // run to the end is rewound first, so that every play starts at the beginning.
    MCIERROR Play();
    MCIERROR Rewind();
    MCIERROR Stop();
    MCIERROR Close();
    // The display rectangle of a video device: (0, 0, own width, own height) until set.
    MCIERROR GetDisplayRect(Rect* rect);
    MCIERROR SetDisplayRect(const Rect& rect);

private:
    MCIERROR Keep(MCIERROR result) { return m_lastError = result; }

    Platform& m_os;
    HWND m_window = 0;
    HWND m_display = 0;
    MCIDEVICEID m_deviceId = 0;
    bool m_hasVideo = false;
    MCIERROR m_lastError = 0;
    std::function<void()> m_onNotify;
};

} // namespace qv
