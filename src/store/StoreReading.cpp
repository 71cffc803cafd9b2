// The message store's reading path: opening an entry, storing a retrieved message,
// removals and their aftermath, and the read window's walk through the list.
#include "store/MessageStore.h"

#include "core/UOptions.h"

#include <algorithm>
#include <exception>
#include <filesystem>

namespace {

int PositionIn(const std::vector<int>& order, int index) {
    // From the last, as the list is searched.
    for (int i = static_cast<int>(order.size()) - 1; i >= 0; --i)
        if (order[i] == index)
            return i;
    return -1;
}

} // namespace

std::string TMessageStore::CachePath(int account, const std::string& uid) const {
    return CacheFileName(AccountName(account), uid);
}

std::vector<int> TMessageStore::CurrentOrder() const {
    if (ListOrder)
        return ListOrder();
    std::vector<int> order;
    for (int i = 0; i < static_cast<int>(Buttons.size()); ++i)
        if (!Buttons[i].Read)
            order.push_back(i);
    return order;
}

void TMessageStore::OpenButton(int index) {
    if (index < 0 || index >= static_cast<int>(Buttons.size()))
        return;
    const std::vector<int> order = CurrentOrder();
    const int position = PositionIn(order, index);
    if (position < 0)
        return;
    const TButton& entry = Buttons[index];
    FReadId = entry.Id;
    FReadShown = true;
    emit ReadOpening(entry.Id, position, position > 0,
                     position < static_cast<int>(order.size()) - 1);
    TCacheFile file;
    bool cached = false;
    try {
        cached = ReadCacheFile(CachePath(entry.Account, entry.UID), file);
    } catch (const std::exception& error) {
        // Fetched afresh below, which replaces the unreadable file.
        AddError(error.what());
    }
    if (cached) {
        emit ReadDownloadEnabled(!file.Complete);
        try {
            emit ReadLoaded(FReadId, QByteArray::fromStdString(file.Text), file.Complete);
        } catch (const std::exception& error) {
            AddError(std::string("The message could not be shown: ") + error.what());
            ShowTasks(1);
        }
        return;
    }
    emit ReadDownloadEnabled(false);
    if (!ValidAccount(entry.Account))
        return;
    TQBTaskInfo task = CheckTask(entry.Account);
    task.Kind = tkRetrieve;
    task.MsgNum = entry.MsgNum;
    AddTask(task, {entry.Id});
    ShowTasks(0);
}

void TMessageStore::DownloadAll() {
    const int index = EntryOrGone(FReadId);
    if (index < 0 || !ValidAccount(Buttons[index].Account))
        return;
    emit ReadCommandsEnabled(false);
    emit ReadDownloadEnabled(false);
    TQBTaskInfo task = CheckTask(Buttons[index].Account);
    task.Kind = tkRetrieve;
    task.MsgNum = Buttons[index].MsgNum;
    task.Full = 1;
    AddTask(task, {FReadId});
    ShowTasks(0);
}

void TMessageStore::RetrievedMessage(const TStringList* lines) {
    const TQueuedTask& head = Tasks.front();
    // The worker fetched the message that carries this key on the server now: the file
    // is stored under it, and shown only if the window still shows its entry.
    const std::string uid =
        Worker->Task.Messages.empty() ? std::string() : Worker->Task.Messages.front().UID;
    const TEntryId id = head.Entries.empty() ? TEntryId::None : head.Entries.front();
    const int account = head.Account;
    const bool complete = Worker->Answer == 0;
    std::string text;
    if (lines)
        for (const std::string& line : *lines)
            text += line + "\r\n";
    if (id != TEntryId::None && id == FReadId && FReadShown) {
        try {
            emit ReadLoaded(id, QByteArray::fromStdString(text), complete);
        } catch (const std::exception& error) {
            AddError(std::string("The message could not be shown: ") + error.what());
            ShowTasks(1);
        }
    }
    if (!uid.empty() && ValidAccount(account)) {
        try {
            WriteCacheFile(CachePath(account, uid), complete, text);
        } catch (const std::exception& error) {
            AddError(error.what());
            ShowTasks(1);
        }
    }
    NextTask();
}

void TMessageStore::DeleteMessage(TEntryId id) {
    const int index = EntryOrGone(id);
    if (index < 0 || !ValidAccount(Buttons[index].Account))
        return;
    emit ReadCommandsEnabled(false);
    TQBTaskInfo task = CheckTask(Buttons[index].Account);
    task.Kind = tkRemove;
    task.MsgNum = Buttons[index].MsgNum;
    AddTask(task, {id});
    ShowTasks(0);
}

