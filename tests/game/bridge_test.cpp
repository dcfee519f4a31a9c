// The game module's client layer against a recording stand-in host: every
// wrapper and handle method reaches the entry of its name through the right
// table, with the right number of arguments, each of exactly the right type
// and in order, and hands the answer back as the right type.
//
// This program is linked with the game module's own sources, so it calls the
// wrappers directly and registers the recorders through the module's real
// define_func/define_op.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include <vantor/Bridge.h>
#include <vantor/Game.h>
#include "RecordingHost.h"

using namespace GameTest;
using Game::List;

namespace {

// Arguments for a wrapper call: the sample of that kind for that position.
struct Args {
    int I(int p) const { return std::any_cast<int>(ArgSample(Int, p)); }
    float F(int p) const { return std::any_cast<float>(ArgSample(Float, p)); }
    std::string S(int p) const { return std::any_cast<std::string>(ArgSample(Str, p)); }
    List V2(int p) const { return std::any_cast<List>(ArgSample(Vec2, p)); }
    List V3(int p) const { return std::any_cast<List>(ArgSample(Vec3, p)); }
    List V4(int p) const { return std::any_cast<List>(ArgSample(Vec4, p)); }
    List M(int p) const { return std::any_cast<List>(ArgSample(Mat, p)); }
    bool B(int p) const { return std::any_cast<bool>(ArgSample(Bool, p)); }
};

struct Case {
    const char* entry;
    std::function<std::any(const Args&)> call;  // the wrapper's result as itself, or nothing
};

#define RESULT(entry, expr) Case{entry, []([[maybe_unused]] const Args& a) -> std::any { return expr; }}
#define ACTION(entry, stmt) Case{entry, []([[maybe_unused]] const Args& a) -> std::any { stmt; return {}; }}

const std::vector<Case>& FreeWrappers() {
    namespace V2 = Game::Vector2;
    namespace V3 = Game::Vector3;
    namespace M = Game::Matrix;
    static const std::vector<Case> cases = {
        RESULT("IsKeyPressed", Game::IsKeyPressed(a.I(0))),
        RESULT("IsKeyPressedRepeat", Game::IsKeyPressedRepeat(a.I(0))),
        RESULT("IsKeyDown", Game::IsKeyDown(a.I(0))),
        RESULT("IsKeyReleased", Game::IsKeyReleased(a.I(0))),
        RESULT("GetKeyPressed", Game::GetKeyPressed()),
        RESULT("GetCharPressed", Game::GetCharPressed()),
        ACTION("SetExitKey", Game::SetExitKey(a.I(0))),
        RESULT("IsMouseButtonPressed", Game::IsMouseButtonPressed(a.I(0))),
        RESULT("IsMouseButtonDown", Game::IsMouseButtonDown(a.I(0))),
        RESULT("IsMouseButtonReleased", Game::IsMouseButtonReleased(a.I(0))),
        RESULT("IsMouseButtonUp", Game::IsMouseButtonUp(a.I(0))),
        RESULT("GetMouseX", Game::GetMouseX()),
        RESULT("GetMouseY", Game::GetMouseY()),
        RESULT("GetMousePosition", Game::GetMousePosition()),
        RESULT("GetMouseDelta", Game::GetMouseDelta()),
        ACTION("SetMousePosition", Game::SetMousePosition(a.V2(0))),
        ACTION("SetMouseOffset", Game::SetMouseOffset(a.V2(0))),
        RESULT("GetMouseWheel", Game::GetMouseWheel()),
        ACTION("SetMouseCursor", Game::SetMouseCursor(a.I(0))),
        ACTION("ShowCursor", Game::ShowCursor()),
        ACTION("HideCursor", Game::HideCursor()),
        RESULT("IsCursorHidden", Game::IsCursorHidden()),
        ACTION("EnableCursor", Game::EnableCursor()),
        ACTION("DisableCursor", Game::DisableCursor()),
        RESULT("IsCursorOnScreen", Game::IsCursorOnScreen()),
        ACTION("SetCameraLookDirection", Game::SetCameraLookDirection(a.V3(0))),
        ACTION("SetCameraUpDirection", Game::SetCameraUpDirection(a.V3(0))),
        ACTION("SetCameraPosition", Game::SetCameraPosition(a.V3(0))),
        ACTION("SetCameraFOV", Game::SetCameraFOV(a.F(0))),
        RESULT("DeltaTime", Game::DeltaTime()),
        RESULT("IsGamepadAvailable", Game::IsGamepadAvailable(a.I(0))),
        RESULT("GetGamepadName", Game::GetGamepadName(a.I(0))),
        RESULT("IsGamepadButtonDown", Game::IsGamepadButtonDown(a.I(0), a.I(1))),
        RESULT("IsGamepadButtonPressed", Game::IsGamepadButtonPressed(a.I(0), a.I(1))),
        RESULT("IsGamepadButtonReleased", Game::IsGamepadButtonReleased(a.I(0), a.I(1))),
        RESULT("GetGamepadAxisMovement", Game::GetGamepadAxisMovement(a.I(0), a.I(1))),
        ACTION("SetWindowTitle", Game::SetWindowTitle(a.S(0))),
        ACTION("SetFPSVisible", Game::SetFPSVisible(a.B(0))),
        ACTION("SetZeroScaleWarning", Game::SetZeroScaleWarning(a.B(0))),
        ACTION("SetInspectorEnabled", Game::SetInspectorEnabled(a.B(0))),
        RESULT("IsInspectorShown", Game::IsInspectorShown()),
        ACTION("ClearScene", Game::ClearScene()),
        ACTION("SetSkyColors", Game::SetSkyColors(a.I(0), a.I(1), a.I(2))),
        ACTION("LoadSky", Game::LoadSky(a.S(0), a.S(1))),
        ACTION("SetSky", Game::SetSky(a.S(0))),
        ACTION("SetSkyLight", Game::SetSkyLight(a.F(0))),
        ACTION("SetFog", Game::SetFog(a.I(0), a.F(1), a.F(2))),
        ACTION("SetAmbientOcclusion", Game::SetAmbientOcclusion(a.F(0), a.F(1))),
        ACTION("SetBloom", Game::SetBloom(a.F(0), a.F(1))),
        ACTION("SetExposure", Game::SetExposure(a.F(0))),
        ACTION("LoadModel", Game::LoadModel(a.S(0), a.S(1), a.I(2))),
        ACTION("UnloadModel", Game::UnloadModel(a.S(0))),

        ACTION("LoadSound", Game::LoadSound(a.S(0), a.S(1))),
        ACTION("UnloadSound", Game::UnloadSound(a.S(0))),
        ACTION("PlaySound", Game::PlaySound(a.S(0))),
        ACTION("StopSound", Game::StopSound(a.S(0))),
        ACTION("PauseSound", Game::PauseSound(a.S(0))),
        ACTION("ResumeSound", Game::ResumeSound(a.S(0))),
        RESULT("IsSoundPlaying", Game::IsSoundPlaying(a.S(0))),
        ACTION("SetSoundVolume", Game::SetSoundVolume(a.S(0), a.F(1))),
        ACTION("SetSoundPitch", Game::SetSoundPitch(a.S(0), a.F(1))),
        ACTION("SetSoundPan", Game::SetSoundPan(a.S(0), a.F(1))),
        RESULT("GetSoundLength", Game::GetSoundLength(a.S(0))),
        ACTION("LoadMusicStream", Game::LoadMusicStream(a.S(0), a.S(1))),
        ACTION("UnloadMusicStream", Game::UnloadMusicStream(a.S(0))),
        ACTION("PlayMusicStream", Game::PlayMusicStream(a.S(0))),
        ACTION("StopMusicStream", Game::StopMusicStream(a.S(0))),
        ACTION("PauseMusicStream", Game::PauseMusicStream(a.S(0))),
        ACTION("ResumeMusicStream", Game::ResumeMusicStream(a.S(0))),
        RESULT("IsMusicStreamPlaying", Game::IsMusicStreamPlaying(a.S(0))),
        ACTION("SeekMusicStream", Game::SeekMusicStream(a.S(0), a.F(1))),
        ACTION("SetMusicLooping", Game::SetMusicLooping(a.S(0), a.B(1))),
        ACTION("SetMusicVolume", Game::SetMusicVolume(a.S(0), a.F(1))),
        ACTION("SetMusicPitch", Game::SetMusicPitch(a.S(0), a.F(1))),
        ACTION("SetMusicPan", Game::SetMusicPan(a.S(0), a.F(1))),
        RESULT("GetMusicTimePlayed", Game::GetMusicTimePlayed(a.S(0))),
        RESULT("GetMusicTimeLength", Game::GetMusicTimeLength(a.S(0))),
        ACTION("SetMasterVolume", Game::SetMasterVolume(a.F(0))),
        RESULT("GetMasterVolume", Game::GetMasterVolume()),
        ACTION("DrawText", Game::DrawText(a.S(0), a.I(1), a.I(2), a.I(3), a.I(4))),
        RESULT("MeasureText", Game::MeasureText(a.S(0), a.I(1))),
        ACTION("LoadFont", Game::LoadFont(a.S(0), a.S(1))),
        ACTION("UnloadFont", Game::UnloadFont(a.S(0))),
        ACTION("DrawTextEx", Game::DrawTextEx(a.S(0), a.S(1), a.V2(2), a.F(3), a.F(4), a.I(5))),
        RESULT("MeasureTextEx", Game::MeasureTextEx(a.S(0), a.S(1), a.F(2), a.F(3))),
        ACTION("DrawRectangle", Game::DrawRectangle(a.I(0), a.I(1), a.I(2), a.I(3), a.I(4))),
        ACTION("DrawRectangleLines", Game::DrawRectangleLines(a.I(0), a.I(1), a.I(2), a.I(3), a.I(4))),
        ACTION("DrawRectangleRounded", Game::DrawRectangleRounded(a.V4(0), a.F(1), a.I(2))),
        ACTION("DrawRectangleRoundedLines", Game::DrawRectangleRoundedLines(a.V4(0), a.F(1), a.F(2), a.I(3))),
        ACTION("DrawCircle", Game::DrawCircle(a.V2(0), a.F(1), a.I(2))),
        ACTION("DrawCircleLines", Game::DrawCircleLines(a.V2(0), a.F(1), a.I(2))),
        ACTION("DrawLine", Game::DrawLine(a.V2(0), a.V2(1), a.F(2), a.I(3))),
        ACTION("LoadTexture", Game::LoadTexture(a.S(0), a.S(1))),
        ACTION("UnloadTexture", Game::UnloadTexture(a.S(0))),
        ACTION("DrawTexture", Game::DrawTexture(a.S(0), a.I(1), a.I(2), a.I(3))),
        ACTION("DrawTexturePro", Game::DrawTexturePro(a.S(0), a.V4(1), a.V4(2), a.V2(3), a.F(4), a.I(5))),
        RESULT("GetTextureWidth", Game::GetTextureWidth(a.S(0))),
        RESULT("GetTextureHeight", Game::GetTextureHeight(a.S(0))),
        RESULT("GetWorldToScreen", Game::GetWorldToScreen(a.V3(0))),
        RESULT("IsInFrontOfCamera", Game::IsInFrontOfCamera(a.V3(0))),
        RESULT("GetScreenWidth", Game::GetScreenWidth()),
        RESULT("GetScreenHeight", Game::GetScreenHeight()),
        RESULT("GetModelAnimations", Game::GetModelAnimations(a.S(0))),
        RESULT("GetModelAnimationLength", Game::GetModelAnimationLength(a.S(0), a.S(1))),
        ACTION("SetGravity", Game::SetGravity(a.V3(0))),
        RESULT("GetGravity", Game::GetGravity()),
        ACTION("SetPhysicsRate", Game::SetPhysicsRate(a.F(0))),
        RESULT("GetPhysicsTime", Game::GetPhysicsTime()),
        RESULT("PhysicsOverlapSphere", Game::PhysicsOverlapSphere(a.V3(0), a.F(1))),
        RESULT("PhysicsOverlapBox", Game::PhysicsOverlapBox(a.V3(0), a.V3(1))),
        RESULT("NetHost", Game::NetHost(a.I(0), a.I(1))),
        RESULT("NetConnect", Game::NetConnect(a.S(0), a.I(1))),
        ACTION("NetDisconnect", Game::NetDisconnect()),
        RESULT("NetGetState", Game::NetGetState()),
        RESULT("NetGetPeerId", Game::NetGetPeerId()),
        RESULT("NetGetPeers", Game::NetGetPeers()),
        ACTION("NetSend", Game::NetSend(a.I(0), a.S(1), a.S(2), a.B(3))),
        ACTION("NetSetSnapshotRate", Game::NetSetSnapshotRate(a.I(0))),
        ACTION("NetSetTimeout", Game::NetSetTimeout(a.F(0))),
        RESULT("NetFindModel", Game::NetFindModel(a.I(0))),
        RESULT("IsHeadless", Game::IsHeadless()),

        RESULT("Vector2Zero", V2::Zero()),
        RESULT("Vector2One", V2::One()),
        RESULT("Vector2Add", V2::Add(a.V2(0), a.V2(1))),
        RESULT("Vector2AddValue", V2::AddValue(a.V2(0), a.F(1))),
        RESULT("Vector2Subtract", V2::Subtract(a.V2(0), a.V2(1))),
        RESULT("Vector2SubtractValue", V2::SubtractValue(a.V2(0), a.F(1))),
        RESULT("Vector2Length", V2::Length(a.V2(0))),
        RESULT("Vector2LengthSqr", V2::LengthSqr(a.V2(0))),
        RESULT("Vector2DotProduct", V2::DotProduct(a.V2(0), a.V2(1))),
        RESULT("Vector2Distance", V2::Distance(a.V2(0), a.V2(1))),
        RESULT("Vector2DistanceSqr", V2::DistanceSqr(a.V2(0), a.V2(1))),
        RESULT("Vector2Angle", V2::Angle(a.V2(0), a.V2(1))),
        RESULT("Vector2LineAngle", V2::LineAngle(a.V2(0), a.V2(1))),
        RESULT("Vector2Scale", V2::Scale(a.V2(0), a.F(1))),
        RESULT("Vector2Multiply", V2::Multiply(a.V2(0), a.V2(1))),
        RESULT("Vector2Negate", V2::Negate(a.V2(0))),
        RESULT("Vector2Divide", V2::Divide(a.V2(0), a.V2(1))),
        RESULT("Vector2Normalize", V2::Normalize(a.V2(0))),
        RESULT("Vector2Transform", V2::Transform(a.V2(0), a.M(1))),
        RESULT("Vector2Lerp", V2::Lerp(a.V2(0), a.V2(1), a.F(2))),
        RESULT("Vector2Reflect", V2::Reflect(a.V2(0), a.V2(1))),
        RESULT("Vector2Min", V2::Min(a.V2(0), a.V2(1))),
        RESULT("Vector2Max", V2::Max(a.V2(0), a.V2(1))),
        RESULT("Vector2Rotate", V2::Rotate(a.V2(0), a.F(1))),
        RESULT("Vector2MoveTowards", V2::MoveTowards(a.V2(0), a.V2(1), a.F(2))),
        RESULT("Vector2Invert", V2::Invert(a.V2(0))),
        RESULT("Vector2Clamp", V2::Clamp(a.V2(0), a.V2(1), a.V2(2))),
        RESULT("Vector2ClampValue", V2::ClampValue(a.V2(0), a.F(1), a.F(2))),
        RESULT("Vector2Equals", V2::Equals(a.V2(0), a.V2(1))),
        RESULT("Vector2Refract", V2::Refract(a.V2(0), a.V2(1), a.F(2))),

        RESULT("Vector3Zero", V3::Zero()),
        RESULT("Vector3One", V3::One()),
        RESULT("Vector3Add", V3::Add(a.V3(0), a.V3(1))),
        RESULT("Vector3AddValue", V3::AddValue(a.V3(0), a.F(1))),
        RESULT("Vector3Subtract", V3::Subtract(a.V3(0), a.V3(1))),
        RESULT("Vector3SubtractValue", V3::SubtractValue(a.V3(0), a.F(1))),
        RESULT("Vector3Scale", V3::Scale(a.V3(0), a.F(1))),
        RESULT("Vector3Multiply", V3::Multiply(a.V3(0), a.V3(1))),
        RESULT("Vector3CrossProduct", V3::CrossProduct(a.V3(0), a.V3(1))),
        RESULT("Vector3Perpendicular", V3::Perpendicular(a.V3(0))),
        RESULT("Vector3Length", V3::Length(a.V3(0))),
        RESULT("Vector3LengthSqr", V3::LengthSqr(a.V3(0))),
        RESULT("Vector3DotProduct", V3::DotProduct(a.V3(0), a.V3(1))),
        RESULT("Vector3Distance", V3::Distance(a.V3(0), a.V3(1))),
        RESULT("Vector3DistanceSqr", V3::DistanceSqr(a.V3(0), a.V3(1))),
        RESULT("Vector3Angle", V3::Angle(a.V3(0), a.V3(1))),
        RESULT("Vector3Negate", V3::Negate(a.V3(0))),
        RESULT("Vector3Divide", V3::Divide(a.V3(0), a.V3(1))),
        RESULT("Vector3Normalize", V3::Normalize(a.V3(0))),
        RESULT("Vector3Project", V3::Project(a.V3(0), a.V3(1))),
        RESULT("Vector3Reject", V3::Reject(a.V3(0), a.V3(1))),
        RESULT("Vector3Transform", V3::Transform(a.V3(0), a.M(1))),
        RESULT("Vector3RotateByAxisAngle", V3::RotateByAxisAngle(a.V3(0), a.V3(1), a.F(2))),
        RESULT("Vector3MoveTowards", V3::MoveTowards(a.V3(0), a.V3(1), a.F(2))),
        RESULT("Vector3Lerp", V3::Lerp(a.V3(0), a.V3(1), a.F(2))),
        RESULT("Vector3CubicHermite", V3::CubicHermite(a.V3(0), a.V3(1), a.V3(2), a.V3(3), a.F(4))),
        RESULT("Vector3Reflect", V3::Reflect(a.V3(0), a.V3(1))),
        RESULT("Vector3Min", V3::Min(a.V3(0), a.V3(1))),
        RESULT("Vector3Max", V3::Max(a.V3(0), a.V3(1))),
        RESULT("Vector3Barycenter", V3::Barycenter(a.V3(0), a.V3(1), a.V3(2), a.V3(3))),
        RESULT("Vector3Invert", V3::Invert(a.V3(0))),
        RESULT("Vector3Clamp", V3::Clamp(a.V3(0), a.V3(1), a.V3(2))),
        RESULT("Vector3ClampValue", V3::ClampValue(a.V3(0), a.F(1), a.F(2))),
        RESULT("Vector3Equals", V3::Equals(a.V3(0), a.V3(1))),
        RESULT("Vector3Refract", V3::Refract(a.V3(0), a.V3(1), a.F(2))),

        RESULT("MatrixDeterminant", M::Determinant(a.M(0))),
        RESULT("MatrixTrace", M::Trace(a.M(0))),
        RESULT("MatrixTranspose", M::Transpose(a.M(0))),
        RESULT("MatrixIdentity", M::Identity()),
        RESULT("MatrixAdd", M::Add(a.M(0), a.M(1))),
        RESULT("MatrixSubtract", M::Subtract(a.M(0), a.M(1))),
        RESULT("MatrixMultiply", M::Multiply(a.M(0), a.M(1))),
        RESULT("MatrixTranslate", M::Translate(a.F(0), a.F(1), a.F(2))),
        RESULT("MatrixRotate", M::Rotate(a.V3(0), a.F(1))),
        RESULT("MatrixRotateXYZ", M::RotateXYZ(a.V3(0))),
        RESULT("MatrixScale", M::Scale(a.F(0), a.F(1), a.F(2))),
    };
    return cases;
}

// Fresh tables with a recorder behind every host entry.
class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        bridge_funcs.clear();
        bridge_ops.clear();
        host.Register(define_func, define_op);
    }
    RecordingHost host;
};

}  // namespace

