// TFakePOP3Server: a scripted POP3 server on loopback for protocol corners, with a transcript.
#include "FakePOP3Server.h"

#include "LoopbackSocket.h"

#include "core/MD5Hex.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Reads a line up to LF; false when the peer is gone or the server stops.
bool ReadLine(int fd, int wakeFd, std::string& buffer, std::string& line) {
    for (;;) {
        size_t lineFeed = buffer.find('\n');
        if (lineFeed != std::string::npos) {
            line = buffer.substr(0, lineFeed);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            buffer.erase(0, lineFeed + 1);
            return true;
        }
        pollfd waitFor[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (poll(waitFor, 2, -1) < 0 || waitFor[1].revents)
            return false;
        char block[4096];
        ssize_t received = recv(fd, block, sizeof block, 0);
        if (received <= 0)
            return false;
        buffer.append(block, static_cast<size_t>(received));
    }
}

// false when the peer is gone.
bool SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Dot-stuffs text with CR LF line ends and appends the terminating ".".
std::string AsData(const std::string& text) {
    std::string data;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line[0] == '.')
            data += '.';
        data += line + "\r\n";
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return data + ".\r\n";
}

// Header, blank line and the first bodyLines lines of the body.
std::string TopOf(const std::string& text, int bodyLines) {
    size_t headerEnd = text.find("\r\n\r\n");
    if (headerEnd == std::string::npos)
        return text;
    size_t end = headerEnd + 4;
    for (int i = 0; i < bodyLines && end < text.size(); ++i) {
        size_t next = text.find("\r\n", end);
        end = next == std::string::npos ? text.size() : next + 2;
    }
    return text.substr(0, end);
}

// Scripted bytes with "$TAG" replaced by the tag of the command they answer.
std::string WithTag(std::string bytes, const std::string& tag) {
    for (size_t at = bytes.find("$TAG"); at != std::string::npos;
         at = bytes.find("$TAG", at + tag.size()))
        bytes.replace(at, 4, tag);
    return bytes;
}

} // namespace

TFakePOP3Server::TFakePOP3Server() : FGreeting("+OK fake server ready " + StandardTimestamp()) {
    if (pipe(FWakePipe) != 0)
        throw std::runtime_error("pipe failed");
    FListen = LoopbackSocket(FPort, 16);
    FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TFakePOP3Server::~TFakePOP3Server() {
    FStopping = true;
    char wake = 1;
    (void)!write(FWakePipe[1], &wake, 1);
    FAcceptThread.join();
    std::vector<std::thread> clients;
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (int fd : FClientSockets)
            if (fd >= 0)
                shutdown(fd, SHUT_RDWR);
        clients.swap(FClients);
    }
    for (std::thread& client : clients)
        client.join();
    close(FListen);
    close(FWakePipe[0]);
    close(FWakePipe[1]);
}

void TFakePOP3Server::SetGreeting(const std::string& line) {
    std::lock_guard<std::mutex> lock(FLock);
    FGreeting = line;
}

void TFakePOP3Server::SetLogin(const std::string& user, const std::string& password) {
    std::lock_guard<std::mutex> lock(FLock);
    FUser = user;
    FPassword = password;
}

int TFakePOP3Server::AddMessage(const std::string& uniqueId, const std::string& text) {
    std::lock_guard<std::mutex> lock(FLock);
    FMessages.push_back({uniqueId, text});
    return static_cast<int>(FMessages.size());
}

int TFakePOP3Server::MessageCount() const {
    std::lock_guard<std::mutex> lock(FLock);
    return static_cast<int>(FMessages.size());
}

void TFakePOP3Server::RemoveMessage(int number) {
    std::lock_guard<std::mutex> lock(FLock);
    if (number >= 1 && number <= static_cast<int>(FMessages.size()))
        FMessages.erase(FMessages.begin() + number - 1);
}

void TFakePOP3Server::ReplaceMessage(int number, const std::string& text) {
    std::lock_guard<std::mutex> lock(FLock);
    if (number >= 1 && number <= static_cast<int>(FMessages.size()))
        FMessages[static_cast<size_t>(number) - 1].Text = text;
}

