// TNetworkWatch: the network's reachability from Qt's network information backend.
#include "platform/NetworkWatch.h"

#include <QTimer>

TNetworkWatch::TNetworkWatch(QObject* parent) : QObject(parent) {
    FSettleTimer = new QTimer(this);
    FSettleTimer->setObjectName("tmrSettle");
    FSettleTimer->setSingleShot(true);
    FSettleTimer->setInterval(Settle);
    connect(FSettleTimer, &QTimer::timeout, this, &TNetworkWatch::tmrSettleTimer);
    // NetworkManager's backend loads only where NetworkManager is on the system bus.
    if (!QNetworkInformation::loadDefaultBackend())
        return;
    FInfo = QNetworkInformation::instance();
    FLast = FInfo->reachability();
    FDown = FLast == QNetworkInformation::Reachability::Disconnected;
    connect(FInfo, &QNetworkInformation::reachabilityChanged, this,
            &TNetworkWatch::ReachabilityChanged);
    connect(FInfo, &QNetworkInformation::transportMediumChanged, this, [this] {
        if (!FDown)
            FSettleTimer->start();
    });
}

void TNetworkWatch::ReachabilityChanged(QNetworkInformation::Reachability reachability) {
    using TReach = QNetworkInformation::Reachability;
    const TReach last = std::exchange(FLast, reachability);
    if (reachability == TReach::Disconnected) {
        FSettleTimer->stop();
        if (!FDown) {
            FDown = true;
            emit Lost();
        }
        return;
    }
    // Local or site alone may still reach a server nearby; online again reaches the rest.
    if (FDown || (reachability == TReach::Online && last != TReach::Online))
        FSettleTimer->start();
    FDown = false;
}

void TNetworkWatch::tmrSettleTimer() {
    emit Back();
}
