// TMemoryKeeper: gives back what a large check left behind, once the work is done.
#pragma once

#include <QObject>
#include <QTimer>

class TMessageStore;

// When the store's queue has run empty and stayed so for a moment, the store's spare
// capacity and the allocator's free pages go back to the system. One step after the work,
// never while the program is idle.
class TMemoryKeeper : public QObject {
  public:
    explicit TMemoryKeeper(TMessageStore& store);

  private:
    TMessageStore& FStore;
    QTimer FRelease;
};
