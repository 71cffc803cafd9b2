// TQBThread: the one mailbox worker thread, running check, retrieve and remove jobs; the
// IMAP jobs are in IMAPJobs.cpp.
#include "QBThread.h"

#include "cache/CacheFiles.h"
#include "core/MD5Hex.h"
#include "core/PasswordVault.h"
#include "mime/MessageFields.h"
#include "net/ErrorCause.h"
#include "net/MailError.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <exception>
#include <unordered_set>

namespace {

// A check's window: its TOP commands (queued together when the server pipelines, and taken
// by the socket as fast as it will), and its list entries. The next window is queued when
// half of this one's replies are in, so on a slow link the server always has commands
// enough to fill a round trip; the size bounds only what waits in memory.
const size_t WindowTops = 2048;
const size_t WindowEntries = 8192;
// What a window has read goes to the main thread ahead of the rest after this long,
// or once it holds this many header bytes.
const auto AnnounceInterval = std::chrono::milliseconds(200);
// What has been read goes ahead at once when the next reply is this late: a server that
// stalls must not hold back the headers that came before.
const int AnnounceWhenSilentMs = 30;
// Announcement batches queued to the main thread at most before the worker waits for them.
const int MaxQueuedAnnouncements = 4;
const size_t MaxHeldHeaderBytes = size_t(256) << 10;
// Entries in one announcement at most: the main thread handles each batch in one turn of its
// loop, which a click must not wait long for.
const size_t MaxAnnouncedEntries = 128;

} // namespace

TQBThread::TQBThread(int connectTimeout, TSynchronize synchronize, TPostProgress post)
    : ConnectTimeout(connectTimeout), FSynchronize(std::move(synchronize)), FPost(std::move(post)) {
    POP3.OnWork = [this](int64_t position) {
        if (FTask.Kind == TJobKind::Retrieve && FPost && !FDestroying)
            FPost({position, FSize});
    };
    IMAP.OnWork = POP3.OnWork;
}

TQBThread::~TQBThread() {
    // The main thread is about to wait in join and can serve no event any more.
    FDestroying = true;
    Terminate();
    // A worker still in a job is broken off; one that has left its loop keeps
    // its session for the QUIT below.
    if (!FExited)
        Stop();
    if (FThread.joinable())
        FThread.join();
    if (POP3.Connected())
        POP3.Disconnect();
    if (IMAP.Connected())
        IMAP.Logout(IMAPLogoutWait);
}

void TQBThread::Abandon() {
    FDestroying = true;
    Terminate();
    Stop();
    if (FThread.joinable())
        FThread.detach();
}

void TQBThread::Resume() {
    if (!FThread.joinable())
        FThread = std::thread([this] { Execute(); });
}

void TQBThread::Wake() {
    {
        std::lock_guard<std::mutex> lock(FIdleLock);
        FWakeWanted = true;
        FIdle = false;
    }
    FIdleWake.notify_all();
}

void TQBThread::Stop() {
    {
        std::lock_guard<std::mutex> lock(FIdleLock);
        // No job runs: the kept session ends with a goodbye.
        if (FKeeping) {
            FEndKept = true;
            FIdleWake.notify_all();
            return;
        }
    }
    FStopping = true;
    Wake();
    // Also while connecting: the drop holds until the next job starts.
    POP3.DropConnection();
    IMAP.DropConnection();
    std::lock_guard<std::mutex> lock(FHelperLock);
    if (FHeaderHelper)
        FHeaderHelper->Cancel();
}

void TQBThread::Terminate() {
    {
        std::lock_guard<std::mutex> lock(FIdleLock);
        FTerminated = true;
    }
    FIdleWake.notify_all();
}

void TQBThread::Raise(const std::function<void()>& call) {
    if (FDestroying)
        return;
    std::exception_ptr failure;
    auto guarded = [&] {
        try {
            call();
        } catch (...) {
            failure = std::current_exception();
        }
    };
    if (FSynchronize)
        FSynchronize(guarded);
    else
        guarded();
    if (failure)
        std::rethrow_exception(failure);
}

void TQBThread::SetStatus(const std::string& text) {
    if (FStopping || !Events.Status) {
        // The main thread may show something of its own after a cancel.
        FStatusShown = false;
        return;
    }
    if (!StatusChanges(text))
        return;
    FStatusShown = true;
    FStatusText = text;
    Raise([this, text] { Events.Status(text); });
}

