// The physics layer on real Bullet, on the sample game's real level.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "LevelMesh.h"
#include "base/Log.h"
#include "p3d.h"

namespace {

constexpr float kFloor = -1.0f;  // the top of the level's ground
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Fresh {
    Fresh() {
        P3D_Clear();
        EXPECT_NE(TestLevel::AddLevel(), 0) << P3D_GetError();
    }
    ~Fresh() { P3D_Close(); }
};

P3D_Body Box(Vector3 at, Vector3 half, float mass, int id) {
    P3D_BodyDesc d = P3D_DefaultBody();
    d.kind = mass > 0 ? P3D_DYNAMIC : P3D_STATIC;
    d.halfExtents = half;
    d.mass = mass;
    d.position = at;
    d.id = id;
    return P3D_CreateBody(&d);
}

Vector3 Where(P3D_Body body) {
    Vector3 p;
    P3D_GetBodyTransform(body, &p, nullptr);
    return p;
}

std::vector<P3D_Event> Events() {
    const P3D_Event* events = nullptr;
    const int n = P3D_GetEvents(&events);
    return {events, events + n};
}

// Runs a character for `seconds` at 60 frames a second.
void Walk(P3D_Character c, Vector3 velocity, float seconds) {
    P3D_MoveCharacter(c, velocity);
    for (int frame = 0; frame < static_cast<int>(seconds * 60); ++frame) P3D_Step(1.0f / 60);
}

}  // namespace

// A box dropped 5 m onto the floor lands when free fall says, rests on the floor
// (not in it), and does the same at 20 and at 200 frames a second.
TEST(Falling, ABoxLandsWhenFreeFallSaysAndRestsOnTheFloorAtAnyFrameRate) {
    const float predicted = std::sqrt(2 * 5.0f / 9.81f);
    Vector3 rest[2];
    const int rates[2] = {20, 200};
    for (int r = 0; r < 2; ++r) {
        Fresh world;
        const P3D_Body box = Box({14, kFloor + 0.5f + 5, -14}, {0.5f, 0.5f, 0.5f}, 2, 7);
        ASSERT_NE(box, 0) << P3D_GetError();
        const float frame = 1.0f / rates[r];
        float landed = -1;
        for (int k = 1; k * frame <= 4.0f; ++k) {
            P3D_Step(frame);
            if (landed < 0 && Where(box).y <= kFloor + 0.5f + 0.02f) landed = k * frame;
        }
        // Drawn poses trail the simulation by up to a step; a frame says when it is seen.
        EXPECT_NEAR(landed, predicted, frame + 1.0f / 60 + 0.01f) << rates[r] << " fps";
        rest[r] = Where(box);
        EXPECT_NEAR(rest[r].y, kFloor + 0.5f, 0.01f) << rates[r] << " fps: not resting on the floor";
        // Straight down and flat: it neither tipped nor slid off where it fell.
        EXPECT_NEAR(rest[r].x, 14, 0.02f);
        EXPECT_NEAR(rest[r].z, -14, 0.02f);
        Quaternion q;
        P3D_GetBodyTransform(box, nullptr, &q);
        EXPECT_GT(std::fabs(q.w), 0.999f);
        const Vector3 v = P3D_GetLinearVelocity(box);
        EXPECT_LT(std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z), 0.05f);
    }
    EXPECT_NEAR(rest[0].x, rest[1].x, 1e-3f);
    EXPECT_NEAR(rest[0].y, rest[1].y, 1e-3f);
    EXPECT_NEAR(rest[0].z, rest[1].z, 1e-3f);
}

TEST(Falling, ALongFrameRunsABoundedNumberOfStepsAndOwesNothingAfter) {
    Fresh world;
    EXPECT_EQ(P3D_Step(3.0f), 8);
    EXPECT_EQ(P3D_Step(1.0f / 60 + 1e-4f), 1);
    P3D_SetStepRate(120);
    EXPECT_EQ(P3D_Step(1.0f / 60 + 1e-4f), 2);
}

