// TDesktopNotification: one notification of the desktop's notification service
// (org.freedesktop.Notifications on the session bus); each Show replaces the one before.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class QDBusPendingCallWatcher;

class TDesktopNotification : public QObject {
    Q_OBJECT
  public:
    struct TAction {
        QString Key;
        QString Caption;
    };

    // Whether a notification service runs on the session bus now: one short call to the bus.
    static bool ServiceRunning();

    // Touches no bus until the first Show.
    explicit TDesktopNotification(QObject* parent = nullptr);
    // Takes the notification down and waits, for a bounded time, until the bus has the call:
    // the program may end right after.
    ~TDesktopNotification() override;

    // Shows summary and body, both plain text, with actions, in place of the one shown
    // before. Without a session bus or a service on it nothing is shown and nothing fails.
    void Show(const QString& summary, const QString& body, const QList<TAction>& actions);
    // Takes the notification down, if one is up or on its way.
    void Close();

  signals:
    // The user chose the action of that key on the notification shown last.
    void ActionInvoked(const QString& key);

  private slots:
    void OnActionInvoked(uint id, const QString& key);
    void OnClosed(uint id, uint reason);

  private:
    struct TContent {
        QString Summary;
        QString Body;
        QList<TAction> Actions;
    };
    // Asks the service whether it renders markup in the body, then sends the notification.
    void Send(const TContent& content);
    void Sent(QDBusPendingCallWatcher* call);

    // The service's number of the notification up, 0 none.
    uint FId = 0;
    bool FListening = false;
    // One call at a time, so that the next one knows the number it replaces.
    bool FBusy = false;
    std::optional<TContent> FWaiting;
    // Close came while the notification was on its way: it is taken down once it has a number.
    bool FCloseWhenSent = false;
    // The Notify call on its way, if any.
    QDBusPendingCallWatcher* FSending = nullptr;
};
