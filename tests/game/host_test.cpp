// The client layer against the real host's entries, in-process: the host's
// World::Initialize registers straight into the game module's define_func and
// define_op, and the renderer is the engine tests' stand-in (no window), so
// what the wrappers and handles do can be read back from the host itself.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include <vantor/Bridge.h>
#include "Catalogue.h"
#include "FakeR3D.h"
#include <vantor/Game.h>
#include "Global.h"
#include "Harness.h"
#include "Instance.h"
#include "Player.h"
#include "World.h"

using Game::List;

namespace {

constexpr float kPi = 3.14159265f;

void ExpectNear(const List& got, const List& want, float tolerance = 1e-5f) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "element " << i;
}

// The real host registered into the module's own tables.
class RealHost : public ::testing::Test {
protected:
    void SetUp() override {
        bridge_funcs.clear();
        bridge_ops.clear();
        Harness::Fresh();  // resets the host and registers into the harness's own hooks...
        Instances.clear();
        inst_count = 0;
        game_def_func = define_func;  // ...so once more, into the module, from a clean registry
        game_def_op = define_op;
        World::Initialize();
    }

    // Reads the host's view of a transform.
    List PositionOf(std::any* slot) { return std::any_cast<List>(bridge_ops["CFrame.Position"]({slot})); }
};

}  // namespace

TEST_F(RealHost, RegistrationMatchesTheCatalogueTableByTable) {
    EXPECT_EQ(bridge_ops.size() + bridge_funcs.size(), GameTest::Catalogue().size());
    for (const GameTest::EntrySpec& e : GameTest::Catalogue()) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(bridge_ops.count(e.name), e.table == GameTest::Op ? 1u : 0u);
        EXPECT_EQ(bridge_funcs.count(e.name), e.table == GameTest::Func ? 1u : 0u);
    }
}

TEST_F(RealHost, MathWrappersGetRaymathsAnswers) {
    EXPECT_FLOAT_EQ(Game::Vector2::Distance({0, 0}, {3, 4}), 5.0f);
    EXPECT_EQ(Game::Vector2::SubtractValue({5, 5}, 2), (List{3, 3}));
    EXPECT_FLOAT_EQ(Game::Vector2::LineAngle({0, 0}, {0, 1}), -kPi / 2);
    EXPECT_FLOAT_EQ(Game::Vector3::DotProduct({1, 0, 0}, {0, 1, 0}), 0.0f);
    EXPECT_FLOAT_EQ(Game::Vector3::Angle({1, 0, 0}, {0, 1, 0}), kPi / 2);
    ExpectNear(Game::Vector3::Project({1, 1, 0}, {1, 0, 0}), {1, 0, 0});
    ExpectNear(Game::Vector3::Reject({1, 1, 0}, {1, 0, 0}), {0, 1, 0});
    ExpectNear(Game::Vector3::Lerp({0, 0, 0}, {2, 4, 6}, 0.5f), {1, 2, 3});
    ExpectNear(Game::Vector3::CubicHermite({0, 0, 0}, {0, 0, 0}, {1, 1, 1}, {0, 0, 0}, 1.0f), {1, 1, 1});
    EXPECT_EQ(Game::Vector3::Normalize({0, 0, 0}), (List{0, 0, 0})) << "standing still stays still";
    List translate = Game::Matrix::Translate(1, 2, 3);
    ASSERT_EQ(translate.size(), 16u);
    EXPECT_EQ((List{translate[12], translate[13], translate[14]}), (List{1, 2, 3}));
    ExpectNear(Game::Vector3::Transform({0, 0, 0}, translate), {1, 2, 3});
    EXPECT_EQ(Game::Matrix::Transpose(Game::Matrix::Transpose(translate)), translate);
    EXPECT_TRUE(Game::Vector3::Equals(Game::Vector3::One(), {1, 1, 1}));
}

TEST_F(RealHost, IsKeyUpIsTheOppositeOfTheHostsIsKeyDown) {
    EXPECT_FALSE(Game::IsKeyDown(87));
    EXPECT_TRUE(Game::IsKeyUp(87));
    EXPECT_EQ(bridge_ops.count("IsKeyUp"), 0u);
}

TEST_F(RealHost, HandlesOfOneIdAreOneInstance) {
    Game::CFrame made;
    Game::Instance a(made.Id), b(made.Id);
    a.SetName("walker");
    EXPECT_EQ(std::any_cast<std::string>(bridge_ops["Instance.GetName"]({b.Id})), "walker");
    EXPECT_EQ(Game::Root.GetChild<Game::CFrame>("walker").Id, made.Id);
    EXPECT_EQ(Game::Root.GetChild<Game::CFrame>("nobody").Id, 0);
}

