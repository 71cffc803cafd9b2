#include "HeaderHelper.h"

void THeaderHelper::Cancel() {
    std::lock_guard<std::mutex> lock(FDropLock);
    FCancelled = true;
    Drop();
}

void THeaderHelper::Wait() {
    if (FThread.joinable())
        FThread.join();
}

void THeaderHelper::Start(std::function<void()> fetch) {
    FThread = std::thread(std::move(fetch));
}

void THeaderHelper::Finish() {
    Cancel();
    Wait();
}
