// The instance registry and tree, through the "Instance." entries.
#include <gtest/gtest.h>

#include "CFrame.h"
#include "FakeR3D.h"
#include "Harness.h"
#include "Instance.h"
#include "World.h"

using namespace Harness;
using Children = std::unordered_map<std::string, int>;

namespace {

Children ChildrenOf(const Api& api, int id) { return std::any_cast<Children>(api.Op("Instance.GetChildren", {id})); }
std::string NameOf(const Api& api, int id) { return std::any_cast<std::string>(api.Op("Instance.GetName", {id})); }

}  // namespace

TEST(Instances, NewInstanceIsNamedAfterItsKindAndNotYetListedUnderRoot) {
    Api& api = Fresh();
    int a = api.New("CFrame");
    EXPECT_EQ(NameOf(api, a), "CFrame");
    EXPECT_EQ(std::any_cast<std::string>(api.Op("Instance.Type", {a})), "CFrame");
    EXPECT_EQ(std::any_cast<int>(api.Op("Instance.GetParent", {a})), 1);
    EXPECT_TRUE(ChildrenOf(api, 1).empty());

    api.Func("Instance.SetName", {a, S("lamp")});
    EXPECT_EQ(ChildrenOf(api, 1), (Children{{"lamp", a}}));
    EXPECT_EQ(std::any_cast<int>(api.Op("Instance.GetChild", {1, S("lamp")})), a);
}

TEST(Instances, SetParentMovesTheEntryBetweenChildTables) {
    Api& api = Fresh();
    int lamp = api.New("CFrame");
    int shelf = api.New("CFrame");
    api.Func("Instance.SetName", {lamp, S("lamp")});
    api.Func("Instance.SetParent", {lamp, shelf});
    EXPECT_TRUE(ChildrenOf(api, 1).empty());
    EXPECT_EQ(ChildrenOf(api, shelf), (Children{{"lamp", lamp}}));
    EXPECT_EQ(std::any_cast<int>(api.Op("Instance.GetParent", {lamp})), shelf);

    // renaming re-keys the entry in the current parent
    api.Func("Instance.SetName", {lamp, S("bulb")});
    EXPECT_EQ(ChildrenOf(api, shelf), (Children{{"bulb", lamp}}));
}

TEST(Instances, NamesakesShareOneEntryAndErasingIsByName) {
    Api& api = Fresh();
    int first = api.New("CFrame");
    int second = api.New("CFrame");
    api.Func("Instance.SetName", {first, S("lamp")});
    api.Func("Instance.SetName", {second, S("lamp")});
    EXPECT_EQ(ChildrenOf(api, 1), (Children{{"lamp", second}}));
    // destroying the displaced first one removes the entry the second owns
    api.Func("Instance.Destroy", {first});
    EXPECT_TRUE(ChildrenOf(api, 1).empty());
    EXPECT_EQ(Instances.count(second), 1u);
    EXPECT_EQ(Instances.count(first), 0u);
}

TEST(Instances, GetChildOfAnAbsentNameIsZeroAndAddsNothing) {
    Api& api = Fresh();
    EXPECT_EQ(std::any_cast<int>(api.Op("Instance.GetChild", {1, S("nobody")})), 0);
    EXPECT_TRUE(ChildrenOf(api, 1).empty());
}

TEST(Instances, GetChildrenIsACopy) {
    Api& api = Fresh();
    int a = api.New("CFrame");
    api.Func("Instance.SetName", {a, S("a")});
    Children before = ChildrenOf(api, 1);
    api.Func("Instance.SetName", {a, S("b")});
    EXPECT_EQ(before, (Children{{"a", a}}));
    EXPECT_EQ(ChildrenOf(api, 1), (Children{{"b", a}}));
}

TEST(Instances, DestroyTakesTheListedSubtreeRunsEveryOnDestroyAndNeverReusesIds) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(16)});
    int top = api.New("Model", "crate");
    int child = api.New("Light", "Spot");
    int grandchild = api.New("Model", "crate");
    int unlisted = api.New("CFrame");  // names top as parent but is never attached
    api.Func("Instance.SetName", {top, S("top")});
    api.Func("Instance.SetParent", {child, top});
    api.Func("Instance.SetParent", {grandchild, child});
    Instances[unlisted].Parent = top;
    ASSERT_EQ(World::Buffers::Positions[0].size(), 2u);
    const int light = std::any_cast<int>(*api.Get(child, "Value"));

    api.Func("Instance.Destroy", {top});

    EXPECT_EQ(Instances.count(top) + Instances.count(child) + Instances.count(grandchild), 0u);
    EXPECT_EQ(World::Buffers::Positions[0].size(), 0u) << "both models left their buffer";
    EXPECT_TRUE(FakeR3D::Get().lights[light].destroyed);
    EXPECT_TRUE(ChildrenOf(api, 1).empty());
    EXPECT_EQ(Instances.count(unlisted), 1u);
    EXPECT_EQ(Instances[unlisted].Parent, top);
    EXPECT_EQ(api.New("CFrame"), unlisted + 1);
}

