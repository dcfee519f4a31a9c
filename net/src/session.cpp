#include "session.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <enet/enet.h>

#include "base/Log.h"
#include "raymath.h"

namespace n3d {
namespace {

constexpr int kReliableChannel = 0;
constexpr int kUnreliableChannel = 1;
constexpr size_t kMostPacket = 4u << 20;  // a peer's packet past this is refused by ENet
constexpr uint32_t kMostOwned = 4096;
constexpr double kMostExtrapolation = 0.25;  // seconds a client carries motion on past its newest snapshot

bool StartEnet() {
    static const bool started = [] {
        if (enet_initialize() != 0) return false;
        std::atexit(enet_deinitialize);
        return true;
    }();
    return started;
}

int IdOf(const ENetPeer* peer) { return static_cast<int>(reinterpret_cast<intptr_t>(peer->data)); }

void Timeouts(ENetPeer* peer, const N3D_Settings& settings) {
    const auto most = static_cast<enet_uint32>(settings.timeoutSeconds * 1000.0f);
    enet_peer_timeout(peer, 32, std::min<enet_uint32>(2000, most), most);
}

// No throttle, once connected (it is a command to the other end): ENet drops a share
// of unreliable packets when round trips vary, and on a jittery link that lost whole
// runs of snapshots. They are small and come at a fixed rate: they go as they are.
void Unthrottled(ENetPeer* peer) { enet_peer_throttle_configure(peer, ENET_PEER_PACKET_THROTTLE_INTERVAL, 0, 0); }

bool ReservedChannel(const std::string& channel) { return channel == "Joined" || channel == "Left"; }

}  // namespace

Session::Session() { StartEnet(); }

Session::~Session() { Disconnect(); }

void Session::Reset() {
    if (host_) enet_host_destroy(host_);
    host_ = nullptr;
    state_ = N3D_OFFLINE;
    self_ = 0;
    peers_.clear();
    world_.clear();
    worldAt_ = -1;
    worldFresh_ = false;
    sent_.clear();
    seq_ = 0;
    nextSnapshot_ = 0;
    owned_.clear();
    ownedFrom_.clear();
    received_.clear();
    haveOffset_ = false;
    sampled_.clear();
    started_ = -1;
    closing_ = false;
    warnedFull_ = warnedProtocol_ = warnedTooMany_ = false;
}

bool Session::Host(int port, int maxClients) {
    Disconnect();
    if (!StartEnet()) {
        base::Warn("N3D", "sockets could not be started; playing over the network is off");
        return false;
    }
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    address.port = static_cast<enet_uint16>(port);
    // One place more than the most clients, to turn the next one away with a reason.
    host_ = enet_host_create(&address, static_cast<size_t>(maxClients) + 1, 2, 0, 0);
    if (!host_) {
        base::Warn("N3D", "could not listen on UDP port %d (is another program using it?)", port);
        return false;
    }
    host_->maximumPacketSize = kMostPacket;
    host_->maximumWaitingData = 2 * kMostPacket;
    state_ = N3D_SERVER;
    self_ = N3D_SERVER_PEER;
    maxClients_ = maxClients;
    nextPeer_ = 2;
    return true;
}

bool Session::Connect(const char* address, int port) {
    Disconnect();
    if (!StartEnet()) {
        base::Warn("N3D", "sockets could not be started; playing over the network is off");
        return false;
    }
    ENetAddress to{};
    if (enet_address_set_host(&to, address) != 0) {
        base::Warn("N3D", "could not find the address \"%s\"", address);
        return false;
    }
    to.port = static_cast<enet_uint16>(port);
    host_ = enet_host_create(nullptr, 1, 2, 0, 0);
    if (!host_) {
        base::Warn("N3D", "could not open a UDP socket to join \"%s\"", address);
        return false;
    }
    host_->maximumPacketSize = kMostPacket;
    host_->maximumWaitingData = 2 * kMostPacket;
    ENetPeer* server = enet_host_connect(host_, &to, 2, kProtocol);
    if (!server) {
        Reset();
        return false;
    }
    server->data = reinterpret_cast<void*>(static_cast<intptr_t>(N3D_SERVER_PEER));
    Timeouts(server, settings);
    Peer& peer = peers_[N3D_SERVER_PEER];
    peer.enet = server;
    peer.id = N3D_SERVER_PEER;
    state_ = N3D_CONNECTING;
    return true;
}

void Session::Disconnect() {
    if (!host_) return Reset();
    // Each peer is told; what it does not hear, its time-out tells it.
    for (auto& [id, peer] : peers_) enet_peer_disconnect_now(peer.enet, kLeaving);
    enet_host_flush(host_);
    Reset();
    events_.clear();
}

int Session::PeerId() const {
    return state_ == N3D_SERVER || state_ == N3D_CLIENT ? self_ : 0;
}

std::vector<int> Session::Peers() const {
    std::vector<int> ids;
    for (const auto& [id, peer] : peers_)
        if (peer.welcomed) ids.push_back(id);
    return ids;
}

Session::Peer* Session::Find(int id) {
    auto it = peers_.find(id);
    return it == peers_.end() || !it->second.welcomed ? nullptr : &it->second;
}

const Session::Peer* Session::Find(int id) const {
    auto it = peers_.find(id);
    return it == peers_.end() || !it->second.welcomed ? nullptr : &it->second;
}

bool Session::IsPeer(int peer) const { return Find(peer) != nullptr; }

bool Session::Stats(int id, N3D_Stats* stats) const {
    const Peer* peer = Find(id);
    if (!peer) return false;
    stats->roundTripMs = static_cast<float>(peer->enet->roundTripTime);
    stats->packetLossPercent = 100.0f * static_cast<float>(peer->enet->packetLoss) / ENET_PEER_PACKET_LOSS_SCALE;
    stats->bytesSentPerSecond = peer->outRate;
    stats->bytesReceivedPerSecond = peer->inRate;
    return true;
}

uint64_t Session::BytesSent() const { return host_ ? host_->totalSentData : 0; }
uint64_t Session::DatagramsSent() const { return host_ ? host_->totalSentPackets : 0; }

void Session::Count(Peer& peer, size_t in, size_t out, double seconds) {
    if (peer.second == 0) peer.second = seconds;
    if (seconds - peer.second >= 1.0) {
        const double span = seconds - peer.second;
        peer.outRate = static_cast<float>(peer.outNow / span);
        peer.inRate = static_cast<float>(peer.inNow / span);
        peer.outNow = peer.inNow = 0;
        peer.second = seconds;
    }
    peer.inNow += in;
    peer.outNow += out;
}

void Session::SendPacket(Peer& peer, const std::vector<uint8_t>& bytes, bool reliable, int channel, double seconds) {
    // Unreliable packets past one datagram go as unreliable fragments: ENet would
    // otherwise send them reliably, and a lost piece would hold up the rest.
    const enet_uint32 flags = reliable ? ENET_PACKET_FLAG_RELIABLE : ENET_PACKET_FLAG_UNRELIABLE_FRAGMENT;
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), flags);
    if (!packet) return;
    if (enet_peer_send(peer.enet, static_cast<enet_uint8>(channel), packet) < 0) {
        enet_packet_destroy(packet);
        return;
    }
    Count(peer, 0, bytes.size(), seconds);
}

