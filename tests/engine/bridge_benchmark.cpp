// One bridge call as the game module makes it: the entry's name as a string,
// a look-up in the module's table of game_op, the argument list, the call, and
// the result taken out with any_cast. "Vector3Add" with two 3-float lists.
//
// Host: the engine's own entry, captured from World::Initialize.
// NaiveHost: the same entry written the obvious way, copying each argument out
// of its std::any.
// Built twice: engine_bridge_benchmark with mimalloc as the process allocator (as the
// engine links it), engine_bridge_libc_benchmark with the C library's allocator.
#include <benchmark/benchmark.h>

#include <any>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Global.h"
#include "World.h"

namespace {

std::unordered_map<std::string, game_op> bridge_ops;
std::unordered_map<std::string, game_func> bridge_funcs;

void DefineOp(std::string name, game_op op) { bridge_ops[name] = op; }
void DefineFunc(std::string name, game_func func) { bridge_funcs[name] = func; }

// The module's call path: look up by name, move each argument into its own
// std::any, call, move the result out as exactly R.
template <class R, class... A>
R Call(const std::string& name, A... args) {
    game_op& entry = bridge_ops[name];
    std::vector<std::any> params;
    params.reserve(sizeof...(A));
    (params.emplace_back(std::move(args)), ...);
    std::any result = entry(std::move(params));
    return std::any_cast<R>(std::move(result));
}

// Game::Vector3::Add as the module writes it: arguments by value.
std::vector<float> Add(std::vector<float> a, std::vector<float> b) {
    return Call<std::vector<float>>("Vector3Add", std::move(a), std::move(b));
}
std::vector<float> NaiveAdd(std::vector<float> a, std::vector<float> b) {
    return Call<std::vector<float>>("NaiveVector3Add", std::move(a), std::move(b));
}

void Setup() {
    if (!bridge_ops.empty()) return;
    game_def_op = DefineOp;
    game_def_func = DefineFunc;
    World::Initialize();
    // Each argument copied out of its std::any, the result built in place.
    bridge_ops["NaiveVector3Add"] = [](std::vector<std::any> params) -> std::any {
        std::vector<float> v1 = std::any_cast<std::vector<float>>(params[0]);
        std::vector<float> v2 = std::any_cast<std::vector<float>>(params[1]);
        return std::vector<float>{v1[0] + v2[0], v1[1] + v2[1], v1[2] + v2[2]};
    };
}

void BM_BridgeCall_Host(benchmark::State& state) {
    Setup();
    const std::vector<float> a{1, 2, 3}, b{4, 5, 6};
    for (auto _ : state) {
        std::vector<float> sum = Add(a, b);
        benchmark::DoNotOptimize(sum.data());
    }
}
BENCHMARK(BM_BridgeCall_Host);

void BM_BridgeCall_NaiveHost(benchmark::State& state) {
    Setup();
    const std::vector<float> a{1, 2, 3}, b{4, 5, 6};
    for (auto _ : state) {
        std::vector<float> sum = NaiveAdd(a, b);
        benchmark::DoNotOptimize(sum.data());
    }
}
BENCHMARK(BM_BridgeCall_NaiveHost);

}  // namespace

BENCHMARK_MAIN();
