// Particle emitters (R3D_CreateParticles...): what the frame needs of them. The emitters
// are stepped by R3D_UpdateParticles; R3D_DrawParticles queues one for R3D_End, which
// draws the queue after the blended meshes.
#pragma once

#include "raylib.h"  // Required for: Camera3D, Matrix

namespace r3d {

// Draws every emitter queued since R3D_Begin, with the frame's depth buffer and fog.
// `ambient` is the light the sky gives them (the uAmbient hook). Leaves rlgl the state
// its batch expects.
void DrawQueuedParticles(const Camera3D& camera, const Matrix& viewProj, const float ambient[3]);
// Forgets the queue (R3D_End, drawn or not).
void ClearQueuedParticles();
// Frees the programs, the dot texture and every emitter's GPU buffers; they are made
// again at the next draw. The emitters and their particles stay.
void UnloadParticleResources();

}  // namespace r3d