N3D_Result Session::Send(int to, const char* channel, const void* data, int size, bool reliable) {
    if (state_ != N3D_SERVER && state_ != N3D_CLIENT) return N3D_NOT_CONNECTED;
    const std::string name = channel ? channel : "";
    if (name.empty() || name.size() > N3D_MAX_CHANNEL || ReservedChannel(name)) return N3D_BAD_CHANNEL;
    if (size < 0 || size > N3D_MAX_MESSAGE) return N3D_TOO_LARGE;
    if (to != 0 && !Find(to)) return N3D_UNKNOWN_PEER;
    std::vector<uint8_t> bytes;
    bytes.reserve(2 + name.size() + static_cast<size_t>(size));
    bytes.push_back(kMessage);
    bytes.push_back(static_cast<uint8_t>(name.size()));
    bytes.insert(bytes.end(), name.begin(), name.end());
    if (size > 0) bytes.insert(bytes.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    for (auto& [id, peer] : peers_)
        if (peer.welcomed && (to == 0 || to == id))
            SendPacket(peer, bytes, reliable, reliable ? kReliableChannel : kUnreliableChannel, now_);
    enet_host_flush(host_);  // now, not at the next frame: a reply within a frame is possible
    return N3D_OK;
}

void Session::Warn(Peer& peer, const char* what) {
    if (peer.warnedBad) return;
    peer.warnedBad = true;
    base::Warn("N3D", "peer %d sent %s; it is ignored, as is anything else unreadable it sends", peer.id, what);
}

void Session::OnConnect(ENetPeer* enet, uint32_t data, double seconds) {
    if (state_ == N3D_CONNECTING) return Unthrottled(enet);  // the server answered: its welcome comes next
    if (state_ != N3D_SERVER) return;
    enet->data = nullptr;
    if (data != kProtocol) {
        if (!warnedProtocol_)
            base::Warn("N3D", "a peer speaking another protocol (%08x) was turned away (reported once)", data);
        warnedProtocol_ = true;
        enet_peer_disconnect_now(enet, kOtherProtocol);
        return;
    }
    if (static_cast<int>(Peers().size()) >= maxClients_) {
        if (!warnedFull_)
            base::Warn("N3D", "a peer was turned away: the server holds its most clients (%d); reported once",
                       maxClients_);
        warnedFull_ = true;
        enet_peer_disconnect_now(enet, kFull);
        return;
    }
    const int id = nextPeer_++;
    enet->data = reinterpret_cast<void*>(static_cast<intptr_t>(id));
    Timeouts(enet, settings);
    Unthrottled(enet);
    Peer& peer = peers_[id];
    peer.enet = enet;
    peer.id = id;
    peer.welcomed = true;
    BitWriter welcome;
    welcome.Byte(kWelcome);
    welcome.Byte(static_cast<uint8_t>(kProtocol & 0xff));
    welcome.Small(static_cast<uint32_t>(id));
    welcome.Small(static_cast<uint32_t>(settings.snapshotRate));
    SendPacket(peer, welcome.Bytes(), true, kReliableChannel, seconds);
    events_.push_back({N3D_EVENT_JOINED, id, "Joined", ""});
}

void Session::OnDisconnect(ENetPeer* enet, uint32_t data) {
    const int id = IdOf(enet);
    if (state_ == N3D_SERVER) {
        auto it = peers_.find(id);
        if (id == 0 || it == peers_.end()) return;  // one turned away
        peers_.erase(it);
        events_.push_back({N3D_EVENT_LEFT, id, "Left", ""});
        return;
    }
    if (state_ == N3D_CLIENT) {
        events_.push_back({N3D_EVENT_LEFT, N3D_SERVER_PEER, "Left", ""});
    } else {
        const char* why = data == kFull             ? "the server holds its most clients"
                          : data == kOtherProtocol ? "the server runs another version of the engine"
                                                   : "no answer";
        base::Warn("N3D", "could not join the server: %s", why);
    }
    closing_ = true;
}

void Session::Service(double seconds) {
    if (!host_) return;
    now_ = seconds;
    if (started_ < 0) started_ = seconds;
    ENetEvent event;
    while (host_ && enet_host_service(host_, &event, 0) > 0) {
        switch (event.type) {
            case ENET_EVENT_TYPE_CONNECT: OnConnect(event.peer, event.data, seconds); break;
            case ENET_EVENT_TYPE_DISCONNECT: OnDisconnect(event.peer, event.data); break;
            case ENET_EVENT_TYPE_RECEIVE:
                Receive(IdOf(event.peer), event.packet->data, event.packet->dataLength, seconds);
                enet_packet_destroy(event.packet);
                break;
            default: break;
        }
        if (closing_) break;
    }
    if (closing_) {
        auto events = std::move(events_);
        Reset();
        events_ = std::move(events);
        return;
    }
    const double interval = 1.0 / settings.snapshotRate;
    // A due snapshot waits for the game's next state, so that it never repeats one already
    // sent in its place; a game that stops setting states gets the last one sent again,
    // at half the rate.
    if (state_ == N3D_SERVER && seconds >= nextSnapshot_ && (worldFresh_ || seconds >= nextSnapshot_ + interval)) {
        SendSnapshots(seconds);
        nextSnapshot_ = nextSnapshot_ + interval < seconds ? seconds + interval : nextSnapshot_ + interval;
    }
    for (auto& [id, peer] : peers_) Count(peer, 0, 0, seconds);
    enet_host_flush(host_);
}

bool Session::NextEvent(N3D_Event* event) {
    if (events_.empty()) return false;
    current_ = std::move(events_.front());
    events_.pop_front();
    event->kind = current_.kind;
    event->peer = current_.peer;
    event->channel = current_.channel.c_str();
    event->data = current_.data.data();
    event->size = static_cast<int>(current_.data.size());
    return true;
}

void Session::Receive(int id, const uint8_t* data, size_t size, double seconds) {
    auto it = peers_.find(id);
    if (id == 0 || it == peers_.end()) return;
    Peer& peer = it->second;
    Count(peer, size, 0, seconds);
    if (size == 0) return Warn(peer, "an empty packet");
    BitReader in(data + 1, size - 1);
    switch (data[0]) {
        case kWelcome:
            if (state_ != N3D_CONNECTING) return Warn(peer, "a welcome it had no business sending");
            return ReadWelcome(peer, in);
        case kMessage: {
            if (state_ == N3D_CONNECTING) return;  // its welcome was lost: the server sends it again
            if (!peer.welcomed) return Warn(peer, "a message before its welcome");
            const size_t length = size >= 2 ? data[1] : 0;
            if (length == 0 || length > N3D_MAX_CHANNEL || size < 2 + length || size - 2 - length > N3D_MAX_MESSAGE)
                return Warn(peer, "a message that does not read");
            // A zero byte would cut the name short where a game reads it ("Left\0x" as "Left").
            if (std::memchr(data + 2, 0, length)) return Warn(peer, "a message whose channel holds a zero byte");
            std::string channel(reinterpret_cast<const char*>(data + 2), length);
            if (ReservedChannel(channel)) return Warn(peer, "a message on a channel of the engine's own");
            events_.push_back({N3D_EVENT_MESSAGE, peer.id, std::move(channel),
                               std::string(reinterpret_cast<const char*>(data + 2 + length), size - 2 - length)});
            return;
        }
        case kSnapshot:
            if (state_ == N3D_CONNECTING) return;  // as above: snapshots can outrun a lost welcome
            if (state_ != N3D_CLIENT) return Warn(peer, "a snapshot, which only a server sends");
            return ReadSnapshot(peer, in, seconds);
        case kAck: {
            if (state_ != N3D_SERVER) return Warn(peer, "an acknowledgement, which only a client sends");
            const uint32_t seq = in.Small();
            if (in.failed || seq > seq_) return Warn(peer, "an acknowledgement that does not read");
            if (seq > peer.acked) peer.ackedBefore = peer.acked, peer.acked = seq;
            return;
        }
        case kOwned:
            if (state_ != N3D_SERVER) return Warn(peer, "changes of what it owns, which only a client sends");
            return ReadOwned(peer, in);
        default: return Warn(peer, "a packet of an unknown kind");
    }
}

void Session::ReadWelcome(Peer& from, BitReader& in) {
    const uint8_t protocol = in.Byte();
    const uint32_t id = in.Small();
    const uint32_t rate = in.Small();
    if (in.failed || protocol != (kProtocol & 0xff) || id < 2 || id > INT32_MAX || rate < 1 || rate > 240)
        return Warn(from, "a welcome that does not read");
    self_ = static_cast<int>(id);
    settings.snapshotRate = static_cast<int>(rate);
    from.welcomed = true;
    state_ = N3D_CLIENT;
    events_.push_back({N3D_EVENT_JOINED, N3D_SERVER_PEER, "Joined", ""});
}

void Session::SetEntities(const N3D_Entity* entities, int count, double at) {
    worldAt_ = at;
    worldFresh_ = true;
    world_.clear();
    world_.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        if (entities[i].id > 0) world_.push_back(Quantise(entities[i]));
    std::sort(world_.begin(), world_.end(), [](const QState& a, const QState& b) { return a.id < b.id; });
    world_.erase(std::unique(world_.begin(), world_.end(), [](const QState& a, const QState& b) { return a.id == b.id; }),
                 world_.end());
    if (world_.size() > kMostEntities) {
        if (!warnedTooMany_)
            base::Warn("N3D", "%zu entities are shared; clients are sent the first %u (by network id) only",
                       world_.size(), kMostEntities);
        warnedTooMany_ = true;
        world_.resize(kMostEntities);
    }
}

void Session::SendSnapshots(double seconds) {
    Snapshot snapshot;
    snapshot.seq = ++seq_;
    // Stamped with the moment its positions held: a server held up between setting and
    // sending would otherwise show its clients a state later than it was, and they would
    // carry motion on at a wrong speed and jump back. Never before the last stamp, nor
    // past now.
    const double last = sent_.empty() ? 0.0 : sent_.back().time;
    const double at = worldAt_ < 0 ? seconds : std::min(worldAt_, seconds);
    snapshot.time = std::max(at - started_, last);
    worldFresh_ = false;
    snapshot.world = world_;
    sent_.push_back(std::move(snapshot));
    if (sent_.size() > kHistory) sent_.pop_front();
    const Snapshot& now = sent_.back();
    const uint32_t oldest = sent_.front().seq;
    // Clients that acknowledged the same snapshots get the same bytes: each is coded once.
    std::map<std::pair<uint32_t, uint32_t>, std::vector<uint8_t>> coded;
    for (auto& [id, peer] : peers_) {
        if (!peer.welcomed) continue;
        const uint32_t base = peer.acked >= oldest && peer.acked < now.seq ? peer.acked : 0;
        // Predicting from a snapshot far back guesses badly; then the baseline alone serves.
        const uint32_t prior = base != 0 && peer.ackedBefore >= oldest && peer.ackedBefore < base &&
                                       base - peer.ackedBefore <= kMostPredictionGap && now.seq - base <= kMostPredictionGap
                                   ? peer.ackedBefore
                                   : 0;
        auto it = coded.find({base, prior});
        if (it == coded.end()) {
            BitWriter out;
            out.Byte(kSnapshot);
            out.Small(now.seq);
            out.Small(base);
            out.Small(prior);
            out.Bits(static_cast<uint32_t>(std::llround(now.time * 1000.0)), 32);
            Prediction prediction;
            if (prior != 0) {
                prediction.prior = &sent_[prior - oldest].world;
                prediction.back = static_cast<int32_t>(base - prior);
                prediction.ahead = static_cast<int32_t>(now.seq - base);
            }
            EncodeWorld(base ? &sent_[base - oldest].world : nullptr, prediction, now.world, out);
            it = coded.emplace(std::make_pair(base, prior), std::move(out.Bytes())).first;
        }
        SendPacket(peer, it->second, false, kUnreliableChannel, seconds);
    }
}

void Session::ReadSnapshot(Peer& from, BitReader& in, double seconds) {
    const uint32_t seq = in.Small();
    const uint32_t base = in.Small();
    const uint32_t prior = in.Small();
    const double time = in.Bits(32) / 1000.0;
    if (in.failed || seq == 0 || base >= seq || (prior != 0 && (base == 0 || prior >= base)) ||
        (prior != 0 && (base - prior > kMostPredictionGap || seq - base > kMostPredictionGap)))
        return Warn(from, "a snapshot that does not read");
    if (received_.count(seq)) return;
    const uint32_t newest = received_.empty() ? 0 : received_.rbegin()->first;
    if (uint64_t{seq} + kClientHistory < newest) return;  // far too late to matter
    const World* baseline = nullptr;
    if (base != 0) {
        auto it = received_.find(base);
        if (it == received_.end()) return;  // coded against one this client no longer holds; a later one will do
        baseline = &it->second.world;
    }
    Prediction prediction;
    if (prior != 0) {
        auto it = received_.find(prior);
        if (it == received_.end()) return;  // as for a baseline no longer held
        prediction.prior = &it->second.world;
        prediction.back = static_cast<int32_t>(base - prior);
        prediction.ahead = static_cast<int32_t>(seq - base);
    }
    Snapshot snapshot;
    snapshot.seq = seq;
    snapshot.time = time;
    if (!DecodeWorld(baseline, prediction, in, &snapshot.world)) return Warn(from, "a snapshot that does not read");
    received_.emplace(seq, std::move(snapshot));
    while (received_.size() > kClientHistory) received_.erase(received_.begin());
    if (seq > newest) {
        const double sample = time - seconds;
        if (!haveOffset_ || std::fabs(sample - offset_) > 1.0) offset_ = sample;
        else offset_ += (sample - offset_) * 0.05;
        haveOffset_ = true;
    }
    BitWriter ack;
    ack.Byte(kAck);
    ack.Small(std::max(seq, newest));
    SendPacket(from, ack.Bytes(), false, kUnreliableChannel, seconds);
}

void Session::ReadOwned(Peer& from, BitReader& in) {
    const uint32_t count = in.Small();
    if (in.failed || count > kMostOwned) return Warn(from, "changes that do not read");
    for (uint32_t i = 0; i < count; ++i) {
        QState state;
        if (!DecodeState(in, &state)) return Warn(from, "changes that do not read");
        const QState* it = FindState(&world_, state.id);
        if (!it || it->owner != from.id) {
            if (!from.warnedOwner)
                base::Warn("N3D",
                           "peer %d sent changes to network id %d, which it does not own; they are ignored "
                           "(reported once a peer)",
                           from.id, state.id);
            from.warnedOwner = true;
            continue;
        }
        state.owner = it->owner;
        state.model = it->model;
        state.name = it->name;
        N3D_Entity entity = Restore(state);
        bool replaced = false;
        for (size_t k = 0; k < owned_.size(); ++k)
            if (owned_[k].id == entity.id) owned_[k] = entity, replaced = true;
        if (!replaced) {
            owned_.push_back(entity);
            ownedFrom_.push_back(from.id);
        }
    }
}

void Session::SendOwned(const N3D_Entity* entities, int count) {
    Peer* server = state_ == N3D_CLIENT ? Find(N3D_SERVER_PEER) : nullptr;
    if (!server || count <= 0) return;
    BitWriter out;
    out.Byte(kOwned);
    out.Small(static_cast<uint32_t>(std::min<uint32_t>(static_cast<uint32_t>(count), kMostOwned)));
    for (int i = 0; i < count && static_cast<uint32_t>(i) < kMostOwned; ++i) EncodeState(Quantise(entities[i]), out);
    SendPacket(*server, out.Bytes(), false, kUnreliableChannel, now_);
}

namespace {

// A playback carried on by `seconds` (negative: back).
N3D_Animation Advanced(N3D_Animation a, float seconds) {
    a.time += a.speed * seconds;
    if (a.fading) {
        a.fromTime += a.speed * seconds;
        a.faded = std::clamp(a.faded + seconds, 0.0f, a.fadeLength);
    }
    return a;
}


}  // namespace

const std::vector<N3D_Entity>& Session::Sample(double seconds) {
    sampled_.clear();
    if (state_ != N3D_CLIENT || received_.empty()) return sampled_;
    // About two snapshots behind the server: one lost or late still leaves one to move towards.
    const double render = seconds + offset_ - 2.0 / settings.snapshotRate;
    auto after = received_.upper_bound(0);
    while (after != received_.end() && after->second.time <= render) ++after;
    if (after == received_.begin()) {
        for (const QState& s : after->second.world) sampled_.push_back(Restore(s));
        return sampled_;
    }
    const Snapshot& a = std::prev(after)->second;
    if (after != received_.end()) {
        const Snapshot& b = after->second;
        const float alpha = static_cast<float>(std::clamp((render - a.time) / std::max(b.time - a.time, 1e-6), 0.0, 1.0));
        const Snapshot& nearer = alpha < 0.5f ? a : b;
        for (const QState& s : b.world) {
            N3D_Entity e = Restore(s);
            const QState* was = FindState(&a.world, s.id);
            if (was && was->model == s.model) {
                const N3D_Entity from = Restore(*was);
                e.position = Vector3Lerp(from.position, e.position, alpha);
                e.rotation = QuaternionSlerp(from.rotation, e.rotation, alpha);
                e.scale = Vector3Lerp(from.scale, e.scale, alpha);
                const QState* at = FindState(&nearer.world, s.id);
                if (at) e.animation = Advanced(Restore(*at).animation, static_cast<float>(render - nearer.time));
            }
            sampled_.push_back(e);
        }
        return sampled_;
    }
    // Past the newest snapshot: motion carries on briefly, then holds.
    // Its speed from the newest snapshot of an earlier moment: one sent again carries its time.
    const Snapshot* before = nullptr;
    for (auto it = std::prev(after); it != received_.begin();) {
        --it;
        if (it->second.time < a.time) {
            before = &it->second;
            break;
        }
    }
    const float ahead = static_cast<float>(std::min(render - a.time, kMostExtrapolation));
    for (const QState& s : a.world) {
        N3D_Entity e = Restore(s);
        const QState* was = before ? FindState(&before->world, s.id) : nullptr;
        const double span = before ? a.time - before->time : 0;
        if (was && span > 0 && span <= 0.5) {
            const Vector3 from = Restore(*was).position;
            e.position = Vector3Add(e.position, Vector3Scale(Vector3Subtract(e.position, from), ahead / static_cast<float>(span)));
        }
        e.animation = Advanced(e.animation, ahead);
        sampled_.push_back(e);
    }
    return sampled_;
}

}  // namespace n3d
