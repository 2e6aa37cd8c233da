#include "platform/headless/event_script.h"

#include "platform/error.h"
#include "platform/files.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace qv {
namespace {

using Words = std::vector<std::string_view>;

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool ParseInt(std::string_view text, int32_t lo, int32_t hi, int32_t* out) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < lo || value > hi) {
        return false;
    }
    *out = value;
    return true;
}

Words Split(std::string_view line) {
    Words words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
        }
        const size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

// Each parser reads the words after the event's name into the event; it returns an empty
// string, or what is wrong.
using ArgsParser = std::string (*)(const Words& args, ScriptEvent& ev);

// Screen coordinates travel in 16-bit halves of lParam.
constexpr int32_t kCoordMin = -32768;
constexpr int32_t kCoordMax = 32767;

std::string NoArgs(const Words& args, ScriptEvent&) {
    return args.empty() ? std::string() : "takes no arguments";
}

std::string MouseMoveArgs(const Words& args, ScriptEvent& ev) {
    if (args.size() != 2 || !ParseInt(args[0], kCoordMin, kCoordMax, &ev.X) ||
        !ParseInt(args[1], kCoordMin, kCoordMax, &ev.Y)) {
        return "needs X Y (screen pixels, -32768 to 32767)";
    }
    return {};
}

std::string MouseDownArgs(const Words& args, ScriptEvent& ev) {
    if (args.empty() || EqualsNoCaseAscii(args[0], "left")) {
        ev.Button = MouseButton::Left;
    } else if (EqualsNoCaseAscii(args[0], "right")) {
        ev.Button = MouseButton::Right;
    } else if (EqualsNoCaseAscii(args[0], "middle")) {
        ev.Button = MouseButton::Middle;
    } else {
        return "button must be left, right or middle";
    }
    return args.size() <= 1 ? std::string() : "takes at most one button";
}

std::string KeyDownArgs(const Words& args, ScriptEvent& ev) {
    if (args.size() != 1) {
        return "needs one key name";
    }
    ev.Key = VirtualKeyFromName(args[0]);
    return ev.Key != 0 ? std::string() : "unknown key '" + std::string(args[0]) + "'";
}

// A control of a shown form, by its name.
std::string ControlArgs(const Words& args, ScriptEvent& ev) {
    if (args.size() != 1) {
        return "needs one control name";
    }
    ev.Control = std::string(args[0]);
    return {};
}

std::string ControlValueArgs(const Words& args, ScriptEvent& ev, int32_t lo, int32_t hi,
                             const char* what) {
    if (args.size() != 2 || !ParseInt(args[1], lo, hi, &ev.Value)) {
        return std::string("needs a control name and ") + what;
    }
    ev.Control = std::string(args[0]);
    return {};
}

std::string ScrollArgs(const Words& args, ScriptEvent& ev) {
    return ControlValueArgs(args, ev, -0x7FFFFFFF, 0x7FFFFFFF, "a position");
}

std::string CheckArgs(const Words& args, ScriptEvent& ev) {
    return ControlValueArgs(args, ev, 0, 1, "0 or 1");
}

// The kinds of timed events.
struct TimedKind {
    const char* Name;
    ScriptAction Action;
    ArgsParser Parse;
};

constexpr TimedKind kTimedKinds[] = {
    {"mouse-move", ScriptAction::MouseMove, &MouseMoveArgs},
    {"mouse-down", ScriptAction::MouseDown, &MouseDownArgs},
    {"key-down", ScriptAction::KeyDown, &KeyDownArgs},
    {"close", ScriptAction::Close, &NoArgs},
    {"destroy-host", ScriptAction::DestroyHost, &NoArgs},
    {"click", ScriptAction::Click, &ControlArgs},
    {"scroll", ScriptAction::Scroll, &ScrollArgs},
    {"check", ScriptAction::Check, &CheckArgs},
};

struct NamedKey {
    const char* Name;
    uint32_t Key;
};

