// The message store and its mail worker: start and stop, and the worker's events.
#include "store/MessageStore.h"

#include "core/Global.h"
#include "core/PasswordVault.h"
#include "mime/Message.h"
#include "mime/MessageFields.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>

namespace {

constexpr int ConnectTimeout = 30000;
constexpr int WorkerWaitLimit = 9999; // ms the exit waits for the worker
const char* const CancelledText = "The task was cancelled.";

// Shows header on entry: its fields, size and Message-ID.
void TakeHeader(TEntry& entry, const TStringList& header, int size) {
    TQBMessage msg;
    msg.LoadFromLines(header);
    entry.MessageID = MessageIdOf(header);
    entry.Fields = EntryFields(msg);
    entry.Fields.Size = size;
}

// The worker's side of a call it waits for: done once the main thread has run the call, or
// dropped it unrun (its receiver went, or the program ended first). A mutex and condition
// variable rather than a blocking queued connection, whose wait the thread sanitizer cannot
// see: the worker's stack, which the call reads, is reused right after.
class TCallEnded {
  public:
    void Signal() {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FEnded = true;
        }
        FChanged.notify_one();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [this] { return FEnded; });
    }

  private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FEnded = false;
};

// Held by every copy of the queued call: the last copy's end, run or not, ends the wait.
struct TSignalOnRelease {
    explicit TSignalOnRelease(std::shared_ptr<TCallEnded> ended) : Ended(std::move(ended)) {}
    ~TSignalOnRelease() { Ended->Signal(); }
    TSignalOnRelease(const TSignalOnRelease&) = delete;
    TSignalOnRelease& operator=(const TSignalOnRelease&) = delete;
    std::shared_ptr<TCallEnded> Ended;
};

} // namespace

// The main-thread object the worker's calls are queued to. It is deleted with the
// worker, or never when the worker is abandoned, so a late call from the worker always
// finds it; the call reaches the store only while the store exists.
class TWorkerBridge : public QObject {
  public:
    explicit TWorkerBridge(TMessageStore* store) : Store(store) {}
    QPointer<TMessageStore> Store;
};

void TMessageStore::CreateWorker() {
    FBridge = new TWorkerBridge(this);
    TWorkerBridge* bridge = FBridge;
    // Events run on this thread while the worker waits for them.
    auto synchronize = [bridge](const std::function<void()>& call) {
        auto ended = std::make_shared<TCallEnded>();
        auto signal = std::make_shared<TSignalOnRelease>(ended);
        QMetaObject::invokeMethod(
            bridge,
            [bridge, &call, signal] {
                if (bridge->Store)
                    call();
            },
            Qt::QueuedConnection);
        signal.reset();
        ended->Wait();
    };
    auto post = [bridge](const TWorkerProgress& progress) {
        QMetaObject::invokeMethod(
            bridge,
            [=] {
                if (bridge->Store)
                    emit bridge->Store->ProgressChanged(progress.Received, progress.Size);
            },
            Qt::QueuedConnection);
    };
    FWorker = std::make_unique<TQBThread>(ConnectTimeout, synchronize, post);
    // A check's entries are added while the worker reads the next headers. Queued and
    // blocking calls go to the same object, so they run in the order they were made.
    FWorker->Queue = [bridge](std::function<void()> call) {
        QMetaObject::invokeMethod(
            bridge,
            [bridge, call = std::move(call)] {
                if (bridge->Store)
                    call();
            },
            Qt::QueuedConnection);
    };
    TWorkerEvents& events = FWorker->Events;
    events.GetJob = [this] { return WorkerGetJob(); };
    events.Announced = [this](TAnnounced& message) { WorkerAnnounced(message); };
    events.Renumbered = [this](const TRenumbered& message) { WorkerRenumbered(message); };
    events.CheckEnded = [this](TCheckEnded& check) { WorkerCheckEnded(check); };
    events.Retrieved = [this](TRetrieved& message) { WorkerRetrieved(message); };
    events.Removed = [this](const TRemoved& message) { WorkerRemoved(message); };
    events.Changed = [this](TChanged& message) { WorkerChanged(message); };
    events.Error = [this](const TWorkerError& error) { WorkerError(error); };
    events.SizeWarning = [this](int size) { return WorkerSizeWarning(size); };
    events.Status = [this](const std::string& text) { WorkerStatus(text); };
    events.JobEnded = [this](const TJobEnded& job) { WorkerJobEnded(job); };
    events.RefreshReplaced = [this](const TRefreshReplaced& tokens) {
        WorkerRefreshReplaced(tokens);
    };
    FWorker->POP3.AllowPipelining = FConfig.Pipelining;
    ApplyWorkerLimits();
    FWorker->Resume();
}

