#include "media/media_notify.h"
#include "media/video.h"
#include "saver/player.h"
#include "saver/saver.h"
#include "saver/saver_window.h"
#include "show/settings.h"
#include "show/show_file.h"
#include "transitions/styles.h"

#include <exception>

namespace qv {

Player::Player(Platform& os, Application& app) : FrameContext(os), App(app) {}

Player::~Player() = default;

namespace {

// Ends a full-screen run however it ends: the window goes, the system learns that the
// saver has stopped, and the arrow cursor comes back, in this order.
class FullScreenTeardown {
public:
    explicit FullScreenTeardown(Player& player) : m_player(player) {}
    ~FullScreenTeardown() {
        WindowManager& user = m_player.Os.User();
        // The media player goes before the saver window; it closes a device still open.
        try {
            m_player.Media.MediaPlayer.reset();
        } catch (...) {
        }
        try {
            m_player.SaverWindow.reset();
        } catch (...) {
        }
        m_player.Run.SaverWnd = 0;
        if (m_saverRunning) {
            try {
                user.SystemParametersInfo(SPI_SETSCREENSAVERRUNNING, 0);
            } catch (...) {
            }
        }
        try {
            user.SetScreenCursor(Cursor::Arrow);
        } catch (...) {
        }
    }
    FullScreenTeardown(const FullScreenTeardown&) = delete;
    FullScreenTeardown& operator=(const FullScreenTeardown&) = delete;

    void SaverRunning() { m_saverRunning = true; }

private:
    Player& m_player;
    bool m_saverRunning = false;
};

// The process-wide handler for an exception that nothing else handles (one that escapes a
// style, or the run's own steps): the run stops as it would for one raised inside a
// message handler, and is then torn down normally.
void StopOnException(Player& player) {
    player.StopRequested = true;
    player.Os.Trace().Emit("exception");
    player.Os.User().PostQuitMessage(0);
}

} // namespace

void RunDispatcher(Player& player) {
    player.Engine.EngineErrorHandler = [&player](std::string_view code) { FatalError(player, code); };
    if (player.Show.TransitionType != 11) {
        PrepareSound(player, player.Media);
        StartSound(player.Media);
    }
    PumpFrame(player);
    if (player.StopRequested) {
        return;
    }
    switch (player.Show.TransitionType) {
    case 2:
        RunSlideshow(player, 0);
        break;
    case 13:
        RunSlideshow(player, 1);
        break;
    case 14:
        RunSlideshow(player, 2);
        break;
    case 11:
        RunVideo(player, player.Media);
        break;
    default:
        // Ids 0 and above 16, and styles that this player does not have yet, run nothing.
        break;
    }
    EndSound(player.Media);
}

void RunFullScreen(Player& player) {
    WindowManager& user = player.Os.User();
    player.SaverWindow = std::make_unique<TScreenSaverWindow>(player, SaverWindowKind::FullScreen);
    FullScreenTeardown teardown(player);
    try {
        player.Run.SaverWnd = player.SaverWindow->CreateWnd();
        user.SystemParametersInfo(SPI_SETSCREENSAVERRUNNING, 1);
        teardown.SaverRunning();
        player.MouseStartSet = false;
        player.Run.IsPreview = 0;
        player.Run.ScreenW = user.GetSystemMetrics(SM_CXSCREEN);
        player.Run.ScreenH = user.GetSystemMetrics(SM_CYSCREEN);
        player.Run.FreeTop = 0;
        player.Run.FreeBottom = player.Run.ScreenH;
        // Start-up has already found the show file; the result is not tested again.
        LoadShow(player);
        LoadSettings(player);
        player.StopRequested = false;
        CreateMediaPlayer(player, player.Media);
        user.SetScreenCursor(Cursor::None);
        user.SetWindowCursor(player.Run.SaverWnd, Cursor::None);
        user.ProcessMessages();
        user.SetActiveWindow(player.Run.SaverWnd);
        RunDispatcher(player);
    } catch (...) {
        StopOnException(player);
    }
}

void RunPreview(Player& player) {
    Platform& os = player.Os;
    WindowManager& user = os.User();
    const std::string handle = os.ParamStr(2);
    if (handle.empty()) {
        return;
    }
    player.Run.IsPreview = 1;
    player.StopRequested = false;
    // A handle that is not a decimal number names no window: nothing is shown.
    uint32_t host = 0;
    for (char c : handle) {
        if (c < '0' || c > '9' || host > 0x0FFFFFFF) {
            return;
        }
        host = host * 10 + static_cast<uint32_t>(c - '0');
    }
    player.Run.HostWnd = host;

    player.SaverWindow = std::make_unique<TScreenSaverWindow>(player, SaverWindowKind::Preview);
    try {
        player.Run.SaverWnd = player.SaverWindow->CreateWnd();
        Rect rect;
        if (user.GetWindowRect(player.Run.HostWnd, &rect)) {
            player.Run.ScreenW = rect.Width();
            player.Run.ScreenH = rect.Height();
        }
        player.Run.FreeTop = 0;
        player.Run.FreeBottom = player.Run.ScreenH;
        LoadShow(player);
        LoadSettings(player);
        CreateMediaPlayer(player, player.Media);
        RunDispatcher(player);
    } catch (...) {
        StopOnException(player);
    }
    try {
        player.Media.MediaPlayer.reset();
    } catch (...) {
    }
    try {
        player.SaverWindow.reset();
    } catch (...) {
    }
    player.Run.SaverWnd = 0;
}

} // namespace qv
