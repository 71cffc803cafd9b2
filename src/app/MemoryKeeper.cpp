// TMemoryKeeper: gives back what a large check left behind, once the work is done.
#include "app/MemoryKeeper.h"

#include "platform/FreeMemory.h"
#include "store/MessageStore.h"

namespace {

// Long enough for the worker to free what its check held, and for the list to take the
// last rows.
constexpr int SettleMs = 2000;

} // namespace

TMemoryKeeper::TMemoryKeeper(TMessageStore& store) : FStore(store) {
    FRelease.setSingleShot(true);
    FRelease.setInterval(SettleMs);
    connect(&FRelease, &QTimer::timeout, this, [this] {
        FStore.ReleaseSpare();
        ReturnFreeMemory();
    });
    connect(&store, &TMessageStore::TaskAdded, this, [this] { FRelease.stop(); });
    connect(&store, &TMessageStore::TaskRemoved, this, [this] {
        if (FStore.Tasks().empty())
            FRelease.start();
    });
}
