// TIMAPHeaderHelper: a second IMAP session that fetches part of a large check's headers at the
// same time as the worker's own session fetches the rest.
#pragma once

#include "UIMAP.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

// The server reads a message's header from disk, so one session waits on it for most of a
// large check: a second session lets the server read two at a time. Whatever the helper does
// not deliver (it failed, could not log in, or held too much) the worker fetches itself, so
// the helper never changes what the check finds, only how soon.
class TIMAPHeaderHelper {
  public:
    // Bytes of headers held for the worker at most; later ones are left to it.
    static constexpr size_t MaxHeldBytes = size_t(64) << 20;

    // Starts fetching uids over a session of its own, set up as like (not yet connected).
    TIMAPHeaderHelper(const TQBIMAP& like, std::vector<uint32_t> uids, int connectTimeoutMs);
    // Cancels and joins.
    ~TIMAPHeaderHelper();
    TIMAPHeaderHelper(const TIMAPHeaderHelper&) = delete;
    TIMAPHeaderHelper& operator=(const TIMAPHeaderHelper&) = delete;

    // Any thread: breaks off the fetch at once.
    void Cancel();
    // Waits until the fetch has ended (done, failed or cancelled).
    void Wait();
    // After Wait: moves the header of uid into header; false when the helper has none.
    bool Take(uint32_t uid, TIMAPHeader& header);
    bool Covers(uint32_t uid) const { return uid >= FFirst && uid <= FLast; }

  private:
    TQBIMAP FSession;
    uint32_t FFirst = 0, FLast = 0;
    std::unordered_map<uint32_t, TIMAPHeader> FHeaders;
    std::atomic<bool> FCancelled{false};
    std::mutex FDropLock; // Cancel from another thread against the session's own end
    std::thread FThread;

    void Run(std::vector<uint32_t> uids, int connectTimeoutMs);
};
