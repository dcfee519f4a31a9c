// Instance entries: create scene objects of the six kinds, name them, move
// them in the tree, look them up, reach their variable slots, destroy them.
#include <stdexcept>

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
void SetUpModel(Instance& inst, std::string buffer) {
    inst.Variables["CFrame"] = CFrame();
    inst.Variables["Color"] = Color{0, 0, 0, 0};
    inst.Variables["Scale"] = Vector3{0, 0, 0};
    inst.Variables["Tied Model"] = std::move(buffer);
    CFrame* cframe = std::any_cast<CFrame>(&inst.Variables["CFrame"]);
    const int id = inst.id;
    int slot = Buffers::MapInstance(std::any_cast<const std::string&>(inst.Variables["Tied Model"]), &cframe->Position,
                                    &cframe->Rotation, std::any_cast<Vector3>(&inst.Variables["Scale"]),
                                    std::any_cast<Color>(&inst.Variables["Color"]), &Animation::Players[id]);
    inst.Variables["Buffer Index"] = slot;
    App::NoteNewModel(id);
    inst.OnDestroy = [id](std::vector<std::any>) {
        Instance& self = Instances[id];
        Buffers::UnmapInstance(std::any_cast<std::string>(self.Variables["Tied Model"]),
                               std::any_cast<int>(self.Variables["Buffer Index"]));
        Animation::Players.erase(id);
        Physics::RemoveBody(id);
    };
}

// "Character": a capsule of the physics layer with its foot at "Position", which
// the step keeps up to date; "Radius" and "Height" say its size.
void SetUpCharacter(Instance& inst, P3D_Character character, float radius, float height) {
    inst.Variables["Position"] = Vector3{0, 0, 0};
    inst.Variables["Radius"] = radius;
    inst.Variables["Height"] = height;
    const int id = inst.id;
    Physics::Characters[id] = character;
    inst.OnDestroy = [id](std::vector<std::any>) {
        auto it = Physics::Characters.find(id);
        if (it == Physics::Characters.end()) return;
        P3D_DestroyCharacter(it->second);
        Physics::Characters.erase(it);
    };
}

// A character's size is read and checked before the instance exists.
P3D_Character NewCharacter(const Params& params, const char* entry, float* radius, float* height) {
    *radius = Arg<float>(params, 1, entry);
    *height = Arg<float>(params, 2, entry);
    // It carries the id the instance is about to get, handed back in hits and events.
    const P3D_Character character = P3D_CreateCharacter(*radius, *height, {0, 0, 0}, inst_count);
    Fail(Fatal::CharacterRefused, character == 0, entry, P3D_GetError());
    return character;
}

// "Light": one renderer light, owned by the instance.
void SetUpLight(Instance& inst, const std::string& kind) {
    const int type = kind == "Global" ? R3D_LIGHT_DIR : kind == "Spot" ? R3D_LIGHT_SPOT : kind == "Point" ? R3D_LIGHT_OMNI : -1;
    Fail(Fatal::InvalidLightType, type < 0, kind);
    inst.Variables["Value"] = static_cast<int>(R3D_CreateLight(static_cast<R3D_LightType>(type)));
    const int id = inst.id;
    inst.OnDestroy = [id](std::vector<std::any>) { R3D_DestroyLight(std::any_cast<int>(Instances[id].Variables["Value"])); };
}

// "Sound": one emitter of the audio layer, owned by the instance, heard from
// its "Position" (relative to its parent when that is a Model or a CFrame).
void SetUpSound(Instance& inst, A3D_Sound sound, std::string name) {
    inst.Variables["Emitter"] = static_cast<int>(A3D_CreateEmitter(sound).id);
    inst.Variables["Sound"] = std::move(name);
    inst.Variables["Position"] = Vector3{0, 0, 0};
    const int id = inst.id;
    Sounds::Placed.insert(id);
    Sounds::Place(id);
    inst.OnDestroy = [id](std::vector<std::any>) {
        A3D_DestroyEmitter(A3D_Emitter{static_cast<unsigned>(std::any_cast<int>(Instances[id].Variables["Emitter"]))});
        Sounds::Placed.erase(id);
    };
}

// "Particles": one emitter of the renderer, owned by the instance, emitting from its
// "Position" (relative to its parent when that is a Model or a CFrame, whose turn its
// velocity takes too), with the texture of the image named "Texture" ("" the dot).
void SetUpParticles(Instance& inst, R3D_Particles emitter) {
    inst.Variables["Particle Emitter"] = static_cast<int>(emitter);
    inst.Variables["Position"] = Vector3{0, 0, 0};
    inst.Variables["Texture"] = std::string();
    const int id = inst.id;
    Particles::Emitters.insert(id);
    Particles::Place(id);
    inst.OnDestroy = [id](std::vector<std::any>) {
        R3D_DestroyParticles(std::any_cast<int>(Instances[id].Variables["Particle Emitter"]));
        Particles::Emitters.erase(id);
    };
}

