// The header index: what the entries of one account keep, saved between runs.
#include "model/HeaderIndex.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

const char* const FirstLine = "Quillbar header index 2";
const char* const EndWord = "end ";
const size_t FixedFields = 11; // before the recipients, one field each

// Tabs and line breaks would end a field or an entry; decoded header text may hold them.
void AppendEscaped(std::string& out, const std::string& field) {
    if (field.find_first_of("\\\t\n\r") == std::string::npos) {
        out += field; // nearly every field
        return;
    }
    for (const char c : field) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

bool Unescape(std::string_view field, std::string& out) {
    out.clear();
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size())
            return false;
        switch (field[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return false;
        }
    }
    return true;
}

template <class TNumber> bool ParseNumber(std::string_view text, TNumber& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

template <class TNumber> void AppendNumber(std::string& out, TNumber value) {
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

bool ParseEntry(std::string_view line, TIndexedEntry& entry) {
    const std::vector<std::string_view> fields = SplitTabs(line);
    if (fields.size() < FixedFields)
        return false;
    TEntryFields& f = entry.Fields;
    int unreadable = 0;
    if (!Unescape(fields[0], entry.UID) || entry.UID.empty() || !ParseNumber(fields[1], f.Size) ||
        !ParseNumber(fields[2], f.Date) || !ParseNumber(fields[3], f.Priority) ||
        !ParseNumber(fields[4], unreadable) || !Unescape(fields[5], entry.MessageID) ||
        !Unescape(fields[6], f.Subject) || !Unescape(fields[7], f.From) ||
        !Unescape(fields[8], f.FromName) || !Unescape(fields[9], f.To) ||
        !Unescape(fields[10], f.DateText))
        return false;
    if (!std::isfinite(f.Date))
        return false;
    f.Unreadable = unreadable != 0;
    for (size_t i = FixedFields; i < fields.size(); ++i)
        if (!Unescape(fields[i], f.Recipients.emplace_back()))
            return false;
    return true;
}

} // namespace

std::string HeaderIndexStart() {
    return std::string(FirstLine) + "\n";
}

void AppendIndexEntry(std::string& text, const std::string& uid, const std::string& messageId,
                      const TEntryFields& f) {
    AppendEscaped(text, uid);
    text += '\t';
    AppendNumber(text, f.Size);
    text += '\t';
    AppendNumber(text, f.Date);
    text += '\t';
    AppendNumber(text, f.Priority);
    text += f.Unreadable ? "\t1\t" : "\t0\t";
    for (const std::string* field :
         {&messageId, &f.Subject, &f.From, &f.FromName, &f.To, &f.DateText}) {
        AppendEscaped(text, *field);
        text += '\t';
    }
    text.pop_back();
    for (const std::string& recipient : f.Recipients) {
        text += '\t';
        AppendEscaped(text, recipient);
    }
    text += '\n';
}

void AppendIndexEnd(std::string& text, size_t count) {
    text += EndWord + std::to_string(count) + "\n";
}

std::string HeaderIndexText(const std::vector<TIndexedEntry>& entries) {
    std::string text = HeaderIndexStart();
    for (const TIndexedEntry& entry : entries)
        AppendIndexEntry(text, entry.UID, entry.MessageID, entry.Fields);
    AppendIndexEnd(text, entries.size());
    return text;
}

bool ParseHeaderIndex(const std::string& text, std::vector<TIndexedEntry>& entries) {
    entries.clear();
    std::string_view rest(text);
    auto nextLine = [&rest](std::string_view& line) {
        const size_t end = rest.find('\n');
        if (end == std::string_view::npos)
            return false; // every line ends in LF: a file cut short is not whole
        line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        return true;
    };
    std::string_view line;
    if (!nextLine(line) || line != FirstLine)
        return false;
    std::vector<TIndexedEntry> read;
    while (nextLine(line)) {
        if (line.substr(0, 4) == EndWord) {
            size_t count = 0;
            if (!ParseNumber(line.substr(4), count) || count != read.size() || !rest.empty())
                return false;
            entries = std::move(read);
            return true;
        }
        if (!ParseEntry(line, read.emplace_back()))
            return false;
    }
    return false;
}
