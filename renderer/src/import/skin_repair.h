// Skins and clips the importer would read past its arrays are taken out of a checked
// glTF document before it reads the file: the model then loads without them, with a
// line saying why, rather than not at all.
#pragma once

#include <string>
#include <vector>

#include "import/gltf_check.h"

namespace r3d {

struct SkinRepair {
    std::vector<std::string> problems;  // one line each, in the order found
    bool repaired = false;              // the document was changed: the importer must read it rewritten
    bool skinsRemoved = false;          // every skin (and clip) was taken out
    // The line of a vertex naming a joint its skin lacks (the importer drops such
    // weights, so the mesh would tear when posed): -1 when there is none.
    int jointOutOfRange = -1;
};

// Checks skins (joints that exist, an inverse bind matrix for each, vertices naming
// joints the skin has) and animations (samplers with a value for each key, channels
// naming samplers and nodes that exist), and takes out what the importer cannot read.
void RepairSkinsAndClips(gltf_check::Document& document, SkinRepair& repair);

}  // namespace r3d
