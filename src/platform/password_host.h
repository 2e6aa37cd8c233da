#pragma once

#include "platform/win32.h"

#include <optional>
#include <string>

namespace qv {

class Host;

// What the change-password form starts with.
struct ChangePasswordQuestion {
    bool HasOld = false;      // a password is set: ask for it
    bool UsePassword = false; // protection is on now
};

// What the user gave in the change-password form.
struct ChangePasswordAnswer {
    std::string Old;
    std::string New;
    std::string Confirm;
    bool UsePassword = false;
};

// The host's part of the screen lock, for hosts that can do it: the prompt the password
// component shows over the saver, the form that changes the password, and the hold on
// keyboard and pointer while a protected saver runs. A host offers it by deriving from
// this besides Host; typed text never goes to the trace, a log or standard error.
class PasswordHost {
public:
    virtual ~PasswordHost() = default;

    // The password prompt over `owner`: the typed text, or nothing when cancelled.
    virtual std::optional<std::string> AskPassword(HWND owner) = 0;
    // The change-password form: the answers, or nothing when cancelled.
    virtual std::optional<ChangePasswordAnswer>
    AskChangePassword(HWND owner, const ChangePasswordQuestion& question) = 0;
    // Holds the keyboard and the pointer for `wnd` so that no other program gets input
    // until the window goes. A host that cannot says so on standard error once.
    virtual void HoldInput(HWND /*wnd*/) {}
};

// The host's password part, or nothing when it has none (the prompt then counts as
// cancelled).
PasswordHost* PasswordHostOf(Host& host);

} // namespace qv