TEST_F(Bridge, RegistrationFillsEachTableWithItsOwnEntries) {
    std::size_t ops = 0;
    for (const EntrySpec& e : Catalogue()) ops += e.table == Op;
    EXPECT_EQ(bridge_ops.size(), ops);
    EXPECT_EQ(bridge_funcs.size(), Catalogue().size() - ops);
    EXPECT_EQ(bridge_ops.count("Instance.SetName"), 0u);  // a func is not found among the ops
    EXPECT_EQ(bridge_funcs.count("Instance.GetName"), 0u);
}

TEST_F(Bridge, ALaterDefinitionReplacesTheEarlierOneWithoutGrowingTheTable) {
    int seen = 0;
    const std::size_t funcs = bridge_funcs.size();
    define_func("ShowCursor", [&](Params) { seen = 1; });
    define_func("ShowCursor", [&](Params) { seen = 2; });
    EXPECT_EQ(bridge_funcs.size(), funcs);
    Game::ShowCursor();
    EXPECT_EQ(seen, 2);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Bridge, EveryFreeWrapperSendsExactlyWhatItsEntryTakes) {
    std::set<std::string> covered;
    Args args;
    for (const Case& c : FreeWrappers()) {
        SCOPED_TRACE(c.entry);
        const EntrySpec* entry = FindEntry(c.entry);
        ASSERT_NE(entry, nullptr);
        host.calls.clear();
        std::any result = c.call(args);

        ASSERT_EQ(host.calls.size(), 1u) << "one host call per wrapper call";
        const Recorded& call = host.calls[0];
        EXPECT_EQ(call.name, c.entry);
        EXPECT_EQ(CheckAgainstCatalogue(call), "");
        for (size_t i = 0; i < call.args.size() && i < entry->args.size(); ++i)
            EXPECT_TRUE(SameValue(call.args[i], ArgSample(entry->args[i], static_cast<int>(i))))
                << "argument " << i << " arrived as " << Describe(call.args[i]);

        if (entry->result == None) {
            EXPECT_FALSE(result.has_value());
        } else {
            EXPECT_EQ(result.type(), TypeOf(entry->result)) << "result comes back as " << result.type().name();
            EXPECT_TRUE(SameValue(result, DefaultAnswer(entry->result))) << Describe(result);
        }
        covered.insert(c.entry);
    }

    // One wrapper for every entry that is not an object method; those that answer
    // with a hit or events give a struct of their own (tested on their own).
    std::set<std::string> free;
    for (const EntrySpec& e : Catalogue())
        if (e.name.find('.') == std::string::npos && e.name != "RaycastSingle" &&
            e.result != BodyHit && e.result != Events && e.result != Messages && e.result != Stats &&
            e.result != Texts)
            free.insert(e.name);
    EXPECT_EQ(covered, free);
}

