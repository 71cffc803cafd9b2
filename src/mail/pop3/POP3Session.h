// TQBPOP3: the POP3 client session (RFC 1939, APOP, STLS, POP3S, pipelined TOP) the worker drives.
#pragma once

#include "core/TLSMode.h"

#include "POP3Reply.h"
#include "net/LineConnection.h"
#include "net/MailSession.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

// Every operation runs on the calling (worker) thread and throws EMailError on
// failure; a "-ERR" reply (EMailReplyError) and a refused reply read to its end
// (EMailRefusedReply) leave the session usable. Any other failure closes the
// connection, since the stream is out of step.
// Only Connected and DropConnection may be called from another thread.
class TQBPOP3 : public TMailSession {
  public:
    int ReadTimeout = 0; // ms a reply may pause between bytes; 0 waits without limit
    int MaxLineLength = 16384;
    // Lines of message text (RETR, TOP) over MaxLineLength cut to that length in the last
    // reply: a message or header to read must not fail for one line.
    int LinesCut = 0;
    // Bounds on what one reply may hold in memory.
    size_t MaxHeaderBytes = size_t(1) << 20;  // kept of a TOP reply; the rest is read and dropped
    size_t MaxReplyBytes = size_t(512) << 20; // longest multi-line reply read at all
    size_t MaxListEntries = 1000000;          // longest UIDL listing
    TResolver Resolver;                       // name lookup; getaddrinfo when empty

    // The last reply: status text, code and text lines.
    TPOP3Reply LastReply;
    TStringList ReplyText;
    // The last TOP reply passed MaxHeaderBytes and holds only its start. When it
    // also passed MaxReplyBytes the connection was closed, as the reply never ended.
    bool LastDataCut = false;
    // The server listed PIPELINING in its CAPA answer after login: commands may be
    // sent ahead of the replies to earlier ones.
    bool Pipelining = false;
    // Off: commands go one at a time even to a server that pipelines (for comparisons).
    bool AllowPipelining = true;
    // The CAPA answer listed TOP. TOP is optional: only then are headers fetched with TOP
    // without first trying it on one message.
    bool TopListed = false;
    // The CAPA answer listed UIDL: a refused UIDL is a failure, not a server without it.
    bool UIDLListed = false;

    // Connects, logs in and asks for the server's capabilities (CAPA); on failure
    // closes the session and rethrows. A server that answers CAPA with -ERR is taken
    // as not pipelining; one that does not answer in time, or not in step, is logged
    // into again without CAPA and not asked again.
    void Connect(int timeoutMs);
    bool Connected() const;
    // Sends QUIT without waiting for the reply; the socket is closed in every case.
    void Disconnect();
    // Sends QUIT and waits up to timeoutMs for the reply, which the server sends
    // once it has made the session's deletions; then closes. Failures are ignored.
    // Ends the session; true when the server confirmed QUIT (only then has it made the
    // deletions of the session).
    bool Quit(int timeoutMs);
    // Breaks the connection without QUIT; a blocked read fails at once.
    void DropConnection();
    // Lets the next Connect succeed after a drop.
    void ResetDrop();

