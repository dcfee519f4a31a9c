// Instanced drawing: the queue of draws made between R3D_Begin and R3D_End, and
// the submission of one queued draw with its instance attributes.
#pragma once

#include <vector>

#include "internal.h"
#include "shaders.h"

namespace r3d {

struct DrawCommand {
    const R3D_ModelData* model = nullptr;
    const R3D_InstanceData* instances = nullptr;
    int count = 0;
};

// Draws made in the current scene, executed by R3D_End (shadow maps need all of them
// before the lit pass). Cleared, not freed, every scene.
std::vector<DrawCommand>& DrawQueue();

// Issues one instanced draw call per mesh of every command with the program already in
// use. With a scene program it also binds each mesh's material; without one (depth
// pass) only geometry is drawn.
void ExecuteDraws(const std::vector<DrawCommand>& draws, const SceneProgram* scene);

}  // namespace r3d