TEST_F(Bridge, WrappersHandBackTheHostsAnswerUnchanged) {
    host.answers["Vector3Lerp"] = [](const Params&) { return std::any(List{7, 8, 9}); };
    host.answers["Vector2DotProduct"] = [](const Params&) { return std::any(-0.5f); };
    host.answers["IsCursorHidden"] = [](const Params&) { return std::any(false); };
    host.answers["GetKeyPressed"] = [](const Params&) { return std::any(0); };
    EXPECT_EQ(Game::Vector3::Lerp({0, 0, 0}, {1, 1, 1}, 0.5f), (List{7, 8, 9}));
    EXPECT_EQ(Game::Vector2::DotProduct({1, 0}, {0, 1}), -0.5f);
    EXPECT_FALSE(Game::IsCursorHidden());
    EXPECT_EQ(Game::GetKeyPressed(), 0);
}

TEST_F(Bridge, IsKeyUpAsksIsKeyDownAndAnswersTheOpposite) {
    bool down = true;
    host.answers["IsKeyDown"] = [&](const Params&) { return std::any(down); };
    EXPECT_FALSE(Game::IsKeyUp(87));
    down = false;
    EXPECT_TRUE(Game::IsKeyUp(87));
    ASSERT_EQ(host.calls.size(), 2u);
    for (const Recorded& call : host.calls) {
        EXPECT_EQ(call.name, "IsKeyDown");
        EXPECT_EQ(CheckAgainstCatalogue(call), "");
        EXPECT_EQ(std::any_cast<int>(call.args[0]), 87);
    }
    EXPECT_EQ(bridge_ops.count("IsKeyUp"), 0u) << "the host has no such entry and none is looked up";
}

