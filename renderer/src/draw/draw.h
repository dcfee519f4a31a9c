// Instanced drawing: the queue of draws made between R3D_Begin and R3D_End, culling of
// instances against a view, and the submission of the queued draws.
#pragma once

#include <vector>

#include "internal.h"
#include "draw/shaders.h"

namespace r3d {

struct DrawCommand {
    const R3D_ModelData* model = nullptr;
    R3D_InstanceData* instances = nullptr;  // not const: drawing uploads what an unmap left out
    int count = 0;
    // Model-space bounding sphere, for culling instances.
    Vector3 center{};
    float radius = 0.0f;
    // An animated model's: where its instances' poses start among the frame's (in joint
    // matrices; instance i's at poseBase + i * joints). -1 for a rigid model.
    int poseBase = -1;
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

// A sphere in world space around what one draw call draws.
struct Bounds {
    Vector3 center{};
    float radius = 0.0f;
};

// One mesh's instanced draw as a pass sees it.
struct MeshDraw {
    const R3D_ModelData& model;
    const R3D_MeshData& mesh;
    Bounds bounds;  // of the instances drawn
    int instances = 0;
    int poseBase = -1;  // the command's (see DrawCommand)
};

// Poses every instance of each animated model's draws for the frame (once, for every
// view) into one texture buffer, and sets the draws' poseBase.
void PoseDraws(std::vector<DrawCommand>& draws);
// Binds the frame's poses to the texture unit, and sets a skinned program's uniforms.
void SetPoseUniforms(int posesLocation, int baseLocation, int jointsLocation, const MeshDraw& draw);

// What a pass does before drawing a mesh: binds its program and material (the lights
// reaching the draw's bounds decide the program), and says in how many parts of the screen
// the mesh is drawn, each with its own program and scissor (0: not in this pass at all).
// Called with part 0 first, then once before each further part; a later call returning 0
// skips that part. A reference to the caller's callable, so that a frame allocates nothing
// (std::function would, for a lambda with a few captures).
class MeshPrepare {
public:
    template <typename F>
    MeshPrepare(F& f)  // NOLINT: made implicitly from the pass's lambda
        : object_(&f), call_([](void* o, const MeshDraw& draw, int part) { return (*static_cast<F*>(o))(draw, part); }) {}
    int operator()(const MeshDraw& draw, int part) const { return call_(object_, draw, part); }

private:
    void* object_;
    int (*call_)(void*, const MeshDraw&, int);
};

// Issues the instanced draw calls of every command, each mesh after `prepare` accepted it.
// Instances whose bounds lie outside the view are left out, the rest sorted into buckets
// by level of detail and by whether their scale mirrors them; one draw per bucket and
// mesh. When the instances drawn are not simply the buffer's first ones in order, they are
// copied from the buffer's CPU arrays into scratch buffers and drawn from there.
void ExecuteDraws(const std::vector<DrawCommand>& draws, const MeshPrepare& prepare, const DrawView& view);

// The same for models with blended meshes, instance by instance from the farthest to
// the nearest seen from `eye`, so that what lies behind is drawn first.
void ExecuteBlendedDraws(const std::vector<DrawCommand>& draws, const MeshPrepare& prepare, const DrawView& view,
                         Vector3 eye);

// Back faces culled, or both faces drawn for a double-sided material.
void SetCulling(bool doubleSided);
// Binds a 2D texture (0: none) to a texture unit.
void BindTexture(int unit, unsigned int id);

// A mesh's material (a default one for an index out of range).
const Material& MaterialOf(const R3D_ModelData& model, const R3D_MeshData& mesh);

void UnloadDrawResources();

}  // namespace r3d
