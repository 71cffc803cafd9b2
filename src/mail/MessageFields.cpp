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
