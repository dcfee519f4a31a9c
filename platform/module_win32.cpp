// Module loading on Windows: the system's own search order already matches.
#include "Module.h"

#include <windows.h>

namespace Platform {

ModuleLoad LoadModule(const char* fileName) {
    ModuleLoad load;
    load.handle = LoadLibraryA(fileName);
    load.error = GetLastError();
    if (load.handle) return load;
    // The system's own text for the number, as dlerror gives it on Linux.
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, load.error, 0,
                             text, sizeof(text), nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = '\0';
    load.reason = n > 0 ? text : "LoadLibraryA failed";
    return load;
}

void* FindExport(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(void* module) {
    if (module) FreeLibrary(static_cast<HMODULE>(module));
}

}  // namespace Platform
