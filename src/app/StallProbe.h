// TStallProbe: how long the main loop went unserved, for the benchmarks.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

// A timer that should fire every few milliseconds notes the longest gap between its ticks
// and writes it (in ms) to the file at path whenever it grows: any click or repaint waited
// at most that long.
class TStallProbe : public QObject {
  public:
    explicit TStallProbe(const QString& path);

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    QString FPath;
    QElapsedTimer FSince;
    qint64 FLongest = 0;
};
