// CFrame: axis conventions, angles, the model matrix, and the "CFrame." entries
// on handles (live, stale, or holding something else).
#include <gtest/gtest.h>

#include <random>

#include <cmath>
#include <cstring>

#include "CFrame.h"
#include "Harness.h"
#include "Instance.h"
#include "World.h"
#include "raymath.h"

using namespace Harness;

namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectNear(Vector3 v, float x, float y, float z, float eps = 1e-5f) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}
void ExpectNear(const std::vector<float>& v, float x, float y, float z, float eps = 1e-5f) {
    ASSERT_EQ(v.size(), 3u);
    ExpectNear(Vector3{v[0], v[1], v[2]}, x, y, z, eps);
}

}  // namespace

TEST(CFrameClass, IdentityLooksAlongPlusZWithRightAtMinusX) {
    CFrame c;
    ExpectNear(c.LookVector(), 0, 0, 1);
    ExpectNear(c.UpVector(), 0, 1, 0);
    ExpectNear(c.RightVector(), -1, 0, 0);
    ExpectNear(c.Orientation(), 0, 0, 0);
    Matrix m = c.Transform();
    Matrix id = MatrixIdentity();
    EXPECT_EQ(0, std::memcmp(&m, &id, sizeof m));
    // right = look x up
    Vector3 cross = Vector3CrossProduct(c.LookVector(), c.UpVector());
    ExpectNear(cross, -1, 0, 0);
}

TEST(CFrameClass, QuarterTurnsAboutYAndX) {
    CFrame yaw;
    yaw.RotateTo({0, kPi / 2, 0});
    ExpectNear(yaw.LookVector(), 1, 0, 0);
    ExpectNear(yaw.RightVector(), 0, 0, 1);
    ExpectNear(yaw.UpVector(), 0, 1, 0);
    ExpectNear(yaw.Orientation(), 0, 90, 0, 1e-3f);

    CFrame pitch;
    pitch.RotateTo({kPi / 2, 0, 0});
    ExpectNear(pitch.LookVector(), 0, -1, 0);
    ExpectNear(pitch.UpVector(), 0, 0, 1);
    ExpectNear(pitch.Orientation(), 90, 0, 0, 1e-3f);
}

// Quarter turns read exactly (within 1e-3 degrees) about every axis, reached by
// RotateTo or by steps of RotateBy; elsewhere the angles are raymath's
// QuaternionToEuler, and fed back (in radians) they give the same rotation.
TEST(CFrameClass, OrientationIsExactAtQuarterTurnsAndKeepsItsConventions) {
    for (float sign : {1.0f, -1.0f}) {
        for (int axis = 0; axis < 3; ++axis) {
            Vector3 turn = {0, 0, 0};
            (&turn.x)[axis] = sign * kPi / 2;
            CFrame to, by;
            to.RotateTo(turn);
            for (int i = 0; i < 3; ++i) by.RotateBy(Vector3Scale(turn, 1.0f / 3));
            Vector3 expected = {0, 0, 0};
            (&expected.x)[axis] = sign * 90;
            ExpectNear(to.Orientation(), expected.x, expected.y, expected.z, 1e-3f);
            ExpectNear(by.Orientation(), expected.x, expected.y, expected.z, 1e-3f);
        }
    }
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> angle(-kPi, kPi), pitch(-1.4f, 1.4f);  // away from the pole
    for (int i = 0; i < 2000; ++i) {
        CFrame c;
        c.RotateTo({angle(rng), pitch(rng), angle(rng)});
        Vector3 e = QuaternionToEuler(c.Rotation);
        ExpectNear(c.Orientation(), e.x * 57.2957763671875f, e.y * 57.2957763671875f, e.z * 57.2957763671875f, 2e-3f);
        CFrame back;
        back.RotateTo(Vector3Scale(c.Orientation(), kPi / 180));
        ExpectNear(back.LookVector(), c.LookVector().x, c.LookVector().y, c.LookVector().z, 1e-4f);
        ExpectNear(back.UpVector(), c.UpVector().x, c.UpVector().y, c.UpVector().z, 1e-4f);
    }
}

TEST(CFrameClass, RotateByTurnsAboutTheObjectsOwnAxes) {
    CFrame c;
    c.RotateTo({0, kPi / 2, 0});
    c.RotateBy({kPi / 2, 0, 0});
    ExpectNear(c.LookVector(), 0, -1, 0);  // about world X it would have stayed (1, 0, 0)

    CFrame twice, once;
    twice.RotateBy({0, kPi / 4, 0});
    twice.RotateBy({0, kPi / 4, 0});
    once.RotateTo({0, kPi / 2, 0});
    Vector3 a = twice.LookVector(), b = once.LookVector();
    ExpectNear(a, b.x, b.y, b.z);
}

