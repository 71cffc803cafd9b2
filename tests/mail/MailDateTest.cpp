// Date values: calendar conversions and the Date header parse.
#include "mime/DateTimeValue.h"

#include <gtest/gtest.h>

namespace {

std::string Parsed(const std::string& value) {
    const double v = ParseMailDate(value);
    return v == 0 ? "0" : FormatDateTimeISO(v);
}

} // namespace

TEST(DateTimeValue, KnownDaysAndRoundTrip) {
    double v = -1;
    ASSERT_TRUE(TryEncodeDateTime({1899, 12, 30, 0, 0, 0, 0}, v));
    EXPECT_EQ(v, 0);
    ASSERT_TRUE(TryEncodeDateTime({2000, 1, 1, 12, 0, 0, 0}, v));
    EXPECT_DOUBLE_EQ(v, 36526.5);
    ASSERT_TRUE(TryEncodeDateTime({2024, 2, 29, 23, 59, 59, 999}, v));
    const TDateTimeParts p = DecodeDateTime(v);
    EXPECT_EQ(p.Year, 2024);
    EXPECT_EQ(p.Month, 2);
    EXPECT_EQ(p.Day, 29);
    EXPECT_EQ(p.Hour, 23);
    EXPECT_EQ(p.Minute, 59);
    EXPECT_EQ(p.Second, 59);
    EXPECT_EQ(p.Millisecond, 999);
    // Before the epoch the fraction still counts the time of that day.
    ASSERT_TRUE(TryEncodeDateTime({1899, 12, 29, 6, 0, 0, 0}, v));
    EXPECT_DOUBLE_EQ(v, -1.25);
    EXPECT_EQ(FormatDateTimeISO(v), "1899-12-29 06:00:00");
}

TEST(DateTimeValue, OutOfRangeFieldsRefused) {
    double v = 7;
    EXPECT_FALSE(TryEncodeDateTime({2023, 2, 29, 0, 0, 0, 0}, v));
    EXPECT_FALSE(TryEncodeDateTime({2023, 13, 1, 0, 0, 0, 0}, v));
    EXPECT_FALSE(TryEncodeDateTime({2023, 1, 1, 24, 0, 0, 0}, v));
    EXPECT_FALSE(TryEncodeDateTime({0, 1, 1, 0, 0, 0, 0}, v));
    EXPECT_EQ(v, 7);
    EXPECT_EQ(FormatDateTimeISO(1e300), "1899-12-30 00:00:00");
}

TEST(MailDate, CommonFormsZoneIgnored) {
    EXPECT_EQ(Parsed("Tue, 5 Mar 2002 14:03:07 +0100"), "2002-03-05 14:03:07");
    EXPECT_EQ(Parsed("5 Mar 02 14:03"), "2002-03-05 14:03:00");
    EXPECT_EQ(Parsed("Mar 5 14:03:07 2002"), "2002-03-05 14:03:07");
    EXPECT_EQ(Parsed("  thursday, 12 NOV 2026 09:14:49 -0500 (EST)"), "2026-11-12 09:14:49");
    EXPECT_EQ(Parsed("05-Mar-2002 14:03:07 GMT"), "2002-03-05 14:03:07");
    EXPECT_EQ(Parsed("Wed, 4 Nov 2026"), "2026-11-04 00:00:00");
}

TEST(MailDate, TwoDigitYearsAndDefaults) {
    EXPECT_EQ(Parsed("1 Jan 79"), "2079-01-01 00:00:00");
    EXPECT_EQ(Parsed("1 Jan 80"), "1980-01-01 00:00:00");
    EXPECT_EQ(Parsed("1 Jan 99 1:2:3"), "1999-01-01 01:02:03");
    // A day that is not a number counts as 1; no year at all gives 1900.
    EXPECT_EQ(Parsed("x Feb 2020"), "2020-02-01 00:00:00");
    EXPECT_EQ(Parsed("3 Feb"), "1900-02-03 00:00:00");
}

TEST(MailDate, UnreadableGivesZero) {
    EXPECT_EQ(ParseMailDate(""), 0);
    EXPECT_EQ(ParseMailDate("   "), 0);
    EXPECT_EQ(ParseMailDate("garbled"), 0);
    EXPECT_EQ(ParseMailDate("5 Foo 2002"), 0);
    EXPECT_EQ(ParseMailDate("31 Apr 2002"), 0);
    EXPECT_EQ(ParseMailDate("5 Mar 2002 24:00:00"), 0);
    EXPECT_EQ(ParseMailDate("5 Mar 2002 12:60"), 0);
    EXPECT_EQ(ParseMailDate("Tue,"), 0);
}
