// A glTF file's clips as the file defines them (the importer keeps no interpolation
// mode per key), each channel aimed at its target by node index, and the names by
// which the importer's nodes are told apart.
#pragma once

#include "import/gltf_check.h"
#include "import/model_check.h"
#include "import/skin_repair.h"

namespace r3d {

// Reads the node names and the clips of a checked and repaired document into `out`
// (out.problems already holding the repair's lines, which it may add to).
void ReadClips(const gltf_check::Document& document, const SkinRepair& repair, GltfAnimation& out);

// The importer hands over its nodes by name only, and names are optional in glTF and
// need not differ. Where a skinned or animated glTF 2 document has nodes without a
// name of their own, each such node is given a stand-in that no name in the file
// begins with; out.importerNames says by node index what the importer will call each
// node. True when the document was changed (the importer must then read it rewritten).
bool NameNodesApart(gltf_check::Document& document, GltfAnimation& out);

}  // namespace r3d
