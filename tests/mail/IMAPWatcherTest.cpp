// TIMAPWatcher where the server is not there: it keeps trying with growing pauses, tells once
// after failures in a row, and its end waits for no pause. Where the way to Dovecot goes silent,
// it finds out and comes back.
#include "imap/IMAPWatcher.h"
#include "DovecotUserTest.h"
#include "LoopbackSocket.h"
#include "SilentRelay.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class IMAPWatcherDovecot : public TDovecotUserTest<true> {
  protected:
    long Count(const std::string& command) const {
        const std::vector<std::string> commands = Dovecot->Commands();
        return std::count_if(commands.begin(), commands.end(), [&](const std::string& line) {
            return line == command || line.find(" " + command) != std::string::npos;
        });
    }
};

} // namespace

TEST(IMAPWatcher, ReportsOnlyRepeatedFailuresAndEndsAtOnce) {
    int port = 0;
    // Bound without listening while the test runs: every connection is refused.
    const int socket = LoopbackSocket(port, -1);
    TServerEndpoint server;
    server.Protocol = TMailProtocol::IMAP;
    server.Host = "127.0.0.1";
    server.Port = port;
    std::atomic<int> changes{0};
    std::atomic<int> troubles{0};
    const auto start = std::chrono::steady_clock::now();
    auto watcher = std::make_unique<TIMAPWatcher>(
        server, [&] { ++changes; }, [&](const std::string&) { ++troubles; });
    // Failures at 0 s and 1 s, the third after a pause of 2 s more.
    std::this_thread::sleep_for(std::chrono::milliseconds(1800));
    EXPECT_EQ(troubles, 0);
    while (troubles == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(8))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(troubles, 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2800));
    EXPECT_FALSE(watcher->Idling());

    const auto stopping = std::chrono::steady_clock::now();
    watcher.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(500));
    EXPECT_EQ(troubles, 1);
    EXPECT_EQ(changes, 0);
    close(socket);
}

// A router forgets the push connection and says nothing: the renewal's DONE goes unanswered, and
// the watcher connects anew and has what came meanwhile checked. Renewals that are answered
// keep the connection.
TEST_F(IMAPWatcherDovecot, ReplacesAConnectionThatWentSilent) {
    TSilentRelay relay(Dovecot->IMAPPort());
    TServerEndpoint server;
    server.Protocol = TMailProtocol::IMAP;
    server.Host = "127.0.0.1";
    server.Port = relay.Port();
    server.User = Dovecot->User(User);
    server.Pass = Dovecot->Password(User);
    std::atomic<int> changes{0};
    TIMAPWatchTimes times;
    times.Renew = std::chrono::seconds(2);
    times.Answer = std::chrono::seconds(1);
    TIMAPWatcher watcher(
        server, [&] { ++changes; }, [](const std::string&) {}, times);

    ASSERT_TRUE(WaitUntil([&] { return Count("DONE") >= 2; }, std::chrono::seconds(15)));
    EXPECT_EQ(relay.Connections(), 1);
    EXPECT_EQ(changes, 0);

    ASSERT_TRUE(WaitUntil([&] { return watcher.Idling(); }, std::chrono::seconds(5)));
    relay.Silence();
    Dovecot->AddMessage(User, TDovecotServer::GenerateMessage(4));
    const long idles = Count("IDLE");
    EXPECT_TRUE(WaitUntil([&] { return changes > 0; }, std::chrono::seconds(15)));
    EXPECT_EQ(relay.Connections(), 2);
    EXPECT_TRUE(WaitUntil([&] { return Count("IDLE") > idles; }, std::chrono::seconds(5)));
}
