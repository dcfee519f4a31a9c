// The renderer's GPU programs: the lit scene pass and the depth-only pass that draws
// shadow maps, each in variants built for what a draw needs. All read the fixed
// attribute locations of internal.h.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "r3d.h"

namespace r3d {

// Most lights the scene shader evaluates per frame; further active lights are skipped.
constexpr int kMaxLights = 32;

struct SceneProgram {
    unsigned int id = 0;
    int viewProj = -1;
    int baseColor = -1, material = -1, emissive = -1, mapScales = -1, viewPosition = -1;
    int albedoMap = -1, normalMap = -1, metalRoughMap = -1, occlusionMap = -1, emissiveMap = -1;
    int ambientSky = -1, ambientGround = -1, exposure = -1;
    int lightGroups = -1, lightPosition = -1, lightDirection = -1;
    int lightRadiance = -1, lightParams = -1, lightSpecular = -1;
    int lightShadow = -1, lightShadowParams = -1, lightShadowOrigin = -1, lightShadowPlanes = -1;
    int shadowMatrix = -1, shadowMapsDir = -1, shadowMapsSpot = -1, shadowMapsCube = -1;
    int poses = -1, poseBase = -1, jointCount = -1;  // skinned variants only
    int skyIrradiance = -1, skyMap = -1, skyMapLevels = -1, skyLight = -1;  // sky-lit variants only
    int skyColors = -1;
    unsigned int uploadedScene = 0;  // the scene whose frame uniforms it holds
    uint64_t uploadedLights = ~0ull;  // which of that scene's lights its light uniforms hold (a mask)
    bool failed = false;             // did not compile; not tried again
};

struct DepthProgram {
    unsigned int id = 0;
    int viewProj = -1;
    int albedoMap = -1, baseColor = -1, alphaCutoff = -1;  // cut-out variants only
    int poses = -1, poseBase = -1, jointCount = -1;       // skinned variants only
    unsigned int uploadedView = 0;  // the shadow view whose matrix it holds
    bool failed = false;
};

// Texture units.
constexpr int kUnitAlbedo = 0;
constexpr int kUnitShadow[3] = {1, 2, 3};  // by light type
constexpr int kUnitNormal = 4;
constexpr int kUnitMetalRough = 5;
constexpr int kUnitOcclusion = 6;
constexpr int kUnitEmissive = 7;
constexpr int kUnitPoses = 8;  // a texture buffer: the frame's joint matrices

// Lights reach the scene shader sorted into groups: shadowed directional, shadowed spot,
// shadowed omni, directional, spot, omni. A frame uses the shader variant built for
// the set of non-empty groups (bit g for group g).
constexpr int kLightGroupCount = 6;

// Up to this many lights, a draw is shaded by a variant built for exactly its lights:
// each light's code inline with constant indices, its kind, shadow, falloff, specular
// reflection and shadow filter fixed. llvmpipe reads a uniform array at a loop counter's
// index lane by lane; at a constant one it loads it once. More lights take the variant
// with a loop per group.
constexpr int kSpecialisedLights = 4;

// The lights a draw is shaded with, in the order the shader gets them (by group).
struct LightSet {
    unsigned int groups = 0;  // non-empty groups, bit g for group g
    int count = 0;
    // Per light, when count <= kSpecialisedLights: its description (Describe), the byte a
    // variant built for these lights is made from. The accessors below read its fields;
    // the shader reads them with the macros of the same names in
    // renderer/shaders/light_set_inc.glsl (LIGHT_GROUP, LIGHT_FALLOFF, ...), at the bit
    // positions defined here (Header in shaders.cpp hands them over).
    unsigned char lights[kSpecialisedLights] = {};

    // A description's fields, from bit 0 up.
    static constexpr int kGroupShift = 0;     // 3 bits: the light's group (see kLightGroupCount)
    static constexpr int kFalloffShift = 3;   // 2 bits: attenuation exponent 1 or 2; 0 any other
    static constexpr int kSpecularShift = 5;  // 1 bit: reflects specularly (specular factor not 0)
    static constexpr int kSpreadShift = 6;    // 1 bit: a shadow filter wider than one bilinear tap
    static constexpr int kWideShift = 7;      // 1 bit: a spot cone too wide for its shadow map to
                                              // cover (over 83 degrees)

    static unsigned char Describe(int group, int falloff, bool specular, bool spread, bool wide) {
        return static_cast<unsigned char>(group << kGroupShift | falloff << kFalloffShift |
                                          (specular ? 1 : 0) << kSpecularShift | (spread ? 1 : 0) << kSpreadShift |
                                          (wide ? 1 : 0) << kWideShift);
    }
    static int Group(unsigned char d) { return d >> kGroupShift & 7; }
    static int Kind(unsigned char d) { return Group(d) % 3; }  // an R3D_LightType
    static bool Shadowed(unsigned char d) { return Group(d) < 3; }
    static int Falloff(unsigned char d) { return d >> kFalloffShift & 3; }
    static bool Specular(unsigned char d) { return (d >> kSpecularShift & 1) != 0; }
    static bool Spread(unsigned char d) { return (d >> kSpreadShift & 1) != 0; }
    static bool Wide(unsigned char d) { return (d >> kWideShift & 1) != 0; }
    // A shadowed directional or spot light: the vertex stage does most of its shadow lookup.
    static bool ShadowFromVertex(unsigned char d) { return Shadowed(d) && Kind(d) != R3D_LIGHT_OMNI; }
};

class Programs {
public:
    bool Load();    // the plain depth program and the scene variant with every group
    void Unload();
    // The scene variant for a draw's lights and a mesh's material features
    // (MaterialFeature bits), compiled on first use; null if it does not compile.
    SceneProgram* Scene(const LightSet& lights, unsigned int features);
    // The depth variant for a mesh's features: a cut-out one for alpha-masked materials.
    DepthProgram* Depth(unsigned int features);

    bool omniShadows = false;  // the context samples layered cube maps

private:
    std::unordered_map<uint64_t, SceneProgram> scene_;
    std::unordered_map<unsigned int, DepthProgram> depth_;
};

}  // namespace r3d
