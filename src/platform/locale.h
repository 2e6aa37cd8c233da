#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// The user's date and time settings, as the clock caption needs them: day and month names,
// separators, the standard date and time formats and the morning and afternoon strings.
// Texts are in the ANSI code page (Latin-1 here). The standard formats are written in the
// clock format language itself ("m/d/yyyy", "h:nn:ss ampm"), so they nest into a caption's
// format as they stand.
struct LocaleInfo {
    std::string Name;
    std::array<std::string, 7> ShortDayNames;    // Sunday first
    std::array<std::string, 7> LongDayNames;     // Sunday first
    std::array<std::string, 12> ShortMonthNames; // January first
    std::array<std::string, 12> LongMonthNames;  // January first
    char DateSeparator = '/';
    char TimeSeparator = ':';
    std::string ShortDateFormat;
    std::string LongDateFormat;
    std::string ShortTimeFormat;
    std::string LongTimeFormat;
    std::string TimeAMString;
    std::string TimePMString;
};

// A fixed built-in table by name ("en_US", "de_DE"; a suffix such as ".UTF-8" is ignored),
// or nothing for a name without a table.
std::optional<LocaleInfo> BuiltInLocale(std::string_view name);

// The C library's LC_TIME settings of the named locale ("" = the user's environment), with
// its strftime formats rewritten in the clock format language; nothing when the C library
// does not know the name.
std::optional<LocaleInfo> SystemLocale(std::string_view name);

// What --locale selects: a built-in table by that name, else the C library locale of that
// name; without a name, the user's environment. Anything that cannot be found falls back
// to the en_US table, so the clock always has names to show.
LocaleInfo SelectLocale(std::string_view name);

// Rewrites a strftime format ("%m/%d/%y") in the clock format language ("mm/dd/yy"):
// letters outside conversions are quoted so that they stay text.
std::string ClockFormatFromStrftime(std::string_view format);

} // namespace qv
