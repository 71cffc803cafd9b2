// TIMAPWatcher where the server is not there: it keeps trying with growing pauses, tells once
// after failures in a row, and its end waits for no pause.
#include "imap/IMAPWatcher.h"
#include "LoopbackSocket.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

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
