// Frame diagnostics for long runs. With VANTOR_STATS=1 the engine writes, once
// a second, one line on stderr:
//   stats: frames=<n> gl_errors=<e> ms=<t1> <t2> ...
// with the wall time of every frame of that second in milliseconds and the
// OpenGL errors raised in them (checked after every frame). Without it nothing
// is measured or asked of the driver.
#pragma once

namespace Stats {

bool Enabled();  // VANTOR_STATS=1, read once
void EndFrame(); // after each frame has been shown

}  // namespace Stats
