// File stamps and process liveness on POSIX systems.
#include "Files.h"

#include <cerrno>
#include <signal.h>     // Required for: kill()
#include <sys/stat.h>
#include <unistd.h>     // Required for: getpid()

namespace Platform {

FileStamp StampOf(const std::string& path) {
    struct stat st {};
    FileStamp stamp;
    if (stat(path.c_str(), &st) != 0) return stamp;
    stamp.exists = true;
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    // A linker that writes a new file and renames it over the old one leaves a
    // new inode even when size and time happen to match.
    stamp.identity = static_cast<std::uint64_t>(st.st_ino) ^ (static_cast<std::uint64_t>(st.st_dev) << 40);
    return stamp;
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(getpid()); }

bool ProcessAlive(unsigned long pid) {
    // Signal 0 checks without sending; EPERM means it exists under another user.
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace Platform
