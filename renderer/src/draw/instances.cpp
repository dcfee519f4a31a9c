// Per-instance attribute arrays: a CPU staging array and a GPU buffer per attribute.
// Mapping hands out the staging array; unmapping copies the instances in use (the count
// the buffer was last drawn with) to the GPU in one rlUpdateVertexBuffer call. Everything is allocated once, when the buffer is made,
// so a frame that maps, fills and unmaps allocates nothing.
#include <algorithm>  // Required for: std::min
#include <cstdlib>  // Required for: std::calloc, std::free

#include "base/Log.h"
#include "internal.h"
#include "rlgl.h"  // Required for: rlLoadVertexBuffer, rlUpdateVertexBuffer, rlUnloadVertexBuffer

namespace {

constexpr int kAttributes = 5;
constexpr int kAttributeSize[kAttributes] = {
    sizeof(Vector3),             // position
    sizeof(Vector4),             // rotation quaternion
    sizeof(Vector3),             // scale
    sizeof(Color),               // colour
    sizeof(R3D_AnimationState),  // animation (CPU only: poses are computed from it)
};

// Slots start as an untransformed white instance at the origin.
void FillDefaults(int index, void* staging, int capacity) {
    switch (index) {
        case 1: {
            Vector4* rotations = static_cast<Vector4*>(staging);
            for (int i = 0; i < capacity; i++) rotations[i] = {0.0f, 0.0f, 0.0f, 1.0f};
            break;
        }
        case 2: {
            Vector3* scales = static_cast<Vector3*>(staging);
            for (int i = 0; i < capacity; i++) scales[i] = {1.0f, 1.0f, 1.0f};
            break;
        }
        case 3: {
            Color* colors = static_cast<Color*>(staging);
            for (int i = 0; i < capacity; i++) colors[i] = WHITE;
            break;
        }
        case 4: {
            auto* states = static_cast<R3D_AnimationState*>(staging);
            for (int i = 0; i < capacity; i++) states[i] = {-1, 0.0f, -1, 0.0f, 1.0f};
            break;
        }
        default: break;  // positions stay zero
    }
}

}  // namespace

R3D_InstanceBuffer R3D_LoadInstanceBuffer(int capacity, int flags) {
    R3D_InstanceBuffer buffer{};
    buffer.capacity = capacity > 0 ? capacity : 0;
    buffer.flags = flags & R3D_INSTANCE_ALL;
    buffer.id = r3d::AddInstanceData();
    R3D_InstanceData* data = r3d::FindInstanceData(buffer);
    data->capacity = buffer.capacity;
    data->flags = buffer.flags;

    bool gpu = IsWindowReady();
    for (int index = 0; index < kAttributes; index++) {
        if ((buffer.flags & (1 << index)) == 0 || buffer.capacity == 0) continue;
        size_t bytes = static_cast<size_t>(buffer.capacity) * kAttributeSize[index];
        void* staging = std::calloc(static_cast<size_t>(buffer.capacity), kAttributeSize[index]);
        if (staging == nullptr) {
            base::Warn("R3D", "out of memory for %d instances", buffer.capacity);
            R3D_UnloadInstanceBuffer(buffer);
            // An empty buffer, still to be unloaded.
            return R3D_InstanceBuffer{0, 0, r3d::AddInstanceData()};
        }
        FillDefaults(index, staging, buffer.capacity);
        data->staging[index] = staging;
        if (index >= 4) continue;
        if (gpu) data->vbo[index] = rlLoadVertexBuffer(staging, static_cast<int>(bytes), true);
        data->uploaded[index] = buffer.capacity;
    }
    return buffer;
}

void R3D_UnloadInstanceBuffer(R3D_InstanceBuffer buffer) {
    R3D_InstanceData* data = r3d::InstanceData(buffer, "R3D_UnloadInstanceBuffer");
    if (data == nullptr) return;
    for (int index = 0; index < kAttributes; index++) {
        if (index < 4 && data->vbo[index] != 0) rlUnloadVertexBuffer(data->vbo[index]);
        std::free(data->staging[index]);
    }
    r3d::RemoveInstanceData(buffer.id);
}

void* R3D_MapInstances(R3D_InstanceBuffer buffer, int flag) {
    R3D_InstanceData* data = r3d::InstanceData(buffer, "R3D_MapInstances");
    int index = r3d::AttributeIndex(flag);
    if (data == nullptr || index < 0) return nullptr;
    return data->staging[index];  // null when the buffer was made without this attribute
}

void R3D_UnmapInstances(R3D_InstanceBuffer buffer, int flags) {
    R3D_InstanceData* data = r3d::InstanceData(buffer, "R3D_UnmapInstances");
    if (data == nullptr) return;
    // Before its first draw any slot may be in use.
    const int inUse = data->inUse < 0 ? data->capacity : std::min(data->inUse, data->capacity);
    for (int index = 0; index < 4; index++) {
        if ((flags & (1 << index)) == 0 || data->staging[index] == nullptr) continue;
        if (data->vbo[index] != 0 && inUse > 0) {
            rlUpdateVertexBuffer(data->vbo[index], data->staging[index], inUse * kAttributeSize[index], 0);
            rlDisableVertexBuffer();
        }
        data->uploaded[index] = inUse;  // a draw of more uploads the rest
    }
    data->dirty = 0;
}
