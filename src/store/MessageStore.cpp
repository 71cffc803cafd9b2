// The message store's operations: the job queue, read marks, removals and errors.
#include "store/MessageStore.h"

#include "core/UGlobal.h"
#include "core/UOptions.h"

#include <QTimer>

#include <algorithm>
#include <climits>
#include <filesystem>

TMessageStore::TMessageStore(TStoreConfig config)
    : FConfig(config), FReader(std::make_unique<TReadSession>(*this)) {
    setObjectName("MessageStore");
    tmrCheck = new QTimer(this);
    tmrCheck->setObjectName("tmrCheck");
    connect(tmrCheck, &QTimer::timeout, this, &TMessageStore::tmrCheckTimer);
}

TMessageStore::~TMessageStore() {
    Shutdown();
}

void TMessageStore::Start() {
    ApplyCheckSchedule();
    tmrCheckTimer();
    CreateWorker();
}

void TMessageStore::Shutdown() {
    if (FClosing)
        return;
    FClosing = true;
    tmrCheck->stop();
    StopWorker();
    RemoveStaleCacheFiles(Accounts);
}

void TMessageStore::ApplyCheckSchedule() {
    // An interval of 0 minutes (or one too long for the timer) means no automatic check.
    const long long interval = static_cast<long long>(Options.Interval) * 60000;
    if (!Options.IntervalCheck || interval <= 0 || interval > INT_MAX) {
        tmrCheck->stop();
        return;
    }
    tmrCheck->setInterval(static_cast<int>(interval));
    if (!tmrCheck->isActive())
        tmrCheck->start();
}

bool TMessageStore::ValidAccount(int account) const {
    return account >= 0 && account < static_cast<int>(Accounts.size());
}

std::string TMessageStore::AccountName(int account) const {
    return ValidAccount(account) ? Accounts[account].AccountName : std::string();
}

TQBTaskInfo TMessageStore::CheckTask(int account) const {
    const TAccount& source = Accounts[account];
    TQBTaskInfo task;
    task.Kind = tkCheck;
    task.Host = source.POPHost;
    task.Port = source.POPPort;
    task.User = source.POPUser;
    task.Pass = source.POPPass;
    task.Secure = source.Secure;
    task.TLS = source.TLS;
    task.TLSVerify = source.TLSVerify;
    task.MsgNum = -1;
    task.Account = account;
    return task;
}

void TMessageStore::AddTask(const TQBTaskInfo& task, std::vector<TEntryId> entries) {
    if (FClosing)
        return;
    Tasks.push_back(QueueTask(task, std::move(entries)));
    emit TaskAdded(static_cast<int>(Tasks.size()) - 1);
}

void TMessageStore::NextTask() {
    if (Worker && Worker->IsTerminated())
        return;
    if (Tasks.empty())
        return;
    Tasks.erase(Tasks.begin());
    emit TaskRemoved(0);
}

void TMessageStore::tmrCheckTimer() {
    if (HasCheckTask(Tasks))
        return;
    for (int i = 0; i < static_cast<int>(Accounts.size()); ++i)
        if (Accounts[i].Active)
            AddTask(CheckTask(i));
}

void TMessageStore::CheckNow(int tag) {
    emit CheckRequested();
    if (tag == -1)
        tmrCheckTimer();
    else if (ValidAccount(tag) && !HasCheckTaskFor(Tasks, tag))
        AddTask(CheckTask(tag));
    ShowTasks(0);
}

void TMessageStore::MarkRead(int index, bool save) {
    MarkOneRead(index);
    FReader->HideWhenAllRead();
    if (save)
        SaveOptions();
}

void TMessageStore::MarkOneRead(int index) {
    if (index < 0 || index >= static_cast<int>(Buttons.size()) || Buttons[index].Read)
        return;
    TButton& entry = Buttons[index];
    entry.Read = true;
    if (ValidAccount(entry.Account))
        Accounts[entry.Account].ReadList.push_back(entry.UID);
    emit EntryChanged(index);
}

int TMessageStore::IndexOf(TEntryId id) const {
    return id == TEntryId::None ? -1 : ::IndexOf(Buttons, id);
}

int TMessageStore::EntryOrGone(TEntryId id) {
    const int index = IndexOf(id);
    if (index < 0 && !FClosing) {
        AddError(MessageGoneText);
        ShowTasks(1);
    }
    return index;
}

void TMessageStore::MarkAllRead() {
    for (int i = 0; i < static_cast<int>(Buttons.size()); ++i)
        MarkOneRead(i);
    FReader->HideWhenAllRead();
    SaveOptions();
}

void TMessageStore::RemoveButton(int index, bool renumber) {
    if (index < 0 || index >= static_cast<int>(Buttons.size()))
        return;
    FReader->Leaving(index, false);
    emit EntryAboutToBeRemoved(index);
    RemoveEntry(Buttons, index, renumber);
    emit EntryRemoved(index);
}

void TMessageStore::RemoveAccountButtons(int account) {
    for (int i = static_cast<int>(Buttons.size()) - 1; i >= 0; --i)
        if (Buttons[i].Account == account)
            RemoveButton(i, false);
    // The waiting jobs of the account go; the running head ends as usual.
    for (size_t i = 1; i < Tasks.size(); ++i)
        if (Tasks[i].Account == account)
            NotifyDropped(Tasks[i]);
    const std::vector<int> dropped = AccountRemoved(Buttons, Tasks, account, FRunningAccount);
    for (auto row = dropped.rbegin(); row != dropped.rend(); ++row)
        emit TaskRemoved(*row);
    // Later accounts' entries now carry lower indices.
    for (int i = 0; i < static_cast<int>(Buttons.size()); ++i)
        if (Buttons[i].Account >= account)
            emit EntryChanged(i);
}

void TMessageStore::AddError(const std::string& text) {
    if (FClosing)
        return;
    Errors.push_back({text, std::chrono::system_clock::now()});
    emit ErrorAdded(static_cast<int>(Errors.size()) - 1);
}

void TMessageStore::ClearErrors() {
    Errors.clear();
    emit ErrorsCleared();
}

void TMessageStore::CancelTask() {
    if (!Tasks.empty())
        Tasks.front().Cancelled = true;
    if (Worker)
        Worker->Stop();
}

void TMessageStore::ShowTasks(int page) {
    emit TasksWanted(page);
}

void TMessageStore::BuildAccountMenus() {
    emit AccountMenusChanged();
}
