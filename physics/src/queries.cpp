// Queries against the world: rays, sweeps of a sphere or a capsule, overlaps.
// Triggers are left out; bodies and characters on a layer the mask meets are not.
#include <algorithm>
#include <cmath>

#include "internal.h"

namespace p3d {

namespace {

struct RayCallback : btCollisionWorld::ClosestRayResultCallback {
    RayCallback(const btVector3& from, const btVector3& to, int mask) : ClosestRayResultCallback(from, to) {
        m_collisionFilterMask = mask;
    }
    bool needsCollision(btBroadphaseProxy* proxy) const override { return Meets(proxy, m_collisionFilterMask); }
};

struct SweepCallback : btCollisionWorld::ClosestConvexResultCallback {
    SweepCallback(const btVector3& from, const btVector3& to, int mask) : ClosestConvexResultCallback(from, to) {
        m_collisionFilterMask = mask;
    }
    bool needsCollision(btBroadphaseProxy* proxy) const override { return Meets(proxy, m_collisionFilterMask); }
};

struct OverlapCallback : btCollisionWorld::ContactResultCallback {
    const btCollisionObject* probe;
    std::vector<int> ids;
    OverlapCallback(const btCollisionObject* probe, int mask) : probe(probe) { m_collisionFilterMask = mask; }
    bool needsCollision(btBroadphaseProxy* proxy) const override { return Meets(proxy, m_collisionFilterMask); }
    btScalar addSingleResult(btManifoldPoint& p, const btCollisionObjectWrapper* a, int, int, const btCollisionObjectWrapper* b, int,
                             int) override {
        if (p.getDistance() > 1e-3f) return 0;
        const btCollisionObject* other = a->getCollisionObject() == probe ? b->getCollisionObject() : a->getCollisionObject();
        ids.push_back(other->getUserIndex());
        return 0;
    }
};

P3D_Hit Miss() { return {false, 0, {0, 0, 0}, {0, 0, 0}, 0}; }

P3D_Hit Swept(btConvexShape& shape, Vector3 from, Vector3 to, int mask) {
    if (!base::FiniteVector(from) || !base::FiniteVector(to)) return Miss();
    const btVector3 a = Bt(from), b = Bt(to);
    const float length = (b - a).length();
    if (length < 1e-6f || length > 1e7f) return Miss();
    World& w = TheWorld();
    SweepCallback found(a, b, mask);
    const btQuaternion q = btQuaternion::getIdentity();
    w.world.convexSweepTest(&shape, btTransform(q, a), btTransform(q, b), found);
    if (!found.hasHit()) return Miss();
    return {true, length * found.m_closestHitFraction, Rl(found.m_hitPointWorld), Rl(found.m_hitNormalWorld.normalized()),
            found.m_hitCollisionObject->getUserIndex()};
}

int Overlapping(btCollisionShape& shape, const btTransform& at, int mask, int* ids, int max) {
    World& w = TheWorld();
    btCollisionObject probe;
    probe.setCollisionShape(&shape);
    probe.setWorldTransform(at);
    OverlapCallback found(&probe, mask);
    w.world.contactTest(&probe, found);
    std::vector<int>& all = found.ids;
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    for (int k = 0; k < static_cast<int>(all.size()) && k < max && ids; ++k) ids[k] = all[k];
    return static_cast<int>(all.size());
}

}  // namespace

}  // namespace p3d

using namespace p3d;

extern "C" {

P3D_Hit P3D_Raycast(Vector3 origin, Vector3 direction, float maxDistance, int mask) {
    if (!base::FiniteVector(origin) || !base::FiniteVector(direction) || !base::Finite(maxDistance) || maxDistance <= 0) return Miss();
    btVector3 d = Bt(direction);
    if (d.length2() < 1e-12f) return Miss();
    d.normalize();
    const btVector3 from = Bt(origin), to = from + d * std::min(maxDistance, 1e7f);
    RayCallback found(from, to, mask);
    TheWorld().world.rayTest(from, to, found);
    if (!found.hasHit()) return Miss();
    return {true, (found.m_hitPointWorld - from).length(), Rl(found.m_hitPointWorld), Rl(found.m_hitNormalWorld.normalized()),
            found.m_collisionObject->getUserIndex()};
}

P3D_Hit P3D_SweepSphere(Vector3 from, Vector3 to, float radius, int mask) {
    if (!(base::Finite(radius) && radius > 0 && radius <= 1e4f)) return Miss();
    btSphereShape sphere(radius);
    return Swept(sphere, from, to, mask);
}

P3D_Hit P3D_SweepCapsule(Vector3 from, Vector3 to, float radius, float height, int mask) {
    if (!(base::Finite(radius) && radius > 0 && radius <= 1e4f && base::Finite(height) && height <= 4e4f)) return Miss();
    btCapsuleShape capsule(radius, std::max(0.0f, height - 2 * radius));
    return Swept(capsule, from, to, mask);
}

int P3D_OverlapSphere(Vector3 center, float radius, int mask, int* ids, int max) {
    if (!base::FiniteVector(center) || !(base::Finite(radius) && radius > 0 && radius <= 1e5f)) return 0;
    btSphereShape sphere(radius);
    return Overlapping(sphere, btTransform(btQuaternion::getIdentity(), Bt(center)), mask, ids, max);
}

int P3D_OverlapBox(Vector3 center, Vector3 halfExtents, Quaternion rotation, int mask, int* ids, int max) {
    if (!base::FiniteVector(center) || !base::FiniteVector(halfExtents) || !base::FiniteVector(rotation)) return 0;
    const float smallest = std::min({halfExtents.x, halfExtents.y, halfExtents.z});
    const float largest = std::max({halfExtents.x, halfExtents.y, halfExtents.z});
    if (smallest <= 0 || largest > 1e5f) return 0;
    btQuaternion q = Bt(rotation);
    q = q.length2() > 1e-12f ? q.normalized() : btQuaternion::getIdentity();
    btBoxShape box(Bt(halfExtents));
    return Overlapping(box, btTransform(q, Bt(center)), mask, ids, max);
}

}  // extern "C"
