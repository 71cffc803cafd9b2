// A folder of the user's own (mode 0700) for attachments written to be opened.
#include "platform/PrivateFolder.h"

#include "mime/AttachmentName.h"

#include <QTemporaryDir>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Numbered names tried for one attachment name before giving up.
constexpr int MaxNumbered = 999;

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

// A real folder (not a link) of this user that no one else may enter.
bool Private(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid())
        return false;
    return (info.st_mode & 0777) == 0700 || chmod(path.c_str(), 0700) == 0;
}

} // namespace

std::string PrivateFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::string path = std::string(runtime) + "/quillbar-attachments";
        if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST)
            if (Private(path))
                return path;
    }
    static std::unique_ptr<QTemporaryDir> fallback;
    if (!fallback)
        fallback = std::make_unique<QTemporaryDir>();
    const std::string path = fallback->path().toStdString();
    if (!fallback->isValid() || !Private(path))
        Fail("No private folder for attachments:", path);
    return path;
}

std::string WritePrivateFile(const std::string& name, const std::string& data) {
    const std::string folder = PrivateFolder();
    std::string path = folder + "/" + name;
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        throw std::runtime_error("Not a file name: " + path);
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        Fail("The folder could not be opened:", folder);
    // The file is created only where nothing is: another attachment of the same name, or
    // a link planted there, is neither replaced nor followed.
    std::string chosen = name;
    int fd = -1;
    for (int number = 2;; ++number) {
        fd =
            openat(dir, chosen.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST || number > MaxNumbered)
            break;
        chosen = NumberedFileName(name, number);
    }
    const int openError = errno;
    close(dir);
    errno = openError;
    path = folder + "/" + chosen;
    if (fd < 0)
        Fail("The attachment could not be written:", path);
    size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int writeError = errno;
            close(fd);
            errno = writeError;
            Fail("The attachment could not be written:", path);
        }
        written += static_cast<size_t>(n);
    }
    if (close(fd) != 0)
        Fail("The attachment could not be written:", path);
    return path;
}
