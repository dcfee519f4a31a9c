// Model instances and instance buffers: what each frame's upload writes, slot
// numbering, the Model entries, colour packing, and moving between buffers.
#include <gtest/gtest.h>

#include <random>

#include "CFrame.h"
#include "FakeR3D.h"
#include "Harness.h"
#include "Instance.h"
#include "World.h"

using namespace Harness;
namespace B = World::Buffers;

namespace {

FakeR3D::Buffer* Gpu(const std::string& name) { return FakeR3D::BufferOf(B::Buffers.at(B::Names.at(name))); }

void ExpectEq(Vector3 v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

}  // namespace

TEST(Buffers, DrawWithNoBuffersDrawsNothing) {
    Fresh();
    B::Draw();
    EXPECT_TRUE(FakeR3D::Get().draws.empty());
}

TEST(Buffers, AnEmptyBufferMapsAndUnmapsAndDrawsCountZero) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("models/crate.obj"), I(8)});
    EXPECT_EQ(FakeR3D::Get().loaded, (std::vector<std::string>{"models/crate.obj"}));
    B::Draw();
    FakeR3D::Buffer* gpu = Gpu("crate");
    EXPECT_EQ(gpu->capacity, 8);
    EXPECT_EQ(gpu->flags, R3D_INSTANCE_ALL);  // an animation state per slot too, read for animated models only
    EXPECT_EQ(gpu->mapped, (std::vector<int>{1, 2, 4, 8}));
    EXPECT_EQ(gpu->unmapped, (std::vector<int>{R3D_INSTANCE_ALL}));
    ASSERT_EQ(FakeR3D::Get().draws.size(), 1u);
    EXPECT_EQ(FakeR3D::Get().draws[0].count, 0);
    EXPECT_EQ(FakeR3D::Get().draws[0].model, "models/crate.obj");
}

TEST(Buffers, EachFrameCopiesTheCurrentValuesOfEveryMappedModel) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(4)});
    int a = api.New("Model", "crate");
    int b = api.New("Model", "crate");
    api.Func("CFrame.MoveTo", {H(api.Get(a, "CFrame")), L({1, 2, 3})});
    api.Func("CFrame.RotateTo", {H(api.Get(b, "CFrame")), L({0, 1.5f, 0})});
    api.Func("Model.SetScale", {a, L({2, 2, 2, 9})});
    api.Func("Model.SetColor", {b, I(static_cast<int>(0xFF8000FFu))});
    B::Draw();

    FakeR3D::Buffer* gpu = Gpu("crate");
    ASSERT_EQ(FakeR3D::Get().draws.back().count, 2);
    // slot order: a (slot 0) first, then b
    ExpectEq(gpu->positions[0], 1, 2, 3);
    ExpectEq(gpu->scales[0], 2, 2, 2);
    ExpectEq(gpu->scales[1], 0, 0, 0);
    Quaternion expected = std::any_cast<CFrame>(Instances[b].Variables["CFrame"]).Rotation;
    EXPECT_EQ(gpu->rotations[1].y, expected.y);
    EXPECT_EQ(gpu->rotations[0].w, 1);
    EXPECT_EQ(gpu->colors[1].r, 255);
    EXPECT_EQ(gpu->colors[1].g, 128);
    EXPECT_EQ(gpu->colors[1].b, 0);
    EXPECT_EQ(gpu->colors[0].a, 0);

    // a change after the frame shows at the next one, with no other call
    api.Func("CFrame.MoveBy", {H(api.Get(a, "CFrame")), L({1, 0, 0})});
    ExpectEq(gpu->positions[0], 1, 2, 3);
    B::Draw();
    ExpectEq(gpu->positions[0], 2, 2, 3);

    // destroying the first packs the second into element 0
    api.Func("Instance.Destroy", {a});
    B::Draw();
    EXPECT_EQ(FakeR3D::Get().draws.back().count, 1);
    EXPECT_EQ(gpu->colors[0].r, 255);
}

TEST(Buffers, SlotNumbersRiseAcrossBuffersAndAreNeverReused) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("A"), S("a.obj"), I(4)});
    api.Func("LoadModel", {S("B"), S("b.obj"), I(4)});
    int a1 = api.New("Model", "A");
    int b1 = api.New("Model", "B");
    int a2 = api.New("Model", "A");
    auto slot = [&](int id) { return std::any_cast<int>(Instances[id].Variables["Buffer Index"]); };
    EXPECT_EQ(slot(a1), 0);
    EXPECT_EQ(slot(b1), 1);
    EXPECT_EQ(slot(a2), 2);
    api.Func("Instance.Destroy", {a2});
    EXPECT_EQ(slot(api.New("Model", "A")), 3);
}

TEST(Buffers, CapacityEqualToTheCountIsAccepted) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(4)});
    for (int i = 0; i < 4; ++i) api.New("Model", "crate");
    B::Draw();
    EXPECT_EQ(FakeR3D::Get().draws.back().count, 4);
}

