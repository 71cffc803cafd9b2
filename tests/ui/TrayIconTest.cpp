// The status icon seen from the desktop's side, on the private session bus of tray.sh with a
// StatusNotifierWatcher and an X server without a window manager (skipped elsewhere): where
// the bar cannot dock the icon registers by itself, its tooltip counts the unread messages as
// they come and are read, a click on it opens the message list, and unticked it leaves.
#include "GuiTest.h"

#include "core/Settings.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>

#include <cstdlib>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString ItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString Properties = QStringLiteral("org.freedesktop.DBus.Properties");

} // namespace

class TrayIcon : public TGuiTest {
  protected:
    void SetUp() override {
        TGuiTest::SetUp();
        if (!getenv("QB_SNI_WATCHER"))
            GTEST_SKIP() << "needs the private session bus of tray.sh";
    }
    // The icon answers on this very process's event loop: the call must not block it.
    static QDBusMessage Call(const QDBusMessage& call) {
        const QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, 5000);
        WaitUntil([&] { return pending.isFinished(); }, 10000);
        return pending.reply();
    }
    static QVariant Property(const QString& service, const QString& path, const QString& interface,
                             const QString& name) {
        QDBusMessage get = QDBusMessage::createMethodCall(service, path, Properties, "Get");
        get << interface << name;
        const QDBusMessage reply = Call(get);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments()[0].value<QDBusVariant>().variant();
    }
    static QStringList Items() {
        return qdbus_cast<QStringList>(Property(WatcherService, "/StatusNotifierWatcher",
                                                WatcherService, "RegisteredStatusNotifierItems"));
    }
    // The title of the item's tooltip: (icon name, [(width, height, pixels)], title, text).
    static QString ToolTip(const QString& item) {
        const QVariant value = Property(item, "/StatusNotifierItem", ItemInterface, "ToolTip");
        if (!value.canConvert<QDBusArgument>())
            return {};
        const QDBusArgument tip = value.value<QDBusArgument>();
        QString icon, title, text;
        tip.beginStructure();
        tip >> icon;
        tip.beginArray();
        while (!tip.atEnd()) {
            int width = 0, height = 0;
            QByteArray pixels;
            tip.beginStructure();
            tip >> width >> height >> pixels;
            tip.endStructure();
        }
        tip.endArray();
        tip >> title >> text;
        tip.endStructure();
        return title;
    }
    static bool ToolTipBecomes(const QString& item, const QString& expected) {
        return WaitUntil([&] { return ToolTip(item) == expected; }, 10000);
    }
};

TEST_F(TrayIcon, RegistersWithTheWatcherAndItsToolTipFollowsTheUnreadCount) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 2);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_TRUE(WaitUntil([] { return Items().size() == 1; }, 10000)) << "no item registered";
    const QString item = Items()[0];
    EXPECT_TRUE(ToolTipBecomes(item, "Quillbar: 2 unread messages")) << ToolTip(item).toStdString();

    Dovecot().AddMessage(user, TDovecotServer::GenerateMessage(3));
    LetSessionEnd();
    Store->CheckNow(0);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_TRUE(ToolTipBecomes(item, "Quillbar: 3 unread messages")) << ToolTip(item).toStdString();
    Store->MarkRead(0);
    EXPECT_TRUE(ToolTipBecomes(item, "Quillbar: 2 unread messages")) << ToolTip(item).toStdString();
    Store->MarkAllRead();
    EXPECT_TRUE(ToolTipBecomes(item, "Quillbar: no unread messages"))
        << ToolTip(item).toStdString();

    // A click on the icon: the host calls Activate with where it was.
    EXPECT_FALSE(List->isVisible());
    Call(QDBusMessage::createMethodCall(item, "/StatusNotifierItem", ItemInterface, "Activate")
         << 10 << 10);
    EXPECT_TRUE(WaitUntil([this] { return List->isVisible(); }, 10000));

    SetOption(&TOptions::TrayIcon, false);
    EXPECT_TRUE(WaitUntil([] { return Items().isEmpty(); }, 10000)) << "the item stayed";
}
