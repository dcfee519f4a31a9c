// A real headless server engine against hostile peers on loopback: UDP garbage at
// its port, ENet peers of another protocol, peers that join properly and then send
// what no client would (packets of unknown kinds, snapshots, acknowledgements of
// snapshots never sent, changes to the server's own box, broken messages, empty
// packets, welcomes), and a flood of joins past its most clients. Through it all it
// stays up, its box stays where it put it, each peer's misdeeds are reported once
// of a kind, and a normal client joins and finds the box afterwards.
#include <arpa/inet.h>
#include <enet/enet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BoxFile.h"
#include "Process.h"
#include "Relay.h"
#include "session.h"
#include "snapshot.h"
#include "wire.h"

using namespace TestSupport;
using Bytes = std::vector<uint8_t>;

namespace {

struct Install {
    EngineInstall files{VANTOR_ENGINE, VANTOR_NET_GAME};
    Install() { EXPECT_EQ(TestFiles::WriteBox(files.assets + "/box.obj", 0.5f), ""); }

    std::unique_ptr<Process> Start(std::vector<std::string> args) const {
        args.insert(args.begin(), "--headless");
        RunOptions options;
        options.cwd = files.bin;
        options.env = {"VANTOR_NO_DIALOG=1"};
        options.timeoutMs = 120000;
        return std::make_unique<Process>(files.bin + "/engine", args, options);
    }
};

// Lines of `text` holding `part`.
int CountHolding(const std::string& text, const std::string& part) {
    const std::vector<std::string> lines = Lines(text);
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

bool StartEnet() {
    static const bool started = [] {
        if (enet_initialize() != 0) return false;
        std::atexit(enet_deinitialize);
        return true;
    }();
    return started;
}

// An ENet peer of the test's own, speaking the layer's protocol by hand.
class RawPeer {
public:
    enum Outcome { kPending, kWelcomed, kTurnedAway, kTimedOut };

    RawPeer(int port, uint32_t connectData, int channels = 2) {
        StartEnet();
        host_ = enet_host_create(nullptr, 1, 2, 0, 0);
        ENetAddress to{};
        enet_address_set_host(&to, "127.0.0.1");
        to.port = static_cast<enet_uint16>(port);
        if (host_) peer_ = enet_host_connect(host_, &to, static_cast<size_t>(channels), connectData);
        // Given up on within about three seconds when nobody answers.
        if (peer_) enet_peer_timeout(peer_, 32, 1000, 3000);
    }
    ~RawPeer() {
        if (host_) enet_host_destroy(host_);
    }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    bool Ready() const { return peer_ != nullptr; }

    // Takes what arrived, waiting up to `ms` for the first of it.
    void Pump(int ms) {
        if (!host_ || gone_) return;
        ENetEvent event;
        for (int r = enet_host_service(host_, &event, static_cast<enet_uint32>(ms)); r > 0;
             r = gone_ ? 0 : enet_host_service(host_, &event, 0)) {
            if (event.type == ENET_EVENT_TYPE_DISCONNECT) {
                gone_ = true;
                goneData_ = event.data;
            } else if (event.type == ENET_EVENT_TYPE_CONNECT) {
                connected_ = true;
            } else if (event.type == ENET_EVENT_TYPE_RECEIVE) {
                Read(Bytes(event.packet->data, event.packet->data + event.packet->dataLength));
                enet_packet_destroy(event.packet);
            }
        }
    }

    bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            Pump(5);
        }
        return true;
    }

    Outcome Now() const {
        if (id_ != 0 && !gone_) return kWelcomed;
        if (!gone_) return kPending;
        // Turned away: answered, then told why. Timed out: never answered.
        return connected_ ? kTurnedAway : kTimedOut;
    }

