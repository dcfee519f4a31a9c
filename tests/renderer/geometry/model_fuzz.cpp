// Model-file fuzzer: mutates generated OBJ, glTF (with its .bin), GLB and ASCII FBX
// files and loads each mutant in a child process, which then checks the model and
// ray-tests it against a brute-force test of every triangle. A crash, a sanitizer
// report, a hang or a broken model is a finding: the mutant is kept (--keep) and the
// run fails.
//
//   model_fuzz [--seed N] [--files N | --seconds N] [--keep DIR] [--verbose]
//   model_fuzz --replay FILE      load one file in this process and check it
//
// The bounded seeded run is a test; a long run is `--seconds 3600`.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "Process.h"
#include "TestModels.h"
#include "figure/Figures.h"
#include "internal.h"
#include "r3d.h"
#include "raymath.h"

namespace fs = std::filesystem;

namespace {

using TestSupport::Bytes;
using TestSupport::ReadBytes;
using TestSupport::WriteBytes;

// --- Checking one loaded model ------------------------------------------------------

int failures = 0;

void Expect(bool ok, const std::string& what) {
    if (ok) return;
    fprintf(stderr, "model_fuzz: FAILED: %s\n", what.c_str());
    failures++;
}

bool Finite(Vector3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The nearest hit over every triangle: what the BVH's culling must not change. The
// float test (raylib's, which the renderer follows) is imprecise for triangles far from
// the ray's origin, and the renderer switches to double for huge coordinates, so the
// BVH must agree with one of two brute-force answers: raylib's test, or the same test
// in double. `marginal` tells a double hit within rounding of a triangle's edge.
struct Reference {
    bool hit = false, marginal = false;
    double distance = INFINITY;
};

void DoubleTest(Ray ray, Vector3 a, Vector3 b, Vector3 c, Reference& best) {
    struct D {
        double x, y, z;
    };
    auto d = [](Vector3 v) { return D{v.x, v.y, v.z}; };
    auto sub = [](D p, D q) { return D{p.x - q.x, p.y - q.y, p.z - q.z}; };
    auto dot = [](D p, D q) { return p.x * q.x + p.y * q.y + p.z * q.z; };
    auto cross = [](D p, D q) { return D{p.y * q.z - p.z * q.y, p.z * q.x - p.x * q.z, p.x * q.y - p.y * q.x}; };
    Vector3 fe1 = Vector3Subtract(b, a), fe2 = Vector3Subtract(c, a);
    // An edge longer than the float range cannot be stored: such triangles are not hit.
    if (!Finite(fe1) || !Finite(fe2)) return;
    D e1 = d(fe1), e2 = d(fe2), origin = d(ray.position), direction = d(ray.direction);
    D p = cross(direction, e2);
    double det = dot(e1, p);
    if (det > -1e-6 && det < 1e-6) return;
    double invDet = 1 / det;
    D tv = sub(origin, d(a));
    double u = dot(tv, p) * invDet;
    D q = cross(tv, e1);
    double v = dot(direction, q) * invDet;
    double t = dot(e2, q) * invDet;
    // How far a float evaluation of u and v may stray: the products they come from,
    // relative to det, times a few float roundings.
    auto length = [&](D a) { return sqrt(dot(a, a)); };
    double slackU = 1e-6 + 1e-6 * length(tv) * length(p) / fabs(det);
    double slackV = 1e-6 + 1e-6 * length(direction) * length(q) / fabs(det);
    double slack = slackU + slackV;
    if (u < -slackU || v < -slackV || u + v > 1 + slack || !(t > 1e-6) || t >= best.distance * (1 + 1e-4)) return;
    bool edge = u < slackU || v < slackV || u + v > 1 - slack;
    if (u < 0 || v < 0 || u + v > 1 || t >= best.distance) {
        best.marginal = true;
        return;
    }
    best = {true, edge, t};
}

Reference BruteForce(const R3D_Model& model, Ray ray, bool wide) {
    Reference best;
    for (const R3D_MeshData& mesh : r3d::FindModelData(model)->meshes) {
        for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
            Vector3 a = mesh.positions[mesh.indices[i]], b = mesh.positions[mesh.indices[i + 1]],
                    c = mesh.positions[mesh.indices[i + 2]];
            if (wide) {
                DoubleTest(ray, a, b, c, best);
                continue;
            }
            RayCollision hit = GetRayCollisionTriangle(ray, a, b, c);
            if (hit.hit && hit.distance < best.distance) best = {true, false, hit.distance};
        }
    }
    return best;
}

bool Agrees(const RayCollision& fast, const Reference& slow) {
    double tolerance = 1e-4 * fmax(1.0, fabs(slow.distance));
    return slow.marginal ||
           (fast.hit == slow.hit && (!fast.hit || fabs(fast.distance - slow.distance) <= tolerance));
}

void CheckModel(const R3D_Model& model, std::mt19937& random) {
    const R3D_ModelData* data = r3d::FindModelData(model);
    Expect(data != nullptr, "no model data");
    if (data == nullptr) return;
    Expect(model.meshCount == static_cast<int>(data->meshes.size()), "mesh count");
    int triangles = 0;
    for (const R3D_MeshData& mesh : data->meshes) {
        triangles += static_cast<int>(mesh.indices.size() / 3);
        Expect(mesh.bvh != nullptr, "a mesh without a BVH");
        Expect(mesh.normals.size() == mesh.positions.size() && mesh.texcoords.size() == mesh.positions.size(),
               "vertex arrays of different lengths");
        for (uint32_t i : mesh.indices) Expect(i < mesh.positions.size(), "an index past the vertices");
        for (const Vector3& p : mesh.positions) Expect(Finite(p), "a position that is not finite");
        for (const Vector3& n : mesh.normals) Expect(Finite(n), "a normal that is not finite");
        Expect(mesh.material >= 0 && mesh.material < static_cast<int>(data->materials.size()), "material index");
    }
    Expect(triangles == model.triangleCount, "triangle count");
    Expect(Finite(model.aabb.min) && Finite(model.aabb.max), "bounds not finite");
    if (model.meshCount == 0 || failures > 0) return;

    // Rays from outside the bounds towards points inside, plus a few random ones.
    Vector3 lo = model.aabb.min, hi = model.aabb.max;
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    auto inside = [&] {
        return Vector3{lo.x + (hi.x - lo.x) * unit(random), lo.y + (hi.y - lo.y) * unit(random),
                       lo.z + (hi.z - lo.z) * unit(random)};
    };
    for (int r = 0; r < 24; r++) {
        Vector3 target = inside();
        Vector3 direction = Vector3Normalize({unit(random) - 0.5f, unit(random) - 0.5f, unit(random) - 0.5f});
        if (!Finite(target) || Vector3Length(direction) < 0.5f) continue;
        // Start a little outside along the chosen direction, where that is representable.
        float reach = fmaxf(fmaxf(hi.x - lo.x, hi.y - lo.y), hi.z - lo.z);
        Vector3 origin = Vector3Subtract(target, Vector3Scale(direction, std::isfinite(reach) ? reach : 1e30f));
        if (!Finite(origin)) origin = target;
        Ray ray{origin, direction};
        RayCollision fast = R3D_RaycastModel(ray, model, MatrixIdentity());
        Reference single = BruteForce(model, ray, false), wide = BruteForce(model, ray, true);
        Expect(Agrees(fast, single) || Agrees(fast, wide),
               TextFormat("BVH and brute force disagree: ray (%.9g %.9g %.9g) -> (%.9g %.9g %.9g): %d at %g against %d at %g "
                          "(float), %d at %g (double)",
                          origin.x, origin.y, origin.z, direction.x, direction.y, direction.z, fast.hit,
                          fast.distance, single.hit, single.distance, wide.hit, wide.distance));
        if (fast.hit) {
            Expect(Finite(fast.point) && Finite(fast.normal), "hit point or normal not finite");
        }
    }

    // An animated model's poses: joints and the posed surface stay finite in every clip.
    for (int c = -1; c < R3D_GetModelAnimationCount(model); ++c) {
        const float length = R3D_GetModelAnimationLength(model, c);
        Expect(std::isfinite(length) && length >= 0.0f, "a clip length that is not a number");
        for (float t : {0.0f, 0.5f * length, length, 1e9f}) {
            const R3D_AnimationState state{c, t, 0, 0.25f * length, 0.5f};
            for (int j = 0; j < R3D_GetModelJointCount(model); ++j) {
                const Matrix m = R3D_GetJointTransform(model, state, j);
                Expect(Finite({m.m12, m.m13, m.m14}), "a joint placed at a position that is not finite");
            }
            const Ray ray{Vector3Subtract(inside(), {0.0f, 0.0f, 100.0f}), {0.0f, 0.0f, 1.0f}};
            const RayCollision posed = R3D_RaycastModelPose(ray, model, MatrixIdentity(), state);
            if (posed.hit) Expect(Finite(posed.point) && Finite(posed.normal), "a posed hit that is not finite");
        }
    }
}

// 0: loaded as a model, 4: came back as the empty model, 3: a check failed.
int CheckFile(const std::string& path, unsigned seed) {
    std::mt19937 random(seed);
    bool empty = false;
    for (int flags : {R3D_IMPORT_DEFAULT, R3D_IMPORT_OPTIMIZE}) {
        R3D_Model model = R3D_LoadModelEx(path.c_str(), flags);
        CheckModel(model, random);
        if (flags == R3D_IMPORT_DEFAULT) empty = model.meshCount == 0;
        R3D_UnloadModel(model, true);
    }
    return failures > 0 ? 3 : (empty ? 4 : 0);
}

// --- Mutations ----------------------------------------------------------------------

const char* const kNumbers[] = {"0",         "-1",         "1e39",       "-1e39", "3e38",      "-3e38",
                                "1e-39",     "nan",        "inf",        "-inf",  "4294967295", "4294967296",
                                "2147483648", "-2147483649", "18446744073709551615", "65535", "1e308", "0.5",
                                "99999999999999999999999999999"};

struct Seed {
    std::string format;     // "obj", "gltf", "glb", "fbx"
    std::string main;       // the model file
    std::string companion;  // a file it refers to (the glTF .bin), or empty
};

void Mutate(Bytes& data, std::mt19937& random) {
    auto pick = [&](size_t n) { return TestSupport::Pick(n, random); };
    int kind = static_cast<int>(pick(7));
    if (data.empty()) kind = 3;
    if (kind < TestSupport::kByteMutations) return TestSupport::MutateBytes(data, random, kind);

    // Replace a number in text with an extreme one.
    std::vector<size_t> starts;
    for (size_t i = 0; i < data.size(); i++) {
        bool digit = data[i] >= '0' && data[i] <= '9';
        bool before = i > 0 && ((data[i - 1] >= '0' && data[i - 1] <= '9') || data[i - 1] == '.' ||
                                data[i - 1] == '-' || data[i - 1] == 'e');
        if (digit && !before) starts.push_back(i);
    }
    if (starts.empty()) return;
    size_t at = starts[pick(starts.size())];
    if (at > 0 && data[at - 1] == '-') at--;
    size_t end = at + 1;
    while (end < data.size() && strchr("0123456789.eE+-", data[end]) != nullptr && data[end] != 0) end++;
    std::string number = kNumbers[pick(std::size(kNumbers))];
    data.erase(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(end));
    data.insert(data.begin() + static_cast<long>(at), number.begin(), number.end());
}

// Half the GLB mutants change only the JSON chunk, with the lengths around it kept
// true, so that they reach the glTF reader instead of failing at the header.
void MutateGlbJson(Bytes& glb, std::mt19937& random, int mutations) {
    uint32_t length;
    if (glb.size() < 20) return;
    memcpy(&length, &glb[12], 4);
    if (20 + static_cast<size_t>(length) > glb.size()) return;
    Bytes json(glb.begin() + 20, glb.begin() + 20 + length);
    Bytes rest(glb.begin() + 20 + length, glb.end());
    for (int m = 0; m < mutations; m++) Mutate(json, random);
    while (json.size() % 4 != 0) json.push_back(' ');
    uint32_t jsonLength = static_cast<uint32_t>(json.size());
    uint32_t total = static_cast<uint32_t>(20 + json.size() + rest.size());
    glb.resize(20);
    memcpy(&glb[8], &total, 4);
    memcpy(&glb[12], &jsonLength, 4);
    glb.insert(glb.end(), json.begin(), json.end());
    glb.insert(glb.end(), rest.begin(), rest.end());
}

std::vector<Seed> MakeSeeds(const std::string& dir) {
    TestModels::Shape terrain = TestModels::Terrain(10, 8, 8.0f, 0.6f);
    terrain.nodeTransform = MatrixTranslate(0.0f, -1.0f, 0.0f);
    TestModels::Shape cube = TestModels::Cube(0.5f);
    cube.writeNormals = true;
    cube.nodeTransform = MatrixMultiply(MatrixRotateY(0.5f), MatrixTranslate(2.0f, 1.0f, 0.0f));
    TestModels::Shape pyramid = TestModels::Pyramid(0.7f, 1.2f);
    pyramid.nodeTransform = MatrixTranslate(-2.0f, 0.0f, 1.0f);
    std::vector<Seed> seeds;
    for (const auto& [id, format, extension] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"obj", "obj", ".obj"}, {"gltf2", "gltf", ".gltf"}, {"glb2", "glb", ".glb"}, {"fbxa", "fbx", ".fbx"}}) {
        std::string path = dir + "/seed-" + format + extension;
        std::string error = TestModels::Export({terrain, cube, pyramid}, id, path);
        if (!error.empty()) {
            fprintf(stderr, "model_fuzz: could not write the %s seed: %s\n", format.c_str(), error.c_str());
            exit(2);
        }
        // The .mtl of the OBJ, the .bin of the glTF.
        std::string companion;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().stem() == fs::path(path).stem() && entry.path() != fs::path(path)) {
                companion = entry.path().filename().string();
            }
        }
        seeds.push_back({format, path, companion});
    }
    // A skinned model with clips of each interpolation.
    const std::string bar = dir + "/seed-bar.glb";
    if (!Gltf::WriteGlb(Figures::Bar(), bar).empty()) exit(2);
    seeds.push_back({"glb", bar, ""});
    // The same without node names: the check names its nodes apart and rewrites it.
    Gltf::Document unnamed = Figures::Bar();
    for (Gltf::Node& node : unnamed.nodes) node.name.clear();
    const std::string unnamedBar = dir + "/seed-unnamed-bar.glb";
    if (!Gltf::WriteGlb(unnamed, unnamedBar).empty()) exit(2);
    seeds.push_back({"glb", unnamedBar, ""});
    return seeds;
}

