// Lights as the renderer keeps them, shared by lights.cpp (the API), shadows.cpp
// (shadow maps) and frame.cpp (the scene pass).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "r3d.h"

namespace r3d {

// Shadow maps: every shadowed light owns one layer of a layered depth texture kept for
// its kind, so the scene shader samples each kind through one sampler. llvmpipe pays
// for every texel drawn, so sizes stay moderate; a directional map covers a whole view
// and gets the most texels.
constexpr int kShadowSize[3] = {2048, 1024, 512};  // directional, spot, omni (per cube face)
constexpr int kMaxShadowLayers[3] = {4, 12, 8};
// One matrix per shadowed directional or spot light.
constexpr int kMaxShadowMatrices = kMaxShadowLayers[0] + kMaxShadowLayers[1];

struct ShadowMap {
    int layer = -1;                // layer in the shared texture of its kind; -1: none yet
    bool drawn = false;            // the layer holds a picture of the scene
    bool requested = true;         // redraw at the next frame (manual mode, first frame)
    double lastDrawTime = -1.0e9;  // seconds (GetTime), for interval mode
    // What the map was drawn with; lookups use these, not the light's current values,
    // because manual and interval modes keep a map across changes of the light.
    Matrix viewProj{};             // directional and spot: world to clip space
    Vector3 origin{};              // spot and omni: light position when drawn
    float nearPlane = 0.05f, farPlane = 1.0f;  // omni
    float texelScale = 0.0f;       // world size of a texel (directional) or per unit of distance
    // Fingerprint of what the map shows (casters, their instances, the light's view), so a
    // due redraw of an unchanged scene is skipped.
    uint64_t content = 0;
};

struct LightData {
    R3D_LightType type = R3D_LIGHT_DIR;
    bool active = false;
    Color color = WHITE;
    Vector3 position = {0.0f, 0.0f, 0.0f};
    Vector3 direction = {0.0f, -1.0f, 0.0f};
    float energy = 1.0f;
    float specular = 0.5f;
    float range = 16.0f;
    float attenuation = 1.0f;    // distance exponent: 1 gentle, 2 inverse-square
    float innerCutOff = 22.5f;   // degrees
    float outerCutOff = 30.0f;   // degrees

    bool shadow = false;
    R3D_ShadowUpdateMode updateMode = R3D_SHADOW_UPDATE_CONTINUOUS;
    int updateFrequency = 16;    // milliseconds
    float softness = 1.0f;       // filter radius in texels
    float depthBias = 1.0f;      // texels along the light direction
    float slopeBias = 1.0f;      // texels along the normal, times the light's grazing angle
    ShadowMap map;
};

// The live lights in the order they were created: the order the scene shader gets them
// in within each of its groups, and the order shadow maps are drawn in.
const std::vector<LightData*>& Lights();
// The light behind a handle, or null with a warning naming `call` when the light was
// destroyed or the handle never handed out (silently for 0).
LightData* FindLight(R3D_Light id, const char* call);

// Gives the light's layer back to its shared texture (shadows.cpp).
void ReleaseShadowMap(LightData& light);

}  // namespace r3d
