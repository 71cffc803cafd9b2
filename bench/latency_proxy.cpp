// latency_proxy: a TCP proxy on loopback that holds every byte for a given time in each
// direction, so that a benchmark meets the round trips of a real link.
// Usage: latency_proxy <listen port> <target port> <delay ms each way>
// Prints "ready <port>" once it listens (a listen port of 0 takes a free one); serves until
// killed.
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

struct TChunk {
    TClock::time_point Due;
    std::string Bytes;
};

// One direction of one connection: a reader that stamps what arrives, a writer that sends
// it once its time has come. The end of the source is passed on as a shutdown of the
// destination, after the bytes before it.
class TDelayedPipe {
  public:
    TDelayedPipe(int from, int to, std::chrono::milliseconds delay)
        : FFrom(from), FTo(to), FDelay(delay) {}

    void Run() {
        std::thread writer([this] { Write(); });
        char block[65536];
        for (;;) {
            const ssize_t got = recv(FFrom, block, sizeof block, 0);
            std::lock_guard<std::mutex> lock(FLock);
            if (got <= 0) {
                FEnded = true;
                FWake.notify_one();
                break;
            }
            FQueue.push_back(
                {TClock::now() + FDelay, std::string(block, static_cast<size_t>(got))});
            FWake.notify_one();
        }
        writer.join();
        shutdown(FTo, SHUT_WR);
    }

  private:
    int FFrom, FTo;
    std::chrono::milliseconds FDelay;
    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<TChunk> FQueue;
    bool FEnded = false;

    void Write() {
        std::unique_lock<std::mutex> lock(FLock);
        for (;;) {
            FWake.wait(lock, [this] { return !FQueue.empty() || FEnded; });
            if (FQueue.empty())
                return;
            const TClock::time_point due = FQueue.front().Due;
            if (TClock::now() < due) {
                FWake.wait_until(lock, due);
                continue;
            }
            // Everything due by now goes out in one write, as a link delivers it.
            std::string bytes;
            while (!FQueue.empty() && FQueue.front().Due <= TClock::now()) {
                bytes += FQueue.front().Bytes;
                FQueue.pop_front();
            }
            lock.unlock();
            for (size_t sent = 0; sent < bytes.size();) {
                const ssize_t put =
                    send(FTo, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (put <= 0)
                    break;
                sent += static_cast<size_t>(put);
            }
            lock.lock();
        }
    }
};

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

void Serve(int client, int targetPort, std::chrono::milliseconds delay) {
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in target = Loopback(targetPort);
    if (connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        close(client);
        close(server);
        return;
    }
    // The proxy adds only its delay: its own sends never wait for acknowledgements.
    const int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    TDelayedPipe up(client, server, delay), down(server, client, delay);
    std::thread upward([&] { up.Run(); });
    down.Run();
    upward.join();
    close(client);
    close(server);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: latency_proxy <listen port> <target port> <delay ms>\n");
        return 2;
    }
    const int listenPort = std::atoi(argv[1]), targetPort = std::atoi(argv[2]);
    const std::chrono::milliseconds delay(std::atoi(argv[3]));
    std::signal(SIGPIPE, SIG_IGN);
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = Loopback(listenPort);
    if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 64) != 0) {
        std::perror("latency_proxy");
        return 1;
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
    std::printf("ready %d\n", ntohs(bound.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0)
            std::thread(Serve, client, targetPort, delay).detach();
    }
}
