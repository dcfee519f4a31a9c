// The sky pass and the screen-space passes (ambient occlusion, bloom, the composite),
// each a full-screen triangle with a variant of shaders/environment.glsl.
#include "draw/post.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <unordered_map>

#include "base/Log.h"
#include "draw/draw_gl.h"
#include "draw/environment.h"
#include "draw/lights.h"
#include "raymath.h"  // Required for: MatrixInvert(), Vector3Normalize()
#include "rlgl.h"     // Required for: rlLoadShaderProgram(), rlSetUniform*(), rlLoadVertexArray()

namespace r3d::glsl {
extern const unsigned char kEnvironmentShader[];
extern const std::size_t kEnvironmentShaderSize;
}  // namespace r3d::glsl

namespace r3d {
namespace {

constexpr Color kFlatSky = {24, 26, 32, 255};  // the background when no sky was set
constexpr float kSkyFogDistance = 1000.0f;     // how far the fog takes the sky to be
constexpr int kMaxBloomLevels = 6;

struct Target {
    unsigned int framebuffer = 0, texture = 0;
    int width = 0, height = 0;
};

struct PostState {
    unsigned int vao = 0;
    std::unordered_map<std::string, unsigned int> programs;  // by switches; 0: did not compile
    // The offscreen scene: its picture and a depth texture.
    unsigned int sceneFramebuffer = 0, sceneColor = 0, sceneDepth = 0;
    int width = 0, height = 0;
    Target occlusion[2];            // quarter size: occlusion, then blurred
    Target bloom[kMaxBloomLevels];  // half size and down
    int bloomLevels = 0;
    int savedFramebuffer = 0, savedViewport[4] = {};
    bool active = false;  // the scene is being drawn offscreen
} post;

unsigned int Program(const std::string& switches) {
    auto found = post.programs.find(switches);
    if (found != post.programs.end()) return found->second;
    const std::string body(reinterpret_cast<const char*>(glsl::kEnvironmentShader), glsl::kEnvironmentShaderSize);
    // Every pass shares the vertex stage; the switches pick the fragment stage.
    const std::string vs = "#version 330 core\n#define VERTEX\n" + body;
    const std::string fs = "#version 330 core\n" + switches + kFogGlsl + body;
    const unsigned int id = rlLoadShaderProgram(vs.c_str(), fs.c_str());
    if (id == 0) base::Warn("R3D", "an environment shader did not compile (%s)", switches.c_str());
    post.programs[switches] = id;
    return id;
}

void SetInt(unsigned int program, const char* name, int value) {
    rlSetUniform(rlGetLocationUniform(program, name), &value, RL_SHADER_UNIFORM_INT, 1);
}
void SetFloats(unsigned int program, const char* name, const float* values, int type) {
    rlSetUniform(rlGetLocationUniform(program, name), values, type, 1);
}
void BindUnit(int unit, unsigned int texture) {
    gl::ActiveTexture(gl::kTexture0 + unit);
    gl::BindTexture(gl::kTexture2D, texture);
}

void DrawTriangle() {
    if (post.vao == 0) post.vao = rlLoadVertexArray();
    gl::BindVertexArray(post.vao);
    gl::DrawArraysInstanced(gl::kTriangles, 0, 3, 1);
    gl::BindVertexArray(0);
}

unsigned int MakeTexture(int width, int height, unsigned int internal, unsigned int format, unsigned int type, unsigned int filter) {
    unsigned int id = 0;
    gl::GenTextures(1, &id);
    gl::BindTexture(gl::kTexture2D, id);
    gl::TexImage2D(gl::kTexture2D, 0, static_cast<gl::GLint>(internal), width, height, 0, format, type, nullptr);
    gl::TexParameteri(gl::kTexture2D, gl::kTextureMinFilter, static_cast<gl::GLint>(filter));
    gl::TexParameteri(gl::kTexture2D, gl::kTextureMagFilter, static_cast<gl::GLint>(filter));
    gl::TexParameteri(gl::kTexture2D, gl::kTextureWrapS, gl::kClampToEdge);
    gl::TexParameteri(gl::kTexture2D, gl::kTextureWrapT, gl::kClampToEdge);
    gl::BindTexture(gl::kTexture2D, 0);
    return id;
}

// 8-bit targets: llvmpipe reads and writes them several times faster than float ones.
bool MakeTarget(Target& t, int width, int height, unsigned int internal, unsigned int format) {
    t.width = std::max(width, 1);
    t.height = std::max(height, 1);
    t.texture = MakeTexture(t.width, t.height, internal, format, gl::kUnsignedByte, gl::kLinear);
    gl::GenFramebuffers(1, &t.framebuffer);
    gl::BindFramebuffer(gl::kFramebuffer, t.framebuffer);
    gl::FramebufferTexture2D(gl::kFramebuffer, gl::kColorAttachment0, gl::kTexture2D, t.texture, 0);
    return gl::CheckFramebufferStatus(gl::kFramebuffer) == gl::kFramebufferComplete;
}

void FreeTarget(Target& t) {
    if (t.framebuffer != 0) gl::DeleteFramebuffers(1, &t.framebuffer);
    if (t.texture != 0) gl::DeleteTextures(1, &t.texture);
    t = Target{};
}

void FreeTargets() {
    if (post.sceneFramebuffer != 0) gl::DeleteFramebuffers(1, &post.sceneFramebuffer);
    for (unsigned int* t : {&post.sceneColor, &post.sceneDepth}) {
        if (*t != 0) gl::DeleteTextures(1, t);
        *t = 0;
    }
    post.sceneFramebuffer = 0;
    for (Target& t : post.occlusion) FreeTarget(t);
    for (Target& t : post.bloom) FreeTarget(t);
    post.bloomLevels = 0;
    post.width = post.height = 0;
}

// The targets for a framebuffer of this size; false (once warned) if the driver refuses them.
bool MakeTargets(int width, int height) {
    FreeTargets();
    post.width = width;
    post.height = height;
    post.sceneColor = MakeTexture(width, height, gl::kRgba8, gl::kRgba, gl::kUnsignedByte, gl::kLinear);
    post.sceneDepth = MakeTexture(width, height, gl::kDepthComponent24, gl::kDepthComponent, gl::kUnsignedInt, gl::kNearest);
    gl::GenFramebuffers(1, &post.sceneFramebuffer);
    gl::BindFramebuffer(gl::kFramebuffer, post.sceneFramebuffer);
    gl::FramebufferTexture2D(gl::kFramebuffer, gl::kColorAttachment0, gl::kTexture2D, post.sceneColor, 0);
    gl::FramebufferTexture2D(gl::kFramebuffer, gl::kDepthAttachment, gl::kTexture2D, post.sceneDepth, 0);
    bool ok = gl::CheckFramebufferStatus(gl::kFramebuffer) == gl::kFramebufferComplete;
    // Occlusion varies slowly over the screen: a quarter of the size in each direction.
    for (Target& t : post.occlusion) ok = MakeTarget(t, width / 4, height / 4, gl::kR8, gl::kRed) && ok;
    // Bloom's levels halve down to about 8 texels: its reach is a share of the screen.
    int w = width / 2, h = height / 2;
    while (post.bloomLevels < kMaxBloomLevels && std::min(w, h) >= 8) {
        ok = MakeTarget(post.bloom[post.bloomLevels++], w, h, gl::kRgba8, gl::kRgba) && ok;
        w /= 2;
        h /= 2;
    }
    if (!ok) {
        base::Warn("R3D", "the driver refused the offscreen targets for ambient occlusion and bloom; they are off");
        FreeTargets();
    }
    return ok;
}

// The tone curve of the lit pass (r3d.h) on one value.
float ToneCurve(float m) { return m <= 0.7f ? m : 0.7f + 0.3f * (1.0f - std::exp(-(m - 0.7f) / 0.3f)); }

// The first active directional light: where the sky's sun is.
const LightData* Sun() {
    for (const LightData* light : Lights()) {
        if (light->active && light->type == R3D_LIGHT_DIR) return light;
    }
    return nullptr;
}

void Bind(const Target& t) {
    gl::BindFramebuffer(gl::kFramebuffer, t.framebuffer);
    gl::Viewport(0, 0, t.width, t.height);
}

}  // namespace

bool BeginOffscreen(int width, int height) {
    post.active = false;
    if (!CurrentEnvironment().PostOn() || width <= 0 || height <= 0) return false;
    // Saved first: making the targets binds each of them.
    gl::GetIntegerv(gl::kDrawFramebufferBinding, &post.savedFramebuffer);
    gl::GetIntegerv(gl::kViewport, post.savedViewport);
    if ((width != post.width || height != post.height || post.sceneFramebuffer == 0) && !MakeTargets(width, height)) {
        gl::BindFramebuffer(gl::kFramebuffer, static_cast<unsigned int>(post.savedFramebuffer));
        return false;
    }
    gl::BindFramebuffer(gl::kFramebuffer, post.sceneFramebuffer);
    gl::Viewport(0, 0, width, height);
    post.active = true;
    return true;
}

bool DrawSky(const SkyView& view) {
    const Environment& env = CurrentEnvironment();
    if (!env.skyOn && !env.fog.On()) return false;
    const unsigned int program = Program("#define SKY\n");
    if (program == 0) return false;
    gl::UseProgram(program);
    rlSetUniformMatrix(rlGetLocationUniform(program, "uInvViewProj"), MatrixInvert(view.viewProj));
    const float eye[3] = {view.eye.x, view.eye.y, view.eye.z};
    SetFloats(program, "uEye", eye, RL_SHADER_UNIFORM_VEC3);
    const unsigned int map = env.skyOn ? SkyMapTexture() : 0;  // rebuilt first when the sky changed
    SetInt(program, "uSkyKind", !env.skyOn ? 0 : env.panorama.empty() ? 1 : 2);
    const float flat[3] = {kFlatSky.r / 255.0f, kFlatSky.g / 255.0f, kFlatSky.b / 255.0f};
    SetFloats(program, "uFlatColor", flat, RL_SHADER_UNIFORM_VEC3);
    SetFloats(program, "uZenith", env.zenith, RL_SHADER_UNIFORM_VEC3);
    SetFloats(program, "uHorizon", env.horizon, RL_SHADER_UNIFORM_VEC3);
    SetFloats(program, "uGround", env.ground, RL_SHADER_UNIFORM_VEC3);
    float sun[4] = {0.0f, 1.0f, 0.0f, 0.0f}, radiance[3] = {0.0f, 0.0f, 0.0f};
    if (const LightData* light = env.skyOn ? Sun() : nullptr) {
        const Vector3 towards = Vector3Normalize(Vector3Negate(light->direction));
        sun[0] = towards.x, sun[1] = towards.y, sun[2] = towards.z, sun[3] = 1.0f;
        radiance[0] = light->color.r / 255.0f * light->energy;
        radiance[1] = light->color.g / 255.0f * light->energy;
        radiance[2] = light->color.b / 255.0f * light->energy;
    }
    SetFloats(program, "uSun", sun, RL_SHADER_UNIFORM_VEC4);
    SetFloats(program, "uSunRadiance", radiance, RL_SHADER_UNIFORM_VEC3);
    SetFloats(program, "uExposure", &view.exposure, RL_SHADER_UNIFORM_FLOAT);
    SetFloats(program, "uFogDistance", &kSkyFogDistance, RL_SHADER_UNIFORM_FLOAT);
    UploadFog(program, view.eye.y);
    SetInt(program, "uSkyMap", 0);
    BindUnit(0, map);
    // At the far plane, where nothing else was drawn; it writes no depth.
    gl::DepthMask(0);
    gl::Disable(gl::kCullFace);
    gl::Disable(gl::kBlend);
    DrawTriangle();
    gl::DepthMask(1);
    BindUnit(0, 0);
    return true;
}

void EndOffscreen(const Matrix& proj, float nearPlane, float farPlane) {
    if (!post.active) return;
    post.active = false;
    const Environment& env = CurrentEnvironment();
    gl::Disable(gl::kDepthTest);
    gl::Disable(gl::kBlend);
    gl::Disable(gl::kCullFace);
    const bool scissor = gl::IsEnabled(gl::kScissorTest);
    if (scissor) gl::Disable(gl::kScissorTest);
    const float range[2] = {nearPlane, farPlane};
    const bool occlusion = env.OcclusionOn() && Program("#define OCCLUSION\n") != 0 && Program("#define OCCLUSION_BLUR\n") != 0;
    if (occlusion) {
        unsigned int p = Program("#define OCCLUSION\n");
        Bind(post.occlusion[0]);
        gl::UseProgram(p);
        rlSetUniformMatrix(rlGetLocationUniform(p, "uProj"), proj);
        rlSetUniformMatrix(rlGetLocationUniform(p, "uInvProj"), MatrixInvert(proj));
        const float params[2] = {env.occlusionRadius, env.occlusionStrength};
        SetFloats(p, "uOcclusion", params, RL_SHADER_UNIFORM_VEC2);
        SetFloats(p, "uDepthRange", range, RL_SHADER_UNIFORM_VEC2);
        SetInt(p, "uDepth", 0);
        BindUnit(0, post.sceneDepth);
        DrawTriangle();
        p = Program("#define OCCLUSION_BLUR\n");
        Bind(post.occlusion[1]);
        gl::UseProgram(p);
        SetInt(p, "uDepth", 0);
        SetInt(p, "uOcclusionMap", 1);
        SetFloats(p, "uDepthRange", range, RL_SHADER_UNIFORM_VEC2);
        BindUnit(1, post.occlusion[0].texture);
        DrawTriangle();
    }
    const bool bloom = env.BloomOn() && post.bloomLevels > 0 && Program("#define BLOOM_DOWN\n") != 0 && Program("#define BLOOM_UP\n") != 0;
    if (bloom) {
        unsigned int p = Program("#define BLOOM_DOWN\n");
        gl::UseProgram(p);
        SetInt(p, "uSource", 0);
        // The threshold is given in the lit colour before the tone curve; the picture has
        // been through it. Each level gets an equal share, so that their sum stays in range.
        const float pictureThreshold = std::min(ToneCurve(env.bloomThreshold), 0.99f);
        for (int i = 0; i < post.bloomLevels; ++i) {
            Bind(post.bloom[i]);
            const float threshold[2] = {pictureThreshold, i == 0 ? 1.0f / static_cast<float>(post.bloomLevels) : 0.0f};
            SetFloats(p, "uThreshold", threshold, RL_SHADER_UNIFORM_VEC2);
            BindUnit(0, i == 0 ? post.sceneColor : post.bloom[i - 1].texture);
            DrawTriangle();
        }
        // Back up the chain, each level added onto the one above it.
        p = Program("#define BLOOM_UP\n");
        gl::UseProgram(p);
        SetInt(p, "uSource", 0);
        gl::Enable(gl::kBlend);
        gl::BlendFunc(gl::kOne, gl::kOne);
        for (int i = post.bloomLevels - 1; i > 0; --i) {
            Bind(post.bloom[i - 1]);
            BindUnit(0, post.bloom[i].texture);
            DrawTriangle();
        }
        gl::Disable(gl::kBlend);
    }

    gl::BindFramebuffer(gl::kFramebuffer, static_cast<unsigned int>(post.savedFramebuffer));
    gl::Viewport(post.savedViewport[0], post.savedViewport[1], post.savedViewport[2], post.savedViewport[3]);
    if (scissor) gl::Enable(gl::kScissorTest);
    std::string switches = "#define COMPOSITE\n";
    if (occlusion) switches += "#define WITH_OCCLUSION\n";
    if (bloom) switches += "#define WITH_BLOOM\n";
    const unsigned int p = Program(switches);
    if (p != 0) {
        gl::UseProgram(p);
        SetInt(p, "uScene", 0);
        SetInt(p, "uOcclusionMap", 2);
        SetInt(p, "uBloom", 3);
        SetFloats(p, "uBloomStrength", &env.bloomStrength, RL_SHADER_UNIFORM_FLOAT);
        BindUnit(0, post.sceneColor);
        BindUnit(2, post.occlusion[1].texture);
        BindUnit(3, bloom ? post.bloom[0].texture : 0);
        DrawTriangle();
    }
    for (int unit = 3; unit >= 0; --unit) BindUnit(unit, 0);
    gl::UseProgram(0);
    // Hand rlgl back the state its batch expects.
    gl::Enable(gl::kDepthTest);
    gl::Enable(gl::kCullFace);
    gl::Enable(gl::kBlend);
    gl::BlendFunc(gl::kSrcAlpha, gl::kOneMinusSrcAlpha);
}

void UnloadPostResources() {
    if (gl::Loaded()) {
        FreeTargets();
        for (auto& [switches, id] : post.programs) {
            if (id != 0) rlUnloadShaderProgram(id);
        }
        if (post.vao != 0) rlUnloadVertexArray(post.vao);
    }
    post = PostState{};
    ReleaseSkyMap();
}

}  // namespace r3d