TEST_F(Bridge, EveryCallLooksItsEntryUpAgain) {
    define_op("DeltaTime", [](Params) { return std::any(1.0f); });
    EXPECT_EQ(Game::DeltaTime(), 1.0f);
    define_op("DeltaTime", [](Params) { return std::any(2.0f); });
    EXPECT_EQ(Game::DeltaTime(), 2.0f);
}

TEST_F(Bridge, ANameTheHostNeverDefinedThrowsAndCanBeDefinedLater) {
    bridge_ops.erase("GetMouseX");
    try {
        Game::GetMouseX();
        ADD_FAILURE() << "no exception";
    } catch (const std::bad_function_call& e) {
        EXPECT_NE(std::string(e.what()).find("\"GetMouseX\""), std::string::npos) << e.what();
    }
    // A transform method names its own entry, not "Instance.Get" that it calls first.
    bridge_funcs.erase("CFrame.MoveBy");
    try {
        Game::CFrame().MoveBy({1, 2, 3});
        ADD_FAILURE() << "no exception";
    } catch (const std::bad_function_call& e) {
        EXPECT_NE(std::string(e.what()).find("\"CFrame.MoveBy\""), std::string::npos) << e.what();
    }
    ASSERT_EQ(bridge_ops.count("GetMouseX"), 1u) << "the look-up leaves an empty entry";
    EXPECT_FALSE(static_cast<bool>(bridge_ops["GetMouseX"]));
    define_op("GetMouseX", [](Params) { return std::any(640); });
    EXPECT_EQ(Game::GetMouseX(), 640);
}

