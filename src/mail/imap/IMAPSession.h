// TQBIMAP: the IMAP client session (IMAP4rev1, STARTTLS, implicit TLS, UIDPLUS, IDLE) for INBOX.
#pragma once

#include "core/TLSMode.h"

#include "IMAPResponse.h"
#include "net/LineConnection.h"
#include "net/MailSession.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

// One message's header as FetchHeaders gives it.
struct TIMAPHeader {
    uint32_t UID = 0;
    uint64_t Size = 0;    // RFC822.SIZE, the whole message
    std::string Header;   // CR LF line ends, the blank line included
    bool Cut = false;     // passed MaxHeaderBytes: Header holds its start
    bool Missing = false; // the server answered with the size but without the header
};

// What came while idling; none set when the wait timed out.
enum TIMAPEvent : unsigned {
    ieNone = 0,
    ieExists = 1,  // new messages (Exists holds the count)
    ieExpunge = 2, // messages removed
    ieFlags = 4,   // flags of a message changed
};

// How long a session ended in the normal course waits for the server to confirm LOGOUT.
const int IMAPLogoutWait = 2000; // ms

// Every operation runs on the calling (worker) thread and throws EMailError on failure. A
// tagged NO or BAD (EMailReplyError) leaves the session usable; any other failure, a BYE
// included (its text is the error), closes the connection, since the stream is out of step.
// Only Connected and DropConnection may be called from another thread.
class TQBIMAP : public TMailSession {
  public:
    TQBIMAP() {
        Server.Protocol = TMailProtocol::IMAP;
        Server.Port = 143;
    }
    int ReadTimeout = 0; // ms a reply may pause between bytes; 0 waits without limit
    // Bounds on what one response may hold in memory.
    size_t MaxLineBytes = size_t(8) << 20;    // one line of a response, literals apart
    size_t MaxHeaderBytes = size_t(1) << 20;  // kept of a header; the rest is read and dropped
    size_t MaxReplyBytes = size_t(512) << 20; // longest response read at all
    size_t FetchBatch = 500;                  // uids named in one command
    int PipelineDepth = 4;                    // commands sent before the first reply is read
    TResolver Resolver;                       // name lookup; getaddrinfo when empty

    // What the server said of itself and of INBOX.
    std::set<std::string> Capabilities; // upper case
    bool HasCapability(const std::string& name) const { return Capabilities.count(name) > 0; }
    bool UIDPlus() const { return HasCapability("UIDPLUS"); }
    bool CanIdle() const { return HasCapability("IDLE"); }
    uint32_t Exists = 0;
    uint32_t UIDValidity = 0;
    uint32_t UIDNext = 0; // 0 when the server did not say
    std::string LastText; // text of the last tagged reply

    // Connects, secures the connection as TLS says, logs in and learns the capabilities; on
    // failure closes the session and rethrows. A password or an access token goes over clear
    // text only with TTLSMode::None.
    void Connect(int timeoutMs);
    bool Connected() const;
    // Sends LOGOUT and waits up to timeoutMs for the server's answer; closes in every case.
    // true when the server confirmed.
    bool Logout(int timeoutMs);
    // Breaks the connection without LOGOUT; a blocked read or idle wait fails at once.
    void DropConnection();
    // Lets the next Connect succeed after a drop.
    void ResetDrop();
    // Until the next Connect or Logout, a reply may pause timeoutMs instead of ReadTimeout.
    void LimitReplies(int timeoutMs);

    // Opens INBOX (EXAMINE when readOnly): sets Exists, UIDValidity and UIDNext.
    void Select(bool readOnly);
    // UIDs of the messages without \Seen, ascending; without those flagged \Deleted too when
    // undeletedOnly (a server without UIDPLUS keeps what was removed so until it expunges).
    std::vector<uint32_t> SearchUnseen(bool undeletedOnly = false);
    using THeaderSink = std::function<void(TIMAPHeader&& header)>;
    // Size and header of each message, in batches of FetchBatch, pipelined; messages gone from
    // the server give nothing, and one answered with its size alone gives it Missing.
    void FetchHeaders(const std::vector<uint32_t>& uids, const THeaderSink& sink);
    // The Message-ID field of each message as the server gives it (its lines, "" when it has
    // none), in batches, pipelined; messages gone from the server give nothing.
    using TFieldsSink = std::function<void(uint32_t uid, std::string&& fields)>;
    void FetchMessageIds(const std::vector<uint32_t>& uids, const TFieldsSink& sink);
    // The message (its first maxBytes when not 0) with CR LF line ends; false when the server
    // has no message of that uid.
    bool FetchMessage(uint32_t uid, std::string& text, size_t maxBytes = 0);
    void MarkSeen(const std::vector<uint32_t>& uids);
    // Asks the server whether the session is still alive (NOOP).
    void Noop();
    // Flags the messages \Deleted and, with UIDPLUS, expunges exactly them. false when the
    // server lacks UIDPLUS: the messages are only flagged.
    bool Delete(const std::vector<uint32_t>& uids);

    // Enters IDLE; fails with EMailReplyError when the server refuses or lacks IDLE.
    void StartIdle();
    // Waits up to timeoutMs for news; returns the TIMAPEvent flags of what came, ieNone on
    // timeout or InterruptIdle. DropConnection ends the wait at once with an error.
    unsigned WaitIdle(int timeoutMs);
    // Any thread: the WaitIdle now running, or else the next one, returns at once.
    void InterruptIdle();
    // Ends IDLE and reads the server's confirmation.
    void StopIdle();
    bool Idling() const { return !FIdleTag.empty(); }

  private:
    unsigned FTagCount = 0;
    std::string FIdleTag;
    unsigned FEvents = 0;       // TIMAPEvent flags seen since the last WaitIdle
    bool FLoggingOut = false;   // a BYE is due, not a failure
    uint64_t FReadBytes = 0;    // of every response read, to bound the untagged data of a command
    size_t FLineCap = SIZE_MAX; // a command's own, lower bound on a response line

    using TUntagged = std::function<void(TIMAPResponse& response)>;

    void CloseConnection() override;
    void UpgradeToTLS();
    void Establish(int timeoutMs);
    void Login();
    // AUTHENTICATE with Server.AccessToken; a refusal throws ETokenRefused.
    void LoginWithToken();
    void AskCapabilities();
    void TakeCapabilities(const std::vector<std::string>& words);

    std::string NextTag();
    // Sends "tag command"; returns the tag.
    std::string Send(const std::string& command);
    // Reads one whole response, each literal kept up to keep bytes.
    TIMAPResponse Read(size_t keep);
    // Records what untagged data tells of the mailbox and the server; a BYE throws.
    void Note(const TIMAPResponse& response);
    // Reads up to the tagged reply of tag, untagged ones passed to untagged; NO and BAD throw
    // EMailReplyError. Another tag or an unasked continuation is out of step.
    TIMAPResponse Complete(const std::string& tag, const TUntagged& untagged = nullptr,
                           size_t keep = SIZE_MAX);
    // Reads up to a continuation request; a tagged reply to tag ends the command instead.
    void AwaitContinuation(const std::string& tag);
    // Runs "prefix <set> suffix" for every set of the uids, PipelineDepth at a time.
    void RunBatched(const std::string& prefix, const std::vector<uint32_t>& uids,
                    const std::string& suffix, const TUntagged& untagged, size_t keep);
};
