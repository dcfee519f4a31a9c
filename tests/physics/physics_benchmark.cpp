// What physics costs, without a window:
//   Pile        2,000 dynamic boxes dropped in a 10 x 10 grid, 20 layers high, onto
//               the sample level and left to pile up for 5 s: a step of Bullet alone
//               against the same world stepped by the engine (World::Physics::Step:
//               the transforms the game may have changed, the step, the poses written
//               back into the instances, the events), interleaved step by step in one
//               run so that both see the same machine. Counters: milliseconds a step
//               for each, and their ratio, over the whole fall and over its last second.
//   Character   one capsule character's cost per step, walking the level's stairs
//   BodyMemory  heap bytes per dynamic box body, in the layer and in Bullet
// Run with --benchmark_repetitions=3: the machine is shared, the best counts.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "Harness.h"
#include "LevelMesh.h"
#include "World.h"
#include "internal.h"  // the layer's own shape building, so Bullet alone gets the same level

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBoxes = 2000;
constexpr float kDt = 1.0f / 60;

Vector3 BoxPlace(int i) {
    const int layer = i / 100, row = (i / 10) % 10, column = i % 10;
    const float shift = layer % 2 ? 0.4f : 0.0f;  // every other layer off the one below, so the pile topples
    return {12.0f + column * 1.5f + shift, 1.0f + layer * 1.5f, -27.0f + row * 1.5f + shift};
}

// The same world in Bullet alone, built as the layer builds it.
struct BulletAlone {
    btDefaultCollisionConfiguration config;
    btCollisionDispatcher dispatcher{&config};
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world{&dispatcher, &broadphase, &solver, &config};
    p3d::Body level;
    btBoxShape box{btVector3(0.5f, 0.5f, 0.5f)};
    std::vector<std::unique_ptr<btRigidBody>> bodies;
    std::vector<Vector3> triangles = TestLevel::Triangles();

    BulletAlone() {
        world.setGravity({0, -9.81f, 0});
        world.setForceUpdateAllAabbs(false);
        P3D_BodyDesc desc = P3D_DefaultBody();
        desc.shape = P3D_SHAPE_MESH;
        desc.points = triangles.data();
        desc.pointCount = static_cast<int>(triangles.size());
        p3d::BuildShape(desc, level);
        btRigidBody::btRigidBodyConstructionInfo still(0, nullptr, level.shape.get());
        still.m_friction = 0.5f;
        bodies.push_back(std::make_unique<btRigidBody>(still));
        bodies.back()->setCollisionFlags(bodies.back()->getCollisionFlags() | btCollisionObject::CF_CUSTOM_MATERIAL_CALLBACK);
        world.addRigidBody(bodies.back().get(), 1, P3D_ALL_LAYERS);
        btVector3 inertia;
        box.calculateLocalInertia(1, inertia);
        for (int i = 0; i < kBoxes; ++i) {
            btRigidBody::btRigidBodyConstructionInfo info(1, nullptr, &box, inertia);
            info.m_friction = 0.5f;
            const Vector3 at = BoxPlace(i);
            info.m_startWorldTransform = btTransform(btQuaternion::getIdentity(), {at.x, at.y, at.z});
            bodies.push_back(std::make_unique<btRigidBody>(info));
            bodies.back()->setCcdMotionThreshold(0.25f);
            bodies.back()->setCcdSweptSphereRadius(0.4f);
            world.addRigidBody(bodies.back().get(), 1, P3D_ALL_LAYERS);
        }
    }
    ~BulletAlone() {
        for (auto& b : bodies) world.removeRigidBody(b.get());
    }
    void Step() {
        // Bullet's own hooks only: the layer's contact reporting is its share, not Bullet's.
        const ContactStartedCallback started = gContactStartedCallback;
        const ContactEndedCallback ended = gContactEndedCallback;
        gContactStartedCallback = nullptr;
        gContactEndedCallback = nullptr;
        world.stepSimulation(kDt, 0, kDt);
        gContactStartedCallback = started;
        gContactEndedCallback = ended;
    }
};

