#pragma once

#include "platform/geometry.h"
#include "platform/win32.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class Clock;
class PathMap;
namespace gdi {
class NearestCache;
}
class Surface;
class Trace;
class WindowManager;

// The Media Control Interface stand-in: device ids, commands, notices and error codes as
// winmm spells them.
using MCIDEVICEID = uint32_t; // 0 = no device
using MCIERROR = uint32_t;    // 0 = success

// wParam of MM_MCINOTIFY; lParam is the device id.
inline constexpr WPARAM MCI_NOTIFY_SUCCESSFUL = 0x0001;
inline constexpr WPARAM MCI_NOTIFY_SUPERSEDED = 0x0002;
inline constexpr WPARAM MCI_NOTIFY_ABORTED = 0x0004;
inline constexpr WPARAM MCI_NOTIFY_FAILURE = 0x0008;

inline constexpr MCIERROR MCIERR_BASE = 256;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
inline constexpr MCIERROR MCIERR_HARDWARE = MCIERR_BASE + 6;
inline constexpr MCIERROR MCIERR_CANNOT_LOAD_DRIVER = MCIERR_BASE + 10;
inline constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
inline constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
inline constexpr MCIERROR MCIERR_INTERNAL = MCIERR_BASE + 21;
inline constexpr MCIERROR MCIERR_EXTENSION_NOT_FOUND = MCIERR_BASE + 25;
inline constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;
inline constexpr MCIERROR MCIERR_NO_WINDOW = MCIERR_BASE + 90;

// mciGetErrorString: the text of an error code (never shown by the player, only kept and
// traced).
std::string mciGetErrorString(MCIERROR error);

// One decoded video frame: rows of 32-bit pixels, bytes B, G, R, x (the layout of an
// Xrgb32 surface), top-down.
struct MediaFrame {
    const uint8_t* Pixels = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;
    // Identifies the frame within its element (its start time in ms, say), so that a frame
    // that did not change is not drawn again.
    int64_t Serial = -1;
};

// An element opened by a backend: a sound or a video file. Timing belongs to the devices
// object (it follows the platform clock); the element only reports what it holds, plays
// its sound where a host can hear it, and gives the frame at a position.
class MediaElement {
public:
    virtual ~MediaElement() = default;

    virtual bool HasVideo() const = 0;
    // The video's own size; 0 x 0 without video.
    virtual Size NaturalSize() const = 0;
    // The length in milliseconds.
    virtual uint32_t LengthMs() const = 0;

    // Playback started at positionMs, or stopped at it (for elements that are heard).
    virtual void Started(uint32_t /*positionMs*/) {}
    virtual void Stopped(uint32_t /*positionMs*/) {}

    // The frame shown at positionMs (0 <= positionMs < length), or nothing when it cannot
    // be had. The frame stays valid until the next call or until the element is closed.
    virtual const MediaFrame* FrameAt(uint32_t positionMs) = 0;
};

// What opens elements: GStreamer in the player, a scripted backend in tests.
class MediaBackend {
public:
    virtual ~MediaBackend() = default;
    virtual std::string_view Name() const = 0;
    // Opens the file (it exists). On failure the result is empty and *error holds the code.
    virtual std::unique_ptr<MediaElement> Open(const std::filesystem::path& file,
                                               MCIERROR* error) = 0;
};

// Told of every stretch of playback, for a host that records what is heard. Ticks are the
// platform clock's.
class MediaListener {
public:
    virtual ~MediaListener() = default;
    // Device id began to play file from fromMs at tick; unless stopped, it plays to lengthMs.
    virtual void PlayStarted(MCIDEVICEID id, const std::filesystem::path& file, uint32_t tick,
                             uint32_t fromMs, uint32_t lengthMs) = 0;
    // The play of device id stopped at position atMs (so at its start tick plus what it
    // played).
    virtual void PlayStopped(MCIDEVICEID id, uint32_t atMs) = 0;
};

// The MCI devices of one program run: open elements by id, their play state on the
// platform clock, completion notices posted to the queue, and video drawn into the display
// window. The commands are those the player sends; every command is traced as an "mci"
// event with its result.
class MediaDevices {
public:
    MediaDevices(WindowManager& user, Clock& clock, Trace& trace, const PathMap& paths);
    ~MediaDevices();
    MediaDevices(const MediaDevices&) = delete;
    MediaDevices& operator=(const MediaDevices&) = delete;

    // The backend that opens elements; without one every open fails.
    void SetBackend(std::unique_ptr<MediaBackend> backend);
    MediaBackend* Backend() { return m_backend.get(); }
    // The listener told of every play and stop (nullptr: none); it outlives the devices.
    void SetListener(MediaListener* listener) { m_listener = listener; }

