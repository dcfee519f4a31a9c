// The API reference of every entry, generated from the host's own
// catalogue: names, kinds and argument types come from the typed functions the
// entries are made of, and each entry's line, argument meanings and source file
// from its line in the catalogue, so the reference cannot drift from the host.
#pragma once

#include <string>

namespace ApiReference {

// The file an entry came from, relative to the repository root: the compiler's
// name for it without the source folder the build was made from (or anything
// before its last "engine/" when it was built elsewhere), with forward slashes.
std::string SourcePath(const std::string& compiled);

// Throw std::runtime_error naming the entry when one cannot be documented: no
// summary, a number of argument meanings other than the arguments it reads, or
// a name used twice.
std::string Markdown();
std::string Json();

}  // namespace ApiReference
