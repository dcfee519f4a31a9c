// The C API over one session, on the layer's own steady clock.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "n3d.h"
#include "session.h"

namespace {

std::unique_ptr<n3d::Session> session;

double Now() {
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

n3d::Session& Current() {
    if (!session) session = std::make_unique<n3d::Session>();
    return *session;
}

}  // namespace

extern "C" {

bool N3D_Init(void) {
    Current();
    return true;
}

void N3D_Close(void) { session.reset(); }

N3D_Settings N3D_GetSettings(void) { return Current().settings; }

void N3D_SetSettings(N3D_Settings settings) {
    if (settings.snapshotRate < 1) settings.snapshotRate = 1;
    if (settings.snapshotRate > 240) settings.snapshotRate = 240;
    if (!(settings.timeoutSeconds >= 1.0f)) settings.timeoutSeconds = 1.0f;
    if (settings.timeoutSeconds > 600.0f) settings.timeoutSeconds = 600.0f;
    Current().settings = settings;
}

bool N3D_Host(int port, int maxClients) {
    if (port < 1 || port > 65535 || maxClients < 1 || maxClients > 4000) return false;
    return Current().Host(port, maxClients);
}

bool N3D_Connect(const char* address, int port) {
    if (!address || !*address || port < 1 || port > 65535) return false;
    return Current().Connect(address, port);
}

void N3D_Disconnect(void) { Current().Disconnect(); }
N3D_State N3D_GetState(void) { return Current().State(); }
int N3D_GetPeerId(void) { return Current().PeerId(); }

int N3D_GetPeers(int* peers, int most) {
    const std::vector<int> ids = Current().Peers();
    for (int i = 0; i < most && i < static_cast<int>(ids.size()); ++i) peers[i] = ids[i];
    return static_cast<int>(ids.size());
}

bool N3D_IsPeer(int peer) { return Current().IsPeer(peer); }
bool N3D_GetStats(int peer, N3D_Stats* stats) { return stats && Current().Stats(peer, stats); }

N3D_Result N3D_Send(int peer, const char* channel, const void* data, int size, bool reliable) {
    return Current().Send(peer, channel, data, size, reliable);
}

void N3D_Service(void) { Current().Service(Now()); }
bool N3D_NextEvent(N3D_Event* event) { return event && Current().NextEvent(event); }
bool N3D_SnapshotDue(void) { return Current().SnapshotDue(Now()); }
void N3D_SetEntities(const N3D_Entity* entities, int count, double age) {
    // A nonsense age is taken as now: the stamp then errs by a frame at most.
    const double ago = std::isfinite(age) ? std::clamp(age, 0.0, 1.0) : 0.0;
    Current().SetEntities(entities, count, Now() - ago);
}

int N3D_TakeOwnedUpdates(const N3D_Entity** updates, const int** fromPeers) {
    n3d::Session& s = Current();
    // Handed out once: the next call (or service) starts afresh.
    static std::vector<N3D_Entity> taken;
    static std::vector<int> from;
    taken = s.OwnedUpdates();
    from = s.OwnedFrom();
    s.ClearOwnedUpdates();
    *updates = taken.data();
    *fromPeers = from.data();
    return static_cast<int>(taken.size());
}

int N3D_SampleEntities(const N3D_Entity** entities) {
    const std::vector<N3D_Entity>& sampled = Current().Sample(Now());
    *entities = sampled.data();
    return static_cast<int>(sampled.size());
}

void N3D_SendOwned(const N3D_Entity* entities, int count) { Current().SendOwned(entities, count); }

}  // extern "C"
