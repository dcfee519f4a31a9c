// Addresses that must not move: records, variable slots and the values buffers
// point at, while thousands of instances come and go around them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <unordered_set>
#include <set>

#include "CFrame.h"
#include "FakeR3D.h"
#include "Harness.h"
#include "Instance.h"
#include "SlotArena.h"
#include "World.h"

using namespace Harness;
namespace B = World::Buffers;

TEST(Stability, HeldHandlesAndBufferAddressesSurviveThousandsOfCreatesAndDestroys) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(20000)});
    api.Func("LoadModel", {S("rock"), S("rock.obj"), I(20000)});

    // The ones we keep: models with their CFrame handles, and plain CFrames.
    struct Kept {
        int id;
        const char* variable;
        std::any* handle;
        const Instance* record;
        const CFrame* value;
        const Vector3* scale;
        const Color* color;
    };
    std::vector<Kept> kept;
    auto keep = [&](int id, const char* variable) {
        std::any* h = api.Get(id, variable);
        auto& v = Instances[id].Variables;
        kept.push_back({id, variable, h, &Instances[id], std::any_cast<CFrame>(h),
                        v.count("Scale") ? std::any_cast<Vector3>(&v["Scale"]) : nullptr,
                        v.count("Color") ? std::any_cast<Color>(&v["Color"]) : nullptr});
    };
    for (int i = 0; i < 50; ++i) keep(api.New("Model", i % 2 ? "crate" : "rock"), "CFrame");
    for (int i = 0; i < 50; ++i) keep(api.New("CFrame"), "Value");

    std::mt19937 rng(99);
    std::vector<int> churn;
    for (int round = 0; round < 20000; ++round) {
        if (churn.empty() || rng() % 3) {
            int id = rng() % 3 == 0 ? api.New("CFrame") : api.New("Model", rng() % 2 ? "crate" : "rock");
            if (rng() % 2) api.Get(id, rng() % 2 ? "CFrame" : "Extra");  // grows its variable table
            if (rng() % 4 == 0) api.Func("Instance.SetParent", {id, kept[rng() % kept.size()].id});
            churn.push_back(id);
        } else {
            std::size_t at = rng() % churn.size();
            if (Instances.count(churn[at])) api.Func("Instance.Destroy", {churn[at]});
            churn[at] = churn.back();
            churn.pop_back();
        }
        if (round % 5000 == 0) B::Draw();
    }

    // Move each kept one through its old handle; the buffers must draw the new values.
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const Kept& k = kept[i];
        ASSERT_EQ(&Instances.at(k.id), k.record) << "record moved";
        ASSERT_EQ(api.Get(k.id, k.variable), k.handle) << "slot moved";
        ASSERT_EQ(std::any_cast<CFrame>(k.handle), k.value) << "value moved";
        api.Func("CFrame.MoveTo", {H(k.handle), L({float(i), 1, 2})});
        ASSERT_EQ(k.value->Position.x, float(i)) << "slot or value moved";
        if (k.scale) {
            api.Func("Model.SetScale", {k.id, L({float(i), 0, 0})});
            ASSERT_EQ(k.scale->x, float(i));
        }
    }
    // Only the kept models are left in the buffers.
    for (int id : churn)
        if (Instances.count(id)) api.Func("Instance.Destroy", {id});
    B::Draw();
    const auto& draws = FakeR3D::Get().draws;
    ASSERT_GE(draws.size(), 2u);
    EXPECT_EQ(draws[draws.size() - 1].count + draws[draws.size() - 2].count, 50);

    // every kept model's current position is among what was uploaded this frame
    std::set<float> uploaded;
    for (std::size_t d = draws.size() - 2; d < draws.size(); ++d)
        for (int i = 0; i < draws[d].count; ++i) uploaded.insert(draws[d].buffer->positions[i].x);
    for (std::size_t i = 0; i < 50; ++i) EXPECT_EQ(uploaded.count(float(i)), 1u) << i;
}

TEST(Stability, StaleHandlesOfDestroyedInstancesAreRefusedEvenAfterChurn) {
    Api& api = Fresh();
    std::vector<std::any*> stale;
    for (int i = 0; i < 2000; ++i) {
        int id = api.New("CFrame");
        stale.push_back(api.Get(id, "Value"));
        api.Func("Instance.Destroy", {id});
    }
    // new instances may reuse the memory, but a handle is live only once handed out again
    for (int i = 0; i < 2000; ++i) api.New("CFrame");
    int refused = 0;
    for (std::any* h : stale) {
        try {
            api.Op("CFrame.Position", {H(h)});
        } catch (const std::invalid_argument&) {
            ++refused;
        }
    }
    EXPECT_EQ(refused, 2000);
}

