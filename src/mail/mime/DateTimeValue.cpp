// Conversions between day-count values and calendar dates and times.
#include "mime/DateTimeValue.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr double MsPerDay = 86400000.0;

// Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const long long EpochOffset = DaysFromCivil(1899, 12, 30);

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

} // namespace

bool TryEncodeDateTime(const TDateTimeParts& p, double& value) {
    if (p.Year < 1 || p.Year > 9999 || p.Month < 1 || p.Month > 12 || p.Day < 1 ||
        p.Day > DaysInMonth(p.Year, p.Month) || p.Hour < 0 || p.Hour > 23 || p.Minute < 0 ||
        p.Minute > 59 || p.Second < 0 || p.Second > 59 || p.Millisecond < 0 || p.Millisecond > 999)
        return false;
    const double days = static_cast<double>(DaysFromCivil(p.Year, p.Month, p.Day) - EpochOffset);
    const double time = ((p.Hour * 60.0 + p.Minute) * 60.0 + p.Second) * 1000.0 + p.Millisecond;
    // Before the epoch the time of day still counts away from the date, so that
    // the integer part always names the day.
    value = days < 0 ? days - time / MsPerDay : days + time / MsPerDay;
    return true;
}

TDateTimeParts DecodeDateTime(double value) {
    TDateTimeParts parts;
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6)
        return parts;
    const double whole = std::trunc(value);
    long long ms = std::llround(std::fabs(value - whole) * MsPerDay);
    long long days = static_cast<long long>(whole);
    if (ms >= static_cast<long long>(MsPerDay)) {
        ms -= static_cast<long long>(MsPerDay);
        days += value < 0 ? -1 : 1;
    }
    CivilFromDays(days + EpochOffset, parts.Year, parts.Month, parts.Day);
    parts.Hour = static_cast<int>(ms / 3600000);
    parts.Minute = static_cast<int>(ms / 60000 % 60);
    parts.Second = static_cast<int>(ms / 1000 % 60);
    parts.Millisecond = static_cast<int>(ms % 1000);
    return parts;
}

std::string FormatDateTimeISO(double value) {
    const TDateTimeParts p = DecodeDateTime(value);
    char text[40];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day,
                  p.Hour, p.Minute, p.Second);
    return text;
}
