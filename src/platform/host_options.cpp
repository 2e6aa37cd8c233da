#include "platform/host_options.h"

#include "platform/error.h"
#include "platform/locale.h"

#include <charconv>
#include <cstring>
#include <filesystem>

namespace qv {
namespace {

std::optional<int32_t> ParseInt(std::string_view text, int32_t lo, int32_t hi) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < lo || value > hi) {
        return std::nullopt;
    }
    return value;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

} // namespace

SystemTime SystemTimeFromUnixMs(int64_t ms) {
    int64_t days = ms / 86400000;
    int64_t rem = ms % 86400000;
    if (rem < 0) {
        rem += 86400000;
        --days;
    }
    SystemTime st;
    st.DayOfWeek = static_cast<uint16_t>(((days % 7) + 7 + 4) % 7);
    // Civil date from a day number (Howard Hinnant's algorithm).
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    st.Year = static_cast<uint16_t>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
    st.Month = static_cast<uint16_t>(m);
    st.Day = static_cast<uint16_t>(d);
    st.Hour = static_cast<uint16_t>(rem / 3600000);
    st.Minute = static_cast<uint16_t>(rem / 60000 % 60);
    st.Second = static_cast<uint16_t>(rem / 1000 % 60);
    st.Milliseconds = static_cast<uint16_t>(rem % 1000);
    return st;
}

int64_t UnixMsFromSystemTime(const SystemTime& t) {
    const int64_t days = DaysFromCivil(t.Year, t.Month, t.Day);
    return ((days * 24 + t.Hour) * 60 + t.Minute) * 60000 + t.Second * 1000 + t.Milliseconds;
}

namespace {

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

[[noreturn]] void Bad(const std::string& option, const std::string& why) {
    throw UsageError("option " + option + ": " + why);
}

} // namespace

std::optional<Size> ParseSize(const std::string& text) {
    const auto x = text.find('x');
    if (x == std::string::npos) {
        return std::nullopt;
    }
    auto w = ParseInt(std::string_view(text).substr(0, x), 1, 16384);
    auto h = ParseInt(std::string_view(text).substr(x + 1), 1, 16384);
    if (!w || !h) {
        return std::nullopt;
    }
    return Size{*w, *h};
}

std::optional<SystemTime> ParseTimeOption(const std::string& text) {
    // YYYY-MM-DDTHH:MM:SS, optionally followed by .mmm
    if (text.size() != 19 && text.size() != 23) {
        return std::nullopt;
    }
    const std::string_view t(text);
    if (t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':') {
        return std::nullopt;
    }
    auto year = ParseInt(t.substr(0, 4), 1601, 9999);
    auto month = ParseInt(t.substr(5, 2), 1, 12);
    auto day = ParseInt(t.substr(8, 2), 1, 31);
    auto hour = ParseInt(t.substr(11, 2), 0, 23);
    auto minute = ParseInt(t.substr(14, 2), 0, 59);
    auto second = ParseInt(t.substr(17, 2), 0, 59);
    std::optional<int32_t> ms = 0;
    if (t.size() == 23) {
        ms = t[19] == '.' ? ParseInt(t.substr(20, 3), 0, 999) : std::nullopt;
    }
    if (!year || !month || !day || !hour || !minute || !second || !ms) {
        return std::nullopt;
    }
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int maxDay = kDays[*month - 1] + (*month == 2 && IsLeap(*year) ? 1 : 0);
    if (*day > maxDay) {
        return std::nullopt;
    }
    SystemTime st;
    st.Year = static_cast<uint16_t>(*year);
    st.Month = static_cast<uint16_t>(*month);
    st.Day = static_cast<uint16_t>(*day);
    st.Hour = static_cast<uint16_t>(*hour);
    st.Minute = static_cast<uint16_t>(*minute);
    st.Second = static_cast<uint16_t>(*second);
    st.Milliseconds = static_cast<uint16_t>(*ms);
    st.DayOfWeek = SystemTimeFromUnixMs(UnixMsFromSystemTime(st)).DayOfWeek;
    return st;
}

