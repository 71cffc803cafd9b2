// Quiet hours: the span on the clock, also past midnight, and the times the settings keep.
#include "core/QuietHours.h"

#include <gtest/gtest.h>

TEST(QuietHours, SpanWithinADayAndPastMidnight) {
    // 22:00 to 07:00 runs past midnight: the evening and the early morning are quiet.
    EXPECT_TRUE(InQuietHours(22 * 60, 7 * 60, 22 * 60));
    EXPECT_TRUE(InQuietHours(22 * 60, 7 * 60, 23 * 60 + 59));
    EXPECT_TRUE(InQuietHours(22 * 60, 7 * 60, 0));
    EXPECT_TRUE(InQuietHours(22 * 60, 7 * 60, 6 * 60 + 59));
    EXPECT_FALSE(InQuietHours(22 * 60, 7 * 60, 7 * 60));
    EXPECT_FALSE(InQuietHours(22 * 60, 7 * 60, 12 * 60));
    EXPECT_FALSE(InQuietHours(22 * 60, 7 * 60, 21 * 60 + 59));
    // 12:00 to 13:30 within the day.
    EXPECT_TRUE(InQuietHours(12 * 60, 13 * 60 + 30, 13 * 60));
    EXPECT_FALSE(InQuietHours(12 * 60, 13 * 60 + 30, 13 * 60 + 30));
    EXPECT_FALSE(InQuietHours(12 * 60, 13 * 60 + 30, 23 * 60));
    // A span that ends where it starts is empty.
    EXPECT_FALSE(InQuietHours(8 * 60, 8 * 60, 8 * 60));
}

TEST(QuietHours, ClockTimesOfTheSettingsFile) {
    EXPECT_EQ(ParseClockTime("22:00"), 22 * 60);
    EXPECT_EQ(ParseClockTime("7:05"), 7 * 60 + 5);
    EXPECT_EQ(ParseClockTime("00:00"), 0);
    for (const char* bad : {"", "24:00", "12:60", "12", "12:5", "-1:00", "ab:cd", "1:2:3", " 7:00"})
        EXPECT_FALSE(ParseClockTime(bad).has_value()) << bad;
    EXPECT_EQ(ClockTimeText(7 * 60 + 5), "07:05");
    EXPECT_EQ(ClockTimeText(23 * 60 + 59), "23:59");
}
