// TSilentRelay: a TCP relay on loopback that can go silent.
#include "SilentRelay.h"

#include "LoopbackSocket.h"

#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>

TSilentRelay::TSilentRelay(int targetPort) : FTargetPort(targetPort) {
    FListener = LoopbackSocket(FPort, 8);
    FWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    FThread = std::thread([this] { Run(); });
}

TSilentRelay::~TSilentRelay() {
    FStopping = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(FWake, &one, sizeof one);
    FThread.join();
    for (const TPair& pair : FPairs) {
        close(pair.Client);
        close(pair.Server);
    }
    close(FListener);
    close(FWake);
}

void TSilentRelay::Silence() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (TPair& pair : FPairs)
            pair.Silent = true;
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(FWake, &one, sizeof one);
}

void TSilentRelay::Accept() {
    const int client = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(FTargetPort));
    if (server < 0 || connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(client);
        if (server >= 0)
            close(server);
        return;
    }
    ++FConnections;
    std::lock_guard<std::mutex> lock(FLock);
    FPairs.push_back({client, server, false});
}

bool TSilentRelay::Forward(int from, int to) {
    char block[16384];
    const ssize_t got = read(from, block, sizeof block);
    if (got <= 0)
        return false;
    for (ssize_t sent = 0; sent < got;) {
        const ssize_t put = write(to, block + sent, static_cast<size_t>(got - sent));
        if (put <= 0)
            return false;
        sent += put;
    }
    return true;
}

void TSilentRelay::Run() {
    while (!FStopping) {
        std::vector<pollfd> waitFor = {{FWake, POLLIN, 0}, {FListener, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(FLock);
            for (const TPair& pair : FPairs)
                if (!pair.Silent) {
                    waitFor.push_back({pair.Client, POLLIN, 0});
                    waitFor.push_back({pair.Server, POLLIN, 0});
                }
        }
        if (poll(waitFor.data(), waitFor.size(), -1) <= 0)
            continue;
        if (waitFor[0].revents) {
            uint64_t taken = 0;
            [[maybe_unused]] const ssize_t drained = read(FWake, &taken, sizeof taken);
            continue; // the pairs to wait for may have changed
        }
        if (waitFor[1].revents)
            Accept();
        std::lock_guard<std::mutex> lock(FLock);
        for (size_t i = 2; i + 1 < waitFor.size(); i += 2) {
            auto pair = FPairs.begin();
            while (pair != FPairs.end() && pair->Client != waitFor[i].fd)
                ++pair;
            // Silenced since the wait began: what came stays unread.
            if (pair == FPairs.end() || pair->Silent)
                continue;
            if ((!waitFor[i].revents || Forward(pair->Client, pair->Server)) &&
                (!waitFor[i + 1].revents || Forward(pair->Server, pair->Client)))
                continue;
            close(pair->Client);
            close(pair->Server);
            FPairs.erase(pair);
        }
    }
}
