/**********************************************************************************************
*
*   p3d - Vantor's physics layer, a C API on Bullet
*
*   What it does:
*     - one world of rigid bodies: static, dynamic (mass, friction, restitution, damping)
*       and kinematic (moved by the caller), shaped as boxes, spheres, capsules, cylinders,
*       convex hulls of points and static triangle meshes
*     - a fixed step (60 Hz unless changed): P3D_Step(frameSeconds) runs as many steps as the
*       time owed holds, at most P3D_SetMaxSteps() a call, and poses are interpolated
*       between the last two steps so that motion is smooth at any frame rate
*     - capsule characters that walk, slide along walls, step up stairs, stand on slopes up
*       to an angle, slide down steeper ones and push dynamic bodies
*     - ray casts, sphere and capsule sweeps, overlap tests, trigger volumes, contact events,
*       collision layers and masks
*
*   It knows nothing of whoever owns the bodies: each carries the caller's `id` and `data`,
*   handed back in poses, hits and events. Bullet's headers are included here only.
*
*   Usage:
*     P3D_Init();
*     P3D_BodyDesc desc = P3D_DefaultBody();
*     desc.kind = P3D_DYNAMIC; desc.shape = P3D_SHAPE_BOX; desc.halfExtents = (Vector3){0.5f, 0.5f, 0.5f};
*     desc.mass = 1; desc.position = (Vector3){0, 5, 0};
*     P3D_Body box = P3D_CreateBody(&desc);        // 0, with P3D_GetError(), when refused
*     every frame:
*       P3D_Step(GetFrameTime());
*       const P3D_Pose* poses; int n = P3D_GetMovedBodies(&poses);   ... place them ...
*     P3D_Close();
*
**********************************************************************************************/
#ifndef P3D_H
#define P3D_H

#include <stdbool.h>
#include "raylib.h"     // Required for: Vector3, Quaternion