void TQBThread::RaiseError(TErrorSeverity severity, const std::string& text) {
    if (severity == TErrorSeverity::Fatal && FEnding.Result == TJobResult::Done) {
        FEnding.Result = TJobResult::Failed;
        FEnding.Failure = text;
    }
    if (FStopping || !Events.Error)
        return;
    const TWorkerError error{severity, text};
    Raise([this, &error] { Events.Error(error); });
}

void TQBThread::RaiseRetrieved(bool whole) {
    if (!Events.Retrieved)
        return;
    TRetrieved message{FTask.MsgNum, std::move(FText), whole};
    Raise([this, &message] { Events.Retrieved(message); });
}

void TQBThread::RaiseRemoved(size_t place) {
    if (Events.Removed)
        Raise([this, place] { Events.Removed(TRemoved{place}); });
}

bool TQBThread::TakeJob() {
    std::optional<TJobOrder> order;
    try {
        Raise([this, &order] {
            // A cancel applies to one job. Cleared on the main thread, where Stop
            // is called, so a cancel of the job that just ended cannot hit this one.
            FStopping = false;
            POP3.ResetDrop();
            IMAP.ResetDrop();
            if (Events.GetJob)
                order = Events.GetJob();
            if (!order)
                StartKeeping();
        });
    } catch (...) {
        order.reset();
    }
    if (!order)
        return false;
    FTask = std::move(order->Task);
    FServerList = std::move(order->ServerList);
    FKnownSizes = std::move(order->KnownSizes);
    FEnding = TJobEnded();
    FEnding.Job = FTask.Id;
    FEnding.Kind = FTask.Kind;
    return true;
}

void TQBThread::Execute() {
    do {
        if (FTerminated)
            break;
        if (!TakeJob()) {
            if (KeepSession())
                continue;
            if (POP3.Connected())
                POP3.Disconnect();
            if (IMAP.Connected())
                IMAP.Logout(IMAPLogoutWait);
            // What the last check kept of the mailbox, a hundred bytes a message, is made
            // anew by the next one.
            std::unordered_set<std::string>().swap(FKnown);
            std::unordered_map<int, long long>().swap(FListedSizes);
            std::unordered_map<std::string, long long>().swap(FKnownSizes);
            TStringList().swap(FServerList);
            // Asleep until a job is queued: an idle program must not wake up.
            std::unique_lock<std::mutex> lock(FIdleLock);
            if (!FWakeWanted && !FTerminated) {
                FIdle = true;
                FIdleWake.wait(lock, [this] { return FWakeWanted || FTerminated; });
            }
            FWakeWanted = false;
            FIdle = false;
            continue;
        }
        try {
            RunTask();
        } catch (...) {
            // A handler threw, or the job ran out of memory: the job is over, and the next
            // one starts on new sessions.
            if (FEnding.Result == TJobResult::Done) {
                FEnding.Result = TJobResult::Failed;
                FEnding.Failure = JobBrokenText;
            }
            POP3.Disconnect();
            IMAP.DropConnection();
        }
        EndJob();
    } while (!FTerminated);
    FExited = true;
    FFinished = true;
}

bool TQBThread::TakeKeyringPassword() {
    // An OAuth2 account keeps no password: the keyring holds its refresh token instead.
    if (FTask.Server.KeyringKey.empty() || FTask.Server.Auth == TAuthKind::OAuth2)
        return true;
    const TVaultRead read = VaultPassword(FTask.Server.KeyringKey);
    if (read.Error.empty()) {
        FTask.Server.Pass = read.Password;
        return true;
    }
    RaiseError(TErrorSeverity::Fatal, read.Error);
    return false;
}

bool TQBThread::TakeAccessToken(bool renew) {
    TOAuthClient client;
    std::string error;
    if (!SignInOf(FTask.Server, client, FRefreshAsked, error)) {
        RaiseError(TErrorSeverity::Fatal, error);
        return false;
    }
    const TAccessGrant grant =
        AccessTokens().Obtain(client, FRefreshAsked, renew, std::chrono::system_clock::now());
    if (!grant.Refresh.empty() && grant.Refresh != FRefreshAsked) {
        TRefreshReplaced replaced{FRefreshAsked, grant.Refresh};
        FRefreshAsked = grant.Refresh;
        if (Events.RefreshReplaced)
            Raise([this, &replaced] { Events.RefreshReplaced(replaced); });
    }
    if (grant.Outcome == TTokenOutcome::SignInExpired) {
        EndSignIn();
        return false;
    }
    if (grant.Outcome != TTokenOutcome::Granted) {
        RaiseError(TErrorSeverity::Fatal, grant.Error);
        return false;
    }
    FTask.Server.AccessToken = grant.AccessToken;
    return true;
}

