// Where the program's files live: beside the program (portable) or in the user's XDG
// folders.
#include "core/Folders.h"

#include "core/Global.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

TFolderLayout Layout;

bool IsDirectory(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(path, ignored);
}

// A folder made here is the user's alone; one that was there keeps its rights.
void MakePrivateFolder(const std::string& path) {
    std::error_code ignored;
    if (std::filesystem::create_directories(path, ignored))
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
}

} // namespace

std::string XdgHome(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/" + fallback;
}

TFolderLayout ChooseFolders(const std::string& appPath) {
    TFolderLayout layout;
    std::error_code ignored;
    layout.Portable = std::filesystem::is_regular_file(appPath + "/quillbar.ini", ignored) &&
                      access(appPath.c_str(), W_OK) == 0;
    if (layout.Portable) {
        layout.Config = appPath;
        layout.Cache = appPath + "/cache";
        layout.Shipped = appPath;
        return layout;
    }
    layout.Config = XdgHome("XDG_CONFIG_HOME", ".config") + "/quillbar";
    layout.Cache = XdgHome("XDG_CACHE_HOME", ".cache") + "/quillbar";
    layout.UserSkins = XdgHome("XDG_DATA_HOME", ".local/share") + "/quillbar/skins";
    layout.Shipped = IsDirectory(appPath + "/Skins") ? appPath : appPath + "/../share/quillbar";
    return layout;
}

void InitFolders() {
    SetFolders(ChooseFolders(AppPath));
}

void SetFolders(const TFolderLayout& layout) {
    Layout = layout;
}

void MakeSettingsFolder() {
    if (!Layout.Portable)
        MakePrivateFolder(Layout.Config);
}

void MakeCacheFolder() {
    MakePrivateFolder(CacheFolder());
}

bool InstalledCopy() {
    return !Layout.Portable && Layout.Shipped != AppPath;
}

std::string SettingsFolder() {
    return Layout.Portable ? AppPath : Layout.Config;
}

std::string CacheFolder() {
    return Layout.Portable ? AppPath + "/cache" : Layout.Cache;
}

std::string HelpFile() {
    return (Layout.Portable ? AppPath : Layout.Shipped) + "/quillbar.html";
}

std::vector<std::string> SkinFolders() {
    if (Layout.Portable)
        return {AppPath + "/Skins"};
    // A build tree keeps the shipped skins as the portable copy does; an install in lower case.
    const std::string shipped = Layout.Shipped + (Layout.Shipped == AppPath ? "/Skins" : "/skins");
    return {Layout.UserSkins, shipped};
}

std::string SkinFolder(const std::string& name) {
    const std::vector<std::string> folders = SkinFolders();
    for (const std::string& folder : folders)
        if (IsDirectory(folder + "/" + name))
            return folder + "/" + name;
    return folders.front() + "/" + name;
}