void TMessageStore::StopWorker() {
    if (!FWorker)
        return;
    FWorker->Stop();
    FWorker->Terminate();
    QElapsedTimer waited;
    waited.start();
    bool forced = false;
    // The worker may be waiting for this thread to run one of its events.
    while (!FWorker->Finished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
        if (waited.elapsed() > WorkerWaitLimit) {
            FWorker->ForceFinished();
            forced = true;
        }
    }
    // Joining a worker that did not finish in time could hang the exit for good: it is
    // left to run out, with its bridge, and reaches nothing of the store.
    FBridge->Store = nullptr;
    if (forced) {
        FWorker.release()->Abandon();
    } else {
        FWorker.reset();
        delete FBridge;
    }
    FBridge = nullptr;
}

void TMessageStore::ApplyWorkerLimits() {
    if (!FWorker)
        return;
    const TOptions& options = Settings().Options();
    FWorker->MaxSize = options.MaxWarning ? options.MaxSize : -1;
    FWorker->MaxLines = options.MaxLines;
}

void TMessageStore::JobFailed(const std::string& reason) {
    if (FTasks.empty())
        return;
    const TQueuedTask& head = FTasks.front();
    if (head.Kind == TJobKind::MarkRead)
        UnmarkRead(head.Entries);
    if (head.Kind != TJobKind::Retrieve || head.Entries.empty())
        return;
    FReader->FetchFailed(head.Entries.front(), reason);
}

void TMessageStore::UnmarkRead(const std::vector<TEntryId>& entries) {
    for (TEntryId id : entries) {
        const int index = IndexOf(id);
        if (index < 0 || !FEntries[static_cast<size_t>(index)].Read)
            continue;
        FEntries[static_cast<size_t>(index)].Read = false;
        emit EntryChanged(index);
    }
}

// A job that leaves the queue without the worker running it still ends the wait of whoever
// waits for it, as the worker's end of a job does.
void TMessageStore::DropHead(const std::string& reason) {
    const TQueuedTask& dropped = FTasks.front();
    JobFailed(reason);
    if (dropped.NotifyEnd)
        emit RemovalEnded();
    // A removal that will not run leaves the shown message where it is.
    if (dropped.Kind == TJobKind::Remove || dropped.Kind == TJobKind::RemoveSeveral)
        FReader->RemovalDropped();
    NextTask();
}

std::optional<TJobOrder> TMessageStore::WorkerGetJob() {
    if (FClosing)
        return std::nullopt;
    emit TaskStarted();
    FRunningAccount = -1;
    // A cancelled job still at the head was cancelled before the worker took it up; a job
    // whose messages have all gone since it was queued has nothing left to do.
    while (!FTasks.empty() && (FTasks.front().Cancelled || !ValidAccount(FTasks.front().Account) ||
                               !ResolveTask(FTasks.front(), FEntries))) {
        const TQueuedTask& dropped = FTasks.front();
        // Its messages went with a check since it was queued: nothing is sent for them. Read
        // marks for messages gone need no word.
        if (!dropped.Cancelled && ValidAccount(dropped.Account) &&
            dropped.Kind != TJobKind::Check && dropped.Kind != TJobKind::MarkRead)
            AddError(MessageGoneText, AccountName(dropped.Account));
        DropHead(dropped.Cancelled ? CancelledText : MessageGoneText);
    }
    if (FTasks.empty())
        return std::nullopt;
    const TQueuedTask& head = FTasks.front();
    TJobOrder order;
    order.Task = head;
    if (head.Kind == TJobKind::Check) {
        order.ServerList = KnownOnServer(head.Account);
        if (head.Server.Protocol != TMailProtocol::IMAP)
            order.KnownSizes = KnownSizes(head.Account);
        // An IMAP check announces unseen messages only.
        FReadSet = head.Server.Protocol == TMailProtocol::IMAP
                       ? TUIDSet()
                       : MakeUIDSet(Settings().ReadMarks(head.Account));
        FRenumberHint = 0;
    }
    if (head.Kind == TJobKind::Retrieve && !head.Messages.empty())
        order.Task.CacheFile = CachePath(head.Account, head.Messages.front().UID);
    FRunningAccount = head.Account;
    FJobStarted = std::chrono::system_clock::now();
    FNewMail.clear();
    return order;
}

