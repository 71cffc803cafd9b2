// The read session: the shown message, the walk through the list, and the preparation of
// the view on a thread of its own.
#include "store/ReadSession.h"

#include "cache/CacheFiles.h"
#include "core/Settings.h"
#include "mime/Stream.h"
#include "store/MessageStore.h"

#include <algorithm>
#include <exception>

namespace {

int PositionIn(const std::vector<int>& order, int index) {
    // From the last, as the list is searched.
    for (int i = static_cast<int>(order.size()) - 1; i >= 0; --i)
        if (order[i] == index)
            return i;
    return -1;
}

// Progress is worth reporting only for messages that take a while to parse.
constexpr int64_t ProgressFrom = 1 << 20;
constexpr int ProgressSteps = 50;

} // namespace

TReadSession::TReadSession(TMessageStore& store) : FStore(store) {
    setObjectName("ReadSession");
}

TReadSession::~TReadSession() {
    StopPreparing();
}

int TReadSession::ShownIndex() const {
    return FStore.IndexOf(FShownId);
}

std::vector<int> TReadSession::CurrentOrder() const {
    if (ListOrder)
        return ListOrder();
    std::vector<int> order;
    for (int i = 0; i < static_cast<int>(FStore.Entries().size()); ++i)
        if (!FStore.Entries()[i].Read)
            order.push_back(i);
    return order;
}

void TReadSession::Open(TEntryId id) {
    const int index = FStore.IndexOf(id);
    if (index < 0)
        return;
    const std::vector<int> order = CurrentOrder();
    const int position = PositionIn(order, index);
    if (position < 0)
        return;
    FShownId = id;
    FShown = true;
    emit Opening(id, position, position > 0, position < static_cast<int>(order.size()) - 1);
    emit DownloadEnabled(false);
    const TEntry& entry = FStore.Entries()[index];
    Prepare(id, nullptr, false, FStore.CachePath(entry.Account, entry.UID));
}

void TReadSession::OpenAt(const std::vector<int>& order, int position) {
    if (position >= 0 && position < static_cast<int>(order.size()))
        Open(FStore.Entries()[order[position]].Id);
}

void TReadSession::Next() {
    const std::vector<int> order = CurrentOrder();
    const int position = PositionIn(order, ShownIndex());
    if (position >= 0)
        OpenAt(order, position + 1 < static_cast<int>(order.size()) ? position + 1 : 0);
}

void TReadSession::Previous() {
    const std::vector<int> order = CurrentOrder();
    const int position = PositionIn(order, ShownIndex());
    if (position >= 0)
        OpenAt(order, position > 0 ? position - 1 : static_cast<int>(order.size()) - 1);
}

void TReadSession::First() {
    OpenAt(CurrentOrder(), 0);
}

void TReadSession::Last() {
    const std::vector<int> order = CurrentOrder();
    OpenAt(order, static_cast<int>(order.size()) - 1);
}

void TReadSession::MarkRead() {
    const int shown = FStore.EntryOrGone(FShownId);
    if (shown < 0)
        return;
    std::vector<int> order = CurrentOrder();
    const int position = PositionIn(order, shown);
    const TEntryId below = position >= 0 && position + 1 < static_cast<int>(order.size())
                               ? FStore.Entries()[order[position + 1]].Id
                               : TEntryId::None;
    FStore.MarkRead(shown);
    if (!FShown)
        return;
    order = CurrentOrder();
    if (order.empty()) {
        Hide();
        return;
    }
    const int next = FStore.IndexOf(below);
    OpenAt(order, next >= 0 && PositionIn(order, next) >= 0 ? PositionIn(order, next) : 0);
}

void TReadSession::DownloadAll() {
    if (FStore.EntryOrGone(FShownId) < 0)
        return;
    emit CommandsEnabled(false);
    emit DownloadEnabled(false);
    FStore.QueueRetrieval(FShownId, true);
}

void TReadSession::Delete() {
    FStore.DeleteMessage(FShownId);
}

void TReadSession::Closed() {
    FShown = false;
    StopPreparing();
}

void TReadSession::Hide() {
    FShown = false;
    FShownId = TEntryId::None;
    FRemovedPosition = -1;
    StopPreparing();
    emit Hidden();
}

void TReadSession::HideWhenAllRead() {
    if (FShown && std::none_of(FStore.Entries().begin(), FStore.Entries().end(),
                               [](const TEntry& entry) { return !entry.Read; }))
        Hide();
}

