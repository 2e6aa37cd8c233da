#include "platform/clock.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

SystemTime At(const char* text) {
    return *ParseTimeOption(text);
}

TEST(VirtualClock, MovesOnlyByQuantumPerRoundAndBySleep) {
    Clock clock(Clock::Mode::Virtual, At("2024-02-28T23:59:59.990"), 5);
    EXPECT_EQ(clock.GetTickCount(), 0u);
    clock.OnMessagesProcessed();
    clock.OnMessagesProcessed();
    EXPECT_EQ(clock.GetTickCount(), 10u);
    clock.Sleep(0);
    EXPECT_EQ(clock.GetTickCount(), 10u);
    clock.Sleep(86400000); // one day later, across the leap day
    EXPECT_EQ(clock.GetTickCount(), 86400010u);
    EXPECT_EQ(clock.GetSystemTime(), At("2024-03-01T00:00:00.000"));
    EXPECT_EQ(clock.GetLocalTime(), clock.GetSystemTime());
    EXPECT_EQ(clock.GetSystemTime().DayOfWeek, 5); // a Friday
}

TEST(VirtualClock, TickCountWrapsLikeGetTickCount) {
    Clock clock(Clock::Mode::Virtual, At("2000-01-01T00:00:00"), 1);
    clock.Sleep(0xFFFFFFFFu);
    EXPECT_EQ(clock.GetTickCount(), 0xFFFFFFFFu);
    clock.OnMessagesProcessed();
    EXPECT_EQ(clock.GetTickCount(), 0u);
    // The date does not wrap with the tick count.
    EXPECT_EQ(clock.GetSystemTime(), At("2000-02-19T17:02:47.296"));
}

TEST(RealClock, FollowsTimeAndIgnoresMessageRounds) {
    Clock clock(Clock::Mode::Real, At("2000-01-01T00:00:00"), 1000);
    const uint32_t start = clock.GetTickCount();
    clock.OnMessagesProcessed();
    EXPECT_LT(clock.GetTickCount() - start, 500u);
    clock.Sleep(20);
    EXPECT_GE(clock.GetTickCount() - start, 20u);
    EXPECT_GE(clock.GetSystemTime().Year, 2024);
}

} // namespace
} // namespace qv
