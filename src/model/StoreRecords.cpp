// The message store's entries, job queue and errors, and their index bookkeeping.
#include "model/StoreRecords.h"

#include "core/Global.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>
#include <unordered_map>

std::string LowerUID(const std::string& uid) {
    std::string lower = uid;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

TUIDSet MakeUIDSet(const std::vector<std::string>& uids) {
    TUIDSet set;
    set.reserve(uids.size());
    for (const std::string& uid : uids)
        set.insert(LowerUID(uid));
    return set;
}

bool HasCheckTask(const TTaskArray& tasks) {
    return std::any_of(tasks.begin(), tasks.end(),
                       [](const TQueuedTask& task) { return task.Kind == TJobKind::Check; });
}

bool HasCheckTaskFor(const TTaskArray& tasks, int account) {
    return std::any_of(tasks.begin(), tasks.end(), [account](const TQueuedTask& task) {
        return task.Kind == TJobKind::Check && task.Account == account;
    });
}

std::string TaskCaption(const TQBTaskInfo& task, const std::string& accountName) {
    switch (task.Kind) {
    case TJobKind::Check:
        return "Check email on '" + accountName + "'...";
    case TJobKind::Retrieve:
        return "Retrieve email " + std::to_string(task.MsgNum) + "...";
    case TJobKind::Remove:
        return "Remove email " + std::to_string(task.MsgNum) + "...";
    case TJobKind::MarkRead:
        return "Mark email as read on '" + accountName + "'...";
    case TJobKind::RemoveSeveral:
        break;
    }
    return "Remove multiple messages...";
}

namespace {

// The account's entries with uid, in store order.
std::vector<int> EntriesWithKey(const TEntryArray& store, int account, const std::string& uid) {
    std::vector<int> entries;
    for (int i = 0; i < static_cast<int>(store.size()); ++i)
        if (store[i].Account == account && store[i].UID == uid)
            entries.push_back(i);
    return entries;
}

TMessageRef RefOf(const TEntryArray& store, int entry) {
    const TEntry& shown = store[static_cast<size_t>(entry)];
    const std::vector<int> same = EntriesWithKey(store, shown.Account, shown.UID);
    TMessageRef ref;
    ref.Number = shown.MsgNum;
    ref.UID = shown.UID;
    ref.Count = static_cast<int>(same.size());
    ref.Occurrence = static_cast<int>(std::find(same.begin(), same.end(), entry) - same.begin());
    ref.MessageID = shown.MessageID;
    return ref;
}

} // namespace

TQueuedTask QueueTask(const TQBTaskInfo& task, std::vector<TEntryId> entries) {
    TQueuedTask queued;
    static_cast<TQBTaskInfo&>(queued) = task;
    queued.Entries = std::move(entries);
    return queued;
}

int IndexOf(const TEntryArray& store, TEntryId id) {
    // From the last: the entries acted on are mostly the newest.
    for (int i = static_cast<int>(store.size()) - 1; i >= 0; --i)
        if (store[static_cast<size_t>(i)].Id == id)
            return i;
    return -1;
}

bool ResolveTask(TQueuedTask& task, const TEntryArray& store) {
    if (task.Kind == TJobKind::Check)
        return task.Account >= 0;
    if (task.Account < 0)
        return false;
    std::vector<std::pair<TMessageRef, TEntryId>> present;
    for (TEntryId id : task.Entries) {
        const int entry = IndexOf(store, id);
        if (entry >= 0 && store[static_cast<size_t>(entry)].Account == task.Account)
            present.emplace_back(RefOf(store, entry), id);
    }
    if (present.empty())
        return false;
    // The worker removes from the last number down, as the server's numbers stood.
    std::stable_sort(present.begin(), present.end(),
                     [](const auto& a, const auto& b) { return a.first.Number < b.first.Number; });
    task.Messages.clear();
    task.Entries.clear();
    for (auto& [ref, id] : present) {
        task.Messages.push_back(std::move(ref));
        task.Entries.push_back(id);
    }
    if (task.Kind != TJobKind::RemoveSeveral)
        task.MsgNum = task.Messages.front().Number;
    return true;
}

int FindEntry(const TEntryArray& store, int account, const std::string& uid, int hint) {
    const int count = static_cast<int>(store.size());
    // Checks report messages in server order, which is mostly the store's order.
    // A server lists each unique id once, so a match at the hint is the match.
    if (hint >= 0 && hint < count && store[hint].Account == account && store[hint].UID == uid)
        return hint;
    for (int i = count - 1; i >= 0; --i)
        if (store[i].Account == account && store[i].UID == uid)
            return i;
    return -1;
}

namespace {

// ASCII only: unique ids are printable ASCII, and std::tolower's locale call would cost more
// than the comparison.
unsigned char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a')
                                : static_cast<unsigned char>(c);
}

bool SameUID(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

struct TUIDHash {
    size_t operator()(std::string_view uid) const noexcept {
        size_t hash = 14695981039346656037ull; // FNV-1a
        for (const char c : uid)
            hash = (hash ^ Lower(c)) * 1099511628211ull;
        return hash;
    }
};

struct TSameUID {
    bool operator()(std::string_view a, std::string_view b) const noexcept { return SameUID(a, b); }
};

// How far ahead in the server's list an entry is looked for before it is left for the slow
// way: a few messages the entries lack must not send every later entry there.
constexpr size_t LookAhead = 8;

} // namespace

std::vector<int> MissingEntries(const TEntryArray& store, int account,
                                const std::vector<std::string>& serverList) {
    // The entries stand in the server's order nearly always: walking both lists together
    // finds them without hashing 100,000 keys. Those not met that way are looked up in one
    // pass over the list.
    std::vector<int> unmet;
    size_t next = 0;
    for (int i = 0; i < static_cast<int>(store.size()); ++i) {
        if (store[i].Account != account)
            continue;
        const size_t end = std::min(serverList.size(), next + LookAhead);
        size_t at = next;
        while (at < end && !SameUID(store[i].UID, serverList[at]))
            ++at;
        if (at < end)
            next = at + 1;
        else
            unmet.push_back(i);
    }
    if (unmet.empty())
        return {};
    std::unordered_map<std::string_view, bool, TUIDHash, TSameUID> found;
    for (int i : unmet)
        found.emplace(store[i].UID, false);
    for (const std::string& uid : serverList)
        if (const auto it = found.find(uid); it != found.end())
            it->second = true;
    std::vector<int> missing;
    for (auto i = unmet.rbegin(); i != unmet.rend(); ++i)
        if (!found[store[*i].UID])
            missing.push_back(*i);
    return missing;
}

void RemoveEntry(TEntryArray& store, int index, bool renumber) {
    if (index < 0 || index >= static_cast<int>(store.size()))
        return;
    const TEntry& removed = store[index];
    if (renumber)
        for (TEntry& entry : store)
            if (entry.Account == removed.Account && entry.MsgNum > removed.MsgNum)
                --entry.MsgNum;
    store.erase(store.begin() + index);
}

std::vector<int> AccountRemoved(TEntryArray& store, TTaskArray& tasks, int account,
                                int& runningAccount) {
    for (TEntry& entry : store)
        if (entry.Account > account)
            --entry.Account;
    std::vector<int> dropped;
    for (int i = static_cast<int>(tasks.size()) - 1; i >= 0; --i) {
        TQueuedTask& task = tasks[i];
        if (task.Account == account) {
            if (i == 0)
                task.Account = -1;
            else {
                tasks.erase(tasks.begin() + i);
                dropped.insert(dropped.begin(), i);
            }
        } else if (task.Account > account)
            --task.Account;
    }
    if (runningAccount == account)
        runningAccount = -1;
    else if (runningAccount > account)
        --runningAccount;
    return dropped;
}