    void Send(const Bytes& bytes, bool reliable = true) {
        ENetPacket* packet = enet_packet_create(bytes.empty() ? nullptr : bytes.data(), bytes.size(),
                                                reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
        if (enet_peer_send(peer_, reliable ? 0 : 1, packet) < 0) enet_packet_destroy(packet);
        enet_host_flush(host_);
    }

    // Leaves properly, and waits until ENet says it has.
    bool Leave() {
        if (gone_ || !peer_) return true;
        enet_peer_disconnect(peer_, 0);
        return WaitFor([&] { return gone_; }, 5000);
    }

    int Id() const { return id_; }
    bool Gone() const { return gone_; }
    uint32_t GoneData() const { return goneData_; }
    const std::vector<std::pair<std::string, std::string>>& Messages() const { return messages_; }

private:
    void Read(const Bytes& p) {
        if (p.empty()) return;
        if (p[0] == n3d::kWelcome) {
            n3d::BitReader in(p.data() + 1, p.size() - 1);
            in.Byte();
            const uint32_t id = in.Small();
            if (!in.failed) id_ = static_cast<int>(id);
        } else if (p[0] == n3d::kMessage && p.size() >= 2 && p.size() >= 2u + p[1]) {
            messages_.emplace_back(std::string(p.begin() + 2, p.begin() + 2 + p[1]),
                                   std::string(p.begin() + 2 + p[1], p.end()));
        }
    }

    ENetHost* host_ = nullptr;
    ENetPeer* peer_ = nullptr;
    bool connected_ = false, gone_ = false;
    uint32_t goneData_ = 0;
    int id_ = 0;
    std::vector<std::pair<std::string, std::string>> messages_;
};

Bytes Message(const std::string& channel, const std::string& text) {
    Bytes b{n3d::kMessage, static_cast<uint8_t>(channel.size())};
    b.insert(b.end(), channel.begin(), channel.end());
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

// The state of an entity as an owner would send it, put at (9, 9, 9).
Bytes Owned(std::vector<int> ids) {
    n3d::BitWriter w;
    w.Byte(n3d::kOwned);
    w.Small(static_cast<uint32_t>(ids.size()));
    for (int id : ids) {
        N3D_Entity e{};
        e.id = id;
        e.owner = 2;
        e.position = {9, 9, 9};
        e.rotation = {0, 0, 0, 1};
        e.scale = {1, 1, 1};
        e.animation.clip = -1;
        n3d::EncodeState(n3d::Quantise(e), w);
    }
    return w.Bytes();
}

Bytes ForgedSnapshot() {
    N3D_Entity e{};
    e.id = 1;
    e.owner = 1;
    std::snprintf(e.model, sizeof e.model, "box");
    e.position = {9, 9, 9};
    e.rotation = {0, 0, 0, 1};
    e.scale = {1, 1, 1};
    e.animation.clip = -1;
    n3d::BitWriter w;
    w.Byte(n3d::kSnapshot);
    w.Small(5);
    w.Small(0);
    w.Small(0);
    w.Bits(1000, 32);
    n3d::EncodeWorld(nullptr, {n3d::Quantise(e)}, w);
    return w.Bytes();
}

Bytes Ack(uint32_t seq) {
    n3d::BitWriter w;
    w.Byte(n3d::kAck);
    w.Small(seq);
    return w.Bytes();
}

// One kind of misdeed: the packets, and what the server's one complaint of it says.
struct Misdeed {
    const char* what;
    std::vector<Bytes> packets;
    const char* complaint;
};

std::vector<Misdeed> Misdeeds() {
    Bytes welcome{n3d::kWelcome, 0x01, 0x42, 0x54};
    return {
        {"unknown kinds", {{0}, {6, 1, 2, 3}, {255}, {0x7f, 0, 0, 0, 0, 0}}, "a packet of an unknown kind"},
        {"snapshots, truncated and forged",
         {{n3d::kSnapshot}, {n3d::kSnapshot, 0xC0}, ForgedSnapshot()},
         "a snapshot, which only a server sends"},
        {"acknowledgements of snapshots never sent",
         {Ack(1000000000u), Ack(0xFFFFFFFFu), Ack(100000)},
         "an acknowledgement that does not read"},
        {"messages with bad channel lengths",
         {{n3d::kMessage, 0, 'x'},
          {n3d::kMessage, 65, 'a', 'b'},
          {n3d::kMessage, 200},
          {n3d::kMessage, 10, 'a', 'b', 'c'},
          {n3d::kMessage},
          Message("Joined", "me"),
          Message("Left", "")},
         "a message that does not read"},
        {"empty packets", {{}}, "an empty packet"},
        {"welcomes", {welcome}, "a welcome it had no business sending"},
    };
}

int Exit(Process& p) {
    p.Kill(SIGTERM);
    return p.Wait().exitCode;
}

}  // namespace

TEST(HostilePeers, GarbageForgeriesAndAFloodNeitherStopTheServerNorMoveItsBoxAndEachPeerIsReportedOnceAKind) {
    ASSERT_TRUE(StartEnet());
    Install install;
    const int port = FreeUdpPort();
    const std::string portText = std::to_string(port);
    auto server = install.Start({"server", portText, "2", "scene", "guard"});
    ASSERT_TRUE(server->WaitForStderr("listening 1", 30000)) << server->Stderr();

    // UDP garbage of every size at the port.
    {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::mt19937 random(99);
        for (int i = 0; i < 400; ++i) {
            Bytes junk(i % 50 == 0 ? 0 : random() % 1500);
            for (uint8_t& b : junk) b = static_cast<uint8_t>(random());
            // Half look like ENet's header for a peer not yet connected.
            if (junk.size() >= 2 && i % 2) junk[0] = 0x0F, junk[1] = 0xFF;
            sendto(fd, junk.data(), junk.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
        close(fd);
    }

    // Another protocol is turned away, with the reason, and said once however many try.
    for (uint32_t data : {0u, n3d::kProtocol + 1, 0xFFFFFFFFu}) {
        RawPeer stranger(port, data);
        ASSERT_TRUE(stranger.Ready());
        ASSERT_TRUE(stranger.WaitFor([&] { return stranger.Gone(); })) << "a peer of protocol " << data << " was kept";
        EXPECT_EQ(stranger.GoneData(), n3d::kOtherProtocol);
        EXPECT_EQ(stranger.Id(), 0) << "a peer of another protocol was welcomed";
    }
    ASSERT_TRUE(server->WaitForStderr("speaking another protocol", 10000)) << server->Stderr();

    // Peers that join properly, then misbehave: twenty rounds of one kind of misdeed
    // each, then a message asking where the box is, which the server answers on its
    // stderr after reading all that came before it.
    struct Hostile {
        int id;
        std::string what;
        std::vector<std::string> complaints;
    };
    std::vector<Hostile> hostile;
    const std::vector<Misdeed> misdeeds = Misdeeds();
    for (size_t k = 0; k <= misdeeds.size(); ++k) {
        const bool forger = k == misdeeds.size();  // the last changes what it does not own
        const std::string what = forger ? "changes to the server's box" : misdeeds[k].what;
        RawPeer peer(port, n3d::kProtocol);
        ASSERT_TRUE(peer.WaitFor([&] { return peer.Id() != 0 || peer.Gone(); })) << what;
        ASSERT_NE(peer.Id(), 0) << what << ": not welcomed\n" << server->Stderr();
        for (int round = 0; round < 20; ++round) {
            if (forger) {
                peer.Send(Owned({1}), round % 2 == 0);  // the box, the server's own
                peer.Send(Owned({1, 999, 1}));          // and an id nobody has
                peer.Send({n3d::kOwned, 0x40});         // cut short
            } else {
                for (const Bytes& p : misdeeds[k].packets) peer.Send(p);
            }
        }
        const size_t mark = server->Stderr().size();
        peer.Send(Message("where", what));
        ASSERT_TRUE(server->WaitForStderr("box at 1.50 0.00 0.00", 10000, mark)) << what << "\n" << server->Stderr();
        peer.Pump(0);
        EXPECT_FALSE(peer.Gone()) << what << ": the server dropped the peer";
        if (forger)
            hostile.push_back(
                {peer.Id(), what, {"changes to network id 1, which it does not own", "changes that do not read"}});
        else
            hostile.push_back({peer.Id(), what, {misdeeds[k].complaint}});
        ASSERT_TRUE(peer.Leave());
        ASSERT_TRUE(server->WaitForStderr("left " + std::to_string(peer.Id()) + "\n", 10000)) << server->Stderr();
    }

    // Twenty join at once where two may: two are welcomed, the rest turned away as
    // the server is full or left unanswered (ENet has no place to take them); the
    // server says so once.
    std::vector<std::unique_ptr<RawPeer>> flood;
    for (int i = 0; i < 20; ++i) flood.push_back(std::make_unique<RawPeer>(port, n3d::kProtocol));
    auto pending = [&] {
        return std::any_of(flood.begin(), flood.end(), [](const auto& p) { return p->Now() == RawPeer::kPending; });
    };
    // Each is answered, or given up on by ENet within about three seconds.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pending() && std::chrono::steady_clock::now() < until)
        for (auto& p : flood) p->Pump(1);
    ASSERT_FALSE(pending());
    int welcomed = 0, full = 0, otherwise = 0, unanswered = 0;
    for (auto& p : flood) {
        if (p->Now() == RawPeer::kWelcomed)
            ++welcomed;
        else if (p->Now() == RawPeer::kTimedOut)
            ++unanswered;
        else if (p->Now() == RawPeer::kTurnedAway && p->GoneData() == n3d::kFull)
            ++full;
        else
            ++otherwise;
    }
    std::printf("of twenty joining at once: %d welcomed, %d turned away as the server was full, %d unanswered\n",
                welcomed, full, unanswered);
    EXPECT_EQ(welcomed, 2) << server->Stderr();
    EXPECT_GE(full, 1) << server->Stderr();
    EXPECT_EQ(otherwise, 0);
    EXPECT_EQ(welcomed + full + unanswered, 20);
    for (auto& p : flood)
        if (p->Now() == RawPeer::kWelcomed) {
            ASSERT_TRUE(p->Leave());
            ASSERT_TRUE(server->WaitForStderr("left " + std::to_string(p->Id()) + "\n", 10000)) << server->Stderr();
        }
    flood.clear();

    // A normal client still joins, and finds the box where the server put it.
    auto client = install.Start({"client", "127.0.0.1", portText, "find"});
    ASSERT_TRUE(client->WaitForStderr("found ", 30000)) << client->Stderr() << server->Stderr();
    EXPECT_EQ(CountHolding(client->Stderr(), "found 1.50 0.00 0.00"), 1) << client->Stderr();
    EXPECT_TRUE(server->Running());
    EXPECT_EQ(Exit(*client), 0) << client->Stderr();
    EXPECT_EQ(Exit(*server), 0) << server->Stderr();

    // All the server said: never its box moved; each hostile peer's complaint once
    // (one of things unreadable, one of things not its own), however many it sent.
    const std::string log = server->Stderr();
    EXPECT_EQ(CountHolding(log, "box moved"), 0) << log;
    for (const Hostile& h : hostile) {
        const std::string who = "peer " + std::to_string(h.id) + " sent ";
        for (const std::string& complaint : h.complaints)
            EXPECT_EQ(CountHolding(log, who + complaint), 1) << h.what << "\n" << log;
        EXPECT_EQ(CountHolding(log, who), static_cast<int>(h.complaints.size())) << h.what << "\n" << log;
        EXPECT_EQ(CountHolding(log, "joined " + std::to_string(h.id)), 1) << log;
    }
    EXPECT_EQ(CountHolding(log, "speaking another protocol"), 1) << log;
    EXPECT_EQ(CountHolding(log, "the server holds its most clients"), 1) << log;
}

// A channel's name with a NUL byte in it reads, to the game, as the name up to
// the NUL: a peer could send what the game takes for a join or leave of its own.
TEST(HostilePeers, AChannelHoldingANulIsRefusedNotReadAsAJoinOrLeave) {
    ASSERT_TRUE(StartEnet());
    Install install;
    const int port = FreeUdpPort();
    auto server = install.Start({"server", std::to_string(port), "2", "scene", "guard"});
    ASSERT_TRUE(server->WaitForStderr("listening 1", 30000)) << server->Stderr();
    RawPeer peer(port, n3d::kProtocol);
    ASSERT_TRUE(peer.WaitFor([&] { return peer.Id() != 0 || peer.Gone(); }));
    ASSERT_NE(peer.Id(), 0) << server->Stderr();
    const std::string id = std::to_string(peer.Id());
    for (const std::string& channel : {std::string("Left\0x", 6), std::string("Joined\0", 7), std::string("\0chat", 5)})
        peer.Send(Message(channel, "forged"));
    const size_t mark = server->Stderr().size();
    peer.Send(Message("where", ""));
    ASSERT_TRUE(server->WaitForStderr("box at", 10000, mark)) << server->Stderr();
    ASSERT_TRUE(peer.Leave());
    ASSERT_TRUE(server->WaitForStderr("left " + id + "\n", 10000)) << server->Stderr();
    EXPECT_EQ(Exit(*server), 0) << server->Stderr();
    const std::string log = server->Stderr();
    EXPECT_EQ(CountHolding(log, "joined " + id), 1) << log;
    EXPECT_EQ(CountHolding(log, "left " + id), 1) << log;
    EXPECT_EQ(CountHolding(log, "peer " + id + " sent a message whose channel holds a zero byte"), 1) << log;
}