TEST(Character, StopsAtAWallClimbsTheStairsAndTheGentleRampSlidesOffASteepOne) {
    Fresh world;
    // The short wall near the start spans x 8..8.5.
    P3D_Character c = P3D_CreateCharacter(0.3f, 1.8f, {6, kFloor, -7}, 9);
    ASSERT_NE(c, 0) << P3D_GetError();
    Walk(c, {4, 0, 0}, 2);
    Vector3 at = P3D_GetCharacterPosition(c);
    EXPECT_NEAR(at.x, 8 - 0.3f, 0.03f) << "walked through the wall or stopped short";
    EXPECT_NEAR(at.y, kFloor, 0.02f);
    EXPECT_TRUE(P3D_IsCharacterOnGround(c));
    // Sliding along it: walking diagonally into it still gets on along z.
    Walk(c, {3, 0, 3}, 0.5f);
    at = P3D_GetCharacterPosition(c);
    EXPECT_NEAR(at.x, 8 - 0.3f, 0.03f);
    EXPECT_GT(at.z, -7 + 1.2f);

    // The stairs: six steps of 0.3 from z = 0, up to the landing at 1.8.
    ASSERT_TRUE(P3D_SetCharacterPosition(c, {-2, kFloor, -2}));
    Walk(c, {0, 0, 3}, 2.6f);
    at = P3D_GetCharacterPosition(c);
    EXPECT_NEAR(at.y, kFloor + 1.8f, 0.02f) << "did not climb the stairs";
    EXPECT_GT(at.z, 4.5f);
    EXPECT_TRUE(P3D_IsCharacterOnGround(c));
    // And down again, following each step rather than flying off them.
    P3D_MoveCharacter(c, {0, 0, -3});
    int airborne = 0;
    for (int frame = 0; frame < 240; ++frame) {
        P3D_Step(1.0f / 60);
        airborne += !P3D_IsCharacterOnGround(c);
    }
    EXPECT_NEAR(P3D_GetCharacterPosition(c).y, kFloor, 0.02f);
    EXPECT_LT(airborne, 10);

    // The ramp rises 1.2 over 8 m: walkable, up onto its block.
    ASSERT_TRUE(P3D_SetCharacterPosition(c, {5.5f, kFloor, -2}));
    Walk(c, {0, 0, 3}, 3.5f);
    EXPECT_NEAR(P3D_GetCharacterPosition(c).y, kFloor + 1.2f, 0.02f);

    // A 60 degree slab: the character cannot walk up it and slides down it.
    P3D_BodyDesc slab = P3D_DefaultBody();
    slab.halfExtents = {2, 0.1f, 3};
    slab.position = {20, kFloor + 1.5f, 20};
    slab.rotation = {std::sin(-0.5f * 1.0472f), 0, 0, std::cos(-0.5f * 1.0472f)};  // 60 degrees about x: rises along +z
    ASSERT_NE(P3D_CreateBody(&slab), 0) << P3D_GetError();
    ASSERT_TRUE(P3D_SetCharacterPosition(c, {20, kFloor + 2.2f, 20.8f}));
    Walk(c, {0, 0, 0}, 0.05f);
    const float high = P3D_GetCharacterPosition(c).y;
    EXPECT_GT(high, kFloor + 1.2f) << "did not start on the slab";
    Walk(c, {0, 0, 0}, 2);
    EXPECT_NEAR(P3D_GetCharacterPosition(c).y, kFloor, 0.02f) << "did not slide down";
    ASSERT_TRUE(P3D_SetCharacterPosition(c, {20, kFloor, 17}));
    Walk(c, {0, 0, 3}, 3);
    EXPECT_LT(P3D_GetCharacterPosition(c).y, kFloor + 0.5f) << "walked up a 60 degree slope";
}

TEST(Character, PushesACrateItWalksInto) {
    Fresh world;
    const P3D_Body crate = Box({14, kFloor + 0.4f, 5}, {0.4f, 0.4f, 0.4f}, 20, 3);
    P3D_Character c = P3D_CreateCharacter(0.3f, 1.8f, {14, kFloor, 3}, 9);
    Walk(c, {0, 0, 2}, 3);
    const Vector3 box = Where(crate);
    EXPECT_GT(box.z, 5 + 2.5f) << "the crate was not pushed";
    EXPECT_NEAR(box.y, kFloor + 0.4f, 0.05f);
    EXPECT_LT(P3D_GetCharacterPosition(c).z, box.z - 0.4f - 0.25f) << "walked into the crate";
}