void TMessageStore::DeleteMessages(const std::vector<TEntryId>& entries, int account) {
    if (!ValidAccount(account))
        return;
    emit ReadCommandsEnabled(false);
    TQBTaskInfo task = CheckTask(account);
    task.Kind = tkRemoveSeveral;
    task.MsgNum = 0;
    task.Notify = 1;
    AddTask(task, entries);
    ShowTasks(0);
}

void TMessageStore::RemovedMessage(int number) {
    const TQueuedTask& head = Tasks.front();
    const int kind = head.Kind;
    const int account = head.Account;
    const int target = Worker->Target;
    const bool final = kind == tkRemove || number == 1;
    const int index = target >= 0 && target < static_cast<int>(head.Entries.size())
                          ? IndexOf(head.Entries[static_cast<size_t>(target)])
                          : -1;
    if (index >= 0) {
        const TButton& entry = Buttons[index];
        std::error_code error;
        std::filesystem::remove(CachePath(account, entry.UID), error);
        // Forgotten, so that a check brings it back if the server kept it.
        auto& known = Worker->ServerList;
        known.erase(std::remove(known.begin(), known.end(), entry.UID), known.end());
        if (entry.Id == FReadId)
            FRemovedPosition = PositionIn(CurrentOrder(), index);
        RemoveButton(index);
        const bool unreadLeft = std::any_of(Buttons.begin(), Buttons.end(),
                                            [](const TButton& left) { return !left.Read; });
        if (!unreadLeft && FReadShown) {
            FReadShown = false;
            FReadId = TEntryId::None;
            FRemovedPosition = -1;
            emit ReadHidden();
        }
    }
    if (final) {
        const std::vector<int> order = CurrentOrder();
        int position = FRemovedPosition;
        FRemovedPosition = -1;
        if (position >= static_cast<int>(order.size()))
            position = static_cast<int>(order.size()) - 1;
        if (position >= 0 && FReadShown)
            OpenAt(order, position);
        else if (FReadShown && ReadEntry() >= 0)
            emit ReadCommandsEnabled(true);
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
    if (!HasCheckTaskFor(Tasks, FRunningAccount)) {
        Tasks.insert(Tasks.begin(), QueueTask(CheckTask(FRunningAccount)));
        emit TaskAdded(0);
    }
    ShowTasks(1);
}

void TMessageStore::OpenAt(const std::vector<int>& order, int position) {
    if (position >= 0 && position < static_cast<int>(order.size()))
        OpenButton(order[position]);
}

void TMessageStore::ReadNext() {
    const std::vector<int> order = CurrentOrder();
    const int position = PositionIn(order, ReadEntry());
    if (position < 0)
        return;
    OpenAt(order, position + 1 < static_cast<int>(order.size()) ? position + 1 : 0);
}

void TMessageStore::ReadPrevious() {
    const std::vector<int> order = CurrentOrder();
    const int position = PositionIn(order, ReadEntry());
    if (position < 0)
        return;
    OpenAt(order, position > 0 ? position - 1 : static_cast<int>(order.size()) - 1);
}

void TMessageStore::ReadFirst() {
    OpenAt(CurrentOrder(), 0);
}

void TMessageStore::ReadLast() {
    const std::vector<int> order = CurrentOrder();
    OpenAt(order, static_cast<int>(order.size()) - 1);
}

void TMessageStore::ReadMarkRead() {
    const int shown = EntryOrGone(FReadId);
    if (shown < 0)
        return;
    std::vector<int> order = CurrentOrder();
    const int position = PositionIn(order, shown);
    const TEntryId below = position >= 0 && position + 1 < static_cast<int>(order.size())
                               ? Buttons[order[position + 1]].Id
                               : TEntryId::None;
    MarkRead(shown, true);
    if (!FReadShown)
        return;
    order = CurrentOrder();
    if (order.empty()) {
        FReadShown = false;
        FReadId = TEntryId::None;
        emit ReadHidden();
        return;
    }
    const int next = IndexOf(below);
    OpenButton(next >= 0 && PositionIn(order, next) >= 0 ? next : order.front());
}

void TMessageStore::ReadClosed() {
    FReadShown = false;
}
