// Error texts that carry their cause, in the one form "text (cause)".
#include "ErrorCause.h"

std::string WithCause(const std::string& text, const std::string& cause) {
    std::string clean;
    for (char c : cause)
        if (static_cast<unsigned char>(c) >= ' ' && c != '\x7f')
            clean += c;
    if (clean.size() > MaxCauseLength) {
        size_t end = MaxCauseLength;
        // Never end inside a UTF-8 sequence: the cut is shown as text.
        while (end > 0 && (static_cast<unsigned char>(clean[end]) & 0xC0) == 0x80)
            --end;
        clean.resize(end);
    }
    while (!clean.empty() && clean.back() == ' ')
        clean.pop_back();
    if (!clean.empty() && clean.back() == '.')
        clean.pop_back();
    size_t first = clean.find_first_not_of(' ');
    if (first == std::string::npos)
        return text;
    return text + " (" + clean.substr(first) + ")";
}
