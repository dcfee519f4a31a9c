// 10,000 particles alive from 10 emitters, stepped and drawn every frame through r3d
// (one instanced draw per emitter, sorted back to front), against raylib 6.0 in the same
// run stepping the same kind of particles in a plain loop and drawing each with
// DrawBillboard (camera-facing textured quads, the same soft dot). A 1280x800 window, as
// the engine opens, and the engine's allocator (Mesa's software renderer allocates per
// draw; with the C library's allocator both sides spend most of their time in page
// faults). Also an empty frame (clear and swap), what both pay anyway. For each side the
// whole frame, and the calls: everything before the swap, which waits for the pixels.
// Each case is repeated and its fastest repetition counts (the machine is shared); run
// with --benchmark_enable_random_interleaving=true. --shot <folder> also writes one frame
// of each as PNG, to see that both draw the same.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "FrameTiming.h"
#include "ShadingScene.h"
#include "raymath.h"

using namespace Shading;

namespace {

constexpr int kEmitters = 10;
constexpr int kPerEmitter = 1000;
constexpr float kLife = 1.0f;
constexpr float kStep = 1.0f / 60.0f;  // simulated seconds a frame, whatever the frame took
constexpr Color kBirth = {255, 200, 80, 255}, kDeath = {255, 60, 20, 0};
constexpr float kBirthSize = 0.25f, kDeathSize = 0.08f;

Camera3D TheCamera() {
    Camera3D camera{};
    camera.position = {0.0f, 5.0f, 14.0f};
    camera.target = {0.0f, 2.0f, 0.0f};
    camera.up = {0.0f, 1.0f, 0.0f};
    camera.fovy = 60.0f;
    camera.projection = CAMERA_PERSPECTIVE;
    return camera;
}

// Emitter i stands on a ring of radius 5.
Vector3 EmitterPlace(int i) {
    const float a = 2.0f * PI * static_cast<float>(i) / kEmitters;
    return {5.0f * std::cos(a), 0.0f, 5.0f * std::sin(a)};
}

struct Ours {
    R3D_Particles emitters[kEmitters] = {};

    Ours() {
        OpenWindow(1280, 800);
        for (int i = 0; i < kEmitters; ++i) {
            R3D_Particles e = R3D_CreateParticles(kPerEmitter);
            R3D_SetParticlesTransform(e, EmitterPlace(i), {0.0f, 0.0f, 0.0f, 1.0f});
            R3D_SetParticlesRate(e, kPerEmitter / kLife * 1.05f);  // a little more than the pool turns over
            R3D_SetParticlesLifetime(e, kLife, kLife);
            R3D_SetParticlesVelocity(e, {0.0f, 4.0f, 0.0f}, 25.0f);
            R3D_SetParticlesGravity(e, {0.0f, -3.0f, 0.0f});
            R3D_SetParticlesColors(e, kBirth, kDeath);
            R3D_SetParticlesSizes(e, kBirthSize, kDeathSize);
            emitters[i] = e;
        }
        for (int f = 0; f < 90; ++f) R3D_UpdateParticles(kStep);  // until every pool is full
    }
    int Alive() const {
        int n = 0;
        for (R3D_Particles e : emitters) n += R3D_GetParticlesCount(e);
        return n;
    }
    void Draw() const {
        R3D_Begin(TheCamera());
        for (R3D_Particles e : emitters) R3D_DrawParticles(e);
        R3D_End();
    }
    // Answers the seconds the calls took, before the swap.
    double Frame() const {
        const double t0 = GetTime();
        R3D_UpdateParticles(kStep);
        BeginDrawing();
        Draw();
        const double calls = GetTime() - t0;
        EndDrawing();
        return calls;
    }
};

Ours& TheOurs() {
    static Ours ours;
    return ours;
}

// raylib's side: the same particles in a plain array, each one drawn by DrawBillboard.
struct Raylib {
    struct Particle {
        Vector3 position, velocity;
        float age = 0.0f;
    };
    std::vector<Particle> particles;
    Texture2D dot{};
    unsigned int random = 12345u;

    float Random01() {
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        return static_cast<float>(random >> 8) / 16777216.0f;
    }
    void Respawn(Particle& p, int emitter) {
        const float cosTheta = 1.0f - Random01() * (1.0f - std::cos(25.0f * DEG2RAD));
        const float sinTheta = std::sqrt(1.0f - cosTheta * cosTheta), phi = 2.0f * PI * Random01();
        p.position = EmitterPlace(emitter);
        p.velocity = Vector3Scale({sinTheta * std::cos(phi), cosTheta, sinTheta * std::sin(phi)}, 4.0f);
        p.age = 0.0f;
    }

