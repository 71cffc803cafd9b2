// TQBThread: the one mailbox worker thread, running check, retrieve and remove jobs on POP3
// and IMAP servers, and mark-read jobs on IMAP ones.
#pragma once

#include "IMAPHeaderHelper.h"
#include "MessageLocator.h"
#include "POP3HeaderHelper.h"
#include "QBTaskInfo.h"
#include "WorkerEvents.h"
#include "imap/IMAPSession.h"
#include "net/ErrorCause.h"
#include "net/MailError.h"
#include "oauth/AccessTokens.h"
#include "pop3/POP3Session.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Runs a callable on the main thread and returns when it has run.
using TSynchronize = std::function<void(const std::function<void()>& call)>;
// Runs a callable on the main thread later, without waiting; calls run in the order given,
// and before any later synchronised call.
using TQueueCall = std::function<void(std::function<void()> call)>;
// The progress of a retrieval, told to the main thread without waiting for it.
struct TWorkerProgress {
    int64_t Received = 0; // bytes of the retrieval so far
    int64_t Size = 0;     // the message's size from LIST
};
// Posts the progress without waiting.
using TPostProgress = std::function<void(const TWorkerProgress& progress)>;

// How long a server may send nothing in the middle of a job before the job fails.
const int ServerSilenceLimit = 60000; // ms
// A job's message is not on the server any more; nothing was done to the server.
const char* const MessageGoneText = "The message is no longer on the server.";
// Status while a check reads the headers of new messages.
const char* const RetrievingInformation = "Retrieving message information...";
const char* const RetrieveFailed = "Server error: Message could not be retrieved!";
// Subject of a new message whose header could not be read.
const char* const UnreadableHeaderSubject = "(header could not be read)";
// A removal's message turned out to be another one under its key: it stays on the server.
const char* const ChangedBeforeRemovalText =
    "The message was not removed: the server now has another message under its unique id, "
    "which its entry shows instead.";
// The same found when the message was opened, with the Message-IDs.
std::string ChangedAtOpenText(const std::string& received, const std::string& announced);
// The header of a message's text (lines ending in CR LF or LF), the blank line last, as
// TOP n 0 gives it.
TStringList HeaderOfText(std::string_view text);
// The failure of a job whose event handler threw.
const char* const JobBrokenText = "The job was broken off by an internal error.";

// Every event runs on the main thread through the synchronise function while the
// worker waits; an event without a handler is skipped. Every job taken from GetJob ends
// with one JobEnded, whatever its handlers did, so a job runs at most once. Destroy the
// worker after Finished: from then on it raises no event. The destructor stops and joins
// the thread and raises no further event, but an event already waiting for the main
// thread when the destructor starts would wait for ever: a worker that did not
// finish in time is abandoned instead.
class TQBThread {
  public:
    TQBThread(int connectTimeout, TSynchronize synchronize, TPostProgress post);
    ~TQBThread();
    TQBThread(const TQBThread&) = delete;
    TQBThread& operator=(const TQBThread&) = delete;

    // The sessions, for their limits and trust settings; the worker alone uses them.
    TQBPOP3 POP3;
    TQBIMAP IMAP; // takes the TLSCAFile of POP3
    const int ConnectTimeout;

    // Set before Resume.
    TWorkerEvents Events;
    // When set (before Resume), a check's announcements are queued to the main thread while
    // the worker reads on; otherwise the worker waits for each batch. Either way the events
    // run in the same order, and the check ends only after they have all run.
    TQueueCall Queue;

    std::atomic<int> MaxSize{-1};          // bytes; a larger retrieval asks SizeWarning; -1 never
    std::atomic<int> MaxLines{0};          // body lines of a retrieval of the first lines
    int SilenceLimit = ServerSilenceLimit; // set before Resume
    // A check with at least this many new headers fetches the later half of them over a
    // second session at the same time (for POP3, where the server pipelines).
    size_t ParallelHeaderMinimum = 2000;
    // How long the check waits for that POP3 session's login once it needs its headers.
    int HelperLoginPatienceMs = 1000;
    // How much longer than its pace predicts the check waits for that second session once it
    // needs its headers; then the worker fetches the rest itself.
    int HelperPatienceMs = 5000;

