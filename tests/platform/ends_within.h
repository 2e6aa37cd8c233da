#pragma once

#include <chrono>
#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qv::test {

// Runs `body` in a child process and reports whether it ended within `ms` with exit code 0
// (body returning true). A call that blocks (a FIFO opened for reading, say) makes the test
// fail in time instead of hanging the suite; the child is killed then.
inline bool EndsWithin(int ms, const std::function<bool()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body() ? 0 : 1);
    }
    if (pid < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace qv::test
