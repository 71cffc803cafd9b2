// The worker's IMAP jobs: check, retrieve, remove and mark read, on the session TQBIMAP. They
// raise the same events as the POP3 jobs, so the store treats both alike.
#include "QBThread.h"

#include "core/MD5Hex.h"
#include "mime/FirstLines.h"
#include "mime/MessageFields.h"
#include "net/ErrorCause.h"
#include "net/MailError.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <unordered_map>
#include <unordered_set>

namespace {

// New headers fetched (pipelined) and announced together.
const size_t CheckWindow = 256;
// Bytes fetched per body line for the first lines of a message.
const size_t FirstLineBytes = 1024;

// The key of an IMAP message; a new UIDVALIDITY makes every key new, so the account is read
// afresh.
std::string IMAPKey(uint32_t validity, uint32_t uid) {
    return std::to_string(validity) + ":" + std::to_string(uid);
}

// The uid of key when it belongs to the mailbox of validity; 0 otherwise.
uint32_t UIDOfKey(const std::string& key, uint32_t validity) {
    const std::string prefix = std::to_string(validity) + ":";
    if (key.compare(0, prefix.size(), prefix) != 0)
        return 0;
    const std::string digits = key.substr(prefix.size());
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const unsigned long long uid = std::stoull(digits);
    return uid <= UINT32_MAX ? static_cast<uint32_t>(uid) : 0;
}

} // namespace

void TQBThread::RunIMAPTask() {
    if (POP3.Connected())
        POP3.Disconnect();
    ReuseOrCloseIMAP();
    IMAP.Server = FTask.Server;
    IMAP.TLSCAFile = POP3.TLSCAFile;
    IMAP.ReadTimeout = SilenceLimit;

    if (!OpenSession(IMAP, [this] { IMAP.DropConnection(); }))
        return;
    FSessionAccount = FTask.Account;
    try {
        switch (FTask.Kind) {
        case TJobKind::Check:
            IMAPCheck();
            break;
        case TJobKind::Retrieve:
            IMAPRetrieve();
            break;
        case TJobKind::Remove:
        case TJobKind::RemoveSeveral:
            IMAPRemove();
            break;
        case TJobKind::MarkRead:
            IMAPMarkRead();
            break;
        }
    } catch (...) {
        // The job is over; the next one starts on a new session.
        IMAP.DropConnection();
        throw;
    }
    if (FTask.Kind == TJobKind::Check && FTask.KeepSessionMs > 0 &&
        FEnding.Result == TJobResult::Done && !FStopping && IMAP.Connected())
        FKeepUntil =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(FTask.KeepSessionMs);
}

std::vector<uint32_t> TQBThread::IMAPUIDs() const {
    std::vector<uint32_t> uids;
    for (const TMessageRef& ref : FTask.Messages)
        if (const uint32_t uid = UIDOfKey(ref.UID, IMAP.UIDValidity))
            uids.push_back(uid);
    return uids;
}

std::vector<uint32_t> TQBThread::IMAPConfirmedUIDs(std::unordered_set<size_t>& changed) {
    std::vector<uint32_t> uids;
    std::vector<uint32_t> asked;
    std::unordered_map<uint32_t, size_t> places;
    for (size_t i = 0; i < FTask.Messages.size(); ++i) {
        const uint32_t uid = UIDOfKey(FTask.Messages[i].UID, IMAP.UIDValidity);
        if (uid == 0)
            continue;
        uids.push_back(uid);
        if (!FTask.Messages[i].MessageID.empty() && places.emplace(uid, i).second)
            asked.push_back(uid);
    }
    if (asked.empty())
        return uids;
    std::vector<uint32_t> others;
    IMAP.FetchMessageIds(asked, [&](uint32_t uid, std::string&& fields) {
        if (MessageIdOf(fields) != FTask.Messages[places[uid]].MessageID)
            others.push_back(uid);
    });
    if (others.empty())
        return uids;
    // One gone by now is taken away like any other.
    std::vector<TChanged> news;
    IMAP.FetchHeaders(others, [&](TIMAPHeader&& header) {
        const size_t place = places[header.UID];
        TChanged message{place, FTask.Messages[place].Number, HeaderOfText(header.Header),
                         static_cast<int>(std::min<uint64_t>(header.Size, INT_MAX))};
        if (header.Missing)
            message.Header.assign({std::string("Subject: ") + UnreadableHeaderSubject, ""});
        news.push_back(std::move(message));
        changed.insert(place);
        uids.erase(std::remove(uids.begin(), uids.end(), header.UID), uids.end());
    });
    for (TChanged& message : news) {
        RaiseChanged(std::move(message));
        RaiseError(TErrorSeverity::Warning, ChangedBeforeRemovalText);
    }
    return uids;
}

