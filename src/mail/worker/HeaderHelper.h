// THeaderHelper: a second session that fetches part of a large check's headers on a thread of
// its own, at the same time as the worker's own session fetches the rest.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

// The server reads a message's header from disk, so one session waits on it for most of a
// large check: a second session lets the server read two at a time. Whatever the helper does
// not deliver (it failed, could not log in, or held too much) the worker fetches itself, so
// the helper never changes what the check finds, only how soon.
class THeaderHelper {
  public:
    // Bytes of headers held for the worker at most; later ones are left to it.
    static constexpr size_t MaxHeldBytes = size_t(64) << 20;

    THeaderHelper() = default;
    virtual ~THeaderHelper() = default;
    THeaderHelper(const THeaderHelper&) = delete;
    THeaderHelper& operator=(const THeaderHelper&) = delete;

    // Any thread: breaks off the fetch at once.
    void Cancel();
    // Waits until the fetch has ended (done, failed or cancelled).
    void Wait();
    // Waits for the fetch to end for as long as its pace so far predicts, plus graceMs; a
    // fetch still running then is cancelled, and its headers so far are kept. true when it
    // ended by itself.
    bool WaitPatiently(int graceMs);

  protected:
    // Runs fetch, of count headers, on the helper's thread.
    void Start(std::function<void()> fetch, size_t count);
    // One more header is in (or refused): the pace that WaitPatiently reckons with.
    void Delivered() { ++FDelivered; }
    // Cancels and joins. Each subclass's destructor calls it first: the thread uses its members.
    void Finish();
    // Breaks the session's connection (Cancel, from any thread).
    virtual void Drop() = 0;

    std::atomic<bool> FCancelled{false};
    std::mutex FDropLock; // Cancel from another thread against the session's own end

  private:
    std::thread FThread;
    size_t FCount = 0;
    std::atomic<size_t> FDelivered{0};
    std::chrono::steady_clock::time_point FStarted;
    std::mutex FEndLock;
    std::condition_variable FEndedSignal;
    bool FEnded = false; // guarded by FEndLock
};

// The second session reaches the same server as the worker's, as the same user.
template <class TSession> void CopyServerSettings(const TSession& like, TSession& session) {
    session.Server = like.Server;
    session.TLSCAFile = like.TLSCAFile;
    session.ReadTimeout = like.ReadTimeout;
    session.MinReplyRate = like.MinReplyRate;
    session.Resolver = like.Resolver;
}

// Moves the value of key out of map into value; false when map has none.
template <class TMap, class TKey, class TValue>
bool TakeFrom(TMap& map, const TKey& key, TValue& value) {
    const auto found = map.find(key);
    if (found == map.end())
        return false;
    value = std::move(found->second);
    map.erase(found);
    return true;
}
