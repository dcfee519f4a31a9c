// Module loading on Windows: the system's own search order already matches.
#include "Module.h"

#include <windows.h>

namespace Platform {

ModuleLoad LoadModule(const char* fileName) {
    ModuleLoad load;
    load.handle = LoadLibraryA(fileName);
    load.error = GetLastError();
    if (!load.handle) load.reason = "LoadLibraryA failed";
    return load;
}

void* FindExport(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(void* module) {
    if (module) FreeLibrary(static_cast<HMODULE>(module));
}

}  // namespace Platform
