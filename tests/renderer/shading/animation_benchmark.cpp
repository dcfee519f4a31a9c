// A crowd of 1,000 generated walking figures (about 2,000 triangles and 30 joints
// each), every one at its own time of its clip, under one shadowed spot light that
// moves every frame, drawn through r3d (posed on the CPU, skinned on the GPU, one
// instanced draw per mesh and view); against raylib 6.0 drawing the same figures
// unshadowed with its own animation (UpdateModelAnimation and DrawModel per figure)
// in the same run, in a 1280x800 window as the engine opens. Also the CPU cost of
// posing the 1,000 instances, and a ray test against an animated instance next to a
// rigid one. Each case is repeated and its fastest repetition counts (the machine is
// shared); run with --benchmark_enable_random_interleaving=true.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "FrameTiming.h"
#include "ShadingScene.h"
#include "animation/pose.h"  // Required for: r3d::anim::SkinMatrices, timed on its own
#include "figure/Figures.h"
#include "raymath.h"

using namespace Shading;

namespace {

constexpr int kFigures = 1000;
constexpr int kSide = 32;  // figures on a 32 x 32 grid (the last rows short)
constexpr float kSpacing = 1.6f;

struct Crowd {
    std::string path;
    R3D_Model model{};
    R3D_Model ground{};
    R3D_InstanceBuffer buffer{};
    R3D_InstanceBuffer groundBuffer{};
    R3D_Light spot = 0;
    Camera3D camera{};
    int walk = 0;
    std::vector<Vector3> places;
    std::vector<float> times;  // each figure's own point in the clip

    Crowd() {
        OpenWindow(1280, 800);
        path = TempFolder() + "/figure.glb";
        if (!Gltf::WriteGlb(Figures::Figure(), path).empty()) std::fprintf(stderr, "could not write %s\n", path.c_str());
        model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_OPTIMIZE);
        for (int c = 0; c < R3D_GetModelAnimationCount(model); ++c)
            if (std::string(R3D_GetModelAnimationName(model, c)) == "walk") walk = c;
        ground = LoadObj("ground", Plane(kSide * kSpacing));
        buffer = R3D_LoadInstanceBuffer(kFigures, R3D_INSTANCE_ALL);
        groundBuffer = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
        Fill(groundBuffer, {Instance{}});
        std::vector<Instance> instances(kFigures);
        const float length = R3D_GetModelAnimationLength(model, walk);
        for (int i = 0; i < kFigures; ++i) {
            const Vector3 at = {(i % kSide - kSide / 2) * kSpacing, 0.0f, (i / kSide - kSide / 2) * kSpacing};
            places.push_back(at);
            instances[i].position = at;
            instances[i].rotation = QuaternionFromAxisAngle({0, 1, 0}, 0.37f * i);
            times.push_back(std::fmod(0.618f * i, length));
        }
        Fill(buffer, instances);
        camera.position = {0.0f, 30.0f, 42.0f};
        camera.target = {0.0f, 0.0f, 0.0f};
        camera.up = {0.0f, 1.0f, 0.0f};
        camera.fovy = 50.0f;
        camera.projection = CAMERA_PERSPECTIVE;
        spot = R3D_CreateLight(R3D_LIGHT_SPOT);
        R3D_SetLightPosition(spot, {0.0f, 40.0f, 0.0f});
        R3D_SetLightDirection(spot, {0.0f, -1.0f, 0.0f});
        R3D_SetLightRange(spot, 100.0f);
        R3D_SetLightInnerCutOff(spot, 40.0f);
        R3D_SetLightOuterCutOff(spot, 50.0f);
        R3D_SetLightEnergy(spot, 48.0f);
        R3D_SetLightActive(spot, true);
        R3D_EnableShadow(spot);
        R3D_SetShadowUpdateMode(spot, R3D_SHADOW_UPDATE_CONTINUOUS);
    }

    // Every figure a frame further on, written to the buffer.
    void Step(float dt) {
        const float length = R3D_GetModelAnimationLength(model, walk);
        auto* states = static_cast<R3D_AnimationState*>(R3D_MapInstances(buffer, R3D_INSTANCE_ANIMATION));
        for (int i = 0; i < kFigures; ++i) {
            times[i] = std::fmod(times[i] + dt, length);
            states[i] = {walk, times[i], -1, 0.0f, 1.0f};
        }
    }
};

