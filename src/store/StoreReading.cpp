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
    task.Kind = tkRetrieve;
    task.MsgNum = FEntries[index].MsgNum;
    task.Full = full ? 1 : 0;
    AddTask(task, {id});
    ShowTasks(0);
}

void TMessageStore::RetrievedMessage() {
    const TQueuedTask& head = FTasks.front();
    // The worker has stored it in the cache file; shown only if the window still shows its
    // entry. Taken from the worker, not copied: the message may be hundreds of megabytes.
    const TEntryId id = head.Entries.empty() ? TEntryId::None : head.Entries.front();
    FReader->Retrieved(id, std::make_shared<const std::string>(std::move(FWorker->Text)),
                       FWorker->Answer == 0);
    NextTask();
}

void TMessageStore::DeleteMessage(TEntryId id) {
    const int index = EntryOrGone(id);
    if (index < 0 || !ValidAccount(FEntries[index].Account))
        return;
    FReader->RemovalQueued();
    TQBTaskInfo task = CheckTask(FEntries[index].Account);
    task.Kind = tkRemove;
    task.MsgNum = FEntries[index].MsgNum;
    AddTask(task, {id});
    ShowTasks(0);
}

void TMessageStore::DeleteMessages(const std::vector<TEntryId>& entries, int account) {
    if (!ValidAccount(account))
        return;
    FReader->RemovalQueued();
    TQBTaskInfo task = CheckTask(account);
    task.Kind = tkRemoveSeveral;
    task.MsgNum = 0;
    task.Notify = 1;
    AddTask(task, entries);
    ShowTasks(0);
}

void TMessageStore::RemovedMessage(int number) {
    const TQueuedTask& head = FTasks.front();
    const int kind = head.Kind;
    const int account = head.Account;
    const int target = FWorker->Target;
    const bool final = kind == tkRemove || number == 1;
    const int index = target >= 0 && target < static_cast<int>(head.Entries.size())
                          ? IndexOf(head.Entries[static_cast<size_t>(target)])
                          : -1;
    if (index >= 0) {
        const TEntry& entry = FEntries[index];
        std::error_code error;
        std::filesystem::remove(CachePath(account, entry.UID), error);
        // Forgotten, so that a check brings it back if the server kept it.
        auto& known = FWorker->ServerList;
        known.erase(std::remove(known.begin(), known.end(), entry.UID), known.end());
        FReader->Leaving(index, true);
        RemoveEntry(index);
        FReader->HideWhenAllRead();
    }
    if (final) {
        FReader->RemovalEnded();
        NextTask();
    }
}

void TMessageStore::RemovalIncomplete() {
    if (!ValidAccount(FRunningAccount))
        return;
    AddError("The removal did not complete; the messages are still on the server (" +
             AccountName(FRunningAccount) + ")");
    // Before any other job: their message numbers are those of the store, not yet
    // those of the server.
    if (!HasCheckTaskFor(FTasks, FRunningAccount)) {
        FTasks.insert(FTasks.begin(), QueueTask(CheckTask(FRunningAccount)));
        emit TaskAdded(0);
    }
    ShowTasks(1);
}
