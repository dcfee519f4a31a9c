// What shared entities cost on the wire and on the server, and how long a
// message takes there and back, in one process on loopback.
//
//   network_benchmark [--seconds S] [--clients N] [--entities N] [--trips N] [--crowd-only | --trips-only]
//
// Crowd: one server session and N client sessions (64), serviced together at 60
// frames a second; 500 entities walk at 1.5 m/s, turning now and then and facing
// where they go; 20 snapshots a second. Then the same crowd standing, spinning in
// place, and walking while spinning. For each: what the server sends a client in a
// second (ENet's bytes, and with each datagram's 28 bytes of UDP and IP), against
// every transform in full (44 bytes an entity a snapshot), and the server's time
// (its SetEntities and Service) a frame, divided by the clients. After each, the
// crowd stops and every client must sample every entity where the server has it:
// the figures are of a run whose snapshots decoded.
//
// Round trip: a server and a client, each in its own thread at 60 frames a second;
// the client sends in its tick, the server echoes in its tick after its Service,
// the client sees the echo after its own Service. The server's frames start at ten
// offsets spread over the client's frame (a trip takes two frames where the server's
// Service falls between the client's Service and its send).
#include <enet/enet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Relay.h"
#include "n3d.h"
#include "session.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point kStart = Clock::now();
double Now() { return std::chrono::duration<double>(Clock::now() - kStart).count(); }

void SleepUntil(double seconds) {
    std::this_thread::sleep_until(kStart +
                                  std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)));
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "network_benchmark: FAILED: %s\n", what);
    std::exit(1);
}

bool HostOnFreePort(n3d::Session& server, int most, int* port) {
    for (int tries = 0; tries < 20; ++tries) {
        *port = FreeUdpPort();
        if (server.Host(*port, most)) return true;
    }
    return false;
}

constexpr float kPi = 3.14159265358979f;
constexpr double kFrame = 1.0 / 60.0;
constexpr float kSpeed = 1.5f;

Quaternion AboutUp(float angle) { return {0.0f, std::sin(angle / 2), 0.0f, std::cos(angle / 2)}; }

enum class Motion { Walking, Standing, Spinning, WalkingSpinning };
const char* NameOf(Motion m) {
    switch (m) {
        case Motion::Walking:
            return "walking, facing where they go";
        case Motion::Standing:
            return "standing still";
        case Motion::Spinning:
            return "standing, spinning about the vertical";
        default:
            return "walking and spinning";
    }
}

// A crowd of walkers: each goes straight for 2 to 6 s, then turns by up to 120
// degrees at 120 degrees a second, facing where it goes.
struct Crowd {
    std::vector<N3D_Entity> entities;
    std::vector<float> heading, target, nextTurn, spin;
    std::mt19937 random{7};

    explicit Crowd(int count) {
        std::uniform_real_distribution<float> place(-100.0f, 100.0f), angle(-kPi, kPi), turn(2.0f, 6.0f);
        for (int i = 0; i < count; ++i) {
            N3D_Entity e{};
            e.id = i + 1;
            e.owner = N3D_SERVER_PEER;
            std::snprintf(e.model, sizeof e.model, "walker");
            std::snprintf(e.name, sizeof e.name, "walker %d", i + 1);
            e.position = {place(random), 0.0f, place(random)};
            e.scale = {1, 1, 1};
            e.color[0] = static_cast<unsigned char>(random()), e.color[1] = 200, e.color[2] = 60, e.color[3] = 255;
            e.animation = N3D_Animation{-1, 0, 1, false, false, -1, 0, false, 0, 0};
            heading.push_back(angle(random));
            target.push_back(heading.back());
            nextTurn.push_back(turn(random));
            spin.push_back(random() % 2 ? kPi / 2 : -kPi / 2);  // a quarter turn a second
            e.rotation = AboutUp(heading.back());
            entities.push_back(e);
        }
    }