Crowd& TheCrowd() {
    static Crowd crowd;
    return crowd;
}

double r3dMs = 0.0, raylibMs = 0.0, poseMs = 0.0, frameSamplingMs = 0.0;  // fastest repetitions

void BM_R3D_Crowd_ShadowedMovingLight(benchmark::State& state) {
    Crowd& c = TheCrowd();
    int frame = 0;
    double sampling = 0.0;
    const double ms = TimeFrames(state, [&] {
        c.Step(1.0f / 60.0f);
        R3D_SetLightPosition(c.spot, {2.0f * std::sin(0.1f * frame), 40.0f, 2.0f * std::cos(0.1f * frame)});
        ++frame;
        BeginDrawing();
        R3D_Begin(c.camera);
        R3D_DrawModelInstanced(c.ground, c.groundBuffer, 1);
        R3D_DrawModelInstanced(c.model, c.buffer, kFigures);
        R3D_End();
        DrawFPS(10, 10);
        EndDrawing();
        sampling += R3D_GetFrameStats().poseMs;
    });
    r3dMs = KeepFastest(r3dMs, ms);
    frameSamplingMs = KeepFastest(frameSamplingMs, sampling / static_cast<double>(state.iterations()));
}

// raylib's own way: the figure loaded by raylib, posed by UpdateModelAnimation and drawn
// by DrawModel once per figure, with raylib's default shader (no light, no shadow).
void BM_Raylib_Crowd_Unshadowed(benchmark::State& state) {
    Crowd& c = TheCrowd();
    static Model figure = LoadModel(c.path.c_str());
    static int animations = 0;
    static ModelAnimation* clips = LoadModelAnimations(c.path.c_str(), &animations);
    int walk = 0;
    for (int a = 0; a < animations; ++a)
        if (std::string(clips[a].name) == "walk") walk = a;
    if (animations == 0 || figure.meshCount == 0) {
        state.SkipWithError("raylib could not load the figure or its clips");
        return;
    }
    const double ms = TimeFrames(state, [&] {
        c.Step(1.0f / 60.0f);
        BeginDrawing();
        ClearBackground(BLACK);
        BeginMode3D(c.camera);
        DrawPlane({0, 0, 0}, {kSide * kSpacing * 2, kSide * kSpacing * 2}, GRAY);
        for (int i = 0; i < kFigures; ++i) {
            // raylib samples glTF clips at 60 key frames a second.
            const float keyframe = std::fmod(c.times[i] * 60.0f, static_cast<float>(clips[walk].keyframeCount));
            UpdateModelAnimation(figure, clips[walk], keyframe);
            DrawModelEx(figure, c.places[i], {0, 1, 0}, 0.37f * i * RAD2DEG, {1, 1, 1}, WHITE);
        }
        EndMode3D();
        DrawFPS(10, 10);
        EndDrawing();
    });
    raylibMs = KeepFastest(raylibMs, ms);
}

// Posing alone: every figure's 30-odd joint matrices from its clip time.
void BM_PoseCrowd(benchmark::State& state) {
    Crowd& c = TheCrowd();
    std::vector<r3d::Affine> out(static_cast<size_t>(kFigures) * R3D_GetModelJointCount(c.model));
    const size_t joints = static_cast<size_t>(R3D_GetModelJointCount(c.model));
    double total = 0.0;
    for (auto _ : state) {
        const double t0 = GetTime();
        for (int i = 0; i < kFigures; ++i)
            r3d::anim::SkinMatrices(*r3d::FindModelData(c.model), {c.walk, c.times[i], -1, 0.0f, 1.0f}, out.data() + i * joints);
        total += GetTime() - t0;
        benchmark::DoNotOptimize(out.data());
    }
    poseMs = KeepFastest(poseMs, 1000.0 * total / static_cast<double>(state.iterations()));
}

