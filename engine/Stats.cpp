#include "Stats.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "r3d.h"

namespace Stats {
namespace {

using Clock = std::chrono::steady_clock;

struct Second {
    Clock::time_point start = Clock::now(), lastFrame = start;
    int frames = 0;
    int glErrors = 0;
    std::string times;
    std::string physics;
};

Second& This() {
    static Second second;
    return second;
}

}  // namespace

bool Enabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("VANTOR_STATS");
        return value && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

void NotePhysics(double ms) {
    char time[24];
    std::snprintf(time, sizeof time, " %.2f", ms);
    This().physics += time;
}

void EndFrame() {
    Second& second = This();
    const Clock::time_point now = Clock::now();
    char time[24];
    std::snprintf(time, sizeof time, " %.2f", std::chrono::duration<double, std::milli>(now - second.lastFrame).count());
    second.times += time;
    second.lastFrame = now;
    ++second.frames;
    second.glErrors += R3D_TakeGLErrors();
    if (now - second.start < std::chrono::seconds(1)) return;
    std::fprintf(stderr, "stats: frames=%d gl_errors=%d ms=%s physics_ms=%s\n", second.frames, second.glErrors,
                 second.times.c_str() + 1, second.physics.empty() ? "" : second.physics.c_str() + 1);
    std::fflush(stderr);
    second.start = now;
    second.frames = second.glErrors = 0;
    second.times.clear();
    second.physics.clear();
}

}  // namespace Stats
