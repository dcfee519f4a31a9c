// A bad network for tests, as this kernel has no netem: a UDP relay on loopback
// that holds every datagram for a delay with jitter and drops a share of them,
// both ways. Each address that sends to it gets a socket of its own towards the
// server, so the server sees one peer per client.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>
#include <cstdint>
#include <thread>

class Relay {
public:
    // Forwards to 127.0.0.1:serverPort; `dropPercent` of datagrams each way are lost.
    Relay(int serverPort, int delayMs, int jitterMs, int dropPercent, uint32_t seed = 12345);
    ~Relay();
    int Port() const { return port_; }
    long Forwarded() const { return forwarded_; }
    long Dropped() const { return dropped_; }
    // The longest time between two datagrams passed on to a client, within `from`
    // to `to` (steady-clock seconds), the window's ends counted as passes: how
    // long a client could have gone without news of the server through no fault
    // of its own.
    double LongestQuiet(double from, double to) const;

private:
    void Run();
    int serverPort_, delayMs_, jitterMs_, dropPercent_;
    uint32_t seed_;
    int listen_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::atomic<long> forwarded_{0}, dropped_{0};
    mutable std::mutex mutex_;
    std::vector<double> toClients_;  // steady-clock seconds of each pass to a client
    std::thread thread_;
};

// A UDP port nobody on loopback uses now.
int FreeUdpPort();
