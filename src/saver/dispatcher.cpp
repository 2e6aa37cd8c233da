#include "saver/saver.h"
#include "transitions/styles.h"

namespace qv {

void RunDispatcher(Player& player) {
    player.Engine.EngineErrorHandler = [&player](std::string_view code) {
        FatalError(player, code);
    };
    // FIXME: PrepareSound and StartSound (unless the style is the video) once the media
    // player exists.
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
    default:
        // Ids 0 and above 16, and styles that this player does not have yet, run nothing.
        break;
    }
    // FIXME: EndSound once the media player exists.
}

} // namespace qv
