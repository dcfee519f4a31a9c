#include "Gltf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "gltf/constants.h"
#include "gltf/glb.h"

namespace Gltf {
namespace {

using gltf::kArrayBuffer;
using gltf::kElementArrayBuffer;

std::string Number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return text;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// `"name":"...",` for a name, nothing for none: names are optional in glTF.
std::string Name(const std::string& name) { return name.empty() ? std::string() : "\"name\":" + Quote(name) + ","; }

template <class T>
std::string List(const T* values, std::size_t count) {
    std::string out = "[";
    for (std::size_t i = 0; i < count; ++i) out += (i ? "," : "") + Number(static_cast<float>(values[i]));
    return out + "]";
}

// The binary chunk and the JSON arrays of buffer views and accessors, built
// together so that indices match.
class Data {
public:
    // A new accessor of `count` elements of `type` ("SCALAR", "VEC3"...) over
    // `bytes`; min and max per component when `bounds` (floats only).
    int Add(const void* bytes, std::size_t size, int componentType, std::size_t count, const char* type, int target, bool bounds) {
        const std::size_t components = gltf::ComponentCount(type);
        while (blob_.size() % 4) blob_.push_back(0);
        const std::size_t offset = blob_.size();
        blob_.insert(blob_.end(), static_cast<const unsigned char*>(bytes), static_cast<const unsigned char*>(bytes) + size);
        views_.push_back("{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) + ",\"byteLength\":" + std::to_string(size) +
                         (target ? ",\"target\":" + std::to_string(target) : std::string()) + "}");
        std::string accessor = "{\"bufferView\":" + std::to_string(views_.size() - 1) + ",\"componentType\":" +
                               std::to_string(componentType) + ",\"count\":" + std::to_string(count) + ",\"type\":\"" + type + "\"";
        if (bounds && count > 0) {
            const float* f = static_cast<const float*>(bytes);
            std::vector<float> lo(f, f + components), hi(f, f + components);
            for (std::size_t i = 0; i < count; ++i)
                for (std::size_t c = 0; c < components; ++c) {
                    lo[c] = std::min(lo[c], f[i * components + c]);
                    hi[c] = std::max(hi[c], f[i * components + c]);
                }
            accessor += ",\"min\":" + List(lo.data(), lo.size()) + ",\"max\":" + List(hi.data(), hi.size());
        }
        accessors_.push_back(accessor + "}");
        return static_cast<int>(accessors_.size() - 1);
    }
    int Floats(const std::vector<float>& v, const char* type, int target, bool bounds) {
        return Add(v.data(), v.size() * sizeof(float), gltf::kFloat, v.size() / gltf::ComponentCount(type), type, target, bounds);
    }

    std::string Views() const { return Join(views_); }
    std::string Accessors() const { return Join(accessors_); }
    std::vector<unsigned char>& Blob() { return blob_; }

    static std::string Join(const std::vector<std::string>& items) {
        std::string out = "[";
        for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i];
        return out + "]";
    }

private:
    std::vector<unsigned char> blob_;
    std::vector<std::string> views_, accessors_;
};

}  // namespace

