// TMainLoop: a small main-thread event queue for worker tests, like a GUI's event loop.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Calls from other threads run one at a time on the thread that runs the loop:
// Synchronize waits until its call has run, Post does not.
class TMainLoop {
  public:
    TMainLoop() : FOwner(std::this_thread::get_id()) {}

    void Synchronize(const std::function<void()>& call) {
        bool done = false;
        std::unique_lock<std::mutex> lock(FLock);
        FQueue.push_back([&] {
            call();
            std::lock_guard<std::mutex> doneLock(FLock);
            done = true;
        });
        FWake.notify_all();
        FWake.wait(lock, [&] { return done; });
    }

    void Post(std::function<void()> call) {
        std::lock_guard<std::mutex> lock(FLock);
        FQueue.push_back(std::move(call));
        FWake.notify_all();
    }

    // Runs queued calls until condition holds (looked at after each call and every
    // 5 ms); false when timeoutMs passed first.
    bool RunUntil(const std::function<bool()>& condition, int timeoutMs = 20000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (condition())
                return true;
            std::function<void()> call;
            {
                std::unique_lock<std::mutex> lock(FLock);
                auto until = std::min(deadline, std::chrono::steady_clock::now() +
                                                    std::chrono::milliseconds(5));
                if (!FWake.wait_until(lock, until, [this] { return !FQueue.empty(); })) {
                    if (std::chrono::steady_clock::now() >= deadline)
                        return condition();
                    continue;
                }
                call = std::move(FQueue.front());
                FQueue.pop_front();
            }
            call();
            FWake.notify_all();
        }
    }

    // Runs queued calls for a while, to see that nothing more arrives.
    void RunFor(int ms) {
        RunUntil([] { return false; }, ms);
    }

    bool OnLoopThread() const { return std::this_thread::get_id() == FOwner; }

  private:
    std::thread::id FOwner;
    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<std::function<void()>> FQueue;
};
