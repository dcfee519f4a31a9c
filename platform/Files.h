// What the host needs of the file system to notice a file being replaced, and
// to run a private copy of a module: one status call per look, and whether the
// process that made a copy is still alive.
#pragma once

#include <cstdint>
#include <string>

namespace Platform {

// What one status call tells of a file. Two stamps compare equal when nothing
// about the file changed that a writer, a linker or a rename over it changes.
struct FileStamp {
    bool exists = false;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // last write, in the system's own units
    std::uint64_t identity = 0; // the file's number on its device (0 where the system has none)

    bool operator==(const FileStamp& o) const {
        return exists == o.exists && size == o.size && modified == o.modified && identity == o.identity;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

FileStamp StampOf(const std::string& path);

// This process's id, and whether a process with that id is running.
unsigned long CurrentProcessId();
bool ProcessAlive(unsigned long pid);

}  // namespace Platform
