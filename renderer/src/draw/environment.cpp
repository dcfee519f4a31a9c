// The scene's surroundings: what the environment calls keep (the sky, its light, fog,
// ambient occlusion, bloom), the sky's map and the light it gives.
//
// Every sky is kept as one equirectangular map of linear colour with mip levels: the
// procedural one is written into it on the CPU when its colours change, a panorama is
// scaled into it when loaded. The sky pass draws it; the lit pass reflects it (blurrier
// levels for rougher surfaces) and lights with its irradiance, nine spherical harmonic
// coefficients computed once per change, never per frame.
#include "draw/environment.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "draw/draw_gl.h"
#include "r3d.h"
#include "rlgl.h"  // Required for: rlGetLocationUniform(), rlSetUniform()

namespace r3d {
namespace {

Environment env;
unsigned int skyTexture = 0;
bool skyDirty = false;          // the map must be rebuilt before it is next used
std::vector<float> skyPixels;   // what goes into it: kSkyMapWidth x kSkyMapHeight RGB

bool Usable(float v) { return std::isfinite(v) && v >= 0.0f; }

}  // namespace

float ToneCurve(float m) { return m <= 0.7f ? m : 0.7f + 0.3f * (1.0f - std::exp(-(m - 0.7f) / 0.3f)); }

namespace {

// The inverse of the tone curve, up to just below its ceiling: the linear value that
// comes out as the given display value.
float Untone(float v) {
    if (v <= 0.7f) return v;
    v = std::min(v, 0.999f);
    return 0.7f - 0.3f * std::log(1.0f - (v - 0.7f) / 0.3f);
}

// The procedural sky's colour in a direction of height y (the sine of its elevation):
// the horizon colour at 0, reaching the zenith colour upwards and the ground colour
// downwards along 1 - (1 - |y|)^4, quickly near the horizon and smoothly after.
void ProceduralColor(float y, float out[3]) {
    const float t = 1.0f - std::pow(1.0f - std::min(std::fabs(y), 1.0f), 4.0f);
    const float* far = y >= 0.0f ? env.zenith : env.ground;
    for (int c = 0; c < 3; ++c) out[c] = env.horizon[c] + (far[c] - env.horizon[c]) * t;
}

void WriteProceduralSky() {
    skyPixels.resize(static_cast<size_t>(kSkyMapWidth) * kSkyMapHeight * 3);
    for (int row = 0; row < kSkyMapHeight; ++row) {
        float c[3];
        ProceduralColor(std::cos((row + 0.5f) / kSkyMapHeight * PI), c);
        for (int col = 0; col < kSkyMapWidth; ++col) std::copy(c, c + 3, &skyPixels[(static_cast<size_t>(row) * kSkyMapWidth + col) * 3]);
    }
}

// The nine coefficients of the irradiance (divided by pi, so that a uniform sky of
// radiance L lights a white matte surface to L) of the map, with the cosine lobe's
// convolution folded in: the shader evaluates them for a normal as they are.
void ComputeIrradiance() {
    float sh[9][3] = {};
    for (int row = 0; row < kSkyMapHeight; ++row) {
        const float theta = (row + 0.5f) / kSkyMapHeight * PI;
        const float solidAngle = (2.0f * PI / kSkyMapWidth) * (PI / kSkyMapHeight) * std::sin(theta);
        for (int col = 0; col < kSkyMapWidth; ++col) {
            // As the shader maps a direction: u 0.5 looks along -Z, u 0.75 along +X.
            const float phi = ((col + 0.5f) / kSkyMapWidth - 0.5f) * 2.0f * PI;
            const float x = std::sin(theta) * std::sin(phi), y = std::cos(theta), z = -std::sin(theta) * std::cos(phi);
            const float basis[9] = {0.282095f,           0.488603f * y,       0.488603f * z,
                                    0.488603f * x,       1.092548f * x * y,   1.092548f * y * z,
                                    0.315392f * (3.0f * z * z - 1.0f), 1.092548f * x * z, 0.546274f * (x * x - y * y)};
            const float* rgb = &skyPixels[(static_cast<size_t>(row) * kSkyMapWidth + col) * 3];
            for (int k = 0; k < 9; ++k) {
                for (int c = 0; c < 3; ++c) sh[k][c] += rgb[c] * basis[k] * solidAngle;
            }
        }
    }
    // Cosine lobe per band (pi, 2pi/3, pi/4), then over pi; the basis constants go in
    // here too, so the shader multiplies by plain polynomials of the normal.
    const float band[9] = {1.0f, 2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f};
    const float basisConst[9] = {0.282095f, 0.488603f, 0.488603f, 0.488603f, 1.092548f, 1.092548f, 0.315392f, 1.092548f, 0.546274f};
    for (int k = 0; k < 9; ++k) {
        for (int c = 0; c < 3; ++c) env.irradiance[k][c] = sh[k][c] * band[k] * basisConst[k];
    }
}

void UploadSkyMap() {
    if (!gl::Loaded()) return;
    if (skyTexture == 0) gl::GenTextures(1, &skyTexture);
    gl::BindTexture(gl::kTexture2D, skyTexture);
    gl::TexImage2D(gl::kTexture2D, 0, gl::kRgb16f, kSkyMapWidth, kSkyMapHeight, 0, gl::kRgb, gl::kFloat, skyPixels.data());
    gl::GenerateMipmap(gl::kTexture2D);
    gl::TexParameteri(gl::kTexture2D, gl::kTextureMinFilter, gl::kLinearMipmapLinear);
    gl::TexParameteri(gl::kTexture2D, gl::kTextureMagFilter, gl::kLinear);
    gl::TexParameteri(gl::kTexture2D, gl::kTextureWrapS, gl::kRepeat);
    gl::TexParameteri(gl::kTexture2D, gl::kTextureWrapT, gl::kClampToEdge);
    gl::BindTexture(gl::kTexture2D, 0);
}

}  // namespace

const Environment& CurrentEnvironment() { return env; }
const Fog& CurrentFog() { return env.fog; }

unsigned int SkyMapTexture() {
    if (skyDirty) {
        if (env.panorama.empty()) WriteProceduralSky();
        else skyPixels = env.panorama;
        ComputeIrradiance();
        UploadSkyMap();
        skyDirty = false;
    }
    return skyTexture;
}

void ParticleLight(float out[3]) {
    // The irradiance's polynomials (see ComputeIrradiance) at the normal (0, 1, 0).
    const float (&e)[9][3] = env.irradiance;
    for (int c = 0; c < 3; ++c)
        out[c] = env.SkyLightOn() ? std::max(0.0f, (e[0][c] + e[1][c] - e[6][c] - e[8][c]) * env.skyLight) : 1.0f;
}

void ReleaseSkyMap() {
    if (skyTexture != 0 && gl::Loaded()) gl::DeleteTextures(1, &skyTexture);
    skyTexture = 0;
    skyDirty = env.skyOn;
}

void SetPanorama(std::vector<float> pixels) {
    env.panorama = std::move(pixels);
    env.skyOn = true;
    skyDirty = true;
}

// The fog's density at height y is density * exp(-falloff * y). Along the straight line
// from the eye to the point its integral (the optical depth) has a closed form; where the
// line is nearly level the density at the eye stands for the whole line. The colour is
// mixed before the tone curve, towards the value the curve turns into the fog's colour.
const char* const kFogGlsl = R"(
uniform vec3 uFogColor;
uniform vec3 uFogParams;  // density, falloff, camera height
vec3 ApplyFog(vec3 color, vec3 world, vec3 eye) {
    float density = uFogParams.x;
    if (density <= 0.0) return color;
    float k = uFogParams.y;
    float rise = world.y - eye.y;
    float along = exp(-k * eye.y);
    if (abs(k * rise) > 1e-4) along = (along - exp(-k * world.y)) / (k * rise);
    float depth = density * length(world - eye) * along;
    return mix(color, uFogColor, 1.0 - exp(-depth));
}
)";

