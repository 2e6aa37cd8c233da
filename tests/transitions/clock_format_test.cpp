#include "platform/locale.h"
#include "transitions/clock_format.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

SystemTime At(const char* text) {
    auto t = ParseTimeOption(text);
    EXPECT_TRUE(t.has_value()) << text;
    return t.value_or(SystemTime{});
}

struct ClockCase {
    const char* Format;
    const char* Time;
    const char* Expected;
};

// Saturday 7 March 2026 at 14:05:09 unless the case says otherwise.
constexpr const char* kAfternoon = "2026-03-07T14:05:09";

const ClockCase kEnglishCases[] = {
    // Days.
    {"d", kAfternoon, "7"},
    {"dd", kAfternoon, "07"},
    {"ddd", kAfternoon, "Sat"},
    {"dddd", kAfternoon, "Saturday"},
    {"ddddd", kAfternoon, "3/7/2026"},
    {"dddddd", kAfternoon, "Saturday, March 07, 2026"},
    {"ddddddddd", kAfternoon, "Saturday, March 07, 2026"},
    {"DDDD", kAfternoon, "Saturday"},
    // Months, and the minute that m means right after an h.
    {"m", kAfternoon, "3"},
    {"mm", kAfternoon, "03"},
    {"mmm", kAfternoon, "Mar"},
    {"mmmm", kAfternoon, "March"},
    {"mmmmmm", kAfternoon, "March"},
    {"h:m", kAfternoon, "14:5"},
    {"hh:mm", kAfternoon, "14:05"},
    {"hh:mm m", kAfternoon, "14:05 3"},
    {"h x m", kAfternoon, "14 x 3"},
    {"h m", kAfternoon, "14 5"},
    // Years.
    {"y", kAfternoon, "26"},
    {"yy", kAfternoon, "26"},
    {"yyy", kAfternoon, "2026"},
    {"yyyy", kAfternoon, "2026"},
    {"yy", "2005-01-01T00:00:00", "05"},
    // Hours, minutes, seconds.
    {"h", kAfternoon, "14"},
    {"hh", "2026-03-07T04:05:09", "04"},
    {"hhhh", "2026-03-07T04:05:09", "04"},
    {"n:nn", "2026-03-07T14:05:09", "5:05"},
    {"s:ss", kAfternoon, "9:09"},
    {"nnn sss", kAfternoon, "05 09"},
    // Twelve-hour forms.
    {"h am/pm", kAfternoon, "2 pm"},
    {"h AM/PM", kAfternoon, "2 PM"},
    {"hh Am/pM", "2026-03-07T09:05:09", "09 Am"},
    {"h a/p", kAfternoon, "2 p"},
    {"h A/P", "2026-03-07T09:05:09", "9 A"},
    {"h ampm", kAfternoon, "2 PM"},
    {"h ampm", "2026-03-07T00:30:00", "12 AM"},
    {"h am/pm", "2026-03-07T12:00:00", "12 pm"},
    {"hh", "2026-03-07T00:30:00", "00"},
    {"h h am/pm", kAfternoon, "14 2 pm"},
    {"h 'am/pm'", kAfternoon, "14 am/pm"},
    {"a", kAfternoon, "a"},
    // An "a" that starts no am/pm form is itself, and the m after it the month.
    {"am", kAfternoon, "a3"},
    // Standard formats.
    {"t", kAfternoon, "2:05 PM"},
    {"tt", kAfternoon, "2:05:09 PM"},
    {"ttt", "2026-03-07T08:00:00", "8:00:00 AM"},
    {"c", kAfternoon, "3/7/2026 2:05:09 PM"},
    {"c", "2026-03-07T00:00:00", "3/7/2026"},
    {"c", "2026-03-07T00:00:01", "3/7/2026 12:00:01 AM"},
    // Separators, quotes and other characters.
    {"d/m/yy", kAfternoon, "7/3/26"},
    {"hh:nn", kAfternoon, "14:05"},
    {"'Now' hh\"h\"nn", kAfternoon, "Now 14h05"},
    {"\"dd", kAfternoon, "dd"},
    {"x-q!", kAfternoon, "x-q!"},
    {"", kAfternoon, ""},
};

