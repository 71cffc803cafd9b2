// TNetworkWatch: follows whether the network is reachable and when it changes, through Qt's
// network information backend (NetworkManager's on Linux).
#pragma once

#include <QNetworkInformation>
#include <QObject>

#include <chrono>

class QTimer;

class TNetworkWatch : public QObject {
    Q_OBJECT
  public:
    // Loads the default backend; where there is none, it never tells anything.
    explicit TNetworkWatch(QObject* parent = nullptr);

    bool Available() const { return FInfo != nullptr; }
    // The backend says no network is reachable.
    bool Down() const { return FDown; }

    // The steps of one change (connecting, then local, then online) come this close together:
    // they are told as one.
    static constexpr auto Settle = std::chrono::milliseconds(100);

  signals:
    void Lost();
    // Reachable again, or reachable otherwise: online again, another medium, another network.
    void Back();

  private:
    void ReachabilityChanged(QNetworkInformation::Reachability reachability);
    void tmrSettleTimer();

    QNetworkInformation* FInfo = nullptr;
    QNetworkInformation::Reachability FLast = QNetworkInformation::Reachability::Unknown;
    bool FDown = false;
    QTimer* FSettleTimer;
};
