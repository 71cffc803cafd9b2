#include "HeaderHelper.h"

#include <algorithm>

void THeaderHelper::Cancel() {
    std::lock_guard<std::mutex> lock(FDropLock);
    FCancelled = true;
    Drop();
}

void THeaderHelper::Wait() {
    if (FThread.joinable())
        FThread.join();
}

bool THeaderHelper::WaitPatiently(int graceMs) {
    using namespace std::chrono;
    const auto now = steady_clock::now();
    auto patience = milliseconds(std::max(graceMs, 0));
    const size_t delivered = FDelivered;
    if (delivered > 0 && delivered < FCount) {
        // Never longer again than it has run: by then the worker would have fetched the
        // rest itself.
        const auto ran = duration_cast<milliseconds>(now - FStarted);
        const auto rest = static_cast<milliseconds::rep>(FCount - delivered);
        const auto done = static_cast<milliseconds::rep>(delivered);
        patience += rest >= done ? ran : ran * rest / done;
    }
    bool ended;
    {
        std::unique_lock<std::mutex> lock(FEndLock);
        ended = FEndedSignal.wait_until(lock, now + patience, [this] { return FEnded; });
    }
    if (!ended)
        Cancel();
    Wait();
    return ended;
}

void THeaderHelper::Start(std::function<void()> fetch, size_t count) {
    FCount = count;
    FStarted = std::chrono::steady_clock::now();
    FThread = std::thread([this, fetch = std::move(fetch)] {
        fetch();
        {
            std::lock_guard<std::mutex> lock(FEndLock);
            FEnded = true;
        }
        FEndedSignal.notify_all();
    });
}

void THeaderHelper::Finish() {
    Cancel();
    Wait();
}
