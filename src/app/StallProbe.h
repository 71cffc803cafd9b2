// TStallProbe: how long the main loop went unserved, for the benchmarks.
#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class TMessageStore;

// A timer that should fire every few milliseconds notes the longest gap between its ticks
// and writes it (in ms) to the file at path whenever it grows: any click or repaint waited
// at most that long. It ticks while the store has jobs and for a while after the last one,
// and leaves an idle program asleep.
class TStallProbe : public QObject {
  public:
    TStallProbe(const QString& path, const TMessageStore& store);

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    const TMessageStore& FStore;
    QString FPath;
    QElapsedTimer FSince;
    QElapsedTimer FIdleSince; // since the queue ran empty; invalid while it has jobs
    QBasicTimer FTick;
    qint64 FLongest = 0;

    void Start();
};
