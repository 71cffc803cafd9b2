// The message store's operations: the job queue, read marks, removals and errors.
#include "store/MessageStore.h"

#include "cache/CacheFiles.h"
#include "core/Global.h"
#include "store/IndexSaver.h"

#include <QTimer>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <numeric>
#include <unordered_set>

TMessageStore::TMessageStore(TStoreConfig config)
    : FConfig(config), FReader(std::make_unique<TReadSession>(*this)) {
    setObjectName("MessageStore");
    FIndexSaver = std::make_unique<TIndexSaver>(
        FEntries,
        [this](const std::string& key, const std::string& path) { return IndexAccount(key, path); },
        [this](const std::string& key) { FIndexDirty.insert(key); });
    FCheckTimer = new QTimer(this);
    FCheckTimer->setObjectName("tmrCheck");
    connect(FCheckTimer, &QTimer::timeout, this, &TMessageStore::tmrCheckTimer);
    FSettingsWatch =
        Settings().Subscribe([this](const TSettingsChange& change) { SettingsChanged(change); });
}

void TMessageStore::SettingsChanged(const TSettingsChange& change) {
    if (change.What & spSchedule)
        ApplyCheckSchedule();
    if (change.What & spLimits)
        ApplyWorkerLimits();
    if (change.RemovedAccount >= 0) {
        if (change.RemovedAccount < static_cast<int>(FServerLists.size()))
            FServerLists.erase(FServerLists.begin() + change.RemovedAccount);
        RemoveAccountEntries(change.RemovedAccount);
    }
    if (change.What & spAccounts) {
        if (FWorker) {
            // A session kept for the next pushed check may be on settings that are gone.
            FWorker->EndKeptSession();
            SyncWatchers();
        }
        emit AccountMenusChanged();
    }
    // Otherwise a full disk would lose the user's changes at exit without a word.
    if (change.SaveError != 0 && !FClosing) {
        AddError(SaveFailureText(change.SaveError));
        ShowTasks(1);
    }
}

TMessageStore::~TMessageStore() {
    Shutdown();
}

void TMessageStore::Start() {
    LoadIndexes();
    ApplyCheckSchedule();
    tmrCheckTimer();
    CreateWorker();
    SyncWatchers();
}

void TMessageStore::Shutdown() {
    if (FClosing)
        return;
    FClosing = true;
    FCheckTimer->stop();
    // Asked first, so that their goodbyes to the servers run while the worker stops.
    for (auto& [name, watcher] : FWatchers)
        watcher->Stop();
    StopWorker();
    StopWatchers();
    std::unordered_set<std::string> kept;
    for (int account = 0; account < static_cast<int>(FServerLists.size()); ++account)
        for (const std::string& uid : FServerLists[account])
            kept.insert(CachePath(account, uid));
    SaveChangedIndexesNow();
    for (int account = 0; account < static_cast<int>(Settings().Accounts().size()); ++account)
        kept.insert(IndexPath(account));
    RemoveStaleCacheFiles(kept);
}

const TStringList& TMessageStore::ServerList(int account) const {
    static const TStringList none;
    return account >= 0 && account < static_cast<int>(FServerLists.size()) ? FServerLists[account]
                                                                           : none;
}

TStringList& TMessageStore::KnownOnServer(int account) {
    if (account >= static_cast<int>(FServerLists.size()))
        FServerLists.resize(static_cast<size_t>(account) + 1);
    return FServerLists.at(static_cast<size_t>(account));
}

void TMessageStore::ApplyCheckSchedule() {
    // An interval of 0 minutes (or one too long for the timer) means no automatic check.
    const TOptions& options = Settings().Options();
    const long long interval = static_cast<long long>(options.Interval) * 60000;
    if (!options.IntervalCheck || interval <= 0 || interval > INT_MAX) {
        FCheckTimer->stop();
        return;
    }
    FCheckTimer->setInterval(static_cast<int>(interval));
    if (!FCheckTimer->isActive())
        FCheckTimer->start();
}

bool TMessageStore::ValidAccount(int account) const {
    return Settings().ValidAccount(account);
}

std::string TMessageStore::AccountName(int account) const {
    return ValidAccount(account) ? Settings().Accounts()[account].AccountName : std::string();
}

std::string TMessageStore::Caption(int index) const {
    const TEntry& entry = FEntries.at(static_cast<size_t>(index));
    return EntryCaption(entry.Fields, AccountName(entry.Account));
}

std::string TMessageStore::Hint(int index) const {
    const TEntry& entry = FEntries.at(static_cast<size_t>(index));
    return EntryHint(entry.Fields, AccountName(entry.Account));
}

TQBTaskInfo TMessageStore::CheckTask(int account) const {
    TQBTaskInfo task;
    task.Kind = TJobKind::Check;
    task.Server = EndpointOf(Settings().Accounts().at(static_cast<size_t>(account)));
    task.MsgNum = -1;
    task.Account = account;
    return task;
}

TQueuedTask TMessageStore::MakeJob(const TQBTaskInfo& task, std::vector<TEntryId> entries) {
    TQueuedTask job = QueueTask(task, std::move(entries));
    job.Id = TJobId(++FLastJobId);
    return job;
}

void TMessageStore::AddTask(const TQBTaskInfo& task, std::vector<TEntryId> entries) {
    if (FClosing)
        return;
    FTasks.push_back(MakeJob(task, std::move(entries)));
    emit TaskAdded(static_cast<int>(FTasks.size()) - 1);
    // The worker sleeps while the queue is empty.
    if (FWorker)
        FWorker->Wake();
}