TEST(Instances, OnDestroyStillFindsTheRecordAndItsVariables) {
    Api& api = Fresh();
    int a = api.New("CFrame");
    bool sawRecord = false;
    Instances[a].OnDestroy = [a, &sawRecord](std::vector<std::any>) {
        sawRecord = Instances.count(a) == 1 && Instances[a].Variables.count("Value") == 1;
    };
    api.Func("Instance.Destroy", {a});
    EXPECT_TRUE(sawRecord);
}

// A loop would hang off nothing ("Root" unreachable, a game walking up its
// parents never ending): such moves are refused and change nothing.
TEST(Instances, MovesThatWouldMakeALoopAreRefusedAndDestroyTakesTheChain) {
    Api& api = Fresh();
    int a = api.New("CFrame"), b = api.New("CFrame"), c = api.New("CFrame");
    api.Func("Instance.SetParent", {a, 1});
    api.Func("Instance.SetParent", {b, a});
    api.Func("Instance.SetParent", {c, b});
    try {
        api.Func("Instance.SetParent", {a, c});
        FAIL() << "a loop was made";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), ("Instance.SetParent: instance " + std::to_string(a) + " cannot be moved under " +
                                std::to_string(c) + ", which is itself or one of its descendants")
                                   .c_str());
    }
    EXPECT_THROW(api.Func("Instance.SetParent", {c, c}), std::invalid_argument);
    EXPECT_EQ(Instances[a].Parent, 1);
    EXPECT_EQ(ChildrenOf(api, c), Children{});
    // also through a child that is not listed (displaced by a namesake): Parent links count
    int d = api.New("CFrame"), e = api.New("CFrame");
    api.Func("Instance.SetParent", {d, c});
    api.Func("Instance.SetParent", {e, c});  // same name "CFrame": e displaces d in c's table
    EXPECT_THROW(api.Func("Instance.SetParent", {a, d}), std::invalid_argument);
    // "Null" and "Root" stay where they are
    EXPECT_THROW(api.Func("Instance.SetParent", {1, a}), std::invalid_argument);
    EXPECT_THROW(api.Func("Instance.SetParent", {0, a}), std::invalid_argument);
    EXPECT_THROW(api.Func("Instance.Destroy", {1}), std::invalid_argument);
    EXPECT_THROW(api.Func("Instance.Destroy", {0}), std::invalid_argument);
    EXPECT_THROW(api.Func("Instance.SetName", {0, S("x")}), std::invalid_argument);

    api.Func("Instance.Destroy", {a});
    EXPECT_EQ(Instances.count(a) + Instances.count(b) + Instances.count(c) + Instances.count(e), 0u);
    EXPECT_EQ(Instances.count(d), 1u) << "not listed, so not destroyed";
    EXPECT_EQ(Instances.count(0) + Instances.count(1), 2u);
}

TEST(Instances, UnknownIdsLeaveABlankRecordAndTreeChangesOnItTouchNothingElse) {
    Api& api = Fresh();
    int lamp = api.New("CFrame");
    api.Func("Instance.SetName", {lamp, S("")});  // a real child named "" under Root
    Instance null = Instances[0], root = Instances[1];

    EXPECT_EQ(NameOf(api, 77), "");
    EXPECT_EQ(Instances.count(77), 1u);
    EXPECT_EQ(std::any_cast<int>(api.Op("Instance.GetParent", {77})), 0);
    EXPECT_EQ(std::any_cast<int>(api.Op("Instance.GetChild", {78, S("x")})), 0);

    api.Func("Instance.SetParent", {79, 1});
    api.Func("Instance.SetName", {80, S("ghost")});
    api.Func("Instance.Destroy", {81});
    api.Func("Instance.Destroy", {77});

    EXPECT_EQ(Instances.count(0), 1u);
    EXPECT_EQ(Instances[0].Name, null.Name);
    EXPECT_EQ(Instances[0].Children, null.Children);
    EXPECT_EQ(Instances[1].Children, root.Children);
    EXPECT_EQ(ChildrenOf(api, 1), (Children{{"", lamp}}));
    EXPECT_EQ(Instances.count(81), 1u) << "the blank record stays, as look-ups leave it";
    // ids handed out later still count on from the last one issued
    EXPECT_EQ(api.New("CFrame"), lamp + 1);
}