TEST_F(RealHost, TransformMethodsMoveAndTurnTheHostsTransform) {
    Game::CFrame c;
    c.MoveTo({1, 2, 3});
    c.MoveBy({1, 0, -1});
    EXPECT_EQ(c.Position(), (List{2, 2, 2}));
    EXPECT_EQ(PositionOf(c.Get("Value")), (List{2, 2, 2}));
    ExpectNear(c.LookVector(), {0, 0, 1});
    c.RotateTo({0, kPi / 2, 0});
    ExpectNear(c.LookVector(), {1, 0, 0});
    ExpectNear(c.RightVector(), {0, 0, 1});
    ExpectNear(c.UpVector(), {0, 1, 0});
}

TEST_F(RealHost, ModelMoveToMovesTheModelsOwnTransform) {
    Game::LoadModel("crate", "crate.fbx", 4);
    Game::Model m(std::string("crate"));
    const size_t records = Instances.size();
    m.MoveTo({4, 5, 6});
    EXPECT_EQ(Instances.size(), records) << "no instance was looked up or made for the move";
    m.SetScale({2, 2, 2});
    m.SetColor(255);
    EXPECT_EQ(PositionOf(m.Get("CFrame")), (List{4, 5, 6}));
    EXPECT_EQ(std::any_cast<List>(bridge_ops["Model.GetScale"]({m.Id})), (List{2, 2, 2}));
    EXPECT_EQ(std::any_cast<int>(bridge_ops["Model.GetColor"]({m.Id})), 255);
}

TEST_F(RealHost, LightMethodsReachTheRenderersLight) {
    Game::Light l(std::string("Spot"));
    l.SetState(true);
    l.SetRange(32);
    l.EnableShadow();
    l.SetSpecular(0);
    l.SetEnergy(8);
    l.SetColor(static_cast<int>(0xFFFFDDFFu));
    l.SetShadowUpdateMode("Manual");
    l.SetPosition({1, 2, 3});
    l.SetDirection({0, 0, 1});
    auto ask = [&](const char* entry) { return bridge_ops[entry]({l.Id}); };
    EXPECT_TRUE(std::any_cast<bool>(ask("Light.IsActive")));
    EXPECT_EQ(std::any_cast<float>(ask("Light.GetRange")), 32.0f);
    EXPECT_TRUE(std::any_cast<bool>(ask("Light.IsShadowEnabled")));
    EXPECT_EQ(std::any_cast<float>(ask("Light.GetSpecular")), 0.0f);
    EXPECT_EQ(std::any_cast<float>(ask("Light.GetEnergy")), 8.0f);
    EXPECT_EQ(std::any_cast<int>(ask("Light.GetColor")), -8705);
    EXPECT_EQ(std::any_cast<std::string>(ask("Light.GetShadowUpdateMode")), "Manual");
    EXPECT_EQ(std::any_cast<List>(ask("Light.GetPosition")), (List{1, 2, 3}));
    ExpectNear(std::any_cast<List>(ask("Light.GetDirection")), {0, 0, 1});
}

TEST_F(RealHost, RaycastCarriesTheRenderersAnswer) {
    Game::LoadModel("level", "level.fbx", 1);
    Game::Model m(std::string("level"));
    FakeR3D::Get().nextHit = {true, 1.25f, {1, 0, 2}, {0, 1, 0}};
    Game::RaycastSingle hit(m, {1, 1.25f, 2}, {0, -1, 0});
    EXPECT_TRUE(hit.hit);
    EXPECT_EQ(hit.distance, 1.25f);
    EXPECT_EQ(hit.point, (List{1, 0, 2}));
    EXPECT_EQ(hit.normal, (List{0, 1, 0}));
    ASSERT_FALSE(FakeR3D::Get().raycasts.empty());
    EXPECT_EQ(FakeR3D::Get().raycasts.back().ray.direction.y, -1.0f);
}