void TMessageStore::WorkerAnnounced(TAnnounced& message) {
    // The account was removed while its check ran.
    if (FClosing || !ValidAccount(FRunningAccount))
        return;
    TEntry entry;
    TakeHeader(entry, message.Header, message.Size);
    // A message whose header could not be read shows at least its size.
    entry.Fields.Unreadable = message.Unreadable;
    entry.Account = FRunningAccount;
    entry.MsgNum = message.Number;
    entry.UID = std::move(message.UID);
    entry.Read = FReadSet.count(LowerUID(entry.UID)) > 0;
    const bool unread = !entry.Read;
    // Known before with another size: another message now has its key, and takes its place.
    const int known =
        message.Replaces ? FindEntry(FEntries, FRunningAccount, entry.UID, FRenumberHint) : -1;
    if (known >= 0) {
        entry.Id = FEntries[known].Id;
        if (unread)
            FNewMail.push_back(entry.Id);
        FEntries[known] = std::move(entry);
        IndexChanged(FRunningAccount);
        FRenumberHint = known + 1;
        emit EntryChanged(known);
        return;
    }
    FRenumberHint = static_cast<int>(FEntries.size()) + 1;
    const TEntryId id = AddEntry(std::move(entry));
    if (unread)
        FNewMail.push_back(id);
}

void TMessageStore::WorkerRenumbered(const TRenumbered& message) {
    if (FClosing)
        return;
    const int index = FindEntry(FEntries, FRunningAccount, message.UID, FRenumberHint);
    if (index < 0)
        return;
    FRenumberHint = index + 1;
    // No view shows the number: a restart that renumbers every entry redraws nothing.
    FEntries[index].MsgNum = message.Number;
}

void TMessageStore::WorkerCheckEnded(TCheckEnded& check) {
    if (FClosing || !ValidAccount(FRunningAccount))
        return;
    // At once, not only at the job's end: a program ended right after this check must still
    // know which cached messages are on the server.
    KnownOnServer(FRunningAccount) = std::move(check.ServerList);
    // A check that ended early saw only part of the mailbox: what it did not see is not
    // gone, so nothing is removed and no read mark erased.
    if (check.Complete) {
        const TSettings::TBatch oneSave(Settings());
        // Marks left from the account's POP3 days name no IMAP message.
        if (IsIMAP(FRunningAccount))
            Settings().ClearReadMarks(FRunningAccount);
        TStringList gone;
        std::error_code error;
        for (int index :
             MissingEntries(FEntries, FRunningAccount, KnownOnServer(FRunningAccount))) {
            const std::string uid = FEntries[index].UID;
            std::filesystem::remove(CachePath(FRunningAccount, uid), error);
            gone.push_back(uid);
            // The check has given the remaining messages their current numbers.
            RemoveEntry(index, false);
        }
        if (!gone.empty())
            Settings().RemoveReadMarks(FRunningAccount, gone);
    }
    // Unread messages shown from the index are news to this run too, once confirmed.
    if (FUnconfirmedUnread.erase(LowerUID(AccountName(FRunningAccount))) > 0)
        for (const TEntry& entry : FEntries)
            if (entry.Account == FRunningAccount && !entry.Read)
                FNewMail.push_back(entry.Id);
    // Written after this event: the worker, waiting for its end, leaves the server sooner.
    QMetaObject::invokeMethod(this, &TMessageStore::SaveChangedIndexes, Qt::QueuedConnection);
}

void TMessageStore::WorkerRetrieved(TRetrieved& message) {
    if (FClosing || FTasks.empty())
        return;
    const TQueuedTask& head = FTasks.front();
    // The worker has stored it in the cache file; shown only if the window still shows its
    // entry. Taken from the event, not copied: the message may be hundreds of megabytes.
    const TEntryId id = head.Entries.empty() ? TEntryId::None : head.Entries.front();
    FReader->Retrieved(id, std::make_shared<const std::string>(std::move(message.Text)),
                       message.Whole);
}

int TMessageStore::RunningJobEntry(size_t place) const {
    if (FClosing || FTasks.empty())
        return -1;
    const TQueuedTask& head = FTasks.front();
    return place < head.Entries.size() ? IndexOf(head.Entries[place]) : -1;
}

