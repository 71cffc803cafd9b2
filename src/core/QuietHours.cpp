// Quiet hours: the span test and the clock times of the settings file.
#include "core/QuietHours.h"

#include <cstdio>

std::optional<int> ParseClockTime(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon < 1 || colon > 2 || text.size() != colon + 3)
        return std::nullopt;
    int value[2] = {0, 0};
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == colon)
            continue;
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        int& part = value[i > colon];
        part = part * 10 + (text[i] - '0');
    }
    if (value[0] > 23 || value[1] > 59)
        return std::nullopt;
    return value[0] * 60 + value[1];
}

std::string ClockTimeText(int minutes) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60 % 24, minutes % 60);
    return text;
}

bool InQuietHours(int from, int to, int minute) {
    if (from <= to)
        return from <= minute && minute < to;
    return minute >= from || minute < to;
}
