#include "platform/clock.h"

#include <ctime>
#include <thread>

namespace qv {
Clock::Clock(Mode mode, const SystemTime& start, int32_t quantumMs)
    : m_mode(mode), m_start(start), m_quantum(quantumMs),
      m_realStart(std::chrono::steady_clock::now()) {}

uint32_t Clock::GetTickCount() const {
    if (m_mode == Mode::Virtual) {
        return static_cast<uint32_t>(m_virtualMs);
    }
    const auto d = std::chrono::steady_clock::now() - m_realStart;
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

void Clock::Sleep(uint32_t ms) {
    if (m_mode == Mode::Virtual) {
        m_virtualMs += ms;
    } else if (ms == 0) {
        // Sleep(0) gives up the rest of a time slice to another thread that is ready. The
        // program draws on one thread and the kernel shares the processor by itself, so a
        // yield would only cost a system call on every round of messages.
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void Clock::OnMessagesProcessed() {
    if (m_mode == Mode::Virtual) {
        m_virtualMs += static_cast<uint64_t>(m_quantum);
    }
}

void Clock::Advance(uint32_t ms) {
    if (m_mode == Mode::Virtual) {
        m_virtualMs += ms;
    }
}

std::chrono::steady_clock::time_point Clock::TimeOfTick(uint32_t tick) const {
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_realStart);
    const int32_t ahead = static_cast<int32_t>(tick - static_cast<uint32_t>(since.count()));
    return m_realStart + since + std::chrono::milliseconds(ahead);
}

SystemTime Clock::VirtualTime() const {
    return SystemTimeFromUnixMs(UnixMsFromSystemTime(m_start) + static_cast<int64_t>(m_virtualMs));
}

SystemTime Clock::GetSystemTime() const {
    if (m_mode == Mode::Virtual) {
        return VirtualTime();
    }
    const auto now = std::chrono::system_clock::now();
    return SystemTimeFromUnixMs(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
}

SystemTime Clock::GetLocalTime() const {
    if (m_mode == Mode::Virtual) {
        return VirtualTime();
    }
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&secs, &local);
    SystemTime st;
    st.Year = static_cast<uint16_t>(local.tm_year + 1900);
    st.Month = static_cast<uint16_t>(local.tm_mon + 1);
    st.DayOfWeek = static_cast<uint16_t>(local.tm_wday);
    st.Day = static_cast<uint16_t>(local.tm_mday);
    st.Hour = static_cast<uint16_t>(local.tm_hour);
    st.Minute = static_cast<uint16_t>(local.tm_min);
    st.Second = static_cast<uint16_t>(local.tm_sec);
    st.Milliseconds = static_cast<uint16_t>(ms % 1000);
    return st;
}

} // namespace qv
