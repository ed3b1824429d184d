#include "platform/win/datetime.h"

#include <gtest/gtest.h>

TEST(DateTime, KnownDayNumbers) {
    win::TDateTime t = -1;
    ASSERT_TRUE(win::TryEncodeDate(1899, 12, 30, t));
    EXPECT_EQ(t, 0);
    ASSERT_TRUE(win::TryEncodeDate(2000, 1, 1, t));
    EXPECT_EQ(t, 36526);
    ASSERT_TRUE(win::TryEncodeDate(1, 1, 1, t));
    EXPECT_EQ(t, -693593);
    EXPECT_FALSE(win::TryEncodeDate(2023, 2, 29, t));
    EXPECT_TRUE(win::TryEncodeDate(2024, 2, 29, t));
    EXPECT_FALSE(win::TryEncodeTime(24, 0, 0, 0, t));
    auto p = win::DecodeDateTime(36526.75);
    EXPECT_EQ(p.year, 2000);
    EXPECT_EQ(p.hour, 18);
    EXPECT_EQ(p.dayOfWeek, 7); // Saturday
    // Before the epoch the fraction is still the time of day.
    p = win::DecodeDateTime(-1.25);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 6);
}

TEST(DateTime, RoundTripsEveryDayAndMillisecondEdges) {
    for (long d = -693593; d < 2958466; d += 997) {
        auto p = win::DecodeDateTime(static_cast<double>(d));
        EXPECT_EQ(win::EncodeDateTime(p), static_cast<double>(d)) << d;
    }
    win::DateParts p{2026, 12, 9, 23, 59, 59, 999, 0};
    auto back = win::DecodeDateTime(win::EncodeDateTime(p));
    EXPECT_EQ(back.day, 9);
    EXPECT_EQ(back.second, 59);
    EXPECT_EQ(back.msec, 999);
}

TEST(DateTime, ClockAndTicksCanBeSet) {
    win::SetClock([] { return 40000.5; });
    EXPECT_EQ(win::Now(), 40000.5);
    win::SetClock({});
    EXPECT_GT(win::Now(), 46000);
    std::uint64_t tick = 10;
    win::SetTickSource([&] { return tick; });
    EXPECT_EQ(win::GetTickCount(), 10u);
    tick = 25;
    EXPECT_EQ(win::GetTickCount(), 25u);
    win::SetTickSource({});
}
