// "Instance.New" and "Instance.Destroy" of a "CFrame" instance, called through
// the captured entries with argument lists as the game module calls them.
#include <benchmark/benchmark.h>

#include "Global.h"
#include "Instance.h"
#include "World.h"

namespace {

std::unordered_map<std::string, game_op> ops;
std::unordered_map<std::string, game_func> funcs;

void Setup() {
    if (!ops.empty()) return;
    game_def_op = [](std::string name, game_op op) { ops[name] = op; };
    game_def_func = [](std::string name, game_func func) { funcs[name] = func; };
    World::Initialize();
}

void BM_NewAndDestroyCFrame(benchmark::State& state) {
    Setup();
    // a populated registry, as in a running game
    for (int i = 0; i < state.range(0); ++i) std::any_cast<int>(ops["Instance.New"]({std::string("CFrame")}));
    for (auto _ : state) {
        int id = std::any_cast<int>(ops["Instance.New"]({std::string("CFrame")}));
        funcs["Instance.Destroy"]({id});
    }
    state.SetLabel(std::to_string(Instances.size()) + " records");
}
BENCHMARK(BM_NewAndDestroyCFrame)->Arg(0)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
