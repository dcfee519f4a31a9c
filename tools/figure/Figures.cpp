#include "Figures.h"

#include <cmath>
#include <string>

namespace Figures {
namespace {

constexpr float kPi = 3.14159265f;

struct Vec {
    float x = 0, y = 0, z = 0;
};
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(Vec a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Length(Vec a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
Vec Normalize(Vec a) { return a * (1.0f / Length(a)); }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// A rotation of `degrees` about a unit axis, as x, y, z, w.
void Rotation(float degrees, Vec axis, float* out) {
    const float half = degrees * kPi / 360.0f;
    out[0] = axis.x * std::sin(half), out[1] = axis.y * std::sin(half), out[2] = axis.z * std::sin(half);
    out[3] = std::cos(half);
}

// Joints in their bind pose carry no rotation: a joint's inverse bind matrix
// is the translation back from its place in the model.
void InverseBind(Vec at, std::vector<float>& out) {
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -at.x, -at.y, -at.z, 1};
    out.insert(out.end(), m, m + 16);
}

// Appends one vertex with up to two joints.
void Vertex(Gltf::Mesh& mesh, Vec p, Vec n, int joint, int other = 0, float otherWeight = 0) {
    mesh.positions.insert(mesh.positions.end(), {p.x, p.y, p.z});
    mesh.normals.insert(mesh.normals.end(), {n.x, n.y, n.z});
    mesh.joints.insert(mesh.joints.end(), {static_cast<std::uint16_t>(joint), static_cast<std::uint16_t>(other), 0, 0});
    mesh.weights.insert(mesh.weights.end(), {1 - otherWeight, otherWeight, 0, 0});
}

std::uint32_t Count(const Gltf::Mesh& mesh) { return static_cast<std::uint32_t>(mesh.positions.size() / 3); }

void Quad(Gltf::Mesh& mesh, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    mesh.indices.insert(mesh.indices.end(), {a, b, c, a, c, d});
}

// -- The bar -------------------------------------------------------------------

Gltf::Channel Bend(const char* interpolation) {
    Gltf::Channel c;
    c.node = 2;
    c.path = "rotation";
    c.interpolation = interpolation;
    float straight[4] = {0, 0, 0, 1}, bent[4];
    Rotation(90, {0, 0, 1}, bent);
    const std::string kind = interpolation;
    if (kind == "STEP") {
        c.times = {0, 0.5f, 1};
        for (const float* q : {straight, bent, bent}) c.values.insert(c.values.end(), q, q + 4);
    } else if (kind == "CUBICSPLINE") {
        c.times = {0, 1};
        float still[4] = {0, 0, 0, 0};  // tangents: at rest at both ends
        for (const float* q : {still, straight, still, still, bent, still}) c.values.insert(c.values.end(), q, q + 4);
    } else {
        c.times = {0, 1};
        for (const float* q : {straight, bent}) c.values.insert(c.values.end(), q, q + 4);
    }
    return c;
}

// -- The figure -----------------------------------------------------------------

struct Bone {
    const char* name;
    int parent;
    Vec offset;     // from the parent joint, in the bind pose
    float radius;   // of the limb from this joint to its first child; 0 for none
};

// Parents come before their children.
const Bone kBones[] = {
    {"hips", -1, {0, 0.95f, 0}, 0.11f},        // 0
    {"spine", 0, {0, 0.1f, 0}, 0.12f},          // 1
    {"spine1", 1, {0, 0.15f, 0}, 0.13f},        // 2
    {"spine2", 2, {0, 0.15f, 0}, 0.05f},        // 3
    {"neck", 3, {0, 0.12f, 0}, 0.05f},          // 4
    {"head", 4, {0, 0.08f, 0}, 0},              // 5 (a ball)
    {"head_end", 5, {0, 0.22f, 0}, 0},          // 6
    {"shoulder.L", 3, {0.08f, 0.08f, 0}, 0.05f},   // 7
    {"upper_arm.L", 7, {0.12f, 0, 0}, 0.045f},     // 8
    {"forearm.L", 8, {0, -0.28f, 0}, 0.04f},       // 9
    {"hand.L", 9, {0, -0.25f, 0}, 0.035f},         // 10
    {"fingers.L", 10, {0, -0.09f, 0}, 0},          // 11
    {"shoulder.R", 3, {-0.08f, 0.08f, 0}, 0.05f},  // 12
    {"upper_arm.R", 12, {-0.12f, 0, 0}, 0.045f},   // 13
    {"forearm.R", 13, {0, -0.28f, 0}, 0.04f},      // 14
    {"hand.R", 14, {0, -0.25f, 0}, 0.035f},        // 15
    {"fingers.R", 15, {0, -0.09f, 0}, 0},          // 16
    {"thigh.L", 0, {0.1f, -0.05f, 0}, 0.07f},      // 17
    {"shin.L", 17, {0, -0.42f, 0}, 0.055f},        // 18
    {"foot.L", 18, {0, -0.42f, 0}, 0.045f},        // 19
    {"toe.L", 19, {0, -0.04f, 0.13f}, 0},          // 20
    {"thigh.R", 0, {-0.1f, -0.05f, 0}, 0.07f},     // 21
    {"shin.R", 21, {0, -0.42f, 0}, 0.055f},        // 22
    {"foot.R", 22, {0, -0.42f, 0}, 0.045f},        // 23
    {"toe.R", 23, {0, -0.04f, 0.13f}, 0},          // 24
    {"jaw", 5, {0, 0.03f, 0.06f}, 0},              // 25
    {"thumb.L", 10, {0, -0.03f, 0.03f}, 0},        // 26
    {"thumb.R", 15, {0, -0.03f, 0.03f}, 0},        // 27
    {"chest", 2, {0, 0.05f, 0.08f}, 0},            // 28
    {"pelvis", 0, {0, -0.05f, 0.06f}, 0},          // 29
};
constexpr int kJoints = sizeof kBones / sizeof *kBones;
constexpr int kSides = 16;

// A limb from `from` to `to` (model space), three rings, capped: the first two
// rings follow `joint`, the last is shared with `child`.
void Limb(Gltf::Mesh& mesh, Vec from, Vec to, float radius, int joint, int child) {
    const Vec axis = Normalize(to - from);
    const Vec side = Normalize(Cross(axis, std::fabs(axis.y) > 0.9f ? Vec{1, 0, 0} : Vec{0, 1, 0}));
    const Vec other = Cross(axis, side);
    const std::uint32_t first = Count(mesh);
    for (int ring = 0; ring < 3; ++ring) {
        const Vec centre = from + (to - from) * (ring / 2.0f);
        for (int s = 0; s < kSides; ++s) {
            const float a = 2 * kPi * s / kSides;
            const Vec n = side * std::cos(a) + other * std::sin(a);
            Vertex(mesh, centre + n * radius, n, joint, child, ring == 2 ? 0.5f : 0);
        }
    }
    for (int ring = 0; ring < 2; ++ring)
        for (int s = 0; s < kSides; ++s) {
            const std::uint32_t a = first + ring * kSides + s, b = first + ring * kSides + (s + 1) % kSides;
            Quad(mesh, a, b, b + kSides, a + kSides);
        }
    // Caps: a fan from each end's centre.
    for (int end = 0; end < 2; ++end) {
        const std::uint32_t centre = Count(mesh);
        Vertex(mesh, end ? to : from, end ? axis : axis * -1, joint, child, end ? 0.5f : 0);
        const std::uint32_t ring = first + end * 2 * kSides;
        for (int s = 0; s < kSides; ++s) {
            const std::uint32_t a = ring + s, b = ring + (s + 1) % kSides;
            if (end) mesh.indices.insert(mesh.indices.end(), {centre, a, b});
            else mesh.indices.insert(mesh.indices.end(), {centre, b, a});
        }
    }
}

void Ball(Gltf::Mesh& mesh, Vec centre, float radius, int joint) {
    const int rings = 10, slices = 12;
    const std::uint32_t first = Count(mesh);
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= slices; ++s) {
            const float polar = kPi * r / rings, azimuth = 2 * kPi * s / slices;
            const Vec n{std::sin(polar) * std::cos(azimuth), std::cos(polar), std::sin(polar) * std::sin(azimuth)};
            Vertex(mesh, centre + n * radius, n, joint);
        }
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < slices; ++s) {
            const std::uint32_t a = first + r * (slices + 1) + s, b = a + 1;
            Quad(mesh, a, a + slices + 1, b + slices + 1, b);
        }
}

// A looping clip of rotations about x for some joints, sampled every `step`
// seconds from `angle(joint, t)` in degrees, and the hips' height.
template <class Angle, class Height>
Gltf::Animation Clip(const char* name, float length, float step, std::vector<int> joints, Angle angle, Height height) {
    Gltf::Animation clip;
    clip.name = name;
    const int keys = static_cast<int>(std::lround(length / step)) + 1;
    for (int joint : joints) {
        Gltf::Channel c;
        c.node = joint + 1;  // node 0 is the mesh
        c.path = "rotation";
        for (int k = 0; k < keys; ++k) {
            const float t = k * step;
            float q[4];
            Rotation(angle(joint, t), {1, 0, 0}, q);
            c.times.push_back(t);
            c.values.insert(c.values.end(), q, q + 4);
        }
        clip.channels.push_back(c);
    }
    Gltf::Channel hips;
    hips.node = 1;
    hips.path = "translation";
    for (int k = 0; k < keys; ++k) {
        const float t = k * step;
        hips.times.push_back(t);
        hips.values.insert(hips.values.end(), {0, height(t), 0});
    }
    clip.channels.push_back(hips);
    return clip;
}

}  // namespace

