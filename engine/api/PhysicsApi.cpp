// Physics entries: bodies on "Model" instances, "Character" instances, the world's
// gravity and step rate, queries against every body, and the events of the step.
// A body on what is not a model, a second body, or an instance without one stops
// the game with a message naming the entry and the id; numbers that are not finite
// are refused naming the argument; out-of-range ones are clamped.
#include <string>
#include <vector>

#include "Catalog.h"
#include "Lookup.h"
#include "Messages.h"
#include "World.h"
#include "base/Numbers.h"

namespace World::Api {

// A hit of a physics query: the four values of "RaycastSingle", then the id hit.
template <>
struct Kind<P3D_Hit> {
    static constexpr KindInfo kInfo{"bodyhit", "5 values: bool hit, float distance, vec3 point, vec3 normal, int id (0 for none)"};
    static std::any Write(const P3D_Hit& h) {
        return std::vector<std::any>{h.hit, h.distance, Kind<Vector3>::Write(h.point), Kind<Vector3>::Write(h.normal), h.id};
    }
};

template <>
struct Kind<std::vector<int>> {
    static constexpr KindInfo kInfo{"ids", "instance ids"};
    static std::any Write(std::vector<int> ids) { return std::any(std::move(ids)); }
};

// The step's events: each a list of string kind, int a, int b, float impulse, vec3 point, vec3 normal.
struct EventList {
    std::vector<P3D_Event> events;
};
template <>
struct Kind<EventList> {
    static constexpr KindInfo kInfo{"events", "each: string kind, int a, int b, float impulse, vec3 point, vec3 normal"};
    static std::any Write(const EventList& list) {
        static const char* const kKinds[] = {"Enter", "Leave", "Contact", "LeftWorld"};
        std::vector<std::any> out;
        out.reserve(list.events.size());
        for (const P3D_Event& e : list.events)
            out.push_back(std::vector<std::any>{std::string(kKinds[e.kind]), e.a, e.b, e.impulse, Kind<Vector3>::Write(e.point),
                                                Kind<Vector3>::Write(e.normal)});
        return out;
    }
};

namespace {

// Typed entries name their arguments through these when a number is not finite.
float RequireFinite(float value, int position, const char* what) {
    if (!base::Finite(value))
        throw BadValue("argument " + std::to_string(position) + " (" + what + ") is not a finite number");
    return value;
}
Vector3 RequireFinite(Vector3 v, int position, const char* what) {
    if (!base::FiniteVector(v))
        throw BadValue("argument " + std::to_string(position) + " (" + what + ") is not a finite vector");
    return v;
}

P3D_BodyKind BodyKind(const std::string& kind) {
    if (kind == "Static") return P3D_STATIC;
    if (kind == "Dynamic") return P3D_DYNAMIC;
    if (kind == "Kinematic") return P3D_KINEMATIC;
    throw BadValue("argument 1 (body kind) \"" + kind + "\" is not \"Static\", \"Dynamic\" or \"Kinematic\"");
}

P3D_ShapeKind ShapeKind(const std::string& shape) {
    static const char* const kShapes[] = {"Box", "Sphere", "Capsule", "Cylinder", "Hull", "Mesh"};
    for (int k = 0; k < 6; ++k)
        if (shape == kShapes[k]) return static_cast<P3D_ShapeKind>(k);
    throw BadValue("argument 2 (shape) \"" + shape + "\" is not \"Box\", \"Sphere\", \"Capsule\", \"Cylinder\", \"Hull\" or \"Mesh\"");
}

// -- The world -----------------------------------------------------------------

void SetGravity(Vector3 gravity) { P3D_SetGravity(RequireFinite(gravity, 0, "gravity")); }
Vector3 GetGravity() { return P3D_GetGravity(); }
void SetPhysicsRate(float hertz) { P3D_SetStepRate(RequireFinite(hertz, 0, "steps a second")); }
float GetPhysicsTime() { return static_cast<float>(P3D_GetSimulatedTime()); }

// -- Bodies --------------------------------------------------------------------

void SetBody(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    const std::string& kind = Arg<std::string>(params, 1, entry);
    const std::string& shape = Arg<std::string>(params, 2, entry);
    const float mass = Arg<float>(params, 3, entry);
    try {
        const P3D_BodyKind k = BodyKind(kind);
        const P3D_ShapeKind s = ShapeKind(shape);
        if (k == P3D_DYNAMIC) RequireFinite(mass, 3, "mass");
        Physics::AddBody(id, k, s, mass, entry);
    } catch (const BadValue& bad) {
        throw BadValue(std::string(entry) + ": " + bad.what());
    }
}

// Every body entry reads the id first, then its values, then finds the body.
void RemoveBody(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    Physics::BodyOf(id, entry);
    Physics::RemoveBody(id);
}
std::any HasBody(const Params& params, const char* entry) {
    return Kind<bool>::Write(Physics::Bodies.count(Arg<int>(params, 0, entry)) != 0);
}

template <Vector3 (*Get)(P3D_Body)>
std::any GetVector(const Params& params, const char* entry) {
    return Kind<Vector3>::Write(Get(Physics::BodyOf(Arg<int>(params, 0, entry), entry).handle));
}

// Velocities, impulses, forces and torques act on dynamic bodies; on others they do nothing.
template <bool (*Set)(P3D_Body, Vector3)>
void SetVector(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    const Vector3 v = Arg<Vector3>(params, 1, entry);
    if (!base::FiniteVector(v))
        throw BadValue(std::string(entry) + ": argument 1 (vector) is not a finite vector");
    Set(Physics::BodyOf(id, entry).handle, v);
}

template <bool (*Set)(P3D_Body, float)>
void SetNumber(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    const float value = Arg<float>(params, 1, entry);
    if (!base::Finite(value)) throw BadValue(std::string(entry) + ": argument 1 (value) is not a finite number");
    Set(Physics::BodyOf(id, entry).handle, value);
}

void SetDamping(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    const float linear = Arg<float>(params, 1, entry);
    const float angular = Arg<float>(params, 2, entry);
    if (!base::Finite(linear, angular))
        throw BadValue(std::string(entry) + ": argument " + (base::Finite(linear) ? "2 (angular" : "1 (linear") +
                       " damping) is not a finite number");
    P3D_SetDamping(Physics::BodyOf(id, entry).handle, linear, angular);
}

void SetGravityEnabled(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    const bool on = Arg<bool>(params, 1, entry);
    P3D_SetGravityEnabled(Physics::BodyOf(id, entry).handle, on);
}

void SetTrigger(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    const bool on = Arg<bool>(params, 1, entry);
    P3D_SetTrigger(Physics::BodyOf(id, entry).handle, on);
}

void SetCollisionLayer(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    const int layer = Arg<int>(params, 1, entry);
    const int mask = Arg<int>(params, 2, entry);
    P3D_SetLayers(Physics::BodyOf(id, entry).handle, layer, mask);
}

// -- Queries -------------------------------------------------------------------

P3D_Hit Raycast(Vector3 origin, Vector3 direction, float distance) {
    return P3D_Raycast(RequireFinite(origin, 0, "origin"), RequireFinite(direction, 1, "direction"), RequireFinite(distance, 2, "max distance"),
                       P3D_ALL_LAYERS);
}
P3D_Hit RaycastLayers(Vector3 origin, Vector3 direction, float distance, int mask) {
    return P3D_Raycast(RequireFinite(origin, 0, "origin"), RequireFinite(direction, 1, "direction"), RequireFinite(distance, 2, "max distance"), mask);
}
P3D_Hit SweepSphere(Vector3 from, Vector3 to, float radius) {
    return P3D_SweepSphere(RequireFinite(from, 0, "from"), RequireFinite(to, 1, "to"), RequireFinite(radius, 2, "radius"), P3D_ALL_LAYERS);
}
P3D_Hit SweepCapsule(Vector3 from, Vector3 to, float radius, float height) {
    return P3D_SweepCapsule(RequireFinite(from, 0, "from"), RequireFinite(to, 1, "to"), RequireFinite(radius, 2, "radius"), RequireFinite(height, 3, "height"),
                            P3D_ALL_LAYERS);
}

// Every id an overlap query finds: into a small list first, and once more into
// one of the exact size when more overlap than it holds.
template <class Query>
std::vector<int> Overlapping(Query query) {
    constexpr int kFirst = 64;
    std::vector<int> ids(kFirst);
    const int count = query(ids.data(), kFirst);
    ids.resize(static_cast<std::size_t>(count));
    if (count > kFirst) query(ids.data(), count);
    return ids;
}
std::vector<int> OverlapSphere(Vector3 center, float radius) {
    RequireFinite(center, 0, "centre");
    RequireFinite(radius, 1, "radius");
    return Overlapping([&](int* ids, int most) { return P3D_OverlapSphere(center, radius, P3D_ALL_LAYERS, ids, most); });
}
std::vector<int> OverlapBox(Vector3 center, Vector3 half) {
    RequireFinite(center, 0, "centre");
    RequireFinite(half, 1, "half size");
    return Overlapping([&](int* ids, int most) { return P3D_OverlapBox(center, half, {0, 0, 0, 1}, P3D_ALL_LAYERS, ids, most); });
}

EventList GetPhysicsEvents() { return {Physics::Events}; }

// -- Characters ----------------------------------------------------------------

void CharacterSetPosition(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    const Vector3 at = Arg<Vector3>(params, 1, entry);
    const P3D_Character c = Physics::CharacterOf(id, entry);
    if (!P3D_SetCharacterPosition(c, at))
        throw BadValue(std::string(entry) + ": argument 1 (position) is not finite or lies outside the world's bounds");
    if (Vector3* position = FindVariable<Vector3>(id, "Position")) *position = at;
}

void CharacterMove(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    const Vector3 velocity = Arg<Vector3>(params, 1, entry);
    const P3D_Character c = Physics::CharacterOf(id, entry);
    if (!P3D_MoveCharacter(c, velocity)) throw BadValue(std::string(entry) + ": argument 1 (velocity) is not a finite vector");
}

template <Vector3 (*Get)(P3D_Character)>
std::any CharacterVector(const Params& params, const char* entry) {
    return Kind<Vector3>::Write(Get(Physics::CharacterOf(Arg<int>(params, 0, entry), entry)));
}

std::any CharacterOnGround(const Params& params, const char* entry) {
    return Kind<bool>::Write(P3D_IsCharacterOnGround(Physics::CharacterOf(Arg<int>(params, 0, entry), entry)));
}

template <void (*Set)(P3D_Character, float)>
void CharacterNumber(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    const float value = Arg<float>(params, 1, entry);
    if (!base::Finite(value)) throw BadValue(std::string(entry) + ": argument 1 (value) is not a finite number");
    Set(Physics::CharacterOf(id, entry), value);
}

}  // namespace

void AddPhysicsEntries(Catalog& c) {
    c.push_back(Func("SetGravity", SetGravity,
        "The world's gravity in m/s\u00b2; (0, -9.81, 0) at start.",
        {"gravity"}));
    c.push_back(Op("GetGravity", GetGravity, "The world's gravity.", {}));
    c.push_back(Func("SetPhysicsRate", SetPhysicsRate,
        "Fixed steps a second (60 at start, clamped to 10..1000). Each frame runs the steps its time owes, at most 8; "
        "drawn poses are interpolated between the last two.",
        {"steps a second"}));
    c.push_back(Op("GetPhysicsTime", GetPhysicsTime,
        "Seconds of simulation the world has stepped (a clean restart starts again at 0). It falls behind the frames' "
        "time only when a long frame drops what is beyond 8 steps.",
        {}));

    c.push_back(RawFunc<int, std::string, std::string, float>("Model.SetBody", SetBody,
        "Gives a model instance a body. Box, Sphere, Capsule and Cylinder are sized from the model's bounds and the "
        "instance's \"Scale\" at this moment; Hull is the convex hull of its triangles, Mesh the triangles themselves "
        "(Static or Kinematic only). A Dynamic body's transform is written by the simulation; moving the transform of "
        "any body moves the body. Not a model, a second body, a zero or absurd size or mass stop the game.",
        {"model instance id",
         "\"Static\", \"Dynamic\" or \"Kinematic\"",
         "\"Box\", \"Sphere\", \"Capsule\", \"Cylinder\", \"Hull\" or \"Mesh\"",
         "mass in kg (Dynamic only)"}));
    c.push_back(RawFunc<int>("Model.RemoveBody", RemoveBody,
        "Takes the body away; the instance stays where it is.",
        {"model instance id"}));
    c.push_back(RawOp<bool, int>("Model.HasBody", HasBody, "Whether the instance has a body.", {"model instance id"}));
    c.push_back(RawOp<Vector3, int>("Model.GetVelocity", GetVector<P3D_GetLinearVelocity>,
        "The body's velocity in m/s.",
        {"model instance id"}));
    c.push_back(RawFunc<int, Vector3>("Model.SetVelocity", SetVector<P3D_SetLinearVelocity>,
        "Sets a dynamic body's velocity (clamped to 10,000 m/s).",
        {"model instance id", "velocity"}));
    c.push_back(RawOp<Vector3, int>("Model.GetAngularVelocity", GetVector<P3D_GetAngularVelocity>,
        "The body's turning speed about each axis, in radians a second.",
        {"model instance id"}));
    c.push_back(RawFunc<int, Vector3>("Model.SetAngularVelocity", SetVector<P3D_SetAngularVelocity>,
        "Sets a dynamic body's turning speed (clamped to 1,000 rad/s).",
        {"model instance id", "radians a second about each axis"}));
    c.push_back(RawFunc<int, Vector3>("Model.ApplyImpulse", SetVector<P3D_ApplyImpulse>,
        "Adds an impulse (N\u00b7s) through a dynamic body's centre: its velocity changes by impulse / mass at once.",
        {"model instance id", "impulse"}));
    c.push_back(RawFunc<int, Vector3>("Model.ApplyForce", SetVector<P3D_ApplyForce>,
        "Pushes a dynamic body through its centre with a force (N) over the next frame's steps.",
        {"model instance id", "force"}));
    c.push_back(RawFunc<int, Vector3>("Model.ApplyTorque", SetVector<P3D_ApplyTorque>,
        "Turns a dynamic body with a torque (N\u00b7m) over the next frame's steps.",
        {"model instance id", "torque"}));
    c.push_back(RawFunc<int, float>("Model.SetFriction", SetNumber<P3D_SetFriction>,
        "Friction of the body's surface (0.5 at start; clamped to 0..10).",
        {"model instance id", "friction"}));
    c.push_back(RawFunc<int, float>("Model.SetRestitution", SetNumber<P3D_SetRestitution>,
        "How much it bounces: 0 (at start) not at all, 1 fully.",
        {"model instance id", "restitution"}));
    c.push_back(RawFunc<int, float, float>("Model.SetDamping", SetDamping,
        "How much of its speed and turning a body loses each second (0..1 each).",
        {"model instance id", "linear", "angular"}));
    c.push_back(RawFunc<int, bool>("Model.SetGravityEnabled", SetGravityEnabled,
        "Whether gravity pulls this dynamic body.",
        {"model instance id", "enabled"}));
    c.push_back(RawFunc<int, bool>("Model.SetTrigger", SetTrigger,
        "Makes the body a trigger: nothing collides with it, and \"GetPhysicsEvents\" reports who enters and leaves "
        "it.",
        {"model instance id", "trigger"}));
    c.push_back(RawFunc<int, int, int>("Model.SetCollisionLayer", SetCollisionLayer,
        "The layers a body is on and the layers it collides with, as bits (1 and all at start); two bodies collide "
        "when each one's layers meet the other's mask.",
        {"model instance id", "layer bits", "mask bits"}));

    c.push_back(Op("PhysicsRaycast", Raycast,
        "The first body or character a ray meets (triggers aside), with the id of its instance.",
        {"origin", "direction", "max distance"}));
    c.push_back(Op("PhysicsRaycastLayers", RaycastLayers,
        "As \"PhysicsRaycast\", meeting only bodies on a layer of the mask.",
        {"origin", "direction", "max distance", "mask bits"}));
    c.push_back(Op("PhysicsSweepSphere", SweepSphere,
        "The first body a sphere meets moving from one point to another; the distance is how far its centre got.",
        {"from", "to", "radius"}));
    c.push_back(Op("PhysicsSweepCapsule", SweepCapsule,
        "The same for an upright capsule of that radius and height (its centre moves).",
        {"from", "to", "radius", "height"}));
    c.push_back(Op("PhysicsOverlapSphere", OverlapSphere,
        "The ids of the instances whose bodies or characters overlap a sphere.",
        {"centre", "radius"}));
    c.push_back(Op("PhysicsOverlapBox", OverlapBox,
        "The ids of those overlapping an axis-aligned box.",
        {"centre", "half size"}));
    c.push_back(Op("GetPhysicsEvents", GetPhysicsEvents,
        "What this frame's steps reported: \"Enter\" and \"Leave\" (a: the trigger, b: who), \"Contact\" (a and b "
        "began to touch, with the impulse, point and normal) and \"LeftWorld\" (a left the world's bounds of 10 km "
        "and sleeps until moved back). Copies: destroying instances while reading them is safe.",
        {}));

    c.push_back(RawFunc<int, Vector3>("Character.SetPosition", CharacterSetPosition,
        "Puts the character's foot there.",
        {"character instance id", "position"}));
    c.push_back(RawFunc<int, Vector3>("Character.Move", CharacterMove,
        "The velocity it walks with from now on (x and z); y > 0 jumps with that speed when it stands on the ground.",
        {"character instance id", "velocity"}));
    c.push_back(RawOp<Vector3, int>("Character.GetPosition", CharacterVector<P3D_GetCharacterPosition>,
        "Where its foot is, as drawn this frame (also its \"Position\" variable).",
        {"character instance id"}));
    c.push_back(RawOp<bool, int>("Character.IsOnGround", CharacterOnGround,
        "Whether it stands on ground it can walk on.",
        {"character instance id"}));
    c.push_back(RawOp<Vector3, int>("Character.GetVelocity", CharacterVector<P3D_GetCharacterVelocity>,
        "How fast it moved in the last step.",
        {"character instance id"}));
    c.push_back(RawFunc<int, float>("Character.SetStepHeight", CharacterNumber<P3D_SetCharacterStepHeight>,
        "The highest step it climbs without jumping (0.35 at start).",
        {"character instance id", "height"}));
    c.push_back(RawFunc<int, float>("Character.SetMaxSlope", CharacterNumber<P3D_SetCharacterMaxSlope>,
        "The steepest slope it stands on, in degrees (45 at start); on steeper ones it slides down.",
        {"character instance id", "degrees"}));
}

}  // namespace World::Api
