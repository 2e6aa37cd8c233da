#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace qv {

// The progress of a headless run on one line of standard error that updates in place:
// the share of --duration done, the frames recorded, the time taken and the time left.
// Shown only when standard error is a terminal; for a run that records nothing, only once
// it has taken a second, so that short runs stay quiet.
class ProgressLine {
public:
    ProgressLine(std::optional<int32_t> durationMs, bool recording);
    ProgressLine(std::optional<int32_t> durationMs, bool recording, std::FILE* out, bool terminal);

    // The run has reached nowMs of its clock with frames recorded; prints at most a few
    // times a second.
    void Update(uint32_t nowMs, uint64_t frames);
    // The last figures, and the line ended.
    void Done(uint32_t nowMs, uint64_t frames);

private:
    void Print(uint32_t nowMs, uint64_t frames, std::chrono::steady_clock::time_point at);

    std::FILE* m_out = nullptr;
    bool m_on = false;
    bool m_recording = false;
    bool m_shown = false;
    std::optional<int32_t> m_durationMs;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_next;
};

} // namespace qv
