#include "import/skeleton.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "animation/pose.h"
#include "base/Log.h"
#include "base/Numbers.h"
#include "raymath.h"  // Required for: QuaternionFromAxisAngle(), QuaternionMultiply()

namespace r3d {
namespace {

Affine ToAffine(const aiMatrix4x4& m) {
    Affine a;
    const float v[12] = {m.a1, m.a2, m.a3, m.a4, m.b1, m.b2, m.b3, m.b4, m.c1, m.c2, m.c3, m.c4};
    std::copy(v, v + 12, a.m);
    return a;
}

bool FiniteMatrix(const aiMatrix4x4& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!base::Finite(m[r][c])) return false;
    return true;
}

}  // namespace

SkeletonImport::SkeletonImport(const aiScene& scene, const GltfAnimation& gltf, const char* fileName) : fileName_(fileName) {
    AddNode(scene.mRootNode, -1, aiMatrix4x4());
    for (const std::string& problem : gltf.problems) Warn(problem);
    if (gltf.read) {
        TakeGltfClips(gltf);
    } else {
        TakeImporterClips(scene);
    }
    if (!clips_.empty() && joints_.size() > R3D_MAX_JOINTS) {
        Warn("it has " + std::to_string(joints_.size()) + " nodes, more than the " + std::to_string(R3D_MAX_JOINTS) +
             " joints an animated model may have; it loads without its clips");
        clips_.clear();
    }
    probeSkin_ = BendEveryJoint();
}

void SkeletonImport::AddNode(const aiNode* node, int parent, const aiMatrix4x4& parentWorld) {
    const int index = static_cast<int>(joints_.size());
    Joint joint;
    joint.name = node->mName.C_Str();
    joint.parent = parent;
    aiVector3D scaling(1, 1, 1), position(0, 0, 0);
    aiQuaternion rotation;
    if (FiniteMatrix(node->mTransformation)) node->mTransformation.Decompose(scaling, rotation, position);
    joint.translation = {position.x, position.y, position.z};
    joint.rotation = {rotation.x, rotation.y, rotation.z, rotation.w};
    joint.scale = {scaling.x, scaling.y, scaling.z};
    const aiMatrix4x4 world = parentWorld * node->mTransformation;
    joint.restInverse = anim::Inverse(ToAffine(world));
    joints_.push_back(joint);
    restWorld_.push_back(world);
    index_[node] = index;
    byName_.emplace(joint.name, index);
    for (unsigned int i = 0; i < node->mNumChildren; ++i) AddNode(node->mChildren[i], index, world);
}

void SkeletonImport::Warn(const std::string& text) const {
    base::Warn("R3D", "model \"%s\": %s", fileName_, text.c_str());
}

void SkeletonImport::Keep(anim::Clip clip) {
    std::string why = anim::Check(clip);
    if (why.empty() && !(clip.length > 0)) why = "clip \"" + clip.name + "\" has no length";
    if (!why.empty()) {
        Warn(why + "; it is left out");
        return;
    }
    clips_.push_back(std::move(clip));
}

void SkeletonImport::TakeGltfClips(const GltfAnimation& gltf) {
    // A channel names its node by index. The importer hands its nodes over by name, so
    // the joint is the one under the name the importer gave that node (NameNodesApart
    // made those names differ).
    for (anim::Clip clip : gltf.clips) {
        bool aimed = true;
        for (anim::Channel& c : clip.channels) {
            const bool known = c.joint >= 0 && static_cast<size_t>(c.joint) < gltf.importerNames.size();
            const std::string name = known ? gltf.importerNames[static_cast<size_t>(c.joint)] : std::string();
            auto joint = byName_.find(name);
            if (name.empty() || joint == byName_.end()) {
                Warn("clip \"" + clip.name + "\" moves a node " + (name.empty() ? "without a name of its own" : "the model lacks") +
                     "; it is left out");
                aimed = false;
                break;
            }
            c.joint = joint->second;
        }
        if (aimed) Keep(std::move(clip));
    }
    // Joints show the names the file gave their nodes, not the importer's stand-ins.
    std::unordered_map<std::string, const std::string*> own;
    for (size_t i = 0; i < gltf.importerNames.size() && i < gltf.nodeNames.size(); ++i) {
        if (!gltf.importerNames[i].empty() && gltf.importerNames[i] != gltf.nodeNames[i]) own.emplace(gltf.importerNames[i], &gltf.nodeNames[i]);
    }
    for (Joint& joint : joints_) {
        auto it = own.find(joint.name);
        if (it != own.end()) joint.name = *it->second;
    }
}

