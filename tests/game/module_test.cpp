// The shipped game module, loaded with dlopen as the engine loads it, against
// a recording stand-in host: what its start-up and each frame of the walker
// ask of the host, in order, and how the walker reacts to what the ground
// probe answers. The stand-in does the little vector arithmetic the walker
// needs so that the values it sends can be checked.
//
// Every test loads its own copy of game.dll, so the walker's statics start
// fresh each time.
#include <gtest/gtest.h>

#include <cmath>
#include <dlfcn.h>
#include <limits>

#include "Process.h"
#include "RecordingHost.h"

using namespace GameTest;
using List = std::vector<float>;

namespace {

const float kMiss = 3.402823466e+38f;  // the renderer's distance for a ray that meets nothing

List L(const Params& p, int i) { return std::any_cast<List>(p[i]); }

class Module : public ::testing::Test {
protected:
    void SetUp() override {
        static int copies = 0;
        std::string path = dir / ("game" + std::to_string(++copies) + ".dll");
        TestSupport::CopyFile(VANTOR_GAME_MODULE, path);
        lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        auto defineFunc = reinterpret_cast<DefineFunc>(dlsym(lib, "define_func"));
        auto defineOp = reinterpret_cast<DefineOp>(dlsym(lib, "define_op"));
        init = reinterpret_cast<void (*)()>(dlsym(lib, "init"));
        tick = reinterpret_cast<void (*)()>(dlsym(lib, "tick"));
        ASSERT_TRUE(defineFunc && defineOp && init && tick);

        // A small world: ids from 2 up, children found by the names given, one slot per (id, variable).
        host.answers["Instance.New"] = [this](const Params&) { return std::any(nextId++); };
        host.answers["Instance.GetChild"] = [this](const Params& p) {
            auto found = names.find(std::any_cast<std::string>(p[1]));
            return std::any(found == names.end() ? 0 : found->second);
        };
        host.answers["IsGamepadAvailable"] = [](const Params&) { return std::any(false); };  // no gamepad
        // Each slot holds something, as the transform slot of an instance of the right kind does.
        host.answers["Instance.Get"] = [this](const Params& p) {
            std::any& slot = slots[std::to_string(std::any_cast<int>(p[0])) + "/" + std::any_cast<std::string>(p[1])];
            if (!slot.has_value()) slot = 0;
            return std::any(&slot);
        };
        host.answers["CFrame.Position"] = [this](const Params&) { return std::any(position); };
        host.answers["CFrame.LookVector"] = [](const Params&) { return std::any(List{0, 0, 1}); };
        host.answers["CFrame.RightVector"] = [](const Params&) { return std::any(List{-1, 0, 0}); };
        host.answers["CFrame.UpVector"] = [](const Params&) { return std::any(List{0, 1, 0}); };
        host.answers["Vector3Add"] = [](const Params& p) { return Each(L(p, 0), L(p, 1), [](float a, float b) { return a + b; }); };
        host.answers["Vector3Subtract"] = [](const Params& p) { return Each(L(p, 0), L(p, 1), [](float a, float b) { return a - b; }); };
        host.answers["Vector3Multiply"] = [](const Params& p) { return Each(L(p, 0), L(p, 1), [](float a, float b) { return a * b; }); };
        host.answers["Vector3Scale"] = [](const Params& p) {
            float s = std::any_cast<float>(p[1]);
            return Each(L(p, 0), L(p, 0), [s](float a, float) { return a * s; });
        };
        host.answers["Vector3Normalize"] = [](const Params& p) {
            List v = L(p, 0);
            float n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            return std::any(n > 0 ? List{v[0] / n, v[1] / n, v[2] / n} : v);
        };
        host.answers["DeltaTime"] = [](const Params&) { return std::any(0.5f); };
        host.answers["GetMouseDelta"] = [this](const Params&) { return std::any(mouse); };
        host.answers["IsKeyDown"] = [this](const Params& p) { return std::any(keys.count(std::any_cast<int>(p[0])) > 0); };
        host.answers["RaycastSingle"] = [this](const Params&) {
            return std::any(std::vector<std::any>{probeHit, probeDistance, List{0, 0, 0}, List{0, 1, 0}});
        };
        define_name = [this](const Params& p) { names[std::any_cast<std::string>(p[1])] = std::any_cast<int>(p[0]); };
        host.Register(defineFunc, defineOp);
        // Renaming is a func; follow it so GetChild finds the names.
        defineFunc("Instance.SetName", [this](Params p) {
            host.calls.push_back({"Instance.SetName", Func, p});
            define_name(p);
        });
    }

