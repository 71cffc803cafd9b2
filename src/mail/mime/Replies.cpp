// What a reply is addressed to, and mailto links made safe to hand to the desktop.
#include "mime/Replies.h"

#include "core/Global.h"
#include "mime/MessageFields.h"

#include <cctype>
#include <string>
#include <strings.h>

namespace {

// The value of the first header called name (with its colon), "" when there is none.
std::string HeaderValue(const std::vector<std::string>& headers, const char* name) {
    const size_t length = std::char_traits<char>::length(name);
    for (const std::string& header : headers)
        if (header.size() >= length && strncasecmp(header.c_str(), name, length) == 0)
            return header.substr(length);
    return "";
}

// A parameter name with its %XX escapes decoded, so that an escaped name is known too.
std::string DecodedName(const std::string& name) {
    std::string decoded;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size() &&
            isxdigit(static_cast<unsigned char>(name[i + 1])) &&
            isxdigit(static_cast<unsigned char>(name[i + 2]))) {
            decoded += static_cast<char>(std::stoi(name.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else
            decoded += name[i];
    }
    return decoded;
}

} // namespace

std::vector<std::string> ReplyAddresses(const TQBMessage& message, bool all,
                                        const std::string& ownAddress) {
    std::vector<std::string> addresses;
    const std::string own = TrimControl(ownAddress);
    auto add = [&](const std::string& raw) {
        const std::string address = TrimControl(raw);
        if (address.empty() || (!own.empty() && SameText(address, own)))
            return;
        for (const std::string& known : addresses)
            if (SameText(known, address))
                return;
        addresses.push_back(address);
    };
    const std::string replyTo = HeaderValue(message.Headers, "reply-to:");
    if (TrimControl(replyTo).empty())
        add(message.From.Address);
    else
        for (const TQBContact& contact : ParseAddressList(replyTo))
            add(contact.Address);
    if (all)
        for (const auto* list : {&message.To, &message.CC})
            for (const TQBContact& contact : *list)
                add(contact.Address);
    return addresses;
}

std::string SafeMailtoUrl(const std::string& url) {
    const size_t query = url.find('?');
    if (query == std::string::npos || strncasecmp(url.c_str(), "mailto:", 7) != 0)
        return url;
    std::string safe = url.substr(0, query);
    char separator = '?';
    size_t start = query + 1;
    while (start <= url.size()) {
        size_t end = url.find('&', start);
        if (end == std::string::npos)
            end = url.size();
        const std::string parameter = url.substr(start, end - start);
        const std::string name = DecodedName(parameter.substr(0, parameter.find('=')));
        if (!parameter.empty() && strcasecmp(name.c_str(), "attach") != 0 &&
            strcasecmp(name.c_str(), "attachment") != 0) {
            safe += separator + parameter;
            separator = '&';
        }
        start = end + 1;
    }
    return safe;
}
