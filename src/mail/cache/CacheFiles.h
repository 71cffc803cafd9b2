// The cache folder: one file per downloaded message, named after its account and unique id.
#pragma once

#include <string>
#include <unordered_set>

// <cache folder>/<md5 of account and uid>.dat: the cached copy of a message. Two accounts
// whose servers give one unique id never share a file.
std::string CacheFileName(const std::string& account, const std::string& uid);

// The cached copy: its first byte (1 = the whole message) and the message text.
struct TCacheFile {
    bool Complete = false;
    std::string Text;
};

// Reads a cache file; false when there is none: no entry, or one that is not a plain file
// of the current user (a link, a pipe, a folder) or holds no flag byte. Throws
// std::runtime_error naming the file and the system's reason when it cannot be read.
bool ReadCacheFile(const std::string& path, TCacheFile& file);
// Replaces a cache file, or a link in its place, with a new one, whole or not at
// all; throws std::runtime_error naming the file and the system's reason when it cannot be
// written, and then the former file stays as it was.
void WriteCacheFile(const std::string& path, bool complete, const std::string& text);

// Deletes every cache file not named in kept (full paths of CacheFileName: the messages
// still on a server), files of other names ending in ".dat" included, and files a write
// left behind when it was cut off; other files in the folder stay.
void RemoveStaleCacheFiles(const std::unordered_set<std::string>& kept);