TEST_F(Bridge, AnAnswerOfAnotherTypeThrowsBadAnyCast) {
    host.answers["GetMouseX"] = [](const Params&) { return std::any(1.0f); };
    host.answers["IsKeyDown"] = [](const Params&) { return std::any(1); };
    EXPECT_THROW(Game::GetMouseX(), std::bad_any_cast);
    EXPECT_THROW(Game::IsKeyDown(32), std::bad_any_cast);
}

TEST_F(Bridge, ExceptionsFromTheHostPassThroughUnchanged) {
    define_func("SetCameraFOV", [](Params) { throw std::out_of_range("SetCameraFOV: no argument 0"); });
    EXPECT_THROW(Game::SetCameraFOV(90.0f), std::out_of_range);
}

// -- Handles ----------------------------------------------------------------

TEST_F(Bridge, RootIsInstanceOne) { EXPECT_EQ(Game::Root.Id, 1); }

TEST_F(Bridge, HandlesFromAnIdCallNothing) {
    Game::Instance i(5);
    Game::CFrame c(6);
    Game::Model m(7);
    Game::Light l(8);
    Game::Sound s(9);
    Game::CFrame copy = c;
    EXPECT_EQ(i.Id + c.Id + m.Id + l.Id + s.Id + copy.Id, 5 + 6 + 7 + 8 + 9 + 6);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Bridge, StringConstructorsCreateAnInstanceOfTheirType) {
    int next = 20;
    host.answers["Instance.New"] = [&](const Params&) { return std::any(next++); };
    Game::CFrame c;
    Game::Model m(std::string("base"));
    Game::Light l(std::string("Spot"));
    Game::Sound s(std::string("hum"));
    EXPECT_EQ(c.Id, 20);
    EXPECT_EQ(m.Id, 21);
    EXPECT_EQ(l.Id, 22);
    EXPECT_EQ(s.Id, 23);

    ASSERT_EQ(host.calls.size(), 4u);
    EXPECT_EQ(CheckAgainstCatalogue(host.calls[0], 1), "");
    EXPECT_TRUE(SameValue(host.calls[0].args[0], std::string("CFrame")));
    EXPECT_EQ(CheckAgainstCatalogue(host.calls[1]), "");
    EXPECT_TRUE(SameValue(host.calls[1].args[0], std::string("Model")));
    EXPECT_TRUE(SameValue(host.calls[1].args[1], std::string("base")));
    EXPECT_EQ(CheckAgainstCatalogue(host.calls[2]), "");
    EXPECT_TRUE(SameValue(host.calls[2].args[0], std::string("Light")));
    EXPECT_TRUE(SameValue(host.calls[2].args[1], std::string("Spot")));
    EXPECT_EQ(CheckAgainstCatalogue(host.calls[3]), "");
    EXPECT_TRUE(SameValue(host.calls[3].args[0], std::string("Sound")));
    EXPECT_TRUE(SameValue(host.calls[3].args[1], std::string("hum")));
}

TEST_F(Bridge, InstanceMethodsSendTheIdFirst) {
    std::any slot;
    host.answers["Instance.Get"] = [&](const Params&) { return std::any(&slot); };
    host.answers["Instance.GetChild"] = [](const Params&) { return std::any(33); };
    Game::Instance i(9);
    i.SetName("renamed");
    EXPECT_EQ(i.Get("Value"), &slot);
    EXPECT_EQ(i.GetChild<Game::CFrame>("a").Id, 33);
    EXPECT_EQ(i.GetChild<Game::Model>("b").Id, 33);
    EXPECT_EQ(i.GetChild<Game::Light>("c").Id, 33);
    EXPECT_EQ(i.GetChild<Game::Sound>("d").Id, 33);
    i.SetParent(Game::Instance(4));

    std::vector<std::pair<std::string, std::any>> expected = {
        {"Instance.SetName", std::string("renamed")}, {"Instance.Get", std::string("Value")},
        {"Instance.GetChild", std::string("a")},      {"Instance.GetChild", std::string("b")},
        {"Instance.GetChild", std::string("c")},      {"Instance.GetChild", std::string("d")},
        {"Instance.SetParent", 4}};
    ASSERT_EQ(host.calls.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(host.calls[k].name, expected[k].first);
        EXPECT_EQ(CheckAgainstCatalogue(host.calls[k]), "");
        EXPECT_TRUE(SameValue(host.calls[k].args[0], 9));
        EXPECT_TRUE(SameValue(host.calls[k].args[1], expected[k].second));
    }
}

