// TSilentRelay: a TCP relay on loopback that can go silent as a router that forgot its
// connections does: nothing passes any more, and nothing is closed.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// Forwards every connection made to Port to targetPort of 127.0.0.1, both ways, on a thread of
// its own. A side that closes closes the other.
class TSilentRelay {
  public:
    explicit TSilentRelay(int targetPort);
    ~TSilentRelay();
    TSilentRelay(const TSilentRelay&) = delete;
    TSilentRelay& operator=(const TSilentRelay&) = delete;

    int Port() const { return FPort; }
    // Connections accepted so far.
    int Connections() const { return FConnections; }
    // The connections open now pass nothing more, either way, and stay open; later ones pass.
    void Silence();

  private:
    struct TPair {
        int Client = -1;
        int Server = -1;
        bool Silent = false;
    };
    const int FTargetPort;
    int FPort = 0;
    int FListener = -1;
    int FWake = -1; // an event counter that ends the thread's wait
    std::atomic<int> FConnections{0};
    std::atomic<bool> FStopping{false};
    std::mutex FLock; // guards FPairs
    std::vector<TPair> FPairs;
    std::thread FThread;

    void Run();
    void Accept();
    // Moves what from has to to; false when from ended or either failed.
    static bool Forward(int from, int to);
};
