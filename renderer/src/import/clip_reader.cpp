#include "import/clip_reader.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "import/gltf/constants.h"

namespace r3d {
namespace {

using gltf_check::Entries;
using gltf_check::Json;
using gltf_check::Reference;

constexpr const char* kPaths[3] = {gltf::kTranslation, gltf::kRotation, gltf::kScale};  // in anim::Path's order

anim::Interpolation InterpolationOf(const Json& sampler) {
    const Json* mode = sampler.Get("interpolation");
    if (mode != nullptr && mode->IsString(gltf::kStep)) return anim::Interpolation::kStep;
    if (mode != nullptr && mode->IsString(gltf::kCubicSpline)) return anim::Interpolation::kCubicSpline;
    return anim::Interpolation::kLinear;
}

}  // namespace

void ReadClips(const gltf_check::Document& document, const SkinRepair& repair, GltfAnimation& out) {
    const Json& root = document.Root();
    out.read = true;
    for (const auto& [key, node] : Entries(root, "nodes")) {
        const Json* name = node->Get("name");
        out.nodeNames.push_back(name != nullptr && name->kind == Json::kString ? name->text : std::string());
    }
    out.importerNames = out.nodeNames;
    if (repair.jointOutOfRange >= 0) {
        // The importer drops such weights; the mesh would tear where they were.
        out.problems[static_cast<size_t>(repair.jointOutOfRange)] += "; the model loads without its clips";
        return;
    }
    const Json* animations = root.Get("animations");
    if (animations == nullptr || animations->kind != Json::kArray) return;
    for (size_t a = 0; a < animations->items.size(); ++a) {
        const Json& animation = animations->items[a];
        anim::Clip clip;
        const Json* name = animation.Get("name");
        clip.name = name != nullptr && name->kind == Json::kString && !name->text.empty() ? name->text
                                                                                         : "animation_" + std::to_string(a);
        const Json* samplers = animation.Get("samplers");
        bool readable = true;
        for (const Json& channel : animation.Get("channels")->items) {
            const Json* target = channel.Get("target");
            const Json* path = target->Get("path");
            const std::string node = Reference(*target, "node");
            int which = -1;
            for (int p = 0; p < 3; ++p) {
                if (path != nullptr && path->IsString(kPaths[p])) which = p;
            }
            if (which < 0 || node.empty()) continue;  // morph weights and pointers are not animated here
            const Json& sampler = samplers->items[static_cast<size_t>(channel.Get("sampler")->number)];
            anim::Channel c;
            c.joint = atoi(node.c_str());  // the node's index: the skeleton aims it at the node's joint
            c.path = static_cast<anim::Path>(which);
            c.interpolation = InterpolationOf(sampler);
            const size_t perKey = c.interpolation == anim::Interpolation::kCubicSpline ? 3 : 1;
            if (!document.Read(Reference(sampler, "input"), 1, c.times) ||
                !document.Read(Reference(sampler, "output"), static_cast<size_t>(c.Components()), c.values)) {
                readable = false;
                break;
            }
            c.values.resize(std::min(c.values.size(), c.times.size() * perKey * c.Components()));
            for (float t : c.times) clip.length = std::max(clip.length, t);
            clip.channels.push_back(std::move(c));
        }
        if (!readable) {
            out.problems.push_back("clip \"" + clip.name + "\" has keys of a kind not read (sparse or of the wrong type); it is left out");
            continue;
        }
        out.clips.push_back(std::move(clip));
    }
}

bool NameNodesApart(gltf_check::Document& document, GltfAnimation& out) {
    Json& root = document.Root();
    Json* nodes = root.Get("nodes");
    auto holds = [](const Json* c) { return c != nullptr && (!c->items.empty() || !c->members.empty()); };
    const bool moves = holds(root.Get("skins")) || holds(root.Get("animations"));
    std::map<std::string, int> uses;
    for (const std::string& name : out.nodeNames) ++uses[name];
    std::vector<size_t> apart;  // the nodes without a name of their own
    for (size_t i = 0; i < out.nodeNames.size(); ++i) {
        if (out.nodeNames[i].empty() || uses[out.nodeNames[i]] > 1) apart.push_back(i);
    }
    // glTF 1 keys its nodes by id: the importer's names are not changed there, and the
    // clips it has are not read.
    if (apart.empty() || !moves || nodes == nullptr || nodes->kind != Json::kArray || nodes->items.size() != out.nodeNames.size()) {
        for (size_t i : apart) out.importerNames[i].clear();  // no joint of its own to be found by
        return false;
    }
    std::string prefix = "node#";
    for (bool clash = true; clash;) {
        clash = false;
        for (const std::string& name : out.nodeNames) clash = clash || name.compare(0, prefix.size(), prefix) == 0;
        if (clash) prefix += '#';
    }
    for (size_t i : apart) {
        out.importerNames[i] = prefix + std::to_string(i);
        Json& node = nodes->items[i];
        node.Erase("name");
        Json name;
        name.kind = Json::kString;
        name.text = out.importerNames[i];
        node.members.emplace_back("name", std::move(name));
    }
    return true;
}

}  // namespace r3d
