// Instanced drawing: the queue of draws made between R3D_Begin and R3D_End, culling of
// instances against a view, and the submission of the queued draws.
#pragma once

#include <vector>

#include "internal.h"
#include "shaders.h"

namespace r3d {

struct DrawCommand {
    const R3D_ModelData* model = nullptr;
    const R3D_InstanceData* instances = nullptr;
    int count = 0;
    // Model-space bounding sphere, for culling instances.
    Vector3 center{};
    float radius = 0.0f;
};

// Draws made in the current scene, executed by R3D_End (shadow maps need all of them
// before the lit pass). Cleared, not freed, every scene.
std::vector<DrawCommand>& DrawQueue();

// The six planes of a view's clip volume, pointing inwards.
struct Frustum {
    Vector4 planes[6];
};
Frustum FrustumOf(const Matrix& viewProj);

// Starts a frame's use of the scratch instance buffers that hold culled instances.
void BeginCulling();

// Issues one instanced draw call per mesh of every command with the program already in
// use. With a frustum, instances whose bounds lie outside it are left out: when some are,
// the rest are copied from the buffer's CPU arrays into scratch buffers and drawn from
// there. With a scene program it also binds each mesh's material; without one (depth
// pass) only geometry is drawn.
void ExecuteDraws(const std::vector<DrawCommand>& draws, const SceneProgram* scene, const Frustum* frustum);

void UnloadDrawResources();

}  // namespace r3d
