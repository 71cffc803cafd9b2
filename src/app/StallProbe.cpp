// TStallProbe: how long the main loop went unserved, for the benchmarks.
#include "app/StallProbe.h"

#include "store/MessageStore.h"

#include <QFile>
#include <QTimerEvent>

namespace {

constexpr int TickMs = 5;
// What follows a job on the main loop (the list taking its last rows) is measured too.
constexpr int AfterJobsMs = 3000;

} // namespace

TStallProbe::TStallProbe(const QString& path, const TMessageStore& store)
    : FStore(store), FPath(path) {
    connect(&store, &TMessageStore::TaskAdded, this, &TStallProbe::Start);
    Start();
}

void TStallProbe::Start() {
    FIdleSince.invalidate();
    if (FTick.isActive())
        return;
    FSince.start();
    FTick.start(TickMs, Qt::PreciseTimer, this);
}

void TStallProbe::timerEvent(QTimerEvent* event) {
    if (event->timerId() != FTick.timerId())
        return;
    if (!FStore.Tasks().empty())
        FIdleSince.invalidate();
    else if (!FIdleSince.isValid())
        FIdleSince.start();
    else if (FIdleSince.elapsed() > AfterJobsMs)
        FTick.stop();
    const qint64 gap = FSince.restart();
    if (gap <= FLongest)
        return;
    FLongest = gap;
    QFile file(FPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(FLongest) + "\n");
}
