// TSleepWatch: tells when the machine is about to sleep and when it woke, from logind's
// PrepareForSleep on the system bus, or where logind is missing, from a jump of the wall clock.
#pragma once

#include <QObject>

#include <chrono>

class QDBusPendingCallWatcher;
class QTimer;

class TSleepWatch : public QObject {
    Q_OBJECT
  public:
    // Holds a delay inhibitor while the machine is awake, so that logind waits for
    // ReadyToSleep (at most its InhibitDelayMaxSec) before it sleeps.
    explicit TSleepWatch(QObject* parent = nullptr);
    ~TSleepWatch() override;

    // After Sleeping: what had to end has ended, and the machine may sleep now.
    void ReadyToSleep();

    // Without logind, a wall clock that ran this much further than the monotonic one between
    // two looks, ClockLook apart, means the machine slept.
    static constexpr auto ClockJump = std::chrono::minutes(1);
    static constexpr auto ClockLook = std::chrono::seconds(30);

  signals:
    // The machine is about to sleep; ReadyToSleep lets it.
    void Sleeping();
    void Woke();

  private slots:
    void PrepareForSleep(bool sleeping);

  private:
    // Asks logind for a delay inhibitor; its answer tells whether logind is there.
    void TakeInhibitor();
    void InhibitorTaken(QDBusPendingCallWatcher* call);
    void ReleaseInhibitor();
    void tmrClockTimer();
    // The wall clock's lead over the monotonic one now.
    static std::chrono::milliseconds ClockLead();

    enum class TPhase { Awake, Preparing, Ready };

    // Logind's inhibitor, a descriptor it waits on until closed; -1 none.
    int FInhibitor = -1;
    bool FAsking = false;
    TPhase FPhase = TPhase::Awake;
    QTimer* FClockTimer;
    std::chrono::milliseconds FClockLead;
};
