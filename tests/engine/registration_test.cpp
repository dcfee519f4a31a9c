// Registration: what World::Initialize hands to the game module, in which
// order and through which hook, and the two fixed instances.
#include <gtest/gtest.h>

#include "Catalog.h"
#include "Harness.h"
#include "Instance.h"

using namespace Harness;

namespace {

// The catalogue as the game module expects it: name, and whether it has a result.
const Registration kCatalogue[] = {
    {"Instance.New", true},
    {"Instance.GetParent", true},
    {"Instance.SetParent", false},
    {"Instance.GetName", true},
    {"Instance.SetName", false},
    {"Instance.Type", true},
    {"Instance.Destroy", false},
    {"Instance.GetChildren", true},
    {"Instance.GetChild", true},
    {"Instance.Get", true},
    {"CFrame.RightVector", true},
    {"CFrame.UpVector", true},
    {"CFrame.LookVector", true},
    {"CFrame.Orientation", true},
    {"CFrame.Position", true},
    {"CFrame.Transform", true},
    {"CFrame.RotateBy", false},
    {"CFrame.RotateTo", false},
    {"CFrame.MoveBy", false},
    {"CFrame.MoveTo", false},
    {"Model.GetScale", true},
    {"Model.SetScale", false},
    {"Model.GetColor", true},
    {"Model.SetColor", false},
    {"Model.GetModel", true},
    {"Model.SetModel", false},
    {"Light.GetType", true},
    {"Light.IsActive", true},
    {"Light.Toggle", false},
    {"Light.SetState", false},
    {"Light.GetColor", true},
    {"Light.SetColor", false},
    {"Light.GetPosition", true},
    {"Light.SetPosition", false},
    {"Light.GetDirection", true},
    {"Light.SetDirection", false},
    {"Light.GetEnergy", true},
    {"Light.SetEnergy", false},
    {"Light.GetSpecular", true},
    {"Light.SetSpecular", false},
    {"Light.GetRange", true},
    {"Light.SetRange", false},
    {"Light.GetAttenuation", true},
    {"Light.SetAttenuation", false},
    {"Light.GetInnerCutoff", true},
    {"Light.SetInnerCutoff", false},
    {"Light.GetOuterCutoff", true},
    {"Light.SetOuterCutoff", false},
    {"Light.EnableShadow", false},
    {"Light.DisableShadow", false},
    {"Light.IsShadowEnabled", true},
    {"Light.GetShadowUpdateMode", true},
    {"Light.SetShadowUpdateMode", false},
    {"Light.GetShadowUpdateFrequency", true},
    {"Light.SetShadowUpdateFrequency", false},
    {"Light.UpdateShadow", false},
    {"Light.GetSoftness", true},
    {"Light.SetSoftness", false},
    {"Light.GetDepthBias", true},
    {"Light.SetDepthBias", false},
    {"Light.GetSlopeBias", true},
    {"Light.SetSlopeBias", false},
    {"IsKeyPressed", true},
    {"IsKeyPressedRepeat", true},
    {"IsKeyDown", true},
    {"IsKeyReleased", true},
    {"GetKeyPressed", true},
    {"GetCharPressed", true},
    {"SetExitKey", false},
    {"IsMouseButtonPressed", true},
    {"IsMouseButtonDown", true},
    {"IsMouseButtonReleased", true},
    {"IsMouseButtonUp", true},
    {"GetMouseX", true},
    {"GetMouseY", true},
    {"GetMousePosition", true},
    {"GetMouseDelta", true},
    {"SetMousePosition", false},
    {"SetMouseOffset", false},
    {"GetMouseWheel", true},
    {"SetMouseCursor", false},
    {"ShowCursor", false},
    {"HideCursor", false},
    {"IsCursorHidden", true},
    {"EnableCursor", false},
    {"DisableCursor", false},
    {"IsCursorOnScreen", true},
    {"SetCameraLookDirection", false},
    {"SetCameraUpDirection", false},
    {"SetCameraPosition", false},
    {"SetCameraFOV", false},
    {"DeltaTime", true},
    {"LoadModel", false},
    {"UnloadModel", false},
    {"Vector2Zero", true},
    {"Vector2One", true},
    {"Vector2Add", true},
    {"Vector2AddValue", true},
    {"Vector2Subtract", true},
    {"Vector2SubtractValue", true},
    {"Vector2Length", true},
    {"Vector2LengthSqr", true},
    {"Vector2DotProduct", true},
    {"Vector2Distance", true},
    {"Vector2DistanceSqr", true},
    {"Vector2Angle", true},
    {"Vector2LineAngle", true},
    {"Vector2Scale", true},
    {"Vector2Multiply", true},
    {"Vector2Negate", true},
    {"Vector2Divide", true},
    {"Vector2Normalize", true},
    {"Vector2Transform", true},
    {"Vector2Lerp", true},
    {"Vector2Reflect", true},
    {"Vector2Min", true},
    {"Vector2Max", true},
    {"Vector2Rotate", true},
    {"Vector2MoveTowards", true},
    {"Vector2Invert", true},
    {"Vector2Clamp", true},
    {"Vector2ClampValue", true},
    {"Vector2Equals", true},
    {"Vector2Refract", true},
    {"Vector3Zero", true},
    {"Vector3One", true},
    {"Vector3Add", true},
    {"Vector3AddValue", true},
    {"Vector3Subtract", true},
    {"Vector3SubtractValue", true},
    {"Vector3Scale", true},
    {"Vector3Multiply", true},
    {"Vector3CrossProduct", true},
    {"Vector3Perpendicular", true},
    {"Vector3Length", true},
    {"Vector3LengthSqr", true},
    {"Vector3DotProduct", true},
    {"Vector3Distance", true},
    {"Vector3DistanceSqr", true},
    {"Vector3Angle", true},
    {"Vector3Negate", true},
    {"Vector3Divide", true},
    {"Vector3Normalize", true},
    {"Vector3Project", true},
    {"Vector3Reject", true},
    {"Vector3Transform", true},
    {"Vector3RotateByAxisAngle", true},
    {"Vector3MoveTowards", true},
    {"Vector3Lerp", true},
    {"Vector3CubicHermite", true},
    {"Vector3Reflect", true},
    {"Vector3Min", true},
    {"Vector3Max", true},
    {"Vector3Barycenter", true},
    {"Vector3Invert", true},
    {"Vector3Clamp", true},
    {"Vector3ClampValue", true},
    {"Vector3Equals", true},
    {"Vector3Refract", true},
    {"MatrixDeterminant", true},
    {"MatrixTrace", true},
    {"MatrixTranspose", true},
    {"MatrixIdentity", true},
    {"MatrixAdd", true},
    {"MatrixSubtract", true},
    {"MatrixMultiply", true},
    {"MatrixTranslate", true},
    {"MatrixRotate", true},
    {"MatrixRotateXYZ", true},
    {"MatrixScale", true},
    {"RaycastSingle", true},
};

}  // namespace

