#include "transitions/clock_format.h"

#include <cctype>
#include <cstdio>

namespace qv {
namespace {

// Case-insensitive test whether text at pos starts with word.
bool StartsWithNoCase(std::string_view text, size_t pos, std::string_view word) {
    if (text.size() - pos < word.size()) {
        return false;
    }
    for (size_t i = 0; i < word.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[pos + i])) !=
            std::toupper(static_cast<unsigned char>(word[i]))) {
            return false;
        }
    }
    return true;
}

bool IsAmPmAt(std::string_view text, size_t pos) {
    return StartsWithNoCase(text, pos, "am/pm") || StartsWithNoCase(text, pos, "a/p") ||
           StartsWithNoCase(text, pos, "ampm");
}

// Formats into a bounded buffer: the text never grows past kLimit characters however the
// standard formats nest.
class ClockFormatter {
public:
    ClockFormatter(const SystemTime& time, const LocaleInfo& locale)
        : m_time(time), m_locale(locale) {}

    void Append(std::string_view format) {
        // The caption's own format is level 1 and a standard format inside it level 2; a
        // standard format named inside that one is left out.
        if (m_level >= 2) {
            return;
        }
        ++m_level;
        char lastToken = ' ';
        size_t pos = 0;
        while (pos < format.size()) {
            const char starter = format[pos++];
            char token = static_cast<char>(std::toupper(static_cast<unsigned char>(starter)));
            if (std::isalpha(static_cast<unsigned char>(token))) {
                if (token == 'M' && lastToken == 'H') {
                    token = 'N';
                }
                lastToken = token;
            }
            // The length of the run of this exact character, the starter included.
            auto count = [&] {
                const size_t begin = pos;
                while (pos < format.size() && format[pos] == starter) {
                    ++pos;
                }
                return static_cast<int>(pos - begin + 1);
            };
            switch (token) {
            case 'Y':
                if (count() <= 2) {
                    AppendNumber(m_time.Year % 100, 2);
                } else {
                    AppendNumber(m_time.Year, 4);
                }
                break;
            case 'M': {
                const int n = count();
                const int month = m_time.Month >= 1 && m_time.Month <= 12 ? m_time.Month - 1 : 0;
                if (n <= 2) {
                    AppendNumber(m_time.Month, n);
                } else if (n == 3) {
                    AppendText(m_locale.ShortMonthNames[month]);
                } else {
                    AppendText(m_locale.LongMonthNames[month]);
                }
                break;
            }
            case 'D': {
                const int n = count();
                const int day = m_time.DayOfWeek % 7;
                if (n <= 2) {
                    AppendNumber(m_time.Day, n);
                } else if (n == 3) {
                    AppendText(m_locale.ShortDayNames[day]);
                } else if (n == 4) {
                    AppendText(m_locale.LongDayNames[day]);
                } else if (n == 5) {
                    Append(m_locale.ShortDateFormat);
                } else {
                    Append(m_locale.LongDateFormat);
                }
                break;
            }
            case 'H': {
                const int n = count();
                int hour = m_time.Hour;
                if (TwelveHourFollows(format, pos)) {
                    hour = hour == 0 ? 12 : hour > 12 ? hour - 12 : hour;
                }
                AppendNumber(hour, n > 2 ? 2 : n);
                break;
            }
            case 'N': {
                const int n = count();
                AppendNumber(m_time.Minute, n > 2 ? 2 : n);
                break;
            }
            case 'S': {
                const int n = count();
                AppendNumber(m_time.Second, n > 2 ? 2 : n);
                break;
            }
            case 'T':
                Append(count() == 1 ? m_locale.ShortTimeFormat : m_locale.LongTimeFormat);
                break;
            case 'A': {
                const size_t at = pos - 1;
                const bool afternoon = m_time.Hour >= 12;
                if (StartsWithNoCase(format, at, "am/pm")) {
                    AppendText(format.substr(afternoon ? at + 3 : at, 2));
                    pos = at + 5;
                } else if (StartsWithNoCase(format, at, "a/p")) {
                    AppendText(format.substr(afternoon ? at + 2 : at, 1));
                    pos = at + 3;
                } else if (StartsWithNoCase(format, at, "ampm")) {
                    AppendText(afternoon ? m_locale.TimePMString : m_locale.TimeAMString);
                    pos = at + 4;
                } else {
                    AppendText(std::string_view(&starter, 1));
                }
                break;
            }
            case 'C':
                count();
                Append(m_locale.ShortDateFormat);
                if (m_time.Hour != 0 || m_time.Minute != 0 || m_time.Second != 0) {
                    AppendText(" ");
                    Append(m_locale.LongTimeFormat);
                }
                break;
            case '/':
                AppendText(std::string_view(&m_locale.DateSeparator, 1));
                break;
            case ':':
                AppendText(std::string_view(&m_locale.TimeSeparator, 1));
                break;
            case '"':
            case '\'': {
                const size_t end = format.find(starter, pos);
                const size_t stop = end == std::string_view::npos ? format.size() : end;
                AppendText(format.substr(pos, stop - pos));
                pos = end == std::string_view::npos ? format.size() : end + 1;
                break;
            }
            default:
                AppendText(std::string_view(&starter, 1));
                break;
            }
        }
        --m_level;
    }

    std::string Take() { return std::move(m_out); }

private:
    // The 12-hour clock applies when an am/pm specifier comes later in the format, outside
    // quotes, before the next h.
    static bool TwelveHourFollows(std::string_view format, size_t pos) {
        char quote = 0;
        for (size_t i = pos; i < format.size(); ++i) {
            const char c = format[i];
            if (quote) {
                if (c == quote) {
                    quote = 0;
                }
                continue;
            }
            if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == 'h' || c == 'H') {
                return false;
            } else if ((c == 'a' || c == 'A') && IsAmPmAt(format, i)) {
                return true;
            }
        }
        return false;
    }

    void AppendNumber(int value, int digits) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
        AppendText(buffer);
    }

    void AppendText(std::string_view text) {
        const size_t room = kLimit - m_out.size();
        m_out.append(text.substr(0, room));
    }

    // Room for the deepest expansion before the caption's own cut.
    static constexpr size_t kLimit = 256;

    const SystemTime& m_time;
    const LocaleInfo& m_locale;
    std::string m_out;
    int m_level = 0;
};

} // namespace

std::string FormatClock(std::string_view format, const SystemTime& time, const LocaleInfo& locale) {
    ClockFormatter formatter(time, locale);
    formatter.Append(format);
    std::string text = formatter.Take();
    if (text.size() > kClockTextMax) {
        text.resize(kClockTextMax);
    }
    return text;
}

} // namespace qv
