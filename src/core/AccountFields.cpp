// Checks and cuts of the texts a user types into an account's fields.
#include "core/AccountFields.h"

std::string CutField(const std::string& text, size_t max) {
    if (text.size() <= max)
        return text;
    size_t end = max;
    // Step back over continuation bytes to the start of the sequence that was cut.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::string AccountNameProblem(const std::string& name, const TStringList& taken) {
    if (name.empty())
        return "Please enter an account name.";
    if (name.front() == ' ' || name.back() == ' ' || name.front() == '\t' || name.back() == '\t')
        return "An account name cannot begin or end with a blank.";
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        // These would end the section name or split a key in the settings file.
        if (c == '[' || c == ']' || c == '=' || byte < 0x20 || byte == 0x7F)
            return "An account name cannot contain [, ], = or control characters.";
    }
    if (IndexOfText(taken, name) >= 0)
        return "There is already an account named '" + name + "'.";
    return {};
}
