// Frame diagnostics for long runs. With VANTOR_STATS=1 the engine writes, once
// a second, one line on stderr:
//   stats: frames=<n> gl_errors=<e> ms=<t1> <t2> ... physics_ms=<p1> <p2> ...
// with the wall time of every frame of that second in milliseconds, the OpenGL
// errors raised in them (checked after every frame), and what the physics step
// of each frame took. Without it nothing is measured or asked of the driver.
#pragma once

namespace Stats {

bool Enabled();  // VANTOR_STATS=1, read once
void NotePhysics(double ms);  // the frame's physics step
void EndFrame(); // after each frame has been shown

}  // namespace Stats
