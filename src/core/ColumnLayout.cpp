// The message list's column layout in the settings file.
#include "core/ColumnLayout.h"

#include "core/IniFile.h"
#include "core/Options.h"

#include <algorithm>
#include <charconv>

namespace {

// The window placement shares the section.
const std::string Section = "MsgList";
const std::string OrderKey = "Columns/Order";
const std::string SizesKey = "Columns/Sizes";
const std::string SortColumnKey = "Sort/SortCol";
const std::string AscendingKey = "Sort/Ascending";

std::vector<int> ParseNumbers(const std::string& text) {
    std::vector<int> numbers;
    size_t start = 0;
    while (!text.empty()) {
        const size_t end = std::min(text.find(',', start), text.size());
        int number = 0;
        const auto [last, error] = std::from_chars(text.data() + start, text.data() + end, number);
        if (error != std::errc() || last != text.data() + end)
            return {};
        numbers.push_back(number);
        if (end == text.size())
            break;
        start = end + 1;
    }
    return numbers;
}

std::string JoinNumbers(const std::vector<int>& numbers) {
    std::string text;
    for (int number : numbers)
        text += (text.empty() ? "" : ",") + std::to_string(number);
    return text;
}

} // namespace

TColumnLayout LoadColumnLayout() {
    TIniFile ini(SettingsFileName());
    TIniUpdate oneRead(ini);
    TColumnLayout layout;
    layout.Order = ParseNumbers(ini.ReadString(Section, OrderKey, ""));
    layout.Sizes = ParseNumbers(ini.ReadString(Section, SizesKey, ""));
    layout.SortColumn = ini.ReadInteger(Section, SortColumnKey, -1);
    layout.Ascending = ini.ReadBool(Section, AscendingKey, true);
    return layout;
}

void WriteColumnLayout(TIniFile& ini, const TColumnLayout& layout) {
    ini.WriteString(Section, OrderKey, JoinNumbers(layout.Order));
    ini.WriteString(Section, SizesKey, JoinNumbers(layout.Sizes));
    ini.WriteInteger(Section, SortColumnKey, layout.SortColumn);
    ini.WriteBool(Section, AscendingKey, layout.Ascending);
}
