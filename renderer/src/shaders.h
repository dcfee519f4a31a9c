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
    int ambientSky = -1, ambientGround = -1, exposure = -1;
    int lightGroups = -1, lightPosition = -1, lightDirection = -1;
    int lightRadiance = -1, lightParams = -1, lightSpecular = -1;
    int lightShadow = -1, lightShadowParams = -1, lightShadowOrigin = -1, lightShadowPlanes = -1;
    int shadowMatrix = -1, shadowMapsDir = -1, shadowMapsSpot = -1, shadowMapsCube = -1;
    bool failed = false;  // did not compile; not tried again
};

struct DepthProgram {
    unsigned int id = 0;
    int viewProj = -1;
};

// Texture units the scene pass uses.
constexpr int kUnitAlbedo = 0;
constexpr int kUnitShadow[3] = {1, 2, 3};  // by light type

// Lights reach the scene shader sorted into groups: shadowed directional, shadowed spot,
// shadowed omni, directional, spot, omni. A frame uses the shader variant built for
// the set of non-empty groups (bit g for group g).
constexpr int kLightGroupCount = 6;

class Programs {
public:
    bool Load();    // the depth program and the scene variant with every group
    void Unload();
    // The variant for a set of groups, compiled on first use; null if it does not compile.
    const SceneProgram* Scene(unsigned int groups);

    DepthProgram depth;
    bool omniShadows = false;  // the context samples layered cube maps

private:
    SceneProgram variants_[1u << kLightGroupCount];
};

}  // namespace r3d
