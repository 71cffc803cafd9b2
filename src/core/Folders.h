// Where the program's files live: beside the program (portable) or in the user's XDG
// folders, decided once at start-up.
#pragma once

#include <string>
#include <vector>

struct TFolderLayout {
    // Everything beside the program, as a copy run from its own folder keeps it.
    bool Portable = true;
    std::string Config;    // the settings file
    std::string Cache;     // the message cache
    std::string UserSkins; // skins of the user's own, searched before the shipped ones
    std::string Shipped;   // shipped skins and help; only ever read
};

// The folder an XDG variable names ("XDG_CONFIG_HOME", say), or $HOME/fallback when it is
// unset or not an absolute path, which XDG folders must be.
std::string XdgHome(const char* variable, const char* fallback);

// Portable when quillbar.ini stands in appPath and the user may write there; otherwise the
// XDG folders of the environment (XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_DATA_HOME, HOME).
// The shipped files are beside the program when its Skins folder is (a build tree),
// else in ../share/quillbar as installed.
TFolderLayout ChooseFolders(const std::string& appPath);

// Chooses the layout for AppPath. Until then, and in tests, the layout is portable and
// follows AppPath.
void InitFolders();
// Uses layout from now on; a default one is portable.
void SetFolders(const TFolderLayout& layout);
// Makes the settings folder of the XDG layout, private to the user.
void MakeSettingsFolder();
// Makes the cache folder, private to the user: it holds whole messages.
void MakeCacheFolder();
// True when the program runs from an installed copy rather than its own folder or build.
bool InstalledCopy();

std::string SettingsFolder();
std::string CacheFolder();
std::string HelpFile();
// Skin folders in search order; a name found in an earlier one hides a later one.
std::vector<std::string> SkinFolders();
// The folder of the skin name: where it is found first, else under the first skin folder.
std::string SkinFolder(const std::string& name);
