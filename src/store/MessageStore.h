// TMessageStore: the announced messages, the job queue, the errors and the mail worker,
// with the operations on them; the windows observe it through its signals.
#pragma once

#include "core/Settings.h"
#include "imap/IMAPWatcher.h"
#include "model/EntryText.h"
#include "model/StoreRecords.h"
#include "store/ReadSession.h"
#include "worker/QBThread.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QTimer;
class TIndexSaver;
class TWorkerBridge;

// How the program was started, for the store.
struct TStoreConfig {
    bool Pipelining = true; // off: POP3 commands one at a time even where the server pipelines
    // An account's push connection queues at most one check per this; news within it is
    // checked once it is over.
    std::chrono::milliseconds PushCheckSpacing = std::chrono::seconds(3);
};

class TMessageStore : public QObject {
    Q_OBJECT
  public:
    explicit TMessageStore(TStoreConfig config = {});
    // Shuts down first if Shutdown has not run.
    ~TMessageStore() override;

    // The announced messages, the job queue (its head is the running job) and the errors.
    const TEntryArray& Entries() const { return FEntries; }
    // The bar caption and the hover hint of the entry at index, made when shown: kept for
    // every entry they would cost more than the rest of it.
    std::string Caption(int index) const;
    std::string Hint(int index) const;
    const TTaskArray& Tasks() const { return FTasks; }
    const TErrorArray& Errors() const { return FErrors; }

    // Starts the worker and the check timer, and queues the first check of every
    // active account.
    void Start();
    // The exit: stops the worker (serving its events meanwhile, for at most the wait
    // limit, then abandoning it), then deletes the cache files of messages no longer on
    // any server. From then on the store queues and reports nothing.
    void Shutdown();

    // Adds an announced message with a new identity, which it returns.
    TEntryId AddEntry(TEntry entry);
    // entries: those the job acts on.
    void AddTask(const TQBTaskInfo& task, std::vector<TEntryId> entries = {});
    void NextTask();
    // tag: an account index, or -1 for all active accounts.
    void CheckNow(int tag);
    // Shows the entry as read; an IMAP account's server is told to set \Seen by a job, and
    // a POP3 account's read mark goes to the settings.
    void MarkRead(int index);
    // The same for several entries at once: one save of the read marks, one job per account.
    void MarkSeveralRead(const std::vector<int>& indexes);
    // The position of entry id now; -1 when it is gone.
    int IndexOf(TEntryId id) const;
    // The position of entry id now; when it is gone, -1, and the user is told.
    int EntryOrGone(TEntryId id);
    void MarkAllRead();
    // Removes one entry. renumber: the message left the server in this session, so the
    // account's later numbers drop by one.
    void RemoveEntry(int index, bool renumber = true);
    // account: the name of the account the error is about, which ends the text, or "" for
    // none. The same error of the account again counts on its row instead of adding one.
    void AddError(const std::string& text, const std::string& account = {});
    void ClearErrors();
    // When the account's last check succeeded in this run; none before that.
    std::optional<std::chrono::system_clock::time_point>
    LastSuccess(const std::string& account) const;
    // When the account will next be checked: now while a check of it waits its turn, else the
    // check timer's next round; none when it is checked only on demand.
    std::optional<std::chrono::system_clock::time_point>
    NextCheck(const std::string& account) const;
    // The account's login changed (server, user, password, security, sign-in): its push
    // connection starts anew, and a check on the new settings is queued at once.
    void AccountEdited(const std::string& account);
    // Asks for the account dialog of an account whose sign-in has to be done again.
    void SignInAgain(const std::string& account);
    void CancelTask();
    // Gives back what the entries and lists hold beyond their size, for a moment when the
    // queue is empty: arrays grown by a check of 100,000 messages are up to twice as large.
    void ReleaseSpare();
    // What the read window shows.
    TReadSession& Reader() { return *FReader; }
    // Queues the retrieval of an entry's message; full: the whole of it, without the size
    // question.
    void QueueRetrieval(TEntryId id, bool full);
    // Queues the removal of one entry's message from its server; when it has ended the
    // read window moves to the message that takes its place. An entry gone meanwhile is
    // not removed, and the user is told.
    void DeleteMessage(TEntryId id);
    // Queues one removal of entries (all of account); its end is announced by RemovalEnded.
    void DeleteMessages(const std::vector<TEntryId>& entries, int account);
    // Asks the tasks window to show a page (0 tasks, 1 errors).
    void ShowTasks(int page);