// The core is fixed: the one place its size is stated.
static_assert(std::size(kCatalogue) == 171, "the core's entries never change");

// The 171 come first and never change; groups added later follow them.
TEST(Registration, EveryEntryInCatalogueOrderThroughItsHook) {
    Api& api = Fresh();
    const std::size_t core = std::size(kCatalogue);
    ASSERT_GT(api.order.size(), core);
    int ops = 0;
    for (std::size_t i = 0; i < core; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i + 1));
        EXPECT_EQ(api.order[i].name, kCatalogue[i].name);
        EXPECT_EQ(api.order[i].op, kCatalogue[i].op);
        ops += api.order[i].op;
    }
    EXPECT_EQ(ops, 128);
    EXPECT_EQ(core - ops, 43u);
    const World::Api::Catalog& catalog = World::Api::Entries();
    ASSERT_EQ(catalog.size(), api.order.size());
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        EXPECT_EQ(catalog[i].name, api.order[i].name);
        EXPECT_EQ(std::string(catalog[i].group) == "core", i < core) << catalog[i].name;
        ops += i >= core && api.order[i].op;
    }
    EXPECT_EQ(api.ops.size(), static_cast<std::size_t>(ops));  // no name registered twice
    EXPECT_EQ(api.funcs.size(), api.order.size() - ops);
    EXPECT_EQ(api.order[0].name, "Instance.New");
    EXPECT_FALSE(api.order[2].op);      // "Instance.SetParent"
    EXPECT_EQ(api.order[core - 1].name, "RaycastSingle");
    EXPECT_EQ(api.ops.count("IsKeyUp") + api.funcs.count("IsKeyUp"), 0u);
}

TEST(Registration, NullAndRootExistBeforeAnyEntryAndTheFirstInstanceIsTwo) {
    Api& api = Fresh();
    ASSERT_EQ(Instances.size(), 2u);
    EXPECT_EQ(Instances.at(0).Name, "Null");
    EXPECT_EQ(Instances.at(1).Name, "Root");
    EXPECT_EQ(Instances.at(0).Type, "");
    EXPECT_EQ(Instances.at(1).Parent, 0);
    EXPECT_TRUE(Instances.at(0).Children.empty());
    EXPECT_EQ(std::any_cast<int>(api.Op("Instance.GetParent", {0})), 0);
    EXPECT_EQ(std::any_cast<int>(api.Op("Instance.GetParent", {1})), 0);
    EXPECT_EQ(api.New("CFrame"), 2);
    EXPECT_EQ(inst_count, 3);
}

TEST(Registration, CallablesCanBeCopiedAndCalledAgain) {
    Api& api = Fresh();
    game_op add = api.ops.at("Vector2Add");
    game_op copy = add;
    auto a = List(copy({L({1, 2}), L({3, 4})}));
    auto b = List(add({L({1, 2}), L({3, 4})}));
    EXPECT_EQ(a, (std::vector<float>{4, 6}));
    EXPECT_EQ(a, b);
}
