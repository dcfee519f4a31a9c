/**********************************************************************************************
*
*   n3d - Vantor's network layer, a C API on ENet
*
*   What it does:
*     - one session at a time: a server that clients join ("N3D_Host"), or a client of one
*       ("N3D_Connect"); peers are numbered 1 for the server and 2, 3, ... for clients in
*       the order they join (a number is never given twice in a server's life)
*     - messages on named channels, reliable (arrive once, in order) or unreliable (may be
*       lost, never duplicated or altered), up to N3D_MAX_MESSAGE bytes of any content
*     - joins and leaves (time-outs included) as events, in order with the messages
*     - shared entities: the server hands it the state of numbered entities; each client
*       gets snapshots at a fixed rate, quantised and delta-compressed against the last
*       snapshot that client acknowledged, and samples them about two snapshots behind,
*       interpolated; the owner of an entity sends its state to the server instead
*
*   It knows nothing of the scene: an entity is a number with a model name, a name, a
*   transform, a colour and an animation's playback. Every packet a peer sends is read
*   with bounds checks; what does not read is dropped with one warning per peer.
*   ENet's headers are included here only.
*
*   Usage (server):
*     N3D_Host(port, 8);
*     every frame: if (N3D_SnapshotDue()) N3D_SetEntities(all, n, 0); N3D_Service(); ... N3D_NextEvent(&e) ...
*   Usage (client):
*     N3D_Connect("example.org", port);
*     every frame: N3D_Service(); ... N3D_SampleEntities(&list) ... N3D_SendOwned(&mine, 1)
*
**********************************************************************************************/
#ifndef N3D_H
#define N3D_H

#include <stdbool.h>
#include <stddef.h>
#include "raylib.h"     // Required for: Vector3, Quaternion

#ifdef __cplusplus
extern "C" {
#endif

#define N3D_MAX_MESSAGE 16384   // bytes of a message's text
#define N3D_MAX_CHANNEL 64      // bytes of a channel's name
#define N3D_MAX_NAME 128        // bytes of an entity's model name and name, the terminator included
#define N3D_SERVER_PEER 1

typedef enum N3D_State {
    N3D_OFFLINE = 0,
    N3D_CONNECTING = 1,  // a client waiting for the server's welcome
    N3D_CLIENT = 2,
    N3D_SERVER = 3
} N3D_State;

typedef enum N3D_Result {
    N3D_OK = 0,
    N3D_NOT_CONNECTED,  // no session, or a client not yet welcomed
    N3D_UNKNOWN_PEER,   // no peer of that number is connected
    N3D_TOO_LARGE,      // text past N3D_MAX_MESSAGE
    N3D_BAD_CHANNEL     // empty, past N3D_MAX_CHANNEL, or "Joined"/"Left" (the events' own)
} N3D_Result;

typedef enum N3D_EventKind {
    N3D_EVENT_JOINED = 0,
    N3D_EVENT_LEFT = 1,
    N3D_EVENT_MESSAGE = 2
} N3D_EventKind;

typedef struct N3D_Event {
    N3D_EventKind kind;
    int peer;
    const char* channel;  // "Joined" and "Left" for those events
    const char* data;     // valid until the next N3D_NextEvent or N3D_Service
    int size;
} N3D_Event;

typedef struct N3D_Animation {
    int clip;           // -1: the rest pose
    float time;         // seconds into it
    float speed;
    bool loop;
    bool fading;        // from the clip below
    int from;
    float fromTime;
    bool fromLoop;
    float fadeLength;
    float faded;
} N3D_Animation;

typedef struct N3D_Entity {
    int id;             // the network id, 1 or more, the same on every peer
    int owner;          // the peer whose changes are shared (1: the server)
    char model[N3D_MAX_NAME];
    char name[N3D_MAX_NAME];
    Vector3 position;
    Quaternion rotation;
    Vector3 scale;
    unsigned char color[4];
    N3D_Animation animation;
} N3D_Entity;

typedef struct N3D_Stats {
    float roundTripMs;
    float bytesSentPerSecond;      // what this peer's traffic came to over the last second
    float bytesReceivedPerSecond;
    float packetLossPercent;
} N3D_Stats;

typedef struct N3D_Settings {
    int snapshotRate;       // snapshots a second a server sends (20)
    float timeoutSeconds;   // a silent peer is dropped after this (8; at least 2 s of tries first)
} N3D_Settings;

// -- The session ---------------------------------------------------------------------

bool N3D_Init(void);                       // false (with a warning) when sockets cannot start
void N3D_Close(void);
N3D_Settings N3D_GetSettings(void);
void N3D_SetSettings(N3D_Settings settings);  // out-of-range values are clamped

// Starts a server listening on `port` (1-65535) on every address, for at most `maxClients`
// (1-4000). false with a warning naming the reason when the port is taken; an existing
// session is closed first.
bool N3D_Host(int port, int maxClients);
// Starts joining the server at `address` (a name or an IP address). false with a warning
// when the name does not resolve.
bool N3D_Connect(const char* address, int port);
// Ends the session: the peers are told, then it is offline at once.
void N3D_Disconnect(void);

N3D_State N3D_GetState(void);
int N3D_GetPeerId(void);                   // 1 on the server, the client's own number, 0 offline
int N3D_GetPeers(int* peers, int most);    // how many are connected; up to `most` written
bool N3D_IsPeer(int peer);
bool N3D_GetStats(int peer, N3D_Stats* stats);  // false for no such peer

// Sends `size` bytes on `channel` to `peer` (0: every connected peer).
N3D_Result N3D_Send(int peer, const char* channel, const void* data, int size, bool reliable);

// Takes what arrived and sends what is due (snapshots, acknowledgements). Call once a
// frame; the session keeps its own steady clock.
void N3D_Service(void);
// The next join, leave or message since the last call, in order of arrival.
bool N3D_NextEvent(N3D_Event* event);

// -- Shared entities -----------------------------------------------------------------

// Server: whether the next N3D_Service sends a snapshot (the entities need setting first).
bool N3D_SnapshotDue(void);
// Server: the state of every shared entity (in any order) as it stood `age` seconds ago:
// a game that moves things by its frame's time passes the time since its frame began.
// The next snapshot sends it, stamped with that moment; a due snapshot waits for it. An
// id left out is removed on the clients.
void N3D_SetEntities(const N3D_Entity* entities, int count, double age);
// Server: states that owners sent since the last call, for entities they own (by the
// last N3D_SetEntities). Valid until the next call or N3D_Service.
int N3D_TakeOwnedUpdates(const N3D_Entity** updates, const int** fromPeers);

// Client: every shared entity as seen about two snapshots behind the server, interpolated
// (extrapolated briefly past a lost snapshot). Valid until the next call.
int N3D_SampleEntities(const N3D_Entity** entities);
// Client: the states of entities this client owns, sent to the server unreliably.
void N3D_SendOwned(const N3D_Entity* entities, int count);

#ifdef __cplusplus
}
#endif

#endif  // N3D_H
