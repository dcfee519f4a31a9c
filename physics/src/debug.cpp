// Colliders and contacts as lines, for a tool that shows what the simulation sees.
#include "internal.h"

using namespace p3d;

namespace {

Vector3 ToVector(const btVector3& v) { return {v.x(), v.y(), v.z()}; }

// Bullet draws shapes through a drawer; this one passes each line on with the
// kind of collider being drawn.
class Lines final : public btIDebugDraw {
public:
    Lines(P3D_DebugLine line, void* user) : line_(line), user_(user) {}

    P3D_DebugKind kind = P3D_DEBUG_STATIC;
    int count = 0;

    void drawLine(const btVector3& from, const btVector3& to, const btVector3&) override {
        line_(ToVector(from), ToVector(to), kind, user_);
        ++count;
    }
    void drawContactPoint(const btVector3& at, const btVector3& normal, btScalar, int, const btVector3&) override {
        const P3D_DebugKind was = kind;
        kind = P3D_DEBUG_CONTACT;
        constexpr btScalar kArm = 0.08f;
        for (int axis = 0; axis < 3; ++axis) {
            btVector3 arm(0, 0, 0);
            arm[axis] = kArm;
            drawLine(at - arm, at + arm, {});
        }
        drawLine(at, at + normal * (kArm * 3), {});
        kind = was;
    }
    void reportErrorWarning(const char*) override {}
    void draw3dText(const btVector3&, const char*) override {}
    void setDebugMode(int mode) override { mode_ = mode; }
    int getDebugMode() const override { return mode_; }

private:
    P3D_DebugLine line_;
    void* user_;
    int mode_ = DBG_DrawWireframe;
};

P3D_DebugKind KindOf(const Body& b) {
    if (b.trigger) return P3D_DEBUG_TRIGGER;
    if (b.kind == P3D_DYNAMIC) return P3D_DEBUG_DYNAMIC;
    if (b.kind == P3D_KINEMATIC) return P3D_DEBUG_KINEMATIC;
    return P3D_DEBUG_STATIC;
}

}  // namespace

// Whether a collider's bounds, where it is, hold `eye`.
bool Holds(const btCollisionShape& shape, const btTransform& at, const btVector3& eye) {
    btVector3 low, high;
    shape.getAabb(at, low, high);
    return eye.x() >= low.x() && eye.y() >= low.y() && eye.z() >= low.z() && eye.x() <= high.x() &&
           eye.y() <= high.y() && eye.z() <= high.z();
}

int P3D_DrawDebug(P3D_DebugLine line, void* user, Vector3 eyeAt) {
    if (!line) return 0;
    World& w = TheWorld();
    Lines lines(line, user);
    btIDebugDraw* before = w.world.getDebugDrawer();
    w.world.setDebugDrawer(&lines);
    const btVector3 colour(1, 1, 1);  // unused: the kind travels with each line
    const btVector3 eye(eyeAt.x, eyeAt.y, eyeAt.z);
    Bodies().ForEach([&](P3D_Body, Body& b) {
        if (!b.body || !b.shape) return;
        lines.kind = KindOf(b);
        w.world.debugDrawObject(b.body->getWorldTransform(), b.shape.get(), colour);
    });
    Characters().ForEach([&](P3D_Character, Character& c) {
        if (!c.object || !c.shape || Holds(*c.shape, c.object->getWorldTransform(), eye)) return;
        lines.kind = P3D_DEBUG_CHARACTER;
        w.world.debugDrawObject(c.object->getWorldTransform(), c.shape.get(), colour);
    });
    btDispatcher* dispatcher = w.world.getDispatcher();
    for (int m = 0; m < dispatcher->getNumManifolds(); ++m) {
        const btPersistentManifold* manifold = dispatcher->getManifoldByIndexInternal(m);
        for (int p = 0; p < manifold->getNumContacts(); ++p) {
            const btManifoldPoint& point = manifold->getContactPoint(p);
            if (point.getDistance() > 0) continue;  // near, not touching
            lines.drawContactPoint(point.getPositionWorldOnB(), point.m_normalWorldOnB, 0, 0, colour);
        }
    }
    w.world.setDebugDrawer(before);
    return lines.count;
}

float P3D_GetBodyMass(P3D_Body handle) {
    const Body* b = GetBody(handle, __func__);
    if (!b || !b->body || b->body->getInvMass() <= 0) return 0.0f;
    return 1.0f / b->body->getInvMass();
}
