// Instanced drawing: the queue of draws made between R3D_Begin and R3D_End, culling of
// instances against a view, and the submission of the queued draws.
#pragma once

#include <vector>

#include "internal.h"
#include "shaders.h"

namespace r3d {

struct DrawCommand {
    const R3D_ModelData* model = nullptr;
    R3D_InstanceData* instances = nullptr;  // not const: drawing uploads what an unmap left out
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

// A view as drawing needs it: what it sees, and how large things look in it.
struct DrawView {
    Frustum frustum{};
    Vector4 depthRow{};          // clip w: distance along the view's axis (1 everywhere for orthographic)
    float depthRowScale = 0.0f;  // length of depthRow's xyz
    float pixelsPerUnit = 0.0f;  // pixels a world unit covers at depth 1
    float lodPixels = 0.0f;      // error a level of detail may show, in pixels (0: full detail only)
    R3D_ViewStats* stats = nullptr;  // where the view's draws are counted, if anywhere
};
// The view of a world-to-clip matrix drawn into width x height pixels, choosing levels of
// detail within the error R3D_SetLodPixelError set.
DrawView MakeDrawView(const Matrix& viewProj, int width, int height, R3D_ViewStats* stats);

// Starts a frame's use of the scratch instance buffers that hold culled instances.
void BeginCulling();

// Issues the instanced draw calls of every command with the program already in use.
// Instances whose bounds lie outside the view are left out, the rest sorted into buckets
// by level of detail and by whether their scale mirrors them; one draw per bucket and
// mesh. When the instances drawn are not simply the buffer's first ones in order, they are
// copied from the buffer's CPU arrays into scratch buffers and drawn from there. With a
// scene program it also binds each mesh's material; without one (depth pass) only
// geometry is drawn.
void ExecuteDraws(const std::vector<DrawCommand>& draws, const SceneProgram* scene, const DrawView& view);

void UnloadDrawResources();

}  // namespace r3d