Gltf::Document Bar() {
    Gltf::Document d;
    Gltf::Node mesh;
    mesh.name = "bar";
    mesh.mesh = 0, mesh.skin = 0;
    Gltf::Node root;
    root.name = "root";
    Gltf::Node upper;
    upper.name = "upper";
    upper.parent = 1;
    upper.translation[1] = 1;
    d.nodes = {mesh, root, upper};

    // Rings every quarter unit, each side its own vertices (flat faces); the
    // lower half follows "root", the upper "upper", blended across the middle.
    Gltf::Mesh m;
    m.name = "bar";
    m.color[0] = 0.9f, m.color[1] = 0.2f, m.color[2] = 0.2f;
    const Vec normals[4] = {{1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 0, -1}};
    const Vec corners[4] = {{0.1f, 0, -0.1f}, {0.1f, 0, 0.1f}, {-0.1f, 0, 0.1f}, {-0.1f, 0, -0.1f}};
    constexpr int kRings = 9;
    for (int face = 0; face < 4; ++face) {
        const std::uint32_t first = Count(m);
        for (int ring = 0; ring < kRings; ++ring) {
            const float y = ring * 0.25f;
            const float up = std::fmin(1.0f, std::fmax(0.0f, (y - 0.75f) / 0.5f));
            Vertex(m, corners[face] + Vec{0, y, 0}, normals[face], 0, 1, up);
            Vertex(m, corners[(face + 1) % 4] + Vec{0, y, 0}, normals[face], 0, 1, up);
        }
        for (int ring = 0; ring + 1 < kRings; ++ring) {
            const std::uint32_t a = first + ring * 2;
            Quad(m, a, a + 2, a + 3, a + 1);
        }
    }
    for (int end = 0; end < 2; ++end) {
        const std::uint32_t first = Count(m);
        for (int c = 0; c < 4; ++c) Vertex(m, corners[c] + Vec{0, end * 2.0f, 0}, {0, end ? 1.0f : -1.0f, 0}, end, 0, 0);
        if (end) Quad(m, first, first + 3, first + 2, first + 1);
        else Quad(m, first, first + 1, first + 2, first + 3);
    }
    d.meshes = {m};

    Gltf::Skin skin;
    skin.joints = {1, 2};
    skin.skeleton = 1;
    InverseBind({0, 0, 0}, skin.inverseBind);
    InverseBind({0, 1, 0}, skin.inverseBind);
    d.skins = {skin};

    for (const char* kind : {"LINEAR", "STEP", "CUBICSPLINE"}) {
        Gltf::Animation clip;
        const std::string k = kind;
        clip.name = k == "LINEAR" ? "bend" : k == "STEP" ? "bend_step" : "bend_cubic";
        clip.channels = {Bend(kind)};
        d.animations.push_back(clip);
    }
    return d;
}

