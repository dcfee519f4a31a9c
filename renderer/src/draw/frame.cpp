// Frame: renderer start-up and the scene between R3D_Begin and R3D_End.
//
// R3D_Begin clears the screen and sets raylib's 3D mode with the camera, so raylib's own
// 3D drawing in between uses the same camera. Instanced draws are queued; R3D_End first
// redraws the shadow maps that are due, then draws the queue once with every light
// (forward shading), and hands raylib back its state for 2D drawing on top.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Log.h"
#include "draw/draw.h"
#include "draw/draw_gl.h"
#include "draw/environment.h"
#include "draw/lights.h"
#include "draw/particles.h"
#include "draw/post.h"
#include "r3d.h"
#include "raylib.h"   // Required for: BeginMode3D(), EndMode3D(), ClearBackground()
#include "raymath.h"  // Required for: MatrixMultiply(), Vector3Normalize()
#include "rlgl.h"     // Required for: rlDrawRenderBatchActive(), rlSetUniform(), rlGetMatrix*()
#include "draw/screen_rects.h"
#include "draw/shaders.h"
#include "draw/shadows.h"

namespace r3d {
namespace {

constexpr Color kSky = {24, 26, 32, 255};
constexpr float kAmbientSky[3] = {0.10f, 0.11f, 0.13f};
constexpr float kAmbientGround[3] = {0.05f, 0.045f, 0.04f};
// What particles' colours are multiplied by (their uAmbient): untouched until the sky
// gives a light of its own.

// Per-frame light uniforms, kept here so a frame allocates nothing.
struct LightUniforms {
    int count = 0;
    int groups[7];  // first light of each group, and the end
    float position[kMaxLights][3];
    float direction[kMaxLights][3];
    float radiance[kMaxLights][3];
    float params[kMaxLights][4];
    float specular[kMaxLights];
    int shadow[kMaxLights];  // layer of the shadow map, -1 for none
    float shadowParams[kMaxLights][4];
    float shadowOrigin[kMaxLights][3];
    float shadowPlanes[kMaxLights][2];
    Matrix shadowMatrix[kMaxShadowMatrices];
    unsigned char descriptor[kMaxLights];  // as a LightSet describes it
    const LightData* source[kMaxLights];   // to test whether it reaches a draw
    ScreenRect rect[kMaxLights];           // the pixels it may light (the frame's lights only)
};

// The lights one draw is shaded with: those of the frame that reach it.
struct DrawLights {
    uint32_t mask = 0;  // bit i: the frame's light i
    bool valid = false;
    LightSet set;
    LightUniforms uniforms;
};

// A draw whose lights include some that light only part of what it covers on the screen
// (spot and omni lights whose rectangle leaves some of it out) may be drawn in parts: the
// rectangle around those lights with every light of the draw, the bands around it with
// only the lights that reach all of it. A pixel is shaded by one part, as it would be
// without the split, and where the local lights add nothing it skips their cost.
struct DrawSplit {
    ScreenRect inside;
    int bands = 0;  // 0: the draw is not split
    ScreenRect band[4];
    long long outsideArea = 0;
    DrawLights outside;
};

// Each part draws the mesh's triangles again: a split pays when the pixels it spares the
// local lights outnumber the triangles it repeats by this much.
constexpr long long kPixelsPerRepeatedTriangle = 8;

struct FrameState {
    bool ready = false;   // R3D_Init ran with a window
    bool usable = false;  // GL entry points and shaders are there
    int width = 0;
    int height = 0;
    bool inScene = false;
    bool warnedLightCount = false;
    unsigned int sceneNumber = 0;  // R3D_Begin calls so far
    int targetWidth = 0, targetHeight = 0;  // of the framebuffer the scene is drawn into
    float exposure = 1.0f;
    bool passTiming = false;       // R3D_SetPassTiming
    Matrix projection{};
    R3D_FrameStats stats{};        // of the latest R3D_End
    SceneView view;
    Matrix viewProj{};
    Programs programs;
    LightUniforms lights;  // every light of the frame
    DrawLights drawLights;
    ScreenRect viewport;   // of the lit pass, in window coordinates
    bool splitScreen = false;  // draws may be split by screen rectangles (the caller uses no scissor)
    bool scissorOn = false;
    DrawSplit split;
} frame;

void Set3(float* out, Vector3 v) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

bool ShadowUsable(const LightData& light) {
    const ShadowMap& map = light.map;
    const bool omni = light.type == R3D_LIGHT_OMNI;
    return light.shadow && map.drawn && map.layer >= 0 && (!omni || frame.programs.omniShadows);
}

// The shader's group of a light: shadowed ones first, then by kind (directional, spot, omni).
int LightGroup(const LightData& light) {
    return (ShadowUsable(light) ? 0 : 3) + static_cast<int>(light.type);
}

void AddLight(LightUniforms& u, const LightData& light) {
    const int i = u.count++;
    Set3(u.position[i], light.position);
    Vector3 dir = light.direction;
    dir = Vector3Length(dir) > 1e-6f ? Vector3Normalize(dir) : Vector3{0.0f, -1.0f, 0.0f};
    Set3(u.direction[i], dir);
    u.radiance[i][0] = light.color.r / 255.0f * light.energy;
    u.radiance[i][1] = light.color.g / 255.0f * light.energy;
    u.radiance[i][2] = light.color.b / 255.0f * light.energy;
    // As the shader uses them: reciprocals computed once here rather than per pixel.
    const float cosInner = std::cos(light.innerCutOff * DEG2RAD), cosOuter = std::cos(light.outerCutOff * DEG2RAD);
    u.params[i][0] = 1.0f / std::max(light.range, 1e-5f);
    u.params[i][1] = light.attenuation;
    u.params[i][2] = cosOuter;
    u.params[i][3] = 1.0f / std::max(cosInner - cosOuter, 1e-4f);
    u.specular[i] = light.specular;

    const ShadowMap& map = light.map;
    const bool usable = ShadowUsable(light);
    u.shadow[i] = usable ? map.layer : -1;
    // Shadowed directional and spot lights come first: light i uses matrix i.
    if (usable && light.type != R3D_LIGHT_OMNI) u.shadowMatrix[i] = map.viewProj;
    u.shadowParams[i][0] = map.texelScale;
    u.shadowParams[i][1] = light.softness;
    u.shadowParams[i][2] = light.depthBias;
    u.shadowParams[i][3] = light.slopeBias;
    Set3(u.shadowOrigin[i], map.origin);
    u.shadowPlanes[i][0] = map.nearPlane;
    u.shadowPlanes[i][1] = map.farPlane;
    const int falloff = light.attenuation == 1.0f ? 1 : light.attenuation == 2.0f ? 2 : 0;
    // A spot map covers the cone plus 2 degrees, up to 85 (shadows.cpp).
    const bool wide = std::max(light.innerCutOff, light.outerCutOff) > 83.0f;
    u.descriptor[i] = LightSet::Describe(LightGroup(light), falloff, light.specular != 0.0f, light.softness > 1.0f, wide);
    u.source[i] = &light;
    u.rect[i] = LightScreenRect(light, frame.viewProj, frame.viewport);
}

// Whether a light's range (and a spot light's cone) can reach a sphere: lights that
// cannot cost a draw nothing per pixel.
bool LightReaches(const LightData& light, const Bounds& b) {
    if (light.type == R3D_LIGHT_DIR) return true;
    const Vector3 d = Vector3Subtract(b.center, light.position);
    const float dist = Vector3Length(d);
    if (dist - b.radius > light.range) return false;
    if (light.type == R3D_LIGHT_OMNI || dist <= b.radius) return true;
    const float len = Vector3Length(light.direction);
    if (len < 1e-6f) return true;
    const float cosAxis = Vector3DotProduct(d, light.direction) / (dist * len);
    const float fromAxis = std::acos(std::clamp(cosAxis, -1.0f, 1.0f));
    const float spread = std::asin(std::min(b.radius / dist, 1.0f));
    return fromAxis - spread <= std::max(light.outerCutOff, light.innerCutOff) * DEG2RAD;
}

// Copies the frame's lights in `mask` into `out`, in order, and describes them.
void PackLights(const LightUniforms& all, uint32_t mask, LightUniforms& out, LightSet& set) {
    out.count = 0;
    set = LightSet{};
    int group = 0;
    out.groups[0] = 0;
    for (int i = 0; i < all.count; ++i) {
        while (i >= all.groups[group + 1]) out.groups[++group] = out.count;
        if (!(mask & (1u << i))) continue;
        const int j = out.count++;
        std::memcpy(out.position[j], all.position[i], sizeof(out.position[j]));
        std::memcpy(out.direction[j], all.direction[i], sizeof(out.direction[j]));
        std::memcpy(out.radiance[j], all.radiance[i], sizeof(out.radiance[j]));
        std::memcpy(out.params[j], all.params[i], sizeof(out.params[j]));
        out.specular[j] = all.specular[i];
        out.shadow[j] = all.shadow[i];
        std::memcpy(out.shadowParams[j], all.shadowParams[i], sizeof(out.shadowParams[j]));
        std::memcpy(out.shadowOrigin[j], all.shadowOrigin[i], sizeof(out.shadowOrigin[j]));
        std::memcpy(out.shadowPlanes[j], all.shadowPlanes[i], sizeof(out.shadowPlanes[j]));
        if (i < all.groups[2]) out.shadowMatrix[j] = all.shadowMatrix[i];  // shadowed directional and spot
        out.descriptor[j] = all.descriptor[i];
        out.source[j] = all.source[i];
        set.groups |= 1u << group;
        if (j < kSpecialisedLights) set.lights[j] = all.descriptor[i];
    }
    while (group < kLightGroupCount) out.groups[++group] = out.count;
    set.count = out.count;
}

// The split of a draw that covers `footprint` and is lit by `mask` (see DrawSplit).
void SplitByScreen(uint32_t mask, const ScreenRect& footprint, DrawSplit& split) {
    split.bands = 0;
    if (!frame.splitScreen) return;
    uint32_t everywhere = 0;
    ScreenRect inside;
    for (int i = 0; i < frame.lights.count; ++i) {
        if (!(mask & (1u << i))) continue;
        const ScreenRect& rect = frame.lights.rect[i];
        if (rect.Contains(footprint)) everywhere |= 1u << i;
        else inside = Union(inside, Intersection(rect, footprint));
    }
    if (everywhere == mask) return;
    split.inside = inside;
    split.bands = RectsAround(inside, footprint, split.band);
    split.outsideArea = footprint.Area() - inside.Area();
    DrawLights& outside = split.outside;
    if (!outside.valid || outside.mask != everywhere) PackLights(frame.lights, everywhere, outside.uniforms, outside.set);
    outside.mask = everywhere;
    outside.valid = true;
}

void SetScissor(const ScreenRect* rect) {
    if (rect == nullptr) {
        if (frame.scissorOn) gl::Disable(gl::kScissorTest);
        frame.scissorOn = false;
        return;
    }
    if (!frame.scissorOn) gl::Enable(gl::kScissorTest);
    frame.scissorOn = true;
    gl::Scissor(rect->x0, rect->y0, rect->x1 - rect->x0, rect->y1 - rect->y0);
}

void GatherLights(LightUniforms& u) {
    u.count = 0;
    u.groups[0] = 0;
    for (int group = 0; group < 6; ++group) {
        for (const LightData* lit : Lights()) {
            const LightData& light = *lit;
            if (!light.active || LightGroup(light) != group) continue;
            if (!LightTouchesView(light, frame.view.frustum)) continue;
            if (u.count == kMaxLights) {
                if (!frame.warnedLightCount) {
                    base::Warn("R3D", "more than %d active lights; the rest are not drawn", kMaxLights);
                    frame.warnedLightCount = true;
                }
                break;
            }
            AddLight(u, light);
        }
        u.groups[group + 1] = u.count;
    }
}

void UploadLights(const SceneProgram& s, const LightUniforms& u) {
    const int n = u.count;
    rlSetUniform(s.lightGroups, u.groups, RL_SHADER_UNIFORM_INT, 7);
    if (n == 0) return;
    rlSetUniform(s.lightPosition, u.position, RL_SHADER_UNIFORM_VEC3, n);
    rlSetUniform(s.lightDirection, u.direction, RL_SHADER_UNIFORM_VEC3, n);
    rlSetUniform(s.lightRadiance, u.radiance, RL_SHADER_UNIFORM_VEC3, n);
    rlSetUniform(s.lightParams, u.params, RL_SHADER_UNIFORM_VEC4, n);
    rlSetUniform(s.lightSpecular, u.specular, RL_SHADER_UNIFORM_FLOAT, n);
    rlSetUniform(s.lightShadow, u.shadow, RL_SHADER_UNIFORM_INT, n);
    rlSetUniform(s.lightShadowParams, u.shadowParams, RL_SHADER_UNIFORM_VEC4, n);
    rlSetUniform(s.lightShadowOrigin, u.shadowOrigin, RL_SHADER_UNIFORM_VEC3, n);
    rlSetUniform(s.lightShadowPlanes, u.shadowPlanes, RL_SHADER_UNIFORM_VEC2, n);
    const int matrices = u.groups[2];  // shadowed directional and spot lights
    if (matrices > 0) rlSetUniformMatrices(s.shadowMatrix, u.shadowMatrix, matrices);
}

void BindShadowTextures(bool bind) {
    for (R3D_LightType type : {R3D_LIGHT_DIR, R3D_LIGHT_SPOT, R3D_LIGHT_OMNI}) {
        if (type == R3D_LIGHT_OMNI && !frame.programs.omniShadows) continue;
        gl::ActiveTexture(gl::kTexture0 + kUnitShadow[type]);
        gl::BindTexture(type == R3D_LIGHT_OMNI ? gl::kTextureCubeMapArray : gl::kTexture2DArray,
                        bind ? ShadowTexture(type) : 0);
    }
}

// What a program needs once per frame: camera, ambient, exposure, lights, texture units.
void UploadFrameUniforms(SceneProgram& s) {
    rlSetUniformMatrix(s.viewProj, frame.viewProj);
    const Vector3 eye = frame.view.camera.position;
    rlSetUniform(s.viewPosition, &eye, RL_SHADER_UNIFORM_VEC3, 1);
    rlSetUniform(s.ambientSky, kAmbientSky, RL_SHADER_UNIFORM_VEC3, 1);
    rlSetUniform(s.ambientGround, kAmbientGround, RL_SHADER_UNIFORM_VEC3, 1);
    rlSetUniform(s.exposure, &frame.exposure, RL_SHADER_UNIFORM_FLOAT, 1);
    const struct {
        int location, unit;
    } samplers[] = {{s.albedoMap, kUnitAlbedo},         {s.normalMap, kUnitNormal},
                    {s.metalRoughMap, kUnitMetalRough}, {s.occlusionMap, kUnitOcclusion},
                    {s.emissiveMap, kUnitEmissive},     {s.shadowMapsDir, kUnitShadow[R3D_LIGHT_DIR]},
                    {s.shadowMapsSpot, kUnitShadow[R3D_LIGHT_SPOT]}, {s.shadowMapsCube, kUnitShadow[R3D_LIGHT_OMNI]}};
    for (const auto& sampler : samplers) rlSetUniform(sampler.location, &sampler.unit, RL_SHADER_UNIFORM_INT, 1);
    const Environment& env = CurrentEnvironment();
    if (s.skyLight >= 0) {
        rlSetUniform(s.skyIrradiance, env.irradiance, RL_SHADER_UNIFORM_VEC3, 9);
        const float levels = 8.0f;  // log2 of the map's width: its coarsest level is one texel across
        rlSetUniform(s.skyMapLevels, &levels, RL_SHADER_UNIFORM_FLOAT, 1);
        rlSetUniform(s.skyLight, &env.skyLight, RL_SHADER_UNIFORM_FLOAT, 1);
        rlSetUniform(s.skyMap, &kUnitSky, RL_SHADER_UNIFORM_INT, 1);
        const float colors[9] = {env.zenith[0], env.zenith[1], env.zenith[2], env.horizon[0], env.horizon[1],
                                 env.horizon[2], env.ground[0],  env.ground[1],  env.ground[2]};
        rlSetUniform(s.skyColors, colors, RL_SHADER_UNIFORM_VEC3, 3);
    }
    if (env.fog.On()) UploadFog(s.id, eye.y);
    s.uploadedScene = frame.sceneNumber;
    s.uploadedLights = ~0ull;  // none yet this frame
}

// `features`: the mesh's (a normal map needs the mesh's tangents too).
void BindMaterial(const Material& m, unsigned int features, const SceneProgram& s) {
    rlSetUniform(s.baseColor, m.baseColor, RL_SHADER_UNIFORM_VEC4, 1);
    const float params[4] = {m.metallic, m.roughness, m.specular, m.alphaCutoff};
    rlSetUniform(s.material, params, RL_SHADER_UNIFORM_VEC4, 1);
    rlSetUniform(s.emissive, m.emissive, RL_SHADER_UNIFORM_VEC3, 1);
    const float scales[2] = {m.normalScale, m.occlusionStrength};
    rlSetUniform(s.mapScales, scales, RL_SHADER_UNIFORM_VEC2, 1);
    if (features & kFeatureBaseMap) BindTexture(kUnitAlbedo, m.baseTexture);
    if (features & kFeatureNormalMap) BindTexture(kUnitNormal, m.normalTexture);
    if (features & kFeatureMetalRoughMap) BindTexture(kUnitMetalRough, m.metalRoughTexture);
    if (features & kFeatureOcclusionMap) BindTexture(kUnitOcclusion, m.occlusionTexture);
    if (features & kFeatureEmissiveMap) BindTexture(kUnitEmissive, m.emissiveTexture);
}

void DrawScene() {
    int viewport[4];
    gl::GetIntegerv(gl::kViewport, viewport);
    frame.viewport = {viewport[0], viewport[1], viewport[0] + viewport[2], viewport[1] + viewport[3]};
    frame.splitScreen = !gl::IsEnabled(gl::kScissorTest);
    frame.scissorOn = false;
    GatherLights(frame.lights);
    frame.drawLights.valid = false;
    frame.split.outside.valid = false;
    BindShadowTextures(true);
    const Environment& env = CurrentEnvironment();
    unsigned int frameFeatures = env.fog.On() ? kFeatureFog : 0u;
    if (env.SkyLightOn()) {
        frameFeatures |= kFeatureSkyLight | (env.panorama.empty() ? 0u : kFeatureSkyPanorama);
        gl::ActiveTexture(gl::kTexture0 + kUnitSky);
        gl::BindTexture(gl::kTexture2D, SkyMapTexture());  // rebuilt first if the sky changed
    }
    gl::Enable(gl::kDepthTest);
    gl::DepthMask(1);
    gl::CullFace(gl::kBack);
    gl::Disable(gl::kBlend);  // opaque geometry first

    // Each mesh is drawn with the variant made for the lights that reach its draw and for
    // its material; light uniforms are uploaded when a program last had other lights.
    const SceneProgram* current = nullptr;
    bool blendedPass = false;
    Bounds lastBounds{{0.0f, 0.0f, 0.0f}, -1.0f};
    int parts = 1;
    auto prepare = [&](const MeshDraw& draw, int part) {
        const R3D_MeshData& mesh = draw.mesh;
        const Material& material = MaterialOf(draw.model, mesh);
        if (part == 0) {
            if ((material.alphaMode == AlphaMode::kBlend) != blendedPass) return 0;
            DrawLights& lights = frame.drawLights;
            const Bounds& bounds = draw.bounds;
            if (bounds.radius != lastBounds.radius || !Vector3Equals(bounds.center, lastBounds.center)) {
                lastBounds = bounds;
                // Where the draw can show; lights that light none of it are left out.
                ScreenRect footprint = SphereScreenRect(bounds.center, bounds.radius, frame.viewProj, frame.viewport);
                if (footprint.Empty()) footprint = frame.viewport;
                uint32_t mask = 0;
                for (int i = 0; i < frame.lights.count; ++i) {
                    if (!Intersection(frame.lights.rect[i], footprint).Empty() && LightReaches(*frame.lights.source[i], bounds)) {
                        mask |= 1u << i;
                    }
                }
                if (!lights.valid || mask != lights.mask) PackLights(frame.lights, mask, lights.uniforms, lights.set);
                lights.mask = mask;
                lights.valid = true;
                SplitByScreen(mask, footprint, frame.split);
            }
            const size_t vertices = mesh.ebo != 0 ? mesh.indices.size() : mesh.positions.size();
            const long long triangles = static_cast<long long>(vertices / 3) * draw.instances;
            const DrawSplit& split = frame.split;
            parts = split.bands > 0 && triangles * split.bands * kPixelsPerRepeatedTriangle <= split.outsideArea
                        ? 1 + split.bands
                        : 1;
        }
        const DrawLights& lights = part == 0 ? frame.drawLights : frame.split.outside;
        SceneProgram* program = frame.programs.Scene(lights.set, mesh.features | frameFeatures);
        if (program == nullptr) return 0;
        if (program != current) {
            gl::UseProgram(program->id);
            current = program;
        }
        if (program->uploadedScene != frame.sceneNumber) UploadFrameUniforms(*program);
        if (program->uploadedLights != lights.mask) {
            UploadLights(*program, lights.uniforms);
            program->uploadedLights = lights.mask;
        }
        BindMaterial(material, mesh.features, *program);
        if (mesh.features & kFeatureSkinned) SetPoseUniforms(program->poses, program->poseBase, program->jointCount, draw);
        SetCulling(material.doubleSided);
        SetScissor(parts == 1 ? nullptr : part == 0 ? &frame.split.inside : &frame.split.band[part - 1]);
        return parts;
    };
    const DrawView view = MakeDrawView(frame.viewProj, frame.targetWidth, frame.targetHeight, &frame.stats.camera);
    ExecuteDraws(DrawQueue(), prepare, view);

    // The sky where nothing opaque was drawn, behind what is blended over it.
    SetScissor(nullptr);
    if (DrawSky({frame.viewProj, frame.view.camera.position, frame.exposure})) {
        current = nullptr;
        gl::Enable(gl::kCullFace);
        gl::CullFace(gl::kBack);
    }

    // Then what lets the scene show through, over it, without hiding what lies behind it.
    blendedPass = true;
    gl::Enable(gl::kBlend);
    gl::BlendFunc(gl::kSrcAlpha, gl::kOneMinusSrcAlpha);
    gl::DepthMask(0);
    ExecuteBlendedDraws(DrawQueue(), prepare, view, frame.view.camera.position);
    gl::DepthMask(1);

    // Hand rlgl back the state its batch expects.
    SetScissor(nullptr);
    gl::Enable(gl::kCullFace);
    gl::Enable(gl::kBlend);
    BindShadowTextures(false);
    for (int unit : {kUnitSky, kUnitNormal, kUnitMetalRough, kUnitOcclusion, kUnitEmissive, kUnitAlbedo}) BindTexture(unit, 0);
    gl::UseProgram(0);
}

}  // namespace

bool SceneOpen() { return frame.inScene; }
unsigned int SceneNumber() { return frame.sceneNumber; }

}  // namespace r3d

