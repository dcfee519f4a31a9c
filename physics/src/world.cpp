// The world, its fixed step and what a step reports: moved bodies and events.
#include <algorithm>
#include <cmath>

#include "internal.h"

namespace p3d {

namespace {

std::unique_ptr<World> g_world;

// Bullet calls this when a pair of bodies gets its first contact point; the
// step reports it once the solver has run, with the impulse it took.
void ContactStarted(btPersistentManifold* const& manifold) {
    if (g_world) g_world->started.push_back(manifold);
}
// A manifold may go away within the step it started in: forget it.
void ContactEnded(btPersistentManifold* const& manifold) {
    if (!g_world) return;
    auto& s = g_world->started;
    s.erase(std::remove(s.begin(), s.end(), manifold), s.end());
}

bool Same(const btTransform& a, const btTransform& b) {
    return a.getOrigin() == b.getOrigin() && a.getRotation() == b.getRotation();
}

bool Outside(const btVector3& p, float bounds) {
    return !base::Finite(p.x(), p.y(), p.z()) || std::fabs(p.x()) > bounds || std::fabs(p.y()) > bounds || std::fabs(p.z()) > bounds;
}

// Contact events of the step: pairs that began to touch, with what the solver gave them.
void ReportContacts(World& w) {
    for (btPersistentManifold* m : w.started) {
        const auto* a = static_cast<const btCollisionObject*>(m->getBody0());
        const auto* b = static_cast<const btCollisionObject*>(m->getBody1());
        if (m->getNumContacts() == 0 || !a->hasContactResponse() || !b->hasContactResponse()) continue;
        float impulse = 0;
        for (int k = 0; k < m->getNumContacts(); ++k) impulse += m->getContactPoint(k).getAppliedImpulse();
        const btManifoldPoint& p = m->getContactPoint(0);
        w.events.push_back({P3D_EVENT_CONTACT, a->getUserIndex(), b->getUserIndex(), impulse, Rl(p.getPositionWorldOnB()),
                            Rl(p.m_normalWorldOnB)});
    }
    w.started.clear();
}

// Who is inside each trigger now, against who was: enter and leave events.
struct InsideCallback : btCollisionWorld::ContactResultCallback {
    std::vector<int> keys;
    btScalar addSingleResult(btManifoldPoint& p, const btCollisionObjectWrapper* a, int, int, const btCollisionObjectWrapper* b,
                             int, int) override {
        if (p.getDistance() > 0) return 0;
        keys.push_back(KeyOf(a->getCollisionObject()));
        keys.push_back(KeyOf(b->getCollisionObject()));
        return 0;
    }
};

void ReportTriggers(World& w) {
    for (Body* t : w.triggers) {
        if (t->outside) continue;
        InsideCallback found;
        found.m_collisionFilterGroup = t->layer;
        found.m_collisionFilterMask = t->mask;
        w.world.contactTest(t->body.get(), found);
        std::vector<int>& now = found.keys;
        now.erase(std::remove(now.begin(), now.end(), t->handle), now.end());
        std::sort(now.begin(), now.end());
        now.erase(std::unique(now.begin(), now.end()), now.end());
        std::vector<int> changed;
        std::set_symmetric_difference(t->inside.begin(), t->inside.end(), now.begin(), now.end(), std::back_inserter(changed));
        for (int key : changed) {
            const btCollisionObject* o = ObjectOf(key);
            const bool entered = std::binary_search(now.begin(), now.end(), key);
            w.events.push_back({entered ? P3D_EVENT_ENTER : P3D_EVENT_LEAVE, t->id, o ? o->getUserIndex() : 0, 0, {0, 0, 0}, {0, 0, 0}});
        }
        t->inside.swap(now);
    }
}

// A body past the world's bounds leaves the simulation where it last was inside.
void CheckBounds(World& w, Body& b) {
    if (!Outside(b.current.getOrigin(), w.bounds)) return;
    const Vector3 at = Rl(b.current.getOrigin());
    b.current = b.previous;
    b.body->setWorldTransform(b.current);
    b.body->setLinearVelocity({0, 0, 0});
    b.body->setAngularVelocity({0, 0, 0});
    w.Remove(b);
    b.outside = true;
    ForgetKey(w, b.handle, b.id);
    w.events.push_back({P3D_EVENT_LEFT_WORLD, b.id, 0, 0, base::FiniteVector(at) ? at : Rl(b.current.getOrigin()), {0, 0, 0}});
}

}  // namespace

bool AdjustEdges(btManifoldPoint& point, const btCollisionObjectWrapper* a, int partA, int indexA, const btCollisionObjectWrapper* b,
                 int partB, int indexB) {
    btAdjustInternalEdgeContacts(point, b, a, partB, indexB);
    btAdjustInternalEdgeContacts(point, a, b, partA, indexA);
    return true;
}

btTransform Lerp(const btTransform& a, const btTransform& b, float t) {
    btTransform out;
    out.setOrigin(a.getOrigin().lerp(b.getOrigin(), t));
    out.setRotation(a.getRotation().slerp(b.getRotation(), t));
    return out;
}

World::World() : bodies(Bodies()), characters(Characters()) {
    world.setGravity({0, -9.81f, 0});
    // Sleeping bodies keep their boxes: only what moves (or is moved) is updated.
    world.setForceUpdateAllAabbs(false);
    gContactStartedCallback = ContactStarted;
    gContactEndedCallback = ContactEnded;
    gContactAddedCallback = AdjustEdges;
}

World::~World() {
    characters.ForEach([this](base::Handle, Character& c) { world.removeRigidBody(c.object.get()); });
    bodies.ForEach([this](base::Handle, Body& b) {
        if (!b.outside) world.removeRigidBody(b.body.get());
    });
    // Every handle of this world goes stale; the objects go before the Bullet world they were in.
    characters.Clear();
    bodies.Clear();
    gContactStartedCallback = nullptr;
    gContactEndedCallback = nullptr;
    gContactAddedCallback = nullptr;
}

void World::Add(Body& b) {
    world.addRigidBody(b.body.get(), b.layer, b.mask);
    world.updateSingleAabb(b.body.get());
}
void World::Remove(Body& b) { world.removeRigidBody(b.body.get()); }

// A new world: nothing of the old one's caches or settings is left. The old
// one unhooks Bullet's contact callbacks as it goes; the new one hooks them.
void ResetWorld(bool again) {
    g_world.reset();
    if (again) g_world = std::make_unique<World>();
}

World& TheWorld() {
    if (!g_world) g_world = std::make_unique<World>();
    return *g_world;
}

base::Pool<Body>& Bodies() {
    // Never destroyed: the last world may end at exit, after function statics are gone.
    static auto* pool = new base::Pool<Body>("P3D", "body");
    return *pool;
}

base::Pool<Character>& Characters() {
    static auto* pool = new base::Pool<Character>("P3D", "character");
    return *pool;
}

namespace {

template <class T>
T* Get(base::Pool<T>& pool, int handle, const char* call) {
    const auto h = static_cast<base::Handle>(handle);
    if (T* found = pool.Get(h, call)) return found;
    TheWorld().error = handle == 0 ? std::string(call) + ": no " + pool.Noun() + " given (handle 0)"
                                   : std::string(call) + ": " + pool.Noun() + " " + std::to_string(h) + " " + pool.Why(h);
    return nullptr;
}

}  // namespace

Body* GetBody(P3D_Body handle, const char* call) { return Get(Bodies(), handle, call); }
Character* GetCharacter(P3D_Character handle, const char* call) { return Get(Characters(), handle, call); }
Body* FindBody(P3D_Body handle) { return Bodies().Find(static_cast<base::Handle>(handle)); }
Character* FindCharacter(P3D_Character handle) { return Characters().Find(static_cast<base::Handle>(handle)); }

const btCollisionObject* ObjectOf(int key) {
    if (key > 0) {
        Body* b = FindBody(key);
        return b ? b->body.get() : nullptr;
    }
    Character* c = FindCharacter(-key);
    return c ? c->object.get() : nullptr;
}

int KeyOf(const btCollisionObject* object) { return object->getUserIndex2(); }

// What is removed inside a trigger has left it.
void ForgetKey(World& w, int key, int id) {
    for (Body* t : w.triggers) {
        auto it = std::lower_bound(t->inside.begin(), t->inside.end(), key);
        if (it == t->inside.end() || *it != key) continue;
        t->inside.erase(it);
        w.pending.push_back({P3D_EVENT_LEAVE, t->id, id, 0, {0, 0, 0}, {0, 0, 0}});
    }
}

bool Meets(const btBroadphaseProxy* proxy, int mask) {
    const auto* o = static_cast<const btCollisionObject*>(proxy->m_clientObject);
    return (proxy->m_collisionFilterGroup & mask) != 0 && o->hasContactResponse();
}

}  // namespace p3d

