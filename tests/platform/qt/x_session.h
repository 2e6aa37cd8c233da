#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace qv::test {

// An X server of the test's own: Xvfb on a display number it picks itself, with one
// screen of the given size and depth 24. Throws std::runtime_error (the test fails) when
// Xvfb is missing or does not start.
class XServer {
public:
    XServer(int32_t width, int32_t height);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    // ":N"
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// Environment changes for a child: a value to set, or nothing to remove the variable.
using EnvChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// The environment a program on `server` runs with: DISPLAY set to it, no Wayland and no
// forced Qt platform inherited from the test's own environment, and the sanitizer
// suppressions for Qt's libraries.
EnvChanges XEnvironment(const XServer& server);

// A program running beside the test: its standard output read line by line, its standard
// input written to, its standard error kept in a file. Killed when still running at the end.
class Child {
public:
    Child(const std::filesystem::path& program, const std::vector<std::string>& args,
          const EnvChanges& env);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The next line of standard output, or nothing when none came within the time or the
    // output ended.
    std::optional<std::string> ReadLine(int timeoutMs);
    // Reads lines until one begins with `prefix`; that line, or nothing.
    std::optional<std::string> WaitForLine(const std::string& prefix, int timeoutMs);
    void WriteLine(const std::string& line);
    // The exit code (-signal when killed), or nothing while it still runs after the time.
    std::optional<int> Wait(int timeoutMs);
    std::string Errors() const;
    pid_t Pid() const { return m_pid; }
    // Everything read from standard output so far.
    const std::string& Output() const { return m_seen; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_in = -1;
    std::filesystem::path m_errFile;
    std::string m_buffer;
    std::string m_seen;
    std::optional<int> m_exit;
};

// Runs a program to its end (at most timeoutMs); its exit code, -1 on timeout.
int RunToEnd(const std::filesystem::path& program, const std::vector<std::string>& args,
             const EnvChanges& env, int timeoutMs, std::string* output = nullptr);

// A picture of the whole X screen, 0x00RRGGBB, taken with ImageMagick's import.
struct Screen {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint32_t> Pixels;
    uint32_t At(int32_t x, int32_t y) const {
        return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)];
    }
};
Screen Screenshot(const XServer& server);

} // namespace qv::test
