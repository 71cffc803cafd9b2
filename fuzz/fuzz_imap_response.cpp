// Fuzz target for the IMAP response reader: framing of lines and literals, then the parser.
#include "imap/IMAPResponse.h"
#include "net/MailError.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

// Every literal and every list item accounted for: a cheap check on the tree the parser built.
size_t CountItems(const std::vector<TIMAPItem>& items) {
    size_t count = items.size();
    for (const TIMAPItem& item : items)
        count += CountItems(item.Items);
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    while (!bytes.empty()) {
        TIMAPRawResponse raw;
        size_t used = SplitIMAPResponse(bytes, raw);
        if (used == 0 || used > bytes.size())
            break;
        bytes.remove_prefix(used);
        const size_t lineSize = raw.Line.size();
        try {
            TIMAPResponse response = ParseIMAPResponse(std::move(raw));
            if (CountItems(response.Items) > lineSize + 1)
                __builtin_trap();
            if (response.Kind == TIMAPResponse::TKind::Tagged && response.Name != "OK" &&
                response.Name != "NO" && response.Name != "BAD")
                __builtin_trap();
        } catch (const EMailError&) {
        }
        IMAPWords(bytes.substr(0, 256));
    }
    return 0;
}
