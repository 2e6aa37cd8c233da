#pragma once

#include "show/style_params.h"

#include <cstdint>
#include <span>

namespace qv {

struct Player;

// What a style does with the show's sound: most play under it; the video style plays its
// own file's sound and never opens the show's.
enum class StyleSound { Show, Own };

// One transition id: its style's parameter description, the mode it passes, and the
// style's entry point (null where this player has no such style yet: the run then ends
// at once, as for an unknown id).
struct StyleEntry {
    int32_t Id;
    const StyleParams* Params;
    int32_t Mode;
    void (*Run)(Player& player, int32_t mode);
    StyleSound Sound = StyleSound::Show;
};

// Every transition id, 1 to 16, in order: the one table the dispatcher, the transition
// list, the show tool and the tests read.
std::span<const StyleEntry> StyleRegistry();

// The entry for a transition id, or null for ids outside the table (0, negative, above 16).
const StyleEntry* FindStyle(int32_t transitionType);

} // namespace qv