    // Starts the thread; attach the events and limits first.
    void Resume();
    // Any thread: a job was queued; the idle worker asks GetJob for it.
    void Wake();
    // Any thread: breaks off the running job, which ends as cancelled; a session kept for the
    // next pushed check (TQBTaskInfo::KeepSessionMs) ends instead when no job runs.
    void Stop();
    // Any thread: the accounts changed. A kept session ends now, and no session opened before
    // serves a later job.
    void EndKeptSession();
    // Any thread: leave the loop after the current job.
    void Terminate();
    bool IsTerminated() const { return FTerminated; }
    // The thread has left its loop (or ForceFinished gave up on it).
    bool Finished() const { return FFinished; }
    void ForceFinished() { FFinished = true; }
    // The worker found no job, left its sessions and sleeps until Wake or Terminate.
    bool Idle() const { return FIdle; }
    // For an exit that can wait no longer: the thread is left to run out on its
    // own (it may be stuck in an event the main thread no longer serves) and raises
    // or posts nothing more. The object must then never be destroyed.
    void Abandon();

  private:
    // One list entry of a check on its way to the main thread.
    struct TCheckEntry {
        int Number = 0;
        std::string UID;
        bool New = false;  // not in ServerList: its header is fetched
        TStringList Lines; // the header, or the stand-in
        int Size = -1;
        bool Unreadable = false;
        bool Replaces = false;   // the key was known before with another size
        bool Prefetched = false; // the header came from the second session
        std::string Problem;     // error announced after the entry
        bool NeedsTop() const { return New && !Prefetched; }
        // Announced with the stand-in header, and its size where that is known.
        void MarkUnreadable() {
            Unreadable = true;
            Lines.assign({std::string("Subject: ") + UnreadableHeaderSubject, ""});
        }
    };
    // Consecutive list entries whose TOP commands go out together (one at a time
    // without pipelining) and whose events go to the main thread together.
    struct TCheckWindow {
        std::vector<TCheckEntry> Entries;
        size_t Ready = 0;     // entries complete, from the start
        size_t Announced = 0; // entries raised, from the start
        bool Sent = false;
        bool Unsent = false; // the TOP commands could not be sent
        bool TopsRead = false;
        // Ends the check once the ready entries are announced.
        std::exception_ptr Failure;
        // The list entry after the window's could not be read: ends the check after them.
        std::exception_ptr Rest;
    };