HostOptions ParseHostOptions(int argc, const char* const* argv) {
    HostOptions o;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        if (i == 0 || optionsEnded || arg.rfind("--", 0) != 0) {
            o.Args.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const bool hasValue = eq != std::string::npos;
        const std::string value = hasValue ? arg.substr(eq + 1) : std::string();
        auto need = [&]() -> const std::string& {
            if (!hasValue || value.empty()) {
                Bad(name, "needs a value (" + name + "=...)");
            }
            return value;
        };
        auto noValue = [&] {
            if (hasValue) {
                Bad(name, "takes no value");
            }
        };

        if (name == "--help") {
            noValue();
            o.Help = true;
        } else if (name == "--version") {
            noValue();
            o.Version = true;
        } else if (name == "--display") {
            if (need() == "window") {
                o.Display = DisplayKind::Window;
            } else if (value == "headless") {
                o.Display = DisplayKind::Headless;
            } else {
                Bad(name, "must be window or headless, not '" + value + "'");
            }
        } else if (name == "--windowed") {
            if (!hasValue) {
                o.Windowed = Size{0, 0};
            } else if (auto s = ParseSize(value)) {
                o.Windowed = *s;
            } else {
                Bad(name, "size must be WxH, not '" + value + "'");
            }
        } else if (name == "--size" || name == "--host-size") {
            auto s = ParseSize(need());
            if (!s) {
                Bad(name, "size must be WxH, not '" + value + "'");
            }
            (name == "--size" ? o.ScreenSize : o.HostSize) = *s;
        } else if (name == "--clock") {
            if (need() == "real") {
                o.Clock = ClockKind::Real;
            } else if (value == "virtual") {
                o.Clock = ClockKind::Virtual;
            } else {
                Bad(name, "must be real or virtual, not '" + value + "'");
            }
        } else if (name == "--time") {
            if (!ParseTimeOption(need())) {
                Bad(name, "must be YYYY-MM-DDTHH:MM:SS[.mmm], not '" + value + "'");
            }
            o.Time = value;
        } else if (name == "--quantum") {
            auto q = ParseInt(need(), 1, 1000);
            if (!q) {
                Bad(name, "must be 1 to 1000 milliseconds");
            }
            o.QuantumMs = *q;
        } else if (name == "--duration") {
            auto d = ParseInt(need(), 0, 0x7FFFFFFF);
            if (!d) {
                Bad(name, "must be a number of milliseconds");
            }
            o.DurationMs = *d;
        } else if (name == "--events") {
            o.EventsFile = need();
        } else if (name == "--snapshot") {
            const auto colon = need().find(':');
            auto ms = colon == std::string::npos
                          ? std::nullopt
                          : ParseInt(std::string_view(value).substr(0, colon), 0, 0x7FFFFFFF);
            if (!ms || colon + 1 >= value.size()) {
                Bad(name, "must be MS:FILE.png, not '" + value + "'");
            }
            // Snapshots are written as PNG whatever the name says; a name that says
            // otherwise is a mistake better caught before the run.
            const std::string file = value.substr(colon + 1);
            if (file.size() <= 4 || !file.ends_with(".png")) {
                Bad(name, "the file must end in .png, not '" + file + "'");
            }
            o.Snapshots.push_back({*ms, value.substr(colon + 1)});
        } else if (name == "--record") {
            o.RecordFile = need();
            const bool gif = o.RecordFile.size() > 4 && o.RecordFile.ends_with(".gif");
            const bool webm = o.RecordFile.size() > 5 && o.RecordFile.ends_with(".webm");
            const bool mp4 = o.RecordFile.size() > 4 && o.RecordFile.ends_with(".mp4");
            if (!gif && !webm && !mp4) {
                Bad(name, "file must end in .gif, .webm or .mp4");
            }
        } else if (name == "--fps") {
            auto f = ParseInt(need(), 1, 100);
            if (!f) {
                Bad(name, "must be 1 to 100");
            }
            o.Fps = *f;
        } else if (name == "--desktop") {
            o.DesktopImage = need();
        } else if (name == "--root") {
            o.Root = need();
        } else if (name == "--trace") {
            o.TraceFile = need();
        } else if (name == "--locale") {
            o.Locale = need();
            if (!BuiltInLocale(o.Locale) && !SystemLocale(o.Locale)) {
                Bad(name, "unknown locale '" + o.Locale +
                              "': there are the tables en_US and de_DE, C, POSIX and the "
                              "locales installed on this system (locale -a lists them)");
            }
        } else if (name == "--show") {
            // Relative names are taken from the directory the program was started in.
            std::error_code ec;
            const std::filesystem::path show = std::filesystem::absolute(need(), ec);
            if (ec) {
                Bad(name, "cannot make '" + value + "' an absolute path");
            }
            o.Show = show.lexically_normal().string();
        } else {
            throw UsageError("unknown option " + name + " (see --help)");
        }
    }
    if (o.Args.empty()) {
        o.Args.emplace_back("quorvex");
    }
    return o;
}

