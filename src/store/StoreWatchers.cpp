// The message store's push connections: one IDLE watcher per active IMAP account, whose news
// queues a check of the account.
#include "store/MessageStore.h"

#include "net/ErrorCause.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cctype>

namespace {

std::string WatcherKey(const std::string& accountName) {
    std::string key = accountName;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

} // namespace

void TMessageStore::SyncWatchers() {
    if (FClosing || Paused())
        return;
    std::map<std::string, TServerEndpoint> wanted;
    for (const TAccount& account : Settings().Accounts())
        if (account.Protocol == TMailProtocol::IMAP && account.Active)
            wanted.emplace(WatcherKey(account.AccountName), EndpointOf(account));
    for (auto it = FWatchers.begin(); it != FWatchers.end();) {
        const auto want = wanted.find(it->first);
        if (want != wanted.end() && want->second == it->second->Server()) {
            ++it;
            continue;
        }
        RetireWatcher(std::move(it->second));
        it = FWatchers.erase(it);
    }
    for (auto& [key, server] : wanted) {
        if (FWatchers.count(key))
            continue;
        // The calls come from the watcher's thread; queued, they run here, and not at all
        // once the store is gone.
        const std::string name = key;
        FWatchers[key] = std::make_unique<TIMAPWatcher>(
            server,
            [this, name] {
                QMetaObject::invokeMethod(
                    this, [this, name] { MailboxChanged(name); }, Qt::QueuedConnection);
            },
            [this, name](const std::string& cause) {
                QMetaObject::invokeMethod(
                    this, [this, name, cause] { WatcherTrouble(name, cause); },
                    Qt::QueuedConnection);
            });
    }
}

void TMessageStore::RetireWatcher(std::unique_ptr<TIMAPWatcher> watcher) {
    watcher->Stop();
    FRetired.push_back(std::move(watcher));
    // Those that have said goodbye to their servers go now.
    FRetired.erase(std::remove_if(FRetired.begin(), FRetired.end(),
                                  [](const auto& retired) { return retired->Ended(); }),
                   FRetired.end());
}

void TMessageStore::StopWatchers() {
    for (auto& [key, watcher] : FWatchers)
        RetireWatcher(std::move(watcher));
    FWatchers.clear();
    // They end together; each destructor then cuts off what has not ended.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < std::chrono::milliseconds(TIMAPWatcher::StopWait).count() &&
           std::any_of(FRetired.begin(), FRetired.end(),
                       [](const auto& retired) { return !retired->Ended(); }))
        QThread::msleep(10);
    FRetired.clear();
}

void TMessageStore::MailboxChanged(const std::string& accountName) {
    if (FClosing)
        return;
    TPushPace& pace = FPushPaces[WatcherKey(accountName)];
    if (pace.Due)
        return;
    const auto wait = pace.Queued + FConfig.PushCheckSpacing - std::chrono::steady_clock::now();
    if (pace.Queued == std::chrono::steady_clock::time_point() || wait <= wait.zero()) {
        QueuePushCheck(accountName);
        return;
    }
    // A server that reports change after change is checked once per pause, and once more
    // after the last of them.
    pace.Due = true;
    const std::string name = accountName;
    QTimer::singleShot(std::chrono::ceil<std::chrono::milliseconds>(wait), this, [this, name] {
        FPushPaces[WatcherKey(name)].Due = false;
        QueuePushCheck(name);
    });
}

void TMessageStore::QueuePushCheck(const std::string& accountName) {
    if (FClosing || Paused())
        return;
    const int account = Settings().IndexOf(accountName);
    if (!IsIMAP(account) || !Settings().Accounts()[account].Active)
        return;
    FPushPaces[WatcherKey(accountName)].Queued = std::chrono::steady_clock::now();
    // Longer than the pause, so that the next check of a busy mailbox finds it logged in.
    const int keep = static_cast<int>(2 * FConfig.PushCheckSpacing.count());
    if (TQueuedTask* waiting = WaitingCheck(account)) {
        waiting->KeepSessionMs = keep;
        return;
    }
    TQBTaskInfo task = CheckTask(account);
    task.KeepSessionMs = keep;
    AddTask(task);
}

TQueuedTask* TMessageStore::WaitingCheck(int account) {
    // A check running now may have looked already: another one follows it.
    const auto waiting =
        std::find_if(FTasks.begin() + (FTasks.empty() ? 0 : 1), FTasks.end(),
                     [account](const TQueuedTask& task) {
                         return task.Kind == TJobKind::Check && task.Account == account;
                     });
    return waiting == FTasks.end() ? nullptr : &*waiting;
}

void TMessageStore::WatcherTrouble(const std::string& accountName, const std::string& cause) {
    if (FClosing)
        return;
    const int account = Settings().IndexOf(accountName);
    if (!ValidAccount(account))
        return;
    // Timed checks may be off: the user is told that new mail waits for a check.
    AddCheckError(
        WithCause("The connection that waits for new mail keeps failing; until it is back, "
                  "new mail shows only when the account is checked.",
                  cause),
        AccountName(account));
}

void TMessageStore::RestartWatcher(const std::string& accountName) {
    // Before the start, and after the exit, there are none to run.
    if (!FWorker || FClosing)
        return;
    const auto running = FWatchers.find(WatcherKey(accountName));
    if (running != FWatchers.end()) {
        RetireWatcher(std::move(running->second));
        FWatchers.erase(running);
    }
    SyncWatchers();
}
