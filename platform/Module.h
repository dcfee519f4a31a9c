// Loading a shared library by file name and finding its exports.
//
// A bare file name is searched as Windows searches it for a program: the
// program's own directory first, then the working directory, then the
// system's normal library search.
#pragma once

#include <string>

namespace Platform {

struct ModuleLoad {
    void* handle = nullptr;   // null when nothing could be loaded
    // The system's own error number, 0 on success. A game.dll that is not
    // there gives 126 on Windows (ERROR_MOD_NOT_FOUND) and 2 on Linux (ENOENT).
    unsigned long error = 0;
    std::string reason;       // the loader's own explanation, empty on success
};

// A null or empty name loads nothing: error ENOENT (ERROR_MOD_NOT_FOUND on
// Windows) and the reason "no file name given".
ModuleLoad LoadModule(const char* fileName);
// The file LoadModule would load for a bare name, found beside the program or
// in the working directory; empty when it is in neither (the system's search).
std::string FindModuleFile(const char* fileName);
// Null when absent; `why` (when given) then gets the loader's own explanation.
// A null module finds nothing (it never means "any loaded module").
void* FindExport(void* module, const char* name, std::string* why = nullptr);
void UnloadModule(void* module);

}  // namespace Platform
