#include "layer.h"

namespace a3d {

Layer& The() {
    static Layer& layer = *new Layer;
    return layer;
}

void Sync(Layer& l) {
    Mixer& m = l.mixer;
    if (m.hasDevice) return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - l.clockStart).count();
    const std::uint64_t frames = static_cast<std::uint64_t>(elapsed) * A3D_OUTPUT_RATE / 1000000;
    if (frames > m.clockFrames) m.Advance(frames - m.clockFrames);
    m.clockFrames = frames;
}

}  // namespace a3d
