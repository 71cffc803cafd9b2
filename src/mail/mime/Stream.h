// Byte streams the MIME decoder reads from: a memory stream and a file stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

// Raised when a stream cannot be opened or read.
class EStreamError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A sequential source of bytes.
class TStream {
  public:
    virtual ~TStream() = default;
    // Reads up to count bytes; returns how many were read, 0 at the end of the stream.
    // Throws EStreamError when the source fails.
    virtual size_t Read(char* buffer, size_t count) = 0;
    // Total size in bytes, -1 when unknown.
    virtual int64_t Size() const = 0;
    // Bytes read so far (or the position set with Seek).
    virtual int64_t Position() const = 0;
};

// Reads from a string it owns.
class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string data) : FData(std::move(data)) {}

    size_t Read(char* buffer, size_t count) override;
    int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
    int64_t Position() const override { return static_cast<int64_t>(FPosition); }
    // Clamped to the size.
    void Seek(int64_t position);

    const std::string& Data() const { return FData; }

  private:
    std::string FData;
    size_t FPosition = 0;
};

// Reads text it does not own, which must outlive it: a large message is parsed in place.
class TViewStream : public TStream {
  public:
    explicit TViewStream(std::string_view data) : FData(data) {}

    // Runs before every read with the bytes read so far; may throw EStreamError to stop.
    std::function<void(int64_t position)> OnRead;

    size_t Read(char* buffer, size_t count) override;
    int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
    int64_t Position() const override { return static_cast<int64_t>(FPosition); }

  private:
    std::string_view FData;
    size_t FPosition = 0;
};

// Reads a file from its start.
class TFileStream : public TStream {
  public:
    // Throws EStreamError when the file cannot be opened.
    explicit TFileStream(const std::string& path);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    size_t Read(char* buffer, size_t count) override;
    int64_t Size() const override { return FSize; }
    int64_t Position() const override { return FPosition; }

  private:
    int FHandle = -1;
    std::string FPath;
    int64_t FSize = -1;
    int64_t FPosition = 0;
};