    // Sleep, wake and the network (StoreReachability.cpp). The machine is about to sleep: the
    // push connections and a kept worker session end, then ConnectionsEnded follows; no timed
    // check and no push connection until MachineWoke.
    void MachineSleeps();
    // Every active account is checked at once and its push connection made anew.
    void MachineWoke();
    // No timed check and no push connection, nor any retry of one, until NetworkBack; a check
    // the user asks for still runs.
    void NetworkLost();
    // Reachable again, or another network (another medium, a VPN): as after a wake.
    void NetworkBack();

    bool ValidAccount(int account) const;
    std::string AccountName(int account) const;
    std::string CachePath(int account, const std::string& uid) const;
    // The unique ids the last completed check of the account saw on its server.
    const TStringList& ServerList(int account) const;

  signals:
    void EntryAdded(int index);
    void EntryAboutToBeRemoved(int index);
    void EntryRemoved(int index);
    // Read mark, or the message under the entry's key (another size on the server).
    void EntryChanged(int index);
    void TaskAdded(int position);
    void TaskRemoved(int position);
    // The worker took up the head of the queue.
    void TaskStarted();
    void ErrorAdded(int index);
    // The same error again: its time and count.
    void ErrorChanged(int index);
    // The account works again; later errors move up by one.
    void ErrorRemoved(int index);
    void ErrorsCleared();
    void SignInWanted(const std::string& account);
    void StatusChanged(const std::string& text);
    void ProgressChanged(qint64 received, qint64 size);
    void RemovalEnded();
    void TasksWanted(int page);
    // A check was asked for by the user.
    void CheckRequested();
    // A completed check announced unread messages: these, oldest first.
    void NewMailArrived(const std::vector<TEntryId>& arrived);
    void AccountMenusChanged();
    // After MachineSleeps: the push connections have logged out, or their time to do so ran out.
    void ConnectionsEnded();

  private:
    friend class TWorkerBridge;

    // A check of every active account, unless a check is queued already; none while paused.
    void tmrCheckTimer();
    // The same whatever the pause: the user asked.
    void QueueChecks();
    // Follows the settings: the check schedule, the worker's limits, the accounts, and a
    // save that failed, which goes to the errors.
    void SettingsChanged(const TSettingsChange& change);
    // Runs the check timer as the options say: every Interval minutes while IntervalCheck
    // is on; a running timer keeps its phase.
    void ApplyCheckSchedule();
    void ApplyWorkerLimits();
    // After the settings lost the account at index account.
    void RemoveAccountEntries(int account);
    TStringList& KnownOnServer(int account);
    // The header index (StoreIndex.cpp). Its file, named by the account and its server.
    std::string IndexPath(int account) const;
    // Shows the entries each active account's index holds; the first check confirms them.
    void LoadIndexes();
    // Begins writing the entries of every active account whose entries changed since its
    // index was last written; the file is written a moment later, off the main loop.
    void SaveChangedIndexes();
    // The same at once, for the exit, after the writes begun before.
    void SaveChangedIndexesNow();
    // The active accounts whose entries changed since their index was last written.
    std::vector<int> ChangedIndexes() const;
    // Where the account of that lower-case name is now, when its index is still at path.
    int IndexAccount(const std::string& key, const std::string& path) const;
    // The account's entries differ from what its index file holds.
    void IndexChanged(int account);
    // The sizes of the account's entries by lower-case key, for the check to compare.
    std::unordered_map<std::string, long long> KnownSizes(int account) const;
    TQBTaskInfo CheckTask(int account) const;
    bool IsIMAP(int account) const;
    // Marks the entry read; an IMAP entry's id joins seen, for the server.
    void MarkOneRead(int index, std::vector<TEntryId>& seen);
    // Queues the jobs that set \Seen on the server for the IMAP entries seen, one per account;
    // a job of the account still waiting takes them on.
    void QueueSeen(const std::vector<TEntryId>& seen);
    // Takes the head job out of the queue without the worker running it.
    void DropHead(const std::string& reason);
    // A queued job with a new identity.
    TQueuedTask MakeJob(const TQBTaskInfo& task, std::vector<TEntryId> entries = {});
    // The head job ended without its result: a retrieval tells the read window why; the
    // entries of a mark read that the server did not take are unread again.
    void JobFailed(const std::string& reason);
    // Shows the entries still there unread again.
    void UnmarkRead(const std::vector<TEntryId>& entries);
    void CreateWorker();
    void StopWorker();

