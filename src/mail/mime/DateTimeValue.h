// Date-time values as days since 1899-12-30 (fraction = time of day), and their calendar parts.
#pragma once

#include <string>

struct TDateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// False (and value untouched) when a field is out of range (year 1..9999).
bool TryEncodeDateTime(const TDateTimeParts& parts, double& value);
// The calendar date and time of a value; 0 gives 1899-12-30 00:00:00.
TDateTimeParts DecodeDateTime(double value);
// "yyyy-mm-dd hh:nn:ss", for logs and tools.
std::string FormatDateTimeISO(double value);

// Parses a Date header value; 0 when it is empty or cannot be read. The zone
// is ignored: the value is the time as written.
double ParseMailDate(const std::string& value);
