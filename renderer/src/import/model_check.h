// Checks a model file before the importer reads it, for the faults the importer
// would trust blindly and then read or write past its arrays, and reads a glTF
// file's animation clips as the file defines them (the importer keeps no
// interpolation mode per key).
#pragma once

#include <string>
#include <vector>

#include "animation/clip.h"

namespace r3d {

// What a glTF file's animation holds, as read from its JSON and buffers.
struct GltfAnimation {
    bool read = false;                   // the file is glTF: what follows is what it holds
    std::vector<std::string> nodeNames;  // by node index, the file's own ("" when unnamed)
    // By node index, the name the importer gives the node: its own, or a stand-in where
    // nodes share a name or have none (see NameNodesApart); "" where such a node could
    // not be given one, so that no joint can be found for it.
    std::vector<std::string> importerNames;
    std::vector<anim::Clip> clips;       // each channel's joint is its target's node index
    // Why skins or clips were taken out before the importer read the file (a skin
    // naming a missing node or lacking its matrices, a sampler with fewer values than
    // keys), or left unused (a vertex naming a joint its skin lacks). One line each.
    std::vector<std::string> problems;
    bool skinsRemoved = false;           // the skins were taken out: the model loads unanimated
    // The file as the importer must read it, when skins or clips had to be taken out or
    // nodes named apart; empty when the file may be read as it is.
    std::vector<unsigned char> repaired;
};

// True when the file may go to the importer. False with *reason set when it must
// not: a glTF or GLB whose offsets, lengths or counts point outside its buffers,
// whose nodes form a cycle, or whose JSON nests too deeply, or a file too large to
// read whole. Files that cannot be opened pass (the importer reports those itself),
// and so do files of other formats: `otherFormat` says that the importer will choose
// a reader other than glTF's by the file's name. `animation`, when given, receives
// the glTF file's clips.
bool CheckModelFile(const char* fileName, bool otherFormat, std::string* reason, GltfAnimation* animation = nullptr);

}  // namespace r3d
