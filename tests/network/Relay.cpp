#include "Relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <queue>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int BoundSocket(int port, int* bound) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = Loopback(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    if (bound) *bound = ntohs(a.sin_port);
    return fd;
}

struct Pending {
    Clock::time_point at;
    int fd;
    sockaddr_in to;
    std::vector<char> bytes;
    bool operator>(const Pending& other) const { return at > other.at; }
};

}  // namespace

int FreeUdpPort() {
    int port = 0;
    const int fd = BoundSocket(0, &port);
    if (fd >= 0) close(fd);
    return port;
}

Relay::Relay(int serverPort, int delayMs, int jitterMs, int dropPercent, uint32_t seed)
    : serverPort_(serverPort), delayMs_(delayMs), jitterMs_(jitterMs), dropPercent_(dropPercent), seed_(seed) {
    listen_ = BoundSocket(0, &port_);
    if (pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this] { Run(); });
}

Relay::~Relay() {
    if (wake_[1] >= 0) (void)!write(wake_[1], "x", 1);
    thread_.join();
    close(listen_);
    close(wake_[0]);
    close(wake_[1]);
}

double Relay::LongestQuiet(double from, double to) const {
    std::lock_guard<std::mutex> lock(mutex_);
    double longest = 0, last = from;
    for (const double at : toClients_) {
        if (at <= from) continue;
        if (at >= to) break;
        longest = std::max(longest, at - last);
        last = at;
    }
    return std::max(longest, to - last);
}

void Relay::Run() {
    std::mt19937 random(seed_);
    std::uniform_int_distribution<int> percent(0, 99), jitter(-jitterMs_, jitterMs_);
    std::map<uint64_t, int> upstream;          // client address -> socket towards the server
    std::map<int, sockaddr_in> clientOf;       // that socket -> the client it speaks for
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> queue;
    const sockaddr_in server = Loopback(serverPort_);
    std::vector<char> buffer(65536);
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
        for (const auto& [fd, client] : clientOf) fds.push_back({fd, POLLIN, 0});
        int wait = 100;
        if (!queue.empty()) {
            const auto until = std::chrono::duration_cast<std::chrono::milliseconds>(queue.top().at - Clock::now());
            wait = static_cast<int>(std::max<long>(0, until.count()));
        }
        poll(fds.data(), fds.size(), wait);
        if (fds[0].revents & POLLIN) break;
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = recvfrom(fds[i].fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 0) continue;
            Pending p;
            p.at = Clock::now() + std::chrono::milliseconds(delayMs_ + jitter(random));
            p.bytes.assign(buffer.begin(), buffer.begin() + n);
            if (fds[i].fd == listen_) {  // a client's datagram: on to the server from its own socket
                const uint64_t key = (uint64_t{from.sin_addr.s_addr} << 16) | from.sin_port;
                auto it = upstream.find(key);
                if (it == upstream.end()) {
                    const int fd = BoundSocket(0, nullptr);
                    it = upstream.emplace(key, fd).first;
                    clientOf[fd] = from;
                }
                p.fd = it->second;
                p.to = server;
            } else {  // the server's answer: back to the client from the relay's port
                p.fd = listen_;
                p.to = clientOf[fds[i].fd];
            }
            if (percent(random) < dropPercent_) {
                ++dropped_;
                continue;
            }
            queue.push(std::move(p));
        }
        while (!queue.empty() && queue.top().at <= Clock::now()) {
            const Pending& p = queue.top();
            sendto(p.fd, p.bytes.data(), p.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&p.to), sizeof p.to);
            ++forwarded_;
            if (p.fd == listen_) {
                std::lock_guard<std::mutex> lock(mutex_);
                toClients_.push_back(std::chrono::duration<double>(Clock::now().time_since_epoch()).count());
            }
            queue.pop();
        }
    }
    for (const auto& [fd, client] : clientOf) close(fd);
}
