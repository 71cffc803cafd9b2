// Temporary files of interrupted settings saves.
#include "app/LeftoverFiles.h"

namespace fs = std::filesystem;

void RemoveLeftoverSaves(const std::string& settingsFile, fs::file_time_type since) {
    const fs::path settings(settingsFile);
    // The settings writer names its temporary file "." + name + "." + six mkstemp letters.
    const std::string prefix = "." + settings.filename().string() + ".";
    constexpr size_t UniqueLength = 6;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(settings.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + UniqueLength || name.compare(0, prefix.size(), prefix))
            continue;
        std::error_code ignored;
        // A link or folder of that name is not ours to remove.
        if (!entry.is_regular_file(ignored) || entry.is_symlink(ignored))
            continue;
        if (entry.last_write_time(ignored) < since)
            fs::remove(entry.path(), ignored);
    }
}