// A kinematic body goes where the caller puts it, over the next step, and shoves
// a dynamic one in its way; a static one placed elsewhere is met there.
TEST(Bodies, KinematicAndStaticBodiesGoWhereTheyArePutAndKinematicOnesPush) {
    Fresh world;
    P3D_BodyDesc paddle = P3D_DefaultBody();
    paddle.kind = P3D_KINEMATIC;
    paddle.halfExtents = {0.2f, 0.5f, 1};
    paddle.position = {10, kFloor + 0.5f, -20};
    const P3D_Body k = P3D_CreateBody(&paddle);
    const P3D_Body crate = Box({12, kFloor + 0.4f, -20}, {0.4f, 0.4f, 0.4f}, 5, 3);
    for (int frame = 1; frame <= 60; ++frame) {
        ASSERT_TRUE(P3D_SetBodyTransform(k, {10 + frame * 0.1f, kFloor + 0.5f, -20}, {0, 0, 0, 1}));
        P3D_Step(1.0f / 60);
    }
    Vector3 at;
    P3D_GetBodyTransform(k, &at, nullptr);
    EXPECT_NEAR(at.x, 16, 1e-3f);
    EXPECT_GT(Where(crate).x, 16 + 0.2f + 0.4f - 0.05f) << "the crate was not pushed ahead of the paddle";

    const P3D_Body wall = Box({0, 0, 0}, {0.5f, 3, 3}, 0, 4);
    ASSERT_TRUE(P3D_SetBodyTransform(wall, {25, 2, 25}, {0, 0, 0, 1}));
    EXPECT_EQ(P3D_Raycast({20, 2, 25}, {1, 0, 0}, 10, P3D_ALL_LAYERS).id, 4);
    EXPECT_EQ(P3D_Raycast({-5, 2, 0}, {1, 0, 0}, 10, P3D_ALL_LAYERS).id, 0) << "still where it was made";
}

