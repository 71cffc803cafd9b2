// TFakePOP3Server: a scripted POP3 server on loopback for protocol corners, with a transcript.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

// Serves one mailbox (default behaviour of RFC 1939, APOP included) to any
// number of clients, each on its own thread; a command can be answered with
// scripted bytes, by closing the connection, by silence, slowly or without end.
// Thread-safe. With a responder it speaks another line protocol (IMAP) instead.
class TFakePOP3Server {
  public:
    enum class TAction { Reply, Close, Silent, Slow, Endless, Flood };

    TFakePOP3Server();
    ~TFakePOP3Server();
    TFakePOP3Server(const TFakePOP3Server&) = delete;
    TFakePOP3Server& operator=(const TFakePOP3Server&) = delete;

    int Port() const { return FPort; }

    // The whole greeting line, without CR LF.
    void SetGreeting(const std::string& line);
    void SetLogin(const std::string& user, const std::string& password);
    // A message with CR LF line ends; returns its number.
    int AddMessage(const std::string& uniqueId, const std::string& text);
    int MessageCount() const;
    // Removes message number as another client would; later messages move up.
    void RemoveMessage(int number);
    // Gives message number new text under the same unique id, as a server that reuses ids.
    void ReplaceMessage(int number, const std::string& text);
    // The unique id of message number as the server stands now; "" when there is none.
    std::string UniqueIdAt(int number) const;
    // Commands starting with prefix get raw bytes (Reply), end the connection
    // after the raw bytes (Close), get the raw bytes and then silence (Silent), get
    // raw (or the usual answer when raw is empty) one byte per SetBytePause (Slow),
    // or get raw followed by repeat over and over until the client leaves (Endless), or get
    // raw (or the usual answer when raw is empty) followed by repeat once per SetBytePause
    // until the client's next line, while the rule stands (Flood).
    void Script(const std::string& prefix, TAction action, const std::string& raw = "",
                const std::string& repeat = "");
    // Drops the rules of prefix; a flood of theirs ends.
    void Unscript(const std::string& prefix);
    void SetBytePause(int ms);
    // Each command after the greeting ends the connection with this chance,
    // sometimes after part of its reply.
    void SetDropChance(double chance, unsigned seed);
    // Sends no greeting and answers nothing, as a server that hangs after accepting.
    void SetSilentGreeting(bool silent);
    // CAPA is answered with these lines; with none (the default) it is an unknown command.
    void SetCapabilities(const std::vector<std::string>& lines);
    // Replies to commands that arrived together go out together, in one write.
    void SetBurst(bool burst);
    // Waits this long after QUIT before making the deletions and answering, as a
    // server with a large mailbox to rewrite.
    void SetQuitDelay(int ms);
    // Answers the commands no rule covers in place of the POP3 mailbox: given each line the
    // client sent, returns the bytes to send back ("" for none).
    using TResponder = std::function<std::string(const std::string& line)>;
    void SetResponder(TResponder responder);
    // Answers in place of the rules and the responder where it gives a value ("" for none):
    // given the connection's number (from 0, in order of connection) and the line.
    using TConnectionResponder =
        std::function<std::optional<std::string>(size_t connection, const std::string& line)>;
    void SetConnectionResponder(TConnectionResponder responder);
    // Rules match a command after its first word (a tag), and "$TAG" in their bytes becomes
    // that word.
    void SetTagged(bool tagged);

    // Commands received, one list per connection, in order of connection.
    std::vector<std::vector<std::string>> Sessions() const;
    // All commands of all connections in one list.
    std::vector<std::string> Commands() const;
    int Connections() const;
    // Commands that arrived before the reply to the one before them had been sent.
    int Overlaps() const;
    bool Idle() const;
    // Waits until no client is connected; false after timeoutMs.
    bool WaitIdle(int timeoutMs = 10000) const;

    static std::string StandardTimestamp() { return "<1896.697170952@dbc.mw.com>"; }

  private:
    struct TMessage {
        std::string UniqueId;
        std::string Text;
    };
    struct TRule {
        std::string Prefix;
        TAction Action;
        std::string Raw;
        std::string Repeat;
    };

    int FListen = -1;
    int FPort = 0;
    int FWakePipe[2] = {-1, -1};
    std::atomic<bool> FStopping{false};
    std::thread FAcceptThread;
    mutable std::mutex FLock;
    mutable std::condition_variable FChanged;
    std::vector<std::thread> FClients;
    std::vector<int> FClientSockets;
    int FActive = 0;
    std::string FGreeting;
    std::string FUser = "user";
    std::string FPassword = "pass";
    std::vector<TMessage> FMessages;
    std::vector<TRule> FRules;
    std::vector<std::vector<std::string>> FSessions;
    double FDropChance = 0;
    std::mt19937 FRandom;
    bool FSilentGreeting = false;
    int FQuitDelay = 0;
    int FBytePause = 1000;
    std::vector<std::string> FCapabilities;
    bool FBurst = false;
    int FOverlaps = 0;
    TResponder FResponder;
    TConnectionResponder FConnectionResponder;
    bool FTagged = false;

    void AcceptLoop();
    void Serve(int fd, size_t session);
    // Sends bytes one at a time with a pause between; false once the server stops.
    bool SendSlowly(int fd, const std::string& bytes);
    // Sends repeat once per byte pause until the client's next line is in buffer or on its
    // way, or the rule of prefix is gone; false once the client or the server is gone.
    bool Flood(int fd, const std::string& buffer, const std::string& prefix,
               const std::string& repeat);
    std::string Answer(const std::string& command, std::vector<bool>& deleted, bool& quit,
                       const std::string& timestamp);
};
