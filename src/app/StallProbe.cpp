// TStallProbe: how long the main loop went unserved, for the benchmarks.
#include "app/StallProbe.h"

#include <QFile>

namespace {

constexpr int TickMs = 5;

} // namespace

TStallProbe::TStallProbe(const QString& path) : FPath(path) {
    FSince.start();
    startTimer(TickMs, Qt::PreciseTimer);
}

void TStallProbe::timerEvent(QTimerEvent*) {
    const qint64 gap = FSince.restart();
    if (gap <= FLongest)
        return;
    FLongest = gap;
    QFile file(FPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(FLongest) + "\n");
}
