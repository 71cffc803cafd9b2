// Profile (INI) file model: parsing, hashed lookup, editing and writing back.
#include "IniDocument.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsBlank(char c) {
    // A stray CR counts as blank so that it cannot end a value differently after a rewrite.
    return c == ' ' || c == '\t' || c == '\r';
}

std::string TrimBlanks(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

} // namespace

void TIniDocument::Parse(const std::string& bytes) {
    FSections.clear();
    FSectionIndex.clear();
    FSections.push_back(TSection{});
    FSections.back().HasHeader = false;

    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        // All trailing CRs go, so that writing back and reading again gives the same lines.
        while (!line.empty() && line.back() == '\r')
            line.pop_back();

        const std::string trimmed = TrimBlanks(line);
        // A section name runs to the last "]" so names holding "]" survive a round trip.
        const size_t close = trimmed.rfind(']');
        if (!trimmed.empty() && trimmed[0] == '[' && close != std::string::npos) {
            TSection& section = AddSection(trimmed.substr(1, close - 1));
            section.HeaderRaw = line;
            continue;
        }
        TLine entry;
        const size_t equals = trimmed.find('=');
        if (equals != std::string::npos && equals > 0 && trimmed[0] != ';' &&
            FSections.back().HasHeader) {
            entry.IsKey = true;
            entry.Key = TrimBlanks(trimmed.substr(0, equals));
            entry.Value = TrimBlanks(trimmed.substr(equals + 1));
            if (entry.Key.empty())
                entry = TLine{};
        }
        if (!entry.IsKey)
            entry.Raw = line;
        AddLine(FSections.back(), std::move(entry));
    }
}

std::string TIniDocument::Serialize() const {
    std::string out;
    for (const TSection& section : FSections) {
        if (section.Deleted)
            continue;
        if (section.HasHeader)
            out +=
                (section.HeaderRaw.empty() ? "[" + section.Name + "]" : section.HeaderRaw) + "\n";
        for (const TLine& line : section.Lines) {
            if (line.Deleted)
                continue;
            out += line.IsKey ? line.Key + "=" + line.Value : line.Raw;
            out += '\n';
        }
    }
    return out;
}

const std::string* TIniDocument::Find(const std::string& section, const std::string& key) const {
    const TSection* found = FindSection(section);
    if (!found)
        return nullptr;
    const auto it = found->Keys.find(Lower(key));
    return it == found->Keys.end() ? nullptr : &found->Lines[it->second].Value;
}

std::vector<std::string> TIniDocument::SectionNames() const {
    std::vector<std::string> names;
    // File order, each name once: the first of duplicate sections is the one seen.
    for (size_t i = 0; i < FSections.size(); ++i) {
        const TSection& section = FSections[i];
        if (section.HasHeader && !section.Deleted) {
            const auto it = FSectionIndex.find(Lower(section.Name));
            if (it != FSectionIndex.end() && it->second == i)
                names.push_back(section.Name);
        }
    }
    return names;
}

std::vector<std::pair<std::string, std::string>>
TIniDocument::SectionValues(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> values;
    const TSection* found = FindSection(section);
    if (!found)
        return values;
    for (size_t i = 0; i < found->Lines.size(); ++i) {
        const TLine& line = found->Lines[i];
        if (!line.IsKey || line.Deleted)
            continue;
        // A duplicate key is shadowed by its first occurrence, as a lookup sees it.
        const auto it = found->Keys.find(Lower(line.Key));
        if (it != found->Keys.end() && it->second == i)
            values.emplace_back(line.Key, line.Value);
    }
    return values;
}

bool TIniDocument::Set(const std::string& section, const std::string& key,
                       const std::string& value) {
    TSection* found = FindSection(section);
    if (!found)
        found = &AddSection(section);
    const auto it = found->Keys.find(Lower(key));
    if (it != found->Keys.end()) {
        TLine& line = found->Lines[it->second];
        if (line.Key == key && line.Value == value)
            return false;
        line.Key = key;
        line.Value = value;
        return true;
    }
    TLine line;
    line.IsKey = true;
    line.Key = key;
    line.Value = value;
    // New keys go after the section's last non-blank line, before the blank lines
    // that separate it from the next section.
    size_t at = found->Lines.size();
    while (at > 0 && !found->Lines[at - 1].IsKey && TrimBlanks(found->Lines[at - 1].Raw).empty())
        --at;
    if (at == found->Lines.size()) {
        AddLine(*found, std::move(line));
    } else {
        found->Lines.insert(found->Lines.begin() + static_cast<std::ptrdiff_t>(at),
                            std::move(line));
        found->Keys[Lower(key)] = at;
    }
    return true;
}

bool TIniDocument::Remove(const std::string& section, const std::string& key) {
    TSection* found = FindSection(section);
    if (!found)
        return false;
    const std::string lower = Lower(key);
    const auto it = found->Keys.find(lower);
    if (it == found->Keys.end())
        return false;
    found->Lines[it->second].Deleted = true;
    found->Keys.erase(it);
    // Shadowed duplicates go too; otherwise the next one would surface with stale data.
    if (found->HasDuplicateKeys)
        for (TLine& line : found->Lines)
            if (line.IsKey && !line.Deleted && Lower(line.Key) == lower)
                line.Deleted = true;
    return true;
}

bool TIniDocument::RemoveSection(const std::string& section) {
    const std::string lower = Lower(section);
    const auto it = FSectionIndex.find(lower);
    if (it == FSectionIndex.end())
        return false;
    // Duplicates go too: otherwise the next one would surface with stale data.
    for (TSection& each : FSections)
        if (each.HasHeader && !each.Deleted && Lower(each.Name) == lower)
            each.Deleted = true;
    FSectionIndex.erase(it);
    return true;
}

TIniDocument::TSection* TIniDocument::FindSection(const std::string& name) {
    const auto it = FSectionIndex.find(Lower(name));
    return it == FSectionIndex.end() ? nullptr : &FSections[it->second];
}

const TIniDocument::TSection* TIniDocument::FindSection(const std::string& name) const {
    const auto it = FSectionIndex.find(Lower(name));
    return it == FSectionIndex.end() ? nullptr : &FSections[it->second];
}

TIniDocument::TSection& TIniDocument::AddSection(const std::string& name) {
    FSections.push_back(TSection{});
    FSections.back().Name = name;
    FSectionIndex.emplace(Lower(name), FSections.size() - 1);
    return FSections.back();
}

void TIniDocument::AddLine(TSection& section, TLine line) {
    if (line.IsKey && !section.Keys.emplace(Lower(line.Key), section.Lines.size()).second)
        section.HasDuplicateKeys = true;
    section.Lines.push_back(std::move(line));
}