std::unique_ptr<TIMAPHeaderHelper> TQBThread::StartHeaderHelper(const std::vector<uint32_t>& fresh,
                                                                uint32_t validity) {
    if (fresh.size() < std::max<size_t>(2, ParallelHeaderMinimum))
        return nullptr;
    auto helper = std::make_unique<TIMAPHeaderHelper>(
        IMAP,
        std::vector<uint32_t>(fresh.begin() + static_cast<ptrdiff_t>(fresh.size() / 2),
                              fresh.end()),
        validity, ConnectTimeout);
    SetHeaderHelper(helper.get());
    return helper;
}

void TQBThread::SetHeaderHelper(THeaderHelper* helper) {
    std::lock_guard<std::mutex> lock(FHelperLock);
    FHeaderHelper = helper;
    if (helper && FStopping)
        helper->Cancel();
}

void TQBThread::IMAPCheck() {
    SetStatus("Retrieving message list...");
    bool complete = false;
    std::unique_ptr<TIMAPHeaderHelper> helper;
    TStringList seen; // announced or renumbered so far
    bool failed = false;
    std::string cause;
    int headerless = 0; // messages the server gave without their header
    try {
        // Read-only: nothing the check does may set \Seen.
        IMAP.Select(true);
        const uint32_t validity = IMAP.UIDValidity;
        const std::vector<uint32_t> unseen = IMAP.SearchUnseen(true);
        std::unordered_set<std::string> known;
        for (const std::string& uid : FServerList)
            known.insert(LowerHex(uid));
        std::vector<uint32_t> fresh;
        for (const uint32_t uid : unseen)
            if (known.count(IMAPKey(validity, uid)) == 0)
                fresh.push_back(uid);
        helper = StartHeaderHelper(fresh, validity);
        bool helperDone = false;
        int number = 0; // the message's place among the unseen ones
        size_t next = 0;
        while (next < unseen.size() && !FStopping) {
            TCheckWindow window;
            std::vector<uint32_t> wanted;
            std::unordered_map<uint32_t, size_t> slots;
            for (; next < unseen.size() && wanted.size() < CheckWindow; ++next) {
                TCheckEntry entry;
                entry.UID = IMAPKey(validity, unseen[next]);
                entry.New = known.count(entry.UID) == 0;
                if (entry.New) {
                    slots[unseen[next]] = window.Entries.size();
                    wanted.push_back(unseen[next]);
                }
                window.Entries.push_back(std::move(entry));
            }
            std::vector<bool> fetched(window.Entries.size(), false);
            auto take = [&](TIMAPHeader&& header) {
                const auto slot = slots.find(header.UID);
                if (slot == slots.end())
                    return;
                TCheckEntry& entry = window.Entries[slot->second];
                if (header.Missing) {
                    entry.MarkUnreadable();
                    ++headerless;
                } else
                    entry.Lines = HeaderOfText(header.Header);
                entry.Size = static_cast<int>(std::min<uint64_t>(header.Size, INT_MAX));
                fetched[slot->second] = true;
            };
            if (!wanted.empty())
                SetStatus(RetrievingInformation);
            // What the second session has is taken from it; the rest is fetched here.
            std::vector<uint32_t> own;
            for (const uint32_t uid : wanted) {
                TIMAPHeader header;
                if (helper && helper->Covers(uid)) {
                    if (!helperDone)
                        helper->WaitPatiently(HelperPatienceMs);
                    helperDone = true;
                    if (helper->Take(uid, header)) {
                        take(std::move(header));
                        continue;
                    }
                }
                own.push_back(uid);
            }
            if (!own.empty() && !FStopping)
                IMAP.FetchHeaders(own, take);
            // A message expunged between the search and the fetch is gone: not announced.
            std::vector<TCheckEntry> kept;
            for (size_t i = 0; i < window.Entries.size(); ++i)
                if (!window.Entries[i].New || fetched[i]) {
                    window.Entries[i].Number = ++number;
                    kept.push_back(std::move(window.Entries[i]));
                }
            window.Entries = std::move(kept);
            window.Ready = window.Entries.size();
            Announce(window, window.Ready, seen);
        }
        AwaitAnnouncements();
        complete = !FStopping;
    } catch (const std::exception& error) {
        failed = true;
        cause = error.what();
    } catch (...) {
        failed = true;
    }
    SetHeaderHelper(nullptr);
    helper.reset();
    try {
        AwaitAnnouncements();
    } catch (...) {
    }
    // The unseen messages are what the account shows: one that left them (read or
    // removed elsewhere) leaves the bar with the store's end-of-check removal.
    EndCheck(complete, std::move(seen));
    // Once for the check: the cause is the server's, the same for every such message.
    if (headerless > 0)
        RaiseError(TErrorSeverity::Warning,
                   "Server error: The server sent " + std::to_string(headerless) +
                       " message(s) without their header; they are shown by their size.");
    if (failed)
        RaiseError(TErrorSeverity::Warning,
                   WithCause("Server error: Message list could not be retrieved!", cause));
}