    // Values the module made hold pointers into its code: they go before it does.
    void TearDown() override {
        host.calls.clear();
        if (lib) dlclose(lib);
    }

    static std::any Each(const List& a, const List& b, float (*op)(float, float)) {
        return std::any(List{op(a[0], b[0]), op(a[1], b[1]), op(a[2], b[2])});
    }
    template <class F>
    static std::any Each(const List& a, const List& b, F op) {
        return std::any(List{op(a[0], b[0]), op(a[1], b[1]), op(a[2], b[2])});
    }

    // The arguments of every call of `entry` after the call numbered `from`.
    std::vector<Params> ArgsOf(const std::string& entry, size_t from = 0) const {
        std::vector<Params> found;
        for (size_t i = from; i < host.calls.size(); ++i)
            if (host.calls[i].name == entry) found.push_back(host.calls[i].args);
        return found;
    }

    // One frame; returns the index of its first call.
    size_t Frame() {
        size_t first = host.calls.size();
        tick();
        return first;
    }

    TestSupport::TempDir dir;
    void* lib = nullptr;
    void (*init)() = nullptr;
    void (*tick)() = nullptr;
    RecordingHost host;
    std::function<void(const Params&)> define_name;
    std::map<std::string, int> names;
    std::map<std::string, std::any> slots;
    int nextId = 2;
    List position{-2, 1.5f, -5};
    List mouse{0, 0};
    std::set<int> keys;
    bool probeHit = true;
    float probeDistance = 1.6f;
};

std::string Show(const Recorded& c) {
    std::string s = c.name + "(";
    for (size_t i = 0; i < c.args.size(); ++i) s += (i ? ", " : "") + Describe(c.args[i]);
    return s + ")";
}

}  // namespace

