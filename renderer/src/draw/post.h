// The passes around the lit scene: the sky behind it, and, while ambient occlusion or
// bloom is on, the screen-space passes over what the scene left in the framebuffer.
// Off, they cost nothing.
#pragma once

#include "raylib.h"  // Required for: Matrix, Vector3

namespace r3d {

struct SkyView {
    Matrix viewProj;
    Vector3 eye;
    float exposure;
};

// Inside the lit pass, after the opaque meshes: the sky where nothing was drawn (a flat
// colour when no sky was set but fog is on). False when there is nothing to draw.
bool DrawSky(const SkyView& view);
// At R3D_End, once the scene is drawn: with ambient occlusion or bloom on, reads back the
// depth and the picture from the bound framebuffer (copies, no redirection of the scene)
// and darkens and brightens the picture in one blended pass. `proj` is the camera's.
void ApplyScreenPasses(const Matrix& proj, float nearPlane, float farPlane);
// The sky map's texture unit in the lit pass.
constexpr int kUnitSky = 9;
void UnloadPostResources();

}  // namespace r3d
