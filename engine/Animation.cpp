// Playback of animated "Model" instances: each has its own clip, time, speed,
// looping and cross-fade, moved on once a frame and handed to the renderer with
// the instance's other values.
#include <cmath>

#include "Lookup.h"
#include "World.h"

namespace World::Animation {

std::unordered_map<int, Player> Players;

float Within(float time, float length, bool loop) {
    if (!(length > 0.0f)) return 0.0f;
    if (loop) {
        time = std::fmod(time, length);
        return time < 0.0f ? time + length : time;
    }
    return time < 0.0f ? 0.0f : time > length ? length : time;
}

R3D_AnimationState State(const Player& p) {
    const bool fading = p.fading && p.faded < p.fadeLength;
    return {p.clip, p.time, fading ? p.from : -1, p.fromTime, fading ? p.faded / p.fadeLength : 1.0f};
}

void Advance(float seconds) {
    if (!(seconds > 0.0f) || !std::isfinite(seconds)) return;
    for (auto& [id, p] : Players) {
        if (p.clip < 0 && !p.fading) continue;
        auto tied = Api::FindVariable<std::string>(id, "Tied Model");
        auto buffer = tied ? Buffers::Names.find(*tied) : Buffers::Names.end();
        if (buffer == Buffers::Names.end()) continue;
        const R3D_Model model = Buffers::Models[buffer->second];
        const float step = seconds * p.speed;
        if (p.clip >= 0) p.time = Within(p.time + step, R3D_GetModelAnimationLength(model, p.clip), p.loop);
        if (p.fading) {
            if (p.from >= 0) p.fromTime = Within(p.fromTime + step, R3D_GetModelAnimationLength(model, p.from), p.fromLoop);
            p.faded += seconds * std::fabs(p.speed);  // a fade runs with the clips: speed 0 holds it too
            if (p.faded >= p.fadeLength) p.fading = false, p.from = -1;
        }
    }
}

R3D_Model ModelOf(int id, const char* entry, std::string* name) {
    const std::string& tied = Api::VariableOf<std::string>(id, "Tied Model", "buffer name (it is not a Model)");
    auto buffer = Buffers::Names.find(tied);
    if (buffer == Buffers::Names.end())
        throw Api::BadValue(std::string(entry) + ": the buffer \"" + tied + "\" of instance " + std::to_string(id) +
                            " is no longer loaded");
    if (name) *name = tied;
    return Buffers::Models[buffer->second];
}

}  // namespace World::Animation
