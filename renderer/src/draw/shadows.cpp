// Shadow maps. Every shadowed light owns one layer of a shared depth texture of its
// kind; layers are handed out on first use and the texture grows when it runs out.
// Casters are drawn with their front faces; biases are applied when the map is read.
#include "draw/shadows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "draw/draw_gl.h"
#include "raylib.h"   // Required for: GetTime()
#include "raymath.h"  // Required for: MatrixLookAt(), MatrixOrtho(), MatrixPerspective()
#include "rlgl.h"     // Required for: rlSetUniformMatrix()

namespace r3d {
namespace {

struct LayeredTexture {
    unsigned int texture = 0;
    int layers = 0;
    std::vector<bool> used;
};

struct ShadowState {
    LayeredTexture textures[3];  // by light type; omni layers are cube maps of six faces
    unsigned int framebuffer = 0;
} shadows;

void SetDepthParameters(gl::GLenum target) {
    gl::TexParameteri(target, gl::kTextureMinFilter, gl::kLinear);
    gl::TexParameteri(target, gl::kTextureMagFilter, gl::kLinear);
    gl::TexParameteri(target, gl::kTextureWrapS, gl::kClampToEdge);
    gl::TexParameteri(target, gl::kTextureWrapT, gl::kClampToEdge);
    gl::TexParameteri(target, gl::kTextureWrapR, gl::kClampToEdge);
    gl::TexParameteri(target, gl::kTextureCompareMode, gl::kCompareRefToTexture);
    gl::TexParameteri(target, gl::kTextureCompareFunc, gl::kLequal);
}

// (Re)creates the texture with `layers` layers. Its contents are lost, so every light of
// that kind redraws its map.
void Allocate(R3D_LightType type, int layers) {
    LayeredTexture& t = shadows.textures[type];
    const bool cube = type == R3D_LIGHT_OMNI;
    if (t.texture != 0) gl::DeleteTextures(1, &t.texture);
    gl::GenTextures(1, &t.texture);
    const gl::GLenum target = cube ? gl::kTextureCubeMapArray : gl::kTexture2DArray;
    const int size = kShadowSize[type];
    gl::BindTexture(target, t.texture);
    gl::TexImage3D(target, 0, gl::kDepthComponent32F, size, size, cube ? layers * 6 : layers, 0,
                   gl::kDepthComponent, gl::kFloat, nullptr);
    SetDepthParameters(target);
    gl::BindTexture(target, 0);
    t.layers = layers;
    t.used.resize(layers, false);
    for (LightData* light : Lights()) {
        if (light->type == type) {
            light->map.drawn = false;
            light->map.requested = true;
        }
    }
}

int AcquireLayer(R3D_LightType type) {
    LayeredTexture& t = shadows.textures[type];
    auto it = std::find(t.used.begin(), t.used.end(), false);
    if (it == t.used.end()) {
        const int limit = kMaxShadowLayers[type];
        if (t.layers >= limit) return -1;
        Allocate(type, std::min(limit, std::max(2, t.layers * 2)));
        it = std::find(t.used.begin(), t.used.end(), false);
    }
    *it = true;
    return static_cast<int>(it - t.used.begin());
}

bool NeedsRedraw(const LightData& light, double now) {
    // Asked for, or first drawn after shadows were switched on (in every mode).
    if (light.map.requested) return true;
    if (!light.map.drawn) return light.updateMode != R3D_SHADOW_UPDATE_MANUAL;
    switch (light.updateMode) {
        case R3D_SHADOW_UPDATE_CONTINUOUS: return true;
        case R3D_SHADOW_UPDATE_INTERVAL: return (now - light.map.lastDrawTime) * 1000.0 >= light.updateFrequency;
        default: return false;
    }
}

Vector3 SafeDirection(Vector3 d) {
    const float len = Vector3Length(d);
    return len > 1e-6f ? Vector3Scale(d, 1.0f / len) : Vector3{0.0f, -1.0f, 0.0f};
}

Vector3 UpFor(Vector3 dir) {
    return std::fabs(dir.y) > 0.99f ? Vector3{0.0f, 0.0f, 1.0f} : Vector3{0.0f, 1.0f, 0.0f};
}

// Orthographic projection around the part of the camera's view within `distance`,
// moved in whole texels so the map does not shimmer as the camera moves.
void FitDirectional(LightData& light, const SceneView& view) {
    const Camera3D& cam = view.camera;
    const Vector3 forward = SafeDirection(Vector3Subtract(cam.target, cam.position));
    const Vector3 right = SafeDirection(Vector3CrossProduct(forward, cam.up));
    const Vector3 up = Vector3CrossProduct(right, forward);
    const float nearD = view.nearPlane;
    const float farD = std::max(nearD + 0.1f, std::min(view.farPlane, light.range));
    Vector3 corners[8];
    for (int k = 0; k < 8; ++k) {
        const float d = (k & 4) ? farD : nearD;
        float halfH;
        if (cam.projection == CAMERA_ORTHOGRAPHIC) halfH = cam.fovy * 0.5f;
        else halfH = d * std::tan(cam.fovy * DEG2RAD * 0.5f);
        const float halfW = halfH * view.aspect;
        const float sx = (k & 1) ? 1.0f : -1.0f, sy = (k & 2) ? 1.0f : -1.0f;
        corners[k] = Vector3Add(Vector3Add(Vector3Add(cam.position, Vector3Scale(forward, d)),
                                           Vector3Scale(right, sx * halfW)),
                                Vector3Scale(up, sy * halfH));
    }
    Vector3 center{};
    for (const Vector3& c : corners) center = Vector3Add(center, Vector3Scale(c, 1.0f / 8.0f));
    float radius = 0.0f;
    for (const Vector3& c : corners) radius = std::max(radius, Vector3Distance(c, center));
    radius = std::ceil(radius);  // steady size while the camera turns

    const Vector3 dir = SafeDirection(light.direction);
    const Matrix lightView = MatrixLookAt(Vector3{0.0f, 0.0f, 0.0f}, dir, UpFor(dir));
    Vector3 c = Vector3Transform(center, lightView);
    const float texel = 2.0f * radius / kShadowSize[R3D_LIGHT_DIR];
    c.x = std::floor(c.x / texel) * texel;
    c.y = std::floor(c.y / texel) * texel;
    // Casters outside the view but between it and the light still cast into it.
    const float behind = 4.0f * radius + 50.0f;
    const Matrix proj = MatrixOrtho(c.x - radius, c.x + radius, c.y - radius, c.y + radius,
                                    -c.z - radius - behind, -c.z + radius);
    light.map.viewProj = MatrixMultiply(lightView, proj);
    light.map.texelScale = texel;
}

void FitSpot(LightData& light) {
    const Vector3 dir = SafeDirection(light.direction);
    // Cover the outer cone plus a margin for the filter, at most a wide 170 degrees.
    const float halfAngle = std::clamp(std::max(light.outerCutOff, light.innerCutOff) + 2.0f, 1.0f, 85.0f);
    const float farPlane = std::max(light.range, 0.1f);
    const float nearPlane = std::min(0.05f, farPlane * 0.01f);
    const Matrix lightView = MatrixLookAt(light.position, Vector3Add(light.position, dir), UpFor(dir));
    const Matrix proj = MatrixPerspective(2.0f * halfAngle * DEG2RAD, 1.0, nearPlane, farPlane);
    light.map.viewProj = MatrixMultiply(lightView, proj);
    light.map.origin = light.position;
    light.map.texelScale = 2.0f * std::tan(halfAngle * DEG2RAD) / kShadowSize[R3D_LIGHT_SPOT];
}

// Draws the casters into the bound depth layer, `size` texels square. Blended meshes cast
// no shadow; cut-out ones cast the shape their alpha leaves; double-sided ones cast with
// both faces, so that a leaf turned from the light still casts.
void DrawDepth(const Matrix& viewProj, int size, const std::vector<DrawCommand>& draws, Programs& programs,
               R3D_ViewStats* stats) {
    static unsigned int viewNumber = 0;  // tells the depth variants their matrix is stale
    ++viewNumber;
    gl::Clear(gl::kDepthBufferBit);
    const DepthProgram* current = nullptr;
    auto prepare = [&](const MeshDraw& draw, int) {
        const R3D_MeshData& mesh = draw.mesh;
        const Material& material = MaterialOf(draw.model, mesh);
        if (material.alphaMode == AlphaMode::kBlend) return 0;
        DepthProgram* program = programs.Depth(mesh.features);
        if (program == nullptr) return 0;
        if (program != current) {
            gl::UseProgram(program->id);
            if (program->uploadedView != viewNumber) {
                rlSetUniformMatrix(program->viewProj, viewProj);
                program->uploadedView = viewNumber;
            }
            current = program;
        }
        if (mesh.features & kFeatureAlphaMask) {
            rlSetUniform(program->baseColor, material.baseColor, RL_SHADER_UNIFORM_VEC4, 1);
            rlSetUniform(program->alphaCutoff, &material.alphaCutoff, RL_SHADER_UNIFORM_FLOAT, 1);
            const int unit = kUnitAlbedo;
            rlSetUniform(program->albedoMap, &unit, RL_SHADER_UNIFORM_INT, 1);
            BindTexture(kUnitAlbedo, material.baseTexture);
        }
        if (mesh.features & kFeatureSkinned) SetPoseUniforms(program->poses, program->poseBase, program->jointCount, draw);
        SetCulling(material.doubleSided);
        return 1;
    };
    ExecuteDraws(draws, prepare, MakeDrawView(viewProj, size, size, stats));
    gl::Enable(gl::kCullFace);
}

void DrawFlat(LightData& light, const std::vector<DrawCommand>& draws, Programs& programs, R3D_ViewStats* stats) {
    gl::FramebufferTextureLayer(gl::kFramebuffer, gl::kDepthAttachment, shadows.textures[light.type].texture, 0,
                                light.map.layer);
    gl::Viewport(0, 0, kShadowSize[light.type], kShadowSize[light.type]);
    DrawDepth(light.map.viewProj, kShadowSize[light.type], draws, programs, stats);
}

void FitCube(LightData& light) {
    ShadowMap& map = light.map;
    map.farPlane = std::max(light.range, 0.1f);
    map.nearPlane = std::min(0.05f, map.farPlane * 0.01f);
    map.origin = light.position;
    map.texelScale = 2.0f / kShadowSize[R3D_LIGHT_OMNI];
}

void DrawCube(LightData& light, const std::vector<DrawCommand>& draws, Programs& programs, R3D_ViewStats* stats) {
    // Face order and up vectors of OpenGL's cube-map convention.
    static const Vector3 kFaceDir[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    static const Vector3 kFaceUp[6] = {{0, -1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}, {0, -1, 0}, {0, -1, 0}};
    const ShadowMap& map = light.map;
    const Matrix proj = MatrixPerspective(90.0 * DEG2RAD, 1.0, map.nearPlane, map.farPlane);
    gl::Viewport(0, 0, kShadowSize[R3D_LIGHT_OMNI], kShadowSize[R3D_LIGHT_OMNI]);
    for (int face = 0; face < 6; ++face) {
        gl::FramebufferTextureLayer(gl::kFramebuffer, gl::kDepthAttachment, shadows.textures[R3D_LIGHT_OMNI].texture, 0,
                                    map.layer * 6 + face);
        const Matrix view = MatrixLookAt(map.origin, Vector3Add(map.origin, kFaceDir[face]), kFaceUp[face]);
        DrawDepth(MatrixMultiply(view, proj), kShadowSize[R3D_LIGHT_OMNI], draws, programs, stats);
    }
}

// 64-bit FNV-1a over whole words: fast enough to run over every instance array each frame.
struct Fingerprint {
    uint64_t h = 1469598103934665603ull;
    void Add(const void* data, size_t bytes) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (; bytes >= 8; bytes -= 8, p += 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            h = (h ^ word) * 1099511628211ull;
        }
        for (; bytes > 0; --bytes, ++p) h = (h ^ *p) * 1099511628211ull;
    }
    template <typename T>
    void Add(const T& value) { Add(&value, sizeof(value)); }
};

// What every shadow map of this frame would draw: the models, the instances' values.
uint64_t SceneFingerprint(const std::vector<DrawCommand>& draws) {
    static constexpr size_t kAttributeSize[4] = {sizeof(Vector3), sizeof(Vector4), sizeof(Vector3), sizeof(Color)};
    Fingerprint f;
    f.Add(R3D_GetLodPixelError());  // the levels of detail drawn
    for (const DrawCommand& draw : draws) {
        f.Add(draw.model);
        f.Add(draw.model->lodEnabled);
        for (const R3D_MeshData& mesh : draw.model->meshes) {
            f.Add(mesh.vao);
            f.Add(mesh.indices.size());
        }
        f.Add(draw.instances);
        f.Add(draw.count);
        // Colour changes a depth map only through a cut-out's alpha.
        for (int a = 0; a < (draw.model->anyMasked ? 4 : 3); ++a) {
            const void* values = draw.instances->staging[a];
            if (values != nullptr) f.Add(values, kAttributeSize[a] * static_cast<size_t>(draw.count));
            else f.Add(a);
        }
        // An animated model's poses.
        if (draw.model->Animated() && draw.instances->staging[4] != nullptr) {
            f.Add(draw.instances->staging[4], sizeof(R3D_AnimationState) * static_cast<size_t>(draw.count));
        }
    }
    return f.h;
}

uint64_t ViewFingerprint(const ShadowMap& map, uint64_t scene) {
    Fingerprint f;
    f.Add(scene);
    f.Add(map.viewProj);
    f.Add(map.origin);
    f.Add(map.nearPlane);
    f.Add(map.farPlane);
    return f.h;
}

}  // namespace

bool LightTouchesView(const LightData& light, const Frustum& view) {
    if (light.type == R3D_LIGHT_DIR) return true;
    const Vector3 c = light.position;
    for (const Vector4& p : view.planes) {
        if (p.x * c.x + p.y * c.y + p.z * c.z + p.w < -light.range) return false;
    }
    return true;
}

void ReleaseShadowMap(LightData& light) {
    ShadowMap& map = light.map;
    if (map.layer >= 0) {
        LayeredTexture& t = shadows.textures[light.type];
        if (map.layer < t.layers) t.used[map.layer] = false;
    }
    map = ShadowMap{};
}

void UpdateShadows(const SceneView& view, const std::vector<DrawCommand>& draws, Programs& programs,
                   R3D_ViewStats* stats) {
    const double now = GetTime();
    struct {
        bool known = false;
        uint64_t hash = 0;
    } scene;
    bool bound = false;
    gl::GLint savedFramebuffer = 0, savedViewport[4] = {};
    for (LightData* lit : Lights()) {
        LightData& light = *lit;
        if (!light.active || !light.shadow || !LightTouchesView(light, view.frustum)) continue;
        const bool cube = light.type == R3D_LIGHT_OMNI;
        if (light.map.layer < 0) {
            light.map.layer = AcquireLayer(light.type);
            if (light.map.layer < 0) continue;  // all layers taken: this light stays unshadowed
            light.map.drawn = false;
        }
        if (!NeedsRedraw(light, now)) continue;
        if (cube) FitCube(light);
        else if (light.type == R3D_LIGHT_DIR) FitDirectional(light, view);
        else FitSpot(light);
        // An unchanged scene seen the same way gives the same map: keep it.
        if (!scene.known) {
            scene.hash = SceneFingerprint(draws);
            scene.known = true;
        }
        const uint64_t content = ViewFingerprint(light.map, scene.hash);
        const bool same = light.map.drawn && !light.map.requested && content == light.map.content;
        light.map.content = content;
        light.map.lastDrawTime = now;
        if (same) continue;
        if (!bound) {
            gl::GetIntegerv(gl::kDrawFramebufferBinding, &savedFramebuffer);
            gl::GetIntegerv(gl::kViewport, savedViewport);
            if (shadows.framebuffer == 0) gl::GenFramebuffers(1, &shadows.framebuffer);
            gl::BindFramebuffer(gl::kFramebuffer, shadows.framebuffer);
            gl::DrawBuffer(gl::kNone);
            gl::ReadBuffer(gl::kNone);
            gl::Enable(gl::kDepthTest);
            gl::DepthMask(1);
            // Front faces only: half the triangles of closed meshes, and a plane facing the
            // light still casts. The receiver-side biases keep lit faces free of acne.
            gl::Enable(gl::kCullFace);
            gl::CullFace(gl::kBack);
            bound = true;
        }
        if (cube) DrawCube(light, draws, programs, stats);
        else DrawFlat(light, draws, programs, stats);
        light.map.drawn = true;
        light.map.requested = false;
    }
    if (bound) {
        gl::FramebufferTextureLayer(gl::kFramebuffer, gl::kDepthAttachment, 0, 0, 0);
        gl::BindFramebuffer(gl::kFramebuffer, static_cast<gl::GLuint>(savedFramebuffer));
        gl::Viewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
    }
}

unsigned int ShadowTexture(R3D_LightType type) { return shadows.textures[type].texture; }

void UnloadShadowResources() {
    if (gl::Loaded()) {
        for (LayeredTexture& t : shadows.textures) {
            if (t.texture != 0) gl::DeleteTextures(1, &t.texture);
        }
        if (shadows.framebuffer != 0) gl::DeleteFramebuffers(1, &shadows.framebuffer);
    }
    shadows = ShadowState{};
    for (LightData* light : Lights()) {
        light->map.layer = -1;
        light->map.drawn = false;
        light->map.requested = true;  // the pictures are gone; redraw in every mode
    }
}

}  // namespace r3d
