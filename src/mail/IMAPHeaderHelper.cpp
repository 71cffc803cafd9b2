// TIMAPHeaderHelper: a second IMAP session that fetches part of a large check's headers at the
// same time as the worker's own session fetches the rest.
#include "IMAPHeaderHelper.h"

#include <algorithm>

TIMAPHeaderHelper::TIMAPHeaderHelper(const TQBIMAP& like, std::vector<uint32_t> uids,
                                     int connectTimeoutMs) {
    FSession.Host = like.Host;
    FSession.Port = like.Port;
    FSession.Username = like.Username;
    FSession.Password = like.Password;
    FSession.TLS = like.TLS;
    FSession.TLSVerify = like.TLSVerify;
    FSession.TLSCAFile = like.TLSCAFile;
    FSession.ReadTimeout = like.ReadTimeout;
    FSession.Resolver = like.Resolver;
    if (!uids.empty()) {
        FFirst = *std::min_element(uids.begin(), uids.end());
        FLast = *std::max_element(uids.begin(), uids.end());
    }
    FThread = std::thread([this, uids = std::move(uids), connectTimeoutMs]() mutable {
        Run(std::move(uids), connectTimeoutMs);
    });
}

TIMAPHeaderHelper::~TIMAPHeaderHelper() {
    Cancel();
    Wait();
}

void TIMAPHeaderHelper::Cancel() {
    std::lock_guard<std::mutex> lock(FDropLock);
    FCancelled = true;
    FSession.DropConnection();
}

void TIMAPHeaderHelper::Wait() {
    if (FThread.joinable())
        FThread.join();
}

bool TIMAPHeaderHelper::Take(uint32_t uid, TIMAPHeader& header) {
    const auto found = FHeaders.find(uid);
    if (found == FHeaders.end())
        return false;
    header = std::move(found->second);
    FHeaders.erase(found);
    return true;
}

void TIMAPHeaderHelper::Run(std::vector<uint32_t> uids, int connectTimeoutMs) {
    size_t held = 0;
    try {
        FSession.Connect(connectTimeoutMs);
        // Read-only, as the worker's: nothing a check does may set \Seen.
        FSession.Select(true);
        FSession.FetchHeaders(uids, [&](TIMAPHeader&& header) {
            held += header.Header.size();
            if (held <= MaxHeldBytes && !FCancelled)
                FHeaders.emplace(header.UID, std::move(header));
        });
        FSession.Logout(IMAPLogoutWait);
    } catch (...) {
        // The worker fetches what is missing itself.
    }
    std::lock_guard<std::mutex> lock(FDropLock);
    if (FSession.Connected())
        FSession.DropConnection();
}
