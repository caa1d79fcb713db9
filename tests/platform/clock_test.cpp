#include <gtest/gtest.h>

#include "platform/clock.h"

TEST(Clock, TextsAndSecondsOfDay) {
    LocalTime t{2026, 3, 7, 9, 5, 4, 250};
    EXPECT_EQ(TimeText(t), "09:05:04");
    EXPECT_EQ(DateText(t), "03-07-2026");
    EXPECT_DOUBLE_EQ(SecondsOfDay(t), 9 * 3600 + 5 * 60 + 4.25);
}

TEST(Clock, ManualClockCrossesMidnightAndMonthEnd) {
    ManualClock c(LocalTime{2026, 12, 31, 23, 59, 59, 900});
    c.advanceMs(200);
    LocalTime t = c.now();
    EXPECT_EQ(t.year, 2027);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(TimeText(t), "00:00:00");
    EXPECT_EQ(t.millisecond, 100);
}