TEST(CFrameClass, MovesAreInWorldAxes) {
    CFrame c;
    c.RotateTo({0, 1.0f, 0.5f});
    Quaternion before = c.Rotation;
    c.MoveBy({1, 0, 0});
    ExpectNear(c.Position, 1, 0, 0);
    c.MoveTo({4, 5, 6});
    ExpectNear(c.Position, 4, 5, 6);
    EXPECT_EQ(0, std::memcmp(&before, &c.Rotation, sizeof before));
}

TEST(CFrameClass, OrientationIsDegreesAndFeedingItBackAsRadiansIsWrong) {
    CFrame c;
    c.RotateTo({0, kPi / 4, 0});
    Vector3 degrees = c.Orientation();
    ExpectNear(degrees, 0, 45, 0, 1e-3f);
    CFrame wrong;
    wrong.RotateTo(degrees);
    EXPECT_GT(Vector3Distance(wrong.LookVector(), c.LookVector()), 0.1f);
}

TEST(CFrameClass, TransformRotatesAsDrawnThenTranslates) {
    CFrame c;
    c.Position = {1, 2, 3};
    c.Rotation = QuaternionFromEuler(0, kPi / 2, 0);
    ExpectNear(Vector3Transform({0, 0, 1}, c.Transform()), 2, 2, 3, 1e-3f);

    // About one axis it is the matrix of the Euler angles.
    for (Vector3 angles : {Vector3{0.7f, 0, 0}, Vector3{0, -1.2f, 0}, Vector3{0, 0, 2.0f}}) {
        CFrame one;
        one.RotateTo(angles);
        Matrix expected = MatrixRotateXYZ(QuaternionToEuler(one.Rotation));
        Matrix got = one.Transform();
        const float* e = &expected.m0;
        const float* g = &got.m0;
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(e[i], g[i], 1e-5f) << i;
    }
    // About several axes it still turns the model's axes onto the look, up and
    // right vectors, so a ray test sees the model where it is drawn.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
    for (int i = 0; i < 200; ++i) {
        CFrame turned;
        turned.RotateTo({angle(rng), angle(rng), angle(rng)});
        turned.RotateBy({angle(rng), angle(rng), angle(rng)});
        turned.Position = {angle(rng), angle(rng), angle(rng)};
        Matrix m = turned.Transform();
        Vector3 origin = Vector3Transform({0, 0, 0}, m);
        ExpectNear(origin, turned.Position.x, turned.Position.y, turned.Position.z, 1e-5f);
        Vector3 look = Vector3Subtract(Vector3Transform({0, 0, 1}, m), origin);
        Vector3 up = Vector3Subtract(Vector3Transform({0, 1, 0}, m), origin);
        Vector3 right = Vector3Subtract(Vector3Transform({-1, 0, 0}, m), origin);
        Vector3 l = turned.LookVector(), u = turned.UpVector(), r = turned.RightVector();
        ExpectNear(look, l.x, l.y, l.z, 1e-4f);
        ExpectNear(up, u.x, u.y, u.z, 1e-4f);
        ExpectNear(right, r.x, r.y, r.z, 1e-4f);
    }
}

TEST(CFrameEntries, NewCFrameInstanceThroughItsHandle) {
    Api& api = Fresh();
    std::any* h = api.Get(api.New("CFrame"), "Value");
    ExpectNear(List(api.Op("CFrame.Position", {H(h)})), 0, 0, 0);
    ExpectNear(List(api.Op("CFrame.LookVector", {H(h)})), 0, 0, 1);
    ExpectNear(List(api.Op("CFrame.RightVector", {H(h)})), -1, 0, 0);
    ExpectNear(List(api.Op("CFrame.UpVector", {H(h)})), 0, 1, 0);
    ExpectNear(List(api.Op("CFrame.Orientation", {H(h)})), 0, 0, 0);

    api.Func("CFrame.RotateTo", {H(h), L({0, kPi / 4, 0})});
    ExpectNear(List(api.Op("CFrame.Orientation", {H(h)})), 0, 45, 0, 1e-3f);
    api.Func("CFrame.MoveBy", {H(h), L({1, 0, 0})});
    api.Func("CFrame.MoveBy", {H(h), L({1, 0, 0, 42})});  // a fourth element is ignored
    ExpectNear(List(api.Op("CFrame.Position", {H(h)})), 2, 0, 0);
    api.Func("CFrame.RotateBy", {H(h), L({0, kPi / 4, 0})});
    ExpectNear(List(api.Op("CFrame.LookVector", {H(h)})), 1, 0, 0);
    api.Func("CFrame.MoveTo", {H(h), L({7, 8, 9})});
    // the value behind the handle changed in place
    const CFrame& stored = *std::any_cast<CFrame>(h);
    ExpectNear(stored.Position, 7, 8, 9);
}

