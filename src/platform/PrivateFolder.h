// A folder of the user's own (mode 0700) for attachments written to be opened.
#pragma once

#include <string>

// The folder, created when needed: under $XDG_RUNTIME_DIR, else a temporary folder of
// this process. Throws std::runtime_error when no safe folder can be had.
std::string PrivateFolder();
// Writes data as a new file named name (a bare name) in the private folder; where that
// name is taken (by a file or a link, never followed), by the first free numbered name
// ("name (2).ext"). Returns the file's path; throws std::runtime_error with the path and
// the system's reason on failure.
std::string WritePrivateFile(const std::string& name, const std::string& data);
