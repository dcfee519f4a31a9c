// Speed of the renderer's geometry: ray tests against a 100,000-triangle model with our
// BVH and with raylib's GetRayCollisionMesh side by side, the BVH build, the level-of-detail
// build against assimp's import of the same file, and mapping,
// filling and unmapping 100,000 instances. Run under Xvfb (the instance buffers need a
// GL context):
//   xvfb-run -a ./renderer_geometry_benchmark
#include <benchmark/benchmark.h>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>

#include <random>

#include "TestModels.h"
#include "geometry/bvh.h"
#include "internal.h"
#include "geometry/lod.h"
#include "r3d.h"
#include "raymath.h"

namespace {

struct Scene {
    TestModels::Shape terrain;
    std::string path;
    R3D_Model model{};
    Mesh raylibMesh{};  // the same triangles as raylib holds them (16-bit indices)
    std::vector<unsigned short> raylibIndices;
    Matrix transform{};
    std::vector<Ray> rays;
};

Scene& TheScene() {
    static Scene* scene = [] {
        Scene* s = new Scene();
        s->terrain = TestModels::Terrain(250, 200, 100.0f, 3.0f);  // 100,000 triangles, 50,451 vertices
        s->path = TestModels::TempDir("benchmark") + "/terrain.glb";
        std::string error = TestModels::Export({s->terrain}, "glb2", s->path);
        if (!error.empty()) fprintf(stderr, "export failed: %s\n", error.c_str());
        s->model = R3D_LoadModelEx(s->path.c_str(), R3D_IMPORT_OPTIMIZE);

        const R3D_MeshData& mesh = r3d::FindModelData(s->model)->meshes.at(0);
        s->raylibIndices.assign(mesh.indices.begin(), mesh.indices.end());
        s->raylibMesh.vertexCount = static_cast<int>(mesh.positions.size());
        s->raylibMesh.triangleCount = static_cast<int>(mesh.indices.size() / 3);
        s->raylibMesh.vertices = const_cast<float*>(&mesh.positions[0].x);
        s->raylibMesh.indices = s->raylibIndices.data();

        s->transform = MatrixMultiply(MatrixRotateY(0.7f), MatrixTranslate(20.0f, -5.0f, 10.0f));
        // Rays from above the placed terrain, tilted up to 45 degrees from straight down,
        // and one in eight in any direction from anywhere around it.
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        for (int i = 0; i < 4096; i++) {
            Vector3 origin = Vector3Transform({unit(rng) * 50.0f, 20.0f + unit(rng) * 10.0f, unit(rng) * 50.0f},
                                              s->transform);
            Vector3 direction = {unit(rng), -1.0f, unit(rng)};
            if (i % 8 == 0) direction = {unit(rng), unit(rng), unit(rng)};
            s->rays.push_back({origin, Vector3Normalize(direction)});
        }
        return s;
    }();
    return *scene;
}

void BM_RaycastModel_Bvh(benchmark::State& state) {
    Scene& s = TheScene();
    size_t i = 0;
    int hits = 0;
    for (auto _ : state) {
        RayCollision hit = R3D_RaycastModel(s.rays[i++ & 4095], s.model, s.transform);
        hits += hit.hit;
        benchmark::DoNotOptimize(hit);
    }
    state.counters["triangles"] = s.model.triangleCount;
    state.counters["hit_ratio"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RaycastModel_Bvh)->Unit(benchmark::kMicrosecond);

void BM_GetRayCollisionMesh_Raylib(benchmark::State& state) {
    Scene& s = TheScene();
    size_t i = 0;
    int hits = 0;
    for (auto _ : state) {
        RayCollision hit = GetRayCollisionMesh(s.rays[i++ & 4095], s.raylibMesh, s.transform);
        hits += hit.hit;
        benchmark::DoNotOptimize(hit);
    }
    state.counters["triangles"] = s.raylibMesh.triangleCount;
    state.counters["hit_ratio"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_GetRayCollisionMesh_Raylib)->Unit(benchmark::kMicrosecond);

void BM_BuildBvh_100k(benchmark::State& state) {
    Scene& s = TheScene();
    const R3D_MeshData& mesh = r3d::FindModelData(s.model)->meshes.at(0);
    for (auto _ : state) {
        Bvh* bvh = BuildBvh(mesh.positions.data(), mesh.indices.data(), mesh.indices.size() / 3);
        benchmark::DoNotOptimize(bvh);
        state.counters["nodes"] = static_cast<double>(bvh->nodes.size());
        delete bvh;
    }
}
BENCHMARK(BM_BuildBvh_100k)->Unit(benchmark::kMillisecond);

// Whole import of the 100,000-triangle file: parse, normals, BVH, GPU upload.
void BM_LoadModel_100k(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        R3D_Model model = R3D_LoadModelEx(s.path.c_str(), R3D_IMPORT_OPTIMIZE);
        benchmark::DoNotOptimize(model);
        R3D_UnloadModel(model, true);
    }
}
BENCHMARK(BM_LoadModel_100k)->Unit(benchmark::kMillisecond);

// The loaded mesh's vertices and triangles, without anything a load built from them.
R3D_MeshData FreshCopy() {
    const R3D_MeshData& loaded = r3d::FindModelData(TheScene().model)->meshes.at(0);
    R3D_MeshData mesh;
    mesh.positions = loaded.positions;
    mesh.normals = loaded.normals;
    mesh.texcoords = loaded.texcoords;
    mesh.indices = loaded.indices;
    return mesh;
}

// Mesh optimisation and the level-of-detail chain for the 100,000-triangle mesh, as a
// load runs it (on a fresh copy of the mesh each time), against assimp alone importing
// the file with the steps a load asks of it.
void BM_BuildLods_100k(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        R3D_MeshData mesh = FreshCopy();
        state.ResumeTiming();
        r3d::OptimizeMesh(mesh);
        r3d::BuildLods(mesh);
        state.counters["levels"] = static_cast<double>(mesh.lods.size());
        state.counters["coarsest_triangles"] = static_cast<double>(mesh.lods.back().indexCount / 3);
    }
}
BENCHMARK(BM_BuildLods_100k)->Unit(benchmark::kMillisecond);

// All a load does to the mesh after import: vertex order, then the levels beside the BVH.
// Against BM_BuildBvh_100k, what the levels add to a load.
void BM_PrepareMesh_100k(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        R3D_MeshData mesh = FreshCopy();
        state.ResumeTiming();
        r3d::PrepareMesh(mesh);
        state.PauseTiming();
        delete mesh.bvh;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PrepareMesh_100k)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument 0: the default import's steps; 1: also R3D_IMPORT_OPTIMIZE's, as the engine loads.
void BM_AssimpImport_100k(benchmark::State& state) {
    Scene& s = TheScene();
    unsigned int steps = aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_JoinIdenticalVertices | aiProcess_FlipUVs;
    if (state.range(0) == 1) steps |= aiProcess_OptimizeGraph | aiProcess_OptimizeMeshes | aiProcess_RemoveRedundantMaterials;
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(s.path, steps);
        benchmark::DoNotOptimize(scene);
    }
}
BENCHMARK(BM_AssimpImport_100k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One frame's worth of instance work: map all four attributes, write every slot, unmap.
void BM_InstanceMapFillUnmap(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    R3D_InstanceBuffer buffer = R3D_LoadInstanceBuffer(count, R3D_INSTANCE_ALL);
    float frame = 0.0f;
    for (auto _ : state) {
        auto* positions = static_cast<Vector3*>(R3D_MapInstances(buffer, R3D_INSTANCE_POSITION));
        auto* rotations = static_cast<Vector4*>(R3D_MapInstances(buffer, R3D_INSTANCE_ROTATION));
        auto* scales = static_cast<Vector3*>(R3D_MapInstances(buffer, R3D_INSTANCE_SCALE));
        auto* colors = static_cast<Color*>(R3D_MapInstances(buffer, R3D_INSTANCE_COLOR));
        for (int i = 0; i < count; i++) {
            float f = frame + static_cast<float>(i);
            positions[i] = {f, 0.5f * f, -f};
            rotations[i] = {0.0f, 0.38268343f, 0.0f, 0.92387953f};
            scales[i] = {1.0f, 1.0f + 0.001f * f, 1.0f};
            colors[i] = {static_cast<unsigned char>(i), 128, 64, 255};
        }
        R3D_UnmapInstances(buffer, R3D_INSTANCE_ALL);
        frame += 1.0f;
    }
    state.SetItemsProcessed(state.iterations() * count);
    R3D_UnloadInstanceBuffer(buffer);
}
BENCHMARK(BM_InstanceMapFillUnmap)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    SetTraceLogLevel(LOG_WARNING);
    SetConfigFlags(FLAG_WINDOW_HIDDEN);
    InitWindow(320, 240, "renderer geometry benchmark");
    if (!IsWindowReady()) {
        fprintf(stderr, "no window: run under xvfb-run\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CloseWindow();
    return 0;
}
