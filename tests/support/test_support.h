#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qv::test {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::filesystem::path& path, const std::string& text);
std::vector<uint8_t> ReadFile(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);

struct RunResult {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
    int64_t PeakRssKb = 0; // the most memory the program held at once (resident, KiB)
};

// Runs a program with arguments (argv[0] = program as given) in a working directory,
// with a time limit after which it is killed (ExitCode then -9).
RunResult Run(const std::filesystem::path& program, const std::vector<std::string>& args,
              const std::filesystem::path& cwd, int timeoutMs = 30000);

// As Run, but with standard error on a pseudo-terminal (so that the program finds a
// terminal there); what the program wrote to it is in Err, with the terminal's "\r\n"
// line ends turned back into "\n".
RunResult RunWithTerminal(const std::filesystem::path& program,
                          const std::vector<std::string>& args, const std::filesystem::path& cwd,
                          int timeoutMs = 30000);

// The lines of a trace file, parsed.
std::vector<nlohmann::json> ReadTrace(const std::filesystem::path& file);
// The trace events with the given name.
std::vector<nlohmann::json> Events(const std::vector<nlohmann::json>& trace, const std::string& ev);

} // namespace qv::test
