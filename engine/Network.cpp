#include "Network.h"

#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "Instance.h"
#include "World.h"
#include "api/Catalog.h"
#include "api/Lookup.h"
#include "base/Log.h"
#include "n3d.h"

namespace World::Net {
namespace {

struct Shared {
    int networkId = 0;
    int owner = N3D_SERVER_PEER;
};

// Server: shared instances by local id, and the way back.
std::map<int, Shared> shared;
std::unordered_map<int, int> sharedByNetworkId;
int nextNetworkId = 1;

// Client: each entity's local instance, and the way back.
std::unordered_map<int, int> replicas;        // network id -> local id
std::unordered_map<int, int> replicaOwners;   // network id -> owner
std::unordered_map<int, int> replicaByLocal;  // local id -> network id
std::unordered_set<std::string> warnedModels, warnedFull;
// Peers that left this session. Numbers are never given twice, so one of these is
// gone for good: what a game sends it, having not yet read its "Left", is dropped.
std::unordered_set<int> departed;

std::vector<Received> inbox;
size_t inboxBytes = 0;
bool warnedInbox = false;
// A game that never takes its messages must not grow the host without bound.
constexpr size_t kMostInboxBytes = 64u << 20;

std::vector<N3D_Entity> scratch;

Instance* ModelInstance(int id) {
    auto it = Instances.find(id);
    return it != Instances.end() && it->second.Type == "Model" ? &it->second : nullptr;
}

void CopyText(char* to, const std::string& from) {
    const size_t n = std::min(from.size(), static_cast<size_t>(N3D_MAX_NAME - 1));
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

// What an instance shows, as an entity.
bool Describe(int id, N3D_Entity* e) {
    Instance* inst = ModelInstance(id);
    if (!inst) return false;
    const CFrame* cframe = Api::FindVariable<CFrame>(id, "CFrame");
    const Vector3* scale = Api::FindVariable<Vector3>(id, "Scale");
    const Color* color = Api::FindVariable<Color>(id, "Color");
    const std::string* model = Api::FindVariable<std::string>(id, "Tied Model");
    if (!cframe || !scale || !color || !model) return false;
    CopyText(e->model, *model);
    CopyText(e->name, inst->Name);
    e->position = cframe->Position;
    e->rotation = cframe->Rotation;
    e->scale = *scale;
    e->color[0] = color->r, e->color[1] = color->g, e->color[2] = color->b, e->color[3] = color->a;
    auto player = Animation::Players.find(id);
    N3D_Animation& a = e->animation;
    a = N3D_Animation{-1, 0, 1, false, false, -1, 0, false, 0, 0};
    if (player != Animation::Players.end()) {
        const Animation::Player& p = player->second;
        a = N3D_Animation{p.clip, p.time, p.speed, p.loop, p.fading, p.from, p.fromTime, p.fromLoop, p.fadeLength, p.faded};
    }
    return true;
}

// Puts an entity's state on a "Model" instance.
void Apply(int id, const N3D_Entity& e) {
    if (!ModelInstance(id)) return;
    if (CFrame* cframe = Api::FindVariable<CFrame>(id, "CFrame")) {
        cframe->Position = e.position;
        cframe->Rotation = e.rotation;
    }
    if (Vector3* scale = Api::FindVariable<Vector3>(id, "Scale")) *scale = e.scale;
    if (Color* color = Api::FindVariable<Color>(id, "Color")) *color = Color{e.color[0], e.color[1], e.color[2], e.color[3]};
    auto player = Animation::Players.find(id);
    if (player != Animation::Players.end()) {
        const N3D_Animation& a = e.animation;
        Animation::Player& p = player->second;
        p.clip = a.clip, p.time = a.time, p.speed = a.speed, p.loop = a.loop;
        p.fading = a.fading, p.from = a.from, p.fromTime = a.fromTime, p.fromLoop = a.fromLoop;
        p.fadeLength = a.fadeLength, p.faded = a.faded;
    }
}

// A client's copy of an entity: a "Model" instance of the same buffer, made by the
// entry a game would call. A buffer this client never loaded is reported once.
int MakeReplica(const N3D_Entity& e) {
    const std::string model = e.model;
    if (!Buffers::Names.count(model)) {
        if (warnedModels.insert(model).second)
            base::Warn("NET", "the server shares instances of the model \"%s\", which is not loaded here (LoadModel); "
                       "they are not shown", model.c_str());
        return 0;
    }
    // The buffer's capacity is the client's own (its LoadModel): past it the copy is
    // left out rather than overfilling the buffer, which would stop the game.
    const int index = Buffers::Names.at(model);
    auto gpu = Buffers::Buffers.find(index);
    auto slots = Buffers::Positions.find(index);
    if (gpu != Buffers::Buffers.end() && slots != Buffers::Positions.end() &&
        static_cast<int>(slots->second.size()) >= gpu->second.capacity) {
        if (warnedFull.insert(model).second)
            base::Warn("NET", "the server shares more instances of \"%s\" than its buffer here holds (%d, LoadModel's "
                       "capacity); the rest are not shown", model.c_str(), gpu->second.capacity);
        return 0;
    }
    static const Api::Entry* make = [] {
        for (const Api::Entry& entry : Api::Entries())
            if (std::strcmp(entry.name, "Instance.New") == 0) return &entry;
        return static_cast<const Api::Entry*>(nullptr);
    }();
    const int id = std::any_cast<int>(make->op({std::string("Model"), model}));
    Instances[id].SetName(e.name);
    return id;
}

void DropReplica(int networkId) {
    auto it = replicas.find(networkId);
    if (it == replicas.end()) return;
    if (Instances.count(it->second)) Instances[it->second].Destroy();
    replicaByLocal.erase(it->second);
    replicaOwners.erase(networkId);
    replicas.erase(it);
}

void DropReplicas() {
    while (!replicas.empty()) DropReplica(replicas.begin()->first);
}

void Queue(Received message) {
    if (inboxBytes + message.text.size() > kMostInboxBytes) {
        if (!warnedInbox)
            base::Warn("NET", "messages arrive faster than the game takes them (NetReceive); the newest are dropped");
        warnedInbox = true;
        return;
    }
    inboxBytes += message.text.size() + message.channel.size();
    inbox.push_back(std::move(message));
}

void TakeOwnersChanges() {
    const N3D_Entity* updates = nullptr;
    const int* from = nullptr;
    const int n = N3D_TakeOwnedUpdates(&updates, &from);
    for (int i = 0; i < n; ++i) {
        auto it = sharedByNetworkId.find(updates[i].id);
        if (it == sharedByNetworkId.end()) continue;
        // Ownership is checked against what the game says now, not the last snapshot.
        if (shared[it->second].owner != from[i]) continue;
        Apply(it->second, updates[i]);
    }
}

void FollowServer() {
    const N3D_Entity* entities = nullptr;
    const int n = N3D_SampleEntities(&entities);
    static std::unordered_set<int> seen;  // kept between frames, so its buckets are too
    seen.clear();
    const int self = N3D_GetPeerId();
    scratch.clear();
    for (int i = 0; i < n; ++i) {
        const N3D_Entity& e = entities[i];
        seen.insert(e.id);
        auto it = replicas.find(e.id);
        bool fresh = false;
        if (it == replicas.end() || !ModelInstance(it->second)) {
            if (it != replicas.end()) DropReplica(e.id);  // the game cleared it: made again
            const int id = MakeReplica(e);
            if (id == 0) continue;
            it = replicas.emplace(e.id, id).first;
            replicaByLocal[id] = e.id;
            fresh = true;
        }
        replicaOwners[e.id] = e.owner;
        const bool mine = e.owner == self;
        // The copy this client owns keeps what its own game did, but for its first placing.
        if (fresh || !mine) Apply(it->second, e);
        if (mine) {
            N3D_Entity now = e;
            if (Describe(it->second, &now)) scratch.push_back(now);
        }
    }
    for (auto it = replicas.begin(); it != replicas.end();) {
        const int networkId = it->first;
        ++it;
        if (!seen.count(networkId)) DropReplica(networkId);
    }
    if (!scratch.empty()) N3D_SendOwned(scratch.data(), static_cast<int>(scratch.size()));
}

}  // namespace

void Update() {
    N3D_Service();
    N3D_Event event;
    while (N3D_NextEvent(&event)) {
        if (event.kind == N3D_EVENT_LEFT) departed.insert(event.peer);
        Queue({event.peer, event.channel, std::string(event.data, static_cast<size_t>(event.size))});
    }
    const N3D_State state = N3D_GetState();
    if (state == N3D_SERVER) TakeOwnersChanges();
    if (state == N3D_CLIENT) FollowServer();
    else if (!replicas.empty()) DropReplicas();  // the server went away, or the game left
}

void Share(double age) {
    if (!N3D_SnapshotDue()) return;
    scratch.clear();
    for (auto it = shared.begin(); it != shared.end();) {
        N3D_Entity e{};
        if (!Describe(it->first, &e)) {  // destroyed since, or no longer a Model
            sharedByNetworkId.erase(it->second.networkId);
            it = shared.erase(it);
            continue;
        }
        e.id = it->second.networkId;
        e.owner = it->second.owner;
        scratch.push_back(e);
        ++it;
    }
    N3D_SetEntities(scratch.data(), static_cast<int>(scratch.size()), age);
}

std::vector<Received> TakeReceived() {
    std::vector<Received> taken = std::move(inbox);
    inbox.clear();
    inboxBytes = 0;
    return taken;
}

void SetReplicated(int id, bool on, const char* entry) {
    if (N3D_GetState() == N3D_CLIENT || N3D_GetState() == N3D_CONNECTING)
        throw Api::BadValue(std::string(entry) + ": this peer is a client; only the server shares instances");
    if (!ModelInstance(id))
        throw Api::BadValue(std::string(entry) + ": argument 0 (id) " + std::to_string(id) + " is not a Model instance");
    auto it = shared.find(id);
    if (on && it == shared.end()) {
        const int networkId = nextNetworkId++;
        shared[id] = Shared{networkId, N3D_SERVER_PEER};
        sharedByNetworkId[networkId] = id;
    } else if (!on && it != shared.end()) {
        sharedByNetworkId.erase(it->second.networkId);
        shared.erase(it);
    }
}

void SetOwner(int id, int peer, const char* entry) {
    if (N3D_GetState() == N3D_CLIENT || N3D_GetState() == N3D_CONNECTING)
        throw Api::BadValue(std::string(entry) + ": this peer is a client; only the server gives instances owners");
    auto it = shared.find(id);
    if (it == shared.end() || !ModelInstance(id))
        throw Api::BadValue(std::string(entry) + ": argument 0 (id) " + std::to_string(id) +
                            " is not a shared Model instance (Model.SetReplicated first)");
    if (departed.count(peer)) return;  // gone since; its "Left" is on its way to the game
    if (peer != N3D_SERVER_PEER && !N3D_IsPeer(peer))
        throw Api::BadValue(std::string(entry) + ": argument 1 (peer) " + std::to_string(peer) +
                            " is not a connected peer (1 is the server)");
    it->second.owner = peer;
}

int NetworkId(int id) {
    auto it = shared.find(id);
    if (it != shared.end()) return ModelInstance(id) ? it->second.networkId : 0;
    auto replica = replicaByLocal.find(id);
    return replica != replicaByLocal.end() && ModelInstance(id) ? replica->second : 0;
}

int Owner(int id) {
    auto it = shared.find(id);
    if (it != shared.end()) return ModelInstance(id) ? it->second.owner : 0;
    auto replica = replicaByLocal.find(id);
    if (replica == replicaByLocal.end() || !ModelInstance(id)) return 0;
    auto owner = replicaOwners.find(replica->second);
    return owner == replicaOwners.end() ? 0 : owner->second;
}

int FindModel(int networkId) {
    auto it = sharedByNetworkId.find(networkId);
    if (it != sharedByNetworkId.end()) return ModelInstance(it->second) ? it->second : 0;
    auto replica = replicas.find(networkId);
    return replica != replicas.end() && ModelInstance(replica->second) ? replica->second : 0;
}

bool Departed(int peer) { return departed.count(peer) != 0; }

void Disconnect() {
    N3D_Disconnect();
    DropReplicas();
    departed.clear();
    inbox.clear();
    inboxBytes = 0;
}

}  // namespace World::Net
