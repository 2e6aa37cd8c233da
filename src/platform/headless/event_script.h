#pragma once

#include "platform/user.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// What a scripted user does at a given time.
enum class ScriptAction : uint8_t {
    MouseMove,   // X, Y on the screen
    MouseDown,   // Button, at the last mouse position
    KeyDown,     // Key (a virtual-key code)
    Close,       // WM_CLOSE to the saver window
    DestroyHost, // the virtual host window of a preview goes away
    Click,       // Control of a shown form: the mouse moves onto it and clicks
    Scroll,      // Control (a scroll bar) of a shown form is moved to Value
    Check,       // Control (a check box) of a shown form is set to Value (0 or 1)
};

enum class MouseButton : uint8_t { Left, Right, Middle };

struct ScriptEvent {
    int32_t AtMs = 0;
    ScriptAction Action = ScriptAction::MouseMove;
    int32_t X = 0;
    int32_t Y = 0;
    MouseButton Button = MouseButton::Left;
    uint32_t Key = 0;
    std::string Control; // Click, Scroll, Check
    int32_t Value = 0;
    int32_t Line = 0; // where it stands in the file, for messages
};

// An answer to a password prompt: a verdict for the system dialog stand-in
// (WindowManager::AskPassword), or the text a user types into the password component's
// prompt ("type"), taking TakesMs on the clock.
struct ScriptedPassword {
    PasswordAnswer Answer = PasswordAnswer::Cancel;
    std::optional<std::string> Typed;
    int32_t TakesMs = 0;
};

// An answer to the change-password form: cancelled, or what is typed into its boxes and
// the check box as left (nothing: as the form showed it).
struct ScriptedChange {
    bool Cancel = false;
    std::string Old;
    std::string New;
    std::string Confirm;
    std::optional<bool> Protect;
    int32_t TakesMs = 0;
};

// An events file, read: the timed events in the order they are due (file order for equal
// times) and the answers that prompts take one by one.
struct EventScript {
    std::vector<ScriptEvent> Timed;
    std::deque<int> MessageBoxAnswers; // IDOK, IDCANCEL, IDYES, IDNO
    std::deque<ScriptedPassword> PasswordAnswers;
    std::deque<ScriptedChange> ChangeAnswers;
};

// Reads an events file's text. One event a line; '#' starts a comment; blank lines are
// skipped. Timed events: "MS mouse-move X Y", "MS mouse-down [left|right|middle]",
// "MS key-down NAME", "MS close", "MS destroy-host"; for forms "MS click CONTROL", "MS scroll
// CONTROL POSITION", "MS check CONTROL 0|1". Answers: "answer msgbox
// OK|CANCEL|YES|NO", "answer password accept|reject|cancel", "answer password type TEXT
// [MS]", "answer change-password cancel" and "answer change-password [old=TEXT] [new=TEXT]
// [confirm=TEXT] [protect=on|off] [ms=MS]" (texts are one word each, without '#'). Throws
// UsageError "name:line: message" for the first malformed line.
EventScript ParseEventScript(std::string_view text, const std::string& name);

// Reads and parses the file; a file that cannot be read or is larger than 16 MiB is a
// UsageError too.
EventScript LoadEventScript(const std::string& file);

// The virtual-key code of a key name ("A", "7", "ESCAPE", "F5"; case-insensitive), or 0.
uint32_t VirtualKeyFromName(std::string_view name);

} // namespace qv