TEST(Instances, CreatingOverABlankRecordReplacesIt) {
    Api& api = Fresh();
    std::any* stale = api.Get(2, "Value");  // id 2 not issued yet: a blank record with an empty slot
    int a = api.New("CFrame");
    ASSERT_EQ(a, 2);
    EXPECT_EQ(Instances[a].Name, "CFrame");
    EXPECT_EQ(Instances[a].id, 2);
    // the old slot's handle died with the blank record
    EXPECT_THROW(api.Op("CFrame.Position", {H(stale)}), std::invalid_argument);
}

TEST(Instances, KindsSetUpTheirVariables) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(4)});
    int cf = api.New("CFrame");
    int model = api.New("Model", "crate");
    int light = api.New("Light", "Point");

    EXPECT_EQ(Instances[cf].Variables.size(), 1u);
    const CFrame& value = std::any_cast<const CFrame&>(Instances[cf].Variables["Value"]);
    EXPECT_EQ(value.Position.x, 0);
    EXPECT_EQ(value.Rotation.w, 1);

    auto& v = Instances[model].Variables;
    EXPECT_EQ(std::any_cast<std::string>(v["Tied Model"]), "crate");
    EXPECT_EQ(std::any_cast<int>(v["Buffer Index"]), 0);
    EXPECT_EQ(std::any_cast<Vector3>(v["Scale"]).x, 0);
    EXPECT_EQ(ColorToInt(std::any_cast<Color>(v["Color"])), 0);
    EXPECT_TRUE(v["CFrame"].type() == typeid(CFrame));
    EXPECT_EQ(World::Buffers::Positions[0].size(), 1u);

    int handle = std::any_cast<int>(Instances[light].Variables["Value"]);
    EXPECT_EQ(FakeR3D::Get().lights[handle].type, R3D_LIGHT_OMNI);
    EXPECT_EQ(std::any_cast<std::string>(api.Op("Light.GetType", {light})), "Point");
}

TEST(Instances, GetOfAnAbsentVariableIsAnEmptySlot) {
    Api& api = Fresh();
    int a = api.New("CFrame");
    std::any* slot = api.Get(a, "Nothing here");
    EXPECT_FALSE(slot->has_value());
    EXPECT_EQ(slot, api.Get(a, "Nothing here"));
    EXPECT_THROW(api.Op("CFrame.LookVector", {H(slot)}), std::bad_any_cast);
}

TEST(Instances, WrongArgumentTypesAreBadAnyCast) {
    Api& api = Fresh();
    EXPECT_THROW(api.Op("Instance.New", {std::any("CFrame")}), std::bad_any_cast);  // a char pointer
    EXPECT_THROW(api.Op("Instance.GetName", {std::any(1L)}), std::bad_any_cast);    // a long
    EXPECT_THROW(api.Func("Instance.SetName", {I(1), I(5)}), std::bad_any_cast);
    EXPECT_THROW(api.Op("Instance.GetParent", {F(1.0f)}), std::bad_any_cast);
}

TEST(Instances, MissingArgumentsNameTheEntryAndPosition) {
    Api& api = Fresh();
    try {
        api.Func("Instance.SetParent", {I(1)});
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Instance.SetParent: argument 1 is missing");
    }
    EXPECT_THROW(api.Op("Instance.New", {}), std::out_of_range);
    // "Model" needs its buffer name, read before anything is created
    EXPECT_THROW(api.Op("Instance.New", {S("Model")}), std::out_of_range);
    EXPECT_THROW(api.Op("Instance.New", {S("Light"), I(1)}), std::bad_any_cast);
    EXPECT_EQ(Instances.size(), 2u);
    EXPECT_EQ(api.New("CFrame"), 2) << "no id was used up";
}

TEST(Instances, DestroyingAVeryDeepChainNeedsNoDeepCallStack) {
    Api& api = Fresh();
    int top = api.New("CFrame");
    int parent = top;
    for (int i = 0; i < 300000; ++i) {
        int child = api.New("CFrame");
        api.Func("Instance.SetParent", {child, parent});
        parent = child;
    }
    api.Func("Instance.Destroy", {top});
    EXPECT_EQ(Instances.size(), 2u);
}
