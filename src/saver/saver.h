#pragma once

#include "saver/player.h"

namespace qv {

// The full-screen run: the saver window over the whole screen, the system told that a
// saver runs, the show and settings loaded again, the cursor hidden, the dispatcher run;
// then, however the run ends, the window destroyed, the system told that the saver has
// ended and the arrow cursor back.
void RunFullScreen(Player& player);

// The full-screen run inside the foreign window HostWnd (set by the caller), at that
// window's size: captions, sound, the system told that a saver runs and the cursor hidden,
// as in the full-screen run, but no running-saver caption and no reaction to the mouse. It
// ends when the window goes or the program is asked to end, with the full-screen teardown.
void RunHosted(Player& player);

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

// The password check of a disturbed saver: without password protection
// ("ScreenSaveUsePassword" missing or 0 under HKEY_CURRENT_USER\Control Panel\desktop, or
// PASSWORD.CPL not to be had) it sets the stop flag; with it, PASSWORD.CPL asks for the
// password with the styles' clock paused, and only the right one sets the flag.
void PasswordCheck(Player& player);

// The change-password role ("/a HWND"): MPR.DLL's PwdChangePasswordA("SCRSAVE", HostWnd, 0,
// 0) with HostWnd read from argument 2. Without argument 2 nothing happens; a missing
// library or entry point is not reported.
void ChangePassword(ShowContext& ctx);

// While the full-screen saver is protected by a password, the host holds the keyboard and
// the pointer for the saver window until it goes.
void HoldInputIfProtected(Player& player);

} // namespace qv
