#include "Stats.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "a3d.h"
#include "r3d.h"

namespace Stats {
namespace {

using Clock = std::chrono::steady_clock;

struct Second {
    Clock::time_point origin = Clock::now(), start = origin, lastFrame = start;
    int frames = 0;
    int glErrors = 0;
    std::string times;
    std::string physics;
    float physicsMs = 0;
    Frame ring[kKeptFrames];
    std::size_t count = 0, next = 0;
};

Second& This() {
    static Second second;
    return second;
}

// Rounded as the stats line prints it, so the graph and the line agree.
float Hundredths(double ms) { return static_cast<float>(std::round(ms * 100.0) / 100.0); }

}  // namespace

bool Enabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("VANTOR_STATS");
        return value && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

void NotePhysics(double ms) {
    Second& second = This();
    second.physicsMs = Hundredths(ms);
    if (!Enabled()) return;
    char time[24];
    std::snprintf(time, sizeof time, " %.2f", ms);
    second.physics += time;
}

const Frame* Kept(std::size_t* count, std::size_t* first) {
    Second& second = This();
    *count = second.count;
    *first = (second.next + kKeptFrames - second.count) % kKeptFrames;
    return second.ring;
}

void EndFrame() {
    Second& second = This();
    const Clock::time_point now = Clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - second.lastFrame).count();
    second.ring[second.next] = {std::chrono::duration<double>(now - second.origin).count(), Hundredths(ms),
                                second.physicsMs};
    second.next = (second.next + 1) % kKeptFrames;
    if (second.count < kKeptFrames) ++second.count;
    second.physicsMs = 0;
    second.lastFrame = now;
    if (!Enabled()) return;
    char time[24];
    std::snprintf(time, sizeof time, " %.2f", ms);
    second.times += time;
    ++second.frames;
    second.glErrors += R3D_TakeGLErrors();
    if (now - second.start < std::chrono::seconds(1)) return;
    std::fprintf(stderr, "stats: frames=%d gl_errors=%d ms=%s physics_ms=%s sound_wait_ms=%.1f\n", second.frames,
                 second.glErrors, second.times.c_str() + 1, second.physics.empty() ? "" : second.physics.c_str() + 1,
                 1000 * A3D_GetStats().longestDeviceWait);
    std::fflush(stderr);
    second.start = now;
    second.frames = second.glErrors = 0;
    second.times.clear();
    second.physics.clear();
}

}  // namespace Stats
