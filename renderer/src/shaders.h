// The renderer's two GPU programs: the lit scene pass and the depth-only pass that
// draws shadow maps. Both read the fixed attribute locations of internal.h.
#pragma once

namespace r3d {

// Most lights the scene shader evaluates per frame; further active lights are skipped.
constexpr int kMaxLights = 32;

struct SceneProgram {
    unsigned int id = 0;
    int viewProj = -1;
    int albedoMap = -1, baseColor = -1, viewPosition = -1;
    int ambientSky = -1, ambientGround = -1;
    int lightCount = -1, lightType = -1, lightPosition = -1, lightDirection = -1;
    int lightRadiance = -1, lightParams = -1, lightSpecular = -1;
    int lightShadow = -1, lightShadowParams = -1, lightShadowOrigin = -1, lightShadowPlanes = -1;
    int shadowMatrix = -1, shadowMaps2D = -1, shadowMapsCube = -1;
    bool omniShadows = false;  // the context samples layered cube maps
};

struct DepthProgram {
    unsigned int id = 0;
    int viewProj = -1;
};

// Texture units the scene pass uses.
constexpr int kUnitAlbedo = 0;
constexpr int kUnitShadow2D = 1;
constexpr int kUnitShadowCube = 2;

bool LoadPrograms(SceneProgram& scene, DepthProgram& depth);
void UnloadPrograms(SceneProgram& scene, DepthProgram& depth);

}  // namespace r3d
