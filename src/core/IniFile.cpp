// Profile (INI) file access over TIniDocument, with atomic write-through.
#include "IniFile.h"

#include "IniDocument.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A single value is handed out with at most this many characters.
constexpr size_t MaxValueLength = 2047;

enum class TLoadResult { Missing, Read, Unreadable };

// error: the cause when the file is unreadable.
TLoadResult LoadFile(const std::string& path, TIniDocument& doc, int& error) {
    doc.Parse({});
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return error == ENOENT ? TLoadResult::Missing : TLoadResult::Unreadable;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            close(fd);
            return TLoadResult::Unreadable;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    doc.Parse(bytes);
    return TLoadResult::Read;
}

// 0, or the cause of the failure.
int WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// Writes a temporary file beside the target, syncs it and renames it over the
// target, then syncs the folder so the rename itself survives a power loss.
// Returns 0, or the cause of the failure.
int ReplaceFile(const std::string& path, const std::string& bytes) {
    std::string target = path;
    char resolved[PATH_MAX];
    struct stat info {};
    const bool exists = lstat(path.c_str(), &info) == 0;
    // Replace what a symbolic link points at, not the link itself.
    if (exists && S_ISLNK(info.st_mode) && realpath(path.c_str(), resolved))
        target = resolved;
    const bool targetExists = stat(target.c_str(), &info) == 0;

    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return errno;
    // Keep the mode of an existing file; a new one holds passwords, so only the owner reads it.
    fchmod(fd, targetExists ? (info.st_mode & 07777) : 0600);
    int error = WriteAll(fd, bytes);
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(temp.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        unlink(temp.c_str());
        return error;
    }
    // A folder that cannot be opened or synced (some file systems refuse it) leaves the
    // rename to the system's next flush; only a failing write-out counts.
    const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        if (fsync(dirFd) != 0 && errno != EINVAL)
            error = errno;
        close(dirFd);
    }
    return error;
}

bool ValidKey(const std::string& key) {
    // Such a key would read back as a different key, a comment or a section.
    return !key.empty() && key.find_first_of("=\r\n") == std::string::npos && key[0] != '[' &&
           key[0] != ';' && key.front() != ' ' && key.back() != ' ';
}

bool ValidSection(const std::string& section) {
    return section.find_first_of("\r\n") == std::string::npos;
}

// A line break inside a value would split it into lines of its own.
std::string OneLine(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value)
        if (c != '\r' && c != '\n')
            out += c;
    return out;
}

bool ParseInteger(const std::string& text, int& value) {
    std::string digits = text;
    while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t'))
        digits.pop_back();
    size_t at = 0;
    while (at < digits.size() && (digits[at] == ' ' || digits[at] == '\t'))
        ++at;
    bool negative = false;
    if (at < digits.size() && (digits[at] == '-' || digits[at] == '+'))
        negative = digits[at++] == '-';
    int base = 10;
    if (digits.compare(at, 1, "$") == 0) {
        base = 16;
        at += 1;
    } else if (digits.size() > at + 1 && digits[at] == '0' &&
               (digits[at + 1] == 'x' || digits[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at >= digits.size())
        return false;
    unsigned long long magnitude = 0;
    for (; at < digits.size(); ++at) {
        const char c = digits[at];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (magnitude > 0xFFFFFFFFull)
            return false;
    }
    if (base == 10) {
        // Decimal must fit a signed 32-bit value.
        if (magnitude > (negative ? 2147483648ull : 2147483647ull))
            return false;
        value = negative ? static_cast<int>(-static_cast<long long>(magnitude))
                         : static_cast<int>(magnitude);
        return true;
    }
    // Hexadecimal spans the full 32 bits; 0xFFFFFFFF reads as -1.
    const auto bits = static_cast<unsigned>(magnitude);
    value = static_cast<int>(negative ? 0u - bits : bits);
    return true;
}

} // namespace

TIniFile::TIniFile(std::string path) : FPath(std::move(path)) {}

TIniFile::~TIniFile() {
    if (FUpdateDepth > 0) {
        FUpdateDepth = 1;
        EndUpdate();
    }
}

const TIniDocument& TIniFile::Current(TIniDocument& scratch) const {
    if (FBatch)
        return *FBatch;
    int error = 0;
    LoadFile(FPath, scratch, error);
    return scratch;
}

template <typename TEdit> bool TIniFile::Edit(TEdit edit) {
    if (FBatch) {
        if (FBatchLoadError != 0) {
            FBatchRefused = true;
            return false;
        }
        FBatchDirty = edit(*FBatch) || FBatchDirty;
        return true;
    }
    TIniDocument doc;
    int error = 0;
    if (LoadFile(FPath, doc, error) != TLoadResult::Unreadable && edit(doc))
        error = ReplaceFile(FPath, doc.Serialize());
    else if (error == ENOENT)
        error = 0;
    FLastError = error != 0 ? error : FLastError;
    return error == 0;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    TIniDocument scratch;
    const std::string* value = Current(scratch).Find(section, key);
    if (!value)
        return def;
    return value->substr(0, MaxValueLength);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
    int value = 0;
    return ParseInteger(ReadString(section, key, ""), value) ? value : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> TIniFile::ReadSections() const {
    TIniDocument scratch;
    return Current(scratch).SectionNames();
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
    std::vector<std::string> keys;
    for (auto& [key, value] : ReadSectionValues(section))
        keys.push_back(std::move(key));
    return keys;
}

std::vector<std::pair<std::string, std::string>>
TIniFile::ReadSectionValues(const std::string& section) const {
    TIniDocument scratch;
    auto values = Current(scratch).SectionValues(section);
    for (auto& entry : values)
        if (entry.second.size() > MaxValueLength)
            entry.second.resize(MaxValueLength);
    return values;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    if (!ValidSection(section) || !ValidKey(key))
        return false;
    const std::string line = OneLine(value);
    return Edit([&](TIniDocument& doc) { return doc.Set(section, key, line); });
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    return Edit([&](TIniDocument& doc) { return doc.Remove(section, key); });
}

bool TIniFile::EraseSection(const std::string& section) {
    return Edit([&](TIniDocument& doc) { return doc.RemoveSection(section); });
}

void TIniFile::BeginUpdate() {
    if (FUpdateDepth++ > 0)
        return;
    FBatch = std::make_unique<TIniDocument>();
    int error = 0;
    FBatchLoadError = LoadFile(FPath, *FBatch, error) == TLoadResult::Unreadable ? error : 0;
    FBatchDirty = false;
    FBatchRefused = false;
}

bool TIniFile::EndUpdate() {
    if (FUpdateDepth == 0 || --FUpdateDepth > 0)
        return true;
    int error = FBatchRefused ? FBatchLoadError : 0;
    if (error == 0 && FBatchDirty)
        error = ReplaceFile(FPath, FBatch->Serialize());
    FBatch.reset();
    FBatchDirty = false;
    FBatchRefused = false;
    FLastError = error != 0 ? error : FLastError;
    return error == 0;
}