// The most particles alive is read and checked before the instance exists.
R3D_Particles NewParticles(const Params& params, const char* entry) {
    const int most = Arg<int>(params, 1, entry);
    if (most < 1)
        throw BadValue(std::string(entry) + ": argument 1 (most particles alive) " + std::to_string(most) +
                       " is not 1 or more");
    // Above the renderer's limit the emitter holds the limit, with the renderer's warning.
    const R3D_Particles emitter = R3D_CreateParticles(most);
    if (emitter == 0) throw BadValue(std::string(entry) + ": the renderer made no emitter (see its warning)");
    return emitter;
}

// Argument 1 (read for "Model", "Light" and "Sound" as a name, for "Particles" as an
// int; a "Character" reads its radius and height from 1 and 2) is read, and a sound's
// name looked up, before the instance exists, so a call that fails creates nothing and
// uses up no id.
std::any New(const Params& params, const char* entry) {
    std::string kind = Arg<std::string>(params, 0, entry);
    const bool named = kind == "Model" || kind == "Light" || kind == "Sound";
    std::string extra = named ? Arg<std::string>(params, 1, entry) : std::string();
    const A3D_Sound sound = kind == "Sound" ? Sounds::Named(entry, extra) : A3D_Sound{};
    float radius = 0, height = 0;
    const P3D_Character character = kind == "Character" ? NewCharacter(params, entry, &radius, &height) : 0;
    const R3D_Particles emitter = kind == "Particles" ? NewParticles(params, entry) : 0;
    const int id = Instance(kind, 1).id;
    Instance& inst = Instances[id];
    inst.Type = kind;
    if (kind == "CFrame") inst.Variables["Value"] = CFrame();
    else if (kind == "Model") SetUpModel(inst, std::move(extra));
    else if (kind == "Light") SetUpLight(inst, extra);
    else if (kind == "Sound") SetUpSound(inst, sound, std::move(extra));
    else if (kind == "Character") SetUpCharacter(inst, character, radius, height);
    else if (kind == "Particles") SetUpParticles(inst, emitter);
    else Fail(Fatal::InvalidInstanceType, true, kind);
    return id;
}

// "Null" and "Root" hold the tree up: they are never destroyed or moved (and
// "Null", its own parent, is never renamed, which would list it under itself).
void RefuseFixed(int id, const char* entry, const char* change, bool rootToo) {
    if (id == 0 || (id == 1 && rootToo))
        throw std::invalid_argument(std::string(entry) + ": \"" + (id == 0 ? "Null" : "Root") + "\" (id " +
                                    std::to_string(id) + ") cannot be " + change);
}

int GetParent(int id) { return Instances[id].GetParent(); }

// A move that would put an instance under itself or under one of its own
// descendants would cut a loop off the tree; it is refused before anything changes.
void SetParent(int id, int parent) {
    RefuseFixed(id, "Instance.SetParent", "moved", true);
    auto it = Instances.find(id);
    if (it != Instances.end() && it->second.Registered() && it->second.Encloses(parent))
        throw std::invalid_argument("Instance.SetParent: instance " + std::to_string(id) +
                                    " cannot be moved under " + std::to_string(parent) +
                                    ", which is itself or one of its descendants");
    Instances[id].SetParent(parent);
}

std::string GetName(int id) { return Instances[id].GetName(); }
void SetName(int id, std::string name) {
    RefuseFixed(id, "Instance.SetName", "renamed", false);
    Instances[id].SetName(std::move(name));
}
std::string Type(int id) { return Instances[id].Type; }
void Destroy(int id) {
    RefuseFixed(id, "Instance.Destroy", "destroyed", true);
    Instances[id].Destroy();
}
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
    c.push_back(RawOp<int, std::string, std::string>("Instance.New", New,
        "Creates an instance of that type with \"Root\" as its parent and yields its id.",
        {"type: \"CFrame\", \"Model\", \"Light\", \"Sound\", \"Character\" or \"Particles\"",
         "for \"Model\" the model buffer name, for \"Light\" the light kind (\"Global\", \"Spot\" or \"Point\"), "
         "for \"Sound\" the name of a loaded sound, for \"Character\" its radius as a float (and its height as a "
         "float in argument 2), for \"Particles\" the most particles alive at once as an int (1 to 100,000)"}));
    c.push_back(Op("Instance.GetParent", GetParent, "Id of the instance's parent.", {"id"}));
    c.push_back(Func("Instance.SetParent", SetParent,
        "Moves the instance under another parent.",
        {"id", "new parent id"}));
    c.push_back(Op("Instance.GetName", GetName, "The instance's name.", {"id"}));
    c.push_back(Func("Instance.SetName", SetName,
        "Renames the instance and its entry in the parent's child table.",
        {"id", "new name"}));
    c.push_back(Op("Instance.Type", Type, "The instance's type.", {"id"}));
    c.push_back(Func("Instance.Destroy", Destroy, "Destroys the instance and all its descendants.", {"id"}));
    c.push_back(Op("Instance.GetChildren", GetChildren, "Copy of the child table.", {"id"}));
    c.push_back(Op("Instance.GetChild", GetChild,
        "Id of the child of that name, 0 when there is none.",
        {"id", "child name"}));
    c.push_back(Op("Instance.Get", Get, "Handle of the named variable.", {"id", "variable name"}));
}

}  // namespace World::Api
