// The cache folder: one file per downloaded message, named after its unique id.
#include "mail/CacheFiles.h"

#include "core/UGlobal.h"

#include <cctype>
#include <filesystem>
#include <unordered_set>

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::string CacheFileName(const std::string& uid) {
    return AppPath + "/cache/" + uid + ".dat";
}

void RemoveStaleCacheFiles(const std::vector<TAccount>& accounts) {
    // Keys are hexadecimal digests; file names and lists may differ in case.
    std::unordered_set<std::string> onServer;
    for (const TAccount& account : accounts)
        for (const std::string& uid : account.ServerList)
            onServer.insert(Lower(uid));
    std::error_code error;
    std::vector<std::filesystem::path> stale;
    for (const auto& file : std::filesystem::directory_iterator(AppPath + "/cache", error)) {
        const std::string name = file.path().filename().string();
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".dat") == 0 &&
            !onServer.count(Lower(name.substr(0, name.size() - 4))))
            stale.push_back(file.path());
    }
    for (const auto& file : stale)
        std::filesystem::remove(file, error);
}
