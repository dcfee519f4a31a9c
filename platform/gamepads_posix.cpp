// Nothing to pin here: the window layer reads gamepads without a library of its own (Gamepads.h).
#include "Gamepads.h"

namespace Platform {

void PinGamepadLibrary() {}

}  // namespace Platform
