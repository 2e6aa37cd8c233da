#include "saver/player.h"
#include "saver/saver.h"

namespace qv {
namespace {

// What the desktop's screen-saver password setting says.
enum class PasswordSetting : uint8_t {
    NoKey, // "Control Panel\desktop" cannot be opened
    Off,   // no "ScreenSaveUsePassword" value, or 0
    On,
};

// FIXME: the platform has no registry stand-in yet, so the key "Control Panel\desktop"
// under HKEY_CURRENT_USER is never found. Once it exists, read "ScreenSaveUsePassword"
// (a DWORD; another type raises) here, and for On load "PASSWORD.CPL" from the system
// directory and call its "VerifyScreenSavePwd"(SaverWnd) with the clock paused.
PasswordSetting ReadPasswordSetting(Player& /*player*/) {
    return PasswordSetting::NoKey;
}

// Clears InPasswordCheck however the check ends.
class CheckGuard {
public:
    explicit CheckGuard(Player& player) : m_player(player) { m_player.InPasswordCheck = true; }
    ~CheckGuard() { m_player.InPasswordCheck = false; }
    CheckGuard(const CheckGuard&) = delete;
    CheckGuard& operator=(const CheckGuard&) = delete;

private:
    Player& m_player;
};

} // namespace

void PasswordCheck(Player& player) {
    if (player.Run.IsPreview || player.InPasswordCheck || player.StopRequested) {
        return;
    }
    WindowManager& user = player.Os.User();
    CheckGuard guard(player);
    user.SetScreenCursor(Cursor::Arrow);
    user.ProcessMessages();

    switch (ReadPasswordSetting(player)) {
    case PasswordSetting::NoKey:
    case PasswordSetting::Off:
        // No protection: the disturbance ends the run.
        player.StopRequested = true;
        break;
    case PasswordSetting::On:
        // "PASSWORD.CPL" cannot be loaded (there is no password component yet), which
        // counts as no protection.
        player.StopRequested = true;
        break;
    }

    if (!player.StopRequested) {
        // A refused password: the input that queued up meanwhile is dispatched while the
        // flag is set and the guard holds, so it neither starts another check nor ends the
        // run.
        player.StopRequested = true;
        user.ProcessMessages();
        player.StopRequested = false;
    }
    user.SetScreenCursor(Cursor::None);
}

} // namespace qv
