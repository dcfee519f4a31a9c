// Frame diagnostics. With VANTOR_STATS=1 the engine writes, once a second, one
// line on stderr:
//   stats: frames=<n> gl_errors=<e> ms=<t1> <t2> ... physics_ms=<p1> <p2> ...
// with the wall time of every frame of that second in milliseconds, the OpenGL
// errors raised in them (checked after every frame), and what the physics step
// of each frame took. The same frame times are kept for the inspector's graph
// (one clock read a frame); without either nothing more is asked of the driver.
#pragma once

#include <cstddef>

namespace Stats {

bool Enabled();  // VANTOR_STATS=1, read once
void NotePhysics(double ms);  // the frame's physics step
void EndFrame(); // after each frame has been shown

// One frame as the stats line gives it.
struct Frame {
    double end;        // seconds since the first frame's start (steady clock)
    float ms;          // wall time since the previous frame ended
    float physicsMs;   // its physics step
};
constexpr std::size_t kKeptFrames = 4096;  // more than 10 s of frames at 300 a second
// The kept frames, oldest first, through `f(const Frame&)`.
template <class F>
void ForEachKept(F&& f);

// For ForEachKept.
const Frame* Kept(std::size_t* count, std::size_t* first);

template <class F>
void ForEachKept(F&& f) {
    std::size_t count = 0, first = 0;
    const Frame* ring = Kept(&count, &first);
    for (std::size_t k = 0; k < count; ++k) f(ring[(first + k) % kKeptFrames]);
}

}  // namespace Stats