TEST(Buffers, UnloadThenLoadUnderTheSameNameGetsANewIndex) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(4)});
    FakeR3D::Buffer* first = Gpu("crate");
    api.Func("UnloadModel", {S("crate")});
    EXPECT_TRUE(first->unloaded);
    EXPECT_EQ(FakeR3D::Get().unloadedModels, (std::vector<std::string>{"crate.obj"}));
    EXPECT_EQ(B::Names.count("crate"), 0u);
    EXPECT_TRUE(B::Buffers.empty() && B::Models.empty() && B::Positions.empty() && B::Colors.empty());
    api.Func("LoadModel", {S("crate"), S("crate2.obj"), I(4)});
    EXPECT_EQ(B::Names.at("crate"), 1);
}

TEST(ModelEntries, ScaleColourAndModelReadBack) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(4)});
    int m = api.New("Model", "crate");
    EXPECT_EQ(List(api.Op("Model.GetScale", {m})), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(std::any_cast<int>(api.Op("Model.GetColor", {m})), 0);
    EXPECT_EQ(std::any_cast<std::string>(api.Op("Model.GetModel", {m})), "crate");
    api.Func("Model.SetScale", {m, L({1, 2, 3})});
    EXPECT_EQ(List(api.Op("Model.GetScale", {m})), (std::vector<float>{1, 2, 3}));
}

TEST(ModelEntries, EveryColourComesBackAsItWasSet) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(4)});
    int m = api.New("Model", "crate");
    std::mt19937 random(7);
    std::vector<int> values = {-1, 255, 0, INT32_MIN, INT32_MAX, 0x12345678};
    for (int i = 0; i < 2000; ++i) values.push_back(static_cast<int>(random()));
    for (int value : values) {
        api.Func("Model.SetColor", {m, value});
        ASSERT_EQ(std::any_cast<int>(api.Op("Model.GetColor", {m})), value);
    }
    api.Func("Model.SetColor", {m, -1});
    Color white = std::any_cast<Color>(Instances[m].Variables["Color"]);
    EXPECT_EQ(white.r + white.g + white.b + white.a, 4 * 255);
    api.Func("Model.SetColor", {m, 255});
    Color black = std::any_cast<Color>(Instances[m].Variables["Color"]);
    EXPECT_EQ(black.r + black.g + black.b, 0);
    EXPECT_EQ(black.a, 255);
}

TEST(ModelEntries, SetModelResetsAndRemapsUnderANewSlotAndOldHandlesStillWork) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("A"), S("a.obj"), I(4)});
    api.Func("LoadModel", {S("B"), S("b.obj"), I(4)});
    int m = api.New("Model", "A");
    std::any* h = api.Get(m, "CFrame");
    api.Func("CFrame.MoveTo", {H(h), L({5, 5, 5})});
    api.Func("Model.SetScale", {m, L({2, 2, 2})});
    api.Func("Model.SetColor", {m, -1});

    api.Func("Model.SetModel", {m, S("B")});
    EXPECT_EQ(std::any_cast<std::string>(api.Op("Model.GetModel", {m})), "B");
    EXPECT_EQ(std::any_cast<int>(Instances[m].Variables["Buffer Index"]), 1);
    EXPECT_EQ(B::Positions[B::Names["A"]].size(), 0u);
    EXPECT_EQ(B::Positions[B::Names["B"]].size(), 1u);
    EXPECT_EQ(List(api.Op("Model.GetScale", {m})), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(std::any_cast<int>(api.Op("Model.GetColor", {m})), 0);
    EXPECT_EQ(List(api.Op("CFrame.Position", {H(h)})), (std::vector<float>{0, 0, 0}));

    // the handle reaches the new transform, and the buffer draws it
    api.Func("CFrame.MoveTo", {H(h), L({1, 1, 1})});
    B::Draw();
    ExpectEq(Gpu("B")->positions[0], 1, 1, 1);

    // into the same buffer again: a fresh slot number
    api.Func("Model.SetModel", {m, S("B")});
    EXPECT_EQ(std::any_cast<int>(Instances[m].Variables["Buffer Index"]), 2);
    EXPECT_EQ(B::Positions[B::Names["B"]].size(), 1u);
}

TEST(ModelEntries, EntriesOnInstancesThatAreNotModelsThrowClearly) {
    Api& api = Fresh();
    int cf = api.New("CFrame");
    EXPECT_THROW(api.Op("Model.GetScale", {cf}), std::bad_any_cast);
    EXPECT_THROW(api.Op("Model.GetColor", {cf}), std::bad_any_cast);
    EXPECT_THROW(api.Op("Model.GetModel", {cf}), std::bad_any_cast);
    EXPECT_THROW(api.Func("Model.SetModel", {cf, S("x")}), std::bad_any_cast);
    try {
        api.Func("Model.SetScale", {cf, L({1, 1, 1})});
        FAIL();
    } catch (const std::bad_any_cast& e) {
        EXPECT_STREQ(e.what(), ("Model.SetScale: instance " + std::to_string(cf) +
                                " has no \"Scale\" vector (it is not a Model); it is a CFrame").c_str());
    }
    try {
        api.Func("Model.SetColor", {cf, -1});
        FAIL();
    } catch (const std::bad_any_cast& e) {
        EXPECT_NE(std::string(e.what()).find("Model.SetColor: instance"), std::string::npos);
    }
    EXPECT_THROW(api.Func("Model.SetColor", {cf, 1u}), std::bad_any_cast);  // unsigned is not int
}