TEST_F(Module, StartUpLoadsTheLevelAndMakesFlashlightPlayerAndSoundsInOrder) {
    init();
    std::any* baseSlot = &slots["2/CFrame"];
    std::any* playerSlot = &slots["4/Value"];
    std::vector<Recorded> expected = {
        {"LoadModel", Func, {std::string("base"), std::string("base.fbx"), 256}},
        {"Instance.New", Op, {std::string("Model"), std::string("base")}},
        {"Instance.SetName", Func, {2, std::string("base")}},
        {"Model.SetScale", Func, {2, List{1, 1, 1}}},
        {"Instance.Get", Op, {2, std::string("CFrame")}},
        {"CFrame.MoveTo", Func, {baseSlot, List{0, 0, 0}}},
        {"Model.SetColor", Func, {2, -1}},
        {"Instance.New", Op, {std::string("Light"), std::string("Spot")}},
        {"Instance.SetName", Func, {3, std::string("flashlight")}},
        {"Light.SetState", Func, {3, true}},
        {"Light.SetRange", Func, {3, 32.0f}},
        {"Light.EnableShadow", Func, {3}},
        {"Light.SetSpecular", Func, {3, 0.0f}},
        {"Light.SetEnergy", Func, {3, 8.0f}},
        {"Light.SetColor", Func, {3, -8705}},
        {"Light.SetShadowUpdateMode", Func, {3, std::string("Continuous")}},
        {"Instance.New", Op, {std::string("CFrame")}},
        {"Instance.SetName", Func, {4, std::string("player")}},
        {"Instance.Get", Op, {4, std::string("Value")}},
        {"CFrame.MoveTo", Func, {playerSlot, List{-2, 1.5f, -5}}},
        {"Instance.New", Op, {std::string("Particles"), 300}},  // dust ahead of the player, turning with it
        {"Instance.SetName", Func, {5, std::string("dust")}},
        {"Instance.SetParent", Func, {5, 4}},
        {"Particles.SetPosition", Func, {5, List{0, -0.1f, 2.5f}}},
        {"Particles.SetRate", Func, {5, 50.0f}},
        {"Particles.SetLifetime", Func, {5, 3.0f, 6.0f}},
        {"Particles.SetVelocity", Func, {5, List{0, 0.02f, 0.25f}, 180.0f}},
        {"Particles.SetGravity", Func, {5, List{0, -0.01f, 0}}},
        {"Particles.SetColors", Func, {5, static_cast<int>(0xFFF0D260u), static_cast<int>(0xFFF0D200u)}},
        {"Particles.SetSizes", Func, {5, 0.025f, 0.015f}},
        {"Particles.SetBlend", Func, {5, std::string("Additive")}},
        {"HideCursor", Func, {}},  // hidden first: hiding after the capture would undo it
        {"DisableCursor", Func, {}},
        {"SetMousePosition", Func, {List{500, 500}}},
        {"LoadSound", Func, {std::string("step_a"), std::string("step_a.wav")}},
        {"LoadSound", Func, {std::string("step_b"), std::string("step_b.wav")}},
        {"LoadSound", Func, {std::string("jump"), std::string("jump.wav")}},
        {"LoadSound", Func, {std::string("land"), std::string("land.wav")}},
        {"SetSoundVolume", Func, {std::string("land"), 0.8f}},
        {"SetSkyColors", Func, {0x26305AFF, static_cast<int>(0xC0785AFFu), 0x1C1A1EFF}},  // dusk
        {"SetSkyLight", Func, {0.45f}},
        {"SetFog", Func, {0x4A4452FF, 0.02f, 0.15f}},
        {"SetAmbientOcclusion", Func, {0.6f, 1.0f}},
        {"LoadSound", Func, {std::string("hum"), std::string("hum.wav")}},  // heard by a pillar
        {"Instance.New", Op, {std::string("Sound"), std::string("hum")}},
        {"Instance.SetName", Func, {6, std::string("hum")}},
        {"Sound.SetPosition", Func, {6, List{10, 0.5f, 14.4f}}},
        {"Sound.SetRange", Func, {6, 2.0f, 25.0f}},
        {"Sound.SetLooping", Func, {6, true}},
        {"Sound.Play", Func, {6}},
    };
    ASSERT_EQ(host.calls.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        const Recorded& got = host.calls[k];
        SCOPED_TRACE(Show(got));
        EXPECT_EQ(got.name, expected[k].name);
        // "Instance.New" documents its argument 1 as a name; a "Particles" one takes a count
        // there, which the expected values below check.
        const bool emitter = got.name == "Instance.New" && !got.args.empty() && got.args[0].type() == typeid(std::string) &&
                             std::any_cast<std::string>(got.args[0]) == "Particles";
        if (!emitter) {
            EXPECT_EQ(CheckAgainstCatalogue(got, static_cast<int>(expected[k].args.size())), "");
        }
        ASSERT_EQ(got.args.size(), expected[k].args.size());
        for (size_t i = 0; i < got.args.size(); ++i) EXPECT_TRUE(SameValue(got.args[i], expected[k].args[i])) << i;
    }
}

