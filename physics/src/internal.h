// The physics world behind p3d.h: Bullet's dynamics world, the bodies and
// characters in it, and the state of the fixed step.
#pragma once

#include <BulletCollision/CollisionDispatch/btInternalEdgeUtility.h>
#include <btBulletDynamicsCommon.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "base/Numbers.h"
#include "p3d.h"

namespace p3d {

// Speeds past these are clamped: nothing in a game moves faster, and a body
// sent faster would leave the world in one step anyway.
constexpr float kMaxSpeed = 10000.0f;
constexpr float kMaxSpin = 1000.0f;
// How far a character keeps from what it touches, so the next sweep starts clear of it.
constexpr float kSkin = 0.01f;

inline btVector3 Bt(Vector3 v) { return {v.x, v.y, v.z}; }
inline btQuaternion Bt(Quaternion q) { return {q.x, q.y, q.z, q.w}; }
inline Vector3 Rl(const btVector3& v) { return {v.x(), v.y(), v.z()}; }
inline Quaternion Rl(const btQuaternion& q) { return {q.x(), q.y(), q.z(), q.w()}; }
btTransform Lerp(const btTransform& a, const btTransform& b, float t);
// Bullet's contact-added hook: a contact with a mesh takes the normal of its surface
// rather than of an inner edge between two of its triangles (meshes flagged
// CF_CUSTOM_MATERIAL_CALLBACK; see Mesh in bodies.cpp).
bool AdjustEdges(btManifoldPoint& point, const btCollisionObjectWrapper* a, int partA, int indexA, const btCollisionObjectWrapper* b,
                 int partB, int indexB);

// What every collision object of the world carries: user index = the caller's id,
// user index 2 = its key (a body's handle, a character's handle negated), so that a
// trigger can remember who is inside without holding pointers to them.
struct Body {
    P3D_Body handle = 0;
    P3D_BodyKind kind = P3D_STATIC;
    int id = 0;
    void* data = nullptr;
    // In the order they may be destroyed in reverse: the body, then its shape,
    // then what the shape refers to.
    std::unique_ptr<btTriangleMesh> mesh;
    std::unique_ptr<btTriangleInfoMap> edges;     // a mesh's inner edges, which contacts must not catch on
    std::unique_ptr<btCollisionShape> child;      // the primitive inside an offset compound
    std::unique_ptr<btCollisionShape> shape;
    std::unique_ptr<btRigidBody> body;
    btTransform previous, current;                // after the last two steps, for interpolation
    btVector3 force{0, 0, 0}, torque{0, 0, 0};    // acting over the next P3D_Step
    bool travelling = false;                      // kinematic: going from `from` to `target`
    btTransform from, target;
    bool trigger = false;
    bool outside = false;                         // left the world's bounds: out of the simulation
    int layer = 1, mask = P3D_ALL_LAYERS;
    std::vector<int> inside;                      // a trigger's: keys of what is in it, sorted
};

struct Character {
    P3D_Character handle = 0;
    int id = 0;
    float radius = 0, height = 0;
    float stepHeight = 0.35f;
    float cosMaxSlope = 0.70710678f;
    std::unique_ptr<btCapsuleShape> shape;
    std::unique_ptr<btRigidBody> object;          // kinematic: bodies collide with it, queries hit it
    btVector3 foot{0, 0, 0}, previousFoot{0, 0, 0};
    btVector3 wanted{0, 0, 0};
    btVector3 velocity{0, 0, 0};
    float vertical = 0;                           // falling or jumping speed
    bool onGround = false;
    bool outside = false;                         // fell out of the world's bounds: held there
    int layer = 1, mask = P3D_ALL_LAYERS;
};

struct World {
    btDefaultCollisionConfiguration config;
    btCollisionDispatcher dispatcher{&config};
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world{&dispatcher, &broadphase, &solver, &config};

    base::Pool<Body>& bodies;                     // Bodies(): emptied when this world ends
    std::vector<Body*> moving;                    // dynamic and kinematic bodies
    std::vector<Body*> triggers;
    base::Pool<Character>& characters;            // Characters(): the same

    float rate = 60.0f;
    float owed = 0.0f;                            // seconds not stepped yet
    double simulated = 0.0;                       // seconds the steps so far covered
    float alpha = 0.0f;                           // where the frame is between the last two steps
    int maxSteps = 8;
    float bounds = 10000.0f;

    std::vector<P3D_Pose> poses;
    std::vector<P3D_Event> events, pending;       // pending: happened between steps
    std::vector<btPersistentManifold*> started;   // manifolds that began touching this step
    std::string error;

    World();
    ~World();
    void Add(Body& b);
    void Remove(Body& b);
};

World& TheWorld();
void ResetWorld(bool again);  // false: none until the next call needs one
// Refuses a call: remembers why, and gives `result`.
template <class T>
T Refuse(const std::string& why, T result) {
    TheWorld().error = why;
    return result;
}

// Every body and character. The pools outlive the worlds (P3D_Clear and
// P3D_Close end one), which empty them as they end: no handle is given twice in
// a process, so one from an old world finds nothing rather than a new body.
base::Pool<Body>& Bodies();
base::Pool<Character>& Characters();

// The body or character behind a handle, or null when there is none: then the
// call is refused, P3D_GetError says why, and a handle that is not 0 ("none")
// warns naming `call` ("P3D: P3D_SetFriction: body 5 was released").
Body* GetBody(P3D_Body handle, const char* call);
Character* GetCharacter(P3D_Character handle, const char* call);
// The same, silently (P3D_IsBody; triggers looking up who is inside them).
Body* FindBody(P3D_Body handle);
Character* FindCharacter(P3D_Character handle);
// Collision objects by key (see Body).
const btCollisionObject* ObjectOf(int key);
int KeyOf(const btCollisionObject* object);

// The shape of a body, checked: false (and P3D_GetError) for a shape that
// cannot be simulated. Non-finite and degenerate triangles of a mesh are dropped.
bool BuildShape(const P3D_BodyDesc& desc, Body& body);

// One fixed step of a character, before the world's step.
void StepCharacter(World& w, Character& c, float dt);
// Takes a character out of every trigger's list.
void ForgetKey(World& w, int key, int id);

// Collision filtering shared by queries and sweeps: what a query with `mask` meets.
bool Meets(const btBroadphaseProxy* proxy, int mask);

}  // namespace p3d
