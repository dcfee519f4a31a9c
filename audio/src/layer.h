// The layer's one instance: the mixer with everything loaded, the clock that
// stands in for a device, the link to raylib's device and the music feeder.
#pragma once

#include <chrono>
#include <mutex>

#include "feeder.h"
#include "mixer.h"

namespace a3d {

using Clock = std::chrono::steady_clock;

struct Layer {
    Mixer mixer;
    Clock::time_point clockStart = Clock::now();
    AudioStream stream = {};  // raylib's, fed by the mixer while there is a device
    Feeder feeder;
};

// Never destroyed: raylib's device thread and the feeder may still run while
// the process exits (after a fatal error, say), and must find it whole.
Layer& The();

// Without a device the clock moves everything on: voices end when they would
// have, music reports its time. Called under the mutex by every entry point.
void Sync(Layer& layer);

// Runs `fn(mixer)` under the mutex, the clock brought up to date first.
template <class Fn>
auto Locked(Fn fn) {
    Layer& l = The();
    std::lock_guard<Mutex> lock(l.mixer.mutex);
    Sync(l);
    return fn(l.mixer);
}

}  // namespace a3d
