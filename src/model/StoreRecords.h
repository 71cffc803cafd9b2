// The message store's entries, job queue and errors, and their index bookkeeping.
#pragma once

#include "cache/CacheFiles.h"
#include "worker/QBTaskInfo.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

// What the list and the bar show of a message besides its caption and hint, decoded once
// on arrival: an entry does not keep the parsed header, which is many times larger.
struct TEntryFields {
    std::string Subject;                 // one line of UTF-8, as every text here
    std::string From;                    // the sender's address
    std::string FromName;                // the sender's name; empty when the header gives none
    std::vector<std::string> Recipients; // name and address of each To recipient
    std::string To;                      // the To addresses, as the hint lists them
    std::string DateText;                // the Date header as the message gives it
    double Date = 0;                     // days as TDateTime; 0 when the header gives none
    int Priority = 0;
    long long Size = -1;     // bytes on the server; -1 when the server did not say
    bool Unreadable = false; // the header could not be read: the hint gives the size
    bool operator==(const TEntryFields&) const = default;
};

// Names an entry for as long as the program runs: handed out once, never reused. Whatever
// acts on an entry later (a window, a menu, a question, a queued job) holds this, and looks
// the entry up when it acts, since a check can remove entries at any time.
// A type of its own, so that an entry's position can never be passed for it.
enum class TEntryId : unsigned long long { None = 0 };

// One message announced on the bar.
struct TEntry {
    TEntryId Id = TEntryId::None;
    int Account = 0;
    int MsgNum = 0; // at the last check; the worker confirms it before acting on it
    std::string UID;
    std::string MessageID; // of the announced header
    bool Read = false;
    TEntryFields Fields;
};
using TEntryArray = std::vector<TEntry>;

struct TError {
    std::string Text; // an account's error ends with " (<account name>)"
    // The account it is about, by name, since accounts move and go; "" for none.
    std::string Account;
    std::chrono::system_clock::time_point Time; // of the latest time it happened
    int Count = 1;                              // how often in a row it happened
    bool SignInExpired = false; // the account's OAuth2 sign-in is void: the user signs in anew
    // A check or the push connection failed: the account's next check that succeeds ends it.
    bool EndsWithCheck = false;
};
using TErrorArray = std::vector<TError>;

// A queued job with the entries it acts on, so that their keys and numbers are taken
// afresh when the worker takes it up.
struct TQueuedTask : TQBTaskInfo {
    std::vector<TEntryId> Entries;
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

TQueuedTask QueueTask(const TQBTaskInfo& task, std::vector<TEntryId> entries = {});

// The position of entry id in store; -1 when it is gone.
int IndexOf(const TEntryArray& store, TEntryId id);

// Fills the job's Messages (and MsgNum for a single message) from its entries still in
// store, dropping those that are gone; RemoveSeveral by ascending number, Entries alike. False
// when nothing of the job is left to do.
bool ResolveTask(TQueuedTask& task, const TEntryArray& store);

// The entry of account with uid, searched from the last, near hint first; -1 if none.
int FindEntry(const TEntryArray& store, int account, const std::string& uid, int hint = -1);

// Entries of account whose key is not in serverList, from the last to the first.
std::vector<int> MissingEntries(const TEntryArray& store, int account,
                                const std::vector<std::string>& serverList);

// Removes entry index from store. With renumber (the message was removed from the
// server in this session) the account's later message numbers drop by one; without
// it (a check found it gone, and the numbers are current already) they stay.
void RemoveEntry(TEntryArray& store, int index, bool renumber);

// The account at index account has left Accounts (its entries are gone already):
// later accounts' indices drop by one in entries, jobs and runningAccount. Queued
// jobs of the account are dropped, except the running head, which is orphaned
// (account -1). Returns the queue positions dropped, ascending.
std::vector<int> AccountRemoved(TEntryArray& store, TTaskArray& tasks, int account,
                                int& runningAccount);
