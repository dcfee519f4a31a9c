// File stamps and process liveness on Windows.
#include "Files.h"

#include <windows.h>

namespace Platform {

FileStamp StampOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FileStamp stamp;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return stamp;
    stamp.exists = true;
    stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                               data.ftLastWriteTime.dwLowDateTime);
    stamp.identity = 0;  // a rename over the file shows in its write time
    return stamp;
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessAlive(unsigned long pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

}  // namespace Platform
