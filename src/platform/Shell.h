// The desktop's handlers: links and local files.
#pragma once

#include <string>

// Opens a URL (mailto:, https:) with the desktop's handler; false when none took it.
bool OpenUrl(const std::string& url);
// Opens a local file with the desktop's handler; a missing file opens nothing.
bool OpenLocalFile(const std::string& path);
