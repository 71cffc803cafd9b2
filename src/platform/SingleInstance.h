// One running copy per user: a lock file plus a local socket that later copies signal.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <memory>

class TSingleInstance : public QObject {
    Q_OBJECT
  public:
    TSingleInstance();
    ~TSingleInstance() override;

    // True when this process now holds the lock "Quillbar" in the user's runtime folder
    // (a stale lock of a dead process is taken over); it is held until destruction.
    bool Acquire();
    // Starts listening for later copies; call after Acquire succeeded.
    void Listen();
    // For a later copy: tells the running one by writing one byte to its socket.
    // False when no running copy answered.
    static bool NotifyRunning();

    static QString ServerName();
    static QString LockFileName();

  signals:
    void NewInstance();

  private:
    std::unique_ptr<QLockFile> FLock;
    QLocalServer FServer;
};