std::string TFakePOP3Server::UniqueIdAt(int number) const {
    std::lock_guard<std::mutex> lock(FLock);
    if (number < 1 || number > static_cast<int>(FMessages.size()))
        return "";
    return FMessages[static_cast<size_t>(number) - 1].UniqueId;
}

void TFakePOP3Server::Script(const std::string& prefix, TAction action, const std::string& raw,
                             const std::string& repeat) {
    std::lock_guard<std::mutex> lock(FLock);
    FRules.push_back({prefix, action, raw, repeat});
}

void TFakePOP3Server::Unscript(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(FLock);
    FRules.erase(std::remove_if(FRules.begin(), FRules.end(),
                                [&](const TRule& rule) { return rule.Prefix == prefix; }),
                 FRules.end());
}

bool TFakePOP3Server::Flood(int fd, const std::string& buffer, const std::string& prefix,
                            const std::string& repeat) {
    while (buffer.find('\n') == std::string::npos) {
        int pause;
        {
            std::lock_guard<std::mutex> lock(FLock);
            pause = FBytePause;
            if (std::none_of(FRules.begin(), FRules.end(),
                             [&](const TRule& rule) { return rule.Prefix == prefix; }))
                return true;
        }
        pollfd waitFor[2] = {{fd, POLLIN, 0}, {FWakePipe[0], POLLIN, 0}};
        const int ready = poll(waitFor, 2, pause);
        if (ready < 0 || waitFor[1].revents)
            return false;
        if (waitFor[0].revents)
            return true;
        if (!SendAll(fd, repeat))
            return false;
    }
    return true;
}

void TFakePOP3Server::SetBytePause(int ms) {
    std::lock_guard<std::mutex> lock(FLock);
    FBytePause = ms;
}

bool TFakePOP3Server::SendSlowly(int fd, const std::string& bytes) {
    int pause;
    {
        std::lock_guard<std::mutex> lock(FLock);
        pause = FBytePause;
    }
    for (char byte : bytes) {
        if (!SendAll(fd, std::string(1, byte)))
            return false;
        pollfd wake{FWakePipe[0], POLLIN, 0};
        if (poll(&wake, 1, pause) != 0)
            return false;
    }
    return true;
}

void TFakePOP3Server::SetDropChance(double chance, unsigned seed) {
    std::lock_guard<std::mutex> lock(FLock);
    FDropChance = chance;
    FRandom.seed(seed);
}

void TFakePOP3Server::SetSilentGreeting(bool silent) {
    std::lock_guard<std::mutex> lock(FLock);
    FSilentGreeting = silent;
}

void TFakePOP3Server::SetCapabilities(const std::vector<std::string>& lines) {
    std::lock_guard<std::mutex> lock(FLock);
    FCapabilities = lines;
}

void TFakePOP3Server::SetBurst(bool burst) {
    std::lock_guard<std::mutex> lock(FLock);
    FBurst = burst;
}

int TFakePOP3Server::Overlaps() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FOverlaps;
}

void TFakePOP3Server::SetQuitDelay(int ms) {
    std::lock_guard<std::mutex> lock(FLock);
    FQuitDelay = ms;
}

void TFakePOP3Server::SetResponder(TResponder responder) {
    std::lock_guard<std::mutex> lock(FLock);
    FResponder = std::move(responder);
}

void TFakePOP3Server::SetConnectionResponder(TConnectionResponder responder) {
    std::lock_guard<std::mutex> lock(FLock);
    FConnectionResponder = std::move(responder);
}

void TFakePOP3Server::SetTagged(bool tagged) {
    std::lock_guard<std::mutex> lock(FLock);
    FTagged = tagged;
}

std::vector<std::vector<std::string>> TFakePOP3Server::Sessions() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FSessions;
}

std::vector<std::string> TFakePOP3Server::Commands() const {
    std::vector<std::string> all;
    for (const auto& session : Sessions())
        all.insert(all.end(), session.begin(), session.end());
    return all;
}

int TFakePOP3Server::Connections() const {
    std::lock_guard<std::mutex> lock(FLock);
    return static_cast<int>(FSessions.size());
}

bool TFakePOP3Server::Idle() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FActive == 0;
}

bool TFakePOP3Server::WaitIdle(int timeoutMs) const {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return FActive == 0; });
}