std::vector<std::string> HeadlessOnlyOptions(const HostOptions& o) {
    const HostOptions defaults;
    std::vector<std::string> given;
    if (o.DurationMs) {
        given.emplace_back("--duration");
    }
    if (!o.Snapshots.empty()) {
        given.emplace_back("--snapshot");
    }
    if (!o.RecordFile.empty()) {
        given.emplace_back("--record");
    }
    if (!o.EventsFile.empty()) {
        given.emplace_back("--events");
    }
    if (!o.DesktopImage.empty()) {
        given.emplace_back("--desktop");
    }
    if (o.HostSize != defaults.HostSize) {
        given.emplace_back("--host-size");
    }
    if (o.ScreenSize != defaults.ScreenSize) {
        given.emplace_back("--size");
    }
    return given;
}

std::string HostOptionsUsage(const std::string& program) {
    return "Usage: " + program +
           " [ARGUMENT [ARGUMENT2]] [--OPTION...]\n"
           "\n"
           "Plays the show file that sits beside the executable (its name with .QDM in place\n"
           "of .EXE or .SCR). The first argument chooses the role, as a Windows screen saver:\n"
           "  /s            full-screen saver        /p ID   preview inside window ID\n"
           "  /c or none    settings dialog          /a      change the saver password\n"
           "  /DEMO FILE    full-screen run of FILE  /LIST   write Transitions.qtl\n"
           "An executable whose path contains SETUP runs the installer instead.\n"
           "\n"
           "Host options (* = headless host only; the window host ignores them):\n"
           "  --help, --version          this text, the version\n"
           "  --show=FILE                the show file to play, in place of the one beside\n"
           "                             the executable (a relative FILE: from here)\n"
           "  --display=window|headless  host (default: window when a display is available)\n"
           "  --windowed[=WxH]           window host: a normal window instead of full screen\n"
           "                             (at most the size of the screen)\n"
           "* --size=WxH                 headless screen size (default 1024x768)\n"
           "  --clock=real|virtual       clock (headless default: virtual)\n"
           "  --time=YYYY-MM-DDTHH:MM:SS[.mmm]  system and local time at start\n"
           "  --quantum=MS               virtual clock step per message round (default 1)\n"
           "* --duration=MS              end the run after MS as if the user clicked\n"
           "* --events=FILE              scripted input and answers\n"
           "* --snapshot=MS:FILE.png     screen at MS (repeatable)\n"
           "* --record=FILE.gif|FILE.webm|FILE.mp4, --fps=N   record the run\n"
           "* --desktop=IMAGE            the desktop image\n"
           "* --host-size=WxH            virtual host window size for /p\n"
           "  --root=DIR                 platform root (default $XDG_DATA_HOME/quorvex)\n"
           "  --trace=FILE               JSON lines of what the program did\n"
           "  --locale=NAME              locale of the clock caption (en_US, de_DE or one\n"
           "                             installed on the system)\n";
}

} // namespace qv
