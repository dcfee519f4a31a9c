// Characters: an upright capsule moved by sweeps rather than simulated, so that it
// walks exactly as fast as asked, stops at walls, climbs steps and never tips over.
//
// Each fixed step: push out of whatever overlaps it; rise by the step height (and
// by a jump's climb); move across, sliding along what it meets; come down by as
// much as it rose plus its fall plus, when it stood on the ground, the step height
// again, so that it follows stairs and slopes down. Ground steeper than the
// character's slope limit does not hold it up: it slides down along it.
#include <algorithm>
#include <cmath>

#include "internal.h"

namespace p3d {

namespace {

const btVector3 kUp(0, 1, 0);
// What a character weighs when it pushes: a crate lighter than this is pushed at its walking speed.
constexpr float kPushMass = 80.0f;
constexpr float kMaxFall = 60.0f;

// The closest hit of a sweep, leaving out the character itself, triggers, layers it
// does not meet, and faces it moves away from (it may start touching them).
struct SweepCallback : btCollisionWorld::ClosestConvexResultCallback {
    const btCollisionObject* self;
    btVector3 direction;
    SweepCallback(const btCollisionObject* self, const btVector3& from, const btVector3& to, int layer, int mask)
        : ClosestConvexResultCallback(from, to), self(self), direction((to - from).normalized()) {
        m_collisionFilterGroup = layer;
        m_collisionFilterMask = mask;
    }
    bool needsCollision(btBroadphaseProxy* proxy) const override {
        if (proxy->m_clientObject == self) return false;
        return Meets(proxy, m_collisionFilterMask) && (proxy->m_collisionFilterMask & m_collisionFilterGroup) != 0;
    }
    btScalar addSingleResult(btCollisionWorld::LocalConvexResult& r, bool normalInWorldSpace) override {
        const btVector3 n = normalInWorldSpace ? r.m_hitNormalLocal
                                               : r.m_hitCollisionObject->getWorldTransform().getBasis() * r.m_hitNormalLocal;
        if (n.dot(direction) > -1e-4f) return m_closestHitFraction;
        return ClosestConvexResultCallback::addSingleResult(r, normalInWorldSpace);
    }
};

struct Sweep {
    bool hit = false;
    float fraction = 1;
    btVector3 normal{0, 1, 0};
    btVector3 point{0, 0, 0};
    const btCollisionObject* object = nullptr;
};

btVector3 Center(const Character& c) { return c.foot + kUp * (c.height * 0.5f); }

Sweep Cast(World& w, const Character& c, const btVector3& from, const btVector3& to) {
    Sweep s;
    if ((to - from).length2() < 1e-12f) return s;
    SweepCallback callback(c.object.get(), from, to, c.layer, c.mask);
    const btQuaternion upright = btQuaternion::getIdentity();
    w.world.convexSweepTest(c.shape.get(), btTransform(upright, from), btTransform(upright, to), callback);
    if (!callback.hasHit()) return s;
    s.hit = true;
    s.fraction = callback.m_closestHitFraction;
    s.normal = callback.m_hitNormalWorld.normalized();
    s.point = callback.m_hitPointWorld;
    s.object = callback.m_hitCollisionObject;
    return s;
}

// How far along a sweep of `length` to go so as to stop kSkin short of the hit.
float Reach(const Sweep& s, float length) {
    if (!s.hit) return 1.0f;
    return length > 0 ? std::max(0.0f, s.fraction - kSkin / length) : 0.0f;
}

// A dynamic body in the way is shoved along, up to the character's speed.
void Push(const btCollisionObject* object, const btVector3& direction, float speed) {
    auto* body = const_cast<btRigidBody*>(btRigidBody::upcast(object));
    if (!body || body->isStaticOrKinematicObject() || body->getInvMass() <= 0) return;
    const float along = body->getLinearVelocity().dot(direction);
    if (along >= speed) return;
    const float mass = 1.0f / body->getInvMass();
    const float share = std::min(1.0f, kPushMass / mass);
    body->activate(true);
    body->applyCentralImpulse(direction * ((speed - along) * mass * share));
}

// Overlaps left by bodies that moved into the character: the deepest one is undone.
struct PenetrationCallback : btCollisionWorld::ContactResultCallback {
    const btCollisionObject* self;
    float depth = 0;
    btVector3 out{0, 0, 0};
    explicit PenetrationCallback(const btCollisionObject* self) : self(self) {}
    bool needsCollision(btBroadphaseProxy* proxy) const override {
        return proxy->m_clientObject != self && Meets(proxy, m_collisionFilterMask);
    }
    btScalar addSingleResult(btManifoldPoint& p, const btCollisionObjectWrapper* a, int, int, const btCollisionObjectWrapper*, int,
                             int) override {
        const float d = -p.getDistance();
        if (d <= depth) return 0;
        depth = d;
        // The normal points at the first object: out of the second for the character.
        out = a->getCollisionObject() == self ? p.m_normalWorldOnB : -p.m_normalWorldOnB;
        return 0;
    }
};

void Recover(World& w, Character& c) {
    for (int round = 0; round < 4; ++round) {
        c.object->setWorldTransform(btTransform(btQuaternion::getIdentity(), Center(c)));
        PenetrationCallback found(c.object.get());
        found.m_collisionFilterGroup = c.layer;
        found.m_collisionFilterMask = c.mask;
        w.world.contactTest(c.object.get(), found);
        if (found.depth < 1e-3f) return;
        c.foot += found.out * (found.depth + 1e-3f);
    }
}

// Whether a steep hit is the edge of walkable ground (a step's nosing under the
// capsule's round bottom) rather than a steep face: just beyond the hit point, away
// from the capsule's axis, a short ray down finds ground it could stand on.
bool WalkableEdge(World& w, const Character& c, const btVector3& hit) {
    btVector3 outward = hit - (c.foot + kUp * c.radius);
    outward.setY(0);
    if (outward.length2() < 1e-8f) return false;
    const btVector3 from = hit + outward.normalized() * 0.02f + kUp * 0.05f, to = from - kUp * 0.1f;
    struct Below : btCollisionWorld::ClosestRayResultCallback {
        const btCollisionObject* self;
        Below(const btVector3& a, const btVector3& b, const btCollisionObject* self) : ClosestRayResultCallback(a, b), self(self) {}
        bool needsCollision(btBroadphaseProxy* proxy) const override {
            return proxy->m_clientObject != self && Meets(proxy, m_collisionFilterMask);
        }
    } ray(from, to, c.object.get());
    ray.m_collisionFilterMask = c.mask;
    w.world.rayTest(from, to, ray);
    return ray.hasHit() && ray.m_hitNormalWorld.normalized().y() >= c.cosMaxSlope;
}

}  // namespace

void StepCharacter(World& w, Character& c, float dt) {
    c.previousFoot = c.foot;
    if (c.outside) return;
    Recover(w, c);
    const btVector3 start = c.foot;
    const float gravity = w.world.getGravity().y();

    bool jumped = false;
    if (c.onGround && c.wanted.y() > 0) {
        c.vertical = c.wanted.y();
        c.onGround = false;
        jumped = true;
    }
    if (c.onGround) c.vertical = 0;
    else c.vertical = std::clamp(c.vertical + gravity * dt, -kMaxFall, kMaxFall);
    const bool stood = c.onGround;

    btVector3 center = Center(c);
    // Up: the step height while on the ground, and a jump's climb.
    const float rise = (stood ? c.stepHeight : 0.0f) + std::max(c.vertical * dt, 0.0f);
    const Sweep up = Cast(w, c, center, center + kUp * rise);
    const float risen = rise * Reach(up, rise);
    center += kUp * risen;
    if (up.hit && c.vertical > 0) c.vertical = 0;  // a ceiling stops the jump

    // Across, sliding along walls: a face too steep to stand on counts as upright.
    btVector3 move(c.wanted.x() * dt, 0, c.wanted.z() * dt);
    const float speed = btVector3(c.wanted.x(), 0, c.wanted.z()).length();
    for (int round = 0; round < 4 && move.length2() > 1e-12f; ++round) {
        const Sweep s = Cast(w, c, center, center + move);
        const float length = move.length();
        center += move * Reach(s, length);
        if (!s.hit) break;
        Push(s.object, move / length, speed);
        btVector3 n = s.normal;
        if (n.y() < c.cosMaxSlope) {
            n.setY(0);
            if (n.length2() < 1e-8f) break;
            n.normalize();
        }
        move *= 1.0f - s.fraction;
        move -= n * move.dot(n);
    }

    // Down: what it rose, what it falls, and on the ground the step height to follow steps down.
    const float fall = std::max(-c.vertical * dt, 0.0f);
    const float down = risen + fall + (stood && !jumped ? c.stepHeight : 0.0f);
    const Sweep s = Cast(w, c, center, center - kUp * down);
    if (!s.hit) {
        center -= kUp * (risen + fall);
        c.onGround = false;
    } else {
        center -= kUp * (down * Reach(s, down));
        c.foot = center - kUp * (c.height * 0.5f);
        if (s.normal.y() >= c.cosMaxSlope || WalkableEdge(w, c, s.point)) {
            c.onGround = true;
            c.vertical = 0;
        } else {
            // Too steep: the rest of the way down goes along the face.
            c.onGround = false;
            btVector3 slide = -kUp * (down * (1.0f - s.fraction));
            slide -= s.normal * slide.dot(s.normal);
            const Sweep along = Cast(w, c, center, center + slide);
            center += slide * Reach(along, slide.length());
        }
    }
    c.foot = center - kUp * (c.height * 0.5f);
    const btVector3& p = c.foot;
    if (std::max({std::fabs(p.x()), std::fabs(p.y()), std::fabs(p.z())}) > w.bounds) {
        // Fallen out of the world (off the level's edge, for ever): it stays where it left.
        c.foot = c.previousFoot;
        c.vertical = 0;
        c.outside = true;
        w.events.push_back({P3D_EVENT_LEFT_WORLD, c.id, 0, 0, Rl(c.foot), {0, 0, 0}});
    }
    c.velocity = (c.foot - start) / dt;
    c.object->setWorldTransform(btTransform(btQuaternion::getIdentity(), Center(c)));
}

}  // namespace p3d

