#pragma once

#include <stdexcept>
#include <string>

namespace qv::tool {

// A failure of the show tool that ends the command with a message and an exit code:
// 2 for usage and manifest mistakes, 1 for files that cannot be read or written.
class ToolError : public std::runtime_error {
public:
    ToolError(int exitCode, const std::string& message)
        : std::runtime_error(message), m_exitCode(exitCode) {}
    int ExitCode() const { return m_exitCode; }

private:
    int m_exitCode;
};

inline constexpr int kExitIo = 1;
inline constexpr int kExitUsage = 2;

inline ToolError ManifestError(const std::string& message) {
    return {kExitUsage, message};
}
inline ToolError IoError(const std::string& message) {
    return {kExitIo, message};
}

} // namespace qv::tool