    TSynchronize FSynchronize;
    TPostProgress FPost;
    std::thread FThread;
    std::atomic<bool> FStopping{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FIdle{false};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FDestroying{false};
    std::atomic<bool> FExited{false}; // Execute has left its loop
    std::mutex FIdleLock;
    std::condition_variable FIdleWake;
    // A job may be waiting: set by Wake, taken by the worker; guarded by FIdleLock.
    bool FWakeWanted = false;
    // Kept IMAP session (KeptSession.cpp). Until when a pushed check keeps it; none: not kept.
    std::chrono::steady_clock::time_point FKeepUntil{};
    bool FKeeping = false; // waiting with it for the next job; guarded by FIdleLock
    // Set by EndKeptSession (or Stop while it is kept); taken by the next IMAP job.
    std::atomic<bool> FEndKept{false};
    bool FProbeKept = false;   // it waited without a job: the next one sees first that it lives
    int FSessionAccount = -1;  // the account whose job opened the IMAP session
    bool FStatusShown = false; // FStatusText is what the main thread was last given
    std::string FStatusText;

    // The running job, what the store gave with it, and how it is ending.
    TQBTaskInfo FTask;
    TStringList FServerList;
    std::unordered_map<std::string, long long> FKnownSizes;
    TJobEnded FEnding;
    std::string FRefreshAsked; // the refresh token the job's access token came from
    int FSize = 0;             // a retrieval's size from LIST; -1 when the server gave none
    // The retrieved message, lines ending in CR LF, until the Retrieved event takes it.
    std::string FText;
    // Announcements queued and not yet known to have run, and the first failure of one.
    int FQueued = 0;
    std::mutex FQueuedFailureLock;
    std::exception_ptr FQueuedFailure;

    // Servers ("host:port") found to lack TOP in this run: their headers come with RETR.
    std::unordered_set<std::string> FLacksTop;
    // Servers ("host:port") whose second POP3 session of a check was not logged in by the
    // time the first needed its headers: no check of this run starts one there again.
    std::unordered_set<std::string> FOneSessionAtATime;
    // Servers whose missing UIDL has been noted in this run.
    std::unordered_set<std::string> FNotedNoUIDL;
    // The running check keys messages by their headers, as the server refused UIDL.
    bool FKeysFromHeaders = false;
    bool FTopWorked = false;                         // a TOP of the running check was answered
    std::unordered_set<std::string> FKnown;          // the running check's server list, lower case
    std::unordered_map<int, long long> FListedSizes; // the running check's LIST, by number
    // The running check's second session, for Stop to break off.
    std::mutex FHelperLock;
    THeaderHelper* FHeaderHelper = nullptr;

    void Execute();
    // Takes the next job from GetJob; false when there is none.
    bool TakeJob();
    void RunTask();
    // Fills FTask's password from the keyring when the job's account keeps it there; false, with
    // the error raised, when the keyring did not give it.
    bool TakeKeyringPassword();
    // Fills FTask's access token for an OAuth2 account, refreshed when renew or due; a
    // replaced refresh token is handed to the main thread to keep. False, with the error
    // raised, when there is none to sign in with.
    bool TakeAccessToken(bool renew);
    // The account's sign-in is void: its error is raised the first time, and later jobs of it
    // fail without one.
    void EndSignIn();
    void Check();
    // After UIDL was refused: the LIST listing in list, and the check keys by header.
    bool ListWithoutUIDs(TStringList& list);
    // The TOP commands of the check go out together: the server pipelines and has TOP.
    bool PipelinesTops() const;
    // Reads the header of a new entry on its own, with TOP, or with RETR where the server
    // turns out to lack TOP; false with the refusal in POP3.LastReply.
    bool ReadHeaderAlone(TCheckEntry& entry);
    // The key of an entry of a check keyed by header, once its header is in (or failed).
    void KeyByHeader(TCheckEntry& entry, bool readable);
    // The header and MaxLines body lines of message number into Text: with TOP, or cut
    // from RETR where the server lacks TOP.
    bool RetrieveFirstLines(int number);
    // The next entries of the list from next on, before end, up to a window's worth of new
    // ones; a new one whose header the helper has needs no TOP.
    TCheckWindow TakeWindow(TStringList& list, size_t& next, size_t end,
                            const std::unordered_set<std::string>& known,
                            TPOP3HeaderHelper* helper);
    // The entry of a UIDL line (fields parsed from line): its key, size and whether it is new.
    TCheckEntry ListedEntry(const std::string& line, const TListingLine& fields,
                            const std::unordered_set<std::string>& known) const;
    // Sends the TOP commands of the window's new entries when the server pipelines
    // (else ReadTops sends them one by one); the known entries before the first new
    // one are announced first when the status changes.
    void SendWindow(TCheckWindow& window, TStringList& seen);
    // Reads the replies of the window's TOP commands in order (sending each first
    // without pipelining); a failure that ends the check is kept in the window. Halfway
    // through, halfway (when given) is called.
    void ReadTops(TCheckWindow& window, TStringList& seen, const std::function<void()>& halfway);
    // Raises the events of the ready entries not yet announced, in one call to the main
    // thread (queued when Queue is set); seen gets their UIDs there.
    void Announce(TCheckWindow& window, size_t end, TStringList& seen);
    // Waits until every queued announcement has run; rethrows the first failure of one.
    void AwaitAnnouncements();
    // Size from LIST, or -1 when the server will not say.
    int SizeOrUnknown(int number);
    // Raises CheckEnded: keys are every key on the server when complete, else the ones the
    // pass saw, added to the known ones.
    void EndCheck(bool complete, TStringList keys);
    // "host:port" of the running job's server.
    std::string ServerName() const;
    // The entry is known, but with another size than the server lists now.
    bool SizeChanged(const TCheckEntry& entry) const;
    void Retrieve();
    void Remove();
    void RemoveSeveral();
    // Reads TOP n 0 of the numbers (0 or below: none) whose messages were announced with a
    // Message-ID, pipelined where the server allows; one with another Message-ID is announced
    // afresh (Changed) and its number set to -1. false, with the cause, when the server failed.
    bool ConfirmBeforeRemoval(std::vector<int>& numbers, std::string& cause);
    // Tells the main thread that a job's message is another one now.
    void RaiseChanged(TChanged message);
    // DELE number; false, with the cause, when it failed.
    bool Delete(int number, std::string& cause);
    // Tells that the message at place in the job's Messages left the server.
    void RaiseRemoved(size_t place);
    // The removal's failure, reported.
    void FinishRemoval(bool failed, const std::string& cause);
    // The current number of ref, 0 when the server no longer has it; raises an error that
    // says why when it is gone (-1: ambiguous or the server failed, already reported).
    int Locate(TMessageLocator& locator, const TMessageRef& ref, TErrorSeverity severity);
    void ReportServerFailure(const std::string& text);
    void EndSession();
    // A retrieval's last steps: the Message-ID compared with the announced one, the cache
    // file, the message announced; or failure (when not empty), reported.
    void FinishRetrieval(std::string failure, const std::string& note, bool whole);
    // The job has ended: the status cleared and JobEnded raised, whatever happened.
    void EndJob();
    // The size question of a retrieval of FSize bytes, when it is over the limit.
    TSizeAnswer AskSize();

    // On the main thread, when GetJob gave nothing: a session a pushed check keeps is kept from
    // now on, so that a Stop that follows ends it with a goodbye.
    void StartKeeping();
    // After a pushed check, waits with the IMAP session logged in until the next job or until
    // the keep runs out; true when a job may have come, false when the session is to end.
    bool KeepSession();
    // Before an IMAP job: closes a session that must not serve it (another account, other
    // settings, accounts changed since, or kept and found dead).
    void ReuseOrCloseIMAP();

    // IMAP jobs (IMAPJobs.cpp), on the session IMAP.
    void RunIMAPTask();
    void IMAPCheck();
    void IMAPRetrieve();
    void IMAPRemove();
    void IMAPMarkRead();
    // The uids of the job's messages that belong to the mailbox as selected now.
    std::vector<uint32_t> IMAPUIDs() const;
    // IMAPUIDs less the messages whose Message-ID is not the announced one (fetched alone):
    // each such one is announced afresh (Changed) and its place in Messages added to changed.
    std::vector<uint32_t> IMAPConfirmedUIDs(std::unordered_set<size_t>& changed);
    // Starts a second session on the later half of fresh when there are enough of them.
    std::unique_ptr<TIMAPHeaderHelper> StartHeaderHelper(const std::vector<uint32_t>& fresh,
                                                         uint32_t validity);
    // The same for a POP3 check of list: split becomes the place in list where the helper's
    // half begins (list's end without a helper).
    std::unique_ptr<TPOP3HeaderHelper>
    StartPOP3HeaderHelper(const TStringList& list, const std::unordered_set<std::string>& known,
                          size_t& split);
    // Lets Stop reach helper (nullptr: none); a Stop that came before reaches it here.
    void SetHeaderHelper(THeaderHelper* helper);

    // Runs an event on the main thread; an exception in the handler reaches the worker.
    void Raise(const std::function<void()>& call);
    // Connects session to the running job's server unless it is connected already; false,
    // with the failure raised as fatal and the session closed with close, when it could not.
    template <class TSession, class TClose> bool OpenSession(TSession& session, TClose close) {
        if (session.Connected())
            return true;
        // Said as it is: no connection was tried.
        if (!IsTCPPort(FTask.Server.Port)) {
            RaiseError(TErrorSeverity::Fatal, PortRefusal(FTask.Server.Port));
            return false;
        }
        SetStatus("Connecting to " + FTask.Server.Host + "...");
        std::string cause;
        bool failed = false;
        // A refused access token is refreshed and tried once more.
        for (bool renewed = false;;) {
            bool refused = false;
            try {
                session.Connect(ConnectTimeout);
            } catch (const ETokenRefused& error) {
                refused = true;
                cause = error.what();
            } catch (const std::exception& error) {
                failed = true;
                cause = error.what();
            } catch (...) {
                failed = true;
            }
            if (!refused)
                break;
            if (session.Connected())
                close();
            if (renewed) {
                AccessTokens().EndSignIn(FRefreshAsked);
                EndSignIn();
                return false;
            }
            renewed = true;
            if (!TakeAccessToken(true))
                return false;
            session.Server.AccessToken = FTask.Server.AccessToken;
        }
        if (!failed && session.Connected())
            return true;
        RaiseError(TErrorSeverity::Fatal,
                   WithCause("Could not connect to the mail server!", cause));
        if (session.Connected())
            close();
        return false;
    }
    // Raises Status when the text differs from the one last raised.
    void SetStatus(const std::string& text);
    // Whether SetStatus(text) would raise an event.
    bool StatusChanges(const std::string& text) const {
        return Events.Status && !FStopping && !(FStatusShown && FStatusText == text);
    }
    // Reports an error; a fatal one becomes the job's failure (the first one counts).
    void RaiseError(TErrorSeverity severity, const std::string& text);
    // Hands the retrieved message (FText) to the main thread.
    void RaiseRetrieved(bool whole);
    void ForgetRetrieved();
};