void TQBThread::EndSignIn() {
    if (AccessTokens().FirstNotice(FRefreshAsked)) {
        RaiseError(TErrorSeverity::Fatal, SignInExpiredText);
        return;
    }
    if (FEnding.Result == TJobResult::Done) {
        FEnding.Result = TJobResult::Failed;
        FEnding.Failure = SignInExpiredText;
    }
}

void TQBThread::RunTask() {
    if (!TakeKeyringPassword())
        return;
    if (FTask.Server.Auth == TAuthKind::OAuth2 && !TakeAccessToken(false))
        return;
    if (FTask.Server.Protocol == TMailProtocol::IMAP) {
        RunIMAPTask();
        return;
    }
    if (IMAP.Connected())
        IMAP.Logout(IMAPLogoutWait);
    if (POP3.Connected() && POP3.Server != FTask.Server)
        POP3.Disconnect();
    POP3.Server = FTask.Server;
    POP3.ReadTimeout = SilenceLimit;

    if (!OpenSession(POP3, [this] { POP3.Disconnect(); }))
        return;
    const bool removal = FTask.Kind == TJobKind::Remove || FTask.Kind == TJobKind::RemoveSeveral;
    try {
        switch (FTask.Kind) {
        case TJobKind::Check:
            Check();
            break;
        case TJobKind::Retrieve:
            Retrieve();
            break;
        case TJobKind::Remove:
            Remove();
            break;
        case TJobKind::RemoveSeveral:
            RemoveSeveral();
            break;
        case TJobKind::MarkRead:
            // A POP3 server keeps no read state.
            break;
        }
    } catch (...) {
        // The job is over; the next one starts on a new session.
        EndSession();
        throw;
    }
    // The server renumbers only when the session ends; the store renumbers at once.
    if (removal && POP3.Connected())
        EndSession();
}

void TQBThread::EndJob() {
    try {
        SetStatus("");
    } catch (...) {
    }
    // A job broken off ends as cancelled, whatever failed on the way because of it.
    if (FStopping)
        FEnding.Result = TJobResult::Cancelled;
    ForgetRetrieved();
    if (!Events.JobEnded)
        return;
    try {
        Raise([this] { Events.JobEnded(FEnding); });
    } catch (...) {
        // The store has the job's end; nothing more can be done about its handler.
    }
}

void TQBThread::ReportServerFailure(const std::string& text) {
    RaiseError(TErrorSeverity::Warning, text);
    EndSession();
}

void TQBThread::EndSession() {
    // After removals the next session must not start before the server has made
    // the deletions: until then it would still count the removed messages, and a
    // number the store has already lowered would name another message.
    if (FTask.Kind == TJobKind::Remove || FTask.Kind == TJobKind::RemoveSeveral) {
        if (!POP3.Quit(ConnectTimeout))
            FEnding.RemovalIncomplete = true;
    } else
        POP3.Disconnect();
}

