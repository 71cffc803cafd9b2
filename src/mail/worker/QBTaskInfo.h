// TQBTaskInfo: one job for the mailbox worker.
#pragma once

#include "core/ServerEndpoint.h"

#include <cstdint>
#include <string>
#include <vector>

// MarkRead sets \Seen on an IMAP server; a POP3 server keeps no read state.
enum class TJobKind : uint8_t { Check, Retrieve, Remove, RemoveSeveral, MarkRead };

// Names a queued job for as long as the program runs; handed out once, never reused.
enum class TJobId : unsigned long long { None = 0 };

// A message as a job names it. Numbers change when another client removes messages, so the
// worker acts on the number the server gives the key now, not on the one of the last check.
// On IMAP the key is "<uidvalidity>:<uid>" and the number the message's place among the
// unseen ones; the worker acts on the uid alone.
struct TMessageRef {
    int32_t Number = 0; // at the last check; tried first
    std::string UID;    // the key: digest of the server's unique id (POP3)
    // Which of the messages with this key it is, out of how many (a faulty server may give
    // two messages one unique id); a different count on the server makes it ambiguous.
    int32_t Occurrence = 0;
    int32_t Count = 1;
    std::string MessageID; // of the announced header, "" when it had none
};

struct TQBTaskInfo {
    TJobKind Kind = TJobKind::Check;
    TJobId Id = TJobId::None;
    TServerEndpoint Server;
    // A check: -1. A retrieval or removal: the last check's number of the message, and
    // while the job runs, the number the server gives it now.
    int32_t MsgNum = -1;
    int32_t Account = -1;
    bool Full = false; // a retrieval fetches the whole message without the size question
    // Retrieve and Remove: the one message; RemoveSeveral and MarkRead: the messages, by
    // ascending number.
    std::vector<TMessageRef> Messages;
    // The job's end is told to whoever waits for it (the list window waits for a removal).
    bool NotifyEnd = false;
    // A retrieval: the cache file the message is written to, on the worker's thread, before
    // it is announced; empty: none.
    std::string CacheFile;
    // A check asked for by the account's push connection: the IMAP session stays logged in
    // this long (ms) after it, so that the next such check needs no new login.
    int KeepSessionMs = 0;
};
