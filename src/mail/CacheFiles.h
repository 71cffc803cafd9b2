// The cache folder: one file per downloaded message, named after its account and unique id.
#pragma once

#include "core/UOptions.h"

#include <string>
#include <vector>

// AppPath/cache/<md5 of account and uid>.dat: the cached copy of a message. Two accounts
// whose servers give one unique id never share a file.
std::string CacheFileName(const std::string& account, const std::string& uid);

// The cached copy: its first byte (1 = the whole message) and the message text.
struct TCacheFile {
    bool Complete = false;
    std::string Text;
};

// Reads a cache file; false when it does not exist. Throws std::runtime_error naming the
// file and the system's reason when it exists but cannot be read.
bool ReadCacheFile(const std::string& path, TCacheFile& file);
// Replaces a cache file with a new one; throws std::runtime_error naming the file and
// the system's reason when it cannot be written.
void WriteCacheFile(const std::string& path, bool complete, const std::string& text);

// Deletes every cache file whose message no account's server list holds any more
// (files of other names ending in ".dat" included); other files in the folder stay.
void RemoveStaleCacheFiles(const std::vector<TAccount>& accounts);