constexpr NamedKey kKeys[] = {
    {"RETURN", VK_RETURN}, {"ENTER", VK_RETURN},    {"ESCAPE", VK_ESCAPE},  {"ESC", VK_ESCAPE},
    {"SPACE", VK_SPACE},   {"TAB", VK_TAB},         {"BACKSPACE", VK_BACK}, {"BACK", VK_BACK},
    {"SHIFT", VK_SHIFT},   {"CONTROL", VK_CONTROL}, {"CTRL", VK_CONTROL},   {"ALT", VK_MENU},
    {"LEFT", VK_LEFT},     {"UP", VK_UP},           {"RIGHT", VK_RIGHT},    {"DOWN", VK_DOWN},
    {"DELETE", VK_DELETE},
};

struct NamedAnswer {
    const char* Name;
    int Answer;
};

constexpr NamedAnswer kMessageBoxAnswers[] = {
    {"OK", IDOK},
    {"CANCEL", IDCANCEL},
    {"YES", IDYES},
    {"NO", IDNO},
};

struct NamedPassword {
    const char* Name;
    PasswordAnswer Answer;
};

constexpr NamedPassword kPasswordAnswers[] = {
    {"accept", PasswordAnswer::Accept},
    {"reject", PasswordAnswer::Reject},
    {"cancel", PasswordAnswer::Cancel},
};

constexpr const char* kAnswerForms =
    "an answer is 'answer msgbox OK|CANCEL|YES|NO', 'answer password "
    "accept|reject|cancel', 'answer password type TEXT [MS]' or 'answer change-password ...'";

// The milliseconds a user takes over a prompt.
constexpr int32_t kMaxPromptMs = 24 * 60 * 60 * 1000;

std::string ParsePasswordAnswer(const Words& words, EventScript& script) {
    ScriptedPassword answer;
    if (words.size() >= 3 && EqualsNoCaseAscii(words[2], "type")) {
        if (words.size() < 4 || words.size() > 5) {
            return "a typed password is 'answer password type TEXT [MS]'";
        }
        if (words.size() == 5 && !ParseInt(words[4], 0, kMaxPromptMs, &answer.TakesMs)) {
            return "the time a password takes is 0 to 86400000 ms, not '" + std::string(words[4]) +
                   "'";
        }
        answer.Answer = PasswordAnswer::Accept;
        answer.Typed = std::string(words[3]);
        script.PasswordAnswers.push_back(std::move(answer));
        return {};
    }
    if (words.size() != 3) {
        return kAnswerForms;
    }
    for (const NamedPassword& a : kPasswordAnswers) {
        if (EqualsNoCaseAscii(words[2], a.Name)) {
            answer.Answer = a.Answer;
            script.PasswordAnswers.push_back(std::move(answer));
            return {};
        }
    }
    return "password answer must be accept, reject, cancel or type TEXT, not '" +
           std::string(words[2]) + "'";
}

std::string ParseChangeAnswer(const Words& words, EventScript& script) {
    ScriptedChange answer;
    if (words.size() == 3 && EqualsNoCaseAscii(words[2], "cancel")) {
        answer.Cancel = true;
        script.ChangeAnswers.push_back(std::move(answer));
        return {};
    }
    for (size_t i = 2; i < words.size(); ++i) {
        const std::string_view w = words[i];
        const size_t eq = w.find('=');
        const std::string_view field = w.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? "" : w.substr(eq + 1);
        if (eq == std::string_view::npos) {
            return "change-password fields are old=, new=, confirm=, protect= and ms=, not '" +
                   std::string(w) + "'";
        }
        if (EqualsNoCaseAscii(field, "old")) {
            answer.Old = value;
        } else if (EqualsNoCaseAscii(field, "new")) {
            answer.New = value;
        } else if (EqualsNoCaseAscii(field, "confirm")) {
            answer.Confirm = value;
        } else if (EqualsNoCaseAscii(field, "protect") &&
                   (EqualsNoCaseAscii(value, "on") || EqualsNoCaseAscii(value, "off"))) {
            answer.Protect = EqualsNoCaseAscii(value, "on");
        } else if (EqualsNoCaseAscii(field, "ms") &&
                   ParseInt(value, 0, kMaxPromptMs, &answer.TakesMs)) {
        } else {
            return "change-password fields are old=, new=, confirm=, protect=on|off and ms=, "
                   "not '" +
                   std::string(w) + "'";
        }
    }
    script.ChangeAnswers.push_back(std::move(answer));
    return {};
}

