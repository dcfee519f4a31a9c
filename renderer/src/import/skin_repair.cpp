#include "import/skin_repair.h"

#include <map>

#include "import/gltf/constants.h"

namespace r3d {
namespace {

using gltf_check::Describe;
using gltf_check::Entries;
using gltf_check::Json;
using gltf_check::Reference;

class Repairer {
public:
    Repairer(gltf_check::Document& document, SkinRepair& repair) : document_(document), root_(document.Root()), repair_(repair) {}

    // Skins: joints that exist, inverse bind matrices for every joint, and vertices
    // naming joints the skin has. The first two would send the importer past its arrays.
    void Skins() {
        std::map<std::string, size_t> jointCounts;
        for (const auto& [key, skin] : Entries(root_, "skins")) {
            const std::string name = Describe("skin", key);
            const Json* joints = skin->Get("joints");
            if (joints == nullptr || joints->kind != Json::kArray || joints->items.empty()) {
                return RemoveSkins(name + " has no joints");
            }
            for (const Json& joint : joints->items) {
                if (!document_.NodeExists(Reference(&joint, "joint"))) return RemoveSkins(name + " names a joint node that does not exist");
            }
            const std::string matricesKey = Reference(*skin, "inverseBindMatrices");
            const gltf_check::AccessorInfo* matrices = matricesKey.empty() ? nullptr : document_.Accessor(matricesKey);
            if (matrices == nullptr || matrices->components != 16 || matrices->componentType != gltf::kFloat ||
                matrices->count < joints->items.size()) {
                return RemoveSkins(name + " lacks an inverse bind matrix for each joint");
            }
            const std::string skeleton = Reference(*skin, "skeleton");
            if (!skeleton.empty() && !document_.NodeExists(skeleton)) return RemoveSkins(name + " names a skeleton node that does not exist");
            jointCounts[key] = joints->items.size();
        }
        // Each skinned node's primitives: joint numbers within the skin.
        for (const auto& [key, node] : Entries(root_, "nodes")) {
            const std::string skin = Reference(*node, "skin");
            if (skin.empty()) continue;
            if (jointCounts.count(skin) == 0) return RemoveSkins(Describe("node", key) + " names a skin that does not exist");
            const std::string mesh = Reference(*node, "mesh");
            for (const auto& [meshKey, meshJson] : Entries(root_, "meshes")) {
                if (meshKey == mesh) JointsInRange(meshKey, *meshJson, jointCounts[skin]);
            }
        }
    }

    // Animations whose samplers the importer would read past their arrays are taken out.
    void Animations() {
        Json* animations = root_.Get("animations");
        if (animations == nullptr || animations->kind != Json::kArray) return;  // glTF 1 animations are not read
        for (size_t a = 0; a < animations->items.size();) {
            std::string why = BrokenAnimation(animations->items[a]);
            if (why.empty()) {
                ++a;
                continue;
            }
            repair_.problems.push_back("animation " + std::to_string(a) + " " + why + "; it is left out");
            animations->items.erase(animations->items.begin() + static_cast<long>(a));
            repair_.repaired = true;
        }
    }

private:
    void JointsInRange(const std::string& meshKey, const Json& mesh, size_t jointCount) {
        const Json* primitives = mesh.Get("primitives");
        if (primitives == nullptr || primitives->kind != Json::kArray) return;
        for (const Json& primitive : primitives->items) {
            const Json* attributes = primitive.Get("attributes");
            if (attributes == nullptr) continue;
            for (const auto& attribute : attributes->members) {
                if (attribute.first.compare(0, 7, "JOINTS_") != 0) continue;
                std::vector<float> joints;
                if (!document_.Read(Reference(*attributes, attribute.first.c_str()), 4, joints)) continue;
                for (float j : joints) {
                    if (j >= static_cast<float>(jointCount)) {
                        repair_.jointOutOfRange = static_cast<int>(repair_.problems.size());
                        repair_.problems.push_back(Describe("mesh", meshKey) + " has a vertex naming joint " +
                                                   std::to_string(static_cast<long>(j)) + " of a skin of " +
                                                   std::to_string(jointCount) + " joints");
                        break;
                    }
                }
            }
        }
    }

    // Takes every skin out (the importer would read a broken one past its arrays): the
    // model loads in its rest pose, unanimated.
    void RemoveSkins(const std::string& why) {
        repair_.problems.push_back(why + "; the model loads without its skins and clips");
        repair_.skinsRemoved = true;
        root_.Erase("skins");
        root_.Erase("animations");
        if (Json* nodes = root_.Get("nodes")) {
            if (nodes->kind == Json::kArray) for (Json& n : nodes->items) n.Erase("skin");
            if (nodes->kind == Json::kObject) for (auto& m : nodes->members) m.second.Erase("skin");
        }
        repair_.repaired = true;
    }

    std::string BrokenAnimation(const Json& animation) {
        if (animation.kind != Json::kObject) return "is not an object";
        const Json* samplers = animation.Get("samplers");
        const Json* channels = animation.Get("channels");
        if (samplers == nullptr || samplers->kind != Json::kArray || channels == nullptr || channels->kind != Json::kArray) {
            return "has no samplers or channels";
        }
        for (const Json& sampler : samplers->items) {
            if (sampler.kind != Json::kObject) return "has a sampler that is not an object";
            const gltf_check::AccessorInfo* input = document_.Accessor(Reference(sampler, "input"));
            const gltf_check::AccessorInfo* output = document_.Accessor(Reference(sampler, "output"));
            if (input == nullptr || output == nullptr) return "has a sampler without key times or values";
            const Json* mode = sampler.Get("interpolation");
            const bool cubic = mode != nullptr && mode->IsString(gltf::kCubicSpline);
            if (output->count < input->count * (cubic ? 3 : 1)) return "has a sampler with fewer values than keys";
            if (input->components != 1) return "has key times that are not single numbers";
        }
        for (const Json& channel : channels->items) {
            if (channel.kind != Json::kObject) return "has a channel that is not an object";
            const Json* sampler = channel.Get("sampler");
            if (sampler == nullptr || sampler->kind != Json::kNumber || !sampler->unsignedInteger ||
                sampler->number >= static_cast<double>(samplers->items.size())) {
                return "has a channel naming a sampler it lacks";
            }
            const Json* target = channel.Get("target");
            if (target == nullptr || target->kind != Json::kObject) return "has a channel without a target";
            const std::string node = Reference(*target, "node");
            if (!node.empty() && !document_.NodeExists(node)) return "has a channel aimed at a node that does not exist";
        }
        return std::string();
    }

    gltf_check::Document& document_;
    Json& root_;
    SkinRepair& repair_;
};

}  // namespace

void RepairSkinsAndClips(gltf_check::Document& document, SkinRepair& repair) {
    Repairer repairer(document, repair);
    repairer.Skins();
    repairer.Animations();
}

}  // namespace r3d
