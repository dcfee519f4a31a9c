// Shadow maps: the shared layered depth textures, deciding which maps to redraw each
// frame, fitting each light's projection, and the depth passes.
#pragma once

#include <vector>

#include "draw/draw.h"
#include "draw/lights.h"
#include "draw/shaders.h"

namespace r3d {

// What the scene's camera sees, for fitting directional shadows to the view.
struct SceneView {
    Camera3D camera{};
    float aspect = 1.0f;
    float nearPlane = 0.05f;
    float farPlane = 4000.0f;
    Frustum frustum{};
};

// Whether a light can reach anything the camera sees: spot and omni light reach no
// farther than their range. Lights that cannot are neither shaded nor shadow-mapped.
bool LightTouchesView(const LightData& light, const Frustum& view);

// Redraws the maps of active shadowed lights whose update mode asks for it, drawing
// `draws` into them, each at the levels of detail its own resolution asks for, counted in
// `stats`. Leaves the framebuffer and viewport as it found them.
void UpdateShadows(const SceneView& view, const std::vector<DrawCommand>& draws, Programs& programs,
                   R3D_ViewStats* stats);

// The layered depth texture of a kind of light (cube maps for omni lights); 0: none yet.
unsigned int ShadowTexture(R3D_LightType type);

void UnloadShadowResources();

}  // namespace r3d