struct Counts {
    long files = 0, models = 0, empty = 0, findings = 0;
};

// Loads one case in a child process, so that a crash or hang is reported, not suffered.
std::string RunCase(const std::string& path, unsigned seed, const std::string& errPath, bool* loaded) {
    int code = 0;
    std::string finding = TestSupport::RunInChild([&] { return CheckFile(path, seed); }, errPath, code);
    if (!finding.empty()) return finding;
    *loaded = code == 0;
    if (code == 0 || code == 4) return std::string();
    return code == 3 ? "broken model" : "exit status " + std::to_string(code) + " (sanitizer report?)";
}

}  // namespace

int main(int argc, char** argv) {
    const TestSupport::FuzzOptions o = TestSupport::ParseFuzzOptions(argc, argv, "model_fuzz");
    const unsigned seed = o.seed;
    SetTraceLogLevel(LOG_WARNING);
    if (!o.replay.empty()) return CheckFile(o.replay, seed) == 3 ? 1 : 0;

    TestSupport::TempDir work;
    std::vector<Seed> seeds = MakeSeeds(work.Path());
    std::mt19937 random(seed);
    Counts counts;
    auto start = std::chrono::steady_clock::now();
    auto more = [&] {
        if (o.seconds > 0) return std::chrono::steady_clock::now() - start < std::chrono::seconds(o.seconds);
        return counts.files < o.files;
    };
    std::string errPath = work / "child.err";
    while (more()) {
        const Seed& s = seeds[counts.files % seeds.size()];
        // Each case in its own folder, with the companion file beside it (sometimes that is the one mutated).
        std::string caseDir = work / ("case-" + s.format);
        fs::remove_all(caseDir);
        fs::create_directories(caseDir);
        std::string path = caseDir + "/" + fs::path(s.main).filename().string();
        Bytes main = ReadBytes(s.main);
        Bytes companion = s.companion.empty() ? Bytes() : ReadBytes(work / s.companion);
        bool mutateCompanion = !companion.empty() && random() % 4 == 0;
        int mutations = 1 + static_cast<int>(random() % 4);
        if (s.format == "glb" && random() % 2 == 0) {
            MutateGlbJson(main, random, mutations);
        } else {
            for (int m = 0; m < mutations; m++) Mutate(mutateCompanion ? companion : main, random);
        }
        WriteBytes(path, main);
        if (!s.companion.empty()) WriteBytes(caseDir + "/" + s.companion, companion);

        bool loaded = false;
        unsigned caseSeed = static_cast<unsigned>(random());
        std::string finding = RunCase(path, caseSeed, errPath, &loaded);
        counts.files++;
        (loaded ? counts.models : counts.empty)++;
        if (!finding.empty()) {
            counts.findings++;
            printf("FINDING %ld (%s, seed %u, file %ld): %s\n%s\n", counts.findings, s.format.c_str(), seed,
                   counts.files, finding.c_str(), TestSupport::Tail(errPath, 3000).c_str());
            if (!o.keep.empty()) {
                std::string to = o.keep + "/finding-" + std::to_string(seed) + "-" + std::to_string(counts.files);
                fs::create_directories(to);
                for (const auto& entry : fs::directory_iterator(caseDir)) fs::copy(entry.path(), to);
                printf("kept in %s\n", to.c_str());
            }
        } else if (o.verbose) {
            printf("%ld %s %s\n", counts.files, s.format.c_str(), loaded ? "model" : "empty");
        }
    }
    printf("model_fuzz: seed %u: %ld files, %ld loaded as models, %ld refused (empty model), %ld findings\n", seed,
           counts.files, counts.models, counts.empty, counts.findings);
    return counts.findings == 0 ? 0 : 1;
}
