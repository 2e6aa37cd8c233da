#include "x_session.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qv::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kImport = "/usr/bin/import";

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// fork + exec with the environment changed; stdin, stdout and stderr as given (-1: keep).
pid_t Spawn(const fs::path& program, const std::vector<std::string>& args, const EnvChanges& env,
            int in, int out, int err, const std::vector<int>& keepOpen = {}) {
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid != 0) {
        return pid;
    }
    if (in >= 0) {
        dup2(in, 0);
    }
    if (out >= 0) {
        dup2(out, 1);
    }
    if (err >= 0) {
        dup2(err, 2);
    }
    for (int fd = 3; fd < 1024; ++fd) {
        bool keep = false;
        for (int k : keepOpen) {
            keep = keep || k == fd;
        }
        if (!keep) {
            close(fd);
        }
    }
    for (const auto& [name, value] : env) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    std::vector<std::string> copy;
    copy.push_back(program.string());
    copy.insert(copy.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : copy) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    execv(copy[0].c_str(), argv.data());
    std::fprintf(stderr, "cannot run %s: %s\n", copy[0].c_str(), std::strerror(errno));
    _exit(127);
}

std::optional<int> WaitPid(pid_t pid, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        }
        if (r < 0) {
            return -1;
        }
        if (MsLeft(deadline) == 0) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

fs::path TempFile(const char* stem) {
    static int counter = 0;
    return fs::temp_directory_path() /
           (std::string(stem) + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
}

} // namespace

XServer::XServer(int32_t width, int32_t height) {
    if (access(kXvfb, X_OK) != 0) {
        throw std::runtime_error(std::string(kXvfb) +
                                 " is missing: the window host's tests need it "
                                 "(scripts/install-deps installs the package xvfb)");
    }
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const int devnull = open("/dev/null", O_RDWR);
    // -displayfd: the server picks a free display number and writes it to the pipe once it
    // accepts connections. -noreset: it keeps its state (the pointer's place) when its last
    // client leaves.
    m_pid = Spawn(kXvfb,
                  {"-displayfd", std::to_string(fds[1]), "-screen", "0",
                   std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp",
                   "-noreset"},
                  {}, devnull, devnull, devnull, {fds[1]});
    close(fds[1]);
    close(devnull);
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    pollfd p{fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && MsLeft(deadline) > 0) {
        if (poll(&p, 1, MsLeft(deadline)) <= 0) {
            continue;
        }
        char buf[32];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        number.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        kill(m_pid, SIGKILL);
        WaitPid(m_pid, 5000);
        throw std::runtime_error("Xvfb did not start");
    }
    m_display = ":" + number.substr(0, number.find('\n'));
}

XServer::~XServer() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        if (!WaitPid(m_pid, 5000)) {
            kill(m_pid, SIGKILL);
            WaitPid(m_pid, 5000);
        }
    }
}

EnvChanges XEnvironment(const XServer& server) {
    // Qt wants a runtime folder of the user's own, closed to others.
    const fs::path runtime = fs::temp_directory_path() / ("qv-runtime-" + std::to_string(getuid()));
    std::error_code ec;
    fs::create_directories(runtime, ec);
    fs::permissions(runtime, fs::perms::owner_all, ec);
    std::string lsan = "suppressions=" QV_SOURCE_DIR "/tests/platform/qt/lsan.supp";
    if (const char* old = std::getenv("LSAN_OPTIONS"); old && *old) {
        lsan = std::string(old) + ":" + lsan;
    }
    return {{"DISPLAY", server.Display()},
            {"WAYLAND_DISPLAY", std::nullopt},
            {"QT_QPA_PLATFORM", std::nullopt},
            {"XDG_RUNTIME_DIR", runtime.string()},
            {"LSAN_OPTIONS", lsan}};
}

Child::Child(const fs::path& program, const std::vector<std::string>& args, const EnvChanges& env)
    : m_errFile(TempFile("qv-child-err")) {
    int out[2];
    int in[2];
    if (pipe(out) != 0 || pipe(in) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const int err = open(m_errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    m_pid = Spawn(program, args, env, in[0], out[1], err);
    close(out[1]);
    close(in[0]);
    close(err);
    m_out = out[0];
    m_in = in[1];
}

Child::~Child() {
    if (!m_exit && m_pid > 0) {
        kill(m_pid, SIGKILL);
        WaitPid(m_pid, 5000);
    }
    if (m_out >= 0) {
        close(m_out);
    }
    if (m_in >= 0) {
        close(m_in);
    }
    std::error_code ec;
    fs::remove(m_errFile, ec);
}

std::optional<std::string> Child::ReadLine(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            std::string line = m_buffer.substr(0, nl);
            m_buffer.erase(0, nl + 1);
            return line;
        }
        if (m_out < 0) {
            return std::nullopt;
        }
        pollfd p{m_out, POLLIN, 0};
        const int r = poll(&p, 1, MsLeft(deadline));
        if (r <= 0) {
            return std::nullopt;
        }
        char buf[4096];
        const ssize_t n = read(m_out, buf, sizeof buf);
        if (n <= 0) {
            close(m_out);
            m_out = -1;
            continue;
        }
        m_buffer.append(buf, static_cast<size_t>(n));
        m_seen.append(buf, static_cast<size_t>(n));
    }
}

std::optional<std::string> Child::WaitForLine(const std::string& prefix, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (auto line = ReadLine(MsLeft(deadline))) {
        if (line->rfind(prefix, 0) == 0) {
            return line;
        }
    }
    return std::nullopt;
}

void Child::WriteLine(const std::string& line) {
    const std::string text = line + "\n";
    if (write(m_in, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        throw std::runtime_error("cannot write to the child");
    }
}

std::optional<int> Child::Wait(int timeoutMs) {
    if (!m_exit) {
        m_exit = WaitPid(m_pid, timeoutMs);
    }
    return m_exit;
}

std::string Child::Errors() const {
    std::ifstream in(m_errFile);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int RunToEnd(const fs::path& program, const std::vector<std::string>& args, const EnvChanges& env,
             int timeoutMs, std::string* output) {
    Child child(program, args, env);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (child.ReadLine(MsLeft(deadline))) {
    }
    const std::optional<int> code = child.Wait(MsLeft(deadline));
    if (output) {
        *output = child.Output() + child.Errors();
    }
    return code.value_or(-1);
}

Screen Screenshot(const XServer& server) {
    const fs::path file = TempFile("qv-shot") += ".ppm";
    const std::string target = "ppm:" + file.string();
    const int code =
        RunToEnd(kImport, {"-display", server.Display(), "-window", "root", "-depth", "8", target},
                 {}, 20000);
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    Screen s;
    in >> magic >> s.Width >> s.Height >> maxValue;
    in.get();
    if (code != 0 || magic != "P6" || maxValue != 255 || s.Width <= 0 || s.Height <= 0) {
        std::error_code ec;
        fs::remove(file, ec);
        throw std::runtime_error("the screenshot with " + std::string(kImport) + " failed");
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(s.Width) * static_cast<size_t>(s.Height) * 3);
    in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    std::error_code ec;
    fs::remove(file, ec);
    s.Pixels.resize(rgb.size() / 3);
    for (size_t i = 0; i < s.Pixels.size(); ++i) {
        s.Pixels[i] = (uint32_t{rgb[i * 3]} << 16) | (uint32_t{rgb[i * 3 + 1]} << 8) |
                      uint32_t{rgb[i * 3 + 2]};
    }
    return s;
}

} // namespace qv::test