void TMessageStore::WorkerRemoved(const TRemoved& message) {
    const int index = RunningJobEntry(message.Message);
    if (index < 0)
        return;
    const TQueuedTask& head = FTasks.front();
    const TEntry& entry = FEntries[index];
    std::error_code error;
    std::filesystem::remove(CachePath(head.Account, entry.UID), error);
    // Forgotten, so that a check brings it back if the server kept it.
    TStringList& known = KnownOnServer(head.Account);
    known.erase(std::remove(known.begin(), known.end(), entry.UID), known.end());
    FReader->Leaving(index, true);
    RemoveEntry(index);
    FReader->HideWhenAllRead();
}

void TMessageStore::WorkerChanged(TChanged& message) {
    const int index = RunningJobEntry(message.Message);
    if (index < 0)
        return;
    const TQueuedTask& head = FTasks.front();
    TEntry& entry = FEntries[index];
    TakeHeader(entry, message.Header, message.Size);
    entry.MsgNum = message.Number;
    // A message the user has not seen: the copy and the read mark were the former one's.
    std::error_code error;
    std::filesystem::remove(CachePath(head.Account, entry.UID), error);
    if (entry.Read) {
        entry.Read = false;
        if (!IsIMAP(head.Account))
            Settings().RemoveReadMarks(head.Account, {entry.UID});
    }
    IndexChanged(head.Account);
    emit EntryChanged(index);
}

void TMessageStore::WorkerJobEnded(const TJobEnded& job) {
    if (FClosing)
        return;
    const int account = FRunningAccount;
    // A job broken off by Cancel reports no closing empty status of its own.
    if (job.Result == TJobResult::Cancelled)
        emit StatusChanged("");
    if (!FTasks.empty() && FTasks.front().Id == job.Job) {
        const TQueuedTask& head = FTasks.front();
        if (job.Result != TJobResult::Done)
            JobFailed(job.Result == TJobResult::Cancelled ? CancelledText : job.Failure);
        if (head.NotifyEnd)
            emit RemovalEnded();
        if (head.Kind == TJobKind::Remove || head.Kind == TJobKind::RemoveSeveral)
            FReader->RemovalEnded();
        if (head.Kind == TJobKind::Check && job.Result == TJobResult::Done)
            AccountWorks(account);
        std::vector<TEntryId> arrived;
        if (head.Kind == TJobKind::Check)
            arrived.swap(FNewMail);
        NextTask();
        if (!arrived.empty()) {
            // Those shown from the index come after the check's own; ids follow arrival.
            std::sort(arrived.begin(), arrived.end());
            arrived.erase(std::unique(arrived.begin(), arrived.end()), arrived.end());
            emit NewMailArrived(arrived);
        }
    }
    if (job.RemovalIncomplete)
        RemovalIncomplete(account);
}

void TMessageStore::WorkerError(const TWorkerError& error) {
    if (FClosing)
        return;
    if (!FTasks.empty() && FTasks.front().Kind == TJobKind::Check)
        AddCheckError(error.Text, AccountName(FRunningAccount));
    else
        AddError(error.Text, AccountName(FRunningAccount));
    ShowTasks(1);
}

void TMessageStore::WorkerRefreshReplaced(const TRefreshReplaced& tokens) {
    if (FClosing || !ValidAccount(FRunningAccount))
        return;
    const TAccount& account = Settings().Accounts()[static_cast<size_t>(FRunningAccount)];
    if (account.Auth != TAuthKind::OAuth2)
        return;
    if (!account.Keyring) {
        // Another sign-in in the settings meanwhile wins.
        if (account.OAuth.Refresh != tokens.Old)
            return;
        TAccountConfig config = account;
        config.OAuth.Refresh = tokens.New;
        Settings().EditAccount(account.AccountName, config);
        return;
    }
    TPasswordVault* vault = PasswordVault();
    const std::string name = RefreshTokenVaultName(account.AccountName);
    const TVaultRead held = vault ? vault->Read(name) : TVaultRead{};
    if (!vault || !held.Error.empty() || held.Password != tokens.Old)
        return;
    if (const std::string problem = vault->Write(name, tokens.New); !problem.empty()) {
        AddError("The new refresh token could not be stored in the system keyring: " + problem,
                 account.AccountName);
        ShowTasks(1);
    }
}

void TMessageStore::WorkerStatus(const std::string& text) {
    if (!FClosing)
        emit StatusChanged(text);
}

TSizeAnswer TMessageStore::WorkerSizeWarning(int size) {
    if (FTasks.empty())
        return TSizeAnswer::Cancel;
    const TEntryId asked =
        FTasks.front().Entries.empty() ? TEntryId::None : FTasks.front().Entries.front();
    return FReader->AnswerSize(asked, size, FTasks.front().Full);
}