std::string WriteGlb(const Document& d, const std::string& path) {
    Data data;
    std::vector<std::string> meshes, materials, nodes, skins, animations;
    for (const Mesh& m : d.meshes) {
        if (m.positions.empty() || m.indices.empty()) return "mesh \"" + m.name + "\" is empty";
        std::string attributes = "\"POSITION\":" + std::to_string(data.Floats(m.positions, gltf::kVec3, kArrayBuffer, true));
        if (!m.normals.empty()) attributes += ",\"NORMAL\":" + std::to_string(data.Floats(m.normals, gltf::kVec3, kArrayBuffer, false));
        if (!m.joints.empty()) {
            attributes += ",\"JOINTS_0\":" + std::to_string(data.Add(m.joints.data(), m.joints.size() * 2, gltf::kUnsignedShort,
                                                                      m.joints.size() / 4, gltf::kVec4, kArrayBuffer, false));
            attributes += ",\"WEIGHTS_0\":" + std::to_string(data.Floats(m.weights, gltf::kVec4, kArrayBuffer, false));
        }
        const int indices = data.Add(m.indices.data(), m.indices.size() * 4, gltf::kUnsignedInt, m.indices.size(), gltf::kScalar,
                                     kElementArrayBuffer, false);
        materials.push_back("{\"pbrMetallicRoughness\":{\"baseColorFactor\":" + List(m.color, 4) +
                            ",\"metallicFactor\":0,\"roughnessFactor\":0.8}}");
        meshes.push_back("{" + Name(m.name) + "\"primitives\":[{\"attributes\":{" + attributes + "},\"indices\":" +
                         std::to_string(indices) + ",\"material\":" + std::to_string(materials.size() - 1) + "}]}");
    }
    std::vector<std::vector<int>> children(d.nodes.size());
    std::vector<int> roots;
    for (std::size_t i = 0; i < d.nodes.size(); ++i) {
        const int parent = d.nodes[i].parent;
        if (parent >= static_cast<int>(d.nodes.size())) return "node \"" + d.nodes[i].name + "\" has no such parent";
        (parent < 0 ? roots : children[static_cast<std::size_t>(parent)]).push_back(static_cast<int>(i));
    }
    for (std::size_t i = 0; i < d.nodes.size(); ++i) {
        const Node& n = d.nodes[i];
        std::string node = "{" + Name(n.name) + "\"translation\":" + List(n.translation, 3) + ",\"rotation\":" + List(n.rotation, 4) +
                           ",\"scale\":" + List(n.scale, 3);
        if (!children[i].empty()) node += ",\"children\":" + List(children[i].data(), children[i].size());
        if (n.mesh >= 0) node += ",\"mesh\":" + std::to_string(n.mesh);
        if (n.skin >= 0) node += ",\"skin\":" + std::to_string(n.skin);
        nodes.push_back(node + "}");
    }
    for (const Skin& s : d.skins) {
        std::string skin = "{\"joints\":" + List(s.joints.data(), s.joints.size()) +
                           ",\"inverseBindMatrices\":" + std::to_string(data.Floats(s.inverseBind, gltf::kMat4, 0, false));
        if (s.skeleton >= 0) skin += ",\"skeleton\":" + std::to_string(s.skeleton);
        skins.push_back(skin + "}");
    }
    for (const Animation& a : d.animations) {
        std::vector<std::string> samplers, channels;
        for (const Channel& c : a.channels) {
            const int input = data.Floats(c.times, gltf::kScalar, 0, true);
            const int output = data.Floats(c.values, c.path == gltf::kRotation ? gltf::kVec4 : gltf::kVec3, 0, false);
            samplers.push_back("{\"input\":" + std::to_string(input) + ",\"output\":" + std::to_string(output) +
                               ",\"interpolation\":" + Quote(c.interpolation) + "}");
            channels.push_back("{\"sampler\":" + std::to_string(samplers.size() - 1) + ",\"target\":{\"node\":" +
                               std::to_string(c.node) + ",\"path\":" + Quote(c.path) + "}}");
        }
        animations.push_back("{" + Name(a.name) + "\"samplers\":" + Data::Join(samplers) + ",\"channels\":" + Data::Join(channels) + "}");
    }
    const std::vector<unsigned char>& blob = data.Blob();
    std::string json = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"Vantor make_figures\"},\"scene\":0,\"scenes\":[{\"nodes\":" +
                       List(roots.data(), roots.size()) + "}],\"nodes\":" + Data::Join(nodes) + ",\"meshes\":" +
                       Data::Join(meshes) + ",\"materials\":" + Data::Join(materials) + ",\"accessors\":" +
                       data.Accessors() + ",\"bufferViews\":" + data.Views() + ",\"buffers\":[{\"byteLength\":" +
                       std::to_string(blob.size()) + "}]";
    if (!skins.empty()) json += ",\"skins\":" + Data::Join(skins);
    if (!animations.empty()) json += ",\"animations\":" + Data::Join(animations);
    json += "}";

    const std::vector<unsigned char> file = gltf::WriteGlb(json, blob.data(), blob.size(), true);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot write " + path;
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return out ? std::string() : "cannot write " + path;
}

}  // namespace Gltf
