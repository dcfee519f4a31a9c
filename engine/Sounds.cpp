// Named sounds and music streams, and placed "Sound" instances: where each is
// heard from, given to the audio layer once a frame with the camera as listener.
#include "CFrame.h"
#include "Global.h"
#include "Instance.h"
#include "Messages.h"
#include "World.h"
#include "raymath.h"

namespace World::Sounds {

std::unordered_map<std::string, A3D_Sound> Names;
std::unordered_map<std::string, A3D_Music> Music;
std::unordered_set<int> Placed;

A3D_Sound Named(const char* entry, const std::string& name) {
    auto it = Names.find(name);
    Fail(Fatal::SoundMissing, it == Names.end(), entry, name);
    return it->second;
}

A3D_Music MusicNamed(const char* entry, const std::string& name) {
    auto it = Music.find(name);
    Fail(Fatal::MusicMissing, it == Music.end(), entry, name);
    return it->second;
}

}  // namespace World::Sounds

namespace World {

const CFrame* ParentFrame(const Instance& placed) {
    auto parent = Instances.find(placed.Parent);
    if (parent == Instances.end()) return nullptr;
    const char* slot = parent->second.Type == "Model" ? "CFrame" : parent->second.Type == "CFrame" ? "Value" : nullptr;
    if (!slot) return nullptr;
    auto value = parent->second.Variables.find(slot);
    return value == parent->second.Variables.end() ? nullptr : std::any_cast<CFrame>(&value->second);
}

}  // namespace World

namespace World::Sounds {

Vector3 WorldPosition(int id) {
    auto record = Instances.find(id);
    if (record == Instances.end()) return {0, 0, 0};
    auto slot = record->second.Variables.find("Position");
    const Vector3* offset = slot == record->second.Variables.end() ? nullptr : std::any_cast<Vector3>(&slot->second);
    const Vector3 local = offset ? *offset : Vector3{0, 0, 0};
    const CFrame* frame = ParentFrame(record->second);
    if (!frame) return local;
    return Vector3Add(frame->Position, Vector3RotateByQuaternion(local, frame->Rotation));
}

void Place(int id) {
    auto record = Instances.find(id);
    if (record == Instances.end()) return;
    auto emitter = record->second.Variables.find("Emitter");
    if (emitter == record->second.Variables.end()) return;
    if (const int* handle = std::any_cast<int>(&emitter->second))
        A3D_SetEmitterPosition(A3D_Emitter{static_cast<unsigned>(*handle)}, WorldPosition(id));
}

void Update() {
    A3D_SetListener(GameCamera.position, Vector3Subtract(GameCamera.target, GameCamera.position), GameCamera.up);
    for (int id : Placed) Place(id);
}

void Clear() {
    for (const auto& entry : Names) A3D_UnloadSound(entry.second);
    for (const auto& entry : Music) A3D_UnloadMusic(entry.second);
    Names.clear();
    Music.clear();
}

}  // namespace World::Sounds
