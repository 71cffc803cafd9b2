// What the mailbox worker tells the main thread: each event a value that carries its data, so
// that the receiver never reads the worker's own fields.
#pragma once

#include "QBTaskInfo.h"
#include "core/Options.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

// A job handed to the worker, with what the store knows of the account's mailbox.
struct TJobOrder {
    TQBTaskInfo Task;
    // A check: the keys the last check saw on the server.
    TStringList ServerList;
    // A POP3 check: the sizes of the known messages by lower-case key; a message listed with
    // another size is another message under the same key, and its header is read again.
    std::unordered_map<std::string, long long> KnownSizes;
};

// A check found a message that is new, or one whose key now names another message.
struct TAnnounced {
    int Number = 0;
    std::string UID;
    TStringList Header;      // the header's lines, or a stand-in (UnreadableHeaderSubject)
    int Size = -1;           // from LIST; -1 when the server gave none
    bool Unreadable = false; // the header could not be read; an error naming it follows
    bool Replaces = false;   // the key was known with another size
};

// A check found a known message under a new number.
struct TRenumbered {
    std::string UID;
    int Number = 0;
};

// A check's pass has ended (it got past its connect); an error of the check follows it.
struct TCheckEnded {
    bool Complete = false; // the pass saw every message
    // Complete: every key on the server; else the known keys with those the pass saw added.
    TStringList ServerList;
};

// A retrieval's message, already in its cache file; the handler may take Text.
struct TRetrieved {
    int Number = 0;
    std::string Text;  // lines ending in CR LF
    bool Whole = true; // false: the header and the first lines only
};

// A removal took one of its messages away from the server, or found it gone already.
struct TRemoved {
    size_t Message = 0; // its place in the job's Messages
};

// A job's message is another one now under the same key (its Message-ID is not the announced
// one): its entry takes this header, as a new message would.
struct TChanged {
    size_t Message = 0; // its place in the job's Messages
    int Number = 0;
    TStringList Header;
    int Size = -1; // -1 when the server gave none
};

enum class TErrorSeverity : uint8_t {
    Warning, // the job goes on
    Fatal    // the job ends without its result
};

struct TWorkerError {
    TErrorSeverity Severity = TErrorSeverity::Warning;
    std::string Text;
};

enum class TSizeAnswer : uint8_t {
    Whole,      // fetch the whole message
    FirstLines, // fetch its header and first lines
    Cancel      // fetch nothing; the job ends
};

enum class TJobResult : uint8_t {
    Done,     // the job ran to its end (a check may still have reported errors)
    Failed,   // it ended without its result; Failure says why
    Cancelled // it was broken off (Stop) or its size question was cancelled
};

// Every job that the worker took from GetJob ends with exactly one of these.
struct TJobEnded {
    TJobId Job = TJobId::None;
    TJobKind Kind = TJobKind::Check;
    TJobResult Result = TJobResult::Done;
    std::string Failure;
    // A removal ended before the server confirmed QUIT or with a failed DELE: its messages
    // may all still be on the server.
    bool RemovalIncomplete = false;
};

// The provider replaced the refresh token of the job's account: the account keeps New from
// now on, unless its sign-in changed meanwhile (it no longer holds Old).
struct TRefreshReplaced {
    std::string Old;
    std::string New;
};

// The handlers of the worker's events, each run on the main thread while the worker waits
// (announcements may be queued instead, see TQBThread::Queue). A handler left empty skips its
// event; GetJob empty means no job.
struct TWorkerEvents {
    std::function<std::optional<TJobOrder>()> GetJob;
    std::function<void(TAnnounced& message)> Announced;
    std::function<void(const TRenumbered& message)> Renumbered;
    std::function<void(TCheckEnded& check)> CheckEnded;
    std::function<void(TRetrieved& message)> Retrieved;
    std::function<void(const TRemoved& message)> Removed;
    std::function<void(TChanged& message)> Changed;
    std::function<void(const TWorkerError& error)> Error;
    std::function<TSizeAnswer(int size)> SizeWarning;
    std::function<void(const std::string& text)> Status;
    std::function<void(const TRefreshReplaced& tokens)> RefreshReplaced;
    std::function<void(const TJobEnded& job)> JobEnded;
};
