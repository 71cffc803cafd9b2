// TLineConnection's socket: a peer that vanished without a word is found by the system.
#include "net/LineConnection.h"
#include "LoopbackSocket.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/tcp.h>
#include <string>

namespace {

// This process's socket connected to port of loopback, or -1.
int SocketTo(int port) {
    int found = -1;
    DIR* fds = opendir("/proc/self/fd");
    if (!fds)
        return -1;
    while (const dirent* entry = readdir(fds)) {
        if (entry->d_name[0] == '.')
            continue;
        const int fd = std::stoi(entry->d_name);
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
            peer.sin_family == AF_INET && ntohs(peer.sin_port) == port)
            found = fd;
    }
    closedir(fds);
    return found;
}

int IntOption(int fd, int level, int name) {
    int value = -1;
    socklen_t length = sizeof value;
    getsockopt(fd, level, name, &value, &length);
    return value;
}

} // namespace

// A router that forgets a quiet connection, or one with commands on the way, leaves no trace
// but silence: the system's probes and its limit on unacknowledged data end it within minutes.
TEST(LineConnection, FindsAVanishedPeerWithinMinutes) {
    int port = 0;
    const int listener = LoopbackSocket(port, 1);
    TLineConnection connection;
    connection.Open("127.0.0.1", port, 5000);
    const int fd = SocketTo(port);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(IntOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
    const int quiet =
        IntOption(fd, IPPROTO_TCP, TCP_KEEPIDLE) +
        IntOption(fd, IPPROTO_TCP, TCP_KEEPINTVL) * IntOption(fd, IPPROTO_TCP, TCP_KEEPCNT);
    EXPECT_GT(quiet, 0);
    EXPECT_LE(quiet, 300);
    const int unacknowledged = IntOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT);
    EXPECT_GT(unacknowledged, 0);
    EXPECT_LE(unacknowledged, 300000);
    close(listener);
}
