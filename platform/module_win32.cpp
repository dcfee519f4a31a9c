// Module loading on Windows: the system's own search order already matches.
#include "Module.h"

#include "Fault.h"

#include <windows.h>

namespace Platform {
namespace {

// The system's own text for an error number, as dlerror gives it on Linux.
std::string SystemText(DWORD error, const char* fallback) {
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             sizeof(text), nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = '\0';
    return n > 0 ? std::string(text) : std::string(fallback);
}

}  // namespace

ModuleLoad LoadModule(const char* fileName) {
    ModuleLoad load;
    if (!fileName || !*fileName) {
        load.error = ERROR_MOD_NOT_FOUND;
        load.reason = "no file name given";
        return load;
    }
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
    load.reason = SystemText(static_cast<DWORD>(load.error), "LoadLibraryA failed");
    return load;
}

std::string FindModuleFile(const char* fileName) {
    if (!fileName || !*fileName) return {};
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

void* FindExport(void* module, const char* name, std::string* why) {
    if (!module || !name) {
        if (why) *why = module ? "no export name given" : "no module";
        return nullptr;
    }
    SetLastError(0);
    void* found = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
    if (!found && why) *why = std::string(name) + ": " + SystemText(GetLastError(), "GetProcAddress failed");
    return found;
}

void UnloadModule(void* module) {
    if (!module) return;
    FreeLibrary(static_cast<HMODULE>(module));
    NoteLoadedModules();
}

}  // namespace Platform