TEST(CFrameEntries, TransformComesBackInMemberNumberOrderAndTravelsBackUnchanged) {
    Api& api = Fresh();
    std::any* h = api.Get(api.New("CFrame"), "Value");
    api.Func("CFrame.MoveTo", {H(h), L({1, 2, 3})});
    api.Func("CFrame.RotateTo", {H(h), L({0, kPi / 2, 0})});
    std::vector<float> m = List(api.Op("CFrame.Transform", {H(h)}));
    ASSERT_EQ(m.size(), 16u);
    EXPECT_FLOAT_EQ(m[12], 1);
    EXPECT_FLOAT_EQ(m[13], 2);
    EXPECT_FLOAT_EQ(m[14], 3);
    EXPECT_FLOAT_EQ(m[15], 1);
    Matrix direct = std::any_cast<CFrame>(h)->Transform();
    const float members[16] = {direct.m0, direct.m1, direct.m2,  direct.m3,  direct.m4,  direct.m5,  direct.m6,  direct.m7,
                               direct.m8, direct.m9, direct.m10, direct.m11, direct.m12, direct.m13, direct.m14, direct.m15};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], members[i]) << "element " << i;
    // handed to a math entry, the matrix arrives as it left
    ExpectNear(List(api.Op("Vector3Transform", {L({0, 0, 1}), L(m)})), 2, 2, 3, 1e-3f);
    EXPECT_EQ(List(api.Op("MatrixTranspose", {api.Op("MatrixTranspose", {L(m)})})), m);
}

TEST(CFrameEntries, AModelsCFrameHandleMovesTheModelInPlace) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(2)});
    int model = api.New("Model", "crate");
    std::any* h = api.Get(model, "CFrame");
    const CFrame* before = std::any_cast<CFrame>(h);
    api.Func("CFrame.MoveTo", {H(h), L({3, 4, 5})});
    EXPECT_EQ(std::any_cast<CFrame>(h), before) << "changed in place, never replaced";
    EXPECT_EQ(World::Buffers::Positions[0].Values()[0], &before->Position);
    ExpectNear(*World::Buffers::Positions[0].Values()[0], 3, 4, 5);
}

TEST(CFrameEntries, HandlesThatAddressNoLiveCFrameThrowClearly) {
    Api& api = Fresh();
    int a = api.New("CFrame");
    std::any* h = api.Get(a, "Value");
    int light = api.New("Light", "Global");
    std::any* notACFrame = api.Get(light, "Value");
    std::any* empty = api.Get(a, "Empty");

    try {
        api.Op("CFrame.LookVector", {H(notACFrame)});
        FAIL();
    } catch (const std::bad_any_cast& e) {
        EXPECT_STREQ(e.what(), "CFrame.LookVector: argument 0 addresses a variable that holds another type, not a CFrame");
    }
    EXPECT_THROW(api.Func("CFrame.MoveTo", {H(empty), L({1, 2, 3})}), std::bad_any_cast);

    api.Func("Instance.Destroy", {a});
    try {
        api.Func("CFrame.MoveBy", {H(h), L({1, 0, 0})});
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("CFrame.MoveBy: argument 0 is not a live variable handle"), std::string::npos);
    }
    std::any local;
    EXPECT_THROW(api.Op("CFrame.Position", {H(&local)}), std::invalid_argument);
    EXPECT_THROW(api.Op("CFrame.Position", {H(nullptr)}), std::invalid_argument);
}

TEST(CFrameEntries, WrongTypesAndShortListsAreRefusedBeforeAnythingChanges) {
    Api& api = Fresh();
    std::any* h = api.Get(api.New("CFrame"), "Value");
    EXPECT_THROW(api.Op("CFrame.Position", {I(2)}), std::bad_any_cast);
    EXPECT_THROW(api.Func("CFrame.MoveTo", {H(h), std::any(std::vector<double>{1, 2, 3})}), std::bad_any_cast);
    try {
        api.Func("CFrame.MoveTo", {H(h), L({1, 2})});
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "CFrame.MoveTo: argument 1 needs 3 floats, got 2");
    }
    ExpectNear(std::any_cast<CFrame>(h)->Position, 0, 0, 0);
}
