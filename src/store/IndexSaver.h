// TIndexSaver: writes an account's header index without holding up the main loop.
#pragma once

#include "model/StoreRecords.h"

#include <QObject>
#include <QThreadPool>

#include <functional>
#include <map>
#include <string>

// Turns the entries into the index text a slice per turn of the event loop (the entries may
// change between turns, so a slice resumes after the last entry it took, by identity), then
// writes the file on a thread of its own. Writes run one at a time, in the order begun.
class TIndexSaver : public QObject {
  public:
    // Where the account named name is now, when its index is still the file at path.
    using TFindAccount = std::function<int(const std::string& name, const std::string& path)>;
    // A save given up (its account went or changed, or the exit came first): the caller's
    // record that the account's index is out of date must stand again.
    using TAbandoned = std::function<void(const std::string& name)>;

    TIndexSaver(const TEntryArray& entries, TFindAccount find, TAbandoned abandoned);
    ~TIndexSaver() override;
    TIndexSaver(const TIndexSaver&) = delete;
    TIndexSaver& operator=(const TIndexSaver&) = delete;

    // False when a save of the account is under way already.
    bool Begin(const std::string& name, const std::string& path);
    // Gives up the saves still taking slices and waits for the writes begun.
    void Finish();

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    struct TProgress {
        std::string Path;
        std::string Text;
        TEntryId After = TEntryId::None; // the last entry taken
        size_t Count = 0;
    };
    const TEntryArray& FEntries;
    TFindAccount FFind;
    TAbandoned FAbandoned;
    std::map<std::string, TProgress> FSaving; // by account name
    QThreadPool FWriter;
    int FTimer = 0;

    // One slice of the account's entries; true when the text is whole.
    bool TakeSlice(int account, TProgress& progress);
};
