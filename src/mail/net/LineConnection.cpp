// Line-oriented TCP connection with optional TLS: the one socket class of the mail layer.
#include "LineConnection.h"

#include "MailError.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <system_error>
#include <unistd.h>

namespace {

const size_t BlockSize = 16384;
// A peer gone without a word (a router that forgot the connection) is found within two minutes:
// probes after a minute of silence, and sent data that long unacknowledged fails too.
const int KeepIdle = 60;     // s
const int KeepInterval = 15; // s
const int KeepProbes = 4;
const unsigned KeepUserTimeout = (KeepIdle + KeepInterval * KeepProbes) * 1000; // ms
const char* const PortRefusalStart = "The server's port ";
const char* const PortRefusalEnd =
    " is not between 1 and 65535; correct it in the account's settings.";

// OpenSSL writes with write(), which raises SIGPIPE on a closed peer; keep the
// signal off this thread for the duration of any TLS call and swallow it if it came.
class TSigPipeGuard {
  public:
    TSigPipeGuard() {
        sigset_t pipeSet;
        sigemptyset(&pipeSet);
        sigaddset(&pipeSet, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        FWasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeSet, &FOldMask);
    }
    ~TSigPipeGuard() {
        sigset_t pending;
        sigpending(&pending);
        if (!FWasPending && sigismember(&pending, SIGPIPE) == 1) {
            sigset_t pipeSet;
            sigemptyset(&pipeSet);
            sigaddset(&pipeSet, SIGPIPE);
            timespec zero{0, 0};
            sigtimedwait(&pipeSet, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &FOldMask, nullptr);
    }

  private:
    sigset_t FOldMask;
    bool FWasPending = false;
};

std::string OpenSSLErrorText() {
    unsigned long code = ERR_get_error();
    if (!code)
        return "unknown error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// Lets the system find a peer that vanished while the connection was quiet.
void KeepAlive(int fd) {
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &KeepIdle, sizeof KeepIdle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &KeepInterval, sizeof KeepInterval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &KeepProbes, sizeof KeepProbes);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &KeepUserTimeout, sizeof KeepUserTimeout);
}

bool IsAddressLiteral(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

} // namespace

std::string PortRefusal(int port) {
    return PortRefusalStart + std::to_string(port) + PortRefusalEnd;
}

TLineConnection::TLineConnection() : FInterrupt(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TLineConnection::~TLineConnection() {
    Close();
    if (FInterrupt >= 0)
        ::close(FInterrupt);
}

void TLineConnection::Fail(const std::string& text) {
    throw EMailError(text);
}

int TLineConnection::ConnectOne(const void* address, unsigned addressLength, int timeoutMs) {
    auto* sockAddress = static_cast<const sockaddr*>(address);
    int fd = socket(sockAddress->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return errno;
    {
        std::lock_guard<std::mutex> lock(FSocketLock);
        if (FDropped) {
            ::close(fd);
            return ECONNABORTED;
        }
        FSocket = fd;
    }
    int error = 0;
    if (connect(fd, sockAddress, addressLength) < 0) {
        if (errno != EINPROGRESS)
            error = errno;
        else {
            pollfd waitFor{fd, POLLOUT, 0};
            int ready;
            do
                ready = poll(&waitFor, 1, timeoutMs);
            while (ready < 0 && errno == EINTR);
            if (ready == 0)
                error = ETIMEDOUT;
            else {
                socklen_t length = sizeof error;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0)
                    error = errno;
            }
        }
    }
    if (!error && FDropped)
        error = ECONNABORTED;
    if (error) {
        Close();
        return error;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    KeepAlive(fd);
    return 0;
}

const addrinfo* TLineConnection::Lookup(TNameLookup& lookup, const std::string& host,
                                        int timeoutMs) {
    {
        std::lock_guard<std::mutex> lock(FSocketLock);
        if (FDropped)
            Fail("Connection dropped.");
        FLookup = &lookup;
    }
    bool ended = lookup.Wait(timeoutMs);
    {
        std::lock_guard<std::mutex> lock(FSocketLock);
        FLookup = nullptr;
    }
    if (FDropped)
        Fail("Connection dropped.");
    if (!ended)
        Fail("Name lookup timed out.");
    if (lookup.Status() != 0)
        Fail("Could not resolve " + host + ": " + gai_strerror(lookup.Status()));
    return lookup.Addresses();
}

void TLineConnection::Open(const std::string& host, int port, int timeoutMs) {
    Close();
    if (!IsTCPPort(port))
        Fail(PortRefusal(port));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_ptr<TNameLookup> lookup;
    try {
        lookup = std::make_unique<TNameLookup>(host, std::to_string(port), Resolver);
    } catch (const std::system_error& error) {
        Fail(std::string("Name lookup failed: ") + error.what());
    }
    const addrinfo* addresses = Lookup(*lookup, host, timeoutMs);

    int error = ECONNREFUSED;
    for (const addrinfo* a = addresses; a; a = a->ai_next) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            error = ETIMEDOUT;
            break;
        }
        error = ConnectOne(a->ai_addr, a->ai_addrlen, static_cast<int>(left));
        if (!error || error == ETIMEDOUT || error == ECONNABORTED)
            break;
    }
    if (error == ETIMEDOUT)
        Fail("Connect timed out.");
    if (error == ECONNABORTED)
        Fail("Connection dropped.");
    if (error)
        Fail(strerror(error));
    FBuffer.clear();
    FStart = FScanned = 0;
    FReceiveLimit = 0;
    FOpen = true;
    StartReply();
}

void TLineConnection::StartTLS(const TTLSOptions& options) {
    // Clear text sent before the handshake must not pass for protected data.
    if (Buffered())
        Fail("Unexpected data before the TLS handshake.");
    FContext = SSL_CTX_new(TLS_client_method());
    if (!FContext)
        Fail("TLS set-up failed: " + OpenSSLErrorText());
    SSL_CTX_set_min_proto_version(FContext, TLS1_2_VERSION);
    SSL_CTX_set_options(FContext, SSL_OP_IGNORE_UNEXPECTED_EOF);
    if (options.Verify) {
        SSL_CTX_set_default_verify_paths(FContext);
        if (!options.CAFile.empty() &&
            SSL_CTX_load_verify_locations(FContext, options.CAFile.c_str(), nullptr) != 1)
            Fail("Could not load trusted certificates from " + options.CAFile);
        SSL_CTX_set_verify(FContext, SSL_VERIFY_PEER, nullptr);
    } else
        SSL_CTX_set_verify(FContext, SSL_VERIFY_NONE, nullptr);

    FSSL = SSL_new(FContext);
    if (!FSSL || SSL_set_fd(FSSL, FSocket) != 1)
        Fail("TLS set-up failed: " + OpenSSLErrorText());
    // Queued writes may be taken in part, and retried from an outbox that has moved.
    SSL_set_mode(FSSL, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (IsAddressLiteral(options.HostName)) {
        if (options.Verify)
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(FSSL), options.HostName.c_str());
    } else {
        SSL_set_tlsext_host_name(FSSL, options.HostName.c_str());
        if (options.Verify) {
            SSL_set_hostflags(FSSL, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            SSL_set1_host(FSSL, options.HostName.c_str());
        }
    }
    ERR_clear_error();
    int result;
    {
        TSigPipeGuard guard;
        // The handshake reads inside OpenSSL, out of reach of WaitReadable.
        SetReceiveLimit(ReadTimeout);
        result = SSL_connect(FSSL);
    }
    if (result != 1) {
        // A half-done handshake would be resumed by the next write (the QUIT of the
        // clean-up) and wait for the server without limit: the connection is spent.
        FOpen = false;
        long verifyResult = SSL_get_verify_result(FSSL);
        if (options.Verify && verifyResult != X509_V_OK)
            Fail(std::string("Certificate verification failed: ") +
                 X509_verify_cert_error_string(verifyResult));
        if (FDropped)
            Fail("Connection dropped.");
        Fail("TLS handshake failed: " + OpenSSLErrorText());
    }
    StartReply();
}

void TLineConnection::WriteLine(const std::string& line) {
    Write(line + "\r\n");
}

void TLineConnection::Write(const std::string& data) {
    if (!FOpen)
        Fail("Not connected.");
    FReadSinceWrite = false;
    StartReply();
    // Queued commands go first, in order.
    if (!FOutbox.empty()) {
        FOutbox += data;
        std::string all;
        all.swap(FOutbox);
        WriteAll(all.data(), all.size());
        return;
    }
    WriteAll(data.data(), data.size());
}

void TLineConnection::WriteAll(const char* data, size_t size) {
    size_t sent = 0;
    while (sent < size) {
        if (FSSL) {
            ERR_clear_error();
            TSigPipeGuard guard;
            int written = SSL_write(FSSL, data + sent, static_cast<int>(size - sent));
            if (written <= 0) {
                FOpen = false;
                Fail("Write failed: " + OpenSSLErrorText());
            }
            sent += static_cast<size_t>(written);
        } else {
            ssize_t written = send(FSocket, data + sent, size - sent, MSG_NOSIGNAL);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                FOpen = false;
                Fail(std::string("Write failed: ") + strerror(errno));
            }
            sent += static_cast<size_t>(written);
        }
    }
}

void TLineConnection::Queue(const std::string& data) {
    if (!FOpen)
        Fail("Not connected.");
    FReadSinceWrite = false;
    StartReply();
    FOutbox += data;
    SendQueued();
}

void TLineConnection::SendQueued() {
    size_t sent = 0;
    while (sent < FOutbox.size()) {
        const char* data = FOutbox.data() + sent;
        const size_t size = FOutbox.size() - sent;
        ssize_t written;
        if (FSSL) {
            ERR_clear_error();
            TSigPipeGuard guard;
            // Only this write may not wait; a record the socket took in part stays with
            // OpenSSL and is finished by the next write of the same bytes, which the outbox
            // keeps until they are taken.
            const int flags = fcntl(FSocket, F_GETFL);
            fcntl(FSocket, F_SETFL, flags | O_NONBLOCK);
            const int result =
                SSL_write(FSSL, data, static_cast<int>(std::min<size_t>(size, INT_MAX)));
            const int error = result > 0 ? SSL_ERROR_NONE : SSL_get_error(FSSL, result);
            fcntl(FSocket, F_SETFL, flags);
            if (error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ)
                break;
            if (result <= 0) {
                FOpen = false;
                Fail("Write failed: " + OpenSSLErrorText());
            }
            written = result;
        } else {
            written = send(FSocket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            if (written <= 0) {
                FOpen = false;
                Fail(std::string("Write failed: ") + strerror(errno));
            }
        }
        sent += static_cast<size_t>(written);
    }
    FOutbox.erase(0, sent);
}

void TLineConnection::SetReceiveLimit(int ms) {
    timeval limit{};
    limit.tv_sec = ms > 0 ? ms / 1000 : 0;
    limit.tv_usec = ms > 0 ? (ms % 1000) * 1000 : 0;
    setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    FReceiveLimit = ms;
}

void TLineConnection::StartReply() {
    FReplyStart = FLastReceived = std::chrono::steady_clock::now();
    FReplyBytes = 0;
}

long long TLineConnection::AllowanceLeft() const {
    if (ReadTimeout <= 0 || MinReplyRate == 0)
        return LLONG_MAX;
    const long long allowed =
        ReadTimeout + static_cast<long long>(uint64_t(FReplyBytes) * 1000 / MinReplyRate);
    return allowed - std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - FReplyStart)
                         .count();
}

int TLineConnection::ReceiveLimit() {
    if (ReadTimeout <= 0)
        return -1;
    const long long left = AllowanceLeft();
    if (left <= 0)
        FailWaited();
    return static_cast<int>(std::min<long long>(ReadTimeout, left));
}

void TLineConnection::FailWaited() {
    const auto now = std::chrono::steady_clock::now();
    if (AllowanceLeft() > 0 || now - FLastReceived >= std::chrono::milliseconds(ReadTimeout))
        FailSilent();
    FOpen = false;
    const auto spent = std::chrono::duration_cast<std::chrono::seconds>(now - FReplyStart).count();
    Fail("Read timed out: the server sent " + std::to_string(FReplyBytes) +
         " bytes of its reply in " + std::to_string(spent) + " s.");
}

void TLineConnection::FailSilent() {
    FOpen = false;
    Fail("Read timed out: the server sent nothing for " +
         std::to_string((ReadTimeout + 999) / 1000) + " s.");
}

void TLineConnection::WaitReadable() {
    if (FSSL && SSL_pending(FSSL) > 0)
        return;
    // Queued commands go out as the socket takes them while the replies are awaited.
    while (!FOutbox.empty()) {
        pollfd waitFor{FSocket, POLLIN | POLLOUT, 0};
        int ready;
        do
            ready = poll(&waitFor, 1, ReceiveLimit());
        while (ready < 0 && errno == EINTR);
        if (ready == 0)
            FailWaited();
        if (ready < 0 || (waitFor.revents & ~POLLOUT) != 0)
            return; // data, or a broken connection that the read reports
        SendQueued();
    }
    if (ReadTimeout <= 0)
        return;
    pollfd waitFor{FSocket, POLLIN, 0};
    int ready;
    do
        ready = poll(&waitFor, 1, ReceiveLimit());
    while (ready < 0 && errno == EINTR);
    if (ready == 0)
        FailWaited();
}

void TLineConnection::Receive() {
    if (!FOpen)
        Fail(FDropped ? "Connection dropped." : "Not connected.");
#ifdef TCP_QUICKACK
    // A server that writes one reply in several small pieces waits for our acknowledgement
    // of each under Nagle's rule; delayed, that costs 40 ms a reply. So before waiting for
    // more of a reply, what came of it is acknowledged at once (the system clears the flag
    // again, so it is set each time). The first wait after a command needs none: an answer
    // that comes whole is acknowledged with the next command, without a packet of its own.
    if (FReadSinceWrite) {
        const int on = 1;
        setsockopt(FSocket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }
#endif
    FReadSinceWrite = true;
    WaitReadable();
    char block[BlockSize];
    ssize_t received;
    if (FSSL) {
        ERR_clear_error();
        int result;
        int systemError;
        {
            // A read may write too: a bad record is answered with an alert, which
            // raises SIGPIPE when the peer has already reset the connection.
            TSigPipeGuard guard;
            // Data that woke the poll may be part of a record only: SSL_read then waits
            // inside OpenSSL for the rest, and only the socket's own limit bounds that.
            const int limit = std::max(ReceiveLimit(), 0);
            if (FReceiveLimit != limit)
                SetReceiveLimit(limit);
            errno = 0;
            result = SSL_read(FSSL, block, sizeof block);
            systemError = errno;
        }
        if (result <= 0) {
            int error = SSL_get_error(FSSL, result);
            FOpen = false;
            if (FDropped)
                Fail("Connection dropped.");
            if (error == SSL_ERROR_WANT_READ ||
                (error == SSL_ERROR_SYSCALL &&
                 (systemError == EAGAIN || systemError == EWOULDBLOCK)))
                FailWaited();
            if (error == SSL_ERROR_ZERO_RETURN ||
                (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0))
                throw EConnectionClosed();
            Fail("Read failed: " + OpenSSLErrorText());
        }
        received = result;
    } else {
        do
            received = recv(FSocket, block, sizeof block, 0);
        while (received < 0 && errno == EINTR);
        if (received <= 0) {
            int error = errno;
            FOpen = false;
            if (FDropped)
                Fail("Connection dropped.");
            if (received == 0)
                throw EConnectionClosed();
            Fail(std::string("Read failed: ") + strerror(error));
        }
    }
    if (FStart > 0 && FStart >= FBuffer.size() / 2) {
        FBuffer.erase(0, FStart);
        FStart = 0;
    }
    FBuffer.append(block, static_cast<size_t>(received));
    FReplyBytes += static_cast<size_t>(received);
    FLastReceived = std::chrono::steady_clock::now();
    if (OnReceived)
        OnReceived(static_cast<size_t>(received));
}

std::string TLineConnection::ReadLine(size_t maxLength) {
    for (;;) {
        size_t from = FStart + FScanned;
        size_t lineFeed = FBuffer.find('\n', from);
        if (lineFeed != std::string::npos) {
            size_t end = lineFeed;
            if (end > FStart && FBuffer[end - 1] == '\r')
                --end;
            if (end - FStart > maxLength)
                throw ELineTooLong();
            std::string line = FBuffer.substr(FStart, end - FStart);
            FStart = lineFeed + 1;
            FScanned = 0;
            return line;
        }
        FScanned = FBuffer.size() - FStart;
        // Room for the longest line and its CR: anything more cannot end well.
        if (FScanned > maxLength + 1)
            throw ELineTooLong();
        Receive();
    }
}

void TLineConnection::ReadBytes(size_t count, std::string& dest, size_t keep) {
    FScanned = 0;
    for (;;) {
        size_t take = std::min(count, FBuffer.size() - FStart);
        size_t kept = std::min(take, keep);
        dest.append(FBuffer, FStart, kept);
        keep -= kept;
        FStart += take;
        count -= take;
        if (count == 0)
            return;
        // Everything buffered is read: start the buffer afresh so a long run costs one block.
        FBuffer.clear();
        FStart = 0;
        Receive();
    }
}

bool TLineConnection::WaitForData(int timeoutMs) {
    if (Buffered() > 0 || !FOpen || (FSSL && SSL_pending(FSSL) > 0)) {
        StartReply();
        return true;
    }
    pollfd waitFor[2] = {{FSocket, POLLIN, 0}, {FInterrupt, POLLIN, 0}};
    int ready;
    do
        ready = poll(waitFor, FInterrupt >= 0 ? 2 : 1, timeoutMs < 0 ? -1 : timeoutMs);
    while (ready < 0 && errno == EINTR);
    if (waitFor[1].revents & POLLIN) {
        uint64_t taken = 0;
        [[maybe_unused]] const ssize_t drained = ::read(FInterrupt, &taken, sizeof taken);
        return false;
    }
    if (ready == 0)
        return false;
    // Data that comes unasked (news while idling) is a reply of its own.
    StartReply();
    return true;
}

void TLineConnection::Interrupt() {
    if (FInterrupt < 0)
        return;
    const uint64_t one = 1;
    // A counter already raised stays raised: a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(FInterrupt, &one, sizeof one);
}

size_t TLineConnection::SkipLine(size_t limit) {
    size_t skipped = 0;
    for (;;) {
        size_t lineFeed = FBuffer.find('\n', FStart);
        size_t end = lineFeed == std::string::npos ? FBuffer.size() : lineFeed + 1;
        skipped += end - FStart;
        FStart = end;
        FScanned = 0;
        if (lineFeed != std::string::npos || skipped > limit)
            return skipped;
        // Nothing kept: the buffer never holds more than one block of the line.
        FBuffer.clear();
        FStart = 0;
        Receive();
    }
}

void TLineConnection::Close() {
    int fd;
    {
        std::lock_guard<std::mutex> lock(FSocketLock);
        fd = FSocket;
        FSocket = -1;
        FOpen = false;
    }
    if (FSSL) {
        SSL_free(FSSL);
        FSSL = nullptr;
    }
    if (FContext) {
        SSL_CTX_free(FContext);
        FContext = nullptr;
    }
    if (fd >= 0)
        ::close(fd);
    // The buffer may have grown with a long line; an idle connection holds nothing.
    std::string().swap(FBuffer);
    std::string().swap(FOutbox);
    FStart = FScanned = 0;
}

void TLineConnection::Drop() {
    std::lock_guard<std::mutex> lock(FSocketLock);
    FDropped = true;
    FOpen = false;
    if (FLookup)
        FLookup->Cancel();
    if (FSocket >= 0)
        shutdown(FSocket, SHUT_RDWR);
}

void TLineConnection::ResetDrop() {
    FDropped = false;
}
