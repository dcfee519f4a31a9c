// Playing over the network: sessions, messages on named channels, and "Model"
// instances shared by the server (the scene's side is in Network.cpp).
#include <string>
#include <vector>

#include "Catalog.h"
#include "Network.h"
#include "World.h"
#include "n3d.h"

namespace World::Api {

// Peers cross as a plain list of numbers.
struct PeerList {
    std::vector<int> peers;
};
template <>
struct Kind<PeerList> {
    static constexpr KindInfo kInfo{"peers", "list of int: peer numbers"};
    static std::any Write(PeerList list) { return std::any(std::move(list.peers)); }
};

// What arrived: each a list of int peer, string channel, string text.
struct Inbox {
    std::vector<Net::Received> messages;
};
template <>
struct Kind<Inbox> {
    static constexpr KindInfo kInfo{"messages", "list of lists: int peer, string channel, string text"};
    static std::any Write(const Inbox& inbox) {
        std::vector<std::any> out;
        out.reserve(inbox.messages.size());
        for (const Net::Received& m : inbox.messages) out.push_back(std::vector<std::any>{m.peer, m.channel, m.text});
        return out;
    }
};

// A connection's figures: round trip (ms), bytes sent and received per second, packets lost (%).
struct NetStats {
    N3D_Stats stats;
};
template <>
struct Kind<NetStats> {
    static constexpr KindInfo kInfo{"stats", "4 floats: round trip (ms), bytes sent per s, bytes received per s, packets lost (%)"};
    static std::any Write(const NetStats& s) {
        return std::vector<std::any>{s.stats.roundTripMs, s.stats.bytesSentPerSecond, s.stats.bytesReceivedPerSecond,
                                     s.stats.packetLossPercent};
    }
};

struct TextList {
    std::vector<std::string> texts;
};
template <>
struct Kind<TextList> {
    static constexpr KindInfo kInfo{"texts", "list of string"};
    static std::any Write(TextList list) {
        std::vector<std::any> out(list.texts.begin(), list.texts.end());
        return out;
    }
};

namespace {

void CheckPort(int port, int position) {
    if (port < 1 || port > 65535)
        throw BadValue("argument " + std::to_string(position) + " (port) " + std::to_string(port) +
                       " is not a UDP port (1 to 65535)");
}

// The session asked for last. A reloaded game runs its init again: asking for the
// session it already has keeps it, so its peers stay connected.
int hostedPort = 0;
std::string joinedAddress;
int joinedPort = 0;

bool Host(int port, int most) {
    CheckPort(port, 0);
    if (most < 1 || most > 4000)
        throw BadValue("argument 1 (most clients) " + std::to_string(most) + " is not 1 to 4000");
    if (N3D_GetState() == N3D_SERVER && port == hostedPort) return true;
    Net::Disconnect();
    hostedPort = port;
    return N3D_Host(port, most);
}

bool Connect(std::string address, int port) {
    if (address.empty()) throw BadValue("argument 0 (address) is empty");
    CheckPort(port, 1);
    const N3D_State state = N3D_GetState();
    if ((state == N3D_CLIENT || state == N3D_CONNECTING) && address == joinedAddress && port == joinedPort) return true;
    Net::Disconnect();
    joinedAddress = address;
    joinedPort = port;
    return N3D_Connect(address.c_str(), port);
}

void Disconnect() { Net::Disconnect(); }

std::string State() {
    switch (N3D_GetState()) {
        case N3D_CONNECTING: return "Connecting";
        case N3D_CLIENT: return "Client";
        case N3D_SERVER: return "Server";
        default: return "Offline";
    }
}

int PeerId() { return N3D_GetPeerId(); }

PeerList Peers() {
    PeerList list;
    list.peers.resize(static_cast<size_t>(N3D_GetPeers(nullptr, 0)));
    list.peers.resize(static_cast<size_t>(N3D_GetPeers(list.peers.data(), static_cast<int>(list.peers.size()))));
    return list;
}

void Send(int peer, std::string channel, std::string text, bool reliable) {
    if (channel.find('\0') != std::string::npos)
        throw BadValue("argument 1 (channel) holds a zero byte; a channel is a name");
    switch (N3D_Send(peer, channel.c_str(), text.data(), static_cast<int>(std::min<size_t>(text.size(), N3D_MAX_MESSAGE + 1)),
                     reliable)) {
        case N3D_OK: return;
        case N3D_NOT_CONNECTED:
            throw BadValue("not connected: NetHost or NetConnect first, and for a client wait for the state \"Client\"");
        case N3D_UNKNOWN_PEER:
            if (Net::Departed(peer)) return;  // left since: the game reads its "Left" soon enough
            throw BadValue("argument 0 (peer) " + std::to_string(peer) + " is not a connected peer (0 sends to every one)");
        case N3D_TOO_LARGE:
            throw BadValue("argument 2 (text) is " + std::to_string(text.size()) + " bytes, more than " +
                           std::to_string(N3D_MAX_MESSAGE));
        case N3D_BAD_CHANNEL:
            throw BadValue("argument 1 (channel) \"" + channel + "\" is not a channel: 1 to " +
                           std::to_string(N3D_MAX_CHANNEL) + " bytes, and not \"Joined\" or \"Left\"");
    }
}

Inbox Receive() { return Inbox{Net::TakeReceived()}; }

NetStats Stats(int peer) {
    NetStats s{};
    N3D_GetStats(peer, &s.stats);  // a peer not connected reads zeros
    return s;
}

void SetSnapshotRate(int rate) {
    if (rate < 1 || rate > 240) throw BadValue("argument 0 (snapshots a second) " + std::to_string(rate) + " is not 1 to 240");
    N3D_Settings settings = N3D_GetSettings();
    settings.snapshotRate = rate;
    N3D_SetSettings(settings);
}

void SetTimeout(float seconds) {
    if (!(seconds >= 1.0f && seconds <= 600.0f))
        throw BadValue("argument 0 (seconds) " + std::to_string(seconds) + " is not 1 to 600");
    N3D_Settings settings = N3D_GetSettings();
    settings.timeoutSeconds = seconds;
    N3D_SetSettings(settings);
}

void SetReplicated(int id, bool on) { Net::SetReplicated(id, on, "Model.SetReplicated"); }
void SetOwner(int id, int peer) { Net::SetOwner(id, peer, "Model.SetOwner"); }
int GetNetworkId(int id) { return Net::NetworkId(id); }
int GetOwner(int id) { return Net::Owner(id); }
int FindModel(int networkId) { return Net::FindModel(networkId); }
bool IsHeadless() { return App::Headless(); }
TextList Arguments() { return TextList{App::Arguments()}; }

}  // namespace

void AddNetworkEntries(Catalog& c) {
    c.push_back(Op("NetHost", Host,
        "Starts a server on that UDP port for at most that many clients; false (with a warning) when the port is "
        "taken. Another session open is closed first; this very one (a reloaded game's init) is kept.",
        {"port, 1 to 65535", "most clients, 1 to 4000"}));
    c.push_back(Op("NetConnect", Connect,
        "Starts joining the server there; false (with a warning) when the address does not resolve. The state is "
        "\"Connecting\" until the server welcomes this peer, then \"Client\"; \"Offline\" again if it never answers. "
        "Joining the server this peer is already joining or joined (a reloaded game's init) keeps the connection.",
        {"address: a name or an IP address", "port"}));
    c.push_back(Func("NetDisconnect", Disconnect,
        "Leaves the session (a server tells its clients); a client's shared instances go with it.", {}));
    c.push_back(Op("NetGetState", State, "\"Offline\", \"Connecting\", \"Client\" or \"Server\".", {}));
    c.push_back(Op("NetGetPeerId", PeerId,
        "This peer's number: 1 on the server, 2, 3, ... on clients in the order they joined; 0 offline.", {}));
    c.push_back(Op("NetGetPeers", Peers,
        "The peers connected now: a server's clients, or a client's server (1).", {}));
    c.push_back(Func("NetSend", Send,
        "Sends the text on the channel. Reliable: arrives once, in order with the channel's other reliable messages. "
        "Unreliable: may be lost, never arrives twice or altered. Refused before connecting, to a peer never "
        "connected, past 16384 bytes, or on \"Joined\"/\"Left\"; to a peer that has left it does nothing.",
        {"peer: 0 for every connected peer", "channel: 1 to 64 bytes", "text: any bytes, up to 16384",
         "reliable"}));
    c.push_back(Op("NetReceive", Receive,
        "What arrived since the last call, in order. A peer joining or leaving (a time-out included) comes on the "
        "channel \"Joined\" or \"Left\" with an empty text.",
        {}));
    c.push_back(Op("NetGetStats", Stats,
        "The connection to that peer: round trip, bytes of packets sent and received over the last second (ENet's "
        "and UDP's headers not counted), reliable packets lost; zeros for a peer not connected.",
        {"peer"}));
    c.push_back(Func("NetSetSnapshotRate", SetSnapshotRate,
        "How many snapshots of the shared instances a server sends each client a second (20 unless set); clients "
        "draw them about two snapshots behind. Takes effect for clients joining later.",
        {"snapshots a second, 1 to 240"}));
    c.push_back(Func("NetSetTimeout", SetTimeout,
        "How long a peer may stay silent before it is dropped (8 s unless set); for connections opened later.",
        {"seconds, 1 to 600"}));
    c.push_back(Func("Model.SetReplicated", SetReplicated,
        "On the server: shares the instance with every client, now and joining later, as an instance of the same "
        "model following its transform, scale, colour and animation; false (or destroying it) removes it from them. "
        "Refused on a client.",
        {"id of a Model instance", "shared"}));
    c.push_back(Func("Model.SetOwner", SetOwner,
        "On the server: that peer's changes to the shared instance are the ones shared (it moves at once on the "
        "owner's screen); 1 gives it back to the server. Changes from any other peer are ignored.",
        {"id of a shared Model instance", "peer"}));
    c.push_back(Op("Model.GetNetworkId", GetNetworkId,
        "The instance's number on every peer; 0 when not shared.", {"id"}));
    c.push_back(Op("Model.GetOwner", GetOwner,
        "The peer whose changes to the shared instance are shared; 0 when not shared.", {"id"}));
    c.push_back(Op("NetFindModel", FindModel,
        "The local instance of that network number; 0 when none is here.", {"network id"}));
    c.push_back(Op("IsHeadless", IsHeadless,
        "Whether the host runs without a window (engine --headless): nothing is drawn or heard.", {}));
    c.push_back(Op("GetArguments", Arguments,
        "The command line's arguments after the program's name, without the host's own (--headless, --fps N).",
        {}));
}

}  // namespace World::Api
