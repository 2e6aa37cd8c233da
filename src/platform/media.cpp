#include "platform/media.h"

#include "platform/clock.h"
#include "platform/gdi_pixels.h"
#include "platform/paths.h"
#include "platform/surface.h"
#include "platform/trace.h"
#include "platform/user.h"

#include <cstring>
#include <nlohmann/json.hpp>
#include <system_error>

namespace qv {
namespace {

const char* NoticeName(WPARAM kind) {
    switch (kind) {
    case MCI_NOTIFY_SUCCESSFUL:
        return "successful";
    case MCI_NOTIFY_SUPERSEDED:
        return "superseded";
    case MCI_NOTIFY_ABORTED:
        return "aborted";
    default:
        return "failure";
    }
}

// The destination as drawn: a rectangle whose right and bottom are both 0 stands for the
// video's own size at its top-left corner.
Rect EffectiveDestination(const Rect& destination, Size natural) {
    if (destination.Right == 0 && destination.Bottom == 0) {
        return {destination.Left, destination.Top, destination.Left + natural.Width,
                destination.Top + natural.Height};
    }
    return destination;
}

nlohmann::json RectJson(const Rect& r) {
    return nlohmann::json::array({r.Left, r.Top, r.Right, r.Bottom});
}

} // namespace

std::string mciGetErrorString(MCIERROR error) {
    switch (error) {
    case 0:
        return "The specified command was carried out.";
    case MCIERR_INVALID_DEVICE_ID:
        return "Invalid MCI device ID. Use the ID returned when opening the MCI device.";
    case MCIERR_HARDWARE:
        return "The specified device is not ready or cannot play.";
    case MCIERR_CANNOT_LOAD_DRIVER:
        return "The specified device driver will not load properly.";
    case MCIERR_UNSUPPORTED_FUNCTION:
        return "The MCI device the system is using does not support the specified command.";
    case MCIERR_FILE_NOT_FOUND:
        return "Cannot find the specified file. Make sure the path and filename are correct.";
    case MCIERR_INTERNAL:
        return "An internal error occurred in the MCI device.";
    case MCIERR_EXTENSION_NOT_FOUND:
        return "No MCI device can play files of this type.";
    case MCIERR_INVALID_FILE:
        return "The specified file cannot be played on the specified MCI device. The file "
               "may be corrupt, or not in the correct format.";
    case MCIERR_NO_WINDOW:
        return "There is no display window.";
    default:
        return "Unknown MCI error.";
    }
}

MediaDevices::MediaDevices(WindowManager& user, Clock& clock, Trace& trace, const PathMap& paths)
    : m_user(user), m_clock(clock), m_trace(trace), m_paths(paths) {}

MediaDevices::~MediaDevices() {
    // Elements go before the backend that made them.
    m_devices.clear();
}

void MediaDevices::SetBackend(std::unique_ptr<MediaBackend> backend) {
    m_devices.clear();
    m_backend = std::move(backend);
}

MediaDevices::Device* MediaDevices::Find(MCIDEVICEID id) {
    auto it = m_devices.find(id);
    return it == m_devices.end() ? nullptr : &it->second;
}

MCIERROR MediaDevices::Traced(std::string_view command, MCIDEVICEID id, MCIERROR result) {
    nlohmann::json fields{{"cmd", command}, {"id", id}, {"result", result}};
    if (result != 0) {
        fields["error"] = mciGetErrorString(result);
    }
    m_trace.Emit("mci", std::move(fields));
    return result;
}

uint32_t MediaDevices::CurrentPosition(const Device& device) const {
    const uint32_t length = device.Element->LengthMs();
    if (!device.Playing) {
        return device.StoppedPos;
    }
    // Unsigned subtraction keeps the span right across a wrap of the tick count.
    const uint64_t pos = static_cast<uint64_t>(device.PlayStartPos) +
                         (m_clock.GetTickCount() - device.PlayStartTick);
    return pos >= length ? length : static_cast<uint32_t>(pos);
}

void MediaDevices::Notify(Device& device, WPARAM kind) {
    if (device.NotifyWindow == 0) {
        return;
    }
    const HWND wnd = device.NotifyWindow;
    device.NotifyWindow = 0;
    m_user.PostMessage(wnd, MM_MCINOTIFY, kind, static_cast<LPARAM>(device.Id));
    m_trace.Emit("mci", {{"cmd", "notify"}, {"id", device.Id}, {"kind", NoticeName(kind)}});
}

void MediaDevices::PlayEnded(const Device& device, uint32_t atMs) {
    if (m_listener) {
        m_listener->PlayStopped(device.Id, atMs);
    }
}

// A play that has reached the end stops there and reports success.
void MediaDevices::Settle(Device& device) {
    if (!device.Playing) {
        return;
    }
    const uint32_t length = device.Element->LengthMs();
    if (CurrentPosition(device) < length) {
        return;
    }
    device.Playing = false;
    device.StoppedPos = length;
    device.Element->Stopped(length);
    PlayEnded(device, length);
    // The last frame is drawn once more at the end position.
    device.Redraw = device.Element->HasVideo();
    Notify(device, MCI_NOTIFY_SUCCESSFUL);
}

MCIERROR MediaDevices::Open(std::string_view windowsPath, MCIDEVICEID* id) {
    *id = 0;
    const std::filesystem::path file = m_paths.Resolve(windowsPath);
    std::error_code ec;
    MCIERROR result = 0;
    std::unique_ptr<MediaElement> element;
    if (file.empty() || !std::filesystem::is_regular_file(file, ec)) {
        result = MCIERR_FILE_NOT_FOUND;
    } else if (!m_backend) {
        result = MCIERR_CANNOT_LOAD_DRIVER;
    } else {
        element = m_backend->Open(file, &result);
        if (!element && result == 0) {
            result = MCIERR_INTERNAL;
        }
    }
    nlohmann::json fields{{"cmd", "open"}, {"path", std::string(windowsPath)}, {"result", result}};
    if (result != 0) {
        fields["error"] = mciGetErrorString(result);
        m_trace.Emit("mci", std::move(fields));
        return result;
    }
    *id = m_nextId++;
    Device& device = m_devices[*id];
    device.Id = *id;
    device.Path = std::string(windowsPath);
    device.File = file;
    device.Element = std::move(element);
    const Size natural = device.Element->NaturalSize();
    device.Destination = {0, 0, natural.Width, natural.Height};
    fields["id"] = *id;
    fields["video"] = device.Element->HasVideo();
    fields["length"] = device.Element->LengthMs();
    if (device.Element->HasVideo()) {
        fields["size"] = nlohmann::json::array({natural.Width, natural.Height});
    }
    m_trace.Emit("mci", std::move(fields));
    return 0;
}

MCIERROR MediaDevices::Play(MCIDEVICEID id, HWND notifyWindow) {
    Device* device = Find(id);
    if (!device) {
        return Traced("play", id, MCIERR_INVALID_DEVICE_ID);
    }
    Settle(*device);
    const bool running = device->Playing;
    const uint32_t from = running ? CurrentPosition(*device) : device->StoppedPos;
    m_trace.Emit("mci", {{"cmd", "play"}, {"id", id}, {"result", 0}, {"from", from}});
    Notify(*device, MCI_NOTIFY_SUPERSEDED);
    if (!running) {
        device->PlayStartPos = from;
        device->PlayStartTick = m_clock.GetTickCount();
        device->Playing = true;
        device->Element->Started(from);
        if (m_listener) {
            m_listener->PlayStarted(id, device->File, device->PlayStartTick, from,
                                    device->Element->LengthMs());
        }
    }
    device->NotifyWindow = notifyWindow;
    return 0;
}

MCIERROR MediaDevices::Stop(MCIDEVICEID id) {
    Device* device = Find(id);
    if (!device) {
        return Traced("stop", id, MCIERR_INVALID_DEVICE_ID);
    }
    Settle(*device);
    if (device->Playing) {
        device->StoppedPos = CurrentPosition(*device);
        device->Playing = false;
        device->Element->Stopped(device->StoppedPos);
        PlayEnded(*device, device->StoppedPos);
    }
    Traced("stop", id, 0);
    Notify(*device, MCI_NOTIFY_ABORTED);
    return 0;
}

MCIERROR MediaDevices::SeekToStart(MCIDEVICEID id) {
    Device* device = Find(id);
    if (!device) {
        return Traced("seek", id, MCIERR_INVALID_DEVICE_ID);
    }
    Settle(*device);
    if (device->Playing) {
        PlayEnded(*device, CurrentPosition(*device));
    }
    device->Playing = false;
    device->StoppedPos = 0;
    device->Element->Stopped(0);
    device->Redraw = device->Element->HasVideo();
    Traced("seek", id, 0);
    Notify(*device, MCI_NOTIFY_ABORTED);
    return 0;
}

MCIERROR MediaDevices::Close(MCIDEVICEID id) {
    Device* device = Find(id);
    if (!device) {
        return Traced("close", id, MCIERR_INVALID_DEVICE_ID);
    }
    Settle(*device);
    if (device->Playing) {
        device->Element->Stopped(CurrentPosition(*device));
        PlayEnded(*device, CurrentPosition(*device));
    }
    Traced("close", id, 0);
    Notify(*device, MCI_NOTIFY_ABORTED);
    m_devices.erase(id);
    return 0;
}

MCIERROR MediaDevices::HasVideo(MCIDEVICEID id, bool* hasVideo) {
    Device* device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    *hasVideo = device->Element->HasVideo();
    return 0;
}

MCIERROR MediaDevices::Length(MCIDEVICEID id, uint32_t* ms) {
    Device* device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    *ms = device->Element->LengthMs();
    return 0;
}

MCIERROR MediaDevices::Position(MCIDEVICEID id, uint32_t* ms) {
    Device* device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    *ms = CurrentPosition(*device);
    return 0;
}

MCIERROR MediaDevices::Window(MCIDEVICEID id, HWND wnd) {
    Device* device = Find(id);
    if (!device) {
        return Traced("window", id, MCIERR_INVALID_DEVICE_ID);
    }
    if (!device->Element->HasVideo()) {
        return Traced("window", id, MCIERR_UNSUPPORTED_FUNCTION);
    }
    if (!m_user.IsWindow(wnd)) {
        return Traced("window", id, MCIERR_NO_WINDOW);
    }
    device->DisplayWindow = wnd;
    device->Redraw = true;
    return Traced("window", id, 0);
}

MCIERROR MediaDevices::Where(MCIDEVICEID id, Rect* destination) {
    Device* device = Find(id);
    MCIERROR result = 0;
    if (!device) {
        result = MCIERR_INVALID_DEVICE_ID;
    } else if (!device->Element->HasVideo()) {
        result = MCIERR_UNSUPPORTED_FUNCTION;
    } else {
        *destination = device->Destination;
    }
    nlohmann::json fields{{"cmd", "where"}, {"id", id}, {"result", result}};
    if (result == 0) {
        fields["rect"] = RectJson(*destination);
    }
    m_trace.Emit("mci", std::move(fields));
    return result;
}

MCIERROR MediaDevices::Put(MCIDEVICEID id, const Rect& destination) {
    Device* device = Find(id);
    MCIERROR result = 0;
    if (!device) {
        result = MCIERR_INVALID_DEVICE_ID;
    } else if (!device->Element->HasVideo()) {
        result = MCIERR_UNSUPPORTED_FUNCTION;
    } else {
        device->Destination = destination;
        device->Redraw = true;
    }
    m_trace.Emit("mci",
                 {{"cmd", "put"}, {"id", id}, {"result", result}, {"rect", RectJson(destination)}});
    return result;
}

void MediaDevices::Poll() {
    for (auto& [id, device] : m_devices) {
        Settle(device);
        if (device.DisplayWindow != 0 && device.Element->HasVideo() &&
            (device.Playing || device.Redraw)) {
            DrawFrame(device);
        }
    }
}

std::optional<uint32_t> MediaDevices::NextDue() const {
    const uint32_t now = m_clock.GetTickCount();
    std::optional<uint32_t> next;
    for (const auto& [id, device] : m_devices) {
        const bool videoShown = device.DisplayWindow != 0 && device.Element->HasVideo() &&
                                (device.Playing || device.Redraw);
        if (!videoShown && !device.Playing) {
            continue;
        }
        // A shown video is drawn round by round; a play ends at its start plus what was left.
        const uint32_t length = device.Element->LengthMs();
        const uint32_t due =
            videoShown ? now
                       : device.PlayStartTick +
                             (length > device.PlayStartPos ? length - device.PlayStartPos : 0);
        if (!next || static_cast<int32_t>(due - now) < static_cast<int32_t>(*next - now)) {
            next = due;
        }
    }
    return next;
}

void MediaDevices::DrawFrame(Device& device) {
    Surface* surface = m_user.WindowSurface(device.DisplayWindow);
    if (!surface) {
        return;
    }
    if (surface->Format() == PixelFormat::Indexed8 && !device.Nearest) {
        device.Nearest = std::make_unique<gdi::NearestCache>();
    }
    const uint32_t length = device.Element->LengthMs();
    uint32_t pos = CurrentPosition(device);
    if (length > 0 && pos >= length) {
        pos = length - 1;
    }
    const MediaFrame* frame = device.Element->FrameAt(pos);
    if (!frame || frame->Pixels == nullptr) {
        return;
    }
    if (frame->Serial == device.DrawnSerial && !device.Redraw) {
        return;
    }
    const Rect destination =
        EffectiveDestination(device.Destination, device.Element->NaturalSize());
    if (device.Nearest) {
        // The window's colour table may have changed since the last frame.
        device.Nearest->Reset(&surface->Colors());
    }
    DrawScaledFrame(*frame, *surface, destination, device.ColumnMap, device.Nearest.get());
    device.DrawnSerial = frame->Serial;
    device.Redraw = false;
}

void DrawScaledFrame(const MediaFrame& frame, Surface& target, const Rect& destination,
                     std::vector<int32_t>& columnMap, gdi::NearestCache* nearest) {
    const bool indexed = target.Format() == PixelFormat::Indexed8;
    if (frame.Width <= 0 || frame.Height <= 0 || destination.Empty() || (indexed && !nearest)) {
        return;
    }
    const Rect clip = destination.Intersect(target.Bounds());
    if (clip.Empty()) {
        return;
    }
    // Source column and row of a destination pixel, in 64 bits so that huge rectangles
    // cannot overflow.
    const int64_t destW = static_cast<int64_t>(destination.Right) - destination.Left;
    const int64_t destH = static_cast<int64_t>(destination.Bottom) - destination.Top;
    const size_t columns = static_cast<size_t>(clip.Width());
    if (columnMap.size() < columns) {
        columnMap.resize(columns);
    }
    for (int32_t x = clip.Left; x < clip.Right; ++x) {
        columnMap[static_cast<size_t>(x - clip.Left)] = static_cast<int32_t>(
            (static_cast<int64_t>(x) - destination.Left) * frame.Width / destW);
    }
    for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
        const int64_t sy = (static_cast<int64_t>(y) - destination.Top) * frame.Height / destH;
        const uint8_t* srcRow = frame.Pixels + static_cast<size_t>(sy) * frame.Stride;
        if (indexed) {
            uint8_t* dst = target.Row(y) + clip.Left;
            for (size_t i = 0; i < columns; ++i) {
                uint32_t pixel;
                std::memcpy(&pixel, srcRow + static_cast<size_t>(columnMap[i]) * 4, 4);
                dst[i] = nearest->Map(pixel & 0x00FFFFFFu);
            }
            continue;
        }
        uint32_t* dst = target.Row32(y) + clip.Left;
        for (size_t i = 0; i < columns; ++i) {
            uint32_t pixel;
            std::memcpy(&pixel, srcRow + static_cast<size_t>(columnMap[i]) * 4, 4);
            dst[i] = pixel & 0x00FFFFFFu;
        }
    }
    target.AddDamage(clip);
}

} // namespace qv