#ifdef __cplusplus
extern "C" {
#endif

// Handles are never reused. One of a body or character that was removed (or of a
// world since cleared or closed), or a character's handle given as a body's (and
// the reverse), is refused as every bad argument is: the call does nothing and
// returns false (or zeros), and P3D_GetError says why; such a handle (not 0) also
// warns on stderr naming the call ("WARNING: P3D: P3D_SetFriction: body 5 was released").
typedef int P3D_Body;       // 0: none
typedef int P3D_Character;  // 0: none

typedef enum P3D_BodyKind {
    P3D_STATIC = 0,     // never moves by itself; the caller may place it
    P3D_DYNAMIC = 1,    // moved by the simulation
    P3D_KINEMATIC = 2   // moved by the caller, pushes dynamic bodies on its way
} P3D_BodyKind;

typedef enum P3D_ShapeKind {
    P3D_SHAPE_BOX = 0,       // halfExtents
    P3D_SHAPE_SPHERE = 1,    // radius: the largest half extent
    P3D_SHAPE_CAPSULE = 2,   // upright; radius max(half x, half z), total height 2 * half y
    P3D_SHAPE_CYLINDER = 3,  // upright; radius max(half x, half z), height 2 * half y
    P3D_SHAPE_HULL = 4,      // the convex hull of `points`
    P3D_SHAPE_MESH = 5       // `points` taken three by three as triangles; static or kinematic only
} P3D_ShapeKind;

// Every layer a body is on, and every layer it (and a query) meets.
#define P3D_ALL_LAYERS 0xFFFF

typedef struct P3D_BodyDesc {
    P3D_BodyKind kind;
    P3D_ShapeKind shape;
    Vector3 halfExtents;       // box, sphere, capsule, cylinder
    Vector3 center;            // where the shape's centre sits in the body's own frame
    const Vector3* points;     // hull and mesh, in the body's own frame (already scaled)
    int pointCount;
    float mass;                // dynamic only: finite and above 0
    float friction;            // default 0.5
    float restitution;         // default 0
    Vector3 position;
    Quaternion rotation;
    int layer;                 // bits of the layers it is on (default 1)
    int mask;                  // bits of the layers it collides with (default P3D_ALL_LAYERS)
    bool trigger;              // reports who enters and leaves; nothing collides with it
    int id;                    // the caller's, handed back in poses, hits and events
    void* data;                // the caller's, handed back in poses
} P3D_BodyDesc;

// What the simulation moved: a body's pose interpolated to where the frame is.
typedef struct P3D_Pose {
    int id;
    void* data;
    Vector3 position;
    Quaternion rotation;
} P3D_Pose;

typedef struct P3D_Hit {
    bool hit;
    float distance;            // along the ray or sweep (the sweep's centre travel)
    Vector3 point;
    Vector3 normal;
    int id;                    // of the body or character hit; 0 for none
} P3D_Hit;

typedef enum P3D_EventKind {
    P3D_EVENT_ENTER = 0,       // a: the trigger, b: what entered it
    P3D_EVENT_LEAVE = 1,       // a: the trigger, b: what left it (or was removed inside it)
    P3D_EVENT_CONTACT = 2,     // a and b began to touch; impulse, point and normal (towards a) of that step
    P3D_EVENT_LEFT_WORLD = 3   // a left the world's bounds and sleeps until placed back inside
} P3D_EventKind;

typedef struct P3D_Event {
    P3D_EventKind kind;
    int a, b;
    float impulse;             // newton-seconds
    Vector3 point;
    Vector3 normal;
} P3D_Event;

//----------------------------------------------------------------------------------
// World
//----------------------------------------------------------------------------------
void P3D_Init(void);
void P3D_Close(void);
void P3D_Clear(void);                       // removes every body and character; settings back to their defaults
const char* P3D_GetError(void);             // why the last refused call was refused

void P3D_SetGravity(Vector3 gravity);       // default (0, -9.81, 0); non-finite values are refused
Vector3 P3D_GetGravity(void);
void P3D_SetStepRate(float hertz);          // default 60; clamped to 10..1000
float P3D_GetStepRate(void);
void P3D_SetMaxSteps(int steps);            // most steps one P3D_Step runs (default 8); time beyond is dropped
void P3D_SetWorldBounds(float halfSize);    // default 10000: a body farther out on any axis leaves the world

// Runs the fixed steps the time owed holds (frameSeconds added to it); returns how many.
// Events and moved bodies of earlier calls are dropped first.
int P3D_Step(float frameSeconds);
double P3D_GetSimulatedTime(void);          // seconds the steps so far have simulated
// Bodies whose drawn pose changed in the last P3D_Step (dynamic ones, interpolated).
int P3D_GetMovedBodies(const P3D_Pose** poses);
// Events of the last P3D_Step, in the order they happened.
int P3D_GetEvents(const P3D_Event** events);
int P3D_GetBodyCount(void);

//----------------------------------------------------------------------------------
// Bodies
//----------------------------------------------------------------------------------
P3D_BodyDesc P3D_DefaultBody(void);
P3D_Body P3D_CreateBody(const P3D_BodyDesc* desc);       // 0 when refused (P3D_GetError says why)
void P3D_DestroyBody(P3D_Body body);                     // a trigger it was inside reports it leaving
bool P3D_IsBody(P3D_Body body);

// Puts a body where the caller placed it: a kinematic body travels there over the next
// P3D_Step; others jump there. Non-finite values are refused.
bool P3D_SetBodyTransform(P3D_Body body, Vector3 position, Quaternion rotation);
void P3D_GetBodyTransform(P3D_Body body, Vector3* position, Quaternion* rotation);  // interpolated

Vector3 P3D_GetLinearVelocity(P3D_Body body);
Vector3 P3D_GetAngularVelocity(P3D_Body body);
// These act on dynamic bodies only and refuse non-finite values (false). Velocities are
// clamped to 10,000 m/s and 1,000 rad/s; forces and torques act over the next P3D_Step.
bool P3D_SetLinearVelocity(P3D_Body body, Vector3 velocity);
bool P3D_SetAngularVelocity(P3D_Body body, Vector3 velocity);
bool P3D_ApplyImpulse(P3D_Body body, Vector3 impulse);
bool P3D_ApplyForce(P3D_Body body, Vector3 force);
bool P3D_ApplyTorque(P3D_Body body, Vector3 torque);
// Friction and restitution are clamped to 0..10 and 0..1, damping to 0..1.
bool P3D_SetFriction(P3D_Body body, float friction);
bool P3D_SetRestitution(P3D_Body body, float restitution);
bool P3D_SetDamping(P3D_Body body, float linear, float angular);
void P3D_SetGravityEnabled(P3D_Body body, bool enabled);
void P3D_SetLayers(P3D_Body body, int layer, int mask);
void P3D_SetTrigger(P3D_Body body, bool trigger);
P3D_BodyKind P3D_GetBodyKind(P3D_Body body);
float P3D_GetBodyMass(P3D_Body body);                 // kilograms; 0 for static and kinematic bodies

//----------------------------------------------------------------------------------
// Characters: upright capsules with their foot at the position given
//----------------------------------------------------------------------------------
P3D_Character P3D_CreateCharacter(float radius, float height, Vector3 foot, int id);  // 0 when refused
void P3D_DestroyCharacter(P3D_Character character);
bool P3D_SetCharacterPosition(P3D_Character character, Vector3 foot);
// The velocity it walks with from now on (x and z); a positive y jumps with that speed
// when it stands on the ground.
bool P3D_MoveCharacter(P3D_Character character, Vector3 velocity);
Vector3 P3D_GetCharacterPosition(P3D_Character character);   // the foot, interpolated
Vector3 P3D_GetCharacterVelocity(P3D_Character character);   // what it moved with in the last step
bool P3D_IsCharacterOnGround(P3D_Character character);
void P3D_SetCharacterStepHeight(P3D_Character character, float height);  // default 0.35; 0..height
void P3D_SetCharacterMaxSlope(P3D_Character character, float degrees);   // default 45; 0..89
void P3D_SetCharacterLayers(P3D_Character character, int layer, int mask);

//----------------------------------------------------------------------------------
// Queries: against every body and character whose layers meet `mask` (triggers aside)
//----------------------------------------------------------------------------------
P3D_Hit P3D_Raycast(Vector3 origin, Vector3 direction, float maxDistance, int mask);
P3D_Hit P3D_SweepSphere(Vector3 from, Vector3 to, float radius, int mask);
P3D_Hit P3D_SweepCapsule(Vector3 from, Vector3 to, float radius, float height, int mask);  // upright; from/to: centre
// Ids of what overlaps, each once, at most `max` written; returns how many overlap.
int P3D_OverlapSphere(Vector3 center, float radius, int mask, int* ids, int max);
int P3D_OverlapBox(Vector3 center, Vector3 halfExtents, Quaternion rotation, int mask, int* ids, int max);

//----------------------------------------------------------------------------------
// Looking inside: every collider as lines, and where things touch
//----------------------------------------------------------------------------------
typedef enum P3D_DebugKind {
    P3D_DEBUG_STATIC = 0,
    P3D_DEBUG_DYNAMIC = 1,
    P3D_DEBUG_KINEMATIC = 2,
    P3D_DEBUG_TRIGGER = 3,     // a body of any kind that is a trigger
    P3D_DEBUG_CHARACTER = 4,
    P3D_DEBUG_CONTACT = 5      // a small cross where two colliders touched in the latest step
} P3D_DebugKind;

typedef void (*P3D_DebugLine)(Vector3 from, Vector3 to, P3D_DebugKind kind, void* user);
// Hands every line of every collider's shape where it is now (the latest step's poses; a
// mesh as its triangles) and the latest step's contacts to `line`, leaving out a character
// whose capsule's bounds hold `eye` (a first-person camera inside its own character would
// see only the lines around it). Returns how many lines.
int P3D_DrawDebug(P3D_DebugLine line, void* user, Vector3 eye);

#ifdef __cplusplus
}
#endif

#endif  // P3D_H