void TQBThread::Check() {
    SetStatus("Retrieving message list...");
    TStringList list;
    TStringList seen; // announced or renumbered so far
    bool complete = false;
    bool failed = false;
    std::string cause;
    FKeysFromHeaders = false;
    FTopWorked = false;
    std::unique_ptr<TPOP3HeaderHelper> helper;
    try {
        TStringList sizes;
        // Sizes tell whether a known message is still the one it was. With nothing known,
        // the LIST after each pipelined TOP gives every size, and the server is spared a
        // LIST of the whole mailbox before the first header.
        const bool listSizes = !FServerList.empty() || !PipelinesTops();
        if ((listSizes ? POP3.ListUIDsAndSizes(list, sizes) : POP3.ListUIDs(list)) ||
            ListWithoutUIDs(list)) {
            FListedSizes.clear();
            for (const std::string& line : FKeysFromHeaders ? list : sizes) {
                const TListingLine fields = ParseListingLine(line);
                if (fields.Number >= 0)
                    FListedSizes[fields.Number] = std::atoll(fields.Value.c_str());
            }
            FKnown.clear();
            for (const std::string& uid : FServerList)
                FKnown.insert(LowerHex(uid));
            const std::unordered_set<std::string>& known = FKnown;
            size_t split = list.size();
            helper = StartPOP3HeaderHelper(list, known, split);
            size_t next = 0;
            // The entries before split, then, once the helper is done, the rest.
            for (const size_t end : {split, list.size()}) {
                // The helper's headers are read only once it has ended.
                TPOP3HeaderHelper* done = end == split ? nullptr : helper.get();
                if (done && !done->WaitForLogin(HelperLoginPatienceMs)) {
                    done->Cancel();
                    if (!FStopping)
                        FOneSessionAtATime.insert(ServerName());
                }
                if (done)
                    done->WaitPatiently(HelperPatienceMs);
                TCheckWindow window = TakeWindow(list, next, end, known, done);
                TCheckWindow following;
                bool taken = false; // following holds the window after this one
                // The next window's commands go out while this one's replies are still
                // arriving, so that a pipelining server never waits for them.
                auto takeFollowing = [&] {
                    if (taken || window.Rest)
                        return;
                    following = TakeWindow(list, next, end, known, done);
                    taken = true;
                    if (PipelinesTops() && !StatusChanges(RetrievingInformation))
                        SendWindow(following, seen);
                };
                while ((!window.Entries.empty() || window.Rest) && !FStopping) {
                    if (!window.Sent)
                        SendWindow(window, seen);
                    if (FStopping)
                        break;
                    ReadTops(window, seen,
                             PipelinesTops() ? takeFollowing : std::function<void()>());
                    if (!window.Failure)
                        takeFollowing();
                    Announce(window, window.Ready, seen);
                    if (window.Failure)
                        std::rethrow_exception(window.Failure);
                    if (window.Rest)
                        std::rethrow_exception(window.Rest);
                    window = std::move(following);
                    following = TCheckWindow();
                    taken = false;
                }
            }
            AwaitAnnouncements();
            // A cancel can leave replies on their way: the next job must not read them.
            if (POP3.Outstanding() > 0)
                POP3.Disconnect();
            else if (POP3.Connected())
                POP3.ExpectNothingMore();
            complete = seen.size() == list.size();
        } else {
            failed = true;
            cause = POP3.LastReply.Text;
        }
    } catch (const std::exception& error) {
        failed = true;
        cause = error.what();
    } catch (...) {
        failed = true;
    }
    SetHeaderHelper(nullptr);
    helper.reset();
    try {
        // seen is complete only once every queued announcement has run.
        AwaitAnnouncements();
    } catch (...) {
    }
    // The main window drops every stored message whose key is missing from the
    // list: an incomplete pass must still name every message it announced.
    // Keyed by header, the list holds no keys: seen has them all, in order.
    EndCheck(complete, complete ? std::move(FKeysFromHeaders ? seen : list) : std::move(seen));
    if (failed)
        ReportServerFailure(WithCause("Server error: Message list could not be retrieved!", cause));
}

TQBThread::TCheckEntry TQBThread::ListedEntry(const std::string& line, const TListingLine& fields,
                                              const std::unordered_set<std::string>& known) const {
    TCheckEntry entry;
    entry.Number = fields.Number;
    const auto listed = FListedSizes.find(fields.Number);
    if (listed != FListedSizes.end())
        entry.Size = static_cast<int>(std::min<long long>(listed->second, INT_MAX));
    if (FKeysFromHeaders) {
        // Every header is read; its key tells whether the message is new.
        entry.New = true;
    } else {
        entry.UID = MD5Hex(fields.Value.empty() ? line : fields.Value);
        entry.New = known.count(entry.UID) == 0 || SizeChanged(entry);
        entry.Replaces = entry.New && FKnownSizes.count(entry.UID) > 0;
    }
    return entry;
}

