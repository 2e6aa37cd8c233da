#pragma once

#include "saver/player.h"

namespace qv {

// The full-screen run: the saver window over the whole screen, the system told that a
// saver runs, the show and settings loaded again, the cursor hidden, the dispatcher run;
// then, however the run ends, the window destroyed, the system told that the saver has
// ended and the arrow cursor back.
void RunFullScreen(Player& player);

// The preview run inside the host window named by argument 2 (decimal). Without a
// handle, or with one that is not a number, nothing is shown.
void RunPreview(Player& player);

// The transition dispatcher: installs the error report, pumps once and runs the style
// that TransitionType names (ids without a style end at once).
void RunDispatcher(Player& player);

// The handler for an exception that nothing else handles (one that escapes a style, or
// the run's own steps): the run stops as it would for one raised inside a message
// handler, and is then torn down normally.
void StopOnException(Player& player);

// The password check of a disturbed saver: without password protection it sets the stop
// flag.
void PasswordCheck(Player& player);

} // namespace qv
