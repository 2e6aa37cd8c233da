#include "saver/saver.h"
#include "saver/style_registry.h"

namespace qv {

void RunDispatcher(Player& player) {
    player.Engine.EngineErrorHandler = [&player](std::string_view code) {
        FatalError(player, code);
    };
    const StyleEntry* style = FindStyle(player.Show.TransitionType);
    const bool showSound = !style || style->Sound == StyleSound::Show;
    if (showSound) {
        PrepareSound(player, player.Media);
        StartSound(player.Media);
    }
    PumpFrame(player);
    if (player.StopRequested) {
        return;
    }
    // Ids 0 and above 16, and styles that this player does not have yet, run nothing.
    if (style && style->Run) {
        style->Run(player, style->Mode);
    }
    EndSound(player.Media);
}

} // namespace qv
