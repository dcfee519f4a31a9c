// Bodies of "Model" instances and "Character" instances, on the physics layer.
//
// Where the step sits: once a frame, right before the scene is drawn (beside the
// animations). So what the game changes in its tick (a transform, a velocity, an
// impulse) reaches the world at the next frame's step, that step's result is what
// the frame draws, and the events of that step are what the tick after it reads.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Instance.h"
#include "Lookup.h"
#include "Messages.h"
#include "World.h"

namespace World::Physics {

std::unordered_map<int, Body> Bodies;
std::unordered_map<int, P3D_Character> Characters;
std::vector<P3D_Event> Events;

namespace {

bool Same(Vector3 a, Vector3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
bool Same(Quaternion a, Quaternion b) { return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w; }

// The model a "Model" instance draws; fatal when `id` is no model instance.
R3D_Model ModelOf(int id, const char* entry) {
    auto record = Instances.find(id);
    Fail(Fatal::BodyNotModel, record == Instances.end() || record->second.Type != "Model", entry, id);
    const std::string* buffer = Api::FindVariable<std::string>(id, "Tied Model");
    auto name = buffer ? Buffers::Names.find(*buffer) : Buffers::Names.end();
    Fail(Fatal::BodyRefused, name == Buffers::Names.end(), entry, id, "its model is no longer loaded");
    return Buffers::Models[name->second];
}

}  // namespace

P3D_BodyDesc Describe(int id, P3D_BodyKind kind, P3D_ShapeKind shape, float mass, const char* entry,
                      std::vector<Vector3>& corners) {
    const R3D_Model model = ModelOf(id, entry);
    Fail(Fatal::BodyExists, Bodies.count(id) != 0, entry, id);
    const CFrame& cframe = *Api::FindVariable<CFrame>(id, "CFrame");
    const Vector3 scale = *Api::FindVariable<Vector3>(id, "Scale");

    // The shape in the instance's own frame: scaled as the model is drawn.
    P3D_BodyDesc desc = P3D_DefaultBody();
    desc.kind = kind;
    desc.shape = shape;
    desc.mass = mass;
    const BoundingBox box = model.aabb;
    desc.halfExtents = {std::fabs((box.max.x - box.min.x) * 0.5f * scale.x), std::fabs((box.max.y - box.min.y) * 0.5f * scale.y),
                        std::fabs((box.max.z - box.min.z) * 0.5f * scale.z)};
    desc.center = {(box.max.x + box.min.x) * 0.5f * scale.x, (box.max.y + box.min.y) * 0.5f * scale.y,
                   (box.max.z + box.min.z) * 0.5f * scale.z};
    corners.clear();
    if (shape == P3D_SHAPE_HULL || shape == P3D_SHAPE_MESH) {
        corners.resize(static_cast<std::size_t>(R3D_GetModelTriangles(model, nullptr, 0)) * 3);
        R3D_GetModelTriangles(model, corners.data(), static_cast<int>(corners.size() / 3));
        for (Vector3& c : corners) c = {c.x * scale.x, c.y * scale.y, c.z * scale.z};
        desc.points = corners.data();
        desc.pointCount = static_cast<int>(corners.size());
    }
    desc.position = cframe.Position;
    desc.rotation = cframe.Rotation;
    desc.id = id;
    return desc;
}

std::string ZeroScale(int id) {
    const Vector3* scale = Api::FindVariable<Vector3>(id, "Scale");
    if (!scale || (scale->x != 0 && scale->y != 0 && scale->z != 0)) return "";
    // A new model instance is at scale 0: its shape would have no size at all,
    // which the physics layer can only describe as a shape without area.
    char why[320];
    std::snprintf(why, sizeof why,
                  "its scale is (%g, %g, %g), and a body is sized by it: a model instance starts at scale 0, "
                  "so give it \"Model.SetScale\" (1, 1, 1 for the model's own size) before \"Model.SetBody\"",
                  scale->x, scale->y, scale->z);
    return why;
}

void AddBody(int id, P3D_BodyKind kind, P3D_ShapeKind shape, float mass, const char* entry) {
    ModelOf(id, entry);
    Fail(Fatal::BodyExists, Bodies.count(id) != 0, entry, id);
    const std::string zero = ZeroScale(id);
    Fail(Fatal::BodyRefused, !zero.empty(), entry, id, zero);
    std::vector<Vector3> corners;
    P3D_BodyDesc desc = Describe(id, kind, shape, mass, entry, corners);
    CFrame& cframe = *Api::FindVariable<CFrame>(id, "CFrame");
    Body& body = Bodies[id];
    desc.data = &body;
    body.handle = P3D_CreateBody(&desc);
    if (!body.handle) {
        const std::string why = P3D_GetError();
        Bodies.erase(id);
        Fail(Fatal::BodyRefused, true, entry, id, why);
    }
    body.id = id;
    body.cframe = &cframe;
    body.position = cframe.Position;
    body.rotation = cframe.Rotation;
}

Body& BodyOf(int id, const char* entry) {
    auto it = Bodies.find(id);
    Fail(Fatal::BodyMissing, it == Bodies.end(), entry, id);
    return it->second;
}

void RemoveBody(int id) {
    auto it = Bodies.find(id);
    if (it == Bodies.end()) return;
    P3D_DestroyBody(it->second.handle);
    Bodies.erase(it);
}

P3D_Character CharacterOf(int id, const char* entry) {
    auto it = Characters.find(id);
    Fail(Fatal::CharacterMissing, it == Characters.end(), entry, id);
    return it->second;
}

void Step(float seconds) {
    for (auto& [id, body] : Bodies) {
        const CFrame& now = *body.cframe;
        if (Same(now.Position, body.position) && Same(now.Rotation, body.rotation)) continue;
        if (P3D_SetBodyTransform(body.handle, now.Position, now.Rotation)) {
            body.position = now.Position;
            body.rotation = now.Rotation;
        } else if (!body.warned) {
            body.warned = true;
            std::fprintf(stderr, "WARNING: PHYSICS: instance %d was moved to a transform that is not finite; its body stays where it was\n", id);
        }
    }
    P3D_Step(seconds);

    const P3D_Pose* poses = nullptr;
    const int moved = P3D_GetMovedBodies(&poses);
    for (int k = 0; k < moved; ++k) {
        Body& body = *static_cast<Body*>(poses[k].data);
        body.cframe->Position = body.position = poses[k].position;
        body.cframe->Rotation = body.rotation = poses[k].rotation;
    }
    for (auto& [id, character] : Characters)
        if (Vector3* at = Api::FindVariable<Vector3>(id, "Position")) *at = P3D_GetCharacterPosition(character);

    const P3D_Event* events = nullptr;
    const int count = P3D_GetEvents(&events);
    Events.assign(events, events + count);
    for (const P3D_Event& e : Events) {
        if (e.kind != P3D_EVENT_LEFT_WORLD) continue;
        std::fprintf(stderr,
                     "WARNING: PHYSICS: the body of instance %d left the world's bounds at (%g, %g, %g); it sleeps until moved back inside\n",
                     e.a, e.point.x, e.point.y, e.point.z);
    }
}

void Clear() {
    Bodies.clear();
    Characters.clear();
    Events.clear();
    P3D_Clear();
}

}  // namespace World::Physics
