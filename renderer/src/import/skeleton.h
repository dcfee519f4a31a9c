// What an animated model is made of beyond its meshes: every node of the file as
// a joint, the sound clips re-aimed at those joints, and per vertex the joints that
// move it. Read from assimp's scene; a glTF file's clips come from the file itself.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include <assimp/scene.h>

#include "import/model_check.h"
#include "internal.h"

namespace r3d {

class SkeletonImport {
public:
    // Walks the node tree and takes the clips. Problems are warned about on stderr,
    // one line each, naming `fileName`.
    SkeletonImport(const aiScene& scene, const GltfAnimation& gltf, const char* fileName);

    // Whether the model keeps clips: its meshes then carry skin weights.
    bool Animated() const { return !clips_.empty(); }

    // Where a mesh placed by `node` puts each vertex at rest, and (for an animated model)
    // the joints that move it. A mesh with bones is bound through them (the node's own
    // transform does not apply); any other mesh follows its node.
    struct Binding {
        std::vector<aiMatrix4x4> transforms;  // per vertex; a single one when all are alike
        std::vector<SkinWeights> skin;         // per vertex; empty for an unanimated model
    };
    Binding Bind(const aiMesh& mesh, const aiNode& node, const aiMatrix4x4& nodeWorld) const;

    // Skinning matrices of a pose that bends every joint 40 degrees across the bone it
    // starts: levels of detail are simplified in that pose, so that they keep the
    // vertices where a mesh bends, which lie flat at rest. Empty for an unanimated model.
    const std::vector<Affine>& ProbeSkin() const { return probeSkin_; }

    // Hands the joints and clips to the model (after its meshes are made).
    void MoveInto(R3D_ModelData& data);

private:
    void AddNode(const aiNode* node, int parent, const aiMatrix4x4& parentWorld);
    void TakeGltfClips(const GltfAnimation& gltf);
    void TakeImporterClips(const aiScene& scene);
    void Keep(anim::Clip clip);
    void Warn(const std::string& text) const;
    std::vector<Affine> BendEveryJoint() const;

    const char* fileName_;
    std::vector<Joint> joints_;
    std::vector<aiMatrix4x4> restWorld_;
    std::unordered_map<const aiNode*, int> index_;
    std::unordered_map<std::string, int> byName_;  // first joint of each name
    std::vector<anim::Clip> clips_;
    std::vector<Affine> probeSkin_;  // the same for every mesh: made once
};

}  // namespace r3d