Gltf::Document Floor() {
    Gltf::Document d;
    Gltf::Mesh m;
    m.name = "floor";
    m.color[0] = m.color[1] = m.color[2] = 0.6f;
    for (int c = 0; c < 4; ++c) Vertex(m, {c == 1 || c == 2 ? 20.0f : -20.0f, 0, c >= 2 ? 20.0f : -20.0f}, {0, 1, 0}, 0, 0, 0);
    m.joints.clear();
    m.weights.clear();
    Quad(m, 0, 3, 2, 1);
    d.meshes = {m};
    Gltf::Node node;
    node.name = "floor";
    node.mesh = 0;
    d.nodes = {node};
    return d;
}

std::vector<Corrupt> CorruptBars() {
    std::vector<Corrupt> out;
    auto add = [&out](const char* name, int sound, auto breakIt) {
        Gltf::Document d = Bar();
        breakIt(d);
        out.push_back({name, d, sound});
    };
    const float nan = std::nanf("");
    add("joint_out_of_range", 0, [](Gltf::Document& d) { d.meshes[0].joints[4 * 10] = 7; });
    add("missing_joint_node", 0, [](Gltf::Document& d) { d.skins[0].joints[1] = 99; });
    add("no_inverse_bind", 0, [](Gltf::Document& d) { d.skins[0].inverseBind.clear(); });
    add("nan_key", 2, [nan](Gltf::Document& d) { d.animations[0].channels[0].values[5] = nan; });
    add("times_backwards", 2, [](Gltf::Document& d) { d.animations[1].channels[0].times[1] = -1; });
    add("zero_length", 2, [](Gltf::Document& d) {
        Gltf::Channel& c = d.animations[0].channels[0];
        c.times = {0};
        c.values.resize(4);
    });
    add("values_missing", 2, [](Gltf::Document& d) { d.animations[2].channels[0].values.resize(12); });
    add("zero_weights", 3, [](Gltf::Document& d) {
        for (float& w : d.meshes[0].weights) w = 0;
    });
    add("nan_weights", 3, [nan](Gltf::Document& d) {
        for (std::size_t v = 0; v < d.meshes[0].weights.size(); v += 8) d.meshes[0].weights[v] = nan;
    });
    add("huge_scale", 3, [](Gltf::Document& d) {
        // Finite keys whose product down the chain is not: the pose must stay finite anyway.
        for (int node : {1, 2}) {
            Gltf::Channel c;
            c.node = node;
            c.path = "scale";
            c.times = {0, 1};
            c.values = {1e30f, 1e30f, 1e30f, 1e30f, 1e30f, 1e30f};
            d.animations[0].channels.push_back(c);
        }
    });
    add("too_many_joints", 0, [](Gltf::Document& d) {
        // 300 more nodes under the root: more than an animated model may have.
        for (int i = 0; i < 300; ++i) {
            Gltf::Node n;
            n.name = "finger" + std::to_string(i);
            n.parent = 1;
            d.nodes.push_back(n);
        }
    });
    return out;
}

