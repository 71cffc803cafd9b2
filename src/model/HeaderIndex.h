// The header index: what the entries of one account keep, saved between runs so that a start
// fetches only the headers of messages it has not seen before.
#pragma once

#include "model/StoreRecords.h"

#include <string>
#include <vector>

struct TIndexedEntry {
    std::string UID;
    std::string MessageID;
    TEntryFields Fields;
    bool operator==(const TIndexedEntry&) const = default;
};

// The index as the file holds it: a line naming the format and its version, one line per
// entry, and an end line with the count, so that a file cut short is never taken whole.
std::string HeaderIndexText(const std::vector<TIndexedEntry>& entries);
// The same text in pieces, for a writer that takes the entries a few at a time.
std::string HeaderIndexStart();
void AppendIndexEntry(std::string& text, const std::string& uid, const std::string& messageId,
                      const TEntryFields& fields);
void AppendIndexEnd(std::string& text, size_t count);
// False, with entries empty, for text that is not a whole index of this version: the index
// is a cache, and one that may be damaged is dropped and made again.
bool ParseHeaderIndex(const std::string& text, std::vector<TIndexedEntry>& entries);
