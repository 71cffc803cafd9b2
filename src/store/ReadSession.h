// TReadSession: what the read window shows and the commands it sends, without widgets.
// It names the shown message by its identity, prepares its view off the GUI thread and
// reports failures as values; the window renders the view.
#pragma once

#include "model/StoreRecords.h"
#include "store/ReadView.h"
#include "worker/WorkerEvents.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class TMessageStore;

class TReadSession : public QObject {
    Q_OBJECT
  public:
    explicit TReadSession(TMessageStore& store);
    // Stops a preparation still running.
    ~TReadSession() override;

    // Shows entry id: from its cache file, else by a retrieval job. An entry that has no
    // row in the message list is not opened.
    void Open(TEntryId id);
    // The walk through the message list, wrapping around at its ends.
    void Next();
    void Previous();
    void First();
    void Last();
    // Marks the shown entry read and opens the one below it (or the first).
    void MarkRead();
    // Fetches the whole of the shown message without the size question.
    void DownloadAll();
    // Removes the shown message from its server; the window then shows the one in its place.
    void Delete();
    // The read window was closed by the user.
    void Closed();

    TEntryId Shown() const { return FShownId; }
    bool IsShown() const { return FShown; }
    // A view is being prepared.
    bool IsPreparing() const { return FRun != nullptr; }
    // The position of the shown entry in the store; -1 none.
    int ShownIndex() const;

    // The message list's rows in their current order, as entry indices; without it,
    // the unread entries in store order.
    std::function<std::vector<int>()> ListOrder;
    // The question before a large message: first lines only, whole, or cancel.
    // The values are in kb. Without it only the first lines are fetched.
    std::function<TSizeAnswer(int maxKb, int sizeKb, int lines)> AskSize;

    // The store's side.
    // A retrieval of entry id ended with its text.
    void Retrieved(TEntryId id, std::shared_ptr<const std::string> text, bool complete);
    // A retrieval of entry id ended without its message, for reason.
    void FetchFailed(TEntryId id, const std::string& reason);
    // The size question for the retrieval of entry asked (size in bytes), asked unless the
    // whole message was wanted (full); returns the answer, 0 for full.
    TSizeAnswer AnswerSize(TEntryId asked, int size, bool full);
    // No unread message is left: nothing to show.
    void HideWhenAllRead();
    // Entry index is about to leave the store; removedByUser: by the user's removal, whose
    // end (RemovalEnded) shows the message that takes its place.
    void Leaving(int index, bool removedByUser);
    void RemovalEnded();
    // A removal will not run: the shown message stays.
    void RemovalDropped();
    // A removal is queued: the commands wait for its end.
    void RemovalQueued();

  signals:
    // About to show entry id, at position of the list; first and last tell whether the
    // First and Last commands apply.
    void Opening(TEntryId id, int position, bool first, bool last);
    // Parsing entry id's message: parsed of size bytes.
    void Preparing(TEntryId id, qint64 parsed, qint64 size);
    void Ready(TEntryId id, TReadViewPtr view);
    // Entry id's message could not be fetched or shown, for reason; opening it again
    // tries again.
    void Failed(TEntryId id, const std::string& reason);
    void DownloadEnabled(bool enabled);
    void CommandsEnabled(bool enabled);
    void Hidden();

  private:
    // One run of the preparing thread.
    struct TPreparation {
        TEntryId Id = TEntryId::None;
        std::atomic<bool> Cancelled{false};
    };

    std::vector<int> CurrentOrder() const;
    void OpenAt(const std::vector<int>& order, int position);
    void Hide();
    // Prepares the view of entry id from source, or (null) from the cache file at path,
    // fetching the message when there is none.
    void Prepare(TEntryId id, std::shared_ptr<const std::string> source, bool complete,
                 const std::string& path = {});
    void StopPreparing();
    // On the GUI thread, when the preparation has ended.
    // fromFile: the source was to come from the cache file.
    void Prepared(const std::shared_ptr<TPreparation>& run, TReadViewPtr view, bool fromFile,
                  const std::string& error);

    TMessageStore& FStore;
    TEntryId FShownId = TEntryId::None;
    bool FShown = false;
    // Position in the list of the shown entry a running removal took away; -1 none.
    int FRemovedPosition = -1;
    std::shared_ptr<TPreparation> FRun;
    std::thread FThread;
};
