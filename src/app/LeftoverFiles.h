// Temporary files that an interrupted save of the settings left beside them.
#pragma once

#include <filesystem>
#include <string>

// Removes the temporary copies of settingsFile (".<name>.XXXXXX" in its folder) last
// written before since. Call while holding the single-instance lock, so that no other
// copy can be in the middle of a save.
void RemoveLeftoverSaves(const std::string& settingsFile, std::filesystem::file_time_type since);
