#pragma once

#include "platform/host_options.h"
#include "platform/locale.h"

#include <string>
#include <string_view>

namespace qv {

// The longest clock caption; longer texts are cut.
inline constexpr size_t kClockTextMax = 128;

// The clock caption's text: time formatted with a date and time format (letters not
// case-sensitive; names, separators and the standard formats from the locale), cut to
// kClockTextMax characters.
//
//   c            short date, then a space and the long time unless it is midnight
//   d dd         day of the month          ddd dddd  short, long day name
//   ddddd        short date format         dddddd+   long date format
//   m mm         month (minute right after an h)     mmm mmmm+  short, long month name
//   y yy         two-digit year            yyy+      four-digit year
//   h hh         hour (12-hour when am/pm follows before the next h)
//   n nn, s ss   minute, second            t, tt+    short, long time format
//   am/pm a/p    as written, by the hour   ampm      the locale's morning/afternoon text
//   / :          the locale's separators   "x" 'x'   quoted text
//
// Standard formats nest at most two levels deep.
std::string FormatClock(std::string_view format, const SystemTime& time, const LocaleInfo& locale);

} // namespace qv