using namespace p3d;

extern "C" {

void P3D_Init(void) { TheWorld(); }
void P3D_Close(void) { ResetWorld(false); }

void P3D_Clear(void) { ResetWorld(true); }

const char* P3D_GetError(void) { return TheWorld().error.c_str(); }

void P3D_SetGravity(Vector3 gravity) {
    if (!base::FiniteVector(gravity)) {
        TheWorld().error = "gravity is not a finite vector";
        return;
    }
    World& w = TheWorld();
    w.world.setGravity(Bt(gravity));
    for (Body* b : w.moving) b->body->activate(true);  // a sleeping body would not notice
}
Vector3 P3D_GetGravity(void) { return Rl(TheWorld().world.getGravity()); }

void P3D_SetStepRate(float hertz) {
    if (!base::Finite(hertz)) {
        TheWorld().error = "the step rate is not a finite number";
        return;
    }
    TheWorld().rate = std::clamp(hertz, 10.0f, 1000.0f);
}
float P3D_GetStepRate(void) { return TheWorld().rate; }
void P3D_SetMaxSteps(int steps) { TheWorld().maxSteps = std::clamp(steps, 1, 100); }
void P3D_SetWorldBounds(float halfSize) {
    if (!(base::Finite(halfSize) && halfSize > 0)) {
        TheWorld().error = "the world's bounds are not a finite number above 0";
        return;
    }
    TheWorld().bounds = std::min(halfSize, 1e6f);
}

int P3D_Step(float frameSeconds) {
    World& w = TheWorld();
    w.poses.clear();
    w.events.swap(w.pending);
    w.pending.clear();
    const float dt = 1.0f / w.rate;
    if (base::Finite(frameSeconds) && frameSeconds > 0) w.owed += frameSeconds;
    int steps = static_cast<int>(w.owed / dt);
    // A long frame (a model loaded) runs a bounded number of steps; the time
    // beyond them is dropped rather than owed, so the world slows for a moment
    // instead of spiralling into ever longer frames.
    if (steps > w.maxSteps) {
        steps = w.maxSteps;
        w.owed = 0;
    } else {
        w.owed = std::max(0.0f, w.owed - steps * dt);
    }

    for (int k = 0; k < steps; ++k) {
        for (Body* b : w.moving) {
            if (b->outside) continue;
            b->previous = b->current;
            if (b->kind == P3D_KINEMATIC && b->travelling)
                b->body->setWorldTransform(Lerp(b->from, b->target, static_cast<float>(k + 1) / steps));
            if (b->kind == P3D_DYNAMIC && (!b->force.isZero() || !b->torque.isZero())) {
                b->body->applyCentralForce(b->force);
                b->body->applyTorque(b->torque);
                b->body->activate();
            }
        }
        w.characters.ForEach([&](base::Handle, Character& c) { StepCharacter(w, c, dt); });
        w.world.stepSimulation(dt, 0, dt);
        for (Body* b : w.moving) {
            if (b->outside) continue;
            b->current = b->body->getWorldTransform();
            CheckBounds(w, *b);
        }
        ReportContacts(w);
        ReportTriggers(w);
        w.simulated += dt;
    }
    if (steps > 0) {
        for (Body* b : w.moving) {
            b->force.setZero();
            b->torque.setZero();
            b->travelling = false;
        }
    }

    w.alpha = std::clamp(w.owed / dt, 0.0f, 1.0f);
    for (Body* b : w.moving) {
        if (b->kind != P3D_DYNAMIC || Same(b->previous, b->current)) continue;
        const btTransform t = Lerp(b->previous, b->current, w.alpha);
        w.poses.push_back({b->id, b->data, Rl(t.getOrigin()), Rl(t.getRotation())});
    }
    return steps;
}

double P3D_GetSimulatedTime(void) { return TheWorld().simulated; }

int P3D_GetMovedBodies(const P3D_Pose** poses) {
    World& w = TheWorld();
    if (poses) *poses = w.poses.data();
    return static_cast<int>(w.poses.size());
}

int P3D_GetEvents(const P3D_Event** events) {
    World& w = TheWorld();
    if (events) *events = w.events.data();
    return static_cast<int>(w.events.size());
}

int P3D_GetBodyCount(void) { return static_cast<int>(TheWorld().bodies.Size()); }

}  // extern "C"