void TQBThread::IMAPRetrieve() {
    ForgetRetrieved();
    if (FTask.Messages.empty()) {
        RaiseError(TErrorSeverity::Fatal, MessageGoneText);
        return;
    }
    SetStatus("Retrieving message size...");
    uint32_t uid = 0;
    TIMAPHeader head;
    bool found = false;
    try {
        // Read-only, and the fetches peek: opening a message leaves it unseen.
        IMAP.Select(true);
        uid = UIDOfKey(FTask.Messages.front().UID, IMAP.UIDValidity);
        if (uid != 0)
            IMAP.FetchHeaders({uid}, [&](TIMAPHeader&& header) {
                head = std::move(header);
                found = true;
            });
    } catch (const std::exception& error) {
        // Fatal, so that the main window drops the job instead of fetching it again.
        RaiseError(TErrorSeverity::Fatal,
                   WithCause("Server error: Message size could not be retrieved!", error.what()));
        return;
    }
    if (!found) {
        RaiseError(TErrorSeverity::Fatal, MessageGoneText);
        return;
    }
    FSize = static_cast<int>(std::min<uint64_t>(head.Size, INT_MAX));
    // Another message under the uid shows its header from now on, fetched no further.
    const std::string& announced = FTask.Messages.front().MessageID;
    TStringList header = HeaderOfText(head.Header);
    const std::string received = MessageIdOf(header);
    if (!announced.empty() && !head.Missing && received != announced &&
        !(received.empty() && head.Cut)) {
        RaiseChanged(TChanged{0, FTask.MsgNum, std::move(header), FSize});
        RaiseError(TErrorSeverity::Fatal, ChangedAtOpenText(received, announced));
        return;
    }
    const TSizeAnswer answer = AskSize();
    if (answer == TSizeAnswer::Cancel)
        return;
    SetStatus("Retrieving message...");
    std::string failure;
    try {
        bool fetched = false;
        if (answer == TSizeAnswer::Whole) {
            FText.reserve(std::min(static_cast<size_t>(FSize), IMAP.MaxReplyBytes));
            fetched = IMAP.FetchMessage(uid, FText);
        } else {
            // The header and the first lines, as POP3's TOP gives them.
            const int lines = std::max(0, static_cast<int>(MaxLines));
            fetched = IMAP.FetchMessage(
                uid, FText, head.Header.size() + 2 + static_cast<size_t>(lines) * FirstLineBytes);
            KeepFirstLines(FText, lines);
        }
        if (!fetched)
            failure = WithCause(RetrieveFailed, MessageGoneText);
    } catch (const std::exception& error) {
        failure = WithCause(RetrieveFailed, error.what());
    } catch (...) {
        failure = RetrieveFailed;
    }
    FinishRetrieval(std::move(failure), "", answer == TSizeAnswer::Whole);
}

void TQBThread::IMAPRemove() {
    const bool several = FTask.Kind == TJobKind::RemoveSeveral;
    SetStatus(several ? "Removing messages..." : "Removing message...");
    if (FTask.Messages.empty())
        RaiseError(TErrorSeverity::Warning, MessageGoneText);
    bool failed = false;
    bool expunged = true;
    std::string cause;
    std::unordered_set<size_t> changed; // places of messages that stay, being others now
    try {
        IMAP.Select(false);
        // A message of another UIDVALIDITY is gone already: taken away all the same.
        const std::vector<uint32_t> uids = IMAPConfirmedUIDs(changed);
        if (!uids.empty())
            expunged = IMAP.Delete(uids);
    } catch (const std::exception& error) {
        failed = true;
        cause = error.what();
    } catch (...) {
        failed = true;
    }
    if (failed)
        FEnding.RemovalIncomplete = true;
    else
        for (size_t i = FTask.Messages.size(); i-- > 0;)
            if (changed.count(i) == 0)
                RaiseRemoved(i);
    if (failed)
        RaiseError(TErrorSeverity::Warning,
                   WithCause("Server error: Message could not be removed!", cause));
    else if (!expunged)
        RaiseError(TErrorSeverity::Warning,
                   "The messages were marked as deleted but not expunged: the server does not "
                   "support UIDPLUS, and expunging would also remove other messages marked "
                   "as deleted.");
}

void TQBThread::IMAPMarkRead() {
    SetStatus("Marking messages as read...");
    try {
        IMAP.Select(false);
        const std::vector<uint32_t> uids = IMAPUIDs();
        if (!uids.empty())
            IMAP.MarkSeen(uids);
    } catch (const std::exception& error) {
        // Fatal: ends the job.
        RaiseError(
            TErrorSeverity::Fatal,
            WithCause("Server error: The messages could not be marked as read!", error.what()));
    }
}