    Raylib() {
        TheOurs();  // the window
        // The soft dot r3d draws by default: white, alpha (1 - r^2)^2.
        Image image = GenImageColor(64, 64, BLANK);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const float dx = (x + 0.5f) / 32.0f - 1.0f, dy = (y + 0.5f) / 32.0f - 1.0f;
                const float r2 = std::min(dx * dx + dy * dy, 1.0f);
                ImageDrawPixel(&image, x, y, Color{255, 255, 255, static_cast<unsigned char>((1 - r2) * (1 - r2) * 255)});
            }
        }
        dot = LoadTextureFromImage(image);
        UnloadImage(image);
        particles.resize(kEmitters * kPerEmitter);
        // Ages spread over a life, as a stream that has run for a while.
        for (size_t i = 0; i < particles.size(); ++i) {
            Respawn(particles[i], static_cast<int>(i / kPerEmitter));
            for (float t = kLife * Random01(); t > 0.0f; t -= kStep) Step(particles[i], static_cast<int>(i / kPerEmitter));
        }
    }
    void Step(Particle& p, int emitter) {
        p.age += kStep;
        if (p.age >= kLife) return Respawn(p, emitter);
        p.velocity.y -= 3.0f * kStep;
        p.position = Vector3Add(p.position, Vector3Scale(p.velocity, kStep));
    }
    double Frame() {
        const double t0 = GetTime();
        for (size_t i = 0; i < particles.size(); ++i) Step(particles[i], static_cast<int>(i / kPerEmitter));
        const Camera3D camera = TheCamera();
        BeginDrawing();
        ClearBackground(Color{24, 26, 32, 255});
        BeginMode3D(camera);
        for (const Particle& p : particles) {
            const float t = p.age / kLife;
            DrawBillboard(camera, dot, p.position, kBirthSize + (kDeathSize - kBirthSize) * t, ColorLerp(kBirth, kDeath, t));
        }
        EndMode3D();
        const double calls = GetTime() - t0;
        EndDrawing();
        return calls;
    }
};

Raylib& TheRaylib() {
    static Raylib raylib;
    return raylib;
}

double oursMs = 0.0, raylibMs = 0.0, emptyMs = 0.0;
double oursCallsMs = 0.0, raylibCallsMs = 0.0;  // of the same repetitions

// Times frames; keeps the fastest repetition and the time its calls took.
template <typename F>
void Measure(benchmark::State& state, double& best, double& bestCalls, F frame) {
    double calls = 0.0;
    const double ms = TimeFrames(state, [&] { calls += frame(); });
    const double callsMs = 1000.0 * calls / static_cast<double>(state.iterations());
    state.counters["calls_ms"] = callsMs;
    if (best <= 0.0 || ms < best) {
        best = ms;
        bestCalls = callsMs;
    }
}

void BM_R3D_Particles(benchmark::State& state) {
    Ours& ours = TheOurs();
    Measure(state, oursMs, oursCallsMs, [&] { return ours.Frame(); });
}

void BM_Raylib_DrawBillboard(benchmark::State& state) {
    Raylib& raylib = TheRaylib();
    Measure(state, raylibMs, raylibCallsMs, [&] { return raylib.Frame(); });
}

void BM_EmptyFrame(benchmark::State& state) {
    TheOurs();
    emptyMs = KeepFastest(emptyMs, TimeFrames(state, [&] {
                              BeginDrawing();
                              ClearBackground(Color{24, 26, 32, 255});
                              EndDrawing();
                          }));
}

double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void WriteShot(const std::string& path, const std::function<void()>& draw) {
    BeginDrawing();
    draw();
    Image shot = LoadImageFromScreen();
    EndDrawing();
    ExportImage(shot, path.c_str());
    UnloadImage(shot);
}

}  // namespace

BENCHMARK(BM_R3D_Particles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30)->Repetitions(5)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Raylib_DrawBillboard)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30)->Repetitions(5)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30)->Repetitions(5)->ComputeStatistics("min", Fastest);

int main(int argc, char** argv) {
    std::string shots;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--shot") == 0) shots = argv[i + 1];
    benchmark::Initialize(&argc, argv);
    Ours& ours = TheOurs();
    Raylib& raylib = TheRaylib();
    // A few frames first, so shader compilation and first uploads are not timed.
    for (int i = 0; i < 3; ++i) {
        ours.Frame();
        raylib.Frame();
    }
    std::printf("r3d: %d particles alive in %d emitters; raylib: %zu\n", ours.Alive(), kEmitters, raylib.particles.size());
    if (!shots.empty()) {
        WriteShot(shots + "/particles_r3d.png", [&] { ours.Draw(); });
        WriteShot(shots + "/particles_raylib.png", [&] {
            ClearBackground(Color{24, 26, 32, 255});
            BeginMode3D(TheCamera());
            for (const Raylib::Particle& p : raylib.particles) {
                const float t = p.age / kLife;
                DrawBillboard(TheCamera(), raylib.dot, p.position, kBirthSize + (kDeathSize - kBirthSize) * t,
                              ColorLerp(kBirth, kDeath, t));
            }
            EndMode3D();
        });
    }
    benchmark::RunSpecifiedBenchmarks();
    if (oursMs > 0.0 && raylibMs > 0.0) {
        std::printf("empty frame (clear and swap): %.2f ms\n", emptyMs);
        std::printf("raylib, a plain loop and DrawBillboard per particle: %.2f ms/frame, %.2f ms of calls\n", raylibMs,
                    raylibCallsMs);
        std::printf("r3d, R3D_UpdateParticles and one instanced draw per emitter, sorted: %.2f ms/frame, %.2f ms of calls\n",
                    oursMs, oursCallsMs);
        std::printf("ratio %.2f a frame, %.2f of calls; above the empty frame: %.2f ms against %.2f ms, ratio %.2f\n",
                    oursMs / raylibMs, oursCallsMs / raylibCallsMs, oursMs - emptyMs, raylibMs - emptyMs,
                    (oursMs - emptyMs) / std::max(raylibMs - emptyMs, 1e-6));
    }
    return 0;
}
