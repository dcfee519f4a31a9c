// Keeps the GL driver that the window loaded mapped until the process ends.
#pragma once

namespace Platform {

// Mesa loads its driver when the first window opens and unloads it when the window
// closes, together with what the driver keeps in its own statics. LeakSanitizer then
// sees those blocks unreferenced, from a module it can no longer name, so no
// suppression can match them. Pinned, the driver's statics still hold them at exit.
// Call once a window is open; does nothing when no such driver is loaded. Only the
// sanitizer builds need it (Linux only).
void PinGlDriver();

}  // namespace Platform
