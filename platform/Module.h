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
    unsigned long error = 0;  // the system's error number; 0 on success, 2 when no file was found
    std::string reason;       // the loader's own explanation, empty on success
};

ModuleLoad LoadModule(const char* fileName);
void* FindExport(void* module, const char* name);  // null when absent
void UnloadModule(void* module);

}  // namespace Platform