    void Step(Motion motion, double now, float dt) {
        std::uniform_real_distribution<float> by(-2 * kPi / 3, 2 * kPi / 3), turn(2.0f, 6.0f);
        const bool walking = motion == Motion::Walking || motion == Motion::WalkingSpinning;
        const bool spinning = motion == Motion::Spinning || motion == Motion::WalkingSpinning;
        for (size_t i = 0; i < entities.size(); ++i) {
            N3D_Entity& e = entities[i];
            if (walking) {
                if (now >= nextTurn[i]) {
                    target[i] = heading[i] + by(random);
                    nextTurn[i] = static_cast<float>(now) + turn(random);
                }
                const float most = 2 * kPi / 3 * dt;
                heading[i] += std::clamp(target[i] - heading[i], -most, most);
                e.position.x += std::cos(heading[i]) * kSpeed * dt;
                e.position.z += std::sin(heading[i]) * kSpeed * dt;
            }
            if (spinning)
                e.rotation = AboutUp(heading[i] += spin[i] * dt), target[i] = heading[i];
            else
                e.rotation = AboutUp(heading[i]);
        }
    }
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(std::ceil(p * values.size())) - 1);
    return values[p <= 0 ? 0 : at];
}

// Whether every sampled entity is where the server has it, to within quantisation
// (1/512 m a coordinate) and `slack` metres across the ground; its facing too when
// `facing` (a rotation's components are quantised to about 1/23,000).
bool SamplesMatch(n3d::Session& client, const std::vector<N3D_Entity>& truth, double now, float slack, bool facing,
                  std::string* why) {
    const std::vector<N3D_Entity>& seen = client.Sample(now);
    if (seen.size() != truth.size()) {
        *why = "sampled " + std::to_string(seen.size()) + " entities of " + std::to_string(truth.size());
        return false;
    }
    for (size_t i = 0; i < seen.size(); ++i) {
        const N3D_Entity& a = seen[i];
        const N3D_Entity& b = truth[static_cast<size_t>(a.id - 1)];
        const float dx = a.position.x - b.position.x, dy = a.position.y - b.position.y,
                    dz = a.position.z - b.position.z;
        const float dot = std::fabs(a.rotation.x * b.rotation.x + a.rotation.y * b.rotation.y +
                                    a.rotation.z * b.rotation.z + a.rotation.w * b.rotation.w);
        const float quantum = 1.0f / 512 + 1e-4f;
        if (std::fabs(dx) > quantum + slack || std::fabs(dy) > quantum || std::fabs(dz) > quantum + slack ||
            (facing && dot < 0.9999995f) || std::strcmp(a.name, b.name) != 0) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "entity %d sampled at (%.4f %.4f %.4f), the server has (%.4f %.4f %.4f); dot %.7f", a.id,
                          a.position.x, a.position.y, a.position.z, b.position.x, b.position.y, b.position.z, dot);
            *why = text;
            return false;
        }
    }
    return true;
}

struct CrowdFigures {
    double bytes = 0, bytesWithUdp = 0, datagrams = 0, seconds = 0;
    std::vector<double> usAll, usSnapshot;  // server microseconds a client, every frame / snapshot frames
};

struct CrowdRun {
    int clientCount;
    double seconds;
    n3d::Session server;
    std::vector<std::unique_ptr<n3d::Session>> clients;
    Crowd crowd;
    int checked = 0;

    CrowdRun(int clients, int entities, double seconds)
        : clientCount(clients), seconds(seconds), crowd(entities) {}

    void Join() {
        int port = 0;
        if (!HostOnFreePort(server, clientCount, &port)) Fail("no port to host on");
        for (int i = 0; i < clientCount; ++i) {
            clients.push_back(std::make_unique<n3d::Session>());
            if (!clients.back()->Connect("127.0.0.1", port)) Fail("a client could not start joining");
        }
        const double until = Now() + 30;
        for (;;) {
            const double now = Now();
            server.Service(now);
            int welcomed = 0;
            for (auto& c : clients) {
                c->Service(now);
                welcomed += c->State() == N3D_CLIENT;
            }
            N3D_Event event;
            while (server.NextEvent(&event)) {
            }
            for (auto& c : clients)
                while (c->NextEvent(&event)) {
                }
            if (welcomed == clientCount && static_cast<int>(server.Peers().size()) == clientCount) break;
            if (now > until) Fail("the clients were not all welcomed within 30 s");
            SleepUntil(now + kFrame);
        }
    }