// Trigger, contact and queries, each checked against what was placed.
TEST(Events, ATriggerReportsEnterAndLeaveOnceAndQueriesHitWhatIsThere) {
    Fresh world;
    P3D_BodyDesc zone = P3D_DefaultBody();
    zone.halfExtents = {1, 1, 1};
    zone.position = {0, 5, 10};
    zone.trigger = true;
    zone.id = 40;
    ASSERT_NE(P3D_CreateBody(&zone), 0);
    P3D_BodyDesc ball = P3D_DefaultBody();
    ball.kind = P3D_DYNAMIC;
    ball.shape = P3D_SHAPE_SPHERE;
    ball.halfExtents = {0.25f, 0.25f, 0.25f};
    ball.mass = 1;
    ball.position = {0, 5, 5};
    ball.id = 41;
    const P3D_Body b = P3D_CreateBody(&ball);
    P3D_SetGravityEnabled(b, false);
    P3D_SetLinearVelocity(b, {0, 0, 5});
    int enter = 0, leave = 0, order = 0;
    for (int frame = 0; frame < 120; ++frame) {
        P3D_Step(1.0f / 60);
        for (const P3D_Event& e : Events()) {
            if (e.kind == P3D_EVENT_ENTER && e.a == 40 && e.b == 41) enter++, order = order ? order : 1;
            if (e.kind == P3D_EVENT_LEAVE && e.a == 40 && e.b == 41) leave++, order = order ? order : 2;
        }
    }
    EXPECT_EQ(enter, 1);
    EXPECT_EQ(leave, 1);
    EXPECT_EQ(order, 1);
    EXPECT_GT(Where(b).z, 14) << "the trigger stopped the ball";

    // A crate dropped on the floor: one contact begins, with the level, with an impulse.
    const P3D_Body crate = Box({14, kFloor + 1.5f, -14}, {0.5f, 0.5f, 0.5f}, 5, 50);
    bool touched = false;
    for (int frame = 0; frame < 120; ++frame) {
        P3D_Step(1.0f / 60);
        for (const P3D_Event& e : Events())
            if (e.kind == P3D_EVENT_CONTACT && ((e.a == 50 && e.b == 1) || (e.a == 1 && e.b == 50))) {
                EXPECT_FALSE(touched) << "a second contact while it rests";
                EXPECT_GT(e.impulse, 0.5f);
                EXPECT_NEAR(e.point.y, kFloor, 0.05f);
                touched = true;
            }
    }
    EXPECT_TRUE(touched);

    // Down onto the crate's top; past it on the floor with a layer mask that leaves it out.
    P3D_Hit hit = P3D_Raycast({14, 5, -14}, {0, -1, 0}, 100, P3D_ALL_LAYERS);
    EXPECT_TRUE(hit.hit);
    EXPECT_EQ(hit.id, 50);
    EXPECT_NEAR(hit.distance, 5 - (kFloor + 1), 0.02f);
    EXPECT_NEAR(hit.normal.y, 1, 1e-3f);
    P3D_SetLayers(crate, 2, P3D_ALL_LAYERS);
    hit = P3D_Raycast({14, 5, -14}, {0, -1, 0}, 100, 1);
    EXPECT_EQ(hit.id, 1);
    EXPECT_NEAR(hit.point.y, kFloor, 1e-3f);
    EXPECT_FALSE(P3D_Raycast({14, 5, -14}, {0, -1, 0}, 3, P3D_ALL_LAYERS).hit) << "reached past its length";
    // Triggers are not hit: through the zone onto the floor.
    EXPECT_EQ(P3D_Raycast({0, 8, 10}, {0, -1, 0}, 100, P3D_ALL_LAYERS).id, 1);

    // A sphere of 0.5 swept along x at the pillar at (2, 12), 0.8 wide: it stops 0.5 short of its face.
    hit = P3D_SweepSphere({-4, 0, 12}, {6, 0, 12}, 0.5f, P3D_ALL_LAYERS);
    EXPECT_TRUE(hit.hit);
    EXPECT_EQ(hit.id, 1);
    EXPECT_NEAR(hit.distance, (2 - 0.4f) - 0.5f - -4, 0.02f);
    EXPECT_NEAR(hit.normal.x, -1, 1e-2f);
    hit = P3D_SweepCapsule({14, 4, -10}, {14, 4, -18}, 0.3f, 1.8f, P3D_ALL_LAYERS);
    EXPECT_FALSE(hit.hit) << "the capsule passes over the crate";
    hit = P3D_SweepCapsule({14, 0.6f, -10}, {14, 0.6f, -18}, 0.3f, 1.8f, P3D_ALL_LAYERS);
    EXPECT_EQ(hit.id, 50);
    int ids[4] = {};
    EXPECT_EQ(P3D_OverlapSphere({14, kFloor + 1.4f, -14}, 0.5f, P3D_ALL_LAYERS, ids, 4), 1);
    EXPECT_EQ(ids[0], 50);
    EXPECT_EQ(P3D_OverlapBox({14, 3, -14}, {1, 1, 1}, {0, 0, 0, 1}, P3D_ALL_LAYERS, ids, 4), 0);

    // Removing a body inside a trigger reports it leaving.
    P3D_SetLinearVelocity(b, {0, 0, 0});
    ASSERT_TRUE(P3D_SetBodyTransform(b, {0, 5, 10}, {0, 0, 0, 1}));
    P3D_Step(1.0f / 60);
    P3D_DestroyBody(b);
    P3D_Step(1.0f / 60);
    int left = 0;
    for (const P3D_Event& e : Events()) left += e.kind == P3D_EVENT_LEAVE && e.b == 41;
    EXPECT_EQ(left, 1);
}

