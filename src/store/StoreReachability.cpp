// The message store across sleep, wake and changes of the network: it ends its connections and
// pauses its timed checks, then reconnects and checks every account at once.
#include "store/MessageStore.h"

#include <QTimer>

#include <algorithm>

namespace {

// How often the wait for the push connections' goodbyes looks at them.
constexpr auto EndedPoll = std::chrono::milliseconds(10);

} // namespace

void TMessageStore::MachineSleeps() {
    FAsleep = true;
    EndConnections();
    ReportWhenEnded(std::chrono::steady_clock::now());
}

void TMessageStore::MachineWoke() {
    FAsleep = false;
    Reconnect();
}

void TMessageStore::NetworkLost() {
    FOffline = true;
    EndConnections();
}

void TMessageStore::NetworkBack() {
    FOffline = false;
    Reconnect();
}

void TMessageStore::EndConnections() {
    if (FWorker)
        FWorker->EndKeptSession();
    for (auto& [key, watcher] : FWatchers)
        RetireWatcher(std::move(watcher));
    FWatchers.clear();
}

void TMessageStore::Reconnect() {
    // Before Start, Start does it.
    if (FClosing || Paused() || !FWorker)
        return;
    // A connection made on the network before may be dead without knowing it.
    EndConnections();
    SyncWatchers();
    const std::vector<TAccount>& accounts = Settings().Accounts();
    for (int account = 0; account < static_cast<int>(accounts.size()); ++account)
        if (accounts[account].Active && !WaitingCheck(account))
            AddTask(CheckTask(account));
}

void TMessageStore::ReportWhenEnded(std::chrono::steady_clock::time_point since) {
    const bool ended = std::all_of(FRetired.begin(), FRetired.end(),
                                   [](const auto& retired) { return retired->Ended(); });
    if (ended || std::chrono::steady_clock::now() - since >= TIMAPWatcher::StopWait) {
        emit ConnectionsEnded();
        return;
    }
    QTimer::singleShot(EndedPoll, this, [this, since] { ReportWhenEnded(since); });
}