void UploadFog(unsigned int program, float cameraHeight) {
    const Fog& fog = env.fog;
    const float color[3] = {Untone(fog.color[0]), Untone(fog.color[1]), Untone(fog.color[2])};
    const float params[3] = {fog.density, fog.falloff, cameraHeight};
    rlSetUniform(rlGetLocationUniform(program, "uFogColor"), color, RL_SHADER_UNIFORM_VEC3, 1);
    rlSetUniform(rlGetLocationUniform(program, "uFogParams"), params, RL_SHADER_UNIFORM_VEC3, 1);
}

}  // namespace r3d

using r3d::env;

extern "C" {

void R3D_SetSkyColors(Color zenith, Color horizon, Color ground) {
    const Color colors[3] = {zenith, horizon, ground};
    float* out[3] = {env.zenith, env.horizon, env.ground};
    for (int i = 0; i < 3; ++i) {
        out[i][0] = r3d::Untone(colors[i].r / 255.0f);
        out[i][1] = r3d::Untone(colors[i].g / 255.0f);
        out[i][2] = r3d::Untone(colors[i].b / 255.0f);
    }
    env.panorama.clear();
    env.skyOn = true;
    r3d::skyDirty = true;
}

void R3D_SetSkyPanorama(Image image) {
    // Scaled into the map by nearest texel: the map is what the sky light and reflections
    // see; the sky itself is drawn from it too, so a panorama keeps the map's resolution.
    if (image.data == nullptr || image.width <= 0 || image.height <= 0) return;
    std::vector<float> pixels(static_cast<size_t>(r3d::kSkyMapWidth) * r3d::kSkyMapHeight * 3);
    const bool floats = image.format == PIXELFORMAT_UNCOMPRESSED_R32G32B32;
    for (int row = 0; row < r3d::kSkyMapHeight; ++row) {
        const int sy = std::min(image.height - 1, row * image.height / r3d::kSkyMapHeight);
        for (int col = 0; col < r3d::kSkyMapWidth; ++col) {
            const int sx = std::min(image.width - 1, col * image.width / r3d::kSkyMapWidth);
            float* out = &pixels[(static_cast<size_t>(row) * r3d::kSkyMapWidth + col) * 3];
            const size_t at = static_cast<size_t>(sy) * image.width + sx;
            if (floats) {
                const float* in = static_cast<const float*>(image.data) + at * 3;
                for (int c = 0; c < 3; ++c) out[c] = std::isfinite(in[c]) ? std::clamp(in[c], 0.0f, 65000.0f) : 0.0f;
            } else {
                // A picture in display colours: the tone curve gives them back as they are.
                const Color in = GetImageColor(image, sx, sy);
                out[0] = r3d::Untone(in.r / 255.0f), out[1] = r3d::Untone(in.g / 255.0f), out[2] = r3d::Untone(in.b / 255.0f);
            }
        }
    }
    r3d::SetPanorama(std::move(pixels));
}

void R3D_SetSkyLight(float intensity) { env.skyLight = r3d::Usable(intensity) ? intensity : 0.0f; }

void R3D_SetFog(Color color, float density, float heightFalloff) {
    env.fog.color[0] = color.r / 255.0f;
    env.fog.color[1] = color.g / 255.0f;
    env.fog.color[2] = color.b / 255.0f;
    env.fog.density = r3d::Usable(density) ? density : 0.0f;
    env.fog.falloff = std::isfinite(heightFalloff) ? heightFalloff : 0.0f;
}

void R3D_SetAmbientOcclusion(float radius, float strength) {
    env.occlusionRadius = r3d::Usable(radius) ? radius : 0.0f;
    env.occlusionStrength = r3d::Usable(strength) ? std::min(strength, 4.0f) : 0.0f;
}

void R3D_SetBloom(float strength, float threshold) {
    env.bloomStrength = r3d::Usable(strength) ? strength : 0.0f;
    env.bloomThreshold = r3d::Usable(threshold) ? threshold : 0.0f;
}

}  // extern "C"
