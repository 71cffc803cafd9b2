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
    // After a failed Acquire: true when a live process holds the lock, false when the lock
    // file could not be made at all; FailureText says which and why, naming the folder.
    bool HeldElsewhere() const { return FHeldElsewhere; }
    QString FailureText() const { return FFailure; }
    // Starts listening for later copies; call after Acquire succeeded.
    void Listen();
    // For a later copy: tells the running one by writing one byte to its socket, trying
    // for up to patienceMs. False when no running copy answered.
    static bool NotifyRunning(int patienceMs);

    static QString ServerName();
    static QString LockFileName();

  signals:
    void NewInstance();

  private:
    std::unique_ptr<QLockFile> FLock;
    bool FHeldElsewhere = false;
    QString FFailure;
    QLocalServer FServer;
};