std::unique_ptr<TPOP3HeaderHelper>
TQBThread::StartPOP3HeaderHelper(const TStringList& list,
                                 const std::unordered_set<std::string>& known, size_t& split) {
    split = list.size();
    // A mailbox too small to need one is not gone through first.
    if (list.size() < std::max<size_t>(2, ParallelHeaderMinimum) || FKeysFromHeaders ||
        !PipelinesTops() || FOneSessionAtATime.count(ServerName()) > 0)
        return nullptr;
    std::vector<size_t> fresh; // places in list
    for (size_t i = 0; i < list.size(); ++i) {
        const TListingLine fields = ParseListingLine(list[i]);
        if (fields.Number < 0 || fields.Value.empty())
            break; // the check ends there
        if (ListedEntry(list[i], fields, known).New)
            fresh.push_back(i);
    }
    if (fresh.size() < std::max<size_t>(2, ParallelHeaderMinimum))
        return nullptr;
    std::vector<std::string> uids;
    for (size_t i = fresh.size() / 2; i < fresh.size(); ++i)
        uids.push_back(ParseListingLine(list[fresh[i]]).Value);
    split = fresh[fresh.size() / 2];
    auto helper = std::make_unique<TPOP3HeaderHelper>(POP3, std::move(uids), ConnectTimeout);
    SetHeaderHelper(helper.get());
    return helper;
}

TQBThread::TCheckWindow TQBThread::TakeWindow(TStringList& list, size_t& next, size_t end,
                                              const std::unordered_set<std::string>& known,
                                              TPOP3HeaderHelper* helper) {
    TCheckWindow window;
    size_t tops = 0;
    try {
        for (; next < end && window.Entries.size() < WindowEntries; ++next) {
            std::string& line = list[next];
            const TListingLine fields = ParseListingLine(line);
            if (fields.Number < 0)
                throw EMailError("Not a message number: \"" + line + "\"");
            TCheckEntry entry = ListedEntry(line, fields, known);
            TPOP3HeaderHelper::THeader header;
            if (entry.New && helper && helper->Take(fields.Value, header)) {
                entry.Lines = std::move(header.Lines);
                if (entry.Size < 0)
                    entry.Size = header.Size;
                entry.Prefetched = true;
            }
            if (entry.NeedsTop() && tops == WindowTops)
                break;
            tops += entry.NeedsTop() ? 1 : 0;
            line = entry.UID;
            window.Entries.push_back(std::move(entry));
        }
    } catch (...) {
        // The entries before the bad one are announced first.
        window.Rest = std::current_exception();
    }
    return window;
}

void TQBThread::SendWindow(TCheckWindow& window, TStringList& seen) {
    window.Sent = true;
    std::vector<int> numbers;
    size_t firstNew = window.Entries.size();
    for (size_t i = 0; i < window.Entries.size(); ++i)
        if (window.Entries[i].New) {
            firstNew = std::min(firstNew, i);
            if (window.Entries[i].NeedsTop())
                numbers.push_back(window.Entries[i].Number);
        }
    if (numbers.empty())
        return;
    if (StatusChanges(RetrievingInformation)) {
        // The known messages before the first new one come before the new status.
        Announce(window, firstNew, seen);
        SetStatus(RetrievingInformation);
    }
    // Without pipelining each TOP goes out as the reply before it is in (ReadTops).
    if (!PipelinesTops())
        return;
    try {
        POP3.SendTops(numbers, 0, true);
    } catch (...) {
        window.Unsent = true;
        window.Failure = std::current_exception();
    }
}

