// TNameLookup: a name lookup on a helper thread, so that a hanging resolver cannot hold us.
#include "NameLookup.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>

struct TNameLookup::TState {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Ended = false;
    bool Cancelled = false;
    bool Abandoned = false; // the owner is gone; the helper frees its own result
    int Status = 0;
    addrinfo* Result = nullptr;
};

TNameLookup::TNameLookup(const std::string& host, const std::string& service,
                         const TResolver& resolver)
    : FState(std::make_shared<TState>()) {
    std::thread([state = FState, host, service, resolver] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        int status = resolver ? resolver(host, service, &hints, &result)
                              : getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
        if (status != 0)
            result = nullptr;
        std::lock_guard<std::mutex> lock(state->Lock);
        if (state->Abandoned) {
            if (result)
                freeaddrinfo(result);
            return;
        }
        state->Status = status;
        state->Result = result;
        state->Ended = true;
        state->Changed.notify_all();
    }).detach();
}

TNameLookup::~TNameLookup() {
    std::lock_guard<std::mutex> lock(FState->Lock);
    if (FState->Result)
        freeaddrinfo(FState->Result);
    FState->Result = nullptr;
    FState->Abandoned = true;
}

bool TNameLookup::Wait(int timeoutMs) {
    std::unique_lock<std::mutex> lock(FState->Lock);
    FState->Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0),
                             [this] { return FState->Ended || FState->Cancelled; });
    return FState->Ended;
}

void TNameLookup::Cancel() {
    std::lock_guard<std::mutex> lock(FState->Lock);
    FState->Cancelled = true;
    FState->Changed.notify_all();
}

int TNameLookup::Status() const {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return FState->Status;
}

const addrinfo* TNameLookup::Addresses() const {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return FState->Result;
}
