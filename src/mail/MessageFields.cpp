// Address and Received parses for the message object.
#include "mail/MessageFields.h"

#include "core/UGlobal.h"

#include <strings.h>

TQBContact ParseAddress(const std::string& value) {
    TQBContact contact;
    std::string text = value;
    const size_t quote = text.find('"');
    if (quote != std::string::npos) {
        text.erase(0, quote + 1);
        const size_t close = text.find('"');
        if (close != std::string::npos) {
            contact.Name = text.substr(0, close);
            text.erase(0, close + 1);
        }
    }
    const size_t open = text.find('<');
    if (open == std::string::npos) {
        contact.Address = text;
        return contact;
    }
    const size_t close = text.find('>', open + 1);
    if (close != std::string::npos)
        contact.Address = text.substr(open + 1, close - open - 1);
    return contact;
}

std::vector<TQBContact> ParseAddressList(const std::string& value) {
    std::vector<TQBContact> contacts;
    for (const std::string& piece : Split(value, ","))
        contacts.push_back(ParseAddress(piece));
    return contacts;
}

namespace {

// Takes the values of one Received line into entry; fields it lacks stay as they were.
void ReadReceivedLine(std::string text, TQBReceived& entry) {
    text += " by via";
    const size_t bracket = text.find('[');
    if (bracket != std::string::npos && bracket < text.find("by") && bracket < text.find("via")) {
        text.erase(0, bracket + 1);
        const size_t close = text.find(']');
        if (close != std::string::npos)
            entry.IP = text.substr(0, close);
    }
    const size_t forAt = text.find("for ");
    if (forAt == std::string::npos)
        return;
    const size_t open = text.find('<', forAt + 4);
    if (open == std::string::npos)
        return;
    const size_t close = text.find('>', open + 1);
    if (close != std::string::npos)
        entry.For = text.substr(open + 1, close - open - 1);
}

} // namespace

void ScanReceived(const std::vector<std::string>& headers, TQBReceived (&received)[2]) {
    int count = 0;
    for (const std::string& line : headers) {
        if (line.size() < 10 || strncasecmp(line.c_str(), "received: ", 10) != 0)
            continue;
        if (++count == 3)
            break;
        if (count == 2)
            received[1] = received[0];
        ReadReceivedLine(line, received[0]);
    }
}

std::string MessageIdOf(const std::vector<std::string>& lines) {
    static const char Name[] = "message-id:";
    const size_t nameLength = sizeof(Name) - 1;
    std::string value;
    bool inValue = false;
    for (const std::string& line : lines) {
        if (line.empty())
            break;
        const bool continued = line[0] == ' ' || line[0] == '\t';
        if (inValue && continued) {
            value += line;
            continue;
        }
        if (inValue)
            break;
        if (line.size() >= nameLength && strncasecmp(line.c_str(), Name, nameLength) == 0) {
            value = line.substr(nameLength);
            inValue = true;
        }
    }
    const size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}