// One ray at the figure's chest, rigid (BVH, rest pose) and animated (the pose skinned).
void BM_Ray_Rigid(benchmark::State& state) {
    Crowd& c = TheCrowd();
    const Ray ray{{0.0f, 1.3f, 5.0f}, {0.0f, 0.0f, -1.0f}};
    for (auto _ : state) benchmark::DoNotOptimize(R3D_RaycastModel(ray, c.model, MatrixIdentity()));
}
void BM_Ray_Animated(benchmark::State& state) {
    Crowd& c = TheCrowd();
    const Ray ray{{0.0f, 1.3f, 5.0f}, {0.0f, 0.0f, -1.0f}};
    for (auto _ : state)
        benchmark::DoNotOptimize(R3D_RaycastModelPose(ray, c.model, MatrixIdentity(), {c.walk, 0.3f, -1, 0.0f, 1.0f}));
}

double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

BENCHMARK(BM_Raylib_Crowd_Unshadowed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4)->Repetitions(3)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_R3D_Crowd_ShadowedMovingLight)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4)->Repetitions(3)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_PoseCrowd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10)->Repetitions(3)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Ray_Rigid)->Unit(benchmark::kMicrosecond)->Repetitions(3)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Ray_Animated)->Unit(benchmark::kMicrosecond)->Repetitions(3)->ComputeStatistics("min", Fastest);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Crowd& c = TheCrowd();
    std::printf("figure: %d triangles, %d joints, %d clips; %d figures\n", c.model.triangleCount,
                R3D_GetModelJointCount(c.model), R3D_GetModelAnimationCount(c.model), kFigures);
    std::printf("levels of detail:");
    for (int l = 0; l < R3D_GetModelLodCount(c.model); ++l) std::printf(" %d", R3D_GetModelLodTriangles(c.model, l));
    std::printf(" triangles\n");
    // A few frames first, so shader compilation and first uploads are not timed.
    for (int i = 0; i < 3; ++i) {
        BeginDrawing();
        R3D_Begin(c.camera);
        R3D_DrawModelInstanced(c.model, c.buffer, kFigures);
        R3D_End();
        EndDrawing();
    }
    const R3D_FrameStats stats = R3D_GetFrameStats();
    std::printf("one frame: camera %lld triangles in %d draws, shadow map %lld triangles in %d draws\n",
                stats.camera.triangles, stats.camera.drawCalls, stats.shadows.triangles, stats.shadows.drawCalls);
    benchmark::RunSpecifiedBenchmarks();
    if (raylibMs > 0.0 && r3dMs > 0.0) {
        std::printf("raylib, UpdateModelAnimation + DrawModel per figure, unshadowed: %.1f ms/frame\n", raylibMs);
        std::printf("r3d, posed per instance, shadowed moving spot light: %.1f ms/frame, ratio %.2f\n", r3dMs, r3dMs / raylibMs);
    }
    const int joints = R3D_GetModelJointCount(c.model);
    if (poseMs > 0.0)
        std::printf("posing %d figures on the CPU: %.2f ms (%.1f ns per joint); inside the r3d frame: %.2f ms\n", kFigures,
                    poseMs, 1e6 * poseMs / (kFigures * joints), frameSamplingMs);
    // Where a frame's time goes, pass by pass (the driver waited for after each).
    R3D_SetPassTiming(true);
    float shadowMs = 1e9f, sceneMs = 1e9f;
    for (int i = 0; i < 8; ++i) {
        c.Step(1.0f / 60.0f);
        R3D_SetLightPosition(c.spot, {2.0f * std::sin(0.3f * i), 40.0f, 0.0f});
        BeginDrawing();
        R3D_Begin(c.camera);
        R3D_DrawModelInstanced(c.ground, c.groundBuffer, 1);
        R3D_DrawModelInstanced(c.model, c.buffer, kFigures);
        R3D_End();
        EndDrawing();
        shadowMs = std::min(shadowMs, R3D_GetFrameStats().shadowMs);
        sceneMs = std::min(sceneMs, R3D_GetFrameStats().sceneMs);
    }
    R3D_SetPassTiming(false);
    const R3D_FrameStats last = R3D_GetFrameStats();
    std::printf("r3d passes (fastest of 8): shadow map %.1f ms (%lld triangles, %d draws), lit pass %.1f ms (%lld triangles, %d draws)\n",
                shadowMs, last.shadows.triangles, last.shadows.drawCalls, sceneMs, last.camera.triangles, last.camera.drawCalls);
    benchmark::Shutdown();
    return 0;
}
