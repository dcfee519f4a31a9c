// Every fatal message the scene and the API can raise, as the process sees it:
// exit status 1 and "womp womp: <message>" on standard error. Expected texts come
// from the same table the host uses, with the placeholders filled here.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "Harness.h"
#include "Instance.h"
#include "Messages.h"
#include "World.h"

using namespace Harness;

namespace {

// The full stderr line as a regular expression matching it literally.
std::string Line(const std::string& message) {
    std::string out;
    for (char ch : "womp womp: " + message) {
        if (std::string("\\^$.|?*+()[]{}").find(ch) != std::string::npos) out += '\\';
        out += ch;
    }
    return out;
}

class FatalStop : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VANTOR_NO_DIALOG", "1", 1);
        GTEST_FLAG_SET(death_test_style, "fast");
    }
};

}  // namespace

TEST_F(FatalStop, TheTableHoldsTheTextsWordForWord) {
    EXPECT_STREQ(FatalText(Fatal::UnmapBufferMissing),
                 "Could not unmap instance to buffer \"{}\" becaues the buffer does not exist.");
    EXPECT_EQ(FormatFatal(Fatal::UpdateBufferFull, "box", 5, 4),
              "Could not update buffer \"box\" because it has reached its max capacity\nCapacity: 5/4");
    EXPECT_EQ(FormatFatal(Fatal::InvalidLightType, "point"), "Invalid light type \"point\"");
}

TEST_F(FatalStop, InvalidInstanceType) {
    Api& api = Fresh();
    EXPECT_EXIT(api.New("cframe"), ::testing::ExitedWithCode(1),
                Line(FormatFatal(Fatal::InvalidInstanceType, "cframe")));
}

TEST_F(FatalStop, InvalidLightTypeIsCaseSensitive) {
    Api& api = Fresh();
    EXPECT_EXIT(api.New("Light", "point"), ::testing::ExitedWithCode(1),
                Line("Invalid light type \"point\""));
}

TEST_F(FatalStop, InvalidShadowUpdateMode) {
    Api& api = Fresh();
    int light = api.New("Light", "Spot");
    EXPECT_EXIT(api.Func("Light.SetShadowUpdateMode", {light, S("continuous")}), ::testing::ExitedWithCode(1),
                Line(FormatFatal(Fatal::InvalidShadowUpdateMode, "continuous")));
}

TEST_F(FatalStop, LoadModelTwiceUnderOneName) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("crate"), S("crate.obj"), I(4)});
    EXPECT_EXIT(api.Func("LoadModel", {S("crate"), S("other.obj"), I(4)}), ::testing::ExitedWithCode(1),
                Line("Could not create buffer \"crate\" because it already exists."));
}

TEST_F(FatalStop, UnloadModelNeverLoaded) {
    Api& api = Fresh();
    EXPECT_EXIT(api.Func("UnloadModel", {S("ghost")}), ::testing::ExitedWithCode(1),
                Line("Could not remove buffer \"ghost\" because it does not exist."));
}

TEST_F(FatalStop, AFifthInstanceInABufferOfFourStopsAtTheNextFrame) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("box"), S("box.obj"), I(4)});
    for (int i = 0; i < 5; ++i) api.New("Model", "box");  // mapping the fifth succeeds
    EXPECT_EXIT(World::Buffers::Draw(), ::testing::ExitedWithCode(1),
                Line(FormatFatal(Fatal::UpdateBufferFull, "box", 5, 4)));
    EXPECT_EXIT(World::Buffers::Draw(), ::testing::ExitedWithCode(1), "\nCapacity: 5/4\n");
}

TEST_F(FatalStop, UpdateAndDrawOfAMissingBuffer) {
    Fresh();
    EXPECT_EXIT(World::Buffers::UpdateBuffer("nope"), ::testing::ExitedWithCode(1),
                Line("Could not update buffer \"nope\" because it does not exist."));
    EXPECT_EXIT(World::Buffers::DrawBuffer("nope"), ::testing::ExitedWithCode(1),
                Line("Could not draw buffer \"nope\" because it does not exist."));
}

TEST_F(FatalStop, ModelInstanceOfAMissingBuffer) {
    Api& api = Fresh();
    EXPECT_EXIT(api.New("Model", "nope"), ::testing::ExitedWithCode(1),
                Line("Could not map instance to buffer \"nope\" because the buffer does not exist."));
}

TEST_F(FatalStop, SetModelAfterTheBufferWasUnloaded) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("A"), S("a.obj"), I(4)});
    api.Func("LoadModel", {S("B"), S("b.obj"), I(4)});
    int m = api.New("Model", "A");
    api.Func("UnloadModel", {S("A")});
    EXPECT_EXIT(api.Func("Model.SetModel", {m, S("B")}), ::testing::ExitedWithCode(1),
                Line("Could not unmap instance to buffer \"A\" becaues the buffer does not exist."));
    // destroying it runs the same unmapping
    EXPECT_EXIT(api.Func("Instance.Destroy", {m}), ::testing::ExitedWithCode(1), "becaues the buffer does not exist");
}

// A wrong or missing name is found before the model leaves its buffer: it stays
// drawn, and destroying it later is no fatal stop.
TEST_F(FatalStop, SetModelWithAWrongNameTypeChangesNothing) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("A"), S("a.obj"), I(4)});
    int m = api.New("Model", "A");
    api.Func("Model.SetScale", {m, L({2, 2, 2})});
    EXPECT_THROW(api.Func("Model.SetModel", {m, I(5)}), std::bad_any_cast);
    EXPECT_THROW(api.Func("Model.SetModel", {m}), std::out_of_range);
    EXPECT_EQ(World::Buffers::Positions[0].size(), 1u);
    EXPECT_EQ(std::any_cast<Vector3>(Instances[m].Variables["Scale"]).x, 2);
    api.Func("Instance.Destroy", {m});
    EXPECT_EQ(World::Buffers::Positions[0].size(), 0u);
}

TEST_F(FatalStop, UnmappingASlotTwiceNamesTheBuffer) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("A"), S("a.obj"), I(4)});
    int m = api.New("Model", "A");
    int slot = std::any_cast<int>(Instances[m].Variables["Buffer Index"]);
    World::Buffers::UnmapInstance("A", slot);
    EXPECT_EXIT(World::Buffers::UnmapInstance("A", slot), ::testing::ExitedWithCode(1),
                Line("Could not unmap instance to buffer \"A\" because the instance does not exist."));
}

TEST_F(FatalStop, RunningOutOfInstanceIds) {
    Api& api = Fresh();
    inst_count = INT_MAX;
    EXPECT_EXIT(api.New("CFrame"), ::testing::ExitedWithCode(1), Line(FatalText(Fatal::OutOfInstanceIds)));
}

TEST_F(FatalStop, RunningOutOfSlotNumbersAndBufferIndices) {
    Api& api = Fresh();
    api.Func("LoadModel", {S("A"), S("a.obj"), I(4)});
    World::Buffers::InstanceCount = INT_MAX;
    EXPECT_EXIT(api.New("Model", "A"), ::testing::ExitedWithCode(1), Line(FormatFatal(Fatal::OutOfSlotNumbers, "A")));
    World::Buffers::BufferCount = INT_MAX;
    EXPECT_EXIT(api.Func("LoadModel", {S("B"), S("b.obj"), I(4)}), ::testing::ExitedWithCode(1),
                Line(FormatFatal(Fatal::OutOfBufferIndices, "B")));
}
