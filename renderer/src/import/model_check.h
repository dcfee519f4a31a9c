// Checks a model file before the importer reads it, for the faults the importer
// would trust blindly and then read or write past its arrays.
#pragma once

#include <string>

namespace r3d {

// True when the file may go to the importer. False with *reason set when it must
// not: a glTF or GLB whose offsets, lengths or counts point outside its buffers,
// whose nodes form a cycle, or whose JSON nests too deeply. Files that cannot be
// opened pass (the importer reports those itself), and so do files of other formats:
// `otherFormat` says that the importer will choose a reader other than glTF's by
// the file's name.
bool CheckModelFile(const char* fileName, bool otherFormat, std::string* reason);

}  // namespace r3d