// Input a game can get wrong: refused with a reason, or clamped; never a crash, never a NaN pose.
TEST(BadInput, IsRefusedOrClampedAndNoPoseIsEverNotFinite) {
    Fresh world;
    struct Case {
        const char* what;
        P3D_BodyDesc desc;
    };
    std::vector<Case> cases;
    auto dyn = [] {
        P3D_BodyDesc d = P3D_DefaultBody();
        d.kind = P3D_DYNAMIC;
        d.mass = 1;
        d.position = {0, 3, 0};
        return d;
    };
    for (float mass : {kNaN, kInf, -1.0f, 0.0f, 1e30f}) {
        cases.push_back({"mass", dyn()});
        cases.back().desc.mass = mass;
    }
    for (Vector3 half : {Vector3{0, 1, 1}, Vector3{-1, 1, 1}, Vector3{kNaN, 1, 1}, Vector3{1e30f, 1, 1}}) {
        cases.push_back({"size", dyn()});
        cases.back().desc.halfExtents = half;
    }
    cases.push_back({"position", dyn()});
    cases.back().desc.position = {1e30f, 0, 0};
    cases.push_back({"rotation", dyn()});
    cases.back().desc.rotation = {kNaN, 0, 0, 1};
    const std::vector<Vector3> junk = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {kNaN, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {kInf, 0, 0}, {0, 0, 1}};
    cases.push_back({"degenerate mesh", P3D_DefaultBody()});
    cases.back().desc.shape = P3D_SHAPE_MESH;
    cases.back().desc.points = junk.data();
    cases.back().desc.pointCount = 9;
    cases.push_back({"dynamic mesh", dyn()});
    cases.back().desc.shape = P3D_SHAPE_MESH;
    cases.push_back({"flat hull", dyn()});
    cases.back().desc.shape = P3D_SHAPE_HULL;
    cases.back().desc.points = junk.data();
    cases.back().desc.pointCount = 1;
    for (const Case& c : cases) {
        EXPECT_EQ(P3D_CreateBody(&c.desc), 0) << c.what;
        EXPECT_STRNE(P3D_GetError(), "") << c.what;
    }
    EXPECT_EQ(P3D_GetBodyCount(), 1);  // the level
    EXPECT_EQ(P3D_CreateCharacter(kNaN, 1.8f, {0, 0, 0}, 1), 0);
    EXPECT_EQ(P3D_CreateCharacter(0, 1.8f, {0, 0, 0}, 1), 0);

    // A mesh with a few bad triangles among good ones keeps the good ones.
    std::vector<Vector3> mixed = junk;
    mixed.insert(mixed.end(), {{-30, 5, -30}, {30, 5, -30}, {0, 5, 30}});
    P3D_BodyDesc roof = P3D_DefaultBody();
    roof.shape = P3D_SHAPE_MESH;
    roof.points = mixed.data();
    roof.pointCount = static_cast<int>(mixed.size());
    EXPECT_NE(P3D_CreateBody(&roof), 0) << P3D_GetError();

    // Velocities and forces: non-finite ones are refused, huge ones clamped; a body sent
    // off at full speed leaves the world's bounds, is reported and stops there.
    const P3D_Body box = Box({0, 3, 0}, {0.5f, 0.5f, 0.5f}, 1, 5);
    EXPECT_FALSE(P3D_SetLinearVelocity(box, {kNaN, 0, 0}));
    EXPECT_FALSE(P3D_ApplyImpulse(box, {0, kInf, 0}));
    EXPECT_FALSE(P3D_ApplyForce(box, {0, kNaN, 0}));
    EXPECT_FALSE(P3D_SetBodyTransform(box, {kNaN, 0, 0}, {0, 0, 0, 1}));
    P3D_SetGravity({kNaN, 0, 0});
    EXPECT_EQ(P3D_GetGravity().y, -9.81f);
    EXPECT_TRUE(P3D_SetLinearVelocity(box, {1e30f, 0, 0}));
    EXPECT_LE(P3D_GetLinearVelocity(box).x, 10000.0f);
    bool left = false;
    for (int frame = 0; frame < 120; ++frame) {
        P3D_Step(frame % 7 ? 1.0f / 60 : kNaN);
        for (const P3D_Event& e : Events()) left |= e.kind == P3D_EVENT_LEFT_WORLD && e.a == 5;
        const P3D_Pose* poses = nullptr;
        const int n = P3D_GetMovedBodies(&poses);
        for (int k = 0; k < n; ++k)
            ASSERT_TRUE(std::isfinite(poses[k].position.x) && std::isfinite(poses[k].position.y) &&
                        std::isfinite(poses[k].rotation.w));
    }
    EXPECT_TRUE(left);
    const Vector3 out = Where(box);
    EXPECT_TRUE(std::isfinite(out.x) && std::fabs(out.x) <= 10000.0f + 200.0f) << out.x;
    // A character off the level falls until it leaves the world, and stays there.
    P3D_SetWorldBounds(100);
    const P3D_Character c = P3D_CreateCharacter(0.3f, 1.8f, {50, -80, 50}, 8);
    bool fell = false;
    for (int frame = 0; frame < 240; ++frame) {
        P3D_Step(1.0f / 60);
        for (const P3D_Event& e : Events()) fell |= e.kind == P3D_EVENT_LEFT_WORLD && e.a == 8;
    }
    EXPECT_TRUE(fell);
    EXPECT_NEAR(P3D_GetCharacterPosition(c).y, -100, 2.0f);
    P3D_SetWorldBounds(10000);

    // Placed back inside, it falls again.
    ASSERT_TRUE(P3D_SetBodyTransform(box, {0, 3, 0}, {0, 0, 0, 1}));
    for (int frame = 0; frame < 60; ++frame) P3D_Step(1.0f / 60);
    EXPECT_LT(Where(box).y, 3 - 1);
}