void TReadSession::Retrieved(TEntryId id, std::shared_ptr<const std::string> text, bool complete) {
    if (id != TEntryId::None && id == FShownId && FShown)
        Prepare(id, std::move(text), complete);
}

void TReadSession::FetchFailed(TEntryId id, const std::string& reason) {
    if (FShown && id == FShownId)
        emit Failed(id, reason);
}

TSizeAnswer TReadSession::AnswerSize(TEntryId asked, int size, bool full) {
    TSizeAnswer answer = TSizeAnswer::Whole;
    if (!full) {
        answer = TSizeAnswer::FirstLines;
        const TOptions& options = Settings().Options();
        if (options.MaxAsk && AskSize)
            answer = AskSize(options.MaxSize / 1024, size / 1024, options.MaxLines);
        if (answer == TSizeAnswer::Cancel)
            return answer;
    }
    // The question waits for the user: the window may show another message by now.
    if (asked == FShownId)
        emit DownloadEnabled(answer == TSizeAnswer::FirstLines);
    return answer;
}

void TReadSession::Leaving(int index, bool removedByUser) {
    if (FStore.Entries()[index].Id != FShownId)
        return;
    if (removedByUser)
        FRemovedPosition = PositionIn(CurrentOrder(), index);
    FShownId = TEntryId::None;
}

void TReadSession::RemovalQueued() {
    emit CommandsEnabled(false);
}

void TReadSession::RemovalDropped() {
    if (FShown && ShownIndex() >= 0)
        emit CommandsEnabled(true);
}

void TReadSession::RemovalEnded() {
    const std::vector<int> order = CurrentOrder();
    const int position = std::min(FRemovedPosition, static_cast<int>(order.size()) - 1);
    FRemovedPosition = -1;
    if (position >= 0 && FShown)
        OpenAt(order, position);
    else
        RemovalDropped();
}

void TReadSession::Prepare(TEntryId id, std::shared_ptr<const std::string> source, bool complete,
                           const std::string& path) {
    StopPreparing();
    auto run = std::make_shared<TPreparation>();
    run->Id = id;
    FRun = run;
    FThread = std::thread([this, run, source = std::move(source), complete, path]() mutable {
        TReadViewPtr view;
        std::string error;
        bool failed = false;
        const bool fromFile = !source;
        try {
            TCacheFile file;
            if (fromFile && ReadCacheFile(path, file)) {
                complete = file.Complete;
                source = std::make_shared<const std::string>(std::move(file.Text));
            }
            if (source) {
                const int64_t size = static_cast<int64_t>(source->size());
                int64_t reported = 0;
                const auto progress = [&](int64_t parsed) {
                    if (size < ProgressFrom || parsed - reported < size / ProgressSteps)
                        return;
                    reported = parsed;
                    QMetaObject::invokeMethod(this, [this, run, parsed, size] {
                        if (run == FRun)
                            emit Preparing(run->Id, parsed, size);
                    });
                };
                view = std::make_shared<const TReadView>(
                    PrepareReadView(std::move(source), complete, run->Cancelled, progress));
            }
        } catch (const std::exception& failure) {
            failed = true;
            error = failure.what();
        } catch (...) {
            failed = true;
            error = "unknown error";
        }
        if (failed && run->Cancelled)
            return;
        QMetaObject::invokeMethod(
            this, [this, run, view, fromFile, error] { Prepared(run, view, fromFile, error); });
    });
}

void TReadSession::StopPreparing() {
    if (FRun)
        FRun->Cancelled = true;
    if (FThread.joinable())
        FThread.join();
    FRun.reset();
}

void TReadSession::Prepared(const std::shared_ptr<TPreparation>& run, TReadViewPtr view,
                            bool fromFile, const std::string& error) {
    // A later preparation took this one's place: its result is not wanted.
    if (run != FRun)
        return;
    StopPreparing();
    const TEntryId id = run->Id;
    if (view) {
        emit DownloadEnabled(!view->Complete);
        emit Ready(id, std::move(view));
        return;
    }
    if (fromFile) {
        // An unreadable cache file is fetched afresh, which replaces it.
        if (!error.empty())
            FStore.AddError(error);
        FStore.QueueRetrieval(id, false);
        return;
    }
    const std::string reason = "The message could not be shown: " + error;
    FStore.AddError(reason);
    FStore.ShowTasks(1);
    emit Failed(id, reason);
}
