#include "clock_command.h"

#include "ansi_text.h"
#include "platform/host_options.h"
#include "platform/locale.h"
#include "tool_error.h"
#include "transitions/clock_format.h"

#include <ctime>
#include <iostream>
#include <optional>

namespace qv::tool {
namespace {

constexpr const char* kUsage =
    "clock: usage: quorvex-show clock FORMAT [--at TIME] [--locale NAME]";

SystemTime Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    SystemTime t;
    t.Year = static_cast<uint16_t>(local.tm_year + 1900);
    t.Month = static_cast<uint16_t>(local.tm_mon + 1);
    t.DayOfWeek = static_cast<uint16_t>(local.tm_wday);
    t.Day = static_cast<uint16_t>(local.tm_mday);
    t.Hour = static_cast<uint16_t>(local.tm_hour);
    t.Minute = static_cast<uint16_t>(local.tm_min);
    t.Second = static_cast<uint16_t>(std::min(local.tm_sec, 59));
    return t;
}

} // namespace

int ClockCommand(const std::vector<std::string>& args) {
    std::optional<std::string> format;
    std::optional<std::string> at;
    std::string locale;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const std::string& name) -> std::optional<std::string> {
            if (a == name) {
                if (i + 1 >= args.size()) {
                    throw ToolError(kExitUsage, "clock: " + name + " needs a value");
                }
                return args[++i];
            }
            if (a.rfind(name + "=", 0) == 0) {
                return a.substr(name.size() + 1);
            }
            return std::nullopt;
        };
        if (auto v = value("--at")) {
            at = *v;
        } else if (auto l = value("--locale")) {
            locale = *l;
        } else if (a.rfind("--", 0) == 0 || format) {
            throw ToolError(kExitUsage,
                            a.rfind("--", 0) == 0 ? "clock: unknown option " + a : kUsage);
        } else {
            format = a;
        }
    }
    if (!format) {
        throw ToolError(kExitUsage, kUsage);
    }
    SystemTime time = Now();
    if (at) {
        const auto parsed = ParseTimeOption(*at);
        if (!parsed) {
            throw ToolError(kExitUsage,
                            "clock: --at wants YYYY-MM-DDTHH:MM:SS[.mmm], not '" + *at + "'");
        }
        time = *parsed;
    }
    // The format reaches the player as show-file text, in the ANSI code page.
    const auto ansi = Utf8ToAnsi(*format);
    if (!ansi) {
        throw ToolError(kExitUsage, "clock: the format holds characters the ANSI code page lacks");
    }
    std::cout << AnsiToUtf8(FormatClock(*ansi, time, SelectLocale(locale))) << "\n";
    return 0;
}

} // namespace qv::tool
