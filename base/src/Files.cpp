#include "base/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>   // Required for: stat(), to tell a folder and a size before reading

namespace base {
namespace {

FileData Refuse(FileError error, std::string why) {
    FileData data;
    data.error = error;
    data.why = std::move(why);
    return data;
}

std::string TooLarge(std::size_t limit) { return "the file is larger than " + DescribeSize(limit); }

}  // namespace

std::string DescribeSize(std::size_t bytes) {
    constexpr std::size_t kKiB = 1024, kMiB = kKiB * 1024, kGiB = kMiB * 1024;
    char text[64];
    const auto unit = [&](std::size_t size, const char* name) {
        if (bytes % size == 0)
            std::snprintf(text, sizeof text, "%zu %s", bytes / size, name);
        else
            std::snprintf(text, sizeof text, "%.1f %s", static_cast<double>(bytes) / static_cast<double>(size), name);
    };
    if (bytes >= kGiB) unit(kGiB, "GiB");
    else if (bytes >= kMiB) unit(kMiB, "MiB");
    else if (bytes >= kKiB) unit(kKiB, "KiB");
    else std::snprintf(text, sizeof text, "%zu bytes", bytes);
    return text;
}

FileData ReadFile(const std::string& path, std::size_t limit) {
    if (path.empty()) return Refuse(FileError::NoName, "no file name given");

    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return Refuse(FileError::Missing, "the file does not exist");
        return Refuse(FileError::Unreadable, std::string("the file cannot be opened (") + std::strerror(errno) + ")");
    }
    if (S_ISDIR(st.st_mode)) return Refuse(FileError::Unreadable, "it is a folder, not a file");
    if (S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) > limit)
        return Refuse(FileError::TooLarge, TooLarge(limit));

    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return Refuse(FileError::Unreadable, std::string("the file cannot be opened (") + std::strerror(errno) + ")");

    FileData data;
    if (S_ISREG(st.st_mode)) data.bytes.reserve(static_cast<std::size_t>(st.st_size));
    unsigned char chunk[1 << 16];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        if (n == 0) break;
        // A file that grows while it is read (or a pipe) is held to the limit too.
        if (n > limit - data.bytes.size()) {
            std::fclose(file);
            return Refuse(FileError::TooLarge, TooLarge(limit));
        }
        data.bytes.insert(data.bytes.end(), chunk, chunk + n);
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) return Refuse(FileError::ReadError, std::string("the file could not be read (") + std::strerror(error) + ")");
    return data;
}

}  // namespace base
