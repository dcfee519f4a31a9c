// Camera entries against the GameCamera they change.
#include <gtest/gtest.h>

#include "Global.h"
#include "Harness.h"

using namespace Harness;

namespace {

void ExpectEq(Vector3 v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

}  // namespace

TEST(Camera, PositionLeavesTheTargetAndLookDirectionUsesTheCurrentPosition) {
    Api& api = Fresh();
    GameCamera.position = {0, 0, 0};
    GameCamera.target = {0, 0, 1};
    GameCamera.up = {0, 1, 0};
    GameCamera.fovy = 70;

    api.Func("SetCameraPosition", {L({0, 5, 0})});
    ExpectEq(GameCamera.position, 0, 5, 0);
    ExpectEq(GameCamera.target, 0, 0, 1);
    api.Func("SetCameraLookDirection", {L({0, 0, 1})});
    ExpectEq(GameCamera.target, 0, 5, 1);
    api.Func("SetCameraLookDirection", {L({0, 0, 10, 99})});
    ExpectEq(GameCamera.target, 0, 5, 10);
    api.Func("SetCameraLookDirection", {L({0, 0, 0})});
    ExpectEq(GameCamera.target, 0, 5, 0);

    api.Func("SetCameraUpDirection", {L({0, 2, 0})});
    ExpectEq(GameCamera.up, 0, 2, 0);  // not normalised
    api.Func("SetCameraFOV", {F(90.0f)});
    EXPECT_EQ(GameCamera.fovy, 90.0f);
    EXPECT_EQ(GameCamera.projection, 0);
}

TEST(Camera, FieldOfViewMustBeAFloat) {
    Api& api = Fresh();
    GameCamera.fovy = 70;
    EXPECT_THROW(api.Func("SetCameraFOV", {I(90)}), std::bad_any_cast);
    EXPECT_THROW(api.Func("SetCameraFOV", {std::any(90.0)}), std::bad_any_cast);
    EXPECT_THROW(api.Func("SetCameraPosition", {L({1, 2})}), std::out_of_range);
    EXPECT_EQ(GameCamera.fovy, 70.0f);
}