    // The push connections (StoreWatchers.cpp).
    // One watcher per active IMAP account, each on the account's current server settings.
    void SyncWatchers();
    // Ends a watcher without waiting for it; it is destroyed once it has ended.
    void RetireWatcher(std::unique_ptr<TIMAPWatcher> watcher);
    // Stops every watcher and waits for them, as long as the exit may wait.
    void StopWatchers();
    // A watcher saw the account's INBOX change: a check follows, at once or, when one was
    // queued lately, once PushCheckSpacing has passed.
    void MailboxChanged(const std::string& accountName);
    // Queues the check of a change unless one of the account is waiting already.
    void QueuePushCheck(const std::string& accountName);
    void WatcherTrouble(const std::string& accountName, const std::string& cause);
    // A check of the account queued and not yet taken up by the worker; nullptr when none.
    TQueuedTask* WaitingCheck(int account);

    // Asleep or without a network: no timed checks, no push connections.
    bool Paused() const { return FAsleep || FOffline; }
    // Retires every push connection and ends the worker's kept session.
    void EndConnections();
    // Ends the connections made before and checks every active account, unless paused.
    void Reconnect();
    // Emits ConnectionsEnded once the retired push connections have ended, or after their
    // StopWait from since.
    void ReportWhenEnded(std::chrono::steady_clock::time_point since);

    // The error of a check or push connection of account.
    void AddCheckError(const std::string& text, const std::string& account);
    void PutError(const std::string& text, const std::string& account, bool endsWithCheck);
    // A check of the account ended without failure: the errors of its checks and push
    // connection from before that check go.
    void AccountWorks(int account);
    // Starts the account's push connection anew, also when it had ended.
    void RestartWatcher(const std::string& accountName);

    // The worker's events (StoreWorker.cpp).
    std::optional<TJobOrder> WorkerGetJob();
    void WorkerAnnounced(TAnnounced& message);
    void WorkerRenumbered(const TRenumbered& message);
    void WorkerCheckEnded(TCheckEnded& check);
    void WorkerRetrieved(TRetrieved& message);
    void WorkerRemoved(const TRemoved& message);
    // The position of the running job's message at place in its entries; -1 when it is gone.
    int RunningJobEntry(size_t place) const;
    // A job's message is another one now: its entry shows it, unread.
    void WorkerChanged(TChanged& message);
    void WorkerError(const TWorkerError& error);
    // Keeps the refresh token the provider replaced, where the account keeps it.
    void WorkerRefreshReplaced(const TRefreshReplaced& tokens);
    void WorkerStatus(const std::string& text);
    TSizeAnswer WorkerSizeWarning(int size);
    // Ends the head job when it is the one that ended.
    void WorkerJobEnded(const TJobEnded& job);
    // StoreReading.cpp: a removal on account did not complete.
    void RemovalIncomplete(int account);

    // Outlives the store when the worker has to be abandoned; see CreateWorker.
    TWorkerBridge* FBridge = nullptr;
    bool FClosing = false;
    // Account of the job last handed to the worker; kept valid when accounts go.
    int FRunningAccount = -1;
    TUIDSet FReadSet;
    int FRenumberHint = 0;
    unsigned long long FLastId = 0;
    unsigned long long FLastJobId = 0;
    TStoreConfig FConfig;
    TEntryArray FEntries;
    TTaskArray FTasks;
    TErrorArray FErrors;
    // When the worker took up the running job.
    std::chrono::system_clock::time_point FJobStarted;
    // By account name in lower case: when its last check succeeded.
    std::map<std::string, std::chrono::system_clock::time_point> FLastSuccess;
    std::unique_ptr<TQBThread> FWorker;
    // The unread messages the running check announced.
    std::vector<TEntryId> FNewMail;
    QTimer* FCheckTimer;
    std::unique_ptr<TReadSession> FReader;
    // What each account's last completed check saw, by account index; learned at run time.
    std::vector<TStringList> FServerLists;
    // By account name in lower case: accounts whose entries changed since their index file
    // was read or written.
    std::unordered_set<std::string> FIndexDirty;
    std::unique_ptr<TIndexSaver> FIndexSaver;
    // By account name in lower case: unread entries were shown from the index, and the
    // account's first check has not ended yet; that check tells of new mail for them.
    std::unordered_set<std::string> FUnconfirmedUnread;
    TSettings::TSubscription FSettingsWatch;
    // By account name in lower case: an account keeps its name when edited.
    std::map<std::string, std::unique_ptr<TIMAPWatcher>> FWatchers;
    std::vector<std::unique_ptr<TIMAPWatcher>> FRetired;
    // By account name in lower case: when the last check of a change was queued, and whether
    // the next one is due after the pause.
    struct TPushPace {
        std::chrono::steady_clock::time_point Queued{};
        bool Due = false;
    };
    std::map<std::string, TPushPace> FPushPaces;
    bool FAsleep = false;
    bool FOffline = false;
};
