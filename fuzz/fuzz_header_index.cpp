// Fuzz target: header index text either is refused or parses to entries that save to the
// same text again.
#include "model/HeaderIndex.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<TIndexedEntry> entries;
    if (!ParseHeaderIndex(text, entries))
        return entries.empty() ? 0 : (std::abort(), 0);
    std::vector<TIndexedEntry> again;
    if (!ParseHeaderIndex(HeaderIndexText(entries), again) || again != entries)
        std::abort();
    return 0;
}
