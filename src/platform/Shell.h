// The desktop's handlers: links, local files and detached programs.
#pragma once

#include <string>
#include <vector>

// Opens a URL (mailto:, https:) with the desktop's handler; false when none took it.
bool OpenUrl(const std::string& url);
// Opens a local file with the desktop's handler; a missing file opens nothing.
bool OpenLocalFile(const std::string& path);
// Starts a program that outlives this one; false when it is missing or cannot start.
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments);
