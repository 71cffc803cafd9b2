// Parsing of POP3 reply lines: status, message size, APOP timestamp, dot-unstuffing.
#include "POP3Reply.h"

#include <algorithm>
#include <climits>

namespace {

std::string TrimBlanks(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

bool SameAscii(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (x != y)
            return false;
    }
    return i == a.size() && !b[i];
}

} // namespace

TPOP3Reply ParseReplyLine(const std::string& line) {
    TPOP3Reply reply;
    reply.Status = TrimBlanks(line.substr(0, 4));
    if (line.size() > 4) {
        reply.Text = line.substr(4);
        if (!reply.Text.empty() && reply.Text[0] == ' ')
            reply.Text.erase(0, 1);
    }
    if (SameAscii(reply.Status, "+OK"))
        reply.Code = TPOP3Status::OK;
    else if (SameAscii(reply.Status, "-ERR"))
        reply.Code = TPOP3Status::Err;
    return reply;
}

int ParseMessageNumber(const std::string& text) {
    const size_t end = std::min(text.find(' '), text.size());
    if (end == 0 || end > 9)
        return -1;
    int value = 0;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

TListingLine ParseListingLine(const std::string& line) {
    const char* const blanks = " \t";
    TListingLine fields;
    const size_t start = line.find_first_not_of(blanks);
    if (start == std::string::npos)
        return fields;
    const size_t end = line.find_last_not_of(blanks) + 1;
    const size_t numberEnd = std::min(line.find_first_of(blanks, start), end);
    fields.Number = ParseMessageNumber(line.substr(start, numberEnd - start));
    const size_t value = line.find_first_not_of(blanks, numberEnd);
    if (value < end)
        fields.Value = line.substr(value, end - value);
    return fields;
}

int ParseMessageSize(const std::string& text) {
    size_t blank = text.find(' ');
    if (text.empty() || blank == std::string::npos)
        return -1;
    std::string number = text.substr(blank + 1);
    size_t i = 0;
    bool negative = false;
    if (i < number.size() && (number[i] == '-' || number[i] == '+'))
        negative = number[i++] == '-';
    if (i == number.size())
        return -1;
    long long value = 0;
    for (; i < number.size(); ++i) {
        if (number[i] < '0' || number[i] > '9')
            return -1;
        value = value * 10 + (number[i] - '0');
        if (value > INT_MAX)
            return -1;
    }
    return static_cast<int>(negative ? -value : value);
}

std::string APOPTimestamp(const std::string& greetingText) {
    size_t open = greetingText.find('<');
    if (open == std::string::npos)
        return "";
    size_t close = greetingText.find('>', open);
    if (close == std::string::npos)
        return "";
    return greetingText.substr(open, close - open + 1);
}

std::string UnstuffDot(const std::string& line) {
    if (line.size() >= 2 && line[0] == '.' && line[1] == '.')
        return line.substr(1);
    return line;
}
