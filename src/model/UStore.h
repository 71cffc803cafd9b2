// The message store's entries, job queue and errors, and their index bookkeeping.
#pragma once

#include "mail/CacheFiles.h"
#include "mail/QBTaskInfo.h"

#include <chrono>
#include <string>
#include <unordered_set>
#include <vector>

// What the list and the bar show of a message besides its caption and hint, decoded once
// on arrival: an entry does not keep the parsed header, which is many times larger.
struct TEntryFields {
    std::string Subject;                 // one line of UTF-8, as every text here
    std::string From;                    // the sender's address
    std::vector<std::string> Recipients; // name and address of each To recipient
    double Date = 0;                     // days as TDateTime; 0 when the header gives none
    int Priority = 0;
};

// One message announced on the bar. Its index in Buttons is its identity for list
// rows, jobs and the read window.
struct TButton {
    std::string Caption;
    int Account = 0;
    int MsgNum = 0;
    std::string UID;
    bool Read = false;
    TEntryFields Fields;
    std::string Hint;
};
using TButtonArray = std::vector<TButton>;

struct TError {
    std::string Text;
    std::chrono::system_clock::time_point Time;
};
using TErrorArray = std::vector<TError>;

// A message as a job names it: its key, and which of the account's entries with that key
// it was (a faulty server may give two messages one key) out of how many.
struct TEntryKey {
    std::string UID;
    int Occurrence = 0;
    int Count = 1;
};

// A queued job with the keys of the messages it acts on, so that its message numbers
// and entry index can be taken afresh when the worker takes it up.
struct TQueuedTask : TQBTaskInfo {
    std::vector<TEntryKey> Keys;
    // The user cancelled it; a cancelled job may end without its last event.
    bool Cancelled = false;
};
// First in, first out; the head is the running job.
using TTaskArray = std::vector<TQueuedTask>;

using TUIDSet = std::unordered_set<std::string>;

// Keys are hexadecimal digests; lists compare them without regard to case.
std::string LowerUID(const std::string& uid);
TUIDSet MakeUIDSet(const std::vector<std::string>& uids);

bool HasCheckTask(const TTaskArray& tasks);
bool HasCheckTaskFor(const TTaskArray& tasks, int account);

// The tasks window's caption of a job.
std::string TaskCaption(const TQBTaskInfo& task, const std::string& accountName);

// Records in task the keys of the entries it names (kind 1 by Button, kind 2 by
// MsgNum, kind 3 by MsgNums, all within task.Account).
TQueuedTask QueueTask(const TQBTaskInfo& task, const TButtonArray& buttons);

// Takes the message numbers (and, for kind 1, the entry index) of a job afresh from
// the store by its keys, dropping keys whose entry is gone. False when nothing of
// the job is left to do. When entries sharing a key have come or gone since the job was
// queued, the message it meant cannot be told apart: ambiguous is set and the job
// must not run.
bool ResolveTask(TQueuedTask& task, const TButtonArray& buttons, bool* ambiguous = nullptr);

// The entry of account with uid, searched from the last, near hint first; -1 if none.
int FindEntry(const TButtonArray& buttons, int account, const std::string& uid, int hint = -1);

// Entries of account whose key is not in serverList, from the last to the first.
std::vector<int> MissingEntries(const TButtonArray& buttons, int account,
                                const TUIDSet& serverList);

// Removes entry index from buttons. With renumber (the message was removed from the
// server in this session) the account's later message numbers drop by one; without
// it (a check found it gone, and the numbers are current already) they stay.
// Jobs naming entries by index follow: a job on the removed entry gets -1.
void RemoveEntry(TButtonArray& buttons, TTaskArray& tasks, int index, bool renumber);

// The account at index account has left Accounts (its entries are gone already):
// later accounts' indices drop by one in entries, jobs and runningAccount. Queued
// jobs of the account are dropped, except the running head, which is orphaned
// (account -1). Returns the queue positions dropped, ascending.
std::vector<int> AccountRemoved(TButtonArray& buttons, TTaskArray& tasks, int account,
                                int& runningAccount);
