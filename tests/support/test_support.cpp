#include "test_support.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qv::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    // A name that is already a short (8.3) name: "QV" and six hexadecimal digits. A long
    // name would get a short alias ranked among its siblings, which other tests running at
    // the same time add and remove, so a short path written by one test could lead into
    // another test's folder by the time it is read back.
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "QV%06X", rd() & 0xFFFFFFu);
        const fs::path p = fs::temp_directory_path() / name;
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            m_path = p;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void WriteText(const fs::path& path, const std::string& text) {
    WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
    // In blocks, not a character at a time: tests read whole installed programs, which an
    // unoptimised build would take seconds over.
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes;
    char block[1 << 16];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        bytes.insert(bytes.end(), block, block + in.gcount());
    }
    return bytes;
}

std::string ReadText(const fs::path& path) {
    auto bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

namespace {

enum class ErrorStream { Pipe, Terminal };

RunResult RunProgram(const fs::path& program, const std::vector<std::string>& args,
                     const fs::path& cwd, int timeoutMs, ErrorStream errorStream) {
    int out[2];
    int err[2];
    if (pipe(out) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (errorStream == ErrorStream::Pipe) {
        if (pipe(err) != 0) {
            throw std::runtime_error("pipe failed");
        }
    } else {
        // The parent reads the master side; the child writes its errors to the slave side.
        err[0] = posix_openpt(O_RDWR | O_NOCTTY);
        if (err[0] < 0 || grantpt(err[0]) != 0 || unlockpt(err[0]) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        err[1] = open(ptsname(err[0]), O_RDWR | O_NOCTTY);
        if (err[1] < 0) {
            throw std::runtime_error("cannot open the pseudo-terminal");
        }
    }
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        if (chdir(cwd.c_str()) != 0) {
            _exit(126);
        }
        std::vector<char*> argv;
        std::string p = program.string();
        argv.push_back(p.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execv(p.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    RunResult r;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool killed = false;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 && !killed) {
            kill(pid, SIGKILL);
            killed = true;
        }
        if (poll(fds, 2, left > 0 ? static_cast<int>(left) : 100) < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP))) {
                char buf[4096];
                const ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                } else {
                    (i == 0 ? r.Out : r.Err).append(buf, static_cast<size_t>(n));
                }
            }
        }
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.PeakRssKb = usage.ru_maxrss;
    r.ExitCode = killed ? -9 : WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    if (errorStream == ErrorStream::Terminal) {
        for (size_t at = r.Err.find("\r\n"); at != std::string::npos; at = r.Err.find("\r\n", at)) {
            r.Err.erase(at, 1);
        }
    }
    return r;
}

} // namespace

RunResult Run(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd,
              int timeoutMs) {
    return RunProgram(program, args, cwd, timeoutMs, ErrorStream::Pipe);
}

RunResult RunWithTerminal(const fs::path& program, const std::vector<std::string>& args,
                          const fs::path& cwd, int timeoutMs) {
    return RunProgram(program, args, cwd, timeoutMs, ErrorStream::Terminal);
}

std::vector<nlohmann::json> ReadTrace(const fs::path& file) {
    std::vector<nlohmann::json> out;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            out.push_back(nlohmann::json::parse(line));
        }
    }
    return out;
}

std::vector<nlohmann::json> Events(const std::vector<nlohmann::json>& trace,
                                   const std::string& ev) {
    std::vector<nlohmann::json> out;
    for (const auto& e : trace) {
        if (e.value("ev", "") == ev) {
            out.push_back(e);
        }
    }
    return out;
}

} // namespace qv::test
