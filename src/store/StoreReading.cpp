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
    FReadEntry = index;
    FReadShown = true;
    emit ReadOpening(index, position, position > 0, position < static_cast<int>(order.size()) - 1);
    const TButton& entry = Buttons[index];
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
            emit ReadLoaded(index, QByteArray::fromStdString(file.Text), file.Complete);
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
    task.Button = index;
    AddTask(task);
    ShowTasks(0);
}

void TMessageStore::DownloadAll() {
    if (FReadEntry < 0 || !ValidAccount(Buttons[FReadEntry].Account))
        return;
    emit ReadCommandsEnabled(false);
    emit ReadDownloadEnabled(false);
    TQBTaskInfo task = CheckTask(Buttons[FReadEntry].Account);
    task.Kind = tkRetrieve;
    task.MsgNum = Buttons[FReadEntry].MsgNum;
    task.Button = FReadEntry;
    task.Full = 1;
    AddTask(task);
    ShowTasks(0);
}

void TMessageStore::RetrievedMessage(const TStringList* lines) {
    const TQueuedTask& head = Tasks.front();
    // The job names its message by account and key, so that entries removed meanwhile
    // cannot make it store or show another message.
    const std::string uid = head.Keys.empty() ? std::string() : head.Keys.front().UID;
    const int account = head.Account;
    const bool complete = Worker->Answer == 0;
    std::string text;
    if (lines)
        for (const std::string& line : *lines)
            text += line + "\r\n";
    const int index = FindEntry(Buttons, account, uid);
    if (index >= 0 && index == FReadEntry && FReadShown) {
        try {
            emit ReadLoaded(index, QByteArray::fromStdString(text), complete);
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

void TMessageStore::DeleteMessage(int index) {
    if (index < 0 || index >= static_cast<int>(Buttons.size()) ||
        !ValidAccount(Buttons[index].Account))
        return;
    emit ReadCommandsEnabled(false);
    TQBTaskInfo task = CheckTask(Buttons[index].Account);
    task.Kind = tkRemove;
    task.MsgNum = Buttons[index].MsgNum;
    AddTask(task);
    ShowTasks(0);
}

void TMessageStore::DeleteMessages(const std::vector<int>& indices, int account) {
    if (!ValidAccount(account))
        return;
    emit ReadCommandsEnabled(false);
    TQBTaskInfo task = CheckTask(account);
    task.Kind = tkRemoveSeveral;
    task.MsgNum = 0;
    for (int index : indices)
        if (index >= 0 && index < static_cast<int>(Buttons.size()))
            task.MsgNums.push_back(std::to_string(Buttons[index].MsgNum));
    task.Notify = 1;
    AddTask(task);
    ShowTasks(0);
}

void TMessageStore::RemovedMessage(int number) {
    const int kind = Tasks.front().Kind;
    const int account = Tasks.front().Account;
    const int removedNumber = Worker->Task.MsgNum;
    const bool final = kind == tkRemove || number == 1;
    if (removedNumber >= 0) {
        const std::vector<int> before = CurrentOrder();
        const int shownPosition = PositionIn(before, FReadEntry);
        bool removed = false;
        bool unreadLeft = false;
        for (int i = static_cast<int>(Buttons.size()) - 1; i >= 0; --i) {
            TButton& entry = Buttons[i];
            if (entry.Account == account && entry.MsgNum == removedNumber) {
                std::error_code error;
                std::filesystem::remove(CachePath(account, entry.UID), error);
                // Forgotten, so that a check brings it back if the server kept it.
                auto& known = Worker->ServerList;
                known.erase(std::remove(known.begin(), known.end(), entry.UID), known.end());
                if (i == FReadEntry)
                    FRemovedPosition = shownPosition;
                RemoveButton(i);
                removed = true;
            } else if (!entry.Read) {
                unreadLeft = true;
                if (removed)
                    break;
            }
        }
        if (!unreadLeft && FReadShown) {
            FReadShown = false;
            FReadEntry = -1;
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
        else if (FReadShown && FReadEntry >= 0)
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
        Tasks.insert(Tasks.begin(), QueueTask(CheckTask(FRunningAccount), Buttons));
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
    const int position = PositionIn(order, FReadEntry);
    if (position < 0)
        return;
    OpenAt(order, position + 1 < static_cast<int>(order.size()) ? position + 1 : 0);
}

void TMessageStore::ReadPrevious() {
    const std::vector<int> order = CurrentOrder();
    const int position = PositionIn(order, FReadEntry);
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
    if (FReadEntry < 0)
        return;
    std::vector<int> order = CurrentOrder();
    const int position = PositionIn(order, FReadEntry);
    const int below =
        position >= 0 && position + 1 < static_cast<int>(order.size()) ? order[position + 1] : -1;
    MarkRead(FReadEntry, true);
    order = CurrentOrder();
    if (order.empty()) {
        FReadShown = false;
        FReadEntry = -1;
        emit ReadHidden();
        return;
    }
    OpenButton(below >= 0 && PositionIn(order, below) >= 0 ? below : order.front());
}

void TMessageStore::ReadClosed() {
    FReadShown = false;
}
