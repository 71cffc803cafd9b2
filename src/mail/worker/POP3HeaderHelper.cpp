// TPOP3HeaderHelper: the second POP3 session of a large check.
#include "POP3HeaderHelper.h"

#include <chrono>
#include <unordered_set>

TPOP3HeaderHelper::TPOP3HeaderHelper(const TQBPOP3& like, std::vector<std::string> uids,
                                     int connectTimeoutMs) {
    CopyServerSettings(like, FSession);
    FSession.MaxLineLength = like.MaxLineLength;
    FSession.MaxHeaderBytes = like.MaxHeaderBytes;
    FSession.MaxReplyBytes = like.MaxReplyBytes;
    FSession.MaxListEntries = like.MaxListEntries;
    const size_t count = uids.size();
    Start([this, uids = std::move(uids), connectTimeoutMs] { Run(uids, connectTimeoutMs); }, count);
}

TPOP3HeaderHelper::~TPOP3HeaderHelper() {
    Finish();
}

bool TPOP3HeaderHelper::Take(const std::string& uid, THeader& header) {
    return TakeFrom(FHeaders, uid, header);
}

bool TPOP3HeaderHelper::WaitForLogin(int ms) {
    std::unique_lock<std::mutex> lock(FLoginLock);
    FLoginEnded.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FLoginDone; });
    return FLoggedIn;
}

void TPOP3HeaderHelper::EndLogin(bool loggedIn) {
    {
        std::lock_guard<std::mutex> lock(FLoginLock);
        FLoginDone = true;
        FLoggedIn = loggedIn;
    }
    FLoginEnded.notify_all();
}

void TPOP3HeaderHelper::Locate(const std::vector<std::string>& uids, std::vector<int>& numbers,
                               std::vector<std::string>& keys) {
    TStringList listing;
    if (!FSession.ListUIDs(listing))
        return;
    std::unordered_set<std::string> wanted(uids.begin(), uids.end());
    for (const std::string& line : listing) {
        TListingLine fields = ParseListingLine(line);
        if (fields.Number >= 0 && wanted.erase(fields.Value) > 0) {
            numbers.push_back(fields.Number);
            keys.push_back(std::move(fields.Value));
        }
    }
}

void TPOP3HeaderHelper::Run(const std::vector<std::string>& uids, int connectTimeoutMs) {
    bool done = false;
    try {
        try {
            FSession.Connect(connectTimeoutMs);
        } catch (...) {
            EndLogin(false);
            throw;
        }
        EndLogin(true);
        // One command at a time would only take turns with the worker's session.
        std::vector<int> numbers;
        std::vector<std::string> keys;
        if (FSession.Pipelining && FSession.TopListed)
            Locate(uids, numbers, keys);
        if (!numbers.empty())
            FSession.SendTops(numbers, 0, true);
        size_t held = 0;
        for (size_t i = 0; i < keys.size() && !FCancelled && held <= MaxHeldBytes; ++i) {
            THeader header;
            bool kept = false;
            try {
                kept = FSession.ReadTop(header.Lines) && !FSession.LastDataCut;
            } catch (const EMailInStepError&) {
            }
            Delivered();
            // A header refused or cut short is the worker's to read and report.
            if (!kept)
                continue;
            header.Size = FSession.ListedSize;
            for (const std::string& line : header.Lines)
                held += line.size();
            FHeaders.emplace(keys[i], std::move(header));
        }
        done = FSession.Outstanding() == 0;
    } catch (...) {
        // The worker fetches what is missing itself.
    }
    std::lock_guard<std::mutex> lock(FDropLock);
    if (done && !FCancelled)
        FSession.Disconnect();
    else if (FSession.Connected())
        FSession.DropConnection();
}
