// TStallProbe: how long the main loop went unserved, for the benchmarks.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

// When QUILLBAR_STALL_LOG names a file, a timer that should fire every few milliseconds
// notes the longest gap between its ticks and writes it (in ms) to that file whenever it
// grows: any click or repaint waited at most that long. Does nothing otherwise.
class TStallProbe : public QObject {
  public:
    TStallProbe();

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    QString FPath;
    QElapsedTimer FSince;
    qint64 FLongest = 0;
};
