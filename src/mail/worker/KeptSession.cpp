// The worker's IMAP session kept after a check the push connection asked for, so that a
// mailbox that keeps changing is checked again without a login each time.
#include "QBThread.h"

#include <utility>

void TQBThread::StartKeeping() {
    std::lock_guard<std::mutex> lock(FIdleLock);
    FKeeping = FKeepUntil != std::chrono::steady_clock::time_point() && IMAP.Connected();
}

bool TQBThread::KeepSession() {
    const auto until = std::exchange(FKeepUntil, {});
    std::unique_lock<std::mutex> lock(FIdleLock);
    if (!FKeeping)
        return false;
    const bool woken = FIdleWake.wait_until(
        lock, until, [this] { return FWakeWanted || FTerminated || FEndKept; });
    FKeeping = false;
    if (!woken || FTerminated || FEndKept)
        return false;
    FWakeWanted = false;
    // A wake without a job leaves the rest of the time.
    FKeepUntil = until;
    FProbeKept = true;
    return true;
}

void TQBThread::EndKeptSession() {
    {
        std::lock_guard<std::mutex> lock(FIdleLock);
        FEndKept = true;
    }
    FIdleWake.notify_all();
}

void TQBThread::ReuseOrCloseIMAP() {
    const bool accountsChanged = FEndKept.exchange(false);
    const bool probe = std::exchange(FProbeKept, false);
    FKeepUntil = {};
    if (!IMAP.Connected())
        return;
    // A logged-in session needs no fresh access token.
    TServerEndpoint wanted = FTask.Server;
    wanted.AccessToken = IMAP.Server.AccessToken;
    if (accountsChanged || IMAP.Server != wanted || FSessionAccount != FTask.Account) {
        IMAP.Logout(IMAPLogoutWait);
        return;
    }
    if (!probe)
        return;
    try {
        IMAP.Noop();
    } catch (...) {
        // The server may have ended it meanwhile: the job logs in afresh.
        if (IMAP.Connected())
            IMAP.Logout(IMAPLogoutWait);
    }
}
