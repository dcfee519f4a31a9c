// Timing frames in the frame benchmarks. The machine is shared and llvmpipe's threads
// compete with everything else on it, so each case runs several times and the fastest
// repetition stands for it.
#pragma once

#include <algorithm>

#include <benchmark/benchmark.h>

#include "raylib.h"  // Required for: GetTime()

namespace Shading {

inline double KeepFastest(double best, double ms) { return best <= 0.0 ? ms : std::min(best, ms); }

// Runs `frame` once per benchmark iteration; records and returns the mean frame time.
template <typename F>
double TimeFrames(benchmark::State& state, F frame) {
    double total = 0.0;
    for (auto _ : state) {
        const double t0 = GetTime();
        frame();
        total += GetTime() - t0;
    }
    const double ms = 1000.0 * total / static_cast<double>(state.iterations());
    state.counters["frame_ms"] = ms;
    return ms;
}

}  // namespace Shading
