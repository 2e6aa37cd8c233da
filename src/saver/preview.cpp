#include "media/media_notify.h"
#include "saver/saver.h"
#include "saver/saver_window.h"
#include "show/settings.h"
#include "show/show_file.h"

namespace qv {

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
    // A request to end (SIGTERM, SIGINT) stops the preview as its host window's going would.
    Player* p = &player;
    os.SetTerminationHandler([p] { p->StopRequested = true; });
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
    os.SetTerminationHandler({});
    // The media player goes before the saver window; it closes a device still open.
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