using namespace p3d;

extern "C" {

P3D_Character P3D_CreateCharacter(float radius, float height, Vector3 foot, int id) {
    World& w = TheWorld();
    if (!(base::Finite(radius) && radius >= 0.01f && radius <= 100.0f))
        return Refuse("its radius " + std::to_string(radius) + " is not between 0.01 and 100", 0);
    if (!(base::Finite(height) && height <= 400.0f))
        return Refuse("its height " + std::to_string(height) + " is not finite or above 400", 0);
    if (!base::FiniteVector(foot)) return Refuse("its position is not finite", 0);
    const base::Handle handle = w.characters.Add();
    if (handle == 0) return Refuse("no more characters can be made (every handle is spent)", 0);
    Character* c = w.characters.Find(handle);
    c->handle = static_cast<P3D_Character>(handle);
    c->id = id;
    c->radius = radius;
    c->height = std::max(height, 2 * radius);  // at least its two caps
    c->stepHeight = std::min(c->stepHeight, c->height * 0.5f);
    c->shape = std::make_unique<btCapsuleShape>(radius, c->height - 2 * radius);
    c->foot = c->previousFoot = Bt(foot);
    btRigidBody::btRigidBodyConstructionInfo info(0, nullptr, c->shape.get());
    info.m_startWorldTransform = btTransform(btQuaternion::getIdentity(), Center(*c));
    c->object = std::make_unique<btRigidBody>(info);
    c->object->setCollisionFlags(c->object->getCollisionFlags() | btCollisionObject::CF_KINEMATIC_OBJECT);
    c->object->setActivationState(DISABLE_DEACTIVATION);
    c->object->setUserIndex(id);
    c->object->setUserIndex2(-c->handle);
    w.world.addRigidBody(c->object.get(), c->layer, c->mask);
    return c->handle;
}

void P3D_DestroyCharacter(P3D_Character handle) {
    Character* c = GetCharacter(handle, "P3D_DestroyCharacter");
    if (!c) return;
    World& w = TheWorld();
    w.world.removeRigidBody(c->object.get());
    ForgetKey(w, -handle, c->id);
    w.characters.Remove(static_cast<base::Handle>(handle));
}

bool P3D_SetCharacterPosition(P3D_Character handle, Vector3 foot) {
    Character* c = GetCharacter(handle, "P3D_SetCharacterPosition");
    if (!c) return false;
    if (!base::FiniteVector(foot) || std::max({std::fabs(foot.x), std::fabs(foot.y), std::fabs(foot.z)}) > TheWorld().bounds)
        return Refuse("the position is not finite or outside the world's bounds", false);
    c->foot = c->previousFoot = Bt(foot);
    c->vertical = 0;
    c->onGround = false;
    c->outside = false;
    c->object->setWorldTransform(btTransform(btQuaternion::getIdentity(), Center(*c)));
    TheWorld().world.updateSingleAabb(c->object.get());
    return true;
}

bool P3D_MoveCharacter(P3D_Character handle, Vector3 velocity) {
    Character* c = GetCharacter(handle, "P3D_MoveCharacter");
    if (!c) return false;
    if (!base::FiniteVector(velocity)) return Refuse("the velocity is not finite", false);
    btVector3 v = Bt(velocity);
    btVector3 across(v.x(), 0, v.z());
    across = across.length() > 1000.0f ? across * (1000.0f / across.length()) : across;
    c->wanted = btVector3(across.x(), std::clamp(v.y(), -kMaxFall, kMaxFall), across.z());
    return true;
}

Vector3 P3D_GetCharacterPosition(P3D_Character handle) {
    Character* c = GetCharacter(handle, "P3D_GetCharacterPosition");
    return c ? Rl(c->previousFoot.lerp(c->foot, TheWorld().alpha)) : Vector3{0, 0, 0};
}

Vector3 P3D_GetCharacterVelocity(P3D_Character handle) {
    Character* c = GetCharacter(handle, "P3D_GetCharacterVelocity");
    return c ? Rl(c->velocity) : Vector3{0, 0, 0};
}

bool P3D_IsCharacterOnGround(P3D_Character handle) {
    Character* c = GetCharacter(handle, "P3D_IsCharacterOnGround");
    return c && c->onGround;
}

void P3D_SetCharacterStepHeight(P3D_Character handle, float height) {
    Character* c = GetCharacter(handle, "P3D_SetCharacterStepHeight");
    if (!c) return;
    if (!base::Finite(height)) {
        TheWorld().error = "the step height is not finite";
        return;
    }
    c->stepHeight = std::clamp(height, 0.0f, c->height * 0.5f);
}

void P3D_SetCharacterMaxSlope(P3D_Character handle, float degrees) {
    Character* c = GetCharacter(handle, "P3D_SetCharacterMaxSlope");
    if (!c) return;
    if (!base::Finite(degrees)) {
        TheWorld().error = "the slope is not finite";
        return;
    }
    c->cosMaxSlope = std::cos(std::clamp(degrees, 0.0f, 89.0f) * 3.14159265f / 180.0f);
}

void P3D_SetCharacterLayers(P3D_Character handle, int layer, int mask) {
    Character* c = GetCharacter(handle, "P3D_SetCharacterLayers");
    if (!c) return;
    World& w = TheWorld();
    c->layer = layer & P3D_ALL_LAYERS;
    c->mask = mask & P3D_ALL_LAYERS;
    w.world.removeRigidBody(c->object.get());
    w.world.addRigidBody(c->object.get(), c->layer, c->mask);
}

}  // extern "C"
