#include "media/media_player.h"

#include "platform/platform.h"

namespace qv {

MediaPlayer::MediaPlayer(Platform& os, HWND parent) : m_os(os), m_display(parent) {
    CreateWindowParams params;
    params.ClassName = "TMediaPlayer";
    params.Style = WS_CHILD; // never visible: it only receives notices
    params.Parent = parent;
    params.Proc = [this](HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == MM_MCINOTIFY) {
            if (m_onNotify) {
                m_onNotify();
            }
            return 0;
        }
        return m_os.User().DefWindowProc(wnd, message, wParam, lParam);
    };
    m_window = m_os.User().CreateWindow(params);
}

MediaPlayer::~MediaPlayer() {
    if (m_deviceId != 0) {
        Close();
    }
    if (m_window != 0 && m_os.User().IsWindow(m_window)) {
        m_os.User().DestroyWindow(m_window);
    }
}

MCIERROR MediaPlayer::Open() {
    if (m_deviceId != 0) {
        Close();
    }
    m_hasVideo = false;
    MediaDevices& mci = m_os.Media();
    MCIDEVICEID id = 0;
    if (const MCIERROR result = mci.Open(FileName, &id); result != 0) {
        return Keep(result);
    }
    m_deviceId = id;
    bool video = false;
    m_hasVideo = mci.HasVideo(id, &video) == 0 && video;
    Keep(0);
    if (m_hasVideo && m_display != 0) {
        // A video that cannot draw still plays: the error is only kept.
        Keep(mci.Window(id, m_display));
    }
    return 0;
}

MCIERROR MediaPlayer::Play() {
    if (m_deviceId == 0) {
        return Keep(MCIERR_INVALID_DEVICE_ID);
    }
    MediaDevices& mci = m_os.Media();
    uint32_t position = 0;
    uint32_t length = 0;
    if (mci.Position(m_deviceId, &position) == 0 && mci.Length(m_deviceId, &length) == 0 &&
        position == length) {
        if (const MCIERROR result = mci.SeekToStart(m_deviceId); result != 0) {
            return Keep(result);
        }
    }
    return Keep(mci.Play(m_deviceId, m_window));
}

MCIERROR MediaPlayer::Rewind() {
    if (m_deviceId == 0) {
        return Keep(MCIERR_INVALID_DEVICE_ID);
    }
    return Keep(m_os.Media().SeekToStart(m_deviceId));
}

MCIERROR MediaPlayer::Stop() {
    if (m_deviceId == 0) {
        return Keep(MCIERR_INVALID_DEVICE_ID);
    }
    return Keep(m_os.Media().Stop(m_deviceId));
}

MCIERROR MediaPlayer::Close() {
    if (m_deviceId == 0) {
        return Keep(MCIERR_INVALID_DEVICE_ID);
    }
    const MCIERROR result = m_os.Media().Close(m_deviceId);
    m_deviceId = 0;
    m_hasVideo = false;
    return Keep(result);
}

MCIERROR MediaPlayer::GetDisplayRect(Rect* rect) {
    if (m_deviceId == 0) {
        return Keep(MCIERR_INVALID_DEVICE_ID);
    }
    if (!m_hasVideo) {
        return Keep(MCIERR_UNSUPPORTED_FUNCTION);
    }
    return Keep(m_os.Media().Where(m_deviceId, rect));
}

MCIERROR MediaPlayer::SetDisplayRect(const Rect& rect) {
    if (m_deviceId == 0) {
        return Keep(MCIERR_INVALID_DEVICE_ID);
    }
    if (!m_hasVideo) {
        return Keep(MCIERR_UNSUPPORTED_FUNCTION);
    }
    return Keep(m_os.Media().Put(m_deviceId, rect));
}

} // namespace qv
