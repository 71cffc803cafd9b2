// The cache folder: one file per downloaded message, named after its account and unique id.
#include "cache/CacheFiles.h"

#include "core/Folders.h"
#include "core/MD5Hex.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

const char* const ReadFailure = "The cache file could not be read:";
const char* const WriteFailure = "The cache file could not be written:";

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string CacheKey(const std::string& account, const std::string& uid) {
    // The separator keeps "ab"+"c" apart from "a"+"bc".
    return MD5Hex(account + '\0' + Lower(uid));
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A file being written: "." + the cache file's name + "." + six letters or digits. It never
// ends in ".dat", so it is never read or kept as a cache file.
bool IsTemporaryName(const std::string& name) {
    return name.size() > 12 && name[0] == '.' && name.compare(name.size() - 11, 5, ".dat.") == 0;
}

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
    throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(error));
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// An entry that is not a plain file of ours (a link, a pipe, a folder, someone else's file)
// is never read: the message is fetched again and the write replaces the entry.
bool OwnPlainFile(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_uid == geteuid() && info.st_nlink == 1;
}

} // namespace

std::string CacheFileName(const std::string& account, const std::string& uid) {
    return CacheFolder() + "/" + CacheKey(account, uid) + ".dat";
}

bool ReadCacheFile(const std::string& path, TCacheFile& file) {
    // Non-blocking, so that a pipe put in the file's place cannot hang the open.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat info {};
        if (lstat(path.c_str(), &info) == 0 && OwnPlainFile(info))
            Fail(ReadFailure, path, error);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        Fail(ReadFailure, path, error);
    }
    if (!OwnPlainFile(info)) {
        close(fd);
        return false;
    }
    // Read straight into one string of the file's size: a message of hundreds of megabytes
    // is held once while it is read.
    std::string all;
    all.reserve(static_cast<size_t>(std::max<off_t>(info.st_size, 0)));
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            close(fd);
            Fail(ReadFailure, path, error);
        }
        all.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    // Without its flag byte the file is no copy of a message.
    if (all.empty() || (all[0] != 0 && all[0] != 1))
        return false;
    file.Complete = all[0] == 1;
    all.erase(0, 1);
    file.Text = std::move(all);
    return true;
}

void WriteCacheFile(const std::string& path, bool complete, const std::string& text) {
    const std::filesystem::path target(path);
    const std::string folder =
        target.has_parent_path() ? target.parent_path().string() : std::string(".");
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    // Written beside the target and renamed over it, so that a full disk or a crash never
    // leaves a cut-off copy marked complete. mkostemp creates it exclusively (mode 0600),
    // which never follows a link put in its place.
    std::string temp = folder + "/." + target.filename().string() + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        Fail(WriteFailure, path, errno);
    const char flag = complete ? 1 : 0;
    bool ok = WriteAll(fd, &flag, 1) && WriteAll(fd, text.data(), text.size()) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        Fail(WriteFailure, path, error);
    }
    // The rename itself survives a power loss only once the folder is synced.
    const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
}

void RemoveStaleCacheFiles(const std::unordered_set<std::string>& kept) {
    std::unordered_set<std::string> keptNames;
    for (const std::string& path : kept)
        keptNames.insert(Lower(std::filesystem::path(path).filename().string()));
    std::error_code error;
    std::vector<std::filesystem::path> stale;
    for (const auto& file : std::filesystem::directory_iterator(CacheFolder(), error)) {
        const std::string name = file.path().filename().string();
        // Files of the former naming (the bare key) are stale as well, and so is whatever a
        // crash left half written.
        if ((EndsWith(name, ".dat") && !keptNames.count(Lower(name))) || IsTemporaryName(name))
            stale.push_back(file.path());
    }
    for (const auto& file : stale)
        std::filesystem::remove(file, error);
}
