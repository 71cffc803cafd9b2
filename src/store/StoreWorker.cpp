// The message store and its mail worker: start and stop, and the worker's events.
#include "store/MessageStore.h"

#include "core/Global.h"
#include "mime/Message.h"
#include "mime/MessageFields.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

#include <filesystem>

namespace {

constexpr int ConnectTimeout = 30000;
constexpr int WorkerWaitLimit = 9999; // ms the exit waits for the worker

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
        QMetaObject::invokeMethod(
            bridge,
            [bridge, &call] {
                if (bridge->Store)
                    call();
            },
            Qt::BlockingQueuedConnection);
    };
    auto post = [bridge](const TWorkerNotice& notice) {
        QMetaObject::invokeMethod(
            bridge,
            [=] {
                if (bridge->Store)
                    bridge->Store->WorkerNotice(notice);
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
    FWorker->OnGetTask = [this](TQBThread&, bool& hasTask) { WorkerGetTask(hasTask); };
    FWorker->OnMessage = [this](TQBThread&, const TStringList* lines, int number,
                                const std::string& uid) { WorkerMessage(lines, number, uid); };
    FWorker->OnRenumber = [this](TQBThread&, const std::string& uid, int number) {
        WorkerRenumber(uid, number);
    };
    FWorker->OnCheckDone = [this](TQBThread&) { WorkerCheckDone(); };
    FWorker->OnError = [this](TQBThread&, int fatal, const std::string& text) {
        WorkerError(fatal, text);
    };
    FWorker->OnSizeWarning = [this](TQBThread&, int size, uint8_t& answer) {
        WorkerSizeWarning(size, answer);
    };
    FWorker->OnStatus = [this](TQBThread&, const std::string& text) { WorkerStatus(text); };
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
    while (!FWorker->Finished) {
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

void TMessageStore::NotifyDropped(const TQBTaskInfo& task) {
    if (task.Notify != 0)
        emit RemovalEnded();
}

void TMessageStore::JobFailed(const std::string& reason) {
    if (FTasks.empty() || FTasks.front().Kind != tkRetrieve || FTasks.front().Entries.empty())
        return;
    FReader->FetchFailed(FTasks.front().Entries.front(), reason);
}

void TMessageStore::WorkerNotice(const TWorkerNotice& notice) {
    if (notice.Kind == TWorkerNotice::TKind::Progress)
        emit ProgressChanged(notice.Received, notice.Size);
    else
        emit RemovalEnded();
}

void TMessageStore::WorkerGetTask(bool& hasTask) {
    hasTask = false;
    if (FClosing)
        return;
    emit TaskStarted();
    if (FWorker->RemovalIncomplete) {
        FWorker->RemovalIncomplete = false;
        RemovalIncomplete();
    }
    // Taken back, not copied: an idle worker holds no copy of a large mailbox's keys.
    if (ValidAccount(FRunningAccount))
        KnownOnServer(FRunningAccount) = std::move(FWorker->ServerList);
    FWorker->ServerList.clear();
    FRunningAccount = -1;
    // A cancelled job still at the head was broken off without its last event (the
    // worker reports nothing while stopping); a job whose messages have all gone since
    // it was queued has nothing left to do.
    while (!FTasks.empty() && (FTasks.front().Cancelled || !ValidAccount(FTasks.front().Account) ||
                               !ResolveTask(FTasks.front(), FEntries))) {
        const TQueuedTask& dropped = FTasks.front();
        // Its messages went with a check since it was queued: nothing is sent for them. Read
        // marks for messages gone need no word.
        if (!dropped.Cancelled && ValidAccount(dropped.Account) && dropped.Kind != tkCheck &&
            dropped.Kind != tkMarkRead)
            AddError(std::string(MessageGoneText) + " (" + AccountName(dropped.Account) + ")");
        JobFailed(dropped.Cancelled ? "The task was cancelled." : MessageGoneText);
        NotifyDropped(dropped);
        // A removal that will not run leaves the shown message where it is.
        if (dropped.Kind == tkRemove || dropped.Kind == tkRemoveSeveral)
            FReader->RemovalDropped();
        NextTask();
    }
    if (FTasks.empty())
        return;
    hasTask = true;
    const TQueuedTask& head = FTasks.front();
    FWorker->ServerList = KnownOnServer(head.Account);
    FWorker->KnownSizes.clear();
    if (head.Kind == tkCheck && head.Protocol != mpIMAP)
        FWorker->KnownSizes = KnownSizes(head.Account);
    FWorker->Task = head;
    if (head.Kind == tkRetrieve && !FWorker->Task.Messages.empty())
        FWorker->Task.CacheFile = CachePath(head.Account, FWorker->Task.Messages.front().UID);
    FRunningAccount = head.Account;
    if (head.Kind == tkCheck) {
        // An IMAP check announces unseen messages only.
        FReadSet =
            head.Protocol == mpIMAP ? TUIDSet() : MakeUIDSet(Settings().ReadMarks(head.Account));
        FRenumberHint = 0;
    }
    FNewMail = false;
}

void TMessageStore::WorkerMessage(const TStringList* lines, int number, const std::string& uid) {
    if (FClosing || FTasks.empty())
        return;
    switch (FTasks.front().Kind) {
    case tkCheck:
        CheckMessage(lines, number, uid);
        break;
    case tkRetrieve:
        RetrievedMessage();
        break;
    case tkMarkRead:
        NextTask();
        break;
    default:
        RemovedMessage(number);
        break;
    }
}

void TMessageStore::CheckMessage(const TStringList* lines, int number, const std::string& uid) {
    // The account was removed while its check ran.
    if (!ValidAccount(FRunningAccount))
        return;
    TQBMessage msg;
    if (lines)
        msg.LoadFromLines(*lines);
    TEntry entry;
    if (lines)
        entry.MessageID = MessageIdOf(*lines);
    entry.Fields = EntryFields(msg);
    entry.Fields.Size = FWorker->Size;
    // A message whose header could not be read shows at least its size.
    entry.Fields.Unreadable = FWorker->HeaderUnreadable;
    entry.Account = FRunningAccount;
    entry.MsgNum = number;
    entry.UID = uid;
    entry.Read = FReadSet.count(LowerUID(uid)) > 0;
    if (!entry.Read)
        FNewMail = true;
    // Known before with another size: another message now has its key, and takes its place.
    const int known = FWorker->KnownSizes.count(LowerUID(uid)) > 0
                          ? FindEntry(FEntries, FRunningAccount, uid, FRenumberHint)
                          : -1;
    if (known >= 0) {
        entry.Id = FEntries[known].Id;
        FEntries[known] = std::move(entry);
        IndexChanged(FRunningAccount);
        FRenumberHint = known + 1;
        emit EntryChanged(known);
        return;
    }
    FRenumberHint = static_cast<int>(FEntries.size()) + 1;
    AddEntry(std::move(entry));
}

void TMessageStore::WorkerRenumber(const std::string& uid, int number) {
    if (FClosing)
        return;
    const int index = FindEntry(FEntries, FRunningAccount, uid, FRenumberHint);
    if (index < 0)
        return;
    FRenumberHint = index + 1;
    // No view shows the number: a restart that renumbers every entry redraws nothing.
    FEntries[index].MsgNum = number;
}

void TMessageStore::WorkerCheckDone() {
    if (FClosing)
        return;
    // A check that ended early saw only part of the mailbox: what it did not see is not
    // gone, so nothing is removed and no read mark erased.
    if (ValidAccount(FRunningAccount) && !FWorker->CheckComplete) {
        KnownOnServer(FRunningAccount) = FWorker->ServerList;
    } else if (ValidAccount(FRunningAccount)) {
        TStringList& readMarks = Settings().ReadMarks(FRunningAccount);
        // Marks left from the account's POP3 days name no IMAP message.
        if (IsIMAP(FRunningAccount))
            readMarks.clear();
        // At once, not only when the worker next asks for a job: a program ended right
        // after this check must still know which cached messages are on the server.
        KnownOnServer(FRunningAccount) = FWorker->ServerList;
        const TUIDSet onServer = MakeUIDSet(FWorker->ServerList);
        std::error_code error;
        for (int index : MissingEntries(FEntries, FRunningAccount, onServer)) {
            const std::string uid = FEntries[index].UID;
            std::filesystem::remove(CachePath(FRunningAccount, uid), error);
            const int mark = IndexOfText(readMarks, uid);
            if (mark >= 0)
                readMarks.erase(readMarks.begin() + mark);
            // The check has given the remaining messages their current numbers.
            RemoveEntry(index, false);
        }
    }
    if (ValidAccount(FRunningAccount)) {
        // Unread messages shown from the index are news to this run too, once confirmed.
        if (FUnconfirmedUnread.erase(LowerUID(AccountName(FRunningAccount))) > 0)
            for (const TEntry& entry : FEntries)
                FNewMail = FNewMail || (entry.Account == FRunningAccount && !entry.Read);
        // Written after this event: the worker, waiting for its end, leaves the server sooner.
        QMetaObject::invokeMethod(this, &TMessageStore::SaveChangedIndexes, Qt::QueuedConnection);
    }
    NextTask();
    Settings().Save();
    if (FNewMail)
        emit NewMailArrived();
}

void TMessageStore::WorkerError(int fatal, const std::string& text) {
    if (FClosing)
        return;
    std::string line = text;
    if (ValidAccount(FRunningAccount))
        line += " (" + AccountName(FRunningAccount) + ")";
    AddError(line);
    if (fatal == 1) {
        JobFailed(text);
        NextTask();
    }
    ShowTasks(1);
}

void TMessageStore::WorkerStatus(const std::string& text) {
    if (!FClosing)
        emit StatusChanged(text);
}

void TMessageStore::WorkerSizeWarning(int size, uint8_t& answer) {
    if (FTasks.empty())
        return;
    const TEntryId asked =
        FTasks.front().Entries.empty() ? TEntryId::None : FTasks.front().Entries.front();
    answer = static_cast<uint8_t>(FReader->AnswerSize(asked, size, FTasks.front().Full != 0));
    // Cancelled: the worker reports nothing more for this job.
    if (answer == 2)
        NextTask();
}