void TQBThread::ReadTops(TCheckWindow& window, TStringList& seen,
                         const std::function<void()>& halfway) {
    if (window.TopsRead)
        return;
    window.TopsRead = true;
    std::vector<TCheckEntry>& entries = window.Entries;
    if (window.Unsent) {
        while (window.Ready < entries.size() && !entries[window.Ready].NeedsTop())
            ++window.Ready;
        return;
    }
    size_t tops = 0;
    for (const TCheckEntry& entry : entries)
        tops += entry.NeedsTop() ? 1 : 0;
    size_t held = 0; // header bytes read and not yet announced
    size_t read = 0; // entries whose TOP reply is in
    size_t topsRead = 0;
    auto announced = std::chrono::steady_clock::now();
    try {
        for (; read < entries.size(); ++read) {
            TCheckEntry& entry = entries[read];
            if (entry.NeedsTop()) {
                const bool pipelined = PipelinesTops();
                if (pipelined && window.Ready > window.Announced &&
                    !POP3.ReplyWithin(AnnounceWhenSilentMs)) {
                    Announce(window, window.Ready, seen);
                    held = 0;
                    announced = std::chrono::steady_clock::now();
                }
                std::string cause;
                bool ok = false;
                try {
                    ok = pipelined ? POP3.ReadTop(entry.Lines) : ReadHeaderAlone(entry);
                    if (!ok)
                        cause = POP3.LastReply.Text;
                } catch (const EMailInStepError& error) {
                    // One bad header must not hide the messages after it.
                    cause = error.what();
                }
                if (!ok) {
                    entry.MarkUnreadable();
                    entry.Problem =
                        WithCause("Server error: Header of message " +
                                      std::to_string(entry.Number) + " could not be read!",
                                  cause);
                    // Otherwise LIST can follow at once, as nothing is outstanding.
                    if (entry.Size < 0 && !pipelined)
                        entry.Size = SizeOrUnknown(entry.Number);
                }
                // The LIST after a pipelined TOP has given the size.
                if (entry.Size < 0 && pipelined)
                    entry.Size = POP3.ListedSize;
                if (FKeysFromHeaders)
                    KeyByHeader(entry, ok);
                if (POP3.LastDataCut && !POP3.Connected()) {
                    ++read;
                    throw EMailError("The header of message " + std::to_string(entry.Number) +
                                     " did not end; the connection was closed.");
                }
                for (const std::string& line : entry.Lines)
                    held += line.size();
                if (++topsRead == (tops + 1) / 2 && halfway)
                    halfway();
            }
            window.Ready = read + 1;
            // A slow server must not keep what has arrived from the main thread for
            // long, nor large headers pile up.
            if (window.Ready > window.Announced &&
                (held > MaxHeldHeaderBytes ||
                 window.Ready - window.Announced >= MaxAnnouncedEntries ||
                 std::chrono::steady_clock::now() - announced > AnnounceInterval)) {
                Announce(window, window.Ready, seen);
                held = 0;
                announced = std::chrono::steady_clock::now();
            }
        }
    } catch (...) {
        // What was read before the failure is announced; a size it still lacked stays unknown.
        window.Ready = read;
        window.Failure = std::current_exception();
    }
}

void TQBThread::Announce(TCheckWindow& window, size_t end, TStringList& seen) {
    if (window.Announced >= end || FStopping)
        return;
    auto batch = std::make_shared<std::vector<TCheckEntry>>(
        std::make_move_iterator(window.Entries.begin() + static_cast<ptrdiff_t>(window.Announced)),
        std::make_move_iterator(window.Entries.begin() + static_cast<ptrdiff_t>(end)));
    window.Announced = end;
    // Runs on the main thread; each entry becomes the value its event carries.
    auto announce = [this, batch, &seen] {
        for (TCheckEntry& entry : *batch) {
            if (FStopping)
                break;
            if (!entry.New) {
                if (Events.Renumbered)
                    Events.Renumbered(TRenumbered{entry.UID, entry.Number});
            } else if (Events.Announced) {
                TAnnounced message{entry.Number, entry.UID,        std::move(entry.Lines),
                                   entry.Size,   entry.Unreadable, entry.Replaces};
                Events.Announced(message);
            }
            seen.push_back(entry.UID);
            if (!entry.Problem.empty() && Events.Error && !FStopping)
                Events.Error(TWorkerError{TErrorSeverity::Warning, entry.Problem});
        }
    };
    if (!Queue) {
        Raise(announce);
        return;
    }
    Queue([this, announce] {
        if (FDestroying)
            return;
        {
            // After a failure the check ends: later entries are not announced.
            std::lock_guard<std::mutex> lock(FQueuedFailureLock);
            if (FQueuedFailure)
                return;
        }
        try {
            announce();
        } catch (...) {
            std::lock_guard<std::mutex> lock(FQueuedFailureLock);
            FQueuedFailure = std::current_exception();
        }
    });
    // Headers must not pile up when the main thread falls behind.
    if (++FQueued >= MaxQueuedAnnouncements)
        AwaitAnnouncements();
}

void TQBThread::AwaitAnnouncements() {
    if (FQueued == 0)
        return;
    // Queued calls run before a synchronised one.
    Raise([] {});
    FQueued = 0;
    std::exception_ptr failure;
    {
        std::lock_guard<std::mutex> lock(FQueuedFailureLock);
        std::swap(failure, FQueuedFailure);
    }
    if (failure)
        std::rethrow_exception(failure);
}