    // Frames at 60 a second for `length` s; figures are taken when `figures` is given,
    // and then one client a second is sampled against where the crowd is now.
    void Frames(Motion motion, double length, CrowdFigures* figures) {
        const uint64_t bytes0 = server.BytesSent(), datagrams0 = server.DatagramsSent();
        const double start = Now();
        double deadline = start, last = start, nextCheck = start + 1;
        while (deadline - start < length) {
            const double now = Now();
            crowd.Step(motion, now, static_cast<float>(now - last));
            last = now;
            const auto t0 = Clock::now();
            const bool snapshot = server.SnapshotDue(now);
            if (snapshot) server.SetEntities(crowd.entities.data(), static_cast<int>(crowd.entities.size()), now);
            server.Service(now);
            const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / clientCount;
            if (figures) {
                figures->usAll.push_back(us);
                if (snapshot) figures->usSnapshot.push_back(us);
            }
            for (auto& c : clients) c->Service(now);
            if (figures && now >= nextCheck) {
                // Sampled about 0.1 s behind: within 0.25 s of walking of where the server has them now.
                std::string why;
                n3d::Session& c = *clients[static_cast<size_t>(checked++ % clientCount)];
                const float slack = motion == Motion::Spinning ? 0.0f : kSpeed * 0.25f;
                if (!SamplesMatch(c, crowd.entities, Now(), slack, false, &why))
                    Fail(("while running: " + why).c_str());
                nextCheck += 1;
            }
            deadline += kFrame;
            SleepUntil(deadline);
        }
        if (figures) {
            figures->seconds = Now() - start;
            figures->bytes = static_cast<uint32_t>(static_cast<uint32_t>(server.BytesSent()) - static_cast<uint32_t>(bytes0));
            figures->datagrams = static_cast<uint32_t>(static_cast<uint32_t>(server.DatagramsSent()) - static_cast<uint32_t>(datagrams0));
            figures->bytesWithUdp = figures->bytes + 28.0 * figures->datagrams;
        }
    }

    CrowdFigures Run(Motion motion) {
        Frames(motion, 1.0, nullptr);  // the change of motion settles
        CrowdFigures figures;
        Frames(motion, seconds, &figures);
        // Stopped for half a second: every client must then hold exactly the server's crowd.
        Frames(Motion::Standing, 0.5, nullptr);
        const double now = Now();
        for (auto& c : clients) {
            std::string why;
            if (!SamplesMatch(*c, crowd.entities, now, 0.0f, true, &why))
                Fail(("after the crowd stopped: " + why).c_str());
        }
        return figures;
    }
};

void Report(Motion motion, const CrowdFigures& f, int clients, int entities) {
    const double perClient = f.bytes / f.seconds / clients;
    const double perClientUdp = f.bytesWithUdp / f.seconds / clients;
    const double full = entities * 44.0 * 20.0;
    std::printf("\n%s (%d entities, %d clients, %.1f s):\n", NameOf(motion), entities, clients, f.seconds);
    std::printf("  sent a client: %9.0f B/s (ENet)  %9.0f B/s (with UDP/IP)  %.1f datagrams/s\n", perClient,
                perClientUdp, f.datagrams / f.seconds / clients);
    std::printf("  every transform in full: %.0f B/s; ratio %.4f (ENet), %.4f (with UDP/IP)\n", full, perClient / full,
                perClientUdp / full);
    std::printf(
        "  server a client a frame: median %.2f us, worst %.2f us; on snapshot frames median %.2f us, worst %.2f us\n",
        Percentile(f.usAll, 0.5), Percentile(f.usAll, 1.0), Percentile(f.usSnapshot, 0.5),
        Percentile(f.usSnapshot, 1.0));
}

// -- Round trip -------------------------------------------------------------------

struct TripFigures {
    std::vector<double> ms;
    int resent = 0;
    // How late each loop's frames began (ms): a busy machine wakes a sleeper late.
    std::vector<double> clientLate, serverLate;
};

