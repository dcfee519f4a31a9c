// Bodies: their shapes, checked before Bullet sees them, and what a caller sets on them.
#include <BulletCollision/CollisionShapes/btShapeHull.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "internal.h"

namespace p3d {

namespace {

// Hulls past this many points are reduced: Bullet's collision cost grows with them.
constexpr int kHullPoints = 64;
// Hull shapes grow by their margin; a small one keeps a resting hull near its surface.
constexpr float kHullMargin = 0.01f;
// Smaller or larger than these, a shape is not something a game simulates.
constexpr float kMinSize = 1e-3f;
constexpr float kMaxSize = 1e5f;

std::string Text(Vector3 v) {
    char text[96];
    std::snprintf(text, sizeof text, "(%g, %g, %g)", v.x, v.y, v.z);
    return text;
}

bool Primitive(const P3D_BodyDesc& d, Body& body) {
    const Vector3 h = d.halfExtents;
    if (!base::FiniteVector(h)) return Refuse("its size " + Text(h) + " is not finite", false);
    if (!base::FiniteVector(d.center)) return Refuse("its centre " + Text(d.center) + " is not finite", false);
    const float largest = std::max({h.x, h.y, h.z});
    if (largest > kMaxSize) return Refuse("its size " + Text(h) + " is too large (at most 1e5 a side)", false);
    const float radius = std::max(h.x, h.z);
    switch (d.shape) {
        case P3D_SHAPE_BOX:
            if (std::min({h.x, h.y, h.z}) < kMinSize) return Refuse("its size " + Text(h) + " is zero or negative on an axis", false);
            body.child = std::make_unique<btBoxShape>(Bt(h));
            break;
        case P3D_SHAPE_SPHERE:
            if (largest < kMinSize) return Refuse("its size " + Text(h) + " is zero", false);
            body.child = std::make_unique<btSphereShape>(largest);
            break;
        case P3D_SHAPE_CAPSULE:
            if (radius < kMinSize || h.y < kMinSize) return Refuse("its size " + Text(h) + " is zero or negative", false);
            // A capsule is at least its two caps; a flat one is a sphere.
            body.child = std::make_unique<btCapsuleShape>(std::min(radius, h.y), std::max(0.0f, 2 * h.y - 2 * std::min(radius, h.y)));
            break;
        default:
            if (radius < kMinSize || h.y < kMinSize) return Refuse("its size " + Text(h) + " is zero or negative", false);
            body.child = std::make_unique<btCylinderShape>(btVector3(radius, h.y, radius));
            break;
    }
    if (Bt(d.center).length2() < 1e-12f) {
        body.shape = std::move(body.child);
        return true;
    }
    auto compound = std::make_unique<btCompoundShape>(false, 1);
    compound->addChildShape(btTransform(btQuaternion::getIdentity(), Bt(d.center)), body.child.get());
    body.shape = std::move(compound);
    return true;
}

// Points that a hull or a mesh reads: none, or a count with no array, refuse it.
bool HasPoints(const P3D_BodyDesc& d, const char* shape) {
    if (d.pointCount > 0 && d.points == nullptr)
        return Refuse(std::string("its ") + shape + " has " + std::to_string(d.pointCount) + " points but no array of them", false);
    return true;
}

bool Hull(const P3D_BodyDesc& d, Body& body) {
    if (!HasPoints(d, "hull")) return false;
    btVector3 lo(BT_LARGE_FLOAT, BT_LARGE_FLOAT, BT_LARGE_FLOAT), hi = -lo;
    auto hull = std::make_unique<btConvexHullShape>();
    for (int k = 0; k < d.pointCount; ++k) {
        if (!base::FiniteVector(d.points[k])) continue;
        const btVector3 p = Bt(d.points[k]);
        if (p.length() > kMaxSize) continue;
        hull->addPoint(p, false);
        lo.setMin(p);
        hi.setMax(p);
    }
    if (hull->getNumPoints() == 0) return Refuse("it has no finite points for a hull", false);
    const btVector3 size = hi - lo;
    if (size.maxAxis() < 0 || std::max({size.x(), size.y(), size.z()}) < kMinSize)
        return Refuse("its hull has zero size", false);
    hull->setMargin(kHullMargin);
    hull->recalcLocalAabb();
    if (hull->getNumPoints() > kHullPoints) {
        btShapeHull reduced(hull.get());
        reduced.buildHull(hull->getMargin());
        auto smaller = std::make_unique<btConvexHullShape>(&reduced.getVertexPointer()->getX(), reduced.numVertices());
        smaller->setMargin(kHullMargin);
        if (smaller->getNumPoints() >= 4) hull = std::move(smaller);
    }
    body.shape = std::move(hull);
    return true;
}

// Bullet's contacts between a box and a triangle many times its size are
// unsteady: a crate landing on a 60 m floor made of two triangles sinks in, tips
// and slides off where it fell. Long triangles are split at their longest edge
// until no edge is longer than this (the level's floor becomes some 1,800).
constexpr float kLongestEdge = 2.0f;
constexpr int kMostSplits = 16;  // per triangle: 2^16 pieces at most

void AddSplit(btTriangleMesh& mesh, const btVector3& a, const btVector3& b, const btVector3& c, int depth) {
    const float ab = (b - a).length2(), bc = (c - b).length2(), ca = (a - c).length2();
    const float longest = std::max({ab, bc, ca});
    if (longest <= kLongestEdge * kLongestEdge || depth >= kMostSplits) {
        mesh.addTriangle(a, b, c, false);
        return;
    }
    // Split the longest edge at its middle, keeping the winding.
    if (longest == ab) {
        const btVector3 m = (a + b) * 0.5f;
        AddSplit(mesh, a, m, c, depth + 1);
        AddSplit(mesh, m, b, c, depth + 1);
    } else if (longest == bc) {
        const btVector3 m = (b + c) * 0.5f;
        AddSplit(mesh, a, b, m, depth + 1);
        AddSplit(mesh, a, m, c, depth + 1);
    } else {
        const btVector3 m = (c + a) * 0.5f;
        AddSplit(mesh, a, b, m, depth + 1);
        AddSplit(mesh, m, b, c, depth + 1);
    }
}

// Triangles that are not finite, too large or without area are left out.
bool Mesh(const P3D_BodyDesc& d, Body& body) {
    if (d.kind == P3D_DYNAMIC) return Refuse("a Mesh shape is for Static and Kinematic bodies (a Dynamic one takes a Hull)", false);
    if (!HasPoints(d, "mesh")) return false;
    body.mesh = std::make_unique<btTriangleMesh>(true, false);
    for (int k = 0; k + 2 < d.pointCount; k += 3) {
        if (!base::FiniteVector(d.points[k]) || !base::FiniteVector(d.points[k + 1]) || !base::FiniteVector(d.points[k + 2]))
            continue;
        const btVector3 a = Bt(d.points[k]), b = Bt(d.points[k + 1]), c = Bt(d.points[k + 2]);
        if (a.length() > kMaxSize || b.length() > kMaxSize || c.length() > kMaxSize) continue;
        if ((b - a).cross(c - a).length2() < 1e-12f) continue;
        AddSplit(*body.mesh, a, b, c, 0);
    }
    if (body.mesh->getNumTriangles() == 0) return Refuse("its mesh has no triangle with an area", false);
    auto shape = std::make_unique<btBvhTriangleMeshShape>(body.mesh.get(), true);
    // Without this a box landing across the seam of two triangles of a flat floor
    // is pushed up the seam's edge, tips and slides (see AdjustEdges in world.cpp).
    body.edges = std::make_unique<btTriangleInfoMap>();
    btGenerateInternalEdgeInfo(shape.get(), body.edges.get());
    body.shape = std::move(shape);
    return true;
}

// The body behind `handle` when it is dynamic and `values` are finite; else
// the call is refused, saying why.
template <class... F>
Body* Dynamic(P3D_Body handle, const char* call, const char* what, F... values) {
    Body* b = GetBody(handle, call);
    if (!b) return nullptr;
    if (b->kind != P3D_DYNAMIC) return Refuse(std::string(call) + ": body " + std::to_string(handle) + " is not dynamic", nullptr);
    if (!base::Finite(values...)) return Refuse(std::string(call) + ": the " + what + " is not finite", nullptr);
    return b;
}

// The body behind `handle` when `values` are finite; else refused, saying why.
template <class... F>
Body* Settable(P3D_Body handle, const char* call, const char* what, F... values) {
    Body* b = GetBody(handle, call);
    if (b && !base::Finite(values...)) return Refuse(std::string(call) + ": the " + what + " is not finite", nullptr);
    return b;
}

// Scaled by its largest component first, so that a length past float's range
// (a speed of 1e30 squared) still clamps to `most` rather than to nothing.
btVector3 ClampLength(btVector3 v, float most) {
    const float largest = std::max({std::fabs(v.x()), std::fabs(v.y()), std::fabs(v.z())});
    if (largest > most) v *= most / largest;
    const float length = v.length();
    return length > most ? v * (most / length) : v;
}

}  // namespace

bool BuildShape(const P3D_BodyDesc& d, Body& body) {
    switch (d.shape) {
        case P3D_SHAPE_BOX:
        case P3D_SHAPE_SPHERE:
        case P3D_SHAPE_CAPSULE:
        case P3D_SHAPE_CYLINDER: return Primitive(d, body);
        case P3D_SHAPE_HULL: return Hull(d, body);
        case P3D_SHAPE_MESH: return Mesh(d, body);
    }
    return Refuse("its shape kind " + std::to_string(static_cast<int>(d.shape)) + " is unknown", false);
}

}  // namespace p3d

