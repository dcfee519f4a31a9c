// Camera entries against the GameCamera they change.
#include <gtest/gtest.h>

#include <cmath>

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

// Whole pixels from floats: a value that is not finite or whose whole part does
// not fit an int is refused by name before raylib is called (converting it
// would be undefined behaviour).
TEST(Mouse, PixelArgumentsOutsideTheIntRangeAreRefusedByName) {
    Api& api = Fresh();
    const float bad[] = {NAN, INFINITY, -INFINITY, 3.4e38f, 2147483648.0f, -2147483904.0f};
    for (const char* entry : {"SetMousePosition", "SetMouseOffset"}) {
        for (float v : bad) {
            try {
                api.Func(entry, {L({1, v})});
                ADD_FAILURE() << entry << " took " << v;
            } catch (const std::out_of_range& e) {
                EXPECT_EQ(std::string(e.what()).rfind(std::string(entry) + ": argument 0 element 1 (", 0), 0u) << e.what();
            }
        }
        try {
            api.Func(entry, {L({NAN, 0})});
            ADD_FAILURE();
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), (std::string(entry) + ": argument 0 element 0 (nan) is not a finite number").c_str());
        }
    }
}