void SkeletonImport::TakeImporterClips(const aiScene& scene) {
    for (unsigned int a = 0; a < scene.mNumAnimations; ++a) {
        const aiAnimation& source = *scene.mAnimations[a];
        anim::Clip clip;
        clip.name = source.mName.length > 0 ? source.mName.C_Str() : "animation_" + std::to_string(a);
        const double ticks = source.mTicksPerSecond > 0 ? source.mTicksPerSecond : 25.0;
        bool aimed = true;
        for (unsigned int k = 0; k < source.mNumChannels && aimed; ++k) {
            const aiNodeAnim& channel = *source.mChannels[k];
            auto joint = byName_.find(channel.mNodeName.C_Str());
            if (joint == byName_.end()) {
                Warn("clip \"" + clip.name + "\" moves a node the model lacks; it is left out");
                aimed = false;
                break;
            }
            // Keys at one time are kept once (the last), as importers may repeat them.
            auto add = [&](anim::Path path, unsigned int count, auto key, int components) {
                if (count == 0) return;
                anim::Channel c;
                c.joint = joint->second;
                c.path = path;
                for (unsigned int i = 0; i < count; ++i) {
                    float values[4];
                    const float time = static_cast<float>(key(i, values) / ticks);
                    if (!c.times.empty() && c.times.back() == time) {
                        c.times.pop_back();
                        c.values.resize(c.values.size() - static_cast<size_t>(components));
                    }
                    c.times.push_back(time);
                    c.values.insert(c.values.end(), values, values + components);
                    clip.length = std::max(clip.length, time);
                }
                clip.channels.push_back(std::move(c));
            };
            add(anim::Path::kTranslation, channel.mNumPositionKeys, [&](unsigned int i, float* v) {
                const aiVectorKey& key = channel.mPositionKeys[i];
                v[0] = key.mValue.x, v[1] = key.mValue.y, v[2] = key.mValue.z;
                return key.mTime;
            }, 3);
            add(anim::Path::kRotation, channel.mNumRotationKeys, [&](unsigned int i, float* v) {
                const aiQuatKey& key = channel.mRotationKeys[i];
                v[0] = key.mValue.x, v[1] = key.mValue.y, v[2] = key.mValue.z, v[3] = key.mValue.w;
                return key.mTime;
            }, 4);
            add(anim::Path::kScale, channel.mNumScalingKeys, [&](unsigned int i, float* v) {
                const aiVectorKey& key = channel.mScalingKeys[i];
                v[0] = key.mValue.x, v[1] = key.mValue.y, v[2] = key.mValue.z;
                return key.mTime;
            }, 3);
        }
        // The file's own length counts too: a clip may hold its last key to its end.
        const double duration = source.mDuration / ticks;
        if (base::Finite(duration) && duration > clip.length && duration < 1e7) clip.length = static_cast<float>(duration);
        if (aimed) Keep(std::move(clip));
    }
}