// A handle of a removed body or character, of a world since cleared, or of the
// other kind is refused: false, P3D_GetError and a warning naming the call say
// why, and it never reaches the body or character made after it.
TEST(Handles, StaleAndForeignHandlesAreRefusedAndNeverReachAnotherObject) {
    Fresh world;
    const P3D_Body gone = Box({14, kFloor + 3, -14}, {0.5f, 0.5f, 0.5f}, 1, 7);
    const P3D_Character walkerGone = P3D_CreateCharacter(0.3f, 1.8f, {14, kFloor, 3}, 8);
    ASSERT_NE(gone, 0) << P3D_GetError();
    ASSERT_NE(walkerGone, 0) << P3D_GetError();
    P3D_DestroyBody(gone);
    P3D_DestroyCharacter(walkerGone);
    // Made next, in the places the removed ones left.
    const P3D_Body box = Box({14, kFloor + 3, -14}, {0.5f, 0.5f, 0.5f}, 1, 9);
    const P3D_Character walker = P3D_CreateCharacter(0.3f, 1.8f, {14, kFloor, 3}, 10);
    EXPECT_NE(box, gone);
    EXPECT_NE(walker, walkerGone);

    const auto said = [](const std::string& why) { return std::string(P3D_GetError()) == why; };
    const std::string body = "body " + std::to_string(gone), character = "character " + std::to_string(walkerGone);
    base::WarningCapture warnings;
    EXPECT_FALSE(P3D_IsBody(gone));
    EXPECT_FALSE(P3D_SetLinearVelocity(gone, {0, 50, 0}));
    EXPECT_TRUE(said("P3D_SetLinearVelocity: " + body + " was released")) << P3D_GetError();
    EXPECT_FALSE(P3D_SetBodyTransform(gone, {14, 50, -14}, {0, 0, 0, 1}));
    EXPECT_TRUE(said("P3D_SetBodyTransform: " + body + " was released")) << P3D_GetError();
    P3D_DestroyBody(gone);
    EXPECT_TRUE(said("P3D_DestroyBody: " + body + " was released")) << P3D_GetError();
    EXPECT_FALSE(P3D_MoveCharacter(walkerGone, {0, 0, 3}));
    EXPECT_TRUE(said("P3D_MoveCharacter: " + character + " was released")) << P3D_GetError();
    EXPECT_FALSE(P3D_SetCharacterPosition(walkerGone, {14, kFloor + 20, 3}));
    P3D_DestroyCharacter(walkerGone);
    EXPECT_TRUE(said("P3D_DestroyCharacter: " + character + " was released")) << P3D_GetError();
    // The other kind: a character's handle is no body, a body's no character.
    EXPECT_FALSE(P3D_IsBody(walker));
    EXPECT_FALSE(P3D_SetFriction(walker, 1));
    EXPECT_TRUE(said("P3D_SetFriction: body " + std::to_string(walker) + " is a character handle")) << P3D_GetError();
    EXPECT_FALSE(P3D_SetCharacterPosition(box, {14, kFloor + 20, 3}));
    EXPECT_TRUE(said("P3D_SetCharacterPosition: character " + std::to_string(box) + " is a body handle")) << P3D_GetError();
    EXPECT_EQ(warnings.Lines().size(), 8u) << warnings.Joined();
    EXPECT_TRUE(warnings.Saw("P3D: P3D_SetLinearVelocity: " + body + " was released")) << warnings.Joined();
    EXPECT_TRUE(warnings.Saw("P3D: P3D_DestroyCharacter: " + character + " was released")) << warnings.Joined();

    // The live ones were not touched: the box fell and rests, the character stood still.
    for (int frame = 0; frame < 120; ++frame) P3D_Step(1.0f / 60);
    EXPECT_NEAR(Where(box).y, kFloor + 0.5f, 0.02f);
    const Vector3 foot = P3D_GetCharacterPosition(walker);
    EXPECT_NEAR(foot.y, kFloor, 0.05f);
    EXPECT_NEAR(foot.z, 3, 0.01f);
    EXPECT_EQ(P3D_GetBodyCount(), 2);  // the level and the box

    // A cleared world's handles find nothing in the new one, though its first body takes the same place.
    P3D_Clear();
    const P3D_Body fresh = Box({14, kFloor + 3, -14}, {0.5f, 0.5f, 0.5f}, 1, 11);
    EXPECT_NE(fresh, box);
    EXPECT_FALSE(P3D_SetLinearVelocity(box, {0, 50, 0}));
    EXPECT_TRUE(said("P3D_SetLinearVelocity: body " + std::to_string(box) + " was released")) << P3D_GetError();
    EXPECT_FALSE(P3D_IsCharacterOnGround(walker));
    EXPECT_EQ(P3D_GetLinearVelocity(fresh).y, 0);
}