TEST_F(Bridge, TransformMethodsFetchTheirSlotThenPassItsAddress) {
    std::any cframeSlot = 0, modelSlot = 0;  // slots that hold something, as a transform does
    host.answers["Instance.Get"] = [&](const Params& p) {
        return std::any(std::any_cast<std::string>(p[1]) == "Value" ? &cframeSlot : &modelSlot);
    };
    host.answers["CFrame.LookVector"] = [](const Params&) { return std::any(List{0, 0, 1}); };
    host.answers["CFrame.RightVector"] = [](const Params&) { return std::any(List{-1, 0, 0}); };
    host.answers["CFrame.UpVector"] = [](const Params&) { return std::any(List{0, 1, 0}); };
    host.answers["CFrame.Position"] = [](const Params&) { return std::any(List{4, 5, 6}); };

    Game::CFrame c(12);
    Game::Model m(13);
    EXPECT_EQ(c.LookVector(), (List{0, 0, 1}));
    EXPECT_EQ(c.RightVector(), (List{-1, 0, 0}));
    EXPECT_EQ(c.UpVector(), (List{0, 1, 0}));
    EXPECT_EQ(c.Position(), (List{4, 5, 6}));
    c.MoveBy({1, 2, 3});
    c.MoveTo({4, 5, 6});
    c.RotateTo({0.5f, 0.25f, 0});
    m.MoveTo({7, 8, 9});

    struct Expect {
        const char* entry;
        int id;
        const char* slotName;
        std::any* slot;
        std::any list;  // empty for the queries
    } expected[] = {
        {"CFrame.LookVector", 12, "Value", &cframeSlot, {}},
        {"CFrame.RightVector", 12, "Value", &cframeSlot, {}},
        {"CFrame.UpVector", 12, "Value", &cframeSlot, {}},
        {"CFrame.Position", 12, "Value", &cframeSlot, {}},
        {"CFrame.MoveBy", 12, "Value", &cframeSlot, List{1, 2, 3}},
        {"CFrame.MoveTo", 12, "Value", &cframeSlot, List{4, 5, 6}},
        {"CFrame.RotateTo", 12, "Value", &cframeSlot, List{0.5f, 0.25f, 0}},
        {"CFrame.MoveTo", 13, "CFrame", &modelSlot, List{7, 8, 9}},  // the model's own transform
    };
    ASSERT_EQ(host.calls.size(), 2 * std::size(expected)) << "two host calls per transform method";
    for (size_t k = 0; k < std::size(expected); ++k) {
        SCOPED_TRACE(expected[k].entry);
        const Recorded& get = host.calls[2 * k];
        const Recorded& call = host.calls[2 * k + 1];
        EXPECT_EQ(get.name, "Instance.Get");
        EXPECT_EQ(CheckAgainstCatalogue(get), "");
        EXPECT_TRUE(SameValue(get.args[0], expected[k].id));
        EXPECT_TRUE(SameValue(get.args[1], std::string(expected[k].slotName)));
        EXPECT_EQ(call.name, expected[k].entry);
        EXPECT_EQ(CheckAgainstCatalogue(call), "");
        EXPECT_TRUE(SameValue(call.args[0], expected[k].slot));
        if (expected[k].list.has_value()) {
            EXPECT_TRUE(SameValue(call.args[1], expected[k].list)) << Describe(call.args[1]);
        }
    }
}

TEST_F(Bridge, ModelAnimationMethodsSendTheIdThenTheirArguments) {
    host.answers["Model.GetAnimationTime"] = [](const Params&) { return std::any(0.25f); };
    host.answers["Model.GetAnimation"] = [](const Params&) { return std::any(std::string("walk")); };
    host.answers["Model.GetJointPosition"] = [](const Params&) { return std::any(List{1, 2, 3}); };
    Game::Model m(7);
    m.PlayAnimation("walk", true);
    m.CrossFade("idle", 0.5f);
    m.StopAnimation();
    m.SetAnimationTime(1.5f);
    EXPECT_EQ(m.GetAnimationTime(), 0.25f);
    m.SetAnimationSpeed(0.0f);
    EXPECT_EQ(m.GetAnimation(), "walk");
    EXPECT_EQ(m.GetJointPosition("head"), (List{1, 2, 3}));
    const std::vector<std::vector<std::any>> expected = {
        {std::string("walk"), true}, {std::string("idle"), 0.5f}, {}, {1.5f}, {}, {0.0f}, {}, {std::string("head")}};
    ASSERT_EQ(host.calls.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(host.calls[k].name);
        EXPECT_EQ(CheckAgainstCatalogue(host.calls[k]), "");
        EXPECT_TRUE(SameValue(host.calls[k].args[0], 7));
        ASSERT_EQ(host.calls[k].args.size(), expected[k].size() + 1);
        for (size_t i = 0; i < expected[k].size(); ++i) EXPECT_TRUE(SameValue(host.calls[k].args[i + 1], expected[k][i]));
    }
}