SkeletonImport::Binding SkeletonImport::Bind(const aiMesh& mesh, const aiNode& node, const aiMatrix4x4& nodeWorld) const {
    Binding out;
    const unsigned int n = mesh.mNumVertices;
    auto own = index_.find(&node);
    const uint8_t ownJoint = static_cast<uint8_t>(own != index_.end() && own->second < 256 ? own->second : 0);
    if (Animated()) out.skin.assign(n, SkinWeights{{ownJoint, 0, 0, 0}, {1, 0, 0, 0}});
    if (mesh.mNumBones == 0) {
        out.transforms = {nodeWorld};
        return out;
    }
    // The four strongest sound weights of each vertex, by bone.
    struct Influence {
        int bone[4] = {-1, -1, -1, -1};
        float weight[4] = {0, 0, 0, 0};
    };
    std::vector<Influence> influences(n);
    std::vector<int> boneJoint(mesh.mNumBones, -1);
    std::vector<aiMatrix4x4> boneRest(mesh.mNumBones);  // the bone's joint at rest, after its offset
    for (unsigned int b = 0; b < mesh.mNumBones; ++b) {
        const aiBone& bone = *mesh.mBones[b];
        auto joint = byName_.find(bone.mName.C_Str());
        if (joint == byName_.end() || !FiniteMatrix(bone.mOffsetMatrix)) continue;
        boneJoint[b] = joint->second;
        boneRest[b] = restWorld_[static_cast<size_t>(joint->second)] * bone.mOffsetMatrix;
        for (unsigned int w = 0; w < bone.mNumWeights; ++w) {
            const aiVertexWeight& vw = bone.mWeights[w];
            if (vw.mVertexId >= n || !(vw.mWeight > 0) || !base::Finite(vw.mWeight)) continue;
            Influence& in = influences[vw.mVertexId];
            // Into place among the four, strongest first; a fifth weaker one is dropped.
            int at = 4;
            while (at > 0 && in.weight[at - 1] < vw.mWeight) --at;
            if (at == 4) continue;
            for (int k = 3; k > at; --k) in.bone[k] = in.bone[k - 1], in.weight[k] = in.weight[k - 1];
            in.bone[at] = static_cast<int>(b);
            in.weight[at] = vw.mWeight;
        }
    }
    out.transforms.resize(n);
    for (unsigned int v = 0; v < n; ++v) {
        const Influence& in = influences[v];
        const float sum = in.weight[0] + in.weight[1] + in.weight[2] + in.weight[3];
        if (!(sum > 0) || !base::Finite(sum)) {
            out.transforms[v] = nodeWorld;  // no sound weight: the vertex follows its mesh's node
            continue;
        }
        aiMatrix4x4 blend;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) blend[r][c] = 0;
        SkinWeights weights;
        for (int k = 0; k < 4; ++k) {
            if (in.bone[k] < 0) continue;
            const float w = in.weight[k] / sum;  // renormalised over the four kept
            const aiMatrix4x4& m = boneRest[static_cast<size_t>(in.bone[k])];
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) blend[r][c] += w * m[r][c];
            weights.joint[k] = static_cast<uint8_t>(boneJoint[static_cast<size_t>(in.bone[k])]);
            weights.weight[k] = w;
        }
        out.transforms[v] = blend;
        if (Animated()) out.skin[v] = weights;
    }
    return out;
}

std::vector<Affine> SkeletonImport::BendEveryJoint() const {
    if (!Animated()) return {};
    R3D_ModelData probe;
    probe.joints = joints_;
    anim::Clip bend;
    bend.name = "probe";
    bend.length = 1.0f;
    for (size_t j = 0; j < joints_.size(); ++j) {
        // The bone leaving the joint: towards its first child, else along x.
        Vector3 bone{1.0f, 0.0f, 0.0f};
        for (const Joint& child : joints_) {
            if (child.parent == static_cast<int>(j)) {
                bone = child.translation;
                break;
            }
        }
        Vector3 axis = Vector3CrossProduct(bone, Vector3{0.0f, 0.0f, 1.0f});
        if (Vector3Length(axis) < 1e-4f * (Vector3Length(bone) + 1e-12f)) axis = Vector3CrossProduct(bone, Vector3{1.0f, 0.0f, 0.0f});
        if (!(Vector3Length(axis) > 0.0f)) axis = {1.0f, 0.0f, 0.0f};
        const Quaternion turn = QuaternionMultiply(joints_[j].rotation, QuaternionFromAxisAngle(Vector3Normalize(axis), 40.0f * DEG2RAD));
        anim::Channel c;
        c.joint = static_cast<int>(j);
        c.path = anim::Path::kRotation;
        c.times = {0.0f};
        c.values = {turn.x, turn.y, turn.z, turn.w};
        bend.channels.push_back(std::move(c));
    }
    probe.clips.push_back(std::move(bend));
    std::vector<Affine> skin(joints_.size());
    anim::SkinMatrices(probe, R3D_AnimationState{0, 0.0f, -1, 0.0f, 1.0f}, skin.data());
    return skin;
}

void SkeletonImport::MoveInto(R3D_ModelData& data) {
    if (!Animated()) return;
    data.joints = std::move(joints_);
    data.clips = std::move(clips_);
}

}  // namespace r3d
