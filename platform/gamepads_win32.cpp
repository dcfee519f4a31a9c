// Pinning the XInput library the window layer loaded (Gamepads.h).
#include "Gamepads.h"

#include <initializer_list>

#include <windows.h>

namespace Platform {

void PinGamepadLibrary() {
    // Every name the window layer may have loaded, newest first; those not loaded are skipped.
    for (const char* name : {"xinput1_4.dll", "xinput1_3.dll", "xinput9_1_0.dll", "xinput1_2.dll", "xinput1_1.dll"}) {
        HMODULE module = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &module);
    }
}

}  // namespace Platform
