// Module loading on POSIX systems with dlopen.
#include "Module.h"

#include "Fault.h"

#include <cerrno>
#include <dlfcn.h>      // Required for: dlopen(), dlsym(), dlclose(), dlerror()
#include <limits.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>     // Required for: readlink(), getcwd()

namespace Platform {
namespace {

std::string ProgramDirectory() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return {};
    std::string exe(path, static_cast<size_t>(n));
    return exe.substr(0, exe.find_last_of('/') + 1);
}

std::string WorkingDirectory() {
    char path[PATH_MAX];
    return getcwd(path, sizeof(path)) ? std::string(path) + "/" : std::string();
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

ModuleLoad Open(const std::string& path) {
    ModuleLoad load;
    dlerror();
    load.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (load.handle) {
        NoteLoadedModules();
        return load;
    }
    const char* why = dlerror();
    load.reason = why ? why : "unknown error";
    // dlopen does not set errno; tell an unreadable file from one that is not a library.
    load.error = access(path.c_str(), R_OK) != 0 ? static_cast<unsigned long>(errno) : ENOEXEC;
    return load;
}

}  // namespace

std::string FindModuleFile(const char* fileName) {
    if (!fileName || !*fileName) return {};
    std::string name(fileName);
    if (name.find('/') != std::string::npos) return IsFile(name) ? name : std::string();
    for (const std::string& dir : {ProgramDirectory(), WorkingDirectory()}) {
        if (!dir.empty() && IsFile(dir + name)) return dir + name;
    }
    return {};
}

ModuleLoad LoadModule(const char* fileName) {
    if (!fileName || !*fileName) {
        ModuleLoad load;
        load.error = ENOENT;
        load.reason = "no file name given";
        return load;
    }
    std::string name(fileName);
    if (name.find('/') != std::string::npos) return Open(name);

    const std::string found = FindModuleFile(fileName);
    if (!found.empty()) return Open(found);
    // Not beside the program nor in the working directory: the system's search.
    ModuleLoad load = Open(name);
    if (!load.handle) load.error = ENOENT;
    return load;
}

void* FindExport(void* module, const char* name, std::string* why) {
    // dlsym with a null handle would search every module loaded (RTLD_DEFAULT).
    if (!module || !name) {
        if (why) *why = module ? "no export name given" : "no module";
        return nullptr;
    }
    dlerror();
    void* found = dlsym(module, name);
    if (!found && why) {
        const char* text = dlerror();
        *why = text ? text : std::string(name) + " is exported as null";
    }
    return found;
}

void UnloadModule(void* module) {
    if (!module) return;
    dlclose(module);
    NoteLoadedModules();
}

}  // namespace Platform
