// TIMAPWatcher: an IMAP account's own connection, kept in IDLE, that tells when its INBOX
// changes, so that a check follows at once instead of at the next timed one.
#pragma once

#include "IMAPSession.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// How often a push connection proves that the server is still there, and how long it waits for
// the proof. A router may drop a connection without a word; only an answer tells. Both together
// stay within 5 minutes, the longest a dead connection may go unnoticed.
struct TIMAPWatchTimes {
    std::chrono::milliseconds Renew = std::chrono::seconds(270);
    std::chrono::milliseconds Answer = std::chrono::seconds(30);
};

// Runs a thread of its own from construction: connects, examines INBOX and idles, leaving and
// re-entering IDLE every Renew; a server that does not confirm the end of IDLE within Answer is
// taken for gone, and the connection is made anew. New, expunged or re-flagged messages call
// OnChange, as does a reconnection (what changed meanwhile went unannounced). A failed connection
// is retried after a pause that doubles from FirstPause up to MaxPause; the ReportAfter-th failure
// in a row calls OnTrouble with its cause, once until a connection holds for StableAfter. A server
// without IDLE ends the thread: the account is checked on the timer only. Both callbacks run on the
// watcher's thread; none starts once the watcher has seen Stop. An OAuth2 connection is made
// anew with a fresh token when the one it logged in with is due.
class TIMAPWatcher {
  public:
    using TChange = std::function<void()>;
    using TTrouble = std::function<void(const std::string& cause)>;

    TIMAPWatcher(TServerEndpoint server, TChange onChange, TTrouble onTrouble,
                 TIMAPWatchTimes times = {});
    // Stops, waits up to StopWait for the clean end (DONE, LOGOUT), then drops the
    // connection and joins.
    ~TIMAPWatcher();
    TIMAPWatcher(const TIMAPWatcher&) = delete;
    TIMAPWatcher& operator=(const TIMAPWatcher&) = delete;

    const TServerEndpoint& Server() const { return FServer; }
    // Any thread: asks the watcher to leave IDLE, log out and end; returns at once.
    void Stop();
    // The thread has ended (stopped, or the server offers no IDLE).
    bool Ended() const { return FEnded; }
    // In IDLE now, waiting for the server's news.
    bool Idling() const { return FIdling; }

    static constexpr auto FirstPause = std::chrono::seconds(1);
    static constexpr auto MaxPause = std::chrono::minutes(5);
    static constexpr int ReportAfter = 3;
    // A connection that idled this long makes the next failure the first in a row.
    static constexpr auto StableAfter = std::chrono::minutes(1);
    static constexpr auto StopWait = std::chrono::milliseconds(1500);
    // An OAuth2 connection is made anew when its access token is due, but not more often.
    static constexpr auto ShortestToken = std::chrono::seconds(5);

  private:
    const TServerEndpoint FServer;
    const TChange FOnChange;
    const TTrouble FOnTrouble;
    const TIMAPWatchTimes FTimes;
    TQBIMAP FSession;
    std::atomic<bool> FStopping{false};
    std::atomic<bool> FEnded{false};
    std::atomic<bool> FIdling{false};
    std::mutex FLock;
    std::condition_variable FWake;
    std::thread FThread;

    using TClock = std::chrono::steady_clock;

    void Run();
    // Idles until stopped, false, or until tokenDue, true; throws when the connection fails.
    // idleSince: when IDLE first began on this connection; announce: a change is told then.
    bool Watch(bool announce, TClock::time_point& idleSince, TClock::time_point tokenDue);
    // Waits for pause or until stopped.
    void Pause(std::chrono::milliseconds pause);
};
