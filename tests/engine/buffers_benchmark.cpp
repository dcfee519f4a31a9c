// The per-frame upload of World::Buffers for 100,000 mapped model instances,
// against a plain copy of the same bytes from contiguous arrays. The renderer
// is the stand-in whose mapped arrays are plain memory, so this is the host's
// walk alone.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <unordered_map>

#include "FakeR3D.h"
#include "Harness.h"
#include "Global.h"
#include "Instance.h"
#include "World.h"

namespace {

constexpr int kInstances = 100000;

void Setup(bool churn) {
    const Harness::Api& api = Harness::Fresh();
    auto& ops = api.ops;
    auto& funcs = api.funcs;
    funcs.at("LoadModel")({std::string("crate"), std::string("crate.obj"), kInstances});
    // with churn: twice as many created, every other one destroyed in random order,
    // so the survivors' values are spread over the heap
    std::vector<int> ids;
    const int made = churn ? 2 * kInstances : kInstances;
    for (int i = 0; i < made; ++i) {
        if (churn && i % 2) {
            ids.push_back(std::any_cast<int>(ops.at("Instance.New")({std::string("CFrame")})));
        } else {
            int id = std::any_cast<int>(ops.at("Instance.New")({std::string("Model"), std::string("crate")}));
            funcs.at("Model.SetScale")({id, std::vector<float>{1, 1, 1}});
        }
    }
    std::shuffle(ids.begin(), ids.end(), std::mt19937(1));
    for (int id : ids) funcs.at("Instance.Destroy")({id});
}

void BM_Upload(benchmark::State& state) {
    Setup(state.range(0) != 0);
    for (auto _ : state) World::Buffers::UpdateBuffer("crate");
    state.SetLabel(state.range(0) ? "after churn" : "fresh");
    state.SetItemsProcessed(state.iterations() * kInstances);
}
BENCHMARK(BM_Upload)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same bytes (position, rotation, scale, colour of each instance) copied
// from four contiguous arrays into the four output arrays.
void BM_PlainCopy(benchmark::State& state) {
    std::vector<Vector3> p(kInstances, {1, 2, 3}), s(kInstances, {1, 1, 1}), po(kInstances), so(kInstances);
    std::vector<Quaternion> r(kInstances, {0, 0, 0, 1}), ro(kInstances);
    std::vector<Color> c(kInstances, {1, 2, 3, 4}), co(kInstances);
    for (auto _ : state) {
        std::memcpy(po.data(), p.data(), kInstances * sizeof(Vector3));
        std::memcpy(ro.data(), r.data(), kInstances * sizeof(Quaternion));
        std::memcpy(so.data(), s.data(), kInstances * sizeof(Vector3));
        std::memcpy(co.data(), c.data(), kInstances * sizeof(Color));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kInstances);
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMicrosecond);

// For comparison, the layout taken literally: per buffer four hash maps of
// slot -> address, walked in the first one's order with a look-up per slot in
// each of the other three.
void BM_UploadThroughHashMaps(benchmark::State& state) {
    Setup(state.range(0) != 0);
    std::unordered_map<int, Vector3*> pos, scale;
    std::unordered_map<int, Quaternion*> rot;
    std::unordered_map<int, Color*> col;
    const int index = World::Buffers::Names["crate"];
    const auto& slots = World::Buffers::Positions[index].Slots();
    for (std::size_t k = 0; k < slots.size(); ++k) {
        if (!World::Buffers::Positions[index].Values()[k]) continue;
        pos[slots[k]] = World::Buffers::Positions[index].Values()[k];
        rot[slots[k]] = World::Buffers::Rotations[index].Values()[k];
        scale[slots[k]] = World::Buffers::Scales[index].Values()[k];
        col[slots[k]] = World::Buffers::Colors[index].Values()[k];
    }
    std::vector<Vector3> po(kInstances), so(kInstances);
    std::vector<Quaternion> ro(kInstances);
    std::vector<Color> co(kInstances);
    for (auto _ : state) {
        int i = 0;
        for (const auto& slot : pos) {
            po[i] = *slot.second;
            ro[i] = *rot[slot.first];
            so[i] = *scale[slot.first];
            co[i] = *col[slot.first];
            ++i;
        }
        benchmark::ClobberMemory();
    }
    state.SetLabel(state.range(0) ? "after churn" : "fresh");
    state.SetItemsProcessed(state.iterations() * kInstances);
}
BENCHMARK(BM_UploadThroughHashMaps)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