    // true and dest filled on "+OK"; false and dest untouched on "-ERR".
    bool ListUIDs(TStringList& dest);
    // The LIST listing ("number size" lines), for a server without UIDL.
    bool ListMessages(TStringList& dest);
    // UIDL, then the LIST listing into sizes, both sent at once to a server that pipelines:
    // the sizes tell whether a message known from before is still the one it was. True when
    // UIDL was answered; sizes stay empty when LIST was refused.
    bool ListUIDsAndSizes(TStringList& uids, TStringList& sizes);
    // Size from LIST, or -1 when the reply gives none.
    int GetMessageSize(int number);
    // Beyond MaxReplyBytes (or MaxListEntries for UIDL) these fail and close the
    // session. A line over MaxLineLength is cut in message text (LinesCut); in a listing it
    // fails with EMailRefusedReply after the reply has been read to its end, so the session
    // stays usable.
    bool RetrieveMessage(int number, TStringList& dest);
    // Keeps MaxHeaderBytes of the reply (see LastDataCut).
    bool RetrieveTop(int number, int lines, TStringList& dest);
    // The same, as one text of lines ending in CR LF: a message of hundreds of megabytes
    // costs its size, not a string per line besides. On failure text is partly filled.
    bool RetrieveMessage(int number, std::string& text);
    bool RetrieveTop(int number, int lines, std::string& text);
    // The header of a message as TOP n 0 gives it (blank line last), read with RETR for a
    // server without TOP; the body is read and dropped.
    bool RetrieveHeader(int number, TStringList& dest);
    // Sends "TOP n lines" for every number in one write, without waiting; the replies
    // are then read in order with ReadTop, before any other command. With confirm, each
    // TOP is followed by "LIST n", whose reply names the message: a server whose replies
    // come out of order, go missing or come twice is caught there, instead of one message's
    // header being taken for another's.
    void SendTops(const std::vector<int>& numbers, int lines, bool confirm);
    // The next reply of SendTops, as RetrieveTop gives it. With confirm, also reads the
    // LIST reply and throws EMailError (closing the session) when it names another message.
    bool ReadTop(TStringList& dest);
    // Size from the LIST reply read by the last confirming ReadTop; -1 when it gave none.
    int ListedSize = -1;
    // Replies of SendTops not yet read.
    size_t Outstanding() const { return FPending.size(); }
    // Whether bytes of a reply are here or come within ms.
    bool ReplyWithin(int ms) { return FConnection.WaitForData(ms); }
    // Throws EMailError, closing the session, when the server has sent bytes beyond the
    // replies read so far: the stream is out of step.
    void ExpectNothingMore();
    // The server's unique id of message number; false on "-ERR". Throws EMailError when
    // the reply names another message.
    bool UIDOf(int number, std::string& uid);
    void DeleteOnServer(int number);

  private:
    // Messages whose SendTops replies are not yet read, and whether a LIST follows each.
    std::deque<int> FPending;
    bool FConfirming = false;
    std::string FNoCAPAFrom; // "host:port" of a server that did not answer CAPA in step

    // Opens the connection, reads the greeting and logs in.
    void Establish(int timeoutMs);
    // Sets Pipelining from the CAPA answer; throws when the answer is not in step.
    void AskCapabilities();
    void CloseConnection() override;

    void Login(const std::string& greetingText);
    // AUTH with Server.AccessToken; a refusal throws ETokenRefused.
    void LoginWithToken();
    void UpgradeToTLS();
    // Sends a command and reads its status; false on "-ERR" unless okOnly, when it throws.
    // Bytes the server sent unasked before it mean the stream is out of step: it throws.
    bool SendCmd(const std::string& command, bool okOnly);
    void ReadReply();
    // Takes each kept data line of a reply, unstuffed, without its line break.
    using TLineSink = std::function<void(std::string&& line)>;
    // What a data line over MaxLineLength does: message text keeps its start; a listing
    // line cut would name another message, so the reply is refused.
    enum class TLongLines { Cut, Refuse };
    // The data lines of a reply whose status line has been read.
    void ReadData(const TLineSink& keep, size_t keepBytes, size_t maxLines, TLongLines longLines);
    void ReadData(TStringList& dest, size_t keepBytes, size_t maxLines, TLongLines longLines);
    bool FetchData(const std::string& command, const TLineSink& keep, size_t keepBytes,
                   size_t maxLines, TLongLines longLines);
    // Adds the lines to dest only when the whole reply has been read.
    bool FetchData(const std::string& command, TStringList& dest, size_t keepBytes, size_t maxLines,
                   TLongLines longLines);
    // A listing (CAPA, UIDL, LIST) of at most maxLines lines.
    bool FetchListing(const std::string& command, TStringList& dest, size_t keepBytes,
                      size_t maxLines);
    // Message text: lines over MaxLineLength are cut.
    bool FetchText(const std::string& command, TStringList& dest, size_t keepBytes = SIZE_MAX);
    bool FetchText(const std::string& command, std::string& text, size_t keepBytes = SIZE_MAX);
    // QUIT, then the reply awaited up to waitMs (0 without limit, below 0 not at all); closes.
    bool SendQuit(int waitMs);
};