TEST(Raycast, PassesTheRayAndTheTransformAndHandsBackFourValues) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("ground"), S("ground.obj"), I(1)});
    int m = api.New("Model", "ground");
    api.Func("CFrame.MoveTo", {H(api.Get(m, "CFrame")), L({5, 0, 0})});
    api.Func("Model.SetScale", {m, L({2, 2, 2})});
    FakeR3D::Get().nextHit = {true, 9.5f, {5, 0.5f, 0}, {0, 1, 0}};

    auto hit = std::any_cast<std::vector<std::any>>(api.Op("RaycastSingle", {m, L({5, 10, 0}), L({0, -2, 0})}));
    ASSERT_EQ(hit.size(), 4u);
    EXPECT_TRUE(std::any_cast<bool>(hit[0]));
    EXPECT_FLOAT_EQ(std::any_cast<float>(hit[1]), 9.5f);
    EXPECT_EQ(List(hit[2]), (std::vector<float>{5, 0.5f, 0}));
    EXPECT_EQ(List(hit[3]), (std::vector<float>{0, 1, 0}));

    const FakeR3D::Raycast& asked = FakeR3D::Get().raycasts.back();
    EXPECT_EQ(asked.model, "ground.obj");
    ExpectEq(asked.ray.position, 5, 10, 0);
    ExpectEq(asked.ray.direction, 0, -2, 0);  // not normalised
    EXPECT_FLOAT_EQ(asked.transform.m12, 5);
    EXPECT_FLOAT_EQ(asked.transform.m0, 1) << "the scale is not applied";
}

TEST(Raycast, AModelWhoseBufferWasRemovedMissesAndAddsNoBufferEntry) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("ground"), S("ground.obj"), I(1)});
    int m = api.New("Model", "ground");
    api.Func("UnloadModel", {S("ground")});
    auto hit = std::any_cast<std::vector<std::any>>(api.Op("RaycastSingle", {m, L({0, 10, 0}), L({0, -1, 0})}));
    ASSERT_EQ(hit.size(), 4u);
    EXPECT_FALSE(std::any_cast<bool>(hit[0]));
    EXPECT_EQ(std::any_cast<float>(hit[1]), R3D_RAY_MISS_DISTANCE);
    EXPECT_TRUE(B::Names.empty() && B::Models.empty() && B::Buffers.empty() && B::Positions.empty());
    EXPECT_TRUE(FakeR3D::Get().raycasts.empty());
}

TEST(Raycast, OnACFrameOrLightInstanceIsBadAnyCast) {
    Api& api = Fresh();
    int cf = api.New("CFrame");
    int light = api.New("Light", "Spot");
    EXPECT_THROW(api.Op("RaycastSingle", {cf, L({0, 0, 0}), L({0, -1, 0})}), std::bad_any_cast);
    EXPECT_THROW(api.Op("RaycastSingle", {light, L({0, 0, 0}), L({0, -1, 0})}), std::bad_any_cast);
}

TEST(SlotMap, KeepsSlotsSortedSweepsHolesAndFindsWhatIsLive) {
    B::SlotMap<int> map;
    int values[8] = {};
    for (int slot : {3, 5, 7, 9}) map.Insert(slot, &values[slot % 8]);
    map.Insert(4, &values[4]);  // out of order: lands in place
    EXPECT_EQ(map.Slots(), (std::vector<int>{3, 4, 5, 7, 9}));
    EXPECT_TRUE(map.Erase(5));
    EXPECT_FALSE(map.Erase(5));
    EXPECT_FALSE(map.Erase(6));
    EXPECT_EQ(map.size(), 4u);
    EXPECT_EQ(map.Slots().size(), 5u) << "one hole, not swept yet";
    EXPECT_EQ(map.Find(5), nullptr);
    EXPECT_EQ(map.Find(7), &values[7]);
    map.Erase(3);
    map.Erase(4);  // three holes, two live: swept
    EXPECT_EQ(map.Slots(), (std::vector<int>{7, 9}));
    map.Erase(9);  // one hole, one live: kept
    EXPECT_EQ(map.Slots(), (std::vector<int>{7, 9}));
    EXPECT_EQ(map.Values(), (std::vector<int*>{&values[7], nullptr}));
    map.Insert(11, &values[3]);
    EXPECT_TRUE(map.Contains(11));
    EXPECT_EQ(map.size(), 2u);
}
