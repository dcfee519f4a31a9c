// Model files into named instance buffers, and the ray test against one model
// instance.
#include "Catalog.h"
#include "Reload.h"
#include "World.h"
#include "r3d.h"

namespace World::Api {

// A ray hit crosses as four values: hit, distance, point, normal.
template <>
struct Kind<World::RaycastSingle> {
    static constexpr KindInfo kInfo{"hit", "4 values: bool hit, float distance, vec3 point, vec3 normal"};
    static std::any Write(const World::RaycastSingle& r) {
        return std::vector<std::any>{r.hit, r.distance, Kind<Vector3>::Write(r.point), Kind<Vector3>::Write(r.normal)};
    }
};

namespace {

// The file is loaded before the name is checked, as the game has always seen it.
void LoadModel(std::string name, std::string path, int max) {
    R3D_Model model = R3D_LoadModelEx(path.c_str(), R3D_IMPORT_OPTIMIZE);
    if (!Reload::Enabled()) return Buffers::CreateBuffer(std::move(name), model, max);
    Buffers::CreateBuffer(name, model, max);
    Reload::WatchModel(name, path);  // a rewritten file is loaded again
}

void UnloadModel(std::string name) { Buffers::RemoveBuffer(std::move(name)); }

World::RaycastSingle Raycast(int id, Vector3 position, Vector3 direction) { return {id, position, direction}; }

}  // namespace

void AddAssetEntries(Catalog& c) {
    c.push_back(Func("LoadModel", LoadModel,
        "Loads a model file into a new named instance buffer.",
        {"model buffer name", "model file path", "capacity"}));
    c.push_back(Func("UnloadModel", UnloadModel, "Removes that buffer and its model.", {"model buffer name"}));
}

void AddRaycastEntries(Catalog& c) {
    c.push_back(Op("RaycastSingle", Raycast,
        "Tests the ray against that instance's model.",
        {"id of a Model instance", "ray origin", "ray direction"}));
}

}  // namespace World::Api
