#include "platform/headless/progress_line.h"

#include <algorithm>
#include <unistd.h>

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPeriod = std::chrono::milliseconds(250);
constexpr auto kQuietStart = std::chrono::seconds(1);

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

ProgressLine::ProgressLine(std::optional<int32_t> durationMs, bool recording)
    : ProgressLine(durationMs, recording, stderr, ::isatty(STDERR_FILENO) == 1) {}

ProgressLine::ProgressLine(std::optional<int32_t> durationMs, bool recording, std::FILE* out,
                           bool terminal)
    : m_out(out), m_on(terminal && (recording || durationMs)), m_recording(recording),
      m_durationMs(durationMs), m_start(Clock::now()),
      m_next(m_start + (recording ? Clock::duration::zero() : kQuietStart)) {}

void ProgressLine::Update(uint32_t nowMs, uint64_t frames) {
    if (!m_on) {
        return;
    }
    const Clock::time_point at = Clock::now();
    if (at >= m_next) {
        Print(nowMs, frames, at);
        m_next = at + kPeriod;
    }
}

void ProgressLine::Done(uint32_t nowMs, uint64_t frames) {
    if (m_on && (m_shown || m_recording)) {
        Print(nowMs, frames, Clock::now());
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }
    m_on = false;
}

void ProgressLine::Print(uint32_t nowMs, uint64_t frames, Clock::time_point at) {
    const double elapsed = Seconds(at - m_start);
    char line[160];
    int n = 0;
    const char* what = m_recording ? "recording" : "running";
    if (m_durationMs && *m_durationMs > 0) {
        const double done = std::min(1.0, static_cast<double>(nowMs) / *m_durationMs);
        const double left = done > 0 ? elapsed * (1 - done) / done : 0;
        n = std::snprintf(line, sizeof line, "%s: %3d%% of %.1f s", what,
                          static_cast<int>(done * 100), *m_durationMs / 1000.0);
        if (m_recording) {
            n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), ", %llu frames",
                               static_cast<unsigned long long>(frames));
        }
        std::snprintf(line + n, sizeof line - static_cast<size_t>(n),
                      ", %.1f s elapsed, %.1f s left", elapsed, left);
    } else {
        std::snprintf(line, sizeof line, "%s: %.1f s of the show, %llu frames, %.1f s elapsed",
                      what, nowMs / 1000.0, static_cast<unsigned long long>(frames), elapsed);
    }
    // Back to the line's start, the figures, and the rest of the old line cleared.
    std::fprintf(m_out, "\r%s\033[K", line);
    std::fflush(m_out);
    m_shown = true;
}

} // namespace qv
