#include "platform/locale.h"

#include <cctype>
#include <cstdint>
#include <langinfo.h>
#include <locale.h>

namespace qv {
namespace {

LocaleInfo EnglishUs() {
    LocaleInfo l;
    l.Name = "en_US";
    l.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    l.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    l.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    l.LongMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                        "July",    "August",   "September", "October", "November", "December"};
    l.DateSeparator = '/';
    l.TimeSeparator = ':';
    // The Windows defaults for the United States: M/d/yyyy, dddd, MMMM dd, yyyy, h:mm tt and
    // h:mm:ss tt.
    l.ShortDateFormat = "m/d/yyyy";
    l.LongDateFormat = "dddd, mmmm dd, yyyy";
    l.ShortTimeFormat = "h:nn ampm";
    l.LongTimeFormat = "h:nn:ss ampm";
    l.TimeAMString = "AM";
    l.TimePMString = "PM";
    return l;
}

LocaleInfo German() {
    LocaleInfo l;
    l.Name = "de_DE";
    l.ShortDayNames = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
    l.LongDayNames = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                      "Donnerstag", "Freitag", "Samstag"};
    // "Mrz" and "M\xE4rz": the Windows short name, and the long one in Latin-1.
    l.ShortMonthNames = {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun",
                         "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
    l.LongMonthNames = {"Januar", "Februar", "M\xE4rz",   "April",   "Mai",      "Juni",
                        "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
    l.DateSeparator = '.';
    l.TimeSeparator = ':';
    l.ShortDateFormat = "dd.mm.yyyy";
    l.LongDateFormat = "dddd, d. mmmm yyyy";
    l.ShortTimeFormat = "hh:nn";
    l.LongTimeFormat = "hh:nn:ss";
    // German Windows has no morning and afternoon strings.
    l.TimeAMString = "";
    l.TimePMString = "";
    return l;
}

// UTF-8 to Latin-1: characters beyond Latin-1 become "?", as the ANSI code page would
// show them.
std::string Utf8ToLatin1(std::string_view text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        uint32_t cp = b;
        size_t len = 1;
        if (b >= 0xF0) {
            cp = b & 0x07;
            len = 4;
        } else if (b >= 0xE0) {
            cp = b & 0x0F;
            len = 3;
        } else if (b >= 0xC0) {
            cp = b & 0x1F;
            len = 2;
        } else if (b >= 0x80) {
            cp = '?';
        }
        if (len > 1) {
            if (i + len > text.size()) {
                out += '?';
                break;
            }
            for (size_t k = 1; k < len; ++k) {
                cp = (cp << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
            }
        }
        out += cp < 256 ? static_cast<char>(cp) : '?';
        i += len;
    }
    return out;
}

// The first character of a strftime format that is not part of a conversion: the
// separator between its fields.
char SeparatorOf(std::string_view format, char fallback) {
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%') {
            ++i;
            if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) {
                ++i;
            }
            continue;
        }
        if (format[i] != ' ') {
            return format[i];
        }
    }
    return fallback;
}

} // namespace

std::optional<LocaleInfo> BuiltInLocale(std::string_view name) {
    const std::string_view base = name.substr(0, name.find_first_of(".@"));
    if (base == "en_US") {
        return EnglishUs();
    }
    if (base == "de_DE") {
        return German();
    }
    return std::nullopt;
}

