// Pieces of IMAP commands: UID sets, strings as arguments, the SASL PLAIN response.
#include "IMAPCommand.h"

#include "core/Base64.h"

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
    return Base64Encode(std::string(1, '\0') + user + std::string(1, '\0') + password);
}
