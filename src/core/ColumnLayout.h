// The message list's columns and sort as the settings file keeps them.
#pragma once

#include <string>
#include <vector>

// Plain numbers as stored; the list checks them against its columns when it applies them.
struct TColumnLayout {
    std::vector<int> Order; // the column shown at each place, left to right
    std::vector<int> Sizes; // each column's width, in column order
    int SortColumn = -1;    // -1: not sorted
    bool Ascending = true;
    bool operator==(const TColumnLayout&) const = default;
};

// Reads the layout from section "MsgList" of the settings file; a list that is missing or
// holds anything but numbers reads as empty.
TColumnLayout LoadColumnLayout();
class TIniFile;
// Writes the layout's keys into section "MsgList", leaving the section's other keys.
void WriteColumnLayout(TIniFile& ini, const TColumnLayout& layout);
