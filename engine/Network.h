// Playing over the network: the scene's side of the network layer (n3d.h).
//
// On a server, "Model" instances the game shares are handed to the layer as
// entities every snapshot: their model's buffer name, name, transform, scale,
// colour and animation. On a client, the layer's interpolated entities become
// "Model" instances of the same buffer, created, moved and destroyed here; the
// ones this client owns are moved by its game instead, and their state goes
// back to the server, which takes it from their owner only.
#pragma once

#include <string>
#include <vector>

namespace World::Net {

// One message or event as "NetReceive" hands it over.
struct Received {
    int peer;
    std::string channel;
    std::string text;
};

// Once a frame, before the game's tick: the server's last snapshot sent, what
// arrived, owners' changes applied; on a client, the shared instances placed.
void Update();
// Once a frame, after the tick: on a server with a snapshot due, the shared
// instances handed over as the scene stood `age` seconds ago (the frame's start,
// which the tick and the bodies have moved everything on to).
void Share(double age);
// What arrived since the last call, in order (joins and leaves included).
std::vector<Received> TakeReceived();

// The server's sharing of one "Model" instance (also before hosting, kept for when it
// hosts); a BadValue naming `entry` for what is no Model or a client's call.
void SetReplicated(int id, bool on, const char* entry);
void SetOwner(int id, int peer, const char* entry);
int NetworkId(int id);    // 0 when not shared
int Owner(int id);        // the peer whose changes are shared (0 when not shared)
int FindModel(int networkId);  // the local instance (0 when none)

// Whether `peer` was connected in this session and has left (its number is never given
// again): sending to it, or giving it an instance, does nothing.
bool Departed(int peer);

// Ends the session; a client's shared instances go with it.
void Disconnect();

}  // namespace World::Net
