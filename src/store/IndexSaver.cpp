// TIndexSaver: writes an account's header index without holding up the main loop.
#include "store/IndexSaver.h"

#include "cache/CacheFiles.h"
#include "model/HeaderIndex.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <algorithm>
#include <exception>

namespace {

// Entries looked at per turn: a few milliseconds, however many the store holds.
constexpr size_t SliceEntries = 4000;

} // namespace

TIndexSaver::TIndexSaver(const TEntryArray& entries, TFindAccount find, TAbandoned abandoned)
    : FEntries(entries), FFind(std::move(find)), FAbandoned(std::move(abandoned)) {
    FWriter.setMaxThreadCount(1);
}

TIndexSaver::~TIndexSaver() {
    FWriter.waitForDone();
}

bool TIndexSaver::Begin(const std::string& name, const std::string& path) {
    if (FSaving.count(name) > 0)
        return false;
    FSaving[name] = TProgress{path, HeaderIndexStart()};
    if (FTimer == 0)
        FTimer = startTimer(0);
    return true;
}

void TIndexSaver::Finish() {
    for (const auto& [name, progress] : FSaving)
        FAbandoned(name);
    FSaving.clear();
    if (FTimer != 0)
        killTimer(FTimer);
    FTimer = 0;
    FWriter.waitForDone();
    // A write that failed says so with a queued call: take it now.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

bool TIndexSaver::TakeSlice(int account, TProgress& progress) {
    // Entries keep the order of their identities, which only grow: resume after the last one
    // taken, wherever entries were added or removed meanwhile.
    auto entry = std::upper_bound(FEntries.begin(), FEntries.end(), progress.After,
                                  [](TEntryId after, const TEntry& e) { return after < e.Id; });
    for (size_t taken = 0; entry != FEntries.end() && taken < SliceEntries; ++entry, ++taken) {
        progress.After = entry->Id;
        // A header that could not be read is tried again at the next start.
        if (entry->Account != account || entry->Fields.Unreadable)
            continue;
        AppendIndexEntry(progress.Text, entry->UID, entry->MessageID, entry->Fields);
        ++progress.Count;
    }
    return entry == FEntries.end();
}

void TIndexSaver::timerEvent(QTimerEvent* event) {
    if (event->timerId() != FTimer)
        return;
    for (auto it = FSaving.begin(); it != FSaving.end();) {
        const std::string name = it->first;
        TProgress& progress = it->second;
        const int account = FFind(name, progress.Path);
        if (account < 0) {
            it = FSaving.erase(it);
            FAbandoned(name);
            continue;
        }
        if (!TakeSlice(account, progress)) {
            ++it;
            continue;
        }
        AppendIndexEnd(progress.Text, progress.Count);
        FWriter.start(
            [this, name, path = std::move(progress.Path), text = std::move(progress.Text)] {
                try {
                    WriteCacheFile(path, true, text);
                } catch (const std::exception&) {
                    // Only a cache: written again at the next save, else fetched at the next start.
                    QMetaObject::invokeMethod(
                        this, [this, name] { FAbandoned(name); }, Qt::QueuedConnection);
                }
            });
        it = FSaving.erase(it);
    }
    if (FSaving.empty()) {
        killTimer(FTimer);
        FTimer = 0;
    }
}
