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

// The depth formats a framebuffer's depth can be copied from (a copy wants the same format).
enum class DepthFormat { kNone, kDepth24, kDepth24Stencil8 };

struct PostState {
    unsigned int vao = 0;
    std::unordered_map<std::string, unsigned int> programs;  // by switches; 0: did not compile
    int width = 0, height = 0;  // of the framebuffer the targets were made for
    DepthFormat depthFormat = DepthFormat::kNone;
    Target depth;                   // quarter size: a copy of the picture's depth (a depth texture)
    Target picture;                 // half size: a copy of the picture, for bloom
    Target occlusion[2];            // quarter size: occlusion, then blurred
    Target bloom[kMaxBloomLevels];  // quarter size and down
    int bloomLevels = 0;
    bool warnedDepth = false;
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
    FreeTarget(post.depth);
    FreeTarget(post.picture);
    for (Target& t : post.occlusion) FreeTarget(t);
    for (Target& t : post.bloom) FreeTarget(t);
    post.bloomLevels = 0;
    post.width = post.height = 0;
    post.depthFormat = DepthFormat::kNone;
}

// The targets for a framebuffer of this size and depth format; false if the driver refuses them.
bool MakeTargets(int width, int height, DepthFormat depthFormat) {
    FreeTargets();
    post.width = width;
    post.height = height;
    post.depthFormat = depthFormat;
    bool ok = true;
    if (depthFormat != DepthFormat::kNone) {
        const bool stencil = depthFormat == DepthFormat::kDepth24Stencil8;
        // Occlusion is worked out at a quarter of the size: the depth it reads is copied at that size.
        post.depth.width = std::max(width / 4, 1), post.depth.height = std::max(height / 4, 1);
        post.depth.texture = MakeTexture(post.depth.width, post.depth.height, stencil ? gl::kDepth24Stencil8 : gl::kDepthComponent24,
                                         stencil ? gl::kDepthStencil : gl::kDepthComponent,
                                         stencil ? gl::kUnsignedInt248 : gl::kUnsignedInt, gl::kNearest);
        gl::GenFramebuffers(1, &post.depth.framebuffer);
        gl::BindFramebuffer(gl::kFramebuffer, post.depth.framebuffer);
        gl::FramebufferTexture2D(gl::kFramebuffer, stencil ? gl::kDepthStencilAttachment : gl::kDepthAttachment, gl::kTexture2D,
                                 post.depth.texture, 0);
        gl::DrawBuffer(gl::kNone);
        gl::ReadBuffer(gl::kNone);
        ok = gl::CheckFramebufferStatus(gl::kFramebuffer) == gl::kFramebufferComplete;
    }
    ok = MakeTarget(post.picture, width / 2, height / 2, gl::kRgba8, gl::kRgba) && ok;
    // Occlusion varies slowly over the screen: a quarter of the size in each direction.
    for (Target& t : post.occlusion) ok = MakeTarget(t, width / 4, height / 4, gl::kR8, gl::kRed) && ok;
    // Bloom's levels halve down to about 8 texels: its reach is a share of the screen.
    int w = width / 4, h = height / 4;
    while (post.bloomLevels < kMaxBloomLevels && std::min(w, h) >= 8) {
        ok = MakeTarget(post.bloom[post.bloomLevels++], w, h, gl::kRgba8, gl::kRgba) && ok;
        w /= 2;
        h /= 2;
    }
    if (!ok) FreeTargets();
    return ok;
}

// The depth format of the framebuffer the scene was drawn into, as a copy must match it.
DepthFormat DepthFormatOf(unsigned int framebuffer) {
    gl::GLint depthBits = 0, stencilBits = 0;
    const gl::GLenum depth = framebuffer == 0 ? gl::kDepth : gl::kDepthAttachment;
    const gl::GLenum stencil = framebuffer == 0 ? gl::kStencil : gl::kDepthAttachment;
    gl::GetFramebufferAttachmentParameteriv(gl::kReadFramebuffer, depth, gl::kAttachmentDepthSize, &depthBits);
    gl::GetFramebufferAttachmentParameteriv(gl::kReadFramebuffer, stencil, gl::kAttachmentStencilSize, &stencilBits);
    if (depthBits != 24) return DepthFormat::kNone;
    return stencilBits == 8 ? DepthFormat::kDepth24Stencil8 : stencilBits == 0 ? DepthFormat::kDepth24 : DepthFormat::kNone;
}

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

