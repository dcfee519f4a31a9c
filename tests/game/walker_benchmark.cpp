// What the game side of the bridge costs, against the real host's entries
// in-process (stand-in renderer, no window), allocating through mimalloc as
// the engine does:
//   BM_EntryDirect       one "Vector3Add" through its stored callable, list built by hand
//   BM_WrapperVector3Add the same through Game::Vector3::Add (name, look-up, list, cast)
//   BM_TransformQuery    CFrame::Position: two host calls ("Instance.Get", "CFrame.Position")
//   BM_WalkerFrame       one player::tick of the sample game, walking on the ground
#include <benchmark/benchmark.h>

#include <vantor/Bridge.h>
#include "FakeR3D.h"
#include <vantor/Game.h>
#include "Global.h"
#include "Harness.h"
#include "Instance.h"
#include "Player.h"
#include "World.h"

namespace {

void RealHost() {
    bridge_funcs.clear();
    bridge_ops.clear();
    Harness::Fresh();
    Instances.clear();
    inst_count = 0;
    game_def_func = define_func;
    game_def_op = define_op;
    World::Initialize();
}

void BM_EntryDirect(benchmark::State& state) {
    RealHost();
    game_op& add = bridge_ops["Vector3Add"];
    Game::List a{1, 2, 3}, b{4, 5, 6};
    for (auto _ : state) {
        std::any result = add({a, b});
        benchmark::DoNotOptimize(std::any_cast<Game::List>(&result));
    }
}
BENCHMARK(BM_EntryDirect);

void BM_WrapperVector3Add(benchmark::State& state) {
    RealHost();
    Game::List a{1, 2, 3}, b{4, 5, 6};
    for (auto _ : state) benchmark::DoNotOptimize(Game::Vector3::Add(a, b));
}
BENCHMARK(BM_WrapperVector3Add);

void BM_TransformQuery(benchmark::State& state) {
    RealHost();
    Game::CFrame c;
    for (auto _ : state) benchmark::DoNotOptimize(c.Position());
}
BENCHMARK(BM_TransformQuery);

void BM_WalkerFrame(benchmark::State& state) {
    RealHost();
    init();
    FakeR3D::Get().nextHit = {true, 1.6f, {0, 0, 0}, {0, 1, 0}};  // standing on the ground
    for (auto _ : state) {
        tick();
        FakeR3D::Get().raycasts.clear();  // the stand-in logs every ray
    }
}
BENCHMARK(BM_WalkerFrame);

}  // namespace

BENCHMARK_MAIN();