void TMessageStore::NextTask() {
    if (FWorker && FWorker->IsTerminated())
        return;
    if (FTasks.empty())
        return;
    FTasks.erase(FTasks.begin());
    emit TaskRemoved(0);
}

void TMessageStore::tmrCheckTimer() {
    if (!Paused())
        QueueChecks();
}

void TMessageStore::QueueChecks() {
    if (HasCheckTask(FTasks))
        return;
    const std::vector<TAccount>& accounts = Settings().Accounts();
    for (int i = 0; i < static_cast<int>(accounts.size()); ++i)
        if (accounts[i].Active)
            AddTask(CheckTask(i));
}

void TMessageStore::CheckNow(int tag) {
    emit CheckRequested();
    if (tag == -1)
        QueueChecks();
    else if (ValidAccount(tag) && !HasCheckTaskFor(FTasks, tag))
        AddTask(CheckTask(tag));
    ShowTasks(0);
}

bool TMessageStore::IsIMAP(int account) const {
    return ValidAccount(account) && Settings().Accounts()[account].Protocol == TMailProtocol::IMAP;
}

void TMessageStore::MarkRead(int index) {
    MarkSeveralRead({index});
}

void TMessageStore::MarkSeveralRead(const std::vector<int>& indexes) {
    const TSettings::TBatch oneSave(Settings());
    std::vector<TEntryId> seen;
    for (int index : indexes)
        MarkOneRead(index, seen);
    QueueSeen(seen);
    FReader->HideWhenAllRead();
}

void TMessageStore::MarkOneRead(int index, std::vector<TEntryId>& seen) {
    if (index < 0 || index >= static_cast<int>(FEntries.size()) || FEntries[index].Read)
        return;
    TEntry& entry = FEntries[index];
    entry.Read = true;
    // An IMAP server keeps the read state itself.
    if (IsIMAP(entry.Account))
        seen.push_back(entry.Id);
    else if (ValidAccount(entry.Account))
        Settings().AddReadMark(entry.Account, entry.UID);
    emit EntryChanged(index);
}

void TMessageStore::QueueSeen(const std::vector<TEntryId>& seen) {
    std::vector<std::pair<int, std::vector<TEntryId>>> byAccount;
    for (TEntryId id : seen) {
        const int account = FEntries[static_cast<size_t>(IndexOf(id))].Account;
        auto found = std::find_if(byAccount.begin(), byAccount.end(),
                                  [account](const auto& group) { return group.first == account; });
        if (found == byAccount.end())
            byAccount.push_back({account, {id}});
        else
            found->second.push_back(id);
    }
    for (auto& [account, entries] : byAccount) {
        // Not the head, which may be running already.
        if (FTasks.size() > 1 && FTasks.back().Kind == TJobKind::MarkRead &&
            FTasks.back().Account == account) {
            std::vector<TEntryId>& waiting = FTasks.back().Entries;
            waiting.insert(waiting.end(), entries.begin(), entries.end());
            continue;
        }
        TQBTaskInfo task = CheckTask(account);
        task.Kind = TJobKind::MarkRead;
        AddTask(task, std::move(entries));
    }
}

TEntryId TMessageStore::AddEntry(TEntry entry) {
    entry.Id = TEntryId(++FLastId);
    IndexChanged(entry.Account);
    FEntries.push_back(std::move(entry));
    emit EntryAdded(static_cast<int>(FEntries.size()) - 1);
    return FEntries.back().Id;
}

int TMessageStore::IndexOf(TEntryId id) const {
    return id == TEntryId::None ? -1 : ::IndexOf(FEntries, id);
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
    std::vector<int> all(FEntries.size());
    std::iota(all.begin(), all.end(), 0);
    MarkSeveralRead(all);
}

void TMessageStore::RemoveEntry(int index, bool renumber) {
    if (index < 0 || index >= static_cast<int>(FEntries.size()))
        return;
    FReader->Leaving(index, false);
    IndexChanged(FEntries[index].Account);
    emit EntryAboutToBeRemoved(index);
    ::RemoveEntry(FEntries, index, renumber);
    emit EntryRemoved(index);
}

void TMessageStore::RemoveAccountEntries(int account) {
    for (int i = static_cast<int>(FEntries.size()) - 1; i >= 0; --i)
        if (FEntries[i].Account == account)
            RemoveEntry(i, false);
    // The waiting jobs of the account go; the running head ends as usual.
    for (size_t i = 1; i < FTasks.size(); ++i)
        if (FTasks[i].Account == account && FTasks[i].NotifyEnd)
            emit RemovalEnded();
    const std::vector<int> dropped = AccountRemoved(FEntries, FTasks, account, FRunningAccount);
    for (auto row = dropped.rbegin(); row != dropped.rend(); ++row)
        emit TaskRemoved(*row);
    // Later accounts' entries now carry lower indices.
    for (int i = 0; i < static_cast<int>(FEntries.size()); ++i)
        if (FEntries[i].Account >= account)
            emit EntryChanged(i);
}

void TMessageStore::CancelTask() {
    if (!FTasks.empty())
        FTasks.front().Cancelled = true;
    if (FWorker)
        FWorker->Stop();
}

void TMessageStore::ReleaseSpare() {
    FEntries.shrink_to_fit();
    FErrors.shrink_to_fit();
    FTasks.shrink_to_fit();
    for (TStringList& list : FServerLists)
        list.shrink_to_fit();
    // The read marks of the last check, wanted again only by the next one, which makes them anew.
    TUIDSet().swap(FReadSet);
}

void TMessageStore::ShowTasks(int page) {
    emit TasksWanted(page);
}
