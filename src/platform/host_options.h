#pragma once

#include "platform/geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv {

enum class DisplayKind { Default, Window, Headless };
enum class ClockKind { Default, Real, Virtual };

struct Snapshot {
    int32_t AtMs = 0;
    std::string File;
};

// Everything the platform takes from the command line. Every argument that begins with
// "--" is a host option; the rest stay, in order, as the program's own arguments.
struct HostOptions {
    bool Help = false;
    bool Version = false;
    DisplayKind Display = DisplayKind::Default;
    std::optional<Size> Windowed; // --windowed, with an optional size (0 x 0 = host's choice)
    Size ScreenSize{1024, 768};
    ClockKind Clock = ClockKind::Default;
    std::optional<std::string> Time; // --time, validated by ParseTimeOption
    int32_t QuantumMs = 1;
    std::optional<int32_t> DurationMs;
    std::string EventsFile;
    std::vector<Snapshot> Snapshots;
    std::string RecordFile;
    int32_t Fps = 25;
    std::string DesktopImage;
    Size HostSize{152, 112};
    std::string Root;
    std::string TraceFile;
    std::string Locale;
    // --show: the show file (made absolute from the current directory), in place of the one
    // derived from the executable's path; empty = that rule.
    std::string Show;

    // The arguments left for the roles: argv[0] first.
    std::vector<std::string> Args;
};

// Splits argv into host options and the program's own arguments. Throws UsageError for an
// unknown option or a malformed value.
HostOptions ParseHostOptions(int argc, const char* const* argv);

// Parses "WxH" (both at least 1 and at most 16384).
std::optional<Size> ParseSize(const std::string& text);

// A broken-down date and time, as SYSTEMTIME holds it.
struct SystemTime {
    uint16_t Year = 0;
    uint16_t Month = 0;     // 1..12
    uint16_t DayOfWeek = 0; // 0 = Sunday
    uint16_t Day = 0;
    uint16_t Hour = 0;
    uint16_t Minute = 0;
    uint16_t Second = 0;
    uint16_t Milliseconds = 0;
    bool operator==(const SystemTime&) const = default;
};

// Conversions between a broken-down UTC time and milliseconds since 1970-01-01.
SystemTime SystemTimeFromUnixMs(int64_t ms);
int64_t UnixMsFromSystemTime(const SystemTime& time);

// Parses "YYYY-MM-DDTHH:MM:SS[.mmm]"; the day of the week is computed.
std::optional<SystemTime> ParseTimeOption(const std::string& text);

// The options given that only the headless host uses (--duration, --snapshot, ...), by
// name, in a fixed order; the window host says once that it ignores them.
std::vector<std::string> HeadlessOnlyOptions(const HostOptions& options);

// The usage text printed by --help.
std::string HostOptionsUsage(const std::string& program);

} // namespace qv