bool DrawSky(const SkyView& view) {
    const Environment& env = CurrentEnvironment();
    if (!env.skyOn && !env.fog.On()) return false;
    const LightData* sunLight = env.skyOn ? Sun() : nullptr;
    std::string switches = "#define SKY\n";
    if (env.skyOn) switches += env.panorama.empty() ? "#define SKY_PROCEDURAL\n" : "#define SKY_PANORAMA\n";
    if (sunLight != nullptr) switches += "#define SUN\n";
    const unsigned int program = Program(switches);
    if (program == 0) return false;
    gl::UseProgram(program);
    rlSetUniformMatrix(rlGetLocationUniform(program, "uInvViewProj"), MatrixInvert(view.viewProj));
    const float eye[3] = {view.eye.x, view.eye.y, view.eye.z};
    SetFloats(program, "uEye", eye, RL_SHADER_UNIFORM_VEC3);
    const unsigned int map = env.skyOn ? SkyMapTexture() : 0;  // rebuilt first when the sky changed
    const float flat[3] = {kFlatSky.r / 255.0f, kFlatSky.g / 255.0f, kFlatSky.b / 255.0f};
    SetFloats(program, "uFlatColor", flat, RL_SHADER_UNIFORM_VEC3);
    SetFloats(program, "uZenith", env.zenith, RL_SHADER_UNIFORM_VEC3);
    SetFloats(program, "uHorizon", env.horizon, RL_SHADER_UNIFORM_VEC3);
    SetFloats(program, "uGround", env.ground, RL_SHADER_UNIFORM_VEC3);
    float sun[4] = {0.0f, 1.0f, 0.0f, 0.0f}, radiance[3] = {0.0f, 0.0f, 0.0f};
    if (const LightData* light = sunLight) {
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

void ApplyScreenPasses(const Matrix& proj, float nearPlane, float farPlane) {
    const Environment& env = CurrentEnvironment();
    if (!env.PostOn()) return;
    gl::GLint framebuffer = 0, viewport[4] = {};
    gl::GetIntegerv(gl::kDrawFramebufferBinding, &framebuffer);
    gl::GetIntegerv(gl::kViewport, viewport);
    const int width = viewport[2], height = viewport[3];
    if (width < 8 || height < 8) return;
    const unsigned int target = static_cast<unsigned int>(framebuffer);
    gl::BindFramebuffer(gl::kReadFramebuffer, target);
    const DepthFormat depthFormat = env.OcclusionOn() ? DepthFormatOf(target) : DepthFormat::kNone;
    if (env.OcclusionOn() && depthFormat == DepthFormat::kNone && !post.warnedDepth) {
        base::Warn("R3D", "the framebuffer's depth is not 24-bit; ambient occlusion is off");
        post.warnedDepth = true;
    }
    if ((width != post.width || height != post.height || depthFormat != post.depthFormat || post.picture.framebuffer == 0) &&
        !MakeTargets(width, height, depthFormat)) {
        base::Warn("R3D", "the driver refused the targets for ambient occlusion and bloom; they are off this frame");
        gl::BindFramebuffer(gl::kFramebuffer, target);
        return;
    }
    gl::Disable(gl::kDepthTest);
    gl::Disable(gl::kBlend);
    gl::Disable(gl::kCullFace);
    const bool scissor = gl::IsEnabled(gl::kScissorTest);
    if (scissor) gl::Disable(gl::kScissorTest);
    const int x0 = viewport[0], y0 = viewport[1];
    const float range[2] = {nearPlane, farPlane};

    // Copies of what the scene left: its depth for occlusion, its picture (half size) for bloom.
    const bool occlusion = depthFormat != DepthFormat::kNone && Program("#define OCCLUSION\n") != 0 &&
                           Program("#define OCCLUSION_BLUR\n") != 0;
    if (occlusion) {
        gl::BindFramebuffer(gl::kDrawFramebuffer, post.depth.framebuffer);
        gl::BlitFramebuffer(x0, y0, x0 + width, y0 + height, 0, 0, post.depth.width, post.depth.height, gl::kDepthBufferBit,
                            gl::kNearest);
        unsigned int p = Program("#define OCCLUSION\n");
        Bind(post.occlusion[0]);
        gl::UseProgram(p);
        rlSetUniformMatrix(rlGetLocationUniform(p, "uProj"), proj);
        rlSetUniformMatrix(rlGetLocationUniform(p, "uInvProj"), MatrixInvert(proj));
        const float params[2] = {env.occlusionRadius, env.occlusionStrength};
        SetFloats(p, "uOcclusion", params, RL_SHADER_UNIFORM_VEC2);
        SetFloats(p, "uDepthRange", range, RL_SHADER_UNIFORM_VEC2);
        SetInt(p, "uDepth", 0);
        BindUnit(0, post.depth.texture);
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
    const bool bloom = env.BloomOn() && post.bloomLevels > 0 && Program("#define BLOOM_DOWN\n") != 0 &&
                       Program("#define BLOOM_UP\n") != 0;
    if (bloom) {
        gl::BindFramebuffer(gl::kReadFramebuffer, target);
        gl::BindFramebuffer(gl::kDrawFramebuffer, post.picture.framebuffer);
        gl::BlitFramebuffer(x0, y0, x0 + width, y0 + height, 0, 0, post.picture.width, post.picture.height, gl::kColorBufferBit,
                            gl::kLinear);
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
            BindUnit(0, i == 0 ? post.picture.texture : post.bloom[i - 1].texture);
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
    }

    // One pass over the picture: the glow added, the colour times the occlusion (in alpha).
    gl::BindFramebuffer(gl::kFramebuffer, target);
    gl::Viewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    if (scissor) gl::Enable(gl::kScissorTest);
    std::string switches = "#define COMPOSITE\n";
    if (occlusion) switches += "#define WITH_OCCLUSION\n";
    if (bloom) switches += "#define WITH_BLOOM\n";
    const unsigned int p = (occlusion || bloom) ? Program(switches) : 0;
    if (p != 0) {
        gl::UseProgram(p);
        SetInt(p, "uOcclusionMap", 2);
        SetInt(p, "uBloom", 3);
        SetFloats(p, "uBloomStrength", &env.bloomStrength, RL_SHADER_UNIFORM_FLOAT);
        BindUnit(2, occlusion ? post.occlusion[1].texture : 0);
        BindUnit(3, bloom ? post.bloom[0].texture : 0);
        gl::Enable(gl::kBlend);
        gl::BlendFunc(gl::kOne, gl::kSrcAlpha);
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
