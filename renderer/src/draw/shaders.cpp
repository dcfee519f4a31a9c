// The renderer's GPU programs: variants of the GLSL in renderer/shaders (built into the
// library, renderer/CMakeLists.txt), each compiled on first use with the preprocessor
// switches of what it is for.
#include "draw/shaders.h"

#include <cstddef>
#include <string>

#include "base/Log.h"
#include "rlgl.h"    // Required for: rlLoadShaderProgram(), rlGetLocationUniform()
#include "internal.h"
#include "draw/environment.h"
#include "draw/lights.h"

// The GLSL files' bytes (cmake/EmbedFile.cmake).
namespace r3d::glsl {
#define R3D_EMBEDDED(name)                  \
    extern const unsigned char name[];      \
    extern const std::size_t name##Size;
R3D_EMBEDDED(kInstanceVertex)   // instance.vert.glsl
R3D_EMBEDDED(kDepthFragment)    // depth.frag.glsl
R3D_EMBEDDED(kSceneFragment)    // scene.frag.glsl
R3D_EMBEDDED(kLightSetInclude)  // light_set_inc.glsl
#undef R3D_EMBEDDED
}  // namespace r3d::glsl

namespace r3d {
namespace {

// The stages' sources after the variant's header: the light set's field readers go in
// front of both stages of the scene pass.
struct Sources {
    std::string vertex, depthFragment, sceneFragment;
};

const Sources& Glsl() {
    static const Sources sources = [] {
        auto text = [](const unsigned char* bytes, std::size_t size) {
            return std::string(reinterpret_cast<const char*>(bytes), size);
        };
        const std::string lightSet = text(glsl::kLightSetInclude, glsl::kLightSetIncludeSize);
        return Sources{lightSet + text(glsl::kInstanceVertex, glsl::kInstanceVertexSize),
                       text(glsl::kDepthFragment, glsl::kDepthFragmentSize),
                       lightSet + text(glsl::kSceneFragment, glsl::kSceneFragmentSize)};
    }();
    return sources;
}

// Preprocessor switches of a variant. Features are MaterialFeature bits; `lights` is null
// for the depth pass.
std::string Header(bool omni, bool depthOnly, const LightSet* lights, unsigned int features) {
    static const char* const kFeatureNames[kFeatureBits] = {"BASE_MAP", "NORMAL_MAP", "METAL_ROUGH_MAP", "OCCLUSION_MAP",
                                                            "EMISSION", "EMISSIVE_MAP", "ALPHA_MASK", "VERTEX_COLOR",
                                                            "SKINNED",  "SKY_LIGHT",    "FOG",        "SKY_PANORAMA"};
    std::string s = "#version 330 core\n";
    if (omni) s += "#extension GL_ARB_texture_cube_map_array : require\n#define OMNI_SHADOWS\n";
    if (depthOnly) s += "#define DEPTH_ONLY\n";
    // Where light_set_inc.glsl finds the fields of a light's description.
    s += "#define LIGHT_GROUP_SHIFT " + std::to_string(LightSet::kGroupShift) + "\n";
    s += "#define LIGHT_FALLOFF_SHIFT " + std::to_string(LightSet::kFalloffShift) + "\n";
    s += "#define LIGHT_SPECULAR_SHIFT " + std::to_string(LightSet::kSpecularShift) + "\n";
    s += "#define LIGHT_SPREAD_SHIFT " + std::to_string(LightSet::kSpreadShift) + "\n";
    s += "#define LIGHT_WIDE_SHIFT " + std::to_string(LightSet::kWideShift) + "\n";
    int shadowVaryings = 0;
    if (lights != nullptr && lights->count <= kSpecialisedLights) {
        // Each light by its description, which the shader reads (DESCRIBED_LIGHT). Shadowed
        // directional and spot lights come first: light k's varyings are number k.
        std::string calls, kinds;
        for (int i = 0; i < lights->count; ++i) {
            const unsigned char d = lights->lights[i];
            const std::string k = std::to_string(i), described = std::to_string(d);
            const bool fromVertex = LightSet::ShadowFromVertex(d);
            if (fromVertex) {
                kinds += std::string(shadowVaryings > 0 ? ", " : "") + "LIGHT_KIND(" + described + ")";
                ++shadowVaryings;
            }
            calls += " color += DESCRIBED_LIGHT(" + k + ", " + described +
                     (fromVertex ? ", vShadowBase[" + k + "], vShadowStep[" + k + "]" : std::string(", vec4(0.0), vec4(0.0)")) +
                     ");";
        }
        s += "#define LIGHTS" + calls + "\n";
        if (shadowVaryings > 0) s += "#define SHADOW_KINDS int[" + std::to_string(shadowVaryings) + "](" + kinds + ")\n";
    } else if (lights != nullptr) {
        for (int g = 0; g < kLightGroupCount; ++g) {
            if (lights->groups & (1u << g)) s += "#define GROUP_" + std::to_string(g) + "\n";
        }
    }
    s += "#define SHADOW_VARYINGS " + std::to_string(shadowVaryings) + "\n";
    for (int f = 0; f < kFeatureBits; ++f) {
        if (features & (1u << f)) s += std::string("#define ") + kFeatureNames[f] + "\n";
    }
    const unsigned int maps = kFeatureBaseMap | kFeatureNormalMap | kFeatureMetalRoughMap | kFeatureOcclusionMap | kFeatureEmissiveMap;
    if (features & maps) s += "#define TEXCOORDS\n";
    s += "#define MAX_LIGHTS " + std::to_string(kMaxLights) + "\n";
    s += "#define MAX_SHADOW_MATRICES " + std::to_string(kMaxShadowMatrices) + "\n";
    if (features & kFeatureFog) s += kFogGlsl;
    return s;
}

bool Compile(SceneProgram& scene, bool omni, const LightSet& lights, unsigned int features) {
    const std::string vs = Header(false, false, &lights, features) + Glsl().vertex;
    const std::string fs = Header(omni, false, &lights, features) + Glsl().sceneFragment;
    scene.id = rlLoadShaderProgram(vs.c_str(), fs.c_str());
    if (scene.id == 0) return false;
    const unsigned int id = scene.id;
    struct {
        int* location;
        const char* name;
    } const uniforms[] = {
        {&scene.viewProj, "uViewProj"},           {&scene.baseColor, "uBaseColor"},
        {&scene.material, "uMaterial"},           {&scene.emissive, "uEmissive"},
        {&scene.mapScales, "uMapScales"},         {&scene.viewPosition, "uViewPosition"},
        {&scene.albedoMap, "uAlbedoMap"},         {&scene.normalMap, "uNormalMap"},
        {&scene.metalRoughMap, "uMetalRoughMap"}, {&scene.occlusionMap, "uOcclusionMap"},
        {&scene.emissiveMap, "uEmissiveMap"},     {&scene.ambientSky, "uAmbientSky"},
        {&scene.ambientGround, "uAmbientGround"}, {&scene.exposure, "uExposure"},
        {&scene.lightGroups, "uLightGroups"},     {&scene.lightPosition, "uLightPosition"},
        {&scene.lightDirection, "uLightDirection"}, {&scene.lightRadiance, "uLightRadiance"},
        {&scene.lightParams, "uLightParams"},     {&scene.lightSpecular, "uLightSpecular"},
        {&scene.lightShadow, "uLightShadowLayer"}, {&scene.lightShadowParams, "uLightShadowParams"},
        {&scene.lightShadowOrigin, "uLightShadowOrigin"}, {&scene.lightShadowPlanes, "uLightShadowPlanes"},
        {&scene.shadowMatrix, "uShadowMatrix"},   {&scene.shadowMapsDir, "uShadowMapsDir"},
        {&scene.shadowMapsSpot, "uShadowMapsSpot"}, {&scene.shadowMapsCube, "uShadowMapsCube"},
        {&scene.poses, "uPoses"},                 {&scene.poseBase, "uPoseBase"},
        {&scene.jointCount, "uJointCount"},       {&scene.skyIrradiance, "uSkyIrradiance"},
        {&scene.skyMap, "uSkyMap"},               {&scene.skyMapLevels, "uSkyMapLevels"},
        {&scene.skyLight, "uSkyLight"},           {&scene.skyColors, "uSkyColors"},
    };
    for (const auto& u : uniforms) *u.location = rlGetLocationUniform(id, u.name);
    return true;
}

bool Compile(DepthProgram& depth, unsigned int features) {
    const std::string header = Header(false, true, nullptr, features);
    depth.id = rlLoadShaderProgram((header + Glsl().vertex).c_str(), (header + Glsl().depthFragment).c_str());
    if (depth.id == 0) return false;
    depth.viewProj = rlGetLocationUniform(depth.id, "uViewProj");
    depth.albedoMap = rlGetLocationUniform(depth.id, "uAlbedoMap");
    depth.baseColor = rlGetLocationUniform(depth.id, "uBaseColor");
    depth.alphaCutoff = rlGetLocationUniform(depth.id, "uAlphaCutoff");
    depth.poses = rlGetLocationUniform(depth.id, "uPoses");
    depth.poseBase = rlGetLocationUniform(depth.id, "uPoseBase");
    depth.jointCount = rlGetLocationUniform(depth.id, "uJointCount");
    return true;
}

// A variant's identity: material features above, then either the specialised lights'
// descriptions with their count, or the set of light groups.
uint64_t Key(const LightSet& lights, unsigned int features) {
    uint64_t key = static_cast<uint64_t>(features) << 40;
    if (lights.count > kSpecialisedLights) return key | (lights.groups & ((1u << kLightGroupCount) - 1));
    key |= 1ull << 35 | static_cast<uint64_t>(lights.count) << 32;
    for (int i = 0; i < lights.count; ++i) key |= static_cast<uint64_t>(lights.lights[i]) << (8 * i);
    return key;
}

}  // namespace

bool Programs::Load() {
    // Compiling the variant with every group up front finds out whether layered cube maps
    // exist (GL 4.0 or an extension); without them omni lights go unshadowed.
    LightSet all;
    all.groups = (1u << kLightGroupCount) - 1;
    all.count = kMaxLights;
    SceneProgram& full = scene_[Key(all, 0)];
    omniShadows = Compile(full, true, all, 0);
    if (!omniShadows) {
        base::Warn("R3D", "no layered cube maps here; omni lights cast no shadows");
        Compile(full, false, all, 0);
    }
    if (full.id == 0 || Depth(0) == nullptr) {
        base::Warn("R3D", "the renderer's shaders did not compile; 3D drawing is off");
        return false;
    }
    return true;
}

SceneProgram* Programs::Scene(const LightSet& lights, unsigned int features) {
    SceneProgram& variant = scene_[Key(lights, features)];
    if (variant.id == 0 && !variant.failed) {
        variant.failed = !Compile(variant, omniShadows, lights, features);
        if (variant.failed) base::Warn("R3D", "a scene shader variant did not compile (material features %u)", features);
    }
    return variant.id != 0 ? &variant : nullptr;
}

DepthProgram* Programs::Depth(unsigned int features) {
    // Only a cut-out and skinning change what depth a mesh leaves.
    const unsigned int skinned = features & kFeatureSkinned;
    features = (features & kFeatureAlphaMask) ? features & (kFeatureAlphaMask | kFeatureBaseMap | kFeatureVertexColor) : 0;
    features |= skinned;
    DepthProgram& variant = depth_[features];
    if (variant.id == 0 && !variant.failed) {
        variant.failed = !Compile(variant, features);
        if (variant.failed) base::Warn("R3D", "depth shader variant %u did not compile", features);
    }
    return variant.id != 0 ? &variant : nullptr;
}

void Programs::Unload() {
    for (auto& [key, variant] : scene_) {
        if (variant.id != 0) rlUnloadShaderProgram(variant.id);
    }
    for (auto& [key, variant] : depth_) {
        if (variant.id != 0) rlUnloadShaderProgram(variant.id);
    }
    scene_.clear();
    depth_.clear();
    omniShadows = false;
}

}  // namespace r3d
