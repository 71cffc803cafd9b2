// TSleepWatch: sleep and wake from logind, or from a jump of the wall clock.
#include "platform/SleepWatch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const Service = "org.freedesktop.login1";
const char* const Path = "/org/freedesktop/login1";
const char* const Interface = "org.freedesktop.login1.Manager";
// A bus that does not answer must not leave the machine without its inhibitor for long.
constexpr int CallTimeoutMs = 5000;

} // namespace

TSleepWatch::TSleepWatch(QObject* parent) : QObject(parent), FClockLead(ClockLead()) {
    FClockTimer = new QTimer(this);
    FClockTimer->setObjectName("tmrClock");
    // Only as often as it must: this is the one timer that runs while nothing else does.
    FClockTimer->setTimerType(Qt::VeryCoarseTimer);
    FClockTimer->setInterval(ClockLook);
    connect(FClockTimer, &QTimer::timeout, this, &TSleepWatch::tmrClockTimer);
    FClockTimer->start();
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    bus.connect(Service, Path, Interface, "PrepareForSleep", this, SLOT(PrepareForSleep(bool)));
    TakeInhibitor();
}

TSleepWatch::~TSleepWatch() {
    ReleaseInhibitor();
}

void TSleepWatch::ReleaseInhibitor() {
    // Closing the descriptor is what lets logind go on.
    if (FInhibitor >= 0)
        ::close(FInhibitor);
    FInhibitor = -1;
}

void TSleepWatch::TakeInhibitor() {
    if (FAsking || FInhibitor >= 0)
        return;
    QDBusMessage inhibit = QDBusMessage::createMethodCall(Service, Path, Interface, "Inhibit");
    inhibit << QString("sleep") << QString("Quillbar") << QString("Ending mail connections")
            << QString("delay");
    FAsking = true;
    auto* call = new QDBusPendingCallWatcher(
        QDBusConnection::systemBus().asyncCall(inhibit, CallTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &TSleepWatch::InhibitorTaken);
}

void TSleepWatch::InhibitorTaken(QDBusPendingCallWatcher* call) {
    call->deleteLater();
    FAsking = false;
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
    if (reply.isError())
        return;
    // Logind tells of sleep itself: the clock is not needed.
    FClockTimer->stop();
    // Came after ReadyToSleep: held, it would only keep the machine from sleeping. Else a copy
    // is kept, as the reply's closes with it.
    if (FPhase != TPhase::Ready)
        FInhibitor = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
}

void TSleepWatch::PrepareForSleep(bool sleeping) {
    FClockTimer->stop();
    if (sleeping) {
        FPhase = TPhase::Preparing;
        // Held from the start on, it is there already; taken now, it may still hold logind up.
        TakeInhibitor();
        emit Sleeping();
        return;
    }
    FPhase = TPhase::Awake;
    TakeInhibitor();
    emit Woke();
}

void TSleepWatch::ReadyToSleep() {
    if (FPhase != TPhase::Preparing)
        return;
    FPhase = TPhase::Ready;
    ReleaseInhibitor();
}

std::chrono::milliseconds TSleepWatch::ClockLead() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()) -
           duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
}

void TSleepWatch::tmrClockTimer() {
    // The monotonic clock stands still while the machine sleeps; the wall clock does not.
    const std::chrono::milliseconds lead = ClockLead();
    const bool slept = lead - FClockLead > ClockJump;
    FClockLead = lead;
    if (slept)
        emit Woke();
}
