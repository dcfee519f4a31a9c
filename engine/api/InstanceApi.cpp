// Instance entries: create scene objects of the three kinds, name them, move
// them in the tree, look them up, reach their variable slots, destroy them.
#include "CFrame.h"
#include "Catalog.h"
#include "Instance.h"
#include "Messages.h"
#include "World.h"
#include "r3d.h"

namespace World::Api {
namespace {

// "Model": a transform, colour and scale that its buffer reads by address
// every frame, so they are set up before mapping and only changed in place.
void SetUpModel(Instance& inst, const Params& params, const char* entry) {
    inst.Variables["CFrame"] = CFrame();
    inst.Variables["Color"] = Color{0, 0, 0, 0};
    inst.Variables["Scale"] = Vector3{0, 0, 0};
    inst.Variables["Tied Model"] = Arg<std::string>(params, 1, entry);
    CFrame* cframe = std::any_cast<CFrame>(&inst.Variables["CFrame"]);
    int slot = Buffers::MapInstance(std::any_cast<const std::string&>(inst.Variables["Tied Model"]), &cframe->Position,
                                    &cframe->Rotation, std::any_cast<Vector3>(&inst.Variables["Scale"]),
                                    std::any_cast<Color>(&inst.Variables["Color"]));
    inst.Variables["Buffer Index"] = slot;
    const int id = inst.id;
    inst.OnDestroy = [id](std::vector<std::any>) {
        Instance& self = Instances[id];
        Buffers::UnmapInstance(std::any_cast<std::string>(self.Variables["Tied Model"]),
                               std::any_cast<int>(self.Variables["Buffer Index"]));
    };
}

// "Light": one renderer light, owned by the instance.
void SetUpLight(Instance& inst, const Params& params, const char* entry) {
    const std::string& kind = Arg<std::string>(params, 1, entry);
    const int type = kind == "Global" ? R3D_LIGHT_DIR : kind == "Spot" ? R3D_LIGHT_SPOT : kind == "Point" ? R3D_LIGHT_OMNI : -1;
    Fail(Fatal::InvalidLightType, type < 0, kind);
    inst.Variables["Value"] = static_cast<int>(R3D_CreateLight(static_cast<R3D_LightType>(type)));
    const int id = inst.id;
    inst.OnDestroy = [id](std::vector<std::any>) { R3D_DestroyLight(std::any_cast<int>(Instances[id].Variables["Value"])); };
}

// Argument 1 is read only once the instance exists, as the game has always seen it.
std::any New(const Params& params, const char* entry) {
    std::string kind = Arg<std::string>(params, 0, entry);
    const int id = Instance(kind, 1).id;
    Instance& inst = Instances[id];
    inst.Type = kind;
    if (kind == "CFrame") inst.Variables["Value"] = CFrame();
    else if (kind == "Model") SetUpModel(inst, params, entry);
    else if (kind == "Light") SetUpLight(inst, params, entry);
    else Fail(Fatal::InvalidInstanceType, true, kind);
    return id;
}

int GetParent(int id) { return Instances[id].GetParent(); }
void SetParent(int id, int parent) { Instances[id].SetParent(parent); }
std::string GetName(int id) { return Instances[id].GetName(); }
void SetName(int id, std::string name) { Instances[id].SetName(std::move(name)); }
std::string Type(int id) { return Instances[id].Type; }
void Destroy(int id) { Instances[id].Destroy(); }
std::unordered_map<std::string, int> GetChildren(int id) { return Instances[id].Children; }
int GetChild(int id, std::string name) { return Instances[id].GetChild(std::move(name)); }

// The slot's address, valid while the record exists (see LiveHandles).
std::any* Get(int id, std::string name) {
    std::any* slot = &Instances[id].Variables[name];
    LiveHandles.insert(slot);
    return slot;
}

}  // namespace

void AddInstanceEntries(Catalog& c) {
    c.push_back(RawOp<int, std::string, std::string>("Instance.New", New));
    c.push_back(Op("Instance.GetParent", GetParent));
    c.push_back(Func("Instance.SetParent", SetParent));
    c.push_back(Op("Instance.GetName", GetName));
    c.push_back(Func("Instance.SetName", SetName));
    c.push_back(Op("Instance.Type", Type));
    c.push_back(Func("Instance.Destroy", Destroy));
    c.push_back(Op("Instance.GetChildren", GetChildren));
    c.push_back(Op("Instance.GetChild", GetChild));
    c.push_back(Op("Instance.Get", Get));
}

}  // namespace World::Api