using namespace p3d;

extern "C" {

P3D_BodyDesc P3D_DefaultBody(void) {
    P3D_BodyDesc d{};
    d.kind = P3D_STATIC;
    d.shape = P3D_SHAPE_BOX;
    d.halfExtents = {0.5f, 0.5f, 0.5f};
    d.friction = 0.5f;
    d.rotation = {0, 0, 0, 1};
    d.layer = 1;
    d.mask = P3D_ALL_LAYERS;
    return d;
}

P3D_Body P3D_CreateBody(const P3D_BodyDesc* desc) {
    World& w = TheWorld();
    if (!desc) return Refuse("no description", 0);
    const P3D_BodyDesc& d = *desc;
    if (d.kind != P3D_STATIC && d.kind != P3D_DYNAMIC && d.kind != P3D_KINEMATIC)
        return Refuse("its kind " + std::to_string(static_cast<int>(d.kind)) + " is unknown", 0);
    const float mass = d.kind == P3D_DYNAMIC ? d.mass : 0.0f;
    if (d.kind == P3D_DYNAMIC && !(base::Finite(mass) && mass > 0 && mass <= 1e9f))
        return Refuse("its mass " + std::to_string(d.mass) + " is not a finite number above 0 (and at most 1e9)", 0);
    if (!base::FiniteVector(d.position) || !base::FiniteVector(d.rotation))
        return Refuse("its position or rotation is not finite", 0);
    btVector3 position = Bt(d.position);
    if (std::max({std::fabs(position.x()), std::fabs(position.y()), std::fabs(position.z())}) > w.bounds)
        return Refuse("its position " + Text(d.position) + " is outside the world's bounds", 0);
    btQuaternion rotation = Bt(d.rotation);
    rotation = rotation.length2() > 1e-12f ? rotation.normalized() : btQuaternion::getIdentity();

    Body made;
    if (!BuildShape(d, made)) return 0;
    const base::Handle handle = w.bodies.Add(std::move(made));
    if (handle == 0) return Refuse("no more bodies can be made (every handle is spent)", 0);
    Body* body = w.bodies.Find(handle);  // where it stays: Bullet and the lists below point at it
    body->handle = static_cast<P3D_Body>(handle);
    body->kind = d.kind;
    body->id = d.id;
    body->data = d.data;
    body->layer = d.layer & P3D_ALL_LAYERS;
    body->mask = d.mask & P3D_ALL_LAYERS;

    btVector3 inertia(0, 0, 0);
    if (mass > 0) body->shape->calculateLocalInertia(mass, inertia);
    btRigidBody::btRigidBodyConstructionInfo info(mass, nullptr, body->shape.get(), inertia);
    info.m_startWorldTransform = btTransform(rotation, position);
    info.m_friction = base::Finite(d.friction) ? std::clamp(d.friction, 0.0f, 10.0f) : 0.5f;
    info.m_restitution = base::Finite(d.restitution) ? std::clamp(d.restitution, 0.0f, 1.0f) : 0.0f;
    body->body = std::make_unique<btRigidBody>(info);
    btRigidBody& rb = *body->body;
    if (d.kind == P3D_KINEMATIC) {
        rb.setCollisionFlags(rb.getCollisionFlags() | btCollisionObject::CF_KINEMATIC_OBJECT);
        rb.setActivationState(DISABLE_DEACTIVATION);
    }
    if (body->edges) rb.setCollisionFlags(rb.getCollisionFlags() | btCollisionObject::CF_CUSTOM_MATERIAL_CALLBACK);
    if (d.kind == P3D_DYNAMIC) {
        // A body that moves more than half its thickness in a step is swept, so a
        // fast one neither sinks into a floor nor passes through a wall.
        btVector3 lo, hi;
        body->shape->getAabb(btTransform::getIdentity(), lo, hi);
        const btVector3 size = hi - lo;
        const float thinnest = std::max(0.01f, std::min({size.x(), size.y(), size.z()}) * 0.5f);
        rb.setCcdMotionThreshold(thinnest * 0.5f);
        rb.setCcdSweptSphereRadius(thinnest * 0.8f);
    }
    rb.setUserIndex(d.id);
    rb.setUserIndex2(body->handle);
    rb.setUserPointer(body);
    body->previous = body->current = rb.getWorldTransform();
    w.Add(*body);

    if (body->kind != P3D_STATIC) w.moving.push_back(body);
    if (d.trigger) P3D_SetTrigger(body->handle, true);
    return body->handle;
}

void P3D_DestroyBody(P3D_Body handle) {
    Body* b = GetBody(handle, "P3D_DestroyBody");
    if (!b) return;
    World& w = TheWorld();
    if (!b->outside) w.Remove(*b);
    ForgetKey(w, b->handle, b->id);
    w.moving.erase(std::remove(w.moving.begin(), w.moving.end(), b), w.moving.end());
    w.triggers.erase(std::remove(w.triggers.begin(), w.triggers.end(), b), w.triggers.end());
    w.bodies.Remove(static_cast<base::Handle>(handle));
}

bool P3D_IsBody(P3D_Body body) { return FindBody(body) != nullptr; }

bool P3D_SetBodyTransform(P3D_Body handle, Vector3 position, Quaternion rotation) {
    Body* b = GetBody(handle, "P3D_SetBodyTransform");
    if (!b) return false;
    if (!base::FiniteVector(position) || !base::FiniteVector(rotation)) return Refuse("the transform is not finite", false);
    World& w = TheWorld();
    btQuaternion q = Bt(rotation);
    q = q.length2() > 1e-12f ? q.normalized() : btQuaternion::getIdentity();
    const btTransform t(q, Bt(position));
    const btVector3& p = t.getOrigin();
    const bool outside = std::max({std::fabs(p.x()), std::fabs(p.y()), std::fabs(p.z())}) > w.bounds;
    if (outside) {
        // Placed out of the world: it sleeps there until placed back inside.
        if (!b->outside) {
            w.Remove(*b);
            b->outside = true;
            ForgetKey(w, b->handle, b->id);
            w.pending.push_back({P3D_EVENT_LEFT_WORLD, b->id, 0, 0, position, {0, 0, 0}});
        }
        b->body->setWorldTransform(t);
        b->previous = b->current = t;
        return true;
    }
    if (b->outside) {
        b->outside = false;
        b->body->setWorldTransform(t);
        b->previous = b->current = t;
        w.Add(*b);
        return true;
    }
    if (b->kind == P3D_KINEMATIC) {
        // It travels there over the next step, so what is in the way is pushed.
        b->from = b->body->getWorldTransform();
        b->target = t;
        b->travelling = true;
        return true;
    }
    b->body->setWorldTransform(t);
    b->body->setInterpolationWorldTransform(t);
    b->previous = b->current = t;
    b->body->activate(true);
    w.world.updateSingleAabb(b->body.get());
    return true;
}

void P3D_GetBodyTransform(P3D_Body handle, Vector3* position, Quaternion* rotation) {
    Body* b = GetBody(handle, "P3D_GetBodyTransform");
    btTransform t = btTransform::getIdentity();
    if (b) t = b->kind == P3D_DYNAMIC ? Lerp(b->previous, b->current, TheWorld().alpha) : b->body->getWorldTransform();
    if (position) *position = Rl(t.getOrigin());
    if (rotation) *rotation = Rl(t.getRotation());
}

Vector3 P3D_GetLinearVelocity(P3D_Body handle) {
    Body* b = GetBody(handle, "P3D_GetLinearVelocity");
    return b ? Rl(b->body->getLinearVelocity()) : Vector3{0, 0, 0};
}
Vector3 P3D_GetAngularVelocity(P3D_Body handle) {
    Body* b = GetBody(handle, "P3D_GetAngularVelocity");
    return b ? Rl(b->body->getAngularVelocity()) : Vector3{0, 0, 0};
}

bool P3D_SetLinearVelocity(P3D_Body handle, Vector3 velocity) {
    Body* b = Dynamic(handle, "P3D_SetLinearVelocity", "velocity", velocity.x, velocity.y, velocity.z);
    if (!b) return false;
    b->body->setLinearVelocity(ClampLength(Bt(velocity), kMaxSpeed));
    b->body->activate(true);
    return true;
}
bool P3D_SetAngularVelocity(P3D_Body handle, Vector3 velocity) {
    Body* b = Dynamic(handle, "P3D_SetAngularVelocity", "velocity", velocity.x, velocity.y, velocity.z);
    if (!b) return false;
    b->body->setAngularVelocity(ClampLength(Bt(velocity), kMaxSpin));
    b->body->activate(true);
    return true;
}
bool P3D_ApplyImpulse(P3D_Body handle, Vector3 impulse) {
    Body* b = Dynamic(handle, "P3D_ApplyImpulse", "impulse", impulse.x, impulse.y, impulse.z);
    if (!b) return false;
    btRigidBody& rb = *b->body;
    rb.setLinearVelocity(ClampLength(rb.getLinearVelocity() + Bt(impulse) * rb.getInvMass(), kMaxSpeed));
    rb.activate(true);
    return true;
}
bool P3D_ApplyForce(P3D_Body handle, Vector3 force) {
    Body* b = Dynamic(handle, "P3D_ApplyForce", "force", force.x, force.y, force.z);
    if (!b) return false;
    b->force = ClampLength(b->force + Bt(force), 1e12f);
    b->body->activate(true);
    return true;
}
bool P3D_ApplyTorque(P3D_Body handle, Vector3 torque) {
    Body* b = Dynamic(handle, "P3D_ApplyTorque", "torque", torque.x, torque.y, torque.z);
    if (!b) return false;
    b->torque = ClampLength(b->torque + Bt(torque), 1e12f);
    b->body->activate(true);
    return true;
}

bool P3D_SetFriction(P3D_Body handle, float friction) {
    Body* b = Settable(handle, "P3D_SetFriction", "friction", friction);
    if (!b) return false;
    b->body->setFriction(std::clamp(friction, 0.0f, 10.0f));
    return true;
}
bool P3D_SetRestitution(P3D_Body handle, float restitution) {
    Body* b = Settable(handle, "P3D_SetRestitution", "restitution", restitution);
    if (!b) return false;
    b->body->setRestitution(std::clamp(restitution, 0.0f, 1.0f));
    return true;
}
bool P3D_SetDamping(P3D_Body handle, float linear, float angular) {
    Body* b = Settable(handle, "P3D_SetDamping", "damping", linear, angular);
    if (!b) return false;
    b->body->setDamping(std::clamp(linear, 0.0f, 1.0f), std::clamp(angular, 0.0f, 1.0f));
    return true;
}

void P3D_SetGravityEnabled(P3D_Body handle, bool enabled) {
    Body* b = Dynamic(handle, "P3D_SetGravityEnabled", "gravity");
    if (!b) return;
    btRigidBody& rb = *b->body;
    // The flag keeps a later change of the world's gravity off it too.
    rb.setFlags(enabled ? rb.getFlags() & ~BT_DISABLE_WORLD_GRAVITY : rb.getFlags() | BT_DISABLE_WORLD_GRAVITY);
    rb.setGravity(enabled ? TheWorld().world.getGravity() : btVector3(0, 0, 0));
    rb.activate(true);
}

void P3D_SetLayers(P3D_Body handle, int layer, int mask) {
    Body* b = GetBody(handle, "P3D_SetLayers");
    if (!b) return;
    World& w = TheWorld();
    b->layer = layer & P3D_ALL_LAYERS;
    b->mask = mask & P3D_ALL_LAYERS;
    if (b->outside) return;
    // Bullet keeps a body's filter in its broadphase proxy: it goes in again.
    w.Remove(*b);
    w.Add(*b);
    b->body->activate(true);
}

void P3D_SetTrigger(P3D_Body handle, bool trigger) {
    Body* b = GetBody(handle, "P3D_SetTrigger");
    if (!b || b->trigger == trigger) return;
    World& w = TheWorld();
    btRigidBody& rb = *b->body;
    b->trigger = trigger;
    if (trigger) {
        rb.setCollisionFlags(rb.getCollisionFlags() | btCollisionObject::CF_NO_CONTACT_RESPONSE);
        w.triggers.push_back(b);
    } else {
        rb.setCollisionFlags(rb.getCollisionFlags() & ~btCollisionObject::CF_NO_CONTACT_RESPONSE);
        w.triggers.erase(std::remove(w.triggers.begin(), w.triggers.end(), b), w.triggers.end());
        for (int key : b->inside) {
            const btCollisionObject* o = ObjectOf(key);
            w.pending.push_back({P3D_EVENT_LEAVE, b->id, o ? o->getUserIndex() : 0, 0, {0, 0, 0}, {0, 0, 0}});
        }
        b->inside.clear();
    }
}

P3D_BodyKind P3D_GetBodyKind(P3D_Body handle) {
    Body* b = GetBody(handle, "P3D_GetBodyKind");
    return b ? b->kind : P3D_STATIC;
}

}  // extern "C"
