#include "platform/error.h"
#include "platform/host_options.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

HostOptions Parse(std::vector<std::string> words) {
    words.insert(words.begin(), "quorvex");
    std::vector<const char*> argv;
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    return ParseHostOptions(static_cast<int>(argv.size()), argv.data());
}

TEST(HostOptions, AcceptedValues) {
    const HostOptions o =
        Parse({"/p", "--size=640x480", "1234", "--host-size=200x150", "--clock=virtual",
               "--time=2024-02-29T12:34:56.789", "--quantum=7", "--duration=5000",
               "--snapshot=1500:a.png", "--snapshot=0:dir/b.png", "--record=run.gif", "--fps=10",
               "--display=headless", "--", "--size=1x1"});
    EXPECT_EQ(o.ScreenSize, (Size{640, 480}));
    EXPECT_EQ(o.HostSize, (Size{200, 150}));
    EXPECT_EQ(o.Clock, ClockKind::Virtual);
    EXPECT_EQ(o.Time, "2024-02-29T12:34:56.789");
    EXPECT_EQ(o.QuantumMs, 7);
    EXPECT_EQ(o.DurationMs, 5000);
    ASSERT_EQ(o.Snapshots.size(), 2u);
    EXPECT_EQ(o.Snapshots[0].AtMs, 1500);
    EXPECT_EQ(o.Snapshots[0].File, "a.png");
    EXPECT_EQ(o.Snapshots[1].AtMs, 0);
    EXPECT_EQ(o.Snapshots[1].File, "dir/b.png");
    EXPECT_EQ(o.RecordFile, "run.gif");
    EXPECT_EQ(o.Fps, 10);
    EXPECT_EQ(o.Display, DisplayKind::Headless);
    // Host options are taken out; after "--" everything belongs to the program.
    EXPECT_EQ(o.Args, (std::vector<std::string>{"quorvex", "/p", "1234", "--size=1x1"}));
}

TEST(HostOptions, Defaults) {
    const HostOptions o = Parse({});
    EXPECT_EQ(o.ScreenSize, (Size{1024, 768}));
    EXPECT_EQ(o.HostSize, (Size{152, 112}));
    EXPECT_EQ(o.QuantumMs, 1);
    EXPECT_EQ(o.Fps, 25);
    EXPECT_FALSE(o.DurationMs);
    EXPECT_TRUE(o.Snapshots.empty());
}

TEST(HostOptions, MalformedValuesAreUsageErrorsNamingTheOption) {
    const struct {
        const char* Word;
        const char* Expect;
    } cases[] = {
        {"--size=0x10", "--size"},
        {"--size=640", "--size"},
        {"--size=16385x10", "--size"},
        {"--size=64x48x2", "--size"},
        {"--host-size=x", "--host-size"},
        {"--time=2023-02-29T00:00:00", "--time"},
        {"--time=2024-01-01T24:00:00", "--time"},
        {"--time=2024-01-01 00:00:00", "--time"},
        {"--time=2024-01-01T00:00:00.5", "--time"},
        {"--snapshot=a.png", "--snapshot"},
        {"--snapshot=100:", "--snapshot"},
        {"--snapshot=-5:a.png", "--snapshot"},
        {"--snapshot=1e3:a.png", "--snapshot"},
        {"--record=run.avi", "--record"},
        {"--snapshot=100:shot.jpg", "option --snapshot: the file must end in .png, not 'shot.jpg'"},
        {"--snapshot=100:.png", "option --snapshot: the file must end in .png"},
        {"--locale=xx_NOWHERE",
         "option --locale: unknown locale 'xx_NOWHERE': there are the tables en_US and de_DE, C, "
         "POSIX and the locales installed on this system (locale -a lists them)"},
        {"--fps=0", "--fps"},
        {"--quantum=0", "--quantum"},
        {"--duration=-1", "--duration"},
        {"--display=x11", "--display"},
        {"--clock=fast", "--clock"},
        {"--events", "--events"},
        {"--help=1", "--help"},
        {"--frobnicate", "unknown option --frobnicate"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Word);
        try {
            Parse({c.Word});
            ADD_FAILURE() << "accepted";
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Expect), std::string::npos) << e.what();
        }
    }
}

} // namespace
} // namespace qv