// The same world in the engine: "Model" instances of a unit cube with bodies (the
// stand-in renderer's models are unit cubes), the level as a mesh body.
void EngineWorld() {
    Harness::Api& api = Harness::Fresh();
    TestLevel::AddLevel();
    api.Func("LoadModel", {std::string("crate"), std::string("crate.obj"), kBoxes});
    for (int i = 0; i < kBoxes; ++i) {
        const int id = api.New("Model", "crate");
        api.Func("Model.SetScale", {id, std::vector<float>{1, 1, 1}});
        const Vector3 at = BoxPlace(i);
        api.Func("CFrame.MoveTo", {api.Get(id, "CFrame"), std::vector<float>{at.x, at.y, at.z}});
        api.Func("Model.SetBody", {id, std::string("Dynamic"), std::string("Box"), 1.0f});
    }
    World::Physics::Step(0);  // the bodies take the places the game gave them
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_Pile(benchmark::State& state) {
    const int steps = 300, last = 60;
    double alone = 0, ours = 0, aloneLast = 0, oursLast = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto bullet = std::make_unique<BulletAlone>();
        EngineWorld();
        state.ResumeTiming();
        alone = ours = aloneLast = oursLast = 0;
        for (int k = 0; k < steps; ++k) {
            Clock::time_point t0 = Clock::now();
            bullet->Step();
            Clock::time_point t1 = Clock::now();
            World::Physics::Step(kDt);
            Clock::time_point t2 = Clock::now();
            alone += Ms(t1 - t0);
            ours += Ms(t2 - t1);
            if (k >= steps - last) aloneLast += Ms(t1 - t0), oursLast += Ms(t2 - t1);
        }
        benchmark::DoNotOptimize(World::Physics::Events.size());
    }
    state.counters["bullet_ms"] = alone / steps;
    state.counters["engine_ms"] = ours / steps;
    state.counters["ratio"] = ours / alone;
    state.counters["bullet_last_s_ms"] = aloneLast / last;
    state.counters["engine_last_s_ms"] = oursLast / last;
    state.counters["ratio_last_s"] = oursLast / aloneLast;
}
BENCHMARK(BM_Pile)->Iterations(1)->Unit(benchmark::kMillisecond);

// One character walking up and down the stairs, against the same world without it.
void BM_Character(benchmark::State& state) {
    const int characters = static_cast<int>(state.range(0));
    P3D_Clear();
    TestLevel::AddLevel();
    std::vector<P3D_Character> walkers;
    for (int k = 0; k < characters; ++k) walkers.push_back(P3D_CreateCharacter(0.3f, 1.8f, {-3.5f + 0.7f * (k % 5), -1, -2.0f - k / 5}, k + 2));
    int frame = 0;
    for (auto _ : state) {
        const float way = (frame++ / 150) % 2 ? -3.0f : 3.0f;  // up the stairs for 2.5 s, down again
        for (P3D_Character c : walkers) P3D_MoveCharacter(c, {0, 0, way});
        P3D_Step(kDt);
    }
    state.counters["characters"] = characters;
    P3D_Close();
}
BENCHMARK(BM_Character)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);

void BM_BodyMemory(benchmark::State& state) {
    double perBody = 0;
    for (auto _ : state) {
        P3D_Clear();
        TestLevel::AddLevel();
        malloc_trim(0);
        const std::size_t before = mallinfo2().uordblks;
        P3D_BodyDesc desc = P3D_DefaultBody();
        desc.kind = P3D_DYNAMIC;
        desc.mass = 1;
        for (int i = 0; i < kBoxes; ++i) {
            desc.position = BoxPlace(i);
            P3D_CreateBody(&desc);
        }
        P3D_Step(kDt);  // broadphase pairs and what a step allocates once
        perBody = static_cast<double>(mallinfo2().uordblks - before) / kBoxes;
        P3D_Close();
    }
    state.counters["bytes_per_body"] = perBody;
}
BENCHMARK(BM_BodyMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