TripFigures RoundTrips(bool reliable, int trips) {
    n3d::Session server, client;
    int port = 0;
    if (!HostOnFreePort(server, 4, &port)) Fail("no port to host on");
    if (!client.Connect("127.0.0.1", port)) Fail("the client could not start joining");
    TripFigures figures;
    std::atomic<bool> stop{false};
    std::atomic<double> serverOffset{0.0};
    // Both count frames from `base`; the server starts a twentieth of a frame after
    // the client, then moves on by a tenth of a frame every tenth of the trips, so
    // its frames begin at ten offsets spread evenly over the client's frame.
    const double base = Now() + 0.05;
    // The server: its frame, then echoes in its tick.
    std::thread serverThread([&] {
        double deadline = base + kFrame / 20;
        SleepUntil(deadline);
        while (!stop) {
            const double frame = Now();
            figures.serverLate.push_back(1000.0 * (frame - deadline));
            server.Service(frame);
            N3D_Event e;
            while (server.NextEvent(&e))
                if (e.kind == N3D_EVENT_MESSAGE) server.Send(e.peer, e.channel, e.data, e.size, reliable);
            deadline += kFrame;
            const double shift = serverOffset.exchange(0.0);
            deadline += shift;
            SleepUntil(deadline);
        }
    });
    double deadline = base, sentAt = -1;
    SleepUntil(deadline);
    int number = 0;
    const int perPhase = std::max(1, trips / 10);
    while (static_cast<int>(figures.ms.size()) < trips) {
        const double frame = Now();
        figures.clientLate.push_back(1000.0 * (frame - deadline));
        client.Service(frame);
        N3D_Event e;
        while (client.NextEvent(&e))
            if (e.kind == N3D_EVENT_MESSAGE && sentAt >= 0 &&
                std::string(e.data, static_cast<size_t>(e.size)) == std::to_string(number)) {
                figures.ms.push_back(1000.0 * (Now() - sentAt));
                sentAt = -1;
                ++number;
                if (figures.ms.size() % perPhase == 0) serverOffset = kFrame / 10;
            }
        if (frame - base > 30) Fail("the round trips took over 30 s");
        // The tick: one message out at a time (an unreliable one lost is sent anew after 0.5 s).
        if (client.State() == N3D_CLIENT && (sentAt < 0 || Now() - sentAt > 0.5)) {
            if (sentAt >= 0) ++figures.resent, ++number;
            const std::string text = std::to_string(number);
            sentAt = Now();
            if (client.Send(N3D_SERVER_PEER, "echo", text.data(), static_cast<int>(text.size()), reliable) != N3D_OK)
                Fail("a message could not be sent");
        }
        deadline += kFrame;
        SleepUntil(deadline);
    }
    stop = true;
    serverThread.join();
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 10;
    int clients = 64, entities = 500, trips = 300;
    bool crowd = true, roundTrips = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--seconds" && value)
            seconds = std::atof(argv[++i]);
        else if (a == "--clients" && value)
            clients = std::atoi(argv[++i]);
        else if (a == "--entities" && value)
            entities = std::atoi(argv[++i]);
        else if (a == "--trips" && value)
            trips = std::atoi(argv[++i]);
        else if (a == "--crowd-only")
            roundTrips = false;
        else if (a == "--trips-only")
            crowd = false;
        else {
            std::fprintf(
                stderr,
                "usage: %s [--seconds S] [--clients N] [--entities N] [--trips N] [--crowd-only | --trips-only]\n",
                argv[0]);
            return 2;
        }
    }
    if (clients < 1 || entities < 1 || seconds <= 0 || trips < 10) {
        std::fprintf(stderr, "network_benchmark: clients, entities and seconds above 0, trips 10 or more\n");
        return 2;
    }

    if (crowd) {
        std::printf("network_benchmark: shared entities on loopback, %d snapshots a second, 60 frames a second\n", 20);
        CrowdRun run(clients, entities, seconds);
        run.Join();
        for (Motion m : {Motion::Walking, Motion::Standing, Motion::Spinning, Motion::WalkingSpinning})
            Report(m, run.Run(m), clients, entities);
        std::printf("\nevery client sampled all %d entities where the server had them after each run\n", entities);
    }

    if (!roundTrips) return 0;
    std::printf("\nround trip of a message, server and client each in its own 60-frames-a-second loop\n");
    std::printf("(a frame is %.2f ms; the target is a frame and 1 ms, %.2f ms)\n", 1000 * kFrame, 1000 * kFrame + 1);
    for (bool reliable : {false, true}) {
        const TripFigures f = RoundTrips(reliable, trips);
        std::printf("  %-10s %d trips: median %.2f ms, 99th percentile %.2f ms, worst %.2f ms; %d lost and sent anew\n",
                    reliable ? "reliable" : "unreliable", static_cast<int>(f.ms.size()), Percentile(f.ms, 0.5),
                    Percentile(f.ms, 0.99), Percentile(f.ms, 1.0), f.resent);
        std::printf(
            "  %-10s frames began late by: client median %.2f ms, worst %.2f ms; server median %.2f ms, worst %.2f "
            "ms\n",
            "", Percentile(f.clientLate, 0.5), Percentile(f.clientLate, 1.0), Percentile(f.serverLate, 0.5),
            Percentile(f.serverLate, 1.0));
    }
    return 0;
}