// The address of a destroyed instance's slot is never handed out again, so an
// old handle cannot reach a newer instance, while the memory held stays that of
// the live slots: pages are given back, their addresses are not.
TEST(Stability, SlotAddressesAreNeverReusedAndMemoryStaysBoundedUnderChurn) {
    Api& api = Fresh();
    const char* env = std::getenv("VANTOR_CHURN_CYCLES");
    const long cycles = env ? std::atol(env) : 200000;
    std::unordered_set<const std::any*> seen;
    std::vector<std::pair<int, std::any*>> live;
    std::vector<std::any*> stale;
    std::mt19937 rng(3);
    std::size_t mostPages = 0, pagesAtStart = 0;
    for (long i = 0; i < cycles; ++i) {
        int id = api.New("CFrame");
        std::any* h = api.Get(id, "Value");
        // (the record of addresses seen is kept short so that long runs measure the engine alone)
        if (i < 200000) ASSERT_TRUE(seen.insert(h).second) << "slot address handed out twice, cycle " << i;
        else ASSERT_FALSE(seen.count(h)) << "slot address handed out twice, cycle " << i;
        live.emplace_back(id, h);
        if (live.size() > 100) {  // about 100 alive at any time
            std::size_t at = rng() % live.size();
            api.Func("Instance.Destroy", {live[at].first});
            if (stale.size() < 1000) stale.push_back(live[at].second);
            live[at] = live.back();
            live.pop_back();
        }
        if (i == 1000) pagesAtStart = SlotArena::CurrentUsage().heldPages;
        mostPages = std::max(mostPages, SlotArena::CurrentUsage().heldPages);
    }
    for (std::any* h : stale) EXPECT_THROW(api.Op("CFrame.Position", {H(h)}), std::invalid_argument);
    for (auto& [id, h] : live) EXPECT_NO_THROW(api.Op("CFrame.Position", {H(h)}));

    const SlotArena::Usage u = SlotArena::CurrentUsage();
    // ~100 CFrames and "Null"/"Root": each live slot can pin at most one page.
    EXPECT_LE(mostPages, 110u);
    EXPECT_LE(mostPages, pagesAtStart + 110u);
    EXPECT_GE(u.releasedPages * u.pageBytes, static_cast<std::size_t>(cycles) * 48) << "pages were given back";
    RecordProperty("cycles", std::to_string(cycles));
    RecordProperty("most_held_bytes", std::to_string(mostPages * u.pageBytes));
    std::printf("churn: %ld creates and destroys, at most %zu pages (%zu KiB) held, %zu pages given back, "
                "%zu MiB of addresses reserved\n",
                cycles, mostPages, mostPages * u.pageBytes / 1024, u.releasedPages, u.reservedBytes >> 20);
}

// An entry that throws on an id without a record leaves no blank record behind.
TEST(Stability, EntriesThatThrowOnUnknownIdsLeaveNoRecord) {
    Api& api = Fresh();
    EXPECT_THROW(api.Op("Model.GetScale", {I(500)}), std::bad_any_cast);
    EXPECT_THROW(api.Func("Model.SetColor", {I(501), I(-1)}), std::bad_any_cast);
    EXPECT_THROW(api.Func("Model.SetModel", {I(502), S("A")}), std::bad_any_cast);
    EXPECT_THROW(api.Op("Light.GetEnergy", {I(503)}), std::bad_any_cast);
    EXPECT_THROW(api.Func("Light.SetState", {I(504), Harness::B(true)}), std::bad_any_cast);
    EXPECT_THROW(api.Op("RaycastSingle", {I(505), L({0, 0, 0}), L({0, 0, 1})}), std::bad_any_cast);
    EXPECT_EQ(Instances.size(), 2u);
    int cf = api.New("CFrame");
    EXPECT_THROW(api.Op("Model.GetModel", {cf}), std::bad_any_cast);
    EXPECT_EQ(Instances[cf].Variables.size(), 1u) << "no empty slot added";
}
