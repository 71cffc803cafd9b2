// The message store's entries, job queue and errors, and their index bookkeeping.
#include "model/UStore.h"

#include "core/UGlobal.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

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
                       [](const TQueuedTask& task) { return task.Kind == tkCheck; });
}

bool HasCheckTaskFor(const TTaskArray& tasks, int account) {
    return std::any_of(tasks.begin(), tasks.end(), [account](const TQueuedTask& task) {
        return task.Kind == tkCheck && task.Account == account;
    });
}

std::string TaskCaption(const TQBTaskInfo& task, const std::string& accountName) {
    switch (task.Kind) {
    case tkCheck:
        return "Check email on '" + accountName + "'...";
    case tkRetrieve:
        return "Retrieve email " + std::to_string(task.MsgNum) + "...";
    case tkRemove:
        return "Remove email " + std::to_string(task.MsgNum) + "...";
    default:
        return "Remove multiple messages...";
    }
}

namespace {

int EntryByNumber(const TButtonArray& buttons, int account, int msgNum) {
    for (int i = static_cast<int>(buttons.size()) - 1; i >= 0; --i)
        if (buttons[i].Account == account && buttons[i].MsgNum == msgNum)
            return i;
    return -1;
}

// The account's entries with uid, in store order.
std::vector<int> EntriesWithKey(const TButtonArray& buttons, int account, const std::string& uid) {
    std::vector<int> entries;
    for (int i = 0; i < static_cast<int>(buttons.size()); ++i)
        if (buttons[i].Account == account && buttons[i].UID == uid)
            entries.push_back(i);
    return entries;
}

TEntryKey KeyOf(const TButtonArray& buttons, int entry) {
    const std::vector<int> same =
        EntriesWithKey(buttons, buttons[entry].Account, buttons[entry].UID);
    TEntryKey key;
    key.UID = buttons[entry].UID;
    key.Count = static_cast<int>(same.size());
    key.Occurrence = static_cast<int>(std::find(same.begin(), same.end(), entry) - same.begin());
    return key;
}

} // namespace

TQueuedTask QueueTask(const TQBTaskInfo& task, const TButtonArray& buttons) {
    TQueuedTask queued;
    static_cast<TQBTaskInfo&>(queued) = task;
    const int count = static_cast<int>(buttons.size());
    if (task.Kind == tkRetrieve && task.Button >= 0 && task.Button < count)
        queued.Keys.push_back(KeyOf(buttons, task.Button));
    else if (task.Kind == tkRemove) {
        const int entry = EntryByNumber(buttons, task.Account, task.MsgNum);
        if (entry >= 0)
            queued.Keys.push_back(KeyOf(buttons, entry));
    } else if (task.Kind == tkRemoveSeveral) {
        for (const std::string& number : task.MsgNums) {
            const int entry = EntryByNumber(buttons, task.Account, std::atoi(number.c_str()));
            if (entry >= 0)
                queued.Keys.push_back(KeyOf(buttons, entry));
        }
    }
    return queued;
}

bool ResolveTask(TQueuedTask& task, const TButtonArray& buttons, bool* ambiguous) {
    if (ambiguous)
        *ambiguous = false;
    if (task.Kind == tkCheck)
        return task.Account >= 0;
    if (task.Account < 0)
        return false;
    std::vector<TEntryKey> present;
    std::vector<int> numbers;
    int lastEntry = -1;
    for (const TEntryKey& key : task.Keys) {
        const std::vector<int> same = EntriesWithKey(buttons, task.Account, key.UID);
        if (same.empty())
            continue;
        // Entries sharing the key came or went: guessing could hit another message.
        if (static_cast<int>(same.size()) != key.Count || key.Occurrence >= key.Count) {
            if (ambiguous)
                *ambiguous = true;
            return false;
        }
        const int entry = same[static_cast<size_t>(key.Occurrence)];
        present.push_back(key);
        numbers.push_back(buttons[entry].MsgNum);
        lastEntry = entry;
    }
    task.Keys = present;
    if (present.empty())
        return false;
    if (task.Kind == tkRemoveSeveral) {
        // The worker removes from the last number down, so that each report lowers
        // only numbers it has already passed.
        std::sort(numbers.begin(), numbers.end());
        task.MsgNums.clear();
        for (int number : numbers)
            task.MsgNums.push_back(std::to_string(number));
        return true;
    }
    task.MsgNum = buttons[lastEntry].MsgNum;
    if (task.Kind == tkRetrieve)
        task.Button = lastEntry;
    return true;
}

int FindEntry(const TButtonArray& buttons, int account, const std::string& uid, int hint) {
    const int count = static_cast<int>(buttons.size());
    // Checks report messages in server order, which is mostly the store's order.
    // A server lists each unique id once, so a match at the hint is the match.
    if (hint >= 0 && hint < count && buttons[hint].Account == account && buttons[hint].UID == uid)
        return hint;
    for (int i = count - 1; i >= 0; --i)
        if (buttons[i].Account == account && buttons[i].UID == uid)
            return i;
    return -1;
}

std::vector<int> MissingEntries(const TButtonArray& buttons, int account,
                                const TUIDSet& serverList) {
    std::vector<int> missing;
    for (int i = static_cast<int>(buttons.size()) - 1; i >= 0; --i)
        if (buttons[i].Account == account && !serverList.count(LowerUID(buttons[i].UID)))
            missing.push_back(i);
    return missing;
}

void RemoveEntry(TButtonArray& buttons, TTaskArray& tasks, int index, bool renumber) {
    if (index < 0 || index >= static_cast<int>(buttons.size()))
        return;
    const TButton& removed = buttons[index];
    if (renumber)
        for (TButton& entry : buttons)
            if (entry.Account == removed.Account && entry.MsgNum > removed.MsgNum)
                --entry.MsgNum;
    for (TQueuedTask& task : tasks) {
        if (task.Kind != tkRetrieve)
            continue;
        if (task.Button == index)
            task.Button = -1;
        else if (task.Button > index)
            --task.Button;
    }
    buttons.erase(buttons.begin() + index);
}

std::vector<int> AccountRemoved(TButtonArray& buttons, TTaskArray& tasks, int account,
                                int& runningAccount) {
    for (TButton& entry : buttons)
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