TEST_F(RealHost, StartUpAndOneFrameLeaveTheSceneTheWalkerNeeds) {
    init();
    int base = Game::Root.GetChild<Game::Model>("base").Id;
    Game::CFrame player = Game::Root.GetChild<Game::CFrame>("player");
    Game::Light flashlight = Game::Root.GetChild<Game::Light>("flashlight");
    EXPECT_GT(base, 1);
    EXPECT_GT(player.Id, 1);
    EXPECT_GT(flashlight.Id, 1);
    EXPECT_EQ(FakeR3D::Get().loaded, (std::vector<std::string>{"base.fbx"}));
    EXPECT_EQ(std::any_cast<std::string>(bridge_ops["Model.GetModel"]({base})), "base");
    EXPECT_EQ(std::any_cast<int>(bridge_ops["Model.GetColor"]({base})), -1);
    EXPECT_EQ(player.Position(), (List{-2, 1.5f, -5}));
    EXPECT_EQ(std::any_cast<std::string>(bridge_ops["Light.GetType"]({flashlight.Id})), "Spot");
    EXPECT_EQ(std::any_cast<std::string>(bridge_ops["Light.GetShadowUpdateMode"]({flashlight.Id})), "Continuous");

    // Ground 1.5 below: lifted to 1.6 above it in the same frame.
    FakeR3D::Get().nextHit = {true, 1.5f, {-2, 0, -5}, {0, 1, 0}};
    tick();
    ExpectNear(player.Position(), {-2, 1.6f, -5});
    EXPECT_EQ(GameCamera.position.y, 1.5f) << "the camera shows the previous frame";
}

// What a handle's setters write, its getters read back, through the host.
TEST_F(RealHost, EveryHandlesGettersReadBackWhatItsSettersWrote) {
    Game::LoadModel("crate", "crate.fbx", 4);
    Game::Model m = Game::Model::Spawn("crate", {1, 2, 3});
    EXPECT_EQ(m.GetScale(), (List{1, 1, 1})) << "a spawned model shows at once";
    EXPECT_EQ(m.GetColor(), Game::Rgba(255, 255, 255));
    EXPECT_EQ(m.Position(), (List{1, 2, 3}));
    EXPECT_EQ(m.GetModel(), "crate");
    m.RotateTo({0.25f, -0.5f, 0.125f});
    ExpectNear(m.Rotation(), {0.25f, -0.5f, 0.125f});
    m.MoveBy({1, 1, 1});
    EXPECT_EQ(m.Position(), (List{2, 3, 4}));
    m.SetScale({2, 3, 4});
    EXPECT_EQ(m.GetScale(), (List{2, 3, 4}));
    Game::CFrame c;
    c.RotateTo({0, kPi / 3, 0});
    ExpectNear(c.Rotation(), {0, kPi / 3, 0});

    Game::Light l(std::string("Spot"));
    EXPECT_EQ(l.GetType(), "Spot");
    l.SetState(false);
    EXPECT_FALSE(l.IsActive());
    l.Toggle();
    EXPECT_TRUE(l.IsActive());
    l.SetColor(Game::Rgba(10, 20, 30));
    EXPECT_EQ(l.GetColor(), Game::Rgba(10, 20, 30));
    l.SetPosition({4, 5, 6});
    EXPECT_EQ(l.GetPosition(), (List{4, 5, 6}));
    l.SetDirection({0, -1, 0});
    ExpectNear(l.GetDirection(), {0, -1, 0});
    const std::pair<void (Game::Light::*)(float), float (Game::Light::*)()> numbers[] = {
        {&Game::Light::SetEnergy, &Game::Light::GetEnergy},         {&Game::Light::SetSpecular, &Game::Light::GetSpecular},
        {&Game::Light::SetRange, &Game::Light::GetRange},           {&Game::Light::SetAttenuation, &Game::Light::GetAttenuation},
        {&Game::Light::SetInnerCutoff, &Game::Light::GetInnerCutoff}, {&Game::Light::SetOuterCutoff, &Game::Light::GetOuterCutoff},
        {&Game::Light::SetSoftness, &Game::Light::GetSoftness},     {&Game::Light::SetDepthBias, &Game::Light::GetDepthBias},
        {&Game::Light::SetSlopeBias, &Game::Light::GetSlopeBias}};
    float value = 0.5f;
    for (const auto& [set, get] : numbers) {
        (l.*set)(value);
        EXPECT_FLOAT_EQ((l.*get)(), value);
        value += 1.25f;
    }
    l.EnableShadow();
    EXPECT_TRUE(l.IsShadowEnabled());
    l.SetShadowUpdateMode("Interval");
    l.SetShadowUpdateFrequency(250);
    EXPECT_EQ(l.GetShadowUpdateMode(), "Interval");
    EXPECT_EQ(l.GetShadowUpdateFrequency(), 250);
    l.DisableShadow();
    EXPECT_FALSE(l.IsShadowEnabled());
}

