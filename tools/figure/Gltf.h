// A small glTF 2.0 writer for the models the build and the tests generate:
// meshes (positions, normals, up to four joints and weights per vertex,
// triangles), a node tree, skins and animation clips, written as one binary
// .glb file. Only what those models need; every accessor the format requires
// bounds for gets them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Gltf {

struct Node {
    std::string name;  // "" writes none (names are optional)
    int parent = -1;
    float translation[3] = {0, 0, 0};
    float rotation[4] = {0, 0, 0, 1};  // quaternion x, y, z, w
    float scale[3] = {1, 1, 1};
    int mesh = -1;
    int skin = -1;
};

struct Mesh {
    std::string name;
    std::vector<float> positions, normals;  // 3 per vertex
    std::vector<std::uint16_t> joints;      // 4 per vertex (indices into the skin's joints), or none
    std::vector<float> weights;             // 4 per vertex, or none
    std::vector<std::uint32_t> indices;     // 3 per triangle
    float color[4] = {1, 1, 1, 1};          // the material's base colour
};

struct Skin {
    std::vector<int> joints;          // node indices
    std::vector<float> inverseBind;   // 16 per joint, column-major
    int skeleton = -1;
};

struct Channel {
    int node = 0;
    std::string path;                        // "translation", "rotation" or "scale"
    std::string interpolation = "LINEAR";    // "LINEAR", "STEP" or "CUBICSPLINE"
    std::vector<float> times;                // seconds, increasing
    std::vector<float> values;               // 3 or 4 per key (three times that for CUBICSPLINE)
};

struct Animation {
    std::string name;
    std::vector<Channel> channels;
};

struct Document {
    std::vector<Node> nodes;
    std::vector<Mesh> meshes;
    std::vector<Skin> skins;
    std::vector<Animation> animations;
};

// Writes `document` to `path` as binary glTF; "" on success, else why not.
std::string WriteGlb(const Document& document, const std::string& path);

}  // namespace Gltf
