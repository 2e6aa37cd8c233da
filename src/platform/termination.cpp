#include "platform/termination.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace qv {
namespace {

int g_pipe[2] = {-1, -1};
std::atomic<int> g_lastSignal{0};
// Set by the handler before it writes to the pipe: without it the pipe is not read, so
// that the check made on every round of messages costs no system call.
std::atomic<bool> g_signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free);
bool g_pending = false;

void OnSignal(int signal) {
    const int saved = errno;
    g_lastSignal.store(signal, std::memory_order_relaxed);
    g_signalled.store(true);
    const char byte = 1;
    // A full pipe already holds a request: the byte may be dropped.
    [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool TerminationSignals::Install() {
    if (g_pipe[0] >= 0) {
        return true;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    g_pipe[0] = fds[0];
    g_pipe[1] = fds[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return true;
}

int TerminationSignals::WakeFd() {
    return g_pipe[0];
}

int TerminationSignals::Take() {
    if (g_pipe[0] < 0 || !g_signalled.load()) {
        return 0;
    }
    // Cleared before the pipe is drained: a signal that comes meanwhile sets it again and
    // is seen (once more) in the next round.
    g_signalled.store(false);
    char buffer[64];
    bool any = false;
    while (read(g_pipe[0], buffer, sizeof buffer) > 0) {
        any = true;
    }
    return any ? g_lastSignal.load(std::memory_order_relaxed) : 0;
}

bool TerminationSignals::Pending() {
    return g_pending;
}

void TerminationSignals::SetPending(bool pending) {
    g_pending = pending;
}

} // namespace qv
