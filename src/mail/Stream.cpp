// Memory and file streams.
#include "mail/Stream.h"

#include <cerrno>
#include <cstring>

size_t TMemoryStream::Read(char* buffer, size_t count) {
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
    FFile = std::fopen(path.c_str(), "rb");
    if (!FFile)
        throw EStreamError("Cannot open file " + path + ": " + std::strerror(errno));
    if (std::fseek(FFile, 0, SEEK_END) == 0) {
        FSize = std::ftell(FFile);
        std::fseek(FFile, 0, SEEK_SET);
    }
}

TFileStream::~TFileStream() {
    std::fclose(FFile);
}

size_t TFileStream::Read(char* buffer, size_t count) {
    const size_t n = std::fread(buffer, 1, count, FFile);
    if (n < count && std::ferror(FFile))
        throw EStreamError("Cannot read file " + FPath);
    FPosition += static_cast<int64_t>(n);
    return n;
}
