// Pieces of IMAP commands: UID sets, strings as arguments, the SASL PLAIN response.
#include "IMAPCommand.h"

#include <algorithm>

std::vector<std::string> IMAPUIDSets(std::vector<uint32_t> uids, size_t batchSize) {
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    std::vector<std::string> sets;
    for (size_t start = 0; start < uids.size(); start += batchSize) {
        size_t end = std::min(uids.size(), start + batchSize);
        std::string set;
        for (size_t i = start; i < end;) {
            size_t last = i;
            while (last + 1 < end && uids[last + 1] == uids[last] + 1)
                ++last;
            if (!set.empty())
                set += ',';
            set += std::to_string(uids[i]);
            if (last > i)
                set += ':' + std::to_string(uids[last]);
            i = last + 1;
        }
        sets.push_back(set);
    }
    return sets;
}

bool IMAPQuoted(const std::string& text, std::string& quoted) {
    quoted = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == 0 || c == '\r' || c == '\n' || byte >= 0x80)
            return false;
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return true;
}

std::string SASLPlainResponse(const std::string& user, const std::string& password) {
    static const char Alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string message = std::string(1, '\0') + user + std::string(1, '\0') + password;
    std::string encoded;
    for (size_t i = 0; i < message.size(); i += 3) {
        uint32_t block = static_cast<uint32_t>(static_cast<unsigned char>(message[i])) << 16;
        size_t left = message.size() - i;
        if (left > 1)
            block |= static_cast<uint32_t>(static_cast<unsigned char>(message[i + 1])) << 8;
        if (left > 2)
            block |= static_cast<unsigned char>(message[i + 2]);
        encoded += Alphabet[(block >> 18) & 63];
        encoded += Alphabet[(block >> 12) & 63];
        encoded += left > 1 ? Alphabet[(block >> 6) & 63] : '=';
        encoded += left > 2 ? Alphabet[block & 63] : '=';
    }
    return encoded;
}
