// Keeps the system's gamepad library loaded until the process ends.
#pragma once

namespace Platform {

// On Windows the window layer loads XInput when it starts and frees it when the window
// closes. Wine's XInput keeps a thread of its own running in the library, which then
// executes code that is no longer mapped: the game crashes on its way out, after the
// player closed it. Pinned, the library stays until the process ends and the thread
// ends with it. Call once the window is open; elsewhere it does nothing.
void PinGamepadLibrary();

}  // namespace Platform
