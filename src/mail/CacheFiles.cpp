// The cache folder: one file per downloaded message, named after its account and unique id.
#include "mail/CacheFiles.h"

#include "core/UGlobal.h"
#include "mail/MD5Hex.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unordered_set>

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string CacheKey(const std::string& account, const std::string& uid) {
    // The separator keeps "ab"+"c" apart from "a"+"bc".
    return MD5Hex(account + '\0' + Lower(uid));
}

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

} // namespace

std::string CacheFileName(const std::string& account, const std::string& uid) {
    return AppPath + "/cache/" + CacheKey(account, uid) + ".dat";
}

bool ReadCacheFile(const std::string& path, TCacheFile& file) {
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return false;
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail("The cache file could not be read:", path);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        Fail("The cache file could not be read:", path);
    file.Complete = !all.empty() && all[0] == 1;
    file.Text = all.empty() ? std::string() : all.substr(1);
    return true;
}

void WriteCacheFile(const std::string& path, bool complete, const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    std::filesystem::remove(path, error);
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        Fail("The cache file could not be written:", path);
    out.put(complete ? 1 : 0);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out)
        Fail("The cache file could not be written:", path);
}

void RemoveStaleCacheFiles(const std::vector<TAccount>& accounts) {
    std::unordered_set<std::string> kept;
    for (const TAccount& account : accounts)
        for (const std::string& uid : account.ServerList)
            kept.insert(CacheKey(account.AccountName, uid));
    std::error_code error;
    std::vector<std::filesystem::path> stale;
    for (const auto& file : std::filesystem::directory_iterator(AppPath + "/cache", error)) {
        const std::string name = file.path().filename().string();
        // Files of the former naming (the bare key) are stale as well.
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".dat") == 0 &&
            !kept.count(Lower(name.substr(0, name.size() - 4))))
            stale.push_back(file.path());
    }
    for (const auto& file : stale)
        std::filesystem::remove(file, error);
}
