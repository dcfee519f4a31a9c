// Module loading on Windows: the system's own search order already matches.
#include "Module.h"

#include "Fault.h"

#include <windows.h>

namespace Platform {

ModuleLoad LoadModule(const char* fileName) {
    ModuleLoad load;
    // A successful load may leave the last error as it found it: cleared first,
    // the number is the load's own (0 when it loaded), not that of an earlier
    // call of the thread (listing the loaded modules ends on 18, "no more files").
    SetLastError(0);
    load.handle = LoadLibraryA(fileName);
    load.error = GetLastError();
    if (load.handle) {
        NoteLoadedModules();
        return load;
    }
    // The system's own text for the number, as dlerror gives it on Linux.
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, load.error, 0,
                             text, sizeof(text), nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = '\0';
    load.reason = n > 0 ? text : "LoadLibraryA failed";
    return load;
}

std::string FindModuleFile(const char* fileName) {
    std::string name(fileName);
    auto isFile = [](const std::string& path) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (name.find_first_of("/\\") != std::string::npos) return isFile(name) ? name : std::string();
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string program(path, n);
    program = program.substr(0, program.find_last_of("\\/") + 1);
    if (!program.empty() && isFile(program + name)) return program + name;
    const DWORD m = GetCurrentDirectoryA(MAX_PATH, path);
    std::string working = m > 0 && m < MAX_PATH ? std::string(path, m) + "\\" : std::string();
    if (!working.empty() && isFile(working + name)) return working + name;
    return {};
}

void* FindExport(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(void* module) {
    if (!module) return;
    FreeLibrary(static_cast<HMODULE>(module));
    NoteLoadedModules();
}

}  // namespace Platform
