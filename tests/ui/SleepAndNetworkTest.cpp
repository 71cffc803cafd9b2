// Sleep, wake and the network through the program's own wiring, on a private system bus where
// dbusmock plays logind and NetworkManager (tests/ui/system-bus.sh), with an IMAP account on
// Dovecot: the push connection logs out before a sleep, the store pauses while the network is
// gone, and mail that came meanwhile shows at once after the wake or the network's return.
#include "StoreTest.h"

#include "app/SleepAndNetwork.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

const char* const MockInterface = "org.freedesktop.DBus.Mock";
const char* const Logind = "org.freedesktop.login1";
const char* const LogindPath = "/org/freedesktop/login1";
const char* const NetworkManager = "org.freedesktop.NetworkManager";
const char* const NetworkManagerMock = "/org/freedesktop";
// NetworkManager's NMState.
constexpr uint NMDisconnected = 20;
constexpr uint NMConnectedGlobal = 70;

QDBusMessage CallMock(const char* service, const char* path, const char* interface,
                      const char* method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::systemBus().call(call, QDBus::Block, 5000);
}

void PrepareForSleep(bool sleeping) {
    const QDBusMessage reply = CallMock(
        Logind, LogindPath, MockInterface, "EmitSignal",
        {QString("org.freedesktop.login1.Manager"), QString("PrepareForSleep"), QString("b"),
         QVariant::fromValue(QVariantList{QVariant::fromValue(QDBusVariant(sleeping))})});
    ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
}

void SetNetworkState(uint state) {
    const QDBusMessage reply = CallMock(NetworkManager, NetworkManagerMock, MockInterface,
                                        "SetGlobalConnectionState", {state});
    ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
}

// The inhibitors logind holds: what, who, why and mode of each.
std::vector<std::string> Inhibitors() {
    const QDBusMessage reply =
        CallMock(Logind, LogindPath, "org.freedesktop.login1.Manager", "ListInhibitors", {});
    std::vector<std::string> held;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return held;
    const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString what, who, why, mode;
        uint uid = 0, pid = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> pid;
        list.endStructure();
        held.push_back((what + "/" + who + "/" + why + "/" + mode).toStdString());
    }
    list.endArray();
    return held;
}

} // namespace

class SleepAndNetwork : public TStoreTest {
  protected:
    void SetUp() override {
        if (std::getenv("QB_MOCK_SYSTEM_BUS") == nullptr)
            GTEST_SKIP() << "run by tests/ui/system-bus.sh, on a private system bus";
        TStoreTest::SetUp();
    }
    void TearDown() override {
        Links.reset();
        TStoreTest::TearDown();
    }
    // Commands Dovecot saw of that name, from any client.
    long Count(const std::string& command) {
        const std::vector<std::string> commands = Dovecot().Commands();
        return std::count_if(commands.begin(), commands.end(), [&](const std::string& line) {
            return line == command || line.find(" " + command) != std::string::npos;
        });
    }
    // Logins of Dovecot's user so far.
    long Logins(int user) {
        const std::string log = Dovecot().Log();
        const std::string mark = "Login: user=<" + Dovecot().User(user) + ">";
        long logins = 0;
        for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1))
            ++logins;
        return logins;
    }
    // An IMAP account of one message, checked and idling.
    int StartIdling() {
        const int user = AddDovecotIMAPAccount("Mail", 1);
        StartProgram();
        Links = std::make_unique<TSleepAndNetwork>(*Store);
        EXPECT_TRUE(WaitForJobs());
        EXPECT_EQ(Store->Entries().size(), 1u);
        EXPECT_TRUE(WaitUntil([&] { return Count("IDLE") > 0; }, 5000));
        LetSessionEnd(1);
        return user;
    }
    // Milliseconds until the store shows count entries; -1 after 5 s.
    long long MillisecondsUntilEntries(size_t count) {
        QElapsedTimer took;
        took.start();
        if (!WaitUntil([&] { return Store->Entries().size() == count; }, 5000))
            return -1;
        return took.elapsed();
    }

    std::unique_ptr<TSleepAndNetwork> Links;
};

TEST_F(SleepAndNetwork, PushLogsOutBeforeSleepAndMailOfTheSleepShowsAtWake) {
    QB_NEED_DOVECOT_IMAP();
    const int user = StartIdling();
    const std::vector<std::string> held{"sleep/Quillbar/Ending mail connections/delay"};
    ASSERT_TRUE(WaitUntil([&] { return Inhibitors() == held; }, 5000));

    const long logouts = Count("LOGOUT");
    const long idles = Count("IDLE");
    PrepareForSleep(true);
    // Logind may sleep once the inhibitor is gone: the push connection has said goodbye then.
    ASSERT_TRUE(WaitUntil([&] { return Inhibitors().empty(); }, 5000));
    EXPECT_EQ(Count("LOGOUT"), logouts + 1);

    Dovecot().AddMessage(user, TDovecotServer::GenerateMessage(2));
    PrepareForSleep(false);
    const long long took = MillisecondsUntilEntries(2);
    std::cout << "wake to the new message in the store: " << took << " ms\n";
    EXPECT_GE(took, 0);
    EXPECT_TRUE(WaitUntil([&] { return Count("IDLE") > idles; }, 5000));
    EXPECT_TRUE(WaitUntil([&] { return Inhibitors() == held; }, 5000));
    EXPECT_TRUE(Store->Errors().empty());
}

TEST_F(SleepAndNetwork, NothingConnectsWhileTheNetworkIsGoneAndItsReturnShowsNewMail) {
    QB_NEED_DOVECOT_IMAP();
    const int user = StartIdling();
    const long logouts = Count("LOGOUT");
    SetNetworkState(NMDisconnected);
    ASSERT_TRUE(WaitUntil([&] { return Count("LOGOUT") == logouts + 1; }, 5000));

    // The push connection has gone, and timed checks every 50 ms log in nowhere.
    auto* tmrCheck = Store->findChild<QTimer*>("tmrCheck");
    ASSERT_NE(tmrCheck, nullptr);
    tmrCheck->start(50);
    const long logins = Logins(user);
    WaitUntil([] { return false; }, 1500);
    EXPECT_EQ(Logins(user), logins);
    tmrCheck->stop();

    // The user's own check still runs.
    Dovecot().AddMessage(user, TDovecotServer::GenerateMessage(2));
    Store->CheckNow(-1);
    EXPECT_GE(MillisecondsUntilEntries(2), 0);
    ASSERT_TRUE(WaitForJobs());

    const long idles = Count("IDLE");
    Dovecot().AddMessage(user, TDovecotServer::GenerateMessage(3));
    SetNetworkState(NMConnectedGlobal);
    const long long took = MillisecondsUntilEntries(3);
    std::cout << "network back to the new message in the store: " << took << " ms\n";
    EXPECT_GE(took, 0);
    EXPECT_TRUE(WaitUntil([&] { return Count("IDLE") > idles; }, 5000));
}