void TFakePOP3Server::AcceptLoop() {
    for (;;) {
        pollfd waitFor[2] = {{FListen, POLLIN, 0}, {FWakePipe[0], POLLIN, 0}};
        if (poll(waitFor, 2, -1) < 0 || waitFor[1].revents || FStopping)
            return;
        int fd = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard<std::mutex> lock(FLock);
        size_t session = FSessions.size();
        FSessions.emplace_back();
        FClientSockets.push_back(fd);
        ++FActive;
        FClients.emplace_back([this, fd, session] { Serve(fd, session); });
    }
}

void TFakePOP3Server::Serve(int fd, size_t session) {
    std::string greeting;
    bool silentGreeting;
    {
        std::lock_guard<std::mutex> lock(FLock);
        greeting = FGreeting;
        silentGreeting = FSilentGreeting;
    }
    std::string buffer, line;
    if (!silentGreeting) {
        SendAll(fd, greeting + "\r\n");
        std::string timestamp;
        size_t open = greeting.find('<'), close = greeting.find('>', open);
        if (open != std::string::npos && close != std::string::npos)
            timestamp = greeting.substr(open, close - open + 1);
        std::vector<bool> deleted;
        bool quit = false;
        std::string held; // replies kept back for one burst
        while (!quit && ReadLine(fd, FWakePipe[0], buffer, line)) {
            TAction action = TAction::Reply;
            std::string reply, repeat, prefix;
            bool scripted = false, randomDrop = false;
            int quitDelay = 0;
            TResponder responder;
            TConnectionResponder connectionResponder;
            {
                std::lock_guard<std::mutex> lock(FLock);
                FSessions[session].push_back(line);
                if (line == "QUIT")
                    quitDelay = FQuitDelay;
                responder = FResponder;
                connectionResponder = FConnectionResponder;
                size_t blank = line.find(' ');
                const std::string tag = FTagged ? line.substr(0, blank) : "";
                const std::string subject = !FTagged                     ? line
                                            : blank == std::string::npos ? ""
                                                                         : line.substr(blank + 1);
                for (const TRule& rule : FRules)
                    if (subject.compare(0, rule.Prefix.size(), rule.Prefix) == 0) {
                        action = rule.Action;
                        prefix = rule.Prefix;
                        reply = FTagged ? WithTag(rule.Raw, tag) : rule.Raw;
                        repeat = FTagged ? WithTag(rule.Repeat, tag) : rule.Repeat;
                        scripted =
                            (action != TAction::Slow && action != TAction::Flood) || !reply.empty();
                        break;
                    }
                if (!scripted && FDropChance > 0)
                    randomDrop =
                        std::uniform_real_distribution<double>(0, 1)(FRandom) < FDropChance;
            }
            if (connectionResponder) {
                std::optional<std::string> own = connectionResponder(session, line);
                if (own) {
                    action = TAction::Reply;
                    reply = std::move(*own);
                    scripted = true;
                }
            }
            if (!scripted) {
                if (quitDelay > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(quitDelay));
                reply = responder ? responder(line) : Answer(line, deleted, quit, timestamp);
                if (randomDrop) {
                    action = TAction::Close;
                    reply.resize(reply.size() / 2);
                }
            }
            // A command already waiting was sent before this reply.
            char next;
            bool more = buffer.find('\n') != std::string::npos ||
                        recv(fd, &next, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
            bool burst;
            {
                std::lock_guard<std::mutex> lock(FLock);
                FOverlaps += more ? 1 : 0;
                burst = FBurst;
            }
            if (burst && more && action == TAction::Reply) {
                held += reply;
                continue;
            }
            reply = held + reply;
            held.clear();
            if (action == TAction::Silent) {
                SendAll(fd, reply);
                while (ReadLine(fd, FWakePipe[0], buffer, line)) {
                }
                break;
            }
            if (action == TAction::Endless) {
                bool open = SendAll(fd, reply);
                while (open && !FStopping)
                    open = SendAll(fd, repeat);
                break;
            }
            if (action == TAction::Flood) {
                if (!SendAll(fd, reply) || !Flood(fd, buffer, prefix, repeat))
                    break;
                continue;
            }
            if (action == TAction::Slow) {
                if (!SendSlowly(fd, reply))
                    break;
                continue;
            }
            SendAll(fd, reply);
            if (action == TAction::Close)
                break;
        }
    } else {
        while (ReadLine(fd, FWakePipe[0], buffer, line)) {
        }
    }
    std::lock_guard<std::mutex> lock(FLock);
    shutdown(fd, SHUT_RDWR);
    close(fd);
    FClientSockets[session] = -1;
    --FActive;
    FChanged.notify_all();
}

std::string TFakePOP3Server::Answer(const std::string& command, std::vector<bool>& deleted,
                                    bool& quit, const std::string& timestamp) {
    std::lock_guard<std::mutex> lock(FLock);
    deleted.resize(FMessages.size(), false);
    std::string verb = command.substr(0, command.find(' '));
    std::string rest = command.size() > verb.size() ? command.substr(verb.size() + 1) : "";
    auto message = [&](const std::string& text) -> int {
        int number = std::atoi(text.c_str());
        if (number < 1 || number > static_cast<int>(FMessages.size()) || deleted[number - 1])
            return 0;
        return number;
    };
    if (verb == "USER")
        return "+OK\r\n";
    if (verb == "PASS")
        return rest == FPassword ? "+OK logged in\r\n" : "-ERR [AUTH] Authentication failed.\r\n";
    if (verb == "APOP") {
        std::string expected = FUser + " " + MD5Hex(timestamp + FPassword);
        return rest == expected ? "+OK logged in\r\n" : "-ERR [AUTH] Authentication failed.\r\n";
    }
    if (verb == "CAPA" && !FCapabilities.empty()) {
        std::string reply = "+OK Capability list follows\r\n";
        for (const std::string& capability : FCapabilities)
            reply += capability + "\r\n";
        return reply + ".\r\n";
    }
    if (verb == "UIDL" && !rest.empty()) {
        const int number = message(rest);
        if (!number)
            return "-ERR There's no message " + rest + ".\r\n";
        return "+OK " + std::to_string(number) + " " + FMessages[number - 1].UniqueId + "\r\n";
    }
    if (verb == "UIDL") {
        std::string reply = "+OK\r\n";
        for (size_t i = 0; i < FMessages.size(); ++i)
            if (!deleted[i])
                reply += std::to_string(i + 1) + " " + FMessages[i].UniqueId + "\r\n";
        return reply + ".\r\n";
    }
    if (verb == "LIST" && rest.empty()) {
        std::string reply = "+OK\r\n";
        for (size_t i = 0; i < FMessages.size(); ++i)
            if (!deleted[i])
                reply +=
                    std::to_string(i + 1) + " " + std::to_string(FMessages[i].Text.size()) + "\r\n";
        return reply + ".\r\n";
    }
    if (verb == "LIST") {
        int number = message(rest);
        if (!number)
            return "-ERR There's no message " + rest + ".\r\n";
        return "+OK " + std::to_string(number) + " " +
               std::to_string(FMessages[number - 1].Text.size()) + "\r\n";
    }
    if (verb == "RETR" || verb == "TOP") {
        int number = message(rest.substr(0, rest.find(' ')));
        if (!number)
            return "-ERR There's no message " + rest + ".\r\n";
        const std::string& text = FMessages[number - 1].Text;
        if (verb == "RETR")
            return "+OK " + std::to_string(text.size()) + " octets\r\n" + AsData(text);
        int lines = std::atoi(rest.substr(rest.find(' ') + 1).c_str());
        return "+OK\r\n" + AsData(TopOf(text, lines));
    }
    if (verb == "DELE") {
        int number = message(rest);
        if (!number)
            return "-ERR There's no message " + rest + ".\r\n";
        deleted[number - 1] = true;
        return "+OK Marked to be deleted.\r\n";
    }
    if (verb == "QUIT") {
        quit = true;
        for (size_t i = FMessages.size(); i-- > 0;)
            if (deleted[i])
                FMessages.erase(FMessages.begin() + static_cast<long>(i));
        return "+OK Logging out.\r\n";
    }
    return "-ERR Unknown command: " + verb + "\r\n";
}
