#pragma once

#include "platform/host_options.h"

#include <chrono>
#include <cstdint>

namespace qv {

// The kernel clock: GetTickCount, Sleep, GetSystemTime and GetLocalTime.
//
// Real: the tick count follows a steady clock and the times come from the system.
// Virtual: time stands still except that each round of message processing advances it by
// one quantum and Sleep advances it by its argument, so deadline loops run at full speed,
// frame-exact and the same on every run. The virtual date starts at --time (taken as both
// UTC and local time) or at 2000-01-01T00:00:00.
class Clock {
public:
    enum class Mode { Real, Virtual };

    Clock(Mode mode, const SystemTime& start, int32_t quantumMs);

    Mode GetMode() const { return m_mode; }
    bool IsVirtual() const { return m_mode == Mode::Virtual; }

    // Milliseconds since the clock started; wraps after about 49.7 days.
    uint32_t GetTickCount() const;
    void Sleep(uint32_t ms);
    SystemTime GetSystemTime() const;
    SystemTime GetLocalTime() const;

    // Called once per round of message processing: the virtual clock advances a quantum.
    void OnMessagesProcessed();
    // Moves the virtual clock forward (used by hosts that wait for a timed event).
    void Advance(uint32_t ms);

    int32_t QuantumMs() const { return m_quantum; }

    // Real clock: the moment the tick count reads tick (the nearest such moment, ahead or
    // behind, as the count wraps), so that a host can sleep until exactly then.
    std::chrono::steady_clock::time_point TimeOfTick(uint32_t tick) const;

private:
    SystemTime VirtualTime() const;

    Mode m_mode;
    SystemTime m_start;
    int32_t m_quantum;
    uint64_t m_virtualMs = 0;
    std::chrono::steady_clock::time_point m_realStart;
};

} // namespace qv