    // MCI_OPEN with MCI_OPEN_ELEMENT: the device is chosen from the file's content.
    // windowsPath goes through the path map.
    MCIERROR Open(std::string_view windowsPath, MCIDEVICEID* id);
    // MCI_PLAY with MCI_NOTIFY from the current position: when the play reaches the end,
    // MM_MCINOTIFY (MCI_NOTIFY_SUCCESSFUL, id) is posted to notifyWindow. A play that is
    // still pending is superseded. A play at the end position ends at once.
    MCIERROR Play(MCIDEVICEID id, HWND notifyWindow);
    // MCI_STOP: playback stops where it is; a pending notice is aborted.
    MCIERROR Stop(MCIDEVICEID id);
    // MCI_SEEK with MCI_SEEK_TO_START: stops playback (aborting a pending notice) at 0.
    MCIERROR SeekToStart(MCIDEVICEID id);
    // MCI_CLOSE: a pending notice is aborted; the id is no longer valid.
    MCIERROR Close(MCIDEVICEID id);
    // MCI_GETDEVCAPS with MCI_GETDEVCAPS_HAS_VIDEO.
    MCIERROR HasVideo(MCIDEVICEID id, bool* hasVideo);
    // MCI_STATUS: length and position in milliseconds.
    MCIERROR Length(MCIDEVICEID id, uint32_t* ms);
    MCIERROR Position(MCIDEVICEID id, uint32_t* ms);
    // MCI_WINDOW with MCI_DGV_WINDOW_HWND: the window a video draws in.
    MCIERROR Window(MCIDEVICEID id, HWND wnd);
    // MCI_WHERE with MCI_DGV_WHERE_DESTINATION: the destination rectangle, at first
    // (0, 0, natural width, natural height). Video devices only.
    MCIERROR Where(MCIDEVICEID id, Rect* destination);
    // MCI_PUT with MCI_DGV_PUT_DESTINATION: where the video is drawn in its window, scaled
    // to the rectangle; one whose right and bottom are both 0 stands for the video's own
    // size at (left, top). Video devices only.
    MCIERROR Put(MCIDEVICEID id, const Rect& destination);

    // Once per round of message processing: post the notices that are due on the clock and
    // draw the current frame of every playing video into its window.
    void Poll();
    // The tick by which Poll has work: the end of the earliest play, or now while a video
    // is shown (its frames are drawn round by round); nothing when no device plays.
    std::optional<uint32_t> NextDue() const;

    // Open devices (for tests and diagnostics).
    size_t OpenCount() const { return m_devices.size(); }

private:
    struct Device {
        MCIDEVICEID Id = 0;
        std::string Path;
        std::filesystem::path File;
        std::unique_ptr<MediaElement> Element;
        bool Playing = false;
        uint32_t PlayStartTick = 0;
        uint32_t PlayStartPos = 0;
        uint32_t StoppedPos = 0;
        HWND NotifyWindow = 0; // 0 = no notice pending
        HWND DisplayWindow = 0;
        Rect Destination;
        bool Redraw = false;
        int64_t DrawnSerial = -1;
        std::vector<int32_t> ColumnMap;             // source column of each destination column
        std::unique_ptr<gdi::NearestCache> Nearest; // for 8-bit windows, made when needed
    };
    Device* Find(MCIDEVICEID id);
    uint32_t CurrentPosition(const Device& device) const;
    void Settle(Device& device);
    void PlayEnded(const Device& device, uint32_t atMs);
    void Notify(Device& device, WPARAM kind);
    void DrawFrame(Device& device);
    MCIERROR Traced(std::string_view command, MCIDEVICEID id, MCIERROR result);

    WindowManager& m_user;
    Clock& m_clock;
    Trace& m_trace;
    const PathMap& m_paths;
    std::unique_ptr<MediaBackend> m_backend;
    MediaListener* m_listener = nullptr;
    std::map<MCIDEVICEID, Device> m_devices;
    MCIDEVICEID m_nextId = 1;
};

// Draws a frame scaled (nearest pixel) into destination, clipped to the surface;
// columnMap is scratch space kept by the caller so that drawing allocates nothing once its
// size is reached. On an 8-bit surface each pixel becomes the nearest entry of the
// surface's colour table through nearest (required there). Marks the drawn area damaged.
void DrawScaledFrame(const MediaFrame& frame, Surface& target, const Rect& destination,
                     std::vector<int32_t>& columnMap, gdi::NearestCache* nearest = nullptr);

} // namespace qv
