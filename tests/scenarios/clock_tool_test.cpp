#include "test_support.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

struct ToolCase {
    const char* Format;
    const char* At;
    const char* Expected;
};

// Every specifier through the real tool, in en_US. Tuesday 9 December 2025.
const ToolCase kCases[] = {
    {"c", "2025-12-09T21:07:03", "12/9/2025 9:07:03 PM"},
    {"c", "2025-12-09T00:00:00", "12/9/2025"},
    {"d dd ddd dddd", "2025-12-09T21:07:03", "9 09 Tue Tuesday"},
    {"ddddd", "2025-12-09T21:07:03", "12/9/2025"},
    {"dddddd", "2025-12-09T21:07:03", "Tuesday, December 09, 2025"},
    {"m mm mmm mmmm", "2025-02-09T21:07:03", "2 02 Feb February"},
    {"h:m hh:mm", "2025-12-09T08:07:03", "8:7 08:07"},
    {"yy yyyy y", "2025-12-09T21:07:03", "25 2025 25"},
    {"h hh", "2025-12-09T21:07:03", "21 21"},
    {"n nn s ss", "2025-12-09T21:07:03", "7 07 3 03"},
    {"t", "2025-12-09T21:07:03", "9:07 PM"},
    {"tt", "2025-12-09T09:07:03", "9:07:03 AM"},
    {"hh:nn am/pm", "2025-12-09T21:07:03", "09:07 pm"},
    {"h:nn AM/PM", "2025-12-09T00:07:03", "12:07 AM"},
    {"h a/p", "2025-12-09T12:00:00", "12 p"},
    {"h ampm", "2025-12-09T11:59:59", "11 AM"},
    {"d/m", "2025-12-09T21:07:03", "9/12"},
    {"hh:nn", "2025-12-09T21:07:03", "21:07"},
    {"'It is' h \"o'clock\"", "2025-12-09T21:07:03", "It is 21 o'clock"},
    {"#-x", "2025-12-09T21:07:03", "#-x"},
};

TEST(ClockTool, AgreesWithTheTableInEnglish) {
    TempDir dir;
    for (const ToolCase& c : kCases) {
        const RunResult r = qv::test::Run(
            QV_SHOW_TOOL, {"clock", c.Format, "--at", c.At, "--locale", "en_US"}, dir.Path());
        EXPECT_EQ(r.ExitCode, 0) << c.Format << ": " << r.Err;
        EXPECT_EQ(r.Out, std::string(c.Expected) + "\n")
            << "format \"" << c.Format << "\" at " << c.At;
    }
}

TEST(ClockTool, OtherLocalesAndBadArguments) {
    TempDir dir;
    const RunResult de = qv::test::Run(
        QV_SHOW_TOOL, {"clock", "dddddd", "--at=2025-03-09T21:07:03", "--locale=de_DE"},
        dir.Path());
    EXPECT_EQ(de.ExitCode, 0) << de.Err;
    // The caption's Latin-1 text comes out as UTF-8.
    EXPECT_EQ(de.Out, "Sonntag, 9. M\xC3\xA4rz 2025\n");
    const RunResult noFormat = qv::test::Run(QV_SHOW_TOOL, {"clock"}, dir.Path());
    EXPECT_EQ(noFormat.ExitCode, 2);
    const RunResult badTime =
        qv::test::Run(QV_SHOW_TOOL, {"clock", "hh", "--at", "yesterday"}, dir.Path());
    EXPECT_EQ(badTime.ExitCode, 2);
    EXPECT_NE(badTime.Err.find("--at"), std::string::npos);
    const RunResult now = qv::test::Run(QV_SHOW_TOOL, {"clock", "yyyy"}, dir.Path());
    EXPECT_EQ(now.ExitCode, 0);
    EXPECT_EQ(now.Out.size(), 5u);
}

} // namespace
} // namespace qv::test