// A handle of one kind on another kind's id says what the instance is and
// which handle fits, instead of an error about an empty variable.
TEST_F(RealHost, AHandleOfTheWrongKindSaysWhatTheInstanceIsAndWhichHandleFits) {
    Game::LoadModel("crate", "crate.fbx", 4);
    Game::Model m = Game::Model::Spawn("crate");
    Game::Light l(std::string("Point"));
    const auto message = [](auto call) {
        try {
            call();
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("(no exception)");
    };
    const std::string id = std::to_string(m.Id);
    EXPECT_EQ(message([&] { Game::CFrame(m.Id).Position(); }),
              "Game::CFrame: instance " + id + " is a Model, not a CFrame; its handle is Game::Model(" + id + ")");
    EXPECT_EQ(message([&] { Game::Model(l.Id).MoveTo({1, 2, 3}); }),
              "Game::Model: instance " + std::to_string(l.Id) + " is a Light, not a Model; its handle is Game::Light(" +
                  std::to_string(l.Id) + ")");
    EXPECT_EQ(m.Position(), (List{0, 0, 0})) << "the model itself is untouched";
    // Methods that take the id: the host names what the instance is.
    const auto hostMessage = [](auto call) {
        try {
            call();
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string("(no exception)");
    };
    EXPECT_EQ(hostMessage([&] { Game::Light(m.Id).SetEnergy(2); }),
              "Light.SetEnergy: instance " + id + " is a Model, not a Light");
    EXPECT_NE(hostMessage([&] { Game::Model(l.Id).SetScale({1, 1, 1}); }).find("; it is a Light"), std::string::npos);
}

// ClearScene: every instance the game made goes, with its body; what is
// loaded stays, and the game can build the level again at once.
TEST_F(RealHost, ClearSceneLeavesRootAndWhatIsLoaded) {
    Game::LoadModel("crate", "crate.fbx", 4);
    Game::CFrame holder;
    Game::Model crate = Game::Model::Spawn("crate", {0, 1, 0});
    crate.SetParent(holder);
    crate.SetBody("Dynamic", "Box", 1);
    Game::Light lamp(std::string("Point"));
    Game::Character hero(0.3f, 1.8f);
    Game::ClearScene();
    const auto children = std::any_cast<std::unordered_map<std::string, int>>(bridge_ops["Instance.GetChildren"]({1}));
    EXPECT_TRUE(children.empty());
    EXPECT_TRUE(World::Physics::Bodies.empty());
    EXPECT_TRUE(World::Physics::Characters.empty());
    for (int id : {holder.Id, crate.Id, lamp.Id, hero.Id}) EXPECT_EQ(Game::Instance(id).Type(), "") << id;
    Game::Model again = Game::Model::Spawn("crate", {0, 1, 0});  // the buffer is still loaded
    EXPECT_EQ(again.GetScale(), (List{1, 1, 1}));

    // A model whose buffer was unloaded, and one whose buffer was loaded again
    // under the same name since: neither has a slot to give back, and both go.
    again.SetBody("Dynamic", "Box", 1);
    Game::LoadModel("ball", "crate.fbx", 4);
    Game::Model ball = Game::Model::Spawn("ball");
    Game::UnloadModel("crate");
    Game::LoadModel("crate", "crate.fbx", 4);
    Game::UnloadModel("ball");
    Game::ClearScene();
    EXPECT_EQ(Game::Instance(again.Id).Type(), "");
    EXPECT_EQ(Game::Instance(ball.Id).Type(), "");
    EXPECT_TRUE(World::Physics::Bodies.empty());
}

// The camera helpers: yaw 0 looks along +z, positive yaw toward +x, positive pitch up.
TEST_F(RealHost, CameraHelpersPlaceTheHostsCamera) {
    ExpectNear(Game::Camera::LookVector(0, 0), {0, 0, 1});
    ExpectNear(Game::Camera::LookVector(kPi / 2, 0), {1, 0, 0});
    ExpectNear(Game::Camera::LookVector(0, kPi / 2), {0, 1, 0});
    Game::Camera::Orbit({1, 2, 3}, 4, 0, 0);
    EXPECT_EQ((List{GameCamera.position.x, GameCamera.position.y, GameCamera.position.z}), (List{1, 2, -1}));
    ExpectNear({GameCamera.target.x, GameCamera.target.y, GameCamera.target.z}, {1, 2, 3});
    Game::Camera::LookAt({0, 5, 0}, {0, 0, 10});
    ExpectNear({GameCamera.target.x, GameCamera.target.y, GameCamera.target.z}, {0, 0, 10});
}
