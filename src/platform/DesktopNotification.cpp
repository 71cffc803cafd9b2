// The desktop notification over D-Bus. Every call is asynchronous: a slow or absent
// service never holds up the bar.
#include "platform/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = Service;
constexpr int CallTimeoutMs = 5000;
// At exit a service that does not answer must not hold up the end for long.
constexpr int ExitTimeoutMs = 1000;

QDBusMessage ServiceCall(const QString& method) {
    return QDBusMessage::createMethodCall(Service, Path, Interface, method);
}

} // namespace

bool TDesktopNotification::ServiceRunning() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(Service);
    return owned.isValid() && owned.value();
}

TDesktopNotification::TDesktopNotification(QObject* parent) : QObject(parent) {}

TDesktopNotification::~TDesktopNotification() {
    if (FSending) {
        // Its number is needed to take it down.
        FSending->waitForFinished();
        const QDBusPendingReply<uint> reply = *FSending;
        if (!reply.isError())
            FId = reply.value();
    }
    if (FId == 0)
        return;
    QDBusMessage close = ServiceCall("CloseNotification");
    close << FId;
    QDBusConnection::sessionBus().call(close, QDBus::Block, ExitTimeoutMs);
}

void TDesktopNotification::Show(const QString& summary, const QString& body,
                                const QList<TAction>& actions) {
    // The bus is joined only by a user who wants notifications.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!FListening) {
        // By the service's name: another client cannot pass for it.
        bus.connect(Service, Path, Interface, "ActionInvoked", this,
                    SLOT(OnActionInvoked(uint, QString)));
        bus.connect(Service, Path, Interface, "NotificationClosed", this,
                    SLOT(OnClosed(uint, uint)));
        FListening = true;
    }
    FCloseWhenSent = false;
    TContent content{summary, body, actions};
    if (FBusy)
        FWaiting = std::move(content);
    else
        Send(content);
}

void TDesktopNotification::Close() {
    FWaiting.reset();
    FCloseWhenSent = FBusy;
    if (FId == 0)
        return;
    QDBusMessage close = ServiceCall("CloseNotification");
    close << FId;
    QDBusConnection::sessionBus().send(close);
    FId = 0;
}

void TDesktopNotification::Send(const TContent& content) {
    FBusy = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto* asked = new QDBusPendingCallWatcher(
        bus.asyncCall(ServiceCall("GetCapabilities"), CallTimeoutMs), this);
    connect(asked, &QDBusPendingCallWatcher::finished, this,
            [this, content](QDBusPendingCallWatcher* answer) {
                answer->deleteLater();
                const QDBusPendingReply<QStringList> capabilities = *answer;
                if (capabilities.isError()) {
                    // No service: nothing to show, and nothing waiting can be shown either.
                    FBusy = false;
                    FWaiting.reset();
                    return;
                }
                if (FCloseWhenSent) {
                    // Taken down before it was sent.
                    FBusy = false;
                    FCloseWhenSent = false;
                    return;
                }
                // A service that reads markup or links in the body would take a subject's
                // tags for its own; one that reads neither shows the text as it is.
                const bool markup = capabilities.value().contains("body-markup") ||
                                    capabilities.value().contains("body-hyperlinks");
                QStringList actions;
                for (const TAction& action : content.Actions)
                    actions << action.Key << action.Caption;
                QDBusMessage notify = ServiceCall("Notify");
                notify << QStringLiteral("Quillbar") << FId << QStringLiteral("mail-unread")
                       << content.Summary << (markup ? content.Body.toHtmlEscaped() : content.Body)
                       << actions << QVariantMap{{"category", QStringLiteral("email.arrived")}}
                       << -1;
                FSending = new QDBusPendingCallWatcher(
                    QDBusConnection::sessionBus().asyncCall(notify, CallTimeoutMs), this);
                connect(FSending, &QDBusPendingCallWatcher::finished, this,
                        &TDesktopNotification::Sent);
            });
}

void TDesktopNotification::Sent(QDBusPendingCallWatcher* call) {
    call->deleteLater();
    FSending = nullptr;
    const QDBusPendingReply<uint> reply = *call;
    if (!reply.isError())
        FId = reply.value();
    FBusy = false;
    if (FCloseWhenSent) {
        FCloseWhenSent = false;
        Close();
    }
    if (FWaiting) {
        const TContent next = std::move(*FWaiting);
        FWaiting.reset();
        Send(next);
    }
}

void TDesktopNotification::OnActionInvoked(uint id, const QString& key) {
    if (id != 0 && id == FId)
        emit ActionInvoked(key);
}

void TDesktopNotification::OnClosed(uint id, uint) {
    if (id == FId)
        FId = 0;
}
