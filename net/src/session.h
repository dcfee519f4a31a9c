// One session on ENet: a server with its clients, or a client of one server.
// The C API drives one of them; a benchmark or test may run several in a process.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "n3d.h"
#include "snapshot.h"

typedef struct _ENetHost ENetHost;
typedef struct _ENetPeer ENetPeer;

namespace n3d {

// What travels first in every packet.
enum MessageType : uint8_t {
    kWelcome = 1,   // server -> client, reliable: protocol, the client's number, the snapshot rate
    kMessage = 2,   // either way: a game's message (channel, then its bytes)
    kSnapshot = 3,  // server -> client, unreliable: sequence, baseline, the one before it predicted from, server time, the world's changes
    kAck = 4,       // client -> server, unreliable: the newest snapshot read
    kOwned = 5      // client -> server, unreliable: states of what the client owns
};

// ENet's connect data: who may join (another protocol is turned away).
constexpr uint32_t kProtocol = 0x564E0001u;
// Why a server turned a peer away (ENet's disconnect data).
enum Refusal : uint32_t { kLeaving = 0, kFull = 1, kOtherProtocol = 2 };

// Snapshots a server keeps: a baseline older than this is no baseline, and the
// whole world is sent instead.
constexpr uint32_t kHistory = 64;
// Snapshots a client keeps. An acknowledgement lost for longer than these cover
// leaves the server coding against one the client dropped; the client reads none
// of those until the server, past its own history, sends the whole world again.
constexpr uint32_t kClientHistory = 32;
// The most snapshots between the two a change is predicted from, and from those to
// the one coded.
constexpr uint32_t kMostPredictionGap = 8;

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Host(int port, int maxClients);
    bool Connect(const char* address, int port);
    void Disconnect();

    N3D_State State() const { return state_; }
    int PeerId() const;
    std::vector<int> Peers() const;
    bool IsPeer(int peer) const;
    bool Stats(int peer, N3D_Stats* stats) const;
    N3D_Result Send(int peer, const char* channel, const void* data, int size, bool reliable);

    void Service(double seconds);
    bool NextEvent(N3D_Event* event);

    N3D_Settings settings{20, 8.0f};

    // Server
    bool SnapshotDue(double seconds) const { return state_ == N3D_SERVER && seconds >= nextSnapshot_; }
    // The shared entities as they stood at `at` (this session's seconds): the
    // snapshot carrying them is stamped with that moment, not with when it is sent.
    void SetEntities(const N3D_Entity* entities, int count, double at);
    const std::vector<N3D_Entity>& OwnedUpdates() const { return owned_; }
    const std::vector<int>& OwnedFrom() const { return ownedFrom_; }
    void ClearOwnedUpdates() { owned_.clear(), ownedFrom_.clear(); }
    // What the server has sent, in bytes of ENet's datagrams (its headers included).
    uint64_t BytesSent() const;  // ENet counts in 32 bits: past 4 GiB it starts again
    uint64_t DatagramsSent() const;

    // Client
    const std::vector<N3D_Entity>& Sample(double seconds);
    void SendOwned(const N3D_Entity* entities, int count);

    // Whatever a peer sends is read by this (exposed for the fuzzer).
    void Receive(int peer, const uint8_t* data, size_t size, double seconds);

private:
    struct Peer {
        ENetPeer* enet = nullptr;
        int id = 0;
        bool welcomed = false;   // a client's server before its welcome is not yet a peer
        uint32_t acked = 0;      // the newest snapshot it read (server side)
        uint32_t ackedBefore = 0;  // the one it read before that: what moved between them is predicted on
        double second = 0;       // when the current second of counting began
        uint64_t outNow = 0, inNow = 0;
        float outRate = 0, inRate = 0;
        bool warnedBad = false, warnedOwner = false;
    };
    struct Snapshot {
        uint32_t seq = 0;
        double time = 0;  // the server's clock, seconds
        World world;
    };
    struct Queued {
        N3D_EventKind kind;
        int peer;
        std::string channel;
        std::string data;
    };

    void Reset();
    Peer* Find(int id);
    const Peer* Find(int id) const;
    void Count(Peer& peer, size_t in, size_t out, double seconds);
    void SendPacket(Peer& peer, const std::vector<uint8_t>& bytes, bool reliable, int channel, double seconds);
    void Warn(Peer& peer, const char* what);
    void OnConnect(ENetPeer* enet, uint32_t data, double seconds);
    void OnDisconnect(ENetPeer* enet, uint32_t data);
    void SendSnapshots(double seconds);
    void ReadWelcome(Peer& from, BitReader& in);
    void ReadSnapshot(Peer& from, BitReader& in, double seconds);
    void ReadOwned(Peer& from, BitReader& in);

    ENetHost* host_ = nullptr;
    N3D_State state_ = N3D_OFFLINE;
    int self_ = 0;
    int maxClients_ = 0;
    int nextPeer_ = 2;
    double now_ = 0;
    double started_ = -1;
    std::map<int, Peer> peers_;  // connected and welcomed, by number
    std::deque<Queued> events_;
    Queued current_;
    bool warnedFull_ = false, warnedProtocol_ = false;
    bool closing_ = false;  // the server left: offline once its events are taken
    bool warnedTooMany_ = false;

    // Server
    World world_;                   // as the game last set it
    double worldAt_ = -1;           // when it stood so (-1: never set)
    bool worldFresh_ = false;       // set since the last snapshot went out
    std::deque<Snapshot> sent_;     // the last kHistory snapshots
    uint32_t seq_ = 0;
    double nextSnapshot_ = 0;
    std::vector<N3D_Entity> owned_;
    std::vector<int> ownedFrom_;

    // Client
    std::map<uint32_t, Snapshot> received_;
    bool haveOffset_ = false;
    double offset_ = 0;             // the server's clock minus ours, smoothed
    std::vector<N3D_Entity> sampled_;
    std::vector<uint8_t> pendingOwned_;
};

}  // namespace n3d
