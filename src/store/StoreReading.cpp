// The message store's reading path: retrievals, removals and their aftermath.
#include "store/MessageStore.h"

#include <algorithm>
#include <filesystem>

std::string TMessageStore::CachePath(int account, const std::string& uid) const {
    return CacheFileName(AccountName(account), uid);
}

void TMessageStore::QueueRetrieval(TEntryId id, bool full) {
    const int index = IndexOf(id);
    if (index < 0 || !ValidAccount(FEntries[index].Account))
        return;
    TQBTaskInfo task = CheckTask(FEntries[index].Account);
    task.Kind = TJobKind::Retrieve;
    task.MsgNum = FEntries[index].MsgNum;
    task.Full = full;
    AddTask(task, {id});
    ShowTasks(0);
}

void TMessageStore::DeleteMessage(TEntryId id) {
    const int index = EntryOrGone(id);
    if (index < 0 || !ValidAccount(FEntries[index].Account))
        return;
    FReader->RemovalQueued();
    TQBTaskInfo task = CheckTask(FEntries[index].Account);
    task.Kind = TJobKind::Remove;
    task.MsgNum = FEntries[index].MsgNum;
    AddTask(task, {id});
    ShowTasks(0);
}

void TMessageStore::DeleteMessages(const std::vector<TEntryId>& entries, int account) {
    if (!ValidAccount(account))
        return;
    FReader->RemovalQueued();
    TQBTaskInfo task = CheckTask(account);
    task.Kind = TJobKind::RemoveSeveral;
    task.MsgNum = 0;
    task.NotifyEnd = true;
    AddTask(task, entries);
    ShowTasks(0);
}

void TMessageStore::RemovalIncomplete(int account) {
    if (!ValidAccount(account))
        return;
    AddError("The removal did not complete; the messages are still on the server",
             AccountName(account));
    // Before any other job: their message numbers are those of the store, not yet
    // those of the server.
    if (!HasCheckTaskFor(FTasks, account)) {
        FTasks.insert(FTasks.begin(), MakeJob(CheckTask(account)));
        emit TaskAdded(0);
    }
    ShowTasks(1);
}
