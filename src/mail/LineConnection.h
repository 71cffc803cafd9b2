// Line-oriented TCP connection with optional TLS: the one socket class of the mail layer.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

struct TTLSOptions {
    std::string HostName; // sent as SNI and checked against the certificate
    bool Verify = true;   // check the chain against the trusted certificates
    std::string CAFile;   // extra trusted certificates (PEM), beside the system's
};

// All operations but Drop and IsOpen belong to one thread; they throw EPOP3Error.
class TLineConnection {
  public:
    TLineConnection() = default;
    ~TLineConnection();
    TLineConnection(const TLineConnection&) = delete;
    TLineConnection& operator=(const TLineConnection&) = delete;

    // Connects to host:port; fails with "Connect timed out." after timeoutMs.
    void Open(const std::string& host, int port, int timeoutMs);
    // Upgrades the open connection to TLS (handshake and verification).
    void StartTLS(const TTLSOptions& options);
    void WriteLine(const std::string& line);
    // The next line up to LF, without CR LF; a line longer than maxLength fails.
    std::string ReadLine(size_t maxLength);
    // Bytes received but not yet read as lines.
    size_t Buffered() const { return FBuffer.size() - FStart; }
    // Frees the socket; pending data is lost.
    void Close();

    // Any thread: breaks the connection so that a blocked connect or read fails
    // at once. Sticks until ResetDrop, so a connect that follows fails too.
    void Drop();
    void ResetDrop();
    bool IsOpen() const { return FOpen; }

    int ReadTimeout = 0; // ms; 0 waits without limit
    // Called after every block received from the socket with its size.
    std::function<void(size_t bytes)> OnReceived;

  private:
    int FSocket = -1;
    std::mutex FSocketLock; // keeps Drop off a descriptor that Close has freed
    std::atomic<bool> FOpen{false};
    std::atomic<bool> FDropped{false};
    SSL_CTX* FContext = nullptr;
    SSL* FSSL = nullptr;
    std::string FBuffer;
    size_t FStart = 0;   // first unread byte of FBuffer
    size_t FScanned = 0; // bytes after FStart known to hold no LF

    int ConnectOne(const void* address, unsigned addressLength, int timeoutMs);
    void Receive();
    void WaitReadable();
    // A time limit on every blocking receive of the socket; 0 removes it.
    void SetReceiveLimit(int ms);
    void Fail(const std::string& text);
};