bool TQBThread::SizeChanged(const TCheckEntry& entry) const {
    const auto known = FKnownSizes.find(entry.UID);
    return known != FKnownSizes.end() && known->second >= 0 && entry.Size >= 0 &&
           known->second != entry.Size;
}

void TQBThread::EndCheck(bool complete, TStringList keys) {
    TCheckEnded check{complete, std::move(keys)};
    if (!complete) {
        // What the pass did not see is not gone: the known keys stay, with the ones it saw.
        std::unordered_set<std::string> listed;
        for (const std::string& uid : FServerList)
            listed.insert(LowerHex(uid));
        TStringList seen = std::move(check.ServerList);
        check.ServerList = std::move(FServerList);
        for (std::string& uid : seen)
            if (listed.insert(LowerHex(uid)).second)
                check.ServerList.push_back(std::move(uid));
    }
    TStringList().swap(FServerList);
    if (Events.CheckEnded)
        Raise([this, &check] { Events.CheckEnded(check); });
}

std::string TQBThread::ServerName() const {
    return FTask.Server.Host + ":" + std::to_string(FTask.Server.Port);
}

int TQBThread::SizeOrUnknown(int number) {
    try {
        return POP3.GetMessageSize(number);
    } catch (const EMailInStepError&) {
        return -1;
    }
}

int TQBThread::Locate(TMessageLocator& locator, const TMessageRef& ref, TErrorSeverity severity) {
    int number = -1;
    std::string failure;
    try {
        number = locator.Locate(ref);
        if (number == 0)
            failure = MessageGoneText;
    } catch (const EAmbiguousMessage& error) {
        failure = error.what();
    } catch (const std::exception& error) {
        failure =
            WithCause("Server error: The message could not be found on the server!", error.what());
    }
    if (!failure.empty())
        RaiseError(severity, failure);
    return failure.empty() || number == 0 ? number : -1;
}

TSizeAnswer TQBThread::AskSize() {
    const int maxSize = MaxSize;
    if (FSize < 0 || maxSize < 0 || FSize <= maxSize || !Events.SizeWarning)
        return TSizeAnswer::Whole;
    TSizeAnswer answer = TSizeAnswer::Whole;
    Raise([this, &answer] { answer = Events.SizeWarning(FSize); });
    if (answer == TSizeAnswer::Cancel)
        FEnding.Result = TJobResult::Cancelled;
    return answer;
}

void TQBThread::Retrieve() {
    ForgetRetrieved();
    TMessageLocator locator(POP3);
    // Fatal: the job ends, as there is nothing to fetch.
    const int number =
        FTask.Messages.empty() ? 0 : Locate(locator, FTask.Messages.front(), TErrorSeverity::Fatal);
    if (FTask.Messages.empty())
        RaiseError(TErrorSeverity::Fatal, MessageGoneText);
    if (number <= 0)
        return;
    FTask.MsgNum = number;
    SetStatus("Retrieving message size...");
    try {
        FSize = POP3.GetMessageSize(FTask.MsgNum);
    } catch (const EMailError& error) {
        // Fatal, so that the main window drops the job instead of fetching it again.
        RaiseError(TErrorSeverity::Fatal,
                   WithCause("Server error: Message size could not be retrieved!", error.what()));
        return;
    }
    const TSizeAnswer answer = AskSize();
    if (answer == TSizeAnswer::Cancel)
        return;
    SetStatus("Retrieving message...");
    // Every failure ends the job (fatal): fetching again at once would fail again.
    std::string failure;
    try {
        // Grown once, not doubled on the way: the message's size is known from LIST.
        if (answer == TSizeAnswer::Whole && FSize > 0)
            FText.reserve(std::min(static_cast<size_t>(FSize), POP3.MaxReplyBytes));
        const bool fetched = answer == TSizeAnswer::Whole
                                 ? POP3.RetrieveMessage(FTask.MsgNum, FText)
                                 : RetrieveFirstLines(FTask.MsgNum);
        if (!fetched)
            failure = WithCause(RetrieveFailed, POP3.LastReply.Text);
    } catch (const std::exception& error) {
        failure = WithCause(RetrieveFailed, error.what());
    } catch (...) {
        failure = RetrieveFailed;
    }
    std::string note;
    if (POP3.LinesCut > 0)
        note = "Message " + std::to_string(FTask.MsgNum) + ": " + std::to_string(POP3.LinesCut) +
               " line(s) longer than " + std::to_string(POP3.MaxLineLength) +
               " bytes cut to that length.";
    // A cut line leaves the cached copy short of the message: kept as a partial one.
    FinishRetrieval(std::move(failure), note, answer == TSizeAnswer::Whole && POP3.LinesCut == 0);
}