std::string ClockFormatFromStrftime(std::string_view format) {
    std::string out;
    std::string literal;
    auto flushLiteral = [&] {
        if (literal.empty()) {
            return;
        }
        bool needsQuotes = false;
        for (char c : literal) {
            needsQuotes =
                needsQuotes || std::isalpha(static_cast<unsigned char>(c)) || c == '"' || c == '\'';
        }
        if (!needsQuotes) {
            out += literal;
        } else if (literal.find('"') == std::string::npos) {
            out += '"' + literal + '"';
        } else {
            out += '\'' + literal + '\'';
        }
        literal.clear();
    };
    auto emit = [&](std::string_view token) {
        flushLiteral();
        // Two specifiers of the same letter side by side would read as one longer one
        // ("dd" + "d" is "ddd", the day's name): an empty quoted text keeps them apart.
        if (!out.empty() && !token.empty() &&
            std::tolower(static_cast<unsigned char>(out.back())) ==
                std::tolower(static_cast<unsigned char>(token.front()))) {
            out += "''";
        }
        out += token;
    };
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%') {
            literal += c;
            continue;
        }
        ++i;
        if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) {
            ++i; // Alternative representations read as the plain ones.
        }
        if (i >= format.size()) {
            break;
        }
        switch (format[i]) {
        case 'a':
            emit("ddd");
            break;
        case 'A':
            emit("dddd");
            break;
        case 'b':
        case 'h':
            emit("mmm");
            break;
        case 'B':
            emit("mmmm");
            break;
        case 'd':
            emit("dd");
            break;
        case 'e':
            emit("d");
            break;
        case 'm':
            emit("mm");
            break;
        case 'y':
            emit("yy");
            break;
        case 'Y':
        case 'G':
            emit("yyyy");
            break;
        case 'H':
        case 'I':
            emit("hh");
            break;
        case 'k':
        case 'l':
            emit("h");
            break;
        case 'M':
            emit("nn");
            break;
        case 'S':
            emit("ss");
            break;
        case 'p':
        case 'P':
            emit("ampm");
            break;
        case 'D':
            emit("mm/dd/yy");
            break;
        case 'F':
            emit("yyyy-mm-dd");
            break;
        case 'T':
            emit("hh:nn:ss");
            break;
        case 'R':
            emit("hh:nn");
            break;
        case 'r':
            emit("hh:nn:ss ampm");
            break;
        case 'n':
        case 't':
            literal += ' ';
            break;
        case '%':
            literal += '%';
            break;
        default:
            break; // Time zones, week and day numbers have no clock specifier.
        }
    }
    flushLiteral();
    return out;
}

std::optional<LocaleInfo> SystemLocale(std::string_view name) {
    locale_t loc = newlocale(LC_TIME_MASK, std::string(name).c_str(), nullptr);
    if (loc == nullptr) {
        return std::nullopt;
    }
    const std::string codeset = nl_langinfo_l(CODESET, loc);
    const bool utf8 = codeset == "UTF-8" || codeset == "utf8";
    auto text = [&](nl_item item) {
        const char* s = nl_langinfo_l(item, loc);
        const std::string_view v = s ? s : "";
        return utf8 ? Utf8ToLatin1(v) : std::string(v);
    };
    LocaleInfo l;
    l.Name = name.empty() ? "system" : std::string(name);
    const nl_item days[7] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
    const nl_item abDays[7] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
    const nl_item months[12] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
    const nl_item abMonths[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                  ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
    for (int i = 0; i < 7; ++i) {
        l.LongDayNames[i] = text(days[i]);
        l.ShortDayNames[i] = text(abDays[i]);
    }
    for (int i = 0; i < 12; ++i) {
        l.LongMonthNames[i] = text(months[i]);
        l.ShortMonthNames[i] = text(abMonths[i]);
    }
    const std::string dateFormat = text(D_FMT);
    const std::string timeFormat = text(T_FMT);
    l.DateSeparator = SeparatorOf(dateFormat, '/');
    l.TimeSeparator = SeparatorOf(timeFormat, ':');
    l.ShortDateFormat = ClockFormatFromStrftime(dateFormat);
    // LC_TIME has no long date: the day's name and the short date with a four-digit year.
    std::string longDate = dateFormat;
    for (size_t p = longDate.find("%y"); p != std::string::npos; p = longDate.find("%y", p)) {
        longDate[p + 1] = 'Y';
    }
    l.LongDateFormat = ClockFormatFromStrftime("%A, " + longDate);
    l.LongTimeFormat = ClockFormatFromStrftime(timeFormat);
    // The short time leaves the seconds out.
    std::string shortTime = l.LongTimeFormat;
    const std::string seconds = ":ss";
    if (const size_t p = shortTime.find(seconds); p != std::string::npos) {
        shortTime.erase(p, seconds.size());
    }
    l.ShortTimeFormat = shortTime;
    l.TimeAMString = text(AM_STR);
    l.TimePMString = text(PM_STR);
    freelocale(loc);
    return l;
}

LocaleInfo SelectLocale(std::string_view name) {
    if (auto builtIn = BuiltInLocale(name)) {
        return *builtIn;
    }
    if (auto system = SystemLocale(name)) {
        return *system;
    }
    return EnglishUs();
}

} // namespace qv
