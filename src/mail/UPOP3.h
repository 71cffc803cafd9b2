// TQBPOP3: the POP3 client session (RFC 1939, APOP, STLS and POP3S) the worker drives.
#pragma once

#include "core/TLSMode.h"

#include "LineConnection.h"
#include "POP3Reply.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

// Every operation runs on the calling (worker) thread and throws EPOP3Error on
// failure; a "-ERR" reply throws EPOP3ReplyError and leaves the session usable.
// Any other failure closes the connection, since the stream is out of step.
// Only Connected and DropConnection may be called from another thread.
class TQBPOP3 {
  public:
    TQBPOP3();

    std::string Host;
    int Port = 110;
    std::string Username;
    std::string Password;
    bool APOP = false;
    int TLS = tlsNone;
    bool TLSVerify = true;
    std::string TLSCAFile; // extra trusted certificates, beside the system's
    int ReadTimeout = 0;
    int MaxLineLength = 16384;
    // Progress of a multi-line read: bytes received since it began.
    std::function<void(int64_t position)> OnWork;

    // The last reply: status text, code and text lines.
    TPOP3Reply LastReply;
    TStringList ReplyText;

    // Connects and logs in; on failure closes the session and rethrows.
    void Connect(int timeoutMs);
    bool Connected() const;
    // Sends QUIT without waiting for the reply; the socket is closed in every case.
    void Disconnect();
    // Sends QUIT and waits up to timeoutMs for the reply, which the server sends
    // once it has made the session's deletions; then closes. Failures are ignored.
    void Quit(int timeoutMs);
    // Breaks the connection without QUIT; a blocked read fails at once.
    void DropConnection();
    // Lets the next Connect succeed after a drop.
    void ResetDrop();

    // true and dest filled on "+OK"; false and dest untouched on "-ERR".
    bool ListUIDs(TStringList& dest);
    // Size from LIST, or -1 when the reply gives none.
    int GetMessageSize(int number);
    bool RetrieveMessage(int number, TStringList& dest);
    bool RetrieveTop(int number, int lines, TStringList& dest);
    void DeleteOnServer(int number);

  private:
    TLineConnection FConnection;
    bool FCounting = false;
    int64_t FWorkCount = 0;

    void Login(const std::string& greetingText);
    void UpgradeToTLS();
    // Sends a command and reads its status; false on "-ERR" unless okOnly, when it throws.
    bool SendCmd(const std::string& command, bool okOnly);
    void ReadReply();
    void ReadData(TStringList& dest);
    bool FetchData(const std::string& command, TStringList& dest);
    template <class TStep> auto Guarded(TStep step) -> decltype(step());
    // QUIT, then the reply awaited up to waitMs (0 without limit, below 0 not at all); closes.
    void SendQuit(int waitMs);
};
