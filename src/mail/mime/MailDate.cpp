// The Date header parse: day names, both item orders, two-digit years, zone ignored.
#include "core/Global.h"
#include "mime/DateTimeValue.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace {

const char* const DayNames[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
const char* const MonthNames[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};

bool StartsWithName(const std::string& text, const char* name) {
    if (text.size() < 3)
        return false;
    for (int i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != name[i])
            return false;
    return true;
}

// 1..12, or 0 when the text does not begin with a month name.
int MonthOf(const std::string& text) {
    for (int i = 0; i < 12; ++i)
        if (StartsWithName(text, MonthNames[i]))
            return i + 1;
    return 0;
}

void TrimLeft(std::string& text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ')
        ++i;
    text.erase(0, i);
}

// Takes the text up to separator (or all of it) off the front; the rest is trimmed left.
std::string NextItem(std::string& text, char separator) {
    const size_t cut = text.find(separator);
    std::string item = text.substr(0, cut);
    text.erase(0, cut == std::string::npos ? text.size() : cut + 1);
    TrimLeft(text);
    return item;
}

// An optionally signed decimal number that fits an int.
bool TryNumber(const std::string& text, int& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    long long n = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
        n = n * 10 + (text[i] - '0');
        if (n > INT_MAX)
            return false;
    }
    value = static_cast<int>(negative ? -n : n);
    return true;
}

int NumberOr(const std::string& text, int fallback) {
    int value = fallback;
    return TryNumber(text, value) ? value : fallback;
}

} // namespace

double ParseMailDate(const std::string& value) {
    std::string text = TrimControl(value);
    if (text.empty())
        return 0;
    for (const char* day : DayNames)
        if (StartsWithName(text, day)) {
            const size_t blank = text.find(' ');
            text.erase(0, blank == std::string::npos ? text.size() : blank + 1);
            TrimLeft(text);
            break;
        }

    const size_t firstBlank = text.find(' ');
    const size_t dash = text.find('-', 1);
    const char separator = dash != std::string::npos && dash < firstBlank ? '-' : ' ';

    TDateTimeParts parts;
    std::string item = NextItem(text, separator);
    if (MonthOf(item) != 0) {
        parts.Month = MonthOf(item);
        parts.Day = NumberOr(NextItem(text, separator), 1);
    } else {
        parts.Day = NumberOr(item, 1);
        parts.Month = MonthOf(NextItem(text, separator));
    }

    // "Mar 5 14:03:07 2002" puts the time before the year.
    std::string yearItem = NextItem(text, ' ');
    if (!TryNumber(yearItem, parts.Year)) {
        parts.Year = NumberOr(text, 1900);
        text = yearItem;
    }
    if (parts.Year < 80)
        parts.Year += 2000;
    else if (parts.Year < 100)
        parts.Year += 1900;

    if (text.find(':') != std::string::npos) {
        std::string time = NextItem(text, ' ');
        parts.Hour = NumberOr(NextItem(time, ':'), 0);
        parts.Minute = NumberOr(NextItem(time, ':'), 0);
        parts.Second = NumberOr(NextItem(time, ' '), 0);
    }
    double result = 0;
    return TryEncodeDateTime(parts, result) ? result : 0;
}
