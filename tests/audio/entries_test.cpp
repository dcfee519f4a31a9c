// The sound entries in-process (no sound device: the audio layer's clock):
// placed sounds as scene objects, where they are heard from, what destroying
// them and emptying the scene does, and the fatal stops for names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Harness.h"
#include "Instance.h"
#include "Messages.h"
#include "Process.h"
#include "World.h"
#include "sound/Wav.h"

using namespace Harness;

namespace {

// A scene with a loaded sound "tone" (0.2 s) and a placed sound of it.
struct Scene {
    TestSupport::TempDir dir;
    Api& api = Fresh();
    int sound;

    Scene() {
        SoundFile::WriteWav(dir / "tone.wav", std::vector<float>(8820, 0.25f), 1, 44100);
        api.Func("LoadSound", {std::string("tone"), dir / "tone.wav"});
        sound = api.New("Sound", "tone");
    }
    std::vector<float> Heard() const { return List(api.Op("Sound.GetPosition", {sound})); }
    bool Playing() const { return std::any_cast<bool>(api.Op("Sound.IsPlaying", {sound})); }
};

void ExpectNear(Vector3 got, Vector3 want) {
    EXPECT_NEAR(got.x, want.x, 1e-5f);
    EXPECT_NEAR(got.y, want.y, 1e-5f);
    EXPECT_NEAR(got.z, want.z, 1e-5f);
}

}  // namespace

TEST(PlacedSounds, AreInstancesOfTheKindSoundThatOnlySoundEntriesAccept) {
    Scene s;
    EXPECT_EQ(std::any_cast<std::string>(s.api.Op("Instance.Type", {s.sound})), "Sound");
    EXPECT_EQ(std::any_cast<std::string>(s.api.Op("Instance.GetName", {s.sound})), "Sound");
    EXPECT_EQ(Instances.at(s.sound).Parent, 1);
    const int light = s.api.New("Light", "Spot");
    EXPECT_THROW(s.api.Func("Sound.Play", {light}), std::bad_any_cast) << "a light is no sound";
    EXPECT_THROW(s.api.Func("Light.SetEnergy", {s.sound, 1.0f}), std::bad_any_cast) << "nor a sound a light";
    s.api.Func("Sound.SetPosition", {s.sound, std::vector<float>{1, 2, 3}});
    EXPECT_EQ(s.Heard(), (std::vector<float>{1, 2, 3}));
    s.api.Func("Sound.Play", {s.sound});
    EXPECT_TRUE(s.Playing());
}

TEST(PlacedSounds, FollowTheirParentsTransformAndStandInTheWorldUnderAnythingElse) {
    Scene s;
    s.api.Func("Sound.SetPosition", {s.sound, std::vector<float>{1, 0, 0}});
    ExpectNear(World::Sounds::WorldPosition(s.sound), {1, 0, 0});

    const int frame = s.api.New("CFrame");
    std::any* value = s.api.Get(frame, "Value");
    s.api.Func("CFrame.MoveTo", {value, std::vector<float>{10, 0, 5}});
    s.api.Func("CFrame.RotateTo", {value, std::vector<float>{0, 1.5707964f, 0}});  // a quarter turn about y
    s.api.Func("Instance.SetParent", {s.sound, frame});
    ExpectNear(World::Sounds::WorldPosition(s.sound), {10, 0, 4});  // its offset turned with it
    s.api.Func("CFrame.MoveBy", {value, std::vector<float>{0, 3, 0}});
    ExpectNear(World::Sounds::WorldPosition(s.sound), {10, 3, 4});

    s.api.Func("LoadModel", {std::string("box"), std::string("box.obj"), 4});
    const int model = s.api.New("Model", "box");
    s.api.Func("CFrame.MoveTo", {s.api.Get(model, "CFrame"), std::vector<float>{-2, 0, 0}});
    s.api.Func("Instance.SetParent", {s.sound, model});
    ExpectNear(World::Sounds::WorldPosition(s.sound), {-1, 0, 0});

    // A light has no transform to follow.
    const int light = s.api.New("Light", "Point");
    s.api.Func("Instance.SetParent", {s.sound, light});
    ExpectNear(World::Sounds::WorldPosition(s.sound), {1, 0, 0});
}

// Destroyed with a parent, or emptied with the scene when a game restarts in
// place: a placed sound stops, and a restart unloads every sound too.
TEST(PlacedSounds, GoWithTheirParentAndTheSceneAndAClearedSceneLoadsAfresh) {
    Scene s;
    s.api.Func("Sound.SetLooping", {s.sound, true});
    s.api.Func("Sound.Play", {s.sound});
    const int frame = s.api.New("CFrame");
    s.api.Func("Instance.SetParent", {s.sound, frame});
    const int emitter = std::any_cast<int>(Instances.at(s.sound).Variables.at("Emitter"));
    s.api.Func("Instance.Destroy", {frame});
    EXPECT_FALSE(A3D_IsEmitterPlaying(A3D_Emitter{static_cast<unsigned>(emitter)}));
    EXPECT_EQ(World::Sounds::Placed.count(s.sound), 0u);

    const int again = s.api.New("Sound", "tone");
    s.api.Func("PlaySound", {std::string("tone")});
    World::Clear();
    EXPECT_TRUE(World::Sounds::Placed.empty());
    EXPECT_EQ(Instances.count(again), 0u);
    s.api.Func("LoadSound", {std::string("tone"), s.dir / "tone.wav"});  // the name is free again
    EXPECT_NEAR(std::any_cast<float>(s.api.Op("GetSoundLength", {std::string("tone")})), 0.2f, 1e-4f);
}

class SoundNames : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VANTOR_NO_DIALOG", "1", 1);
        GTEST_FLAG_SET(death_test_style, "fast");
    }
};

TEST_F(SoundNames, ANameInUseOrNeverLoadedStopsNamingTheEntryAndTheName) {
    Scene s;
    EXPECT_EXIT(s.api.Func("LoadSound", {std::string("tone"), std::string("other.wav")}), ::testing::ExitedWithCode(1),
                "womp womp: LoadSound: a sound named \"tone\" is already loaded\\.");
    EXPECT_EXIT(s.api.Func("SetSoundPitch", {std::string("tones"), 2.0f}), ::testing::ExitedWithCode(1),
                "womp womp: SetSoundPitch: no sound named \"tones\" is loaded\\.");
    EXPECT_EXIT(s.api.Op("GetMusicTimePlayed", {std::string("tone")}), ::testing::ExitedWithCode(1),
                "womp womp: GetMusicTimePlayed: no music stream named \"tone\" is loaded\\.");
    EXPECT_EXIT(s.api.New("Sound", "hum"), ::testing::ExitedWithCode(1),
                "womp womp: Instance.New: no sound named \"hum\" is loaded\\.");
    // A wrong type is found before the name is looked up.
    EXPECT_THROW(s.api.Func("SetSoundPitch", {std::string("tones"), 2.0}), std::bad_any_cast);
}
