// Line-oriented TCP connection with optional TLS: the one socket class of the mail layer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "NameLookup.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

struct TTLSOptions {
    std::string HostName; // sent as SNI and checked against the certificate
    bool Verify = true;   // check the chain against the trusted certificates
    std::string CAFile;   // extra trusted certificates (PEM), beside the system's
};

// Whether a connection can reach port; the settings file may hold any number, and the name
// lookup would wrap one beyond 65535 to another port.
constexpr bool IsTCPPort(int port) {
    return port >= 1 && port <= 65535;
}
// The error that refuses port when it is no TCP port.
std::string PortRefusal(int port);

// Bytes per second a reply must average once it has taken longer than the read timeout: a
// slow link, far from a trickle.
const size_t DefaultMinReplyRate = 512;

// All operations but Drop and IsOpen belong to one thread; they throw EMailError.
class TLineConnection {
  public:
    TLineConnection();
    ~TLineConnection();
    TLineConnection(const TLineConnection&) = delete;
    TLineConnection& operator=(const TLineConnection&) = delete;

    // Looks up host and connects to port; fails with "Name lookup timed out." or
    // "Connect timed out." when the two together take more than timeoutMs, and with
    // PortRefusal, before any lookup, when port is no TCP port.
    void Open(const std::string& host, int port, int timeoutMs);
    // Upgrades the open connection to TLS (handshake and verification).
    void StartTLS(const TTLSOptions& options);
    void WriteLine(const std::string& line);
    // Sends data as it is, in one write where the socket takes it.
    void Write(const std::string& data);
    // Sends what the socket takes of data now, without waiting; the rest goes out while later
    // reads wait for replies. So any number of commands can be sent ahead: a write never
    // blocks while the server, its replies unread, stops reading.
    void Queue(const std::string& data);
    // The next line up to LF, without CR LF. A line longer than maxLength throws
    // ELineTooLong and stays unread, for SkipLine.
    std::string ReadLine(size_t maxLength);
    // Discards bytes up to and including the next LF; returns how many. Gives up
    // beyond limit bytes and returns more than limit: the stream is then out of step.
    size_t SkipLine(size_t limit);
    // Up to length bytes of the unread line that ReadLine found too long, left unread.
    std::string LineStart(size_t length) const { return FBuffer.substr(FStart, length); }
    // Reads the next count bytes, line ends or not, and appends the first keep of them to dest;
    // the rest are read and dropped.
    void ReadBytes(size_t count, std::string& dest, size_t keep = SIZE_MAX);
    // true when bytes are buffered or arrive within timeoutMs, or the connection broke (the
    // next read tells); false when none came in time or Interrupt ended the wait. Leaves the
    // connection open either way; a timeout below 0 waits without limit.
    bool WaitForData(int timeoutMs);
    // Any thread: the WaitForData now running, or else the next one, returns false at once.
    void Interrupt();
    // Bytes received but not yet read as lines.
    size_t Buffered() const { return FBuffer.size() - FStart; }
    // Frees the socket; pending data is lost.
    void Close();

    // Any thread: breaks the connection so that a blocked connect or read fails
    // at once. Sticks until ResetDrop, so a connect that follows fails too.
    void Drop();
    void ResetDrop();
    bool IsOpen() const { return FOpen; }
    bool Dropped() const { return FDropped; }

    int ReadTimeout = 0; // ms a read may wait for the next byte; 0 waits without limit
    // Bytes per second a reply must average once it has taken longer than ReadTimeout, so that
    // a server trickling bytes cannot hold a session; a large reply flowing steadily over a
    // slow link still comes whole. 0 sets no floor; without ReadTimeout there is none either.
    size_t MinReplyRate = DefaultMinReplyRate;
    TResolver Resolver; // name lookup; getaddrinfo when empty
    // Called after every block received from the socket with its size.
    std::function<void(size_t bytes)> OnReceived;

  private:
    int FSocket = -1;
    // An event counter that Interrupt raises and WaitForData takes.
    int FInterrupt = -1;
    std::mutex FSocketLock;         // keeps Drop off a descriptor that Close has freed
    TNameLookup* FLookup = nullptr; // the lookup Open waits for, for Drop to cancel
    std::atomic<bool> FOpen{false};
    std::atomic<bool> FDropped{false};
    SSL_CTX* FContext = nullptr;
    SSL* FSSL = nullptr;
    std::string FBuffer;
    size_t FStart = 0;            // first unread byte of FBuffer
    size_t FScanned = 0;          // bytes after FStart known to hold no LF
    int FReceiveLimit = 0;        // the socket's receive time limit, in ms
    bool FReadSinceWrite = false; // a reply has begun to arrive since the last command
    std::string FOutbox;          // queued bytes the socket has not taken yet
    // Since when the reply now awaited has been read, when its last bytes came, and how many
    // came so far.
    std::chrono::steady_clock::time_point FReplyStart;
    std::chrono::steady_clock::time_point FLastReceived;
    size_t FReplyBytes = 0;

    int ConnectOne(const void* address, unsigned addressLength, int timeoutMs);
    void Receive();
    // A command was sent or news arrived: what follows is a new reply.
    void StartReply();
    // ms left of the reply's allowance (ReadTimeout and a second per MinReplyRate bytes).
    long long AllowanceLeft() const;
    // ms the next receive may wait: ReadTimeout, or less where the reply's allowance runs out
    // first; -1 without limit. Fails once the allowance is spent.
    int ReceiveLimit();
    // After a wait of ReceiveLimit ran out: silence (nothing for ReadTimeout), or a reply too
    // slow.
    [[noreturn]] void FailWaited();
    void WaitReadable();
    // Writes what the socket takes of the outbox without waiting.
    void SendQueued();
    // Writes size bytes, waiting as long as the socket needs; throws on failure.
    void WriteAll(const char* data, size_t size);
    [[noreturn]] void FailSilent();
    const addrinfo* Lookup(TNameLookup& lookup, const std::string& host, int timeoutMs);
    // A time limit on every blocking receive of the socket; 0 removes it.
    void SetReceiveLimit(int ms);
    [[noreturn]] void Fail(const std::string& text);
};
