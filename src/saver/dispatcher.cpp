#include "media/video.h"
#include "saver/saver.h"
#include "transitions/styles.h"

namespace qv {

void RunDispatcher(Player& player) {
    player.Engine.EngineErrorHandler = [&player](std::string_view code) {
        FatalError(player, code);
    };
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

} // namespace qv
