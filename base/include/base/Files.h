// Whole-file reading, the one way every layer reads a file into memory. The
// caller gives the largest size it accepts; a refusal says why in words that
// can follow "could not load X: ".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace base {

enum class FileError {
    None,
    NoName,      // an empty path
    Missing,     // nothing at that path
    Unreadable,  // there, but it cannot be opened (a folder, no permission, ...)
    TooLarge,    // over the caller's limit
    ReadError,   // opened, but reading failed part-way
};

struct FileData {
    std::vector<unsigned char> bytes;  // empty unless error is None
    FileError error = FileError::None;
    std::string why;                   // empty unless error is set

    explicit operator bool() const { return error == FileError::None; }
};

// Reads all of `path`. A file larger than `limit` bytes is refused without
// being read (and so is one that grows past it while read). An empty file is
// read as no bytes, without an error: whether that is usable is the caller's.
FileData ReadFile(const std::string& path, std::size_t limit);

// "64 MiB", "1.5 GiB", "900 bytes": sizes as the messages give them.
std::string DescribeSize(std::size_t bytes);

}  // namespace base
