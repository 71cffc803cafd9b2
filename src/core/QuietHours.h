// Quiet hours: a daily span of the clock in which new mail plays no sound and shows no
// notification, and the clock times the settings file keeps for it.
#pragma once

#include <optional>
#include <string>

constexpr int MinutesPerDay = 24 * 60;

// "H:MM" or "HH:MM", 00:00 to 23:59, as minutes after midnight; nothing for any other text.
std::optional<int> ParseClockTime(const std::string& text);
// Minutes after midnight as "HH:MM".
std::string ClockTimeText(int minutes);
// Whether minute lies from from (included) to to (excluded); a span whose end comes before
// its start runs past midnight, and one that ends where it starts is empty.
bool InQuietHours(int from, int to, int minute);
