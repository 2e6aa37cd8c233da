#include "media/media_notify.h"
#include "saver/player.h"
#include "saver/saver.h"
#include "saver/saver_window.h"
#include "show/settings.h"
#include "show/show_file.h"

#include <exception>

namespace qv {

Player::Player(Platform& os, Application& app) : FrameContext(os), App(app) {}

Player::~Player() = default;

void StopOnException(Player& player) {
    player.StopRequested = true;
    player.Os.Trace().Emit("exception");
    player.Os.User().PostQuitMessage(0);
}

namespace {

// Ends a full-screen run however it ends: the window goes, the system learns that the
// saver has stopped, and the arrow cursor comes back, in this order.
class FullScreenTeardown {
public:
    explicit FullScreenTeardown(Player& player) : m_player(player) {
        // A request to end (SIGTERM, SIGINT) stops the run as the user would.
        Player* p = &player;
        player.Os.SetTerminationHandler([p] { p->StopRequested = true; });
    }
    ~FullScreenTeardown() {
        m_player.Os.SetTerminationHandler({});
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

void RunFullScreenIn(Player& player, SaverWindowKind kind) {
    WindowManager& user = player.Os.User();
    player.SaverWindow = std::make_unique<TScreenSaverWindow>(player, kind);
    FullScreenTeardown teardown(player);
    try {
        player.Run.SaverWnd = player.SaverWindow->CreateWnd();
        user.SystemParametersInfo(SPI_SETSCREENSAVERRUNNING, 1);
        teardown.SaverRunning();
        player.MouseStartSet = false;
        player.Run.IsPreview = 0;
        Rect host;
        if (user.GetWindowRect(player.Run.HostWnd, &host)) {
            player.Run.ScreenW = host.Width();
            player.Run.ScreenH = host.Height();
        }
        player.Run.FreeTop = 0;
        player.Run.FreeBottom = player.Run.ScreenH;
        LoadShow(player);
        LoadSettings(player);
        player.StopRequested = false;
        CreateMediaPlayer(player, player.Media);
        user.SetScreenCursor(Cursor::None);
        user.SetWindowCursor(player.Run.SaverWnd, Cursor::None);
        user.ProcessMessages();
        RunDispatcher(player);
    } catch (...) {
        StopOnException(player);
    }
}

} // namespace

void RunHosted(Player& player) {
    RunFullScreenIn(player, SaverWindowKind::Hosted);
}

void RunFullScreen(Player& player) {
    WindowManager& user = player.Os.User();
    player.SaverWindow = std::make_unique<TScreenSaverWindow>(player, SaverWindowKind::FullScreen);
    FullScreenTeardown teardown(player);
    try {
        player.Run.SaverWnd = player.SaverWindow->CreateWnd();
        user.SystemParametersInfo(SPI_SETSCREENSAVERRUNNING, 1);
        teardown.SaverRunning();
        HoldInputIfProtected(player);
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

} // namespace qv
