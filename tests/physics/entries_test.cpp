// Bodies in the host, on the stand-in renderer (whose models are unit cubes): the
// instance's transform is what both the game and the simulation write, and bodies
// live and die with their instances and with the scene.
#include <gtest/gtest.h>

#include "Harness.h"
#include "World.h"

using namespace Harness;

TEST(PhysicsHost, BodiesWriteAndFollowTheirInstancesTransformAndGoWithThemAndWithAClear) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(8)});
    const int box = api.New("Model", "crate");
    api.Func("Model.SetScale", {I(box), L({1, 1, 1})});
    std::any* frame = api.Get(box, "CFrame");
    api.Func("CFrame.MoveTo", {H(frame), L({0, 10, 0})});
    api.Func("Model.SetBody", {I(box), S("Dynamic"), S("Box"), F(2)});
    const int character = std::any_cast<int>(api.Op("Instance.New", {S("Character"), F(0.3f), F(1.8f)}));

    // Falling 1 s: the simulation writes the instance's transform in place.
    for (int k = 0; k < 60; ++k) World::Physics::Step(1.0f / 60);
    const float fallen = List(api.Op("CFrame.Position", {H(frame)}))[1];
    EXPECT_NEAR(fallen, 10 - 0.5f * 9.81f, 0.2f);
    EXPECT_LT(List(api.Op("Model.GetVelocity", {I(box)}))[1], -9.0f);

    // The game moves it: the body goes there and falls on from there.
    api.Func("CFrame.MoveTo", {H(frame), L({5, 50, 0})});
    World::Physics::Step(1.0f / 60);
    const std::vector<float> moved = List(api.Op("CFrame.Position", {H(frame)}));
    EXPECT_NEAR(moved[0], 5, 1e-4f);
    EXPECT_NEAR(moved[1], 50, 0.5f);

    api.Func("SetGravity", {L({0, -1, 0})});
    api.Func("Instance.Destroy", {I(box)});
    EXPECT_EQ(World::Physics::Bodies.count(box), 0u);
    EXPECT_EQ(P3D_GetBodyCount(), 0);
    EXPECT_FALSE(std::any_cast<bool>(api.Op("Model.HasBody", {I(box)})));

    World::Clear();  // a clean restart: no character, the world's settings as at start-up
    EXPECT_EQ(World::Physics::Characters.count(character), 0u);
    EXPECT_EQ(List(api.Op("GetGravity"))[1], -9.81f);
}