TEST(ClockFormat, EnglishTableCoversEverySpecifier) {
    const LocaleInfo en = *BuiltInLocale("en_US");
    for (const ClockCase& c : kEnglishCases) {
        EXPECT_EQ(FormatClock(c.Format, At(c.Time), en), c.Expected)
            << "format \"" << c.Format << "\" at " << c.Time;
    }
}

TEST(ClockFormat, GermanSeparatorsAndStandardFormats) {
    const LocaleInfo de = *BuiltInLocale("de_DE");
    const SystemTime t = At(kAfternoon);
    EXPECT_EQ(FormatClock("d/m/yyyy", t, de), "7.3.2026");
    EXPECT_EQ(FormatClock("c", t, de), "07.03.2026 14:05:09");
    EXPECT_EQ(FormatClock("dddddd", t, de), "Samstag, 7. M\xE4rz 2026");
    EXPECT_EQ(FormatClock("t", At("2026-03-07T04:05:09"), de), "04:05");
    // No morning or afternoon strings in German.
    EXPECT_EQ(FormatClock("h ampm", t, de), "2 ");
}

TEST(ClockFormat, StandardFormatsNestAtMostTwoLevels) {
    LocaleInfo l = *BuiltInLocale("en_US");
    // A short date that names itself: the inner name is not expanded again.
    l.ShortDateFormat = "d ddddd";
    EXPECT_EQ(FormatClock("ddddd", At(kAfternoon), l), "7 ");
    // Inside a standard format, c adds only its space: both of its formats are too deep.
    l.LongTimeFormat = "ss c";
    EXPECT_EQ(FormatClock("tt", At(kAfternoon), l), "09  ");
}

TEST(ClockFormat, TextIsCutTo128Characters) {
    const LocaleInfo en = *BuiltInLocale("en_US");
    // Six long dates of 24 characters each: 149 characters before the cut.
    const std::string text =
        FormatClock("dddddd dddddd dddddd dddddd dddddd dddddd", At(kAfternoon), en);
    EXPECT_EQ(text.size(), kClockTextMax);
    EXPECT_EQ(text.substr(0, 25), "Saturday, March 07, 2026 ");
}

TEST(Locale, SelectsBuiltInTablesAndFallsBack) {
    EXPECT_EQ(SelectLocale("en_US").ShortDateFormat, "m/d/yyyy");
    EXPECT_EQ(SelectLocale("en_US.UTF-8").LongTimeFormat, "h:nn:ss ampm");
    EXPECT_EQ(SelectLocale("de_DE").DateSeparator, '.');
    EXPECT_EQ(SelectLocale("xx_NOWHERE").Name, "en_US");
    // The C library always knows its own "C" locale.
    const LocaleInfo c = SelectLocale("C");
    EXPECT_EQ(c.LongDayNames[0], "Sunday");
    EXPECT_EQ(c.ShortMonthNames[11], "Dec");
    EXPECT_EQ(c.ShortDateFormat, "mm/dd/yy");
    EXPECT_EQ(c.LongTimeFormat, "hh:nn:ss");
    EXPECT_EQ(c.ShortTimeFormat, "hh:nn");
    EXPECT_EQ(FormatClock("c", At(kAfternoon), c), "03/07/26 14:05:09");
}

TEST(Locale, StrftimeFormatsBecomeClockFormats) {
    const struct {
        const char* In;
        const char* Out;
    } cases[] = {
        {"%d.%m.%Y", "dd.mm.yyyy"}, {"%Y-%m-%d", "yyyy-mm-dd"}, {"%I:%M:%S %p", "hh:nn:ss ampm"},
        {"%H h %M", "hh\" h \"nn"}, {"%e%d", "d''dd"},          {"%a %b %e", "ddd mmm d"},
        {"%Ey %%", "yy %"},         {"%T", "hh:nn:ss"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClockFormatFromStrftime(c.In), c.Out) << c.In;
    }
}

} // namespace
} // namespace qv
