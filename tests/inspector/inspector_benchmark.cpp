// What the inspector costs a frame, in a real window (Xvfb is enough), with the
// host's frame drawn as the engine draws it:
//   BM_Frame/<scene>/<mode>
//     scene 0: the sample game's level with a shadowed spot light (the walker's view)
//     scene 1: 10,000 box instances, each an instance in the scene tree
//     mode  0: no inspector at all (the host before it), 1: hidden, 2: shown (its
//              scene list open over every instance)
// Counter "inspector_ms": the inspector's own work a frame (its windows built,
// the selection and its drawing), as it reports it in its frame tab.
#include <benchmark/benchmark.h>

#include <any>
#include <string>
#include <unordered_map>
#include <vector>

#include "BoxFile.h"
#include "Catalog.h"
#include "Global.h"
#include "Inspector.h"
#include "Instance.h"
#include "Lookup.h"
#include "Values.h"
#include "World.h"
#include "r3d.h"
#include "raylib.h"
#include "s2d.h"

namespace {

std::any Call(const std::string& name, std::vector<std::any> args) {
    for (const World::Api::Entry& e : World::Api::Entries())
        if (name == e.name) return e.op ? e.op(std::move(args)) : (e.func(std::move(args)), std::any());
    return {};
}

void Place(int id, Vector3 at, Vector3 scale, int colour) {
    Call("Model.SetScale", {id, World::Api::Kind<Vector3>::Write(scale)});
    Call("Model.SetColor", {id, colour});
    World::Api::FindVariable<CFrame>(id, "CFrame")->MoveTo(at);
}

void Scene(int scene) {
    World::Clear();
    GameCamera.up = {0, 1, 0};
    GameCamera.fovy = 60;
    GameCamera.projection = CAMERA_PERSPECTIVE;
    if (scene == 0) {
        Call("LoadModel", {std::string("level"), std::string(VANTOR_LEVEL), 1});
        const int level = std::any_cast<int>(Call("Instance.New", {std::string("Model"), std::string("level")}));
        Place(level, {0, 0, 0}, {1, 1, 1}, -1);
        const int spot = std::any_cast<int>(Call("Instance.New", {std::string("Light"), std::string("Spot")}));
        Call("Light.SetPosition", {spot, World::Api::Kind<Vector3>::Write({-2, 1.5f, -5})});
        Call("Light.SetDirection", {spot, World::Api::Kind<Vector3>::Write({0.2f, -0.3f, 1})});
        Call("Light.SetRange", {spot, 30.0f});
        Call("Light.SetEnergy", {spot, 8.0f});
        Call("Light.EnableShadow", {spot});
        Call("Light.SetState", {spot, true});
        GameCamera.position = {-2, 1.6f, -5};
        GameCamera.target = {-1.8f, 1.4f, -4};
    } else {
        Call("LoadModel", {std::string("box"), std::string(std::getenv("VANTOR_BENCH_BOX")), 10000});
        for (int i = 0; i < 10000; ++i) {
            const int id = std::any_cast<int>(Call("Instance.New", {std::string("Model"), std::string("box")}));
            Place(id, {static_cast<float>(i % 100) - 50, 0, static_cast<float>(i / 100)}, {0.4f, 0.4f, 0.4f}, -1);
        }
        const int sun = std::any_cast<int>(Call("Instance.New", {std::string("Light"), std::string("Global")}));
        Call("Light.SetDirection", {sun, World::Api::Kind<Vector3>::Write({-0.3f, -1, 0.4f})});
        Call("Light.SetState", {sun, true});
        GameCamera.position = {0, 20, -20};
        GameCamera.target = {0, 0, 40};
    }
}

// One frame as the engine's loop draws it.
void Frame(bool inspector) {
    BeginDrawing();
    if (inspector) Inspector::Update();
    R3D_Begin(GameCamera);
    World::Buffers::Draw();
    R3D_End();
    if (inspector) Inspector::DrawWorld();
    S2D_EndFrame();
    if (inspector) Inspector::Draw();
    EndDrawing();
}

void BM_Frame(benchmark::State& state) {
    const int scene = static_cast<int>(state.range(0)), mode = static_cast<int>(state.range(1));
    Scene(scene);
    Inspector::SetShown(mode == 2);
    for (int warm = 0; warm < 3; ++warm) Frame(mode > 0);
    double own = 0;
    for (auto _ : state) {
        Frame(mode > 0);
        own += Inspector::OwnMilliseconds();
    }
    Inspector::SetShown(false);
    state.counters["inspector_ms"] = mode == 2 ? own / static_cast<double>(state.iterations()) : 0.0;
}
BENCHMARK(BM_Frame)->ArgsProduct({{0, 1}, {0, 1, 2}})->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(3)
    ->ReportAggregatesOnly(false);

}  // namespace

int main(int argc, char** argv) {
    SetTraceLogLevel(LOG_WARNING);
    InitWindow(1280, 800, "inspector benchmark");
    SetTargetFPS(0);
    R3D_Init(1280, 800);
    S2D_Init();
    game_def_func = [](std::string, game_func) {};
    game_def_op = [](std::string, game_op) {};
    World::Initialize();
    Inspector::Start("engine");
    std::string box = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/inspector-benchmark-box.obj";
    if (!TestFiles::WriteBox(box, 0.5f).empty()) return 1;
    setenv("VANTOR_BENCH_BOX", box.c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(box.c_str());
    Inspector::Close();
    S2D_Close();
    CloseWindow();
    return 0;
}