TEST_F(Module, AFrameFollowsLooksWalksMovesTurnsAndProbesInThatOrder) {
    init();
    keys = {87};  // W
    size_t from = Frame();
    std::vector<std::string> names;
    for (size_t i = from; i < host.calls.size(); ++i) {
        EXPECT_EQ(CheckAgainstCatalogue(host.calls[i], host.calls[i].name == "Instance.New" ? 1 : -1), "");
        names.push_back(host.calls[i].name);
    }
    std::vector<std::string> expected = {
        "Instance.GetChild", "Instance.GetChild",                                        // the statics, first frame only
        "Instance.Get", "CFrame.Position", "SetCameraPosition",                           // camera follows
        "Instance.Get", "CFrame.LookVector", "SetCameraLookDirection",
        "Instance.Get", "CFrame.UpVector", "SetCameraUpDirection",
        "Instance.Get", "CFrame.Position", "Light.SetPosition",                           // flashlight follows
        "Instance.Get", "CFrame.LookVector", "Light.SetDirection",
        "GetMouseDelta", "IsGamepadAvailable",                                            // look (no pad)
        "IsKeyDown", "Instance.Get", "CFrame.LookVector", "Vector3Multiply", "Vector3Add",  // W
        "IsKeyDown", "IsKeyDown", "IsKeyDown",                                            // S, D, A
        "Instance.Get", "CFrame.Position",                                                // where the eye was
        "DeltaTime", "Vector3Scale", "Instance.GetChild",                                 // last frame's velocity (none
        "Instance.Get", "CFrame.MoveBy",                                                  //   yet: no wall probes)
        "Instance.Get", "CFrame.RotateTo",                                                // turn
        "SetMousePosition",                                                               // re-anchor
        "Instance.GetChild", "Instance.Get", "CFrame.Position", "RaycastSingle",          // ground probe
        "Vector3Normalize", "Vector3Scale", "IsKeyDown",                                  // grounded: walk, no jump
        "DeltaTime", "GetScreenWidth", "GetScreenHeight",                                 // over the scene:
        "DrawRectangle", "DrawRectangle", "DrawRectangle", "DrawRectangle",               //   the crosshair,
        "MeasureText", "DrawRectangleRounded", "DrawText",                                //   the hint (2.5 s in)
    };
    EXPECT_EQ(names, expected);

    std::vector<Params> keysAsked = ArgsOf("IsKeyDown", from);
    ASSERT_EQ(keysAsked.size(), 5u);
    int order[] = {87, 83, 68, 65, 32};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(std::any_cast<int>(keysAsked[k][0]), order[k]);

    // The statics are looked up once; later frames start at the camera.
    size_t next = Frame();
    EXPECT_EQ(host.calls[next].name, "Instance.Get");
    std::vector<Params> lookups = ArgsOf("Instance.GetChild", next);
    EXPECT_EQ(lookups.size(), 2u) << "only the level, every frame: for the walls and for the ground";
    for (const Params& p : lookups) EXPECT_TRUE(SameValue(p[1], std::string("base")));
}

