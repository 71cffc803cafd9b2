// SIGTERM, SIGINT and SIGHUP turned into a Qt signal on the main thread.
#pragma once

#include <QObject>

class QSocketNotifier;

// The signal handler only writes to a pipe; the notifier reads it in the event loop,
// where it is safe to close windows and save settings.
class TQuitSignals : public QObject {
    Q_OBJECT
  public:
    explicit TQuitSignals(QObject* parent = nullptr);
    ~TQuitSignals() override;

  signals:
    void QuitRequested(int signalNumber);

  private:
    QSocketNotifier* FNotifier = nullptr;
};
