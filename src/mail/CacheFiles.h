// The cache folder: one file per downloaded message, named after its unique id.
#pragma once

#include "core/UOptions.h"

#include <string>
#include <vector>

// AppPath/cache/<uid>.dat: the cached copy of a message.
std::string CacheFileName(const std::string& uid);

// Deletes every cache file whose message no account's server list holds any more;
// other files in the folder stay.
void RemoveStaleCacheFiles(const std::vector<TAccount>& accounts);