TEST_F(Module, WalkingKeysAddMaskedLookAndRightDirections) {
    init();
    struct Case {
        std::set<int> keys;
        List velocity;  // what the next frame moves by, over 0.5 s
    } cases[] = {
        {{87}, {0, 0, 3}}, {{83}, {0, 0, -3}}, {{68}, {-3, 0, 0}}, {{65}, {3, 0, 0}}, {{87, 83}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        keys = c.keys;
        Frame();
        keys.clear();
        size_t from = Frame();
        std::vector<Params> moves = ArgsOf("Vector3Scale", from);
        ASSERT_FALSE(moves.empty());
        EXPECT_EQ(L(moves[0], 0), c.velocity);  // the velocity scaled by the frame time
        EXPECT_EQ(std::any_cast<float>(moves[0][1]), 0.5f);
    }
    // A gamepad walks the same way: the left stick pushed forward (y -1) is W,
    // pushed right is D, and its South button jumps as Space does.
    host.answers["IsGamepadAvailable"] = [](const Params&) { return std::any(true); };
    host.answers["IsGamepadButtonDown"] = [](const Params&) { return std::any(false); };
    const std::pair<int, float> sticks[] = {{1, -1.0f}, {0, 1.0f}};
    const List walked[] = {{0, 0, 3}, {-3, 0, 0}};
    for (int k = 0; k < 2; ++k) {
        host.answers["GetGamepadAxisMovement"] = [stick = sticks[k]](const Params& p) {
            return std::any(std::any_cast<int>(p[1]) == stick.first ? stick.second : 0.0f);
        };
        Frame();
        host.answers["GetGamepadAxisMovement"] = [](const Params&) { return std::any(0.0f); };
        std::vector<Params> moves = ArgsOf("Vector3Scale", Frame());
        ASSERT_FALSE(moves.empty());
        EXPECT_EQ(L(moves[0], 0), walked[k]);
    }
    host.answers["IsGamepadButtonDown"] = [](const Params& p) { return std::any(std::any_cast<int>(p[1]) == 7); };
    Frame();
    host.answers["IsGamepadAvailable"] = [](const Params&) { return std::any(false); };
    std::vector<Params> jump = ArgsOf("Vector3Scale", Frame());
    ASSERT_FALSE(jump.empty());
    EXPECT_GT(L(jump[0], 0)[1], 0) << "South jumps";

    // The masks: forward and back drop the vertical part of the look direction.
    std::vector<Params> masks = ArgsOf("Vector3Multiply");
    ASSERT_GE(masks.size(), 4u);
    EXPECT_EQ(L(masks[0], 1), (List{1, 0, 1}));
    EXPECT_EQ(L(masks[1], 1), (List{-1, 0, -1}));
    EXPECT_EQ(L(masks[2], 0), (List{-1, 0, 0})) << "D walks along the right vector";
    EXPECT_EQ(L(masks[3], 0), (List{-1, 0, 0}));
    EXPECT_EQ(L(masks[3], 1), (List{-1, 0, -1}));
}

TEST_F(Module, TheFirstFramesAfterCapturingThePointerDoNotLook) {
    init();
    mouse = {140, -100};  // what capturing the pointer reports under X
    for (int frame = 1; frame <= 3; ++frame) {
        size_t from = Frame();
        EXPECT_EQ(ArgsOf("GetMouseDelta", from).size(), 1u) << "the mouse is still read";
        EXPECT_EQ(L(ArgsOf("CFrame.RotateTo", from)[0], 1), (List{0, 0, 0})) << "frame " << frame;
    }
    size_t from = Frame();
    EXPECT_EQ(L(ArgsOf("CFrame.RotateTo", from)[0], 1), (List{-1.0f, -1.4f, 0.0f}));
}

TEST_F(Module, MouseMovementTurnsOneRadianPerHundredPixels) {
    init();
    for (int frame = 1; frame <= 3; ++frame) Frame();  // the pointer being captured
    mouse = {100, 50};
    size_t from = Frame();
    std::vector<Params> turns = ArgsOf("CFrame.RotateTo", from);
    ASSERT_EQ(turns.size(), 1u);
    EXPECT_EQ(L(turns[0], 1), (List{0.5f, -1.0f, 0.0f}));  // down raises pitch, right lowers yaw
    from = Frame();
    EXPECT_EQ(L(ArgsOf("CFrame.RotateTo", from)[0], 1), (List{1.0f, -2.0f, 0.0f})) << "angles add up, unlimited";
}

TEST_F(Module, AProbeShorterThanEyeHeightLiftsThePlayerOntoTheGround) {
    init();
    probeDistance = 1.5f;
    size_t from = Frame();
    size_t probe = from;
    while (host.calls[probe].name != "RaycastSingle") ++probe;
    std::vector<Params> lifts = ArgsOf("CFrame.MoveBy", probe);
    ASSERT_EQ(lifts.size(), 1u);
    List lift = L(lifts[0], 1);
    EXPECT_EQ(lift[0], 0.0f);
    EXPECT_NEAR(lift[1], 0.1f, 1e-6f);
    EXPECT_EQ(lift[2], 0.0f);
    EXPECT_EQ(ArgsOf("Vector3Subtract", from).size(), 0u) << "grounded: no gravity";
}

TEST_F(Module, ExactlyEyeHeightIsGroundedWithoutALift) {
    init();
    probeDistance = 1.6f;
    keys = {32};
    size_t from = Frame();
    size_t probe = from;
    while (host.calls[probe].name != "RaycastSingle") ++probe;
    EXPECT_EQ(ArgsOf("CFrame.MoveBy", probe).size(), 0u);
    std::vector<Params> adds = ArgsOf("Vector3Add", probe);
    ASSERT_EQ(adds.size(), 1u) << "Space on the ground adds the jump";
    EXPECT_EQ(L(adds[0], 1), (List{0, 2, 0}));
}

TEST_F(Module, AboveEyeHeightGravityPullsAndKeysDoNotSteer) {
    init();
    probeDistance = 1.7f;
    keys = {87, 32};
    size_t from = Frame();
    std::vector<Params> falls = ArgsOf("Vector3Subtract", from);
    ASSERT_EQ(falls.size(), 1u);
    EXPECT_EQ(L(falls[0], 0), (List{0, 0, 0}));
    List pull = L(falls[0], 1);
    EXPECT_NEAR(pull[1], 0.5f * 9.8f, 1e-5f);
    EXPECT_EQ(ArgsOf("Vector3Normalize", from).size(), 0u);
    from = Frame();
    EXPECT_EQ(L(ArgsOf("Vector3Scale", from)[0], 0), (List{0, -4.9f, 0})) << "only the fall, no walking in the air";
}

TEST_F(Module, AMissIsNoGroundSoTheWalkerFallsAndNeverRises) {
    for (float reported : {kMiss, 0.0f, 1.0f}) {
        SCOPED_TRACE(reported);
        TearDown();
        SetUp();  // a fresh module each round
        init();
        probeHit = false;
        probeDistance = reported;
        float speed = 0;
        for (int frame = 0; frame < 4; ++frame) {
            size_t from = Frame();
            size_t probe = from;
            while (host.calls[probe].name != "RaycastSingle") ++probe;
            EXPECT_EQ(ArgsOf("CFrame.MoveBy", probe).size(), 0u) << "no lift over empty space";
            std::vector<Params> falls = ArgsOf("Vector3Subtract", probe);
            ASSERT_EQ(falls.size(), 1u);
            float vy = L(falls[0], 0)[1];
            EXPECT_LE(vy, speed);
            speed = vy - 0.5f * 9.8f;
        }
    }
}

TEST_F(Module, ANotANumberDistanceIsNotGround) {
    init();
    probeDistance = std::numeric_limits<float>::quiet_NaN();
    size_t from = Frame();
    EXPECT_EQ(ArgsOf("Vector3Subtract", from).size(), 1u);
    size_t probe = from;
    while (host.calls[probe].name != "RaycastSingle") ++probe;
    EXPECT_EQ(ArgsOf("CFrame.MoveBy", probe).size(), 0u);
}

// The walker heard: a footstep every 0.8 units walked on the ground, feet in
// turn; none in the air; one jump sound however long Space is held; a landing
// after more than 0.3 s in the air.
TEST_F(Module, FootstepsKeepTimeWithTheGroundCoveredAndJumpsAndLandingsAreHeard) {
    host.answers["DeltaTime"] = [](const Params&) { return std::any(0.1f); };
    init();
    auto sounds = [this](size_t from) {
        std::vector<std::string> played;
        for (const Params& p : ArgsOf("PlaySound", from)) played.push_back(std::any_cast<std::string>(p[0]));
        return played;
    };
    keys = {87};
    Frame();  // the first frame sets off at walking speed: 0.3 units a frame from the next
    size_t from = Frame();
    for (int frame = 1; frame < 40; ++frame) Frame();  // 12 units
    const std::vector<std::string> steps = sounds(from);
    ASSERT_EQ(steps.size(), 15u);
    for (size_t k = 0; k < steps.size(); ++k) EXPECT_EQ(steps[k], k % 2 ? "step_b" : "step_a");

    probeHit = false;  // walked off an edge: falling, not walking
    from = Frame();
    for (int frame = 0; frame < 5; ++frame) Frame();
    EXPECT_EQ(sounds(from), std::vector<std::string>{}) << "no footsteps in the air";
    probeHit = true;
    keys = {};
    from = Frame();
    EXPECT_EQ(sounds(from), std::vector<std::string>{"land"});

    keys = {32};
    from = Frame();
    for (int frame = 0; frame < 3; ++frame) Frame();  // Space held on: still the one jump
    EXPECT_EQ(sounds(from), std::vector<std::string>{"jump"});
}