TEST_F(Bridge, PhysicsMethodsSendTheIdThenTheirArgumentsAndQueriesKeepEveryAnswer) {
    Game::Model m(7);
    Game::Character c(9);
    m.SetBody("Dynamic", "Hull", 3);
    m.SetVelocity({1, 2, 3});
    m.ApplyImpulse({0, 5, 0});
    m.SetDamping(0.1f, 0.2f);
    m.SetCollisionLayer(2, 5);
    m.SetTrigger(true);
    m.RemoveBody();
    c.Move({1, 5, 0});
    c.SetMaxSlope(30);
    const std::vector<std::vector<std::any>> expected = {
        {std::string("Dynamic"), std::string("Hull"), 3.0f}, {List{1, 2, 3}}, {List{0, 5, 0}}, {0.1f, 0.2f}, {2, 5}, {true}, {},
        {List{1, 5, 0}}, {30.0f}};
    ASSERT_EQ(host.calls.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(host.calls[k].name);
        EXPECT_EQ(CheckAgainstCatalogue(host.calls[k]), "");
        EXPECT_TRUE(SameValue(host.calls[k].args[0], k < 7 ? 7 : 9));
        ASSERT_EQ(host.calls[k].args.size(), expected[k].size() + 1);
        for (size_t i = 0; i < expected[k].size(); ++i) EXPECT_TRUE(SameValue(host.calls[k].args[i + 1], expected[k][i]));
    }

    host.answers["PhysicsSweepCapsule"] = [](const Params&) {
        return std::any(std::vector<std::any>{true, 1.5f, List{1, 0, 2}, List{0, 0, -1}, 12});
    };
    const Game::PhysicsHit hit = Game::PhysicsSweepCapsule({0, 1, 0}, {0, 1, 9}, 0.3f, 1.8f);
    EXPECT_TRUE(hit.hit);
    EXPECT_EQ(hit.distance, 1.5f);
    EXPECT_EQ(hit.point, (List{1, 0, 2}));
    EXPECT_EQ(hit.normal, (List{0, 0, -1}));
    EXPECT_EQ(hit.id, 12);
    EXPECT_EQ(CheckAgainstCatalogue(host.calls.back()), "");
    host.answers["GetPhysicsEvents"] = [](const Params&) {
        return std::any(std::vector<std::any>{std::vector<std::any>{std::string("Enter"), 4, 9, 0.0f, List{0, 0, 0}, List{0, 0, 0}},
                                              std::vector<std::any>{std::string("Contact"), 7, 2, 6.5f, List{1, 2, 3}, List{0, 1, 0}}});
    };
    const std::vector<Game::PhysicsEvent> events = Game::GetPhysicsEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, "Enter");
    EXPECT_EQ(events[0].b, 9);
    EXPECT_EQ(events[1].a, 7);
    EXPECT_EQ(events[1].impulse, 6.5f);
    EXPECT_EQ(events[1].point, (List{1, 2, 3}));
    host.answers["NetReceive"] = [](const Params&) {
        return std::any(std::vector<std::any>{std::vector<std::any>{2, std::string("Joined"), std::string()},
                                              std::vector<std::any>{2, std::string("chat"), std::string("hi\0there", 8)}});
    };
    const std::vector<Game::NetMessage> messages = Game::NetReceive();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].channel, "Joined");
    EXPECT_EQ(messages[1].peer, 2);
    EXPECT_EQ(messages[1].text, std::string("hi\0there", 8));  // any bytes, a zero included
    const Game::NetStats stats = Game::NetGetStats(3);
    EXPECT_EQ(host.calls.back().args.at(0).type(), typeid(int));
    EXPECT_EQ(stats.roundTripMs, 12.5f);
    EXPECT_EQ(stats.bytesReceivedPerSecond, 200.0f);
    host.answers["GetArguments"] = [](const Params&) {
        return std::any(std::vector<std::any>{std::string("--host"), std::string("7777")});
    };
    EXPECT_EQ(Game::GetArguments(), (std::vector<std::string>{"--host", "7777"}));
    host.answers["PhysicsRaycast"] = [](const Params&) {
        return std::any(std::vector<std::any>{true, 1.0f, List{0, 0, 0}, List{0, 1, 0}, 2.0f});  // id as a float
    };
    EXPECT_THROW(Game::PhysicsRaycast({0, 0, 0}, {0, -1, 0}, 5), std::bad_any_cast);
}

TEST_F(Bridge, ModelLightAndSoundMethodsSendIdAndValue) {
    host.answers["Sound.IsPlaying"] = [](const Params&) { return std::any(true); };
    host.answers["Sound.GetPosition"] = [](const Params&) { return std::any(List{1, 2, 3}); };
    Game::Model m(3);
    Game::Light l(4);
    Game::Sound s(5);
    m.SetScale({1, 2, 3});
    m.SetColor(-1);
    l.SetState(true);
    l.SetColor(static_cast<int>(0xFFFFDDFFu));
    l.SetPosition({1, 1, 1});
    l.SetDirection({0, 0, 1});
    l.SetEnergy(8);
    l.SetSpecular(0);
    l.SetRange(32);
    l.EnableShadow();
    l.SetShadowUpdateMode("Continuous");
    s.Play();
    s.Stop();
    EXPECT_TRUE(s.IsPlaying());
    s.SetPosition({4, 5, 6});
    EXPECT_EQ(s.GetPosition(), (List{1, 2, 3}));
    s.SetRange(2, 30);
    s.SetVolume(0.5f);
    s.SetPitch(1.5f);
    s.SetLooping(true);

    std::vector<std::pair<std::string, std::any>> expected = {
        {"Model.SetScale", List{1, 2, 3}},  {"Model.SetColor", -1},
        {"Light.SetState", true},           {"Light.SetColor", -8705},
        {"Light.SetPosition", List{1, 1, 1}}, {"Light.SetDirection", List{0, 0, 1}},
        {"Light.SetEnergy", 8.0f},          {"Light.SetSpecular", 0.0f},
        {"Light.SetRange", 32.0f},          {"Light.EnableShadow", std::any()},
        {"Light.SetShadowUpdateMode", std::string("Continuous")},
        {"Sound.Play", std::any()},         {"Sound.Stop", std::any()},
        {"Sound.IsPlaying", std::any()},    {"Sound.SetPosition", List{4, 5, 6}},
        {"Sound.GetPosition", std::any()},  {"Sound.SetRange", 2.0f},
        {"Sound.SetVolume", 0.5f},          {"Sound.SetPitch", 1.5f},
        {"Sound.SetLooping", true}};
    ASSERT_EQ(host.calls.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(expected[k].first);
        const Recorded& call = host.calls[k];
        EXPECT_EQ(call.name, expected[k].first);
        EXPECT_EQ(CheckAgainstCatalogue(call), "");
        EXPECT_TRUE(SameValue(call.args[0], k < 2 ? 3 : k < 11 ? 4 : 5));
        if (expected[k].second.has_value()) {
            EXPECT_TRUE(SameValue(call.args[1], expected[k].second)) << Describe(call.args[1]);
        }
    }
}

