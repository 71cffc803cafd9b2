// TCP sockets on 127.0.0.1 with a port the system picks, for test servers and probes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

// Binds a socket to 127.0.0.1 on a free port and writes the port; listens with
// backlog when it is 0 or more. Throws when the system refuses.
inline int LoopbackSocket(int& port, int backlog) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (backlog >= 0 && listen(fd, backlog) != 0) ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("cannot open a loopback socket");
    }
    port = ntohs(address.sin_port);
    return fd;
}

// A port that nothing listens on at the moment of the call.
inline int FreeLoopbackPort() {
    int port = 0;
    close(LoopbackSocket(port, -1));
    return port;
}

// Whether something accepts connections on port of 127.0.0.1 now.
inline bool LoopbackAccepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}