// Every refused call says why in P3D_GetError, its own reason and not one left
// over from an earlier call; a hull or mesh whose points are missing is refused.
TEST(BadInput, EveryRefusalSaysWhy) {
    Fresh world;
    const P3D_Body ground = Box({20, 5, 20}, {1, 1, 1}, 0, 1);
    const P3D_Body box = Box({14, kFloor + 3, -14}, {0.5f, 0.5f, 0.5f}, 1, 2);
    const P3D_Character walker = P3D_CreateCharacter(0.3f, 1.8f, {14, kFloor, 3}, 3);
    ASSERT_TRUE(ground && box && walker) << P3D_GetError();
    P3D_BodyDesc hull = P3D_DefaultBody();
    hull.kind = P3D_DYNAMIC;
    hull.mass = 1;
    hull.shape = P3D_SHAPE_HULL;
    hull.pointCount = 8;  // and no points
    P3D_BodyDesc mesh = P3D_DefaultBody();
    mesh.shape = P3D_SHAPE_MESH;
    mesh.pointCount = 9;
    // Each case returns what its call returned (false for calls that return nothing).
    const struct {
        const char* what;
        std::function<bool()> call;
        const char* why;  // part of what P3D_GetError says
    } cases[] = {
        {"velocity of a static body", [&] { return P3D_SetLinearVelocity(ground, {1, 0, 0}); }, "is not dynamic"},
        {"impulse on a static body", [&] { return P3D_ApplyImpulse(ground, {1, 0, 0}); }, "is not dynamic"},
        {"gravity of a static body", [&] { return P3D_SetGravityEnabled(ground, false), false; }, "is not dynamic"},
        {"NaN velocity", [&] { return P3D_SetAngularVelocity(box, {kNaN, 0, 0}); }, "velocity is not finite"},
        {"infinite torque", [&] { return P3D_ApplyTorque(box, {0, 0, kInf}); }, "torque is not finite"},
        {"NaN friction", [&] { return P3D_SetFriction(box, kNaN); }, "friction is not finite"},
        {"NaN damping", [&] { return P3D_SetDamping(box, 0, kNaN); }, "damping is not finite"},
        {"NaN walk", [&] { return P3D_MoveCharacter(walker, {kNaN, 0, 0}); }, "velocity is not finite"},
        {"NaN step", [&] { return P3D_SetCharacterStepHeight(walker, kNaN), false; }, "step height is not finite"},
        {"NaN slope", [&] { return P3D_SetCharacterMaxSlope(walker, kNaN), false; }, "slope is not finite"},
        {"negative bounds", [&] { return P3D_SetWorldBounds(-1), false; }, "bounds"},
        {"hull without points", [&] { return P3D_CreateBody(&hull) != 0; }, "8 points but no array"},
        {"mesh without points", [&] { return P3D_CreateBody(&mesh) != 0; }, "9 points but no array"},
        {"body 0", [&] { return P3D_SetFriction(0, 1); }, "P3D_SetFriction: no body given"},
    };
    for (const auto& c : cases) {
        P3D_SetStepRate(kNaN);  // an error of its own, which the case must replace
        ASSERT_STREQ(P3D_GetError(), "the step rate is not a finite number");
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_NE(std::string(P3D_GetError()).find(c.why), std::string::npos) << c.what << ": " << P3D_GetError();
    }
    EXPECT_EQ(P3D_GetBodyCount(), 3);
}
