// Memory and file streams.
#include "mime/Stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

size_t TMemoryStream::Read(char* buffer, size_t count) {
    const size_t n = std::min(count, FData.size() - FPosition);
    if (n > 0)
        std::memcpy(buffer, FData.data() + FPosition, n);
    FPosition += n;
    return n;
}

size_t TViewStream::Read(char* buffer, size_t count) {
    if (OnRead)
        OnRead(static_cast<int64_t>(FPosition));
    const size_t n = std::min(count, FData.size() - FPosition);
    if (n > 0)
        std::memcpy(buffer, FData.data() + FPosition, n);
    FPosition += n;
    return n;
}

void TMemoryStream::Seek(int64_t position) {
    FPosition = position < 0 ? 0 : std::min(static_cast<size_t>(position), FData.size());
}

TFileStream::TFileStream(const std::string& path) : FPath(path) {
    FHandle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (FHandle < 0)
        throw EStreamError("Cannot open file " + path + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(FHandle, &info) == 0 && S_ISREG(info.st_mode))
        FSize = static_cast<int64_t>(info.st_size);
}

TFileStream::~TFileStream() {
    ::close(FHandle);
}

// One system call per read: a buffered FILE would split a large request in two.
size_t TFileStream::Read(char* buffer, size_t count) {
    for (;;) {
        const ssize_t n = ::read(FHandle, buffer, count);
        if (n >= 0) {
            FPosition += n;
            return static_cast<size_t>(n);
        }
        if (errno != EINTR)
            throw EStreamError("Cannot read file " + FPath + ": " + std::strerror(errno));
    }
}
