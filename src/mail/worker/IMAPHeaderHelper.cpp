// TIMAPHeaderHelper: the second IMAP session of a large check.
#include "IMAPHeaderHelper.h"

#include <algorithm>

TIMAPHeaderHelper::TIMAPHeaderHelper(const TQBIMAP& like, std::vector<uint32_t> uids,
                                     uint32_t validity, int connectTimeoutMs) {
    CopyServerSettings(like, FSession);
    if (!uids.empty()) {
        FFirst = *std::min_element(uids.begin(), uids.end());
        FLast = *std::max_element(uids.begin(), uids.end());
    }
    const size_t count = uids.size();
    Start([this, uids = std::move(uids), validity,
           connectTimeoutMs] { Run(uids, validity, connectTimeoutMs); },
          count);
}

TIMAPHeaderHelper::~TIMAPHeaderHelper() {
    Finish();
}

bool TIMAPHeaderHelper::Take(uint32_t uid, TIMAPHeader& header) {
    return TakeFrom(FHeaders, uid, header);
}

void TIMAPHeaderHelper::Run(const std::vector<uint32_t>& uids, uint32_t validity,
                            int connectTimeoutMs) {
    size_t held = 0;
    try {
        FSession.Connect(connectTimeoutMs);
        // Read-only, as the worker's: nothing a check does may set \Seen.
        FSession.Select(true);
        if (FSession.UIDValidity == validity) {
            FSession.FetchHeaders(uids, [&](TIMAPHeader&& header) {
                Delivered();
                held += header.Header.size();
                if (held <= MaxHeldBytes && !FCancelled)
                    FHeaders.emplace(header.UID, std::move(header));
            });
        }
        FSession.Logout(IMAPLogoutWait);
    } catch (...) {
        // The worker fetches what is missing itself.
    }
    // The server may tell of a new validity at any time.
    if (FSession.UIDValidity != validity)
        FHeaders.clear();
    std::lock_guard<std::mutex> lock(FDropLock);
    if (FSession.Connected())
        FSession.DropConnection();
}
