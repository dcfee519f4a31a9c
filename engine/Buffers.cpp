// Instance buffers: a named model with a renderer instance buffer whose slots
// point at the values of "Model" instances. Nothing is copied when an instance
// moves; every frame each buffer copies what its slots point at and draws.
#include <climits>
#include <cstring>

#include "Lookup.h"
#include "Messages.h"
#include "World.h"

namespace World::Buffers {

namespace {

// The buffer index under `name`, or -1; never adds a name.
int IndexOf(const std::string& name) {
    auto it = Names.find(name);
    return it == Names.end() ? -1 : it->second;
}

}  // namespace

void CreateBuffer(std::string name, R3D_Model model, int capacity) {
    Fail(Fatal::CreateBufferExists, Names.count(name) != 0, name);
    // The counters only grow; signed overflow would repeat indices and slot numbers.
    Fail(Fatal::OutOfBufferIndices, BufferCount == INT_MAX, name);
    // The renderer's buffer first: should it fail, no name is left without a buffer.
    R3D_InstanceBuffer gpu = R3D_LoadInstanceBuffer(capacity, R3D_INSTANCE_ALL);
    const int index = BufferCount;
    Names[name] = index;
    Buffers[index] = gpu;
    Positions[index] = {};
    Rotations[index] = {};
    Scales[index] = {};
    Colors[index] = {};
    Players[index] = {};
    Models[index] = model;
    ++BufferCount;
}

void RemoveBuffer(std::string buffer) {
    const int index = IndexOf(buffer);
    Fail(Fatal::RemoveBufferMissing, index < 0, buffer);
    R3D_UnloadInstanceBuffer(Buffers[index]);
    Buffers.erase(index);
    Positions.erase(index);
    Rotations.erase(index);
    Scales.erase(index);
    Colors.erase(index);
    Players.erase(index);
    R3D_UnloadModel(Models[index], true);
    Models.erase(index);
    Names.erase(buffer);
}

void ReplaceModel(const std::string& buffer, R3D_Model model) {
    const int index = IndexOf(buffer);
    if (index < 0) {  // unloaded meanwhile: nothing draws it
        R3D_UnloadModel(model, true);
        return;
    }
    R3D_UnloadModel(Models[index], true);
    Models[index] = model;
}

// No capacity test here: the next frame's update stops the program if the buffer is over-full.
int MapInstance(std::string buffer, Vector3* position, Quaternion* rotation, Vector3* scale, Color* color,
                Animation::Player* player) {
    const int index = IndexOf(buffer);
    Fail(Fatal::MapBufferMissing, index < 0, buffer);
    Fail(Fatal::OutOfSlotNumbers, InstanceCount == INT_MAX, buffer);
    const int slot = InstanceCount;
    Positions[index].Insert(slot, position);
    Rotations[index].Insert(slot, rotation);
    Scales[index].Insert(slot, scale);
    Colors[index].Insert(slot, color);
    Players[index].Insert(slot, player);
    ++InstanceCount;
    return slot;
}

void UnmapInstance(std::string buffer, int instance) {
    const int index = IndexOf(buffer);
    Fail(Fatal::UnmapBufferMissing, index < 0, buffer);
    Fail(Fatal::UnmapSlotMissing, !Positions[index].Contains(instance), buffer);
    Positions[index].Erase(instance);
    Rotations[index].Erase(instance);
    Scales[index].Erase(instance);
    Colors[index].Erase(instance);
    Players[index].Erase(instance);
}

bool HoldsSlot(int id) {
    const std::string* tied = Api::FindVariable<std::string>(id, "Tied Model");
    const int* slot = Api::FindVariable<int>(id, "Buffer Index");
    const int index = tied ? IndexOf(*tied) : -1;
    return index >= 0 && slot && Positions[index].Contains(*slot);
}

void UpdateBuffer(std::string buffer) {
    const int index = IndexOf(buffer);
    Fail(Fatal::UpdateBufferMissing, index < 0, buffer);
    const R3D_InstanceBuffer& gpu = Buffers[index];
    const SlotMap<Vector3>& positions = Positions[index];
    const int count = static_cast<int>(positions.size());
    Fail(Fatal::UpdateBufferFull, gpu.capacity < count, buffer, count, gpu.capacity);

    auto* outPositions = static_cast<Vector3*>(R3D_MapInstances(gpu, R3D_INSTANCE_POSITION));
    auto* outRotations = static_cast<Quaternion*>(R3D_MapInstances(gpu, R3D_INSTANCE_ROTATION));
    auto* outScales = static_cast<Vector3*>(R3D_MapInstances(gpu, R3D_INSTANCE_SCALE));
    auto* outColors = static_cast<Color*>(R3D_MapInstances(gpu, R3D_INSTANCE_COLOR));
    // Only an animated model's poses are computed; others skip the copy.
    auto* outStates = R3D_GetModelAnimationCount(Models[index]) > 0
                          ? static_cast<R3D_AnimationState*>(R3D_MapInstances(gpu, R3D_INSTANCE_ANIMATION))
                          : nullptr;

    // The four slot arrays are aligned index for index (same slots, same holes):
    // one pass over them, in slot order, fills element i of all four outputs.
    const auto& p = positions.Values();
    const auto& r = Rotations[index].Values();
    const auto& s = Scales[index].Values();
    const auto& c = Colors[index].Values();
    const auto& a = Players[index].Values();
    if (count > 0 && outPositions && outRotations && outScales && outColors) {
        const std::size_t n = p.size();
        constexpr std::size_t kAhead = 32;  // addresses point all over the heap: fetch well ahead
        int i = 0;
        for (std::size_t k = 0; k < n; ++k) {
            if (k + kAhead < n && p[k + kAhead]) {
                __builtin_prefetch(p[k + kAhead]);
                __builtin_prefetch(s[k + kAhead]);
                __builtin_prefetch(c[k + kAhead]);
            }
            if (!p[k]) continue;
            outPositions[i] = *p[k];
            outRotations[i] = *r[k];
            outScales[i] = *s[k];
            outColors[i] = *c[k];
            if (outStates) outStates[i] = Animation::State(*a[k]);
            ++i;
        }
    }
    R3D_UnmapInstances(gpu, R3D_INSTANCE_ALL);
}

void DrawBuffer(std::string buffer) {
    const int index = IndexOf(buffer);
    Fail(Fatal::DrawBufferMissing, index < 0, buffer);
    R3D_DrawModelInstanced(Models[index], Buffers[index], static_cast<int>(Positions[index].size()));
}

void Draw() {
    for (const auto& entry : Names) {
        UpdateBuffer(entry.first);
        DrawBuffer(entry.first);
    }
}

}  // namespace World::Buffers