void TQBThread::FinishRetrieval(std::string failure, const std::string& note, bool whole) {
    const std::string& announced = FTask.Messages.front().MessageID;
    const std::string received = failure.empty() ? MessageIdOf(FText) : std::string();
    // Another message under the key: its entry shows it from now on, so the next open works.
    if (failure.empty() && !announced.empty() && received != announced) {
        RaiseChanged(TChanged{0, FTask.MsgNum, HeaderOfText(FText), FSize});
        failure = ChangedAtOpenText(received, announced);
    }
    if (!failure.empty()) {
        ForgetRetrieved();
        RaiseError(TErrorSeverity::Fatal, failure);
        return;
    }
    // Before the message, which ends the job.
    if (!note.empty())
        RaiseError(TErrorSeverity::Warning, note);
    // Here, not on the main thread: a large message takes a while to reach the disk.
    if (!FTask.CacheFile.empty()) {
        try {
            WriteCacheFile(FTask.CacheFile, whole, FText);
        } catch (const std::exception& error) {
            RaiseError(TErrorSeverity::Warning, error.what());
        }
    }
    RaiseRetrieved(whole);
    ForgetRetrieved();
}

void TQBThread::ForgetRetrieved() {
    // A message of hundreds of megabytes must not stay with the idle worker.
    std::string().swap(FText);
}

bool TQBThread::Delete(int number, std::string& cause) {
    try {
        POP3.DeleteOnServer(number);
        return true;
    } catch (const std::exception& error) {
        cause = error.what();
    } catch (...) {
    }
    return false;
}

void TQBThread::FinishRemoval(bool failed, const std::string& cause) {
    if (!failed)
        return;
    FEnding.RemovalIncomplete = true;
    ReportServerFailure(WithCause("Server error: Message could not be removed!", cause));
}

void TQBThread::Remove() {
    SetStatus("Removing message...");
    TMessageLocator locator(POP3);
    int number = FTask.Messages.empty()
                     ? 0
                     : Locate(locator, FTask.Messages.front(), TErrorSeverity::Warning);
    if (FTask.Messages.empty())
        RaiseError(TErrorSeverity::Warning, MessageGoneText);
    bool failed = false;
    std::string cause;
    if (number > 0) {
        std::vector<int> numbers{number};
        failed = !ConfirmBeforeRemoval(numbers, cause);
        number = failed ? -1 : numbers.front();
    }
    if (number > 0) {
        failed = !Delete(number, cause);
        FTask.MsgNum = number;
    }
    // A message already gone is taken away all the same; one that could not be found stays.
    // After a failed DELE the check that follows the incomplete removal brings it back.
    if (number >= 0 && !FTask.Messages.empty())
        RaiseRemoved(0);
    FinishRemoval(failed, cause);
}

void TQBThread::RemoveSeveral() {
    bool failed = false;
    std::string cause;
    TMessageLocator locator(POP3);
    try {
        if (FTask.Messages.size() > 1)
            locator.ListAll();
    } catch (const std::exception& error) {
        failed = true;
        cause = error.what();
    }
    std::vector<int> numbers(FTask.Messages.size(), -1);
    for (size_t i = numbers.size(); i-- > 0 && !failed;)
        numbers[i] = Locate(locator, FTask.Messages[i], TErrorSeverity::Warning);
    if (!failed)
        failed = !ConfirmBeforeRemoval(numbers, cause);
    for (size_t i = numbers.size(); i-- > 0 && !failed;) {
        const int number = numbers[i];
        if (number > 0) {
            SetStatus("Removing message " + std::to_string(number) + "...");
            failed = !Delete(number, cause);
        }
        if (number >= 0)
            RaiseRemoved(i);
    }
    FinishRemoval(failed, cause);
}