TEST_F(Bridge, ParticlesAreCreatedWithTheirCountAndTheirMethodsSendIdThenArguments) {
    host.answers["Instance.New"] = [](const Params&) { return std::any(40); };
    host.answers["Particles.GetCount"] = [](const Params&) { return std::any(12); };
    Game::Particles sparks = Game::Particles::Create(500);
    EXPECT_EQ(sparks.Id, 40);
    sparks.SetPosition({0, 1, 0});
    sparks.SetRate(50);
    sparks.Burst(100);
    sparks.SetLifetime(0.5f, 2);
    sparks.SetVelocity({0, 3, 0}, 30);
    sparks.SetGravity({0, -9.81f, 0});
    sparks.SetColors(Game::Rgba(255, 200, 0), Game::Rgba(255, 0, 0, 0));
    sparks.SetSizes(0.2f, 0.05f);
    sparks.SetTexture("spark");
    sparks.SetBlend("Additive");
    EXPECT_EQ(sparks.GetCount(), 12);
    EXPECT_EQ(Game::Particles(41).Id, 41);  // a handle from an id calls nothing

    ASSERT_EQ(host.calls.size(), 12u);
    EXPECT_EQ(host.calls[0].name, "Instance.New");
    EXPECT_TRUE(SameValue(host.calls[0].args[0], std::string("Particles")));
    EXPECT_TRUE(SameValue(host.calls[0].args[1], 500));  // an int where the other kinds send a name
    const std::vector<std::vector<std::any>> expected = {
        {List{0, 1, 0}}, {50.0f}, {100}, {0.5f, 2.0f}, {List{0, 3, 0}, 30.0f}, {List{0, -9.81f, 0}},
        {Game::Rgba(255, 200, 0), Game::Rgba(255, 0, 0, 0)}, {0.2f, 0.05f}, {std::string("spark")},
        {std::string("Additive")}, {}};
    for (size_t k = 0; k < expected.size(); ++k) {
        const Recorded& call = host.calls[k + 1];
        SCOPED_TRACE(call.name);
        EXPECT_EQ(call.name.rfind("Particles.", 0), 0u);
        EXPECT_EQ(CheckAgainstCatalogue(call), "");
        EXPECT_TRUE(SameValue(call.args[0], 40));
        ASSERT_EQ(call.args.size(), expected[k].size() + 1);
        for (size_t i = 0; i < expected[k].size(); ++i) EXPECT_TRUE(SameValue(call.args[i + 1], expected[k][i]));
    }
}

TEST_F(Bridge, RaycastSendsModelRayAndDirectionAndKeepsAllFourAnswers) {
    host.answers["RaycastSingle"] = [](const Params&) {
        return std::any(std::vector<std::any>{true, 1.25f, List{1, -1, 2}, List{0, 1, 0}});
    };
    Game::RaycastSingle hit(Game::Model(14), {1, 0.25f, 2}, {0, -1, 0});
    EXPECT_TRUE(hit.hit);
    EXPECT_EQ(hit.distance, 1.25f);
    EXPECT_EQ(hit.point, (List{1, -1, 2}));
    EXPECT_EQ(hit.normal, (List{0, 1, 0}));
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(CheckAgainstCatalogue(host.calls[0]), "");
    EXPECT_TRUE(SameValue(host.calls[0].args[0], 14));
    EXPECT_TRUE(SameValue(host.calls[0].args[1], List{1, 0.25f, 2}));
    EXPECT_TRUE(SameValue(host.calls[0].args[2], List{0, -1, 0}));

    host.answers["RaycastSingle"] = [](const Params&) {
        return std::any(std::vector<std::any>{false, 3.402823466e+38f, List{0, 0, 0}, List{0, 0, 0}});
    };
    Game::RaycastSingle miss(Game::Model(14), {0, 0, 0}, {0, -1, 0});
    EXPECT_FALSE(miss.hit);
    EXPECT_EQ(miss.distance, 3.402823466e+38f);
}

TEST_F(Bridge, ARayAnswerWithAWrongFieldTypeThrows) {
    host.answers["RaycastSingle"] = [](const Params&) {
        return std::any(std::vector<std::any>{true, 1.0, List{0, 0, 0}, List{0, 1, 0}});  // distance as double
    };
    EXPECT_THROW(Game::RaycastSingle(Game::Model(2), {0, 0, 0}, {0, -1, 0}), std::bad_any_cast);
}

// The text helpers are made of the screen entries: the shadow first, offset by
// a sixteenth of the size, then the text; centred from the window's width and
// the text's.
TEST_F(Bridge, CentredShadowedTextIsMeasuredThenDrawnShadowFirst) {
    host.answers["GetScreenWidth"] = [](const Params&) { return std::any(1280); };
    host.answers["MeasureText"] = [](const Params&) { return std::any(300); };
    Game::DrawTextCentered("You win", 320, 64, Game::Rgba(255, 220, 80));
    Game::DrawTextShadowed("Score", 20, 20, 8, -1, 0);  // no shadow
    std::vector<std::string> names;
    for (const Recorded& call : host.calls) names.push_back(call.name);
    EXPECT_EQ(names, (std::vector<std::string>{"GetScreenWidth", "MeasureText", "DrawText", "DrawText", "DrawText"}));
    ASSERT_EQ(host.calls.size(), 5u);
    const auto xy = [&](std::size_t k) {
        return std::pair{std::any_cast<int>(host.calls[k].args[1]), std::any_cast<int>(host.calls[k].args[2])};
    };
    EXPECT_EQ(xy(2), (std::pair{494, 324})) << "the shadow, 4 pixels down and right";
    EXPECT_EQ(std::any_cast<int>(host.calls[2].args[4]), Game::Rgba(0, 0, 0, 160));
    EXPECT_EQ(xy(3), (std::pair{490, 320}));
    EXPECT_EQ(std::any_cast<int>(host.calls[3].args[4]), Game::Rgba(255, 220, 80));
    EXPECT_EQ(xy(4), (std::pair{20, 20}));
}