using r3d::frame;

extern "C" {

void R3D_Init(int resWidth, int resHeight) {
    frame.width = resWidth;
    frame.height = resHeight;
    if (frame.ready) return;
    if (!IsWindowReady()) {
        base::Warn("R3D", "R3D_Init needs a window (call InitWindow first); 3D drawing is off");
        return;
    }
    frame.ready = true;
    frame.usable = r3d::gl::Load() && frame.programs.Load();
}

void R3D_Close(void) {
    if (!frame.ready) return;
    r3d::UnloadShadowResources();
    r3d::UnloadPostResources();
    r3d::UnloadDrawResources();
    r3d::UnloadParticleResources();
    frame.programs.Unload();
    r3d::DrawQueue().clear();
    frame.ready = false;
    frame.usable = false;
    frame.inScene = false;
}

void R3D_Begin(Camera3D camera) {
    if (frame.inScene) R3D_End();  // a scene left open is finished rather than mixed into this one
    ClearBackground(r3d::kSky);
    BeginMode3D(camera);
    frame.view.camera = camera;
    const Matrix proj = rlGetMatrixProjection();
    frame.view.aspect = proj.m0 != 0.0f ? proj.m5 / proj.m0 : 1.0f;
    frame.view.nearPlane = static_cast<float>(rlGetCullDistanceNear());
    frame.view.farPlane = static_cast<float>(rlGetCullDistanceFar());
    frame.viewProj = MatrixMultiply(rlGetMatrixModelview(), proj);
    frame.projection = proj;
    frame.view.frustum = r3d::FrustumOf(frame.viewProj);
    frame.targetWidth = rlGetFramebufferWidth();
    frame.targetHeight = rlGetFramebufferHeight();
    r3d::DrawQueue().clear();
    ++frame.sceneNumber;
    frame.inScene = true;
}

void R3D_End(void) {
    if (!frame.inScene) return;
    frame.inScene = false;
    if (frame.usable) {
        rlDrawRenderBatchActive();  // raylib's own 3D drawing made since R3D_Begin goes first
        r3d::BeginCulling();
        frame.stats = R3D_FrameStats{};
        // Pass timing waits for the driver before, between and after the passes.
        double mark = 0.0;
        auto lap = [&mark](float* ms) {
            r3d::gl::Finish();
            const double now = GetTime();
            if (ms != nullptr) *ms = static_cast<float>((now - mark) * 1000.0);
            mark = now;
        };
        if (frame.passTiming) lap(nullptr);
        const double posing = GetTime();
        r3d::PoseDraws(r3d::DrawQueue());
        frame.stats.poseMs = static_cast<float>((GetTime() - posing) * 1000.0);
        // A scissor the caller set (BeginScissorMode) is for the screen, not for the maps.
        const bool scissor = r3d::gl::IsEnabled(r3d::gl::kScissorTest);
        if (scissor) r3d::gl::Disable(r3d::gl::kScissorTest);
        r3d::UpdateShadows(frame.view, r3d::DrawQueue(), frame.programs, &frame.stats.shadows);
        if (scissor) r3d::gl::Enable(r3d::gl::kScissorTest);
        if (frame.passTiming) lap(&frame.stats.shadowMs);
        r3d::DrawScene();
        if (frame.passTiming) lap(&frame.stats.sceneMs);
        // Particles after occlusion and bloom: they leave no depth for occlusion to read,
        // and would be darkened by what lies behind them.
        r3d::ApplyScreenPasses(frame.projection, frame.view.nearPlane, frame.view.farPlane);
        float ambient[3];
        r3d::ParticleLight(ambient);
        r3d::DrawQueuedParticles(frame.view.camera, frame.viewProj, ambient);
        if (frame.passTiming) lap(&frame.stats.effectsMs);
    }
    r3d::DrawQueue().clear();
    r3d::ClearQueuedParticles();
    EndMode3D();
}

R3D_FrameStats R3D_GetFrameStats(void) { return frame.stats; }
void R3D_SetPassTiming(bool enabled) { frame.passTiming = enabled; }

void R3D_WaitForDriver(void) {
    if (r3d::gl::Loaded()) r3d::gl::Finish();
}

int R3D_TakeGLErrors(void) {
    if (!r3d::gl::Loaded()) return 0;
    int errors = 0;
    // Each call clears one flag; a lost context keeps answering, so stop at a bound.
    while (r3d::gl::GetError() != r3d::gl::kNone && errors < 64) ++errors;
    return errors;
}

void R3D_SetExposure(float exposure) { frame.exposure = exposure > 0.0f ? exposure : 0.0f; }
float R3D_GetExposure(void) { return frame.exposure; }

}  // extern "C"
