// The passes around the lit scene: the sky behind it, and, while ambient occlusion or
// bloom is on, the offscreen target the scene is drawn into and the screen-space passes
// that bring it to the screen. Off, they cost nothing: the scene is drawn straight to
// the screen as before.
#pragma once

#include "raylib.h"  // Required for: Matrix, Vector3

namespace r3d {

struct SkyView {
    Matrix viewProj;
    Vector3 eye;
    float exposure;
};

// At R3D_Begin, before the clear: with occlusion or bloom on, binds the offscreen
// target (width x height, the framebuffer's size) and returns true.
bool BeginOffscreen(int width, int height);
// Inside the lit pass, after the opaque meshes: the sky where nothing was drawn (a flat
// colour when no sky was set but fog is on). False when there is nothing to draw.
bool DrawSky(const SkyView& view);
// At R3D_End, with the offscreen target bound: the picture with occlusion and bloom into
// the framebuffer that was bound at BeginOffscreen. `proj` is the camera's projection.
void EndOffscreen(const Matrix& proj, float nearPlane, float farPlane);
// The sky map's texture unit in the lit pass.
constexpr int kUnitSky = 9;
void UnloadPostResources();

}  // namespace r3d