// Returns what is wrong with an answer line, or an empty string.
std::string ParseAnswer(const Words& words, EventScript& script) {
    if (words.size() < 3) {
        return kAnswerForms;
    }
    if (EqualsNoCaseAscii(words[1], "msgbox")) {
        if (words.size() != 3) {
            return kAnswerForms;
        }
        for (const NamedAnswer& a : kMessageBoxAnswers) {
            if (EqualsNoCaseAscii(words[2], a.Name)) {
                script.MessageBoxAnswers.push_back(a.Answer);
                return {};
            }
        }
        return "msgbox answer must be OK, CANCEL, YES or NO, not '" + std::string(words[2]) + "'";
    }
    if (EqualsNoCaseAscii(words[1], "password")) {
        return ParsePasswordAnswer(words, script);
    }
    if (EqualsNoCaseAscii(words[1], "change-password")) {
        return ParseChangeAnswer(words, script);
    }
    return "unknown prompt '" + std::string(words[1]) + "' (msgbox, password or change-password)";
}

std::string ParseTimed(const Words& words, int32_t line, EventScript& script) {
    ScriptEvent ev;
    ev.Line = line;
    if (!ParseInt(words[0], 0, 0x7FFFFFFF, &ev.AtMs)) {
        return "a line starts with a time in milliseconds (0 to 2147483647) or 'answer', not '" +
               std::string(words[0]) + "'";
    }
    if (words.size() < 2) {
        return "missing event after the time";
    }
    for (const TimedKind& kind : kTimedKinds) {
        if (EqualsNoCaseAscii(words[1], kind.Name)) {
            ev.Action = kind.Action;
            const Words args(words.begin() + 2, words.end());
            std::string error = kind.Parse(args, ev);
            if (!error.empty()) {
                return std::string(kind.Name) + ": " + error;
            }
            script.Timed.push_back(ev);
            return {};
        }
    }
    return "unknown event '" + std::string(words[1]) + "'";
}

} // namespace

uint32_t VirtualKeyFromName(std::string_view name) {
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
        // Letters and digits are their own codes, letters in upper case.
        return static_cast<uint32_t>(std::toupper(static_cast<unsigned char>(name[0])));
    }
    for (const NamedKey& k : kKeys) {
        if (EqualsNoCaseAscii(name, k.Name)) {
            return k.Key;
        }
    }
    int32_t f = 0;
    if (name.size() >= 2 && (name[0] == 'F' || name[0] == 'f') &&
        ParseInt(name.substr(1), 1, 12, &f)) {
        return VK_F1 + static_cast<uint32_t>(f - 1);
    }
    return 0;
}

EventScript ParseEventScript(std::string_view text, const std::string& name) {
    EventScript script;
    int32_t lineNumber = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (const size_t hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        const Words words = Split(line);
        if (words.empty()) {
            continue;
        }
        const std::string error = EqualsNoCaseAscii(words[0], "answer")
                                      ? ParseAnswer(words, script)
                                      : ParseTimed(words, lineNumber, script);
        if (!error.empty()) {
            std::string message = name;
            message += ":" + std::to_string(lineNumber) + ": ";
            message += error;
            throw UsageError(message);
        }
    }
    std::stable_sort(script.Timed.begin(), script.Timed.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.AtMs < b.AtMs; });
    return script;
}

EventScript LoadEventScript(const std::string& file) {
    // Read by the size the file has, and only if it is a regular file: a FIFO or a device
    // named by --events must not hold the run up or fill memory.
    constexpr size_t kMaxBytes = 16 << 20;
    WholeFile text = ReadRegularFile(file, kMaxBytes);
    switch (text.Status) {
    case WholeFile::Ok:
        return ParseEventScript(text.Bytes, file);
    case WholeFile::NotRegular:
        throw UsageError("the events file " + file + " is not a regular file");
    case WholeFile::TooLarge:
        throw UsageError("the events file " + file + " is larger than 16 MiB");
    case WholeFile::Missing:
    case WholeFile::Error:
        break;
    }
    throw UsageError("cannot read the events file " + file);
}

} // namespace qv