Gltf::Document Figure() {
    Gltf::Document d;
    Gltf::Node mesh;
    mesh.name = "figure";
    mesh.mesh = 0, mesh.skin = 0;
    d.nodes.push_back(mesh);
    std::vector<Vec> at(kJoints);  // each joint's place in the model
    Gltf::Skin skin;
    for (int j = 0; j < kJoints; ++j) {
        const Bone& b = kBones[j];
        at[j] = b.parent < 0 ? b.offset : at[b.parent] + b.offset;
        Gltf::Node node;
        node.name = b.name;
        node.parent = b.parent < 0 ? -1 : b.parent + 1;
        node.translation[0] = b.offset.x, node.translation[1] = b.offset.y, node.translation[2] = b.offset.z;
        d.nodes.push_back(node);
        skin.joints.push_back(j + 1);
        InverseBind(at[j], skin.inverseBind);
    }
    skin.skeleton = 1;
    d.skins = {skin};
    // The skeleton hangs from a rig node, as exporters write it (and as raylib's
    // glTF reader expects: it looks up the root joint's parent).
    Gltf::Node rig;
    rig.name = "rig";
    d.nodes.push_back(rig);
    d.nodes[1].parent = static_cast<int>(d.nodes.size()) - 1;

    Gltf::Mesh m;
    m.name = "figure";
    m.color[0] = 0.75f, m.color[1] = 0.7f, m.color[2] = 0.62f;
    for (int j = 0; j < kJoints; ++j) {
        if (kBones[j].radius <= 0) continue;
        for (int c = j + 1; c < kJoints; ++c)
            if (kBones[c].parent == j) {  // its first child
                Limb(m, at[j], at[c], kBones[j].radius, j, c);
                break;
            }
    }
    Ball(m, at[5] + Vec{0, 0.11f, 0}, 0.11f, 5);
    d.meshes = {m};

    // Walking in place: legs and arms swing opposite, knees bend on the way
    // forward, the hips bob twice a step cycle.
    auto walk = [](int joint, float t) {
        const float s = std::sin(2 * kPi * t);
        switch (joint) {
            case 17: return 30 * s;
            case 21: return -30 * s;
            case 18: return -40 * std::fmax(0.0f, -s);
            case 22: return -40 * std::fmax(0.0f, s);
            case 8: return -25 * s;
            case 13: return 25 * s;
            case 9: case 14: return -15.0f;
            default: return 4 * std::sin(4 * kPi * t);  // the spine leans into each step
        }
    };
    d.animations.push_back(Clip("walk", 1.0f, 0.1f, {17, 18, 21, 22, 8, 9, 13, 14, 1},
                                walk, [](float t) { return 0.95f + 0.03f * std::cos(4 * kPi * t); }));
    // Breathing: the chest rises and the arms hang a little away.
    auto idle = [](int joint, float t) {
        const float s = std::sin(kPi * t);
        return joint == 8 ? 4 * s : joint == 13 ? -4 * s : 2 * s;
    };
    d.animations.push_back(Clip("idle", 2.0f, 0.25f, {1, 2, 8, 13}, idle,
                                [](float t) { return 0.95f - 0.005f * std::sin(kPi * t); }));
    return d;
}

}  // namespace Figures
