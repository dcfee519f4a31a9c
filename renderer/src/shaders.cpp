// GLSL of the scene and depth passes. Forward shading: one pass over the geometry
// evaluates every light, which on a software rasteriser (llvmpipe) costs less than
// writing and re-reading a G-buffer.
#include "shaders.h"

#include <string>

#include "raylib.h"  // Required for: TraceLog()
#include "rlgl.h"    // Required for: rlLoadShaderProgram(), rlGetLocationUniform()
#include "lights.h"

namespace r3d {
namespace {

// Instance transform: scale, then rotate by the (normalised) quaternion, then place.
const char* kVertexShader = R"(
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec2 aTexcoord;
layout(location = 2) in vec3 aNormal;
layout(location = 3) in vec3 iPosition;
layout(location = 4) in vec4 iRotation;
layout(location = 5) in vec3 iScale;
layout(location = 6) in vec4 iColor;

uniform mat4 uViewProj;

#ifndef DEPTH_ONLY
out vec3 vWorld;
out vec3 vNormal;
out vec2 vTexcoord;
flat out vec4 vColor;  // one colour per instance: nothing to interpolate
#endif

vec3 Rotate(vec4 q, vec3 v) {
    vec3 t = 2.0 * cross(q.xyz, v);
    return v + q.w * t + cross(q.xyz, t);
}

void main() {
    float len = length(iRotation);
    vec4 q = len > 1e-8 ? iRotation / len : vec4(0.0, 0.0, 0.0, 1.0);
    vec3 world = iPosition + Rotate(q, aPosition * iScale);
    gl_Position = uViewProj * vec4(world, 1.0);
#ifndef DEPTH_ONLY
    vWorld = world;
    // Normals take the inverse scale; a zero scale would divide by zero.
    vec3 s = mix(vec3(1e-6), iScale, greaterThan(abs(iScale), vec3(1e-6)));
    vNormal = Rotate(q, aNormal / s);
    vTexcoord = aTexcoord;
    vColor = iColor;
#endif
}
)";

const char* kDepthFragmentShader = R"(
void main() {}
)";

const char* kSceneFragmentShader = R"(
in vec3 vWorld;
in vec3 vNormal;
in vec2 vTexcoord;
flat in vec4 vColor;
out vec4 fragColor;

uniform sampler2D uAlbedoMap;
uniform vec4 uBaseColor;
uniform vec3 uViewPosition;
uniform vec3 uAmbientSky;
uniform vec3 uAmbientGround;
uniform float uExposure;

// Lights are sorted into groups: [0,1) shadowed directional, [1,2) shadowed spot,
// [2,3) shadowed omni, [3,4) directional, [4,5) spot, [5,6) omni. Shadowed directional
// and spot lights thus come first, and light i uses shadow matrix i: indexing by the loop
// counter keeps the lookup a plain load for llvmpipe, where an index read from another
// uniform array makes it a per-pixel gather.
uniform int uLightGroups[7];
uniform vec3 uLightPosition[MAX_LIGHTS];
uniform vec3 uLightDirection[MAX_LIGHTS];    // unit, the way the light shines
uniform vec3 uLightRadiance[MAX_LIGHTS];     // colour times energy
uniform vec4 uLightParams[MAX_LIGHTS];       // range, attenuation, cos inner, cos outer
uniform float uLightSpecular[MAX_LIGHTS];
uniform int uLightShadowLayer[MAX_LIGHTS];   // layer of its shadow map
uniform vec4 uLightShadowParams[MAX_LIGHTS]; // texel scale, softness, depth bias, slope bias
uniform vec3 uLightShadowOrigin[MAX_LIGHTS]; // light position when the map was drawn
uniform vec2 uLightShadowPlanes[MAX_LIGHTS]; // omni: near and far plane of the cube faces

uniform mat4 uShadowMatrix[MAX_SHADOW_MATRICES];
uniform sampler2DArrayShadow uShadowMapsDir;
uniform sampler2DArrayShadow uShadowMapsSpot;
#ifdef OMNI_SHADOWS
uniform samplerCubeArrayShadow uShadowMapsCube;
#endif

const float kShininess = 32.0;
const float kKnee = 0.7;  // the tone curve is straight below, a soft shoulder above (see r3d.h)
const float kSpecularNorm = (kShininess + 8.0) / 25.13274;  // (n + 8) / (8 pi)

// Moves the receiving point towards the light and along its normal by a number of
// shadow-map texels, against acne on lit faces and on faces turned away.
// The filter's taps reach `softness` texels aside, where a slanted receiver lies
// deeper, so the normal offset grows with the filter radius too.
vec3 ShadowReceiver(int i, vec3 n, vec3 l, float ndl, float texel) {
    vec4 sp = uLightShadowParams[i];
    float sinAngle = sqrt(max(1.0 - ndl * ndl, 0.0));
    return vWorld + l * (sp.z * texel) + n * ((sp.w + max(sp.y, 0.0)) * texel * sinAngle);
}

// A perspective map's texels are 1/cos^2 wider off its axis than on it: the distance
// that sizes a texel at offset d from the light, with `axial` the part along the axis.
float ProjectedDistance(vec3 d, float axial) {
    return dot(d, d) / max(axial, 1e-4);
}

float Shadow2D(sampler2DArrayShadow maps, int i, vec3 n, vec3 l, float ndl) {
    vec4 sp = uLightShadowParams[i];
    float texel = sp.x;
    if (i >= uLightGroups[1]) {  // spot: texels grow with the distance from the light
        vec3 d = vWorld - uLightShadowOrigin[i];
        texel *= ProjectedDistance(d, dot(d, uLightDirection[i]));
    }
    vec4 clip = uShadowMatrix[i] * vec4(ShadowReceiver(i, n, l, ndl, texel), 1.0);
    if (clip.w <= 0.0) return 1.0;
    vec3 c = clip.xyz / clip.w * 0.5 + 0.5;
    if (c.z >= 1.0 || any(lessThan(c.xy, vec2(0.0))) || any(greaterThan(c.xy, vec2(1.0)))) return 1.0;
    float radius = sp.y / float(textureSize(maps, 0).x);
    float z = float(uLightShadowLayer[i]);
    // A directional map ends somewhere in the view: fade its shadows out towards its rim.
    float rim = i < uLightGroups[1] ? smoothstep(0.85, 1.0, 2.0 * max(abs(c.x - 0.5), abs(c.y - 0.5))) : 0.0;
    // Four bilinear comparisons on a rotated grid: a 4x4 texel footprint for the price of four taps.
    // With no softness the four fall on one point, which is the hardware's 2x2 filter: no
    // branch for it, since a software rasteriser would run both sides of one.
    radius = max(radius, 0.0);
    float s = texture(maps, vec4(c.xy + vec2(-0.25, -0.75) * radius, z, c.z));
    s += texture(maps, vec4(c.xy + vec2(0.75, -0.25) * radius, z, c.z));
    s += texture(maps, vec4(c.xy + vec2(0.25, 0.75) * radius, z, c.z));
    s += texture(maps, vec4(c.xy + vec2(-0.75, 0.25) * radius, z, c.z));
    return mix(s * 0.25, 1.0, rim);
}

float ShadowCube(int i, vec3 n, vec3 l, float ndl) {
#ifdef OMNI_SHADOWS
    vec3 origin = uLightShadowOrigin[i];
    vec3 d0 = vWorld - origin;
    vec3 a0 = abs(d0);
    vec4 sp = uLightShadowParams[i];
    float texel = sp.x * ProjectedDistance(d0, max(a0.x, max(a0.y, a0.z)));
    vec3 d = ShadowReceiver(i, n, l, ndl, texel) - origin;
    vec3 a = abs(d);
    float m = max(a.x, max(a.y, a.z));
    vec2 nf = uLightShadowPlanes[i];
    // The depth a cube face stored for this point: its perspective depth along the major axis.
    float ref = 0.5 * ((nf.y + nf.x) / (nf.y - nf.x) - 2.0 * nf.y * nf.x / ((nf.y - nf.x) * m)) + 0.5;
    if (ref >= 1.0) return 1.0;
    float layer = float(uLightShadowLayer[i]);
    float radius = max(sp.y * texel, 0.0);  // none: four taps on one point, as in Shadow2D
    vec3 t1 = normalize(cross(d, abs(d.y) < 0.9 * length(d) ? vec3(0.0, 1.0, 0.0) : vec3(1.0, 0.0, 0.0)));
    vec3 t2 = normalize(cross(d, t1));
    float s = texture(uShadowMapsCube, vec4(d + (-0.25 * t1 - 0.75 * t2) * radius, layer), ref);
    s += texture(uShadowMapsCube, vec4(d + (0.75 * t1 - 0.25 * t2) * radius, layer), ref);
    s += texture(uShadowMapsCube, vec4(d + (0.25 * t1 + 0.75 * t2) * radius, layer), ref);
    s += texture(uShadowMapsCube, vec4(d + (-0.75 * t1 + 0.25 * t2) * radius, layer), ref);
    return s * 0.25;
#else
    return 1.0;
#endif
}

// Light reaching the point from light i, before shadowing: direction in l, strength returned.
float Incoming(int i, int type, out vec3 l) {
    if (type == 0) {
        l = -uLightDirection[i];
        return 1.0;
    }
    vec3 toLight = uLightPosition[i] - vWorld;
    float dist = length(toLight);
    l = toLight / max(dist, 1e-5);
    vec4 p = uLightParams[i];
    // Falls off as 1 / (1 + d^2)^(attenuation / 2), about 1 / d^attenuation (inverse-square
    // for 2) yet finite at the light; a smooth window brings it to zero at the range.
    float x = min(dist / max(p.x, 1e-5), 1.0);
    float window = 1.0 - x * x * x * x;
    float falloff = window * window * pow(1.0 + dist * dist, -0.5 * max(p.y, 0.0));
    if (type == 1) falloff *= smoothstep(p.w, max(p.z, p.w + 1e-4), dot(-l, uLightDirection[i]));
    return falloff;
}

vec3 Reflected(int i, vec3 albedo, vec3 n, vec3 v, vec3 l, float strength) {
    vec3 h = normalize(l + v);
    float specular = uLightSpecular[i] * kSpecularNorm * pow(max(dot(n, h), 0.0), kShininess);
    return (albedo + vec3(specular)) * uLightRadiance[i] * strength;
}

// The filmic curve on the brightest channel, the others scaled alike: hue and saturation
// stay, and light far above white rolls off towards 1 instead of clipping.
vec3 ToneMap(vec3 c) {
    float m = max(c.r, max(c.g, c.b));
    if (m <= kKnee) return c;
    float t = kKnee + (1.0 - kKnee) * (1.0 - exp(-(m - kKnee) / (1.0 - kKnee)));
    return c * (t / m);
}

void main() {
    vec4 albedo = texture(uAlbedoMap, vTexcoord) * uBaseColor * vColor;
    vec3 n = normalize(vNormal);
    if (!gl_FrontFacing) n = -n;
    vec3 v = normalize(uViewPosition - vWorld);

    // A little sky and ground light so that nothing unlit is pitch black.
    vec3 color = albedo.rgb * mix(uAmbientGround, uAmbientSky, n.y * 0.5 + 0.5);

    // Lights come sorted by kind, shadowed ones first, one loop per group. A software
    // rasteriser runs both sides of a branch (and a loop's body once) for a whole block
    // of pixels, so each frame uses the variant of this shader that has only the loops
    // of the groups it needs.
    vec3 l;
#ifdef GROUP_0
    for (int i = uLightGroups[0]; i < uLightGroups[1]; ++i) {
        float ndl = dot(n, -uLightDirection[i]);
        l = -uLightDirection[i];
        if (ndl > 0.0) color += Reflected(i, albedo.rgb, n, v, l, ndl * Shadow2D(uShadowMapsDir, i, n, l, ndl));
    }
#endif
#ifdef GROUP_3
    for (int i = uLightGroups[3]; i < uLightGroups[4]; ++i) {
        float ndl = dot(n, -uLightDirection[i]);
        if (ndl > 0.0) color += Reflected(i, albedo.rgb, n, v, -uLightDirection[i], ndl);
    }
#endif
#ifdef GROUP_1
    for (int i = uLightGroups[1]; i < uLightGroups[2]; ++i) {
        float s = Incoming(i, 1, l);
        float ndl = dot(n, l);
        if (ndl > 0.0 && s > 0.0) color += Reflected(i, albedo.rgb, n, v, l, ndl * s * Shadow2D(uShadowMapsSpot, i, n, l, ndl));
    }
#endif
#ifdef GROUP_4
    for (int i = uLightGroups[4]; i < uLightGroups[5]; ++i) {
        float s = Incoming(i, 1, l);
        color += Reflected(i, albedo.rgb, n, v, l, max(dot(n, l), 0.0) * s);
    }
#endif
#ifdef GROUP_2
    for (int i = uLightGroups[2]; i < uLightGroups[3]; ++i) {
        float s = Incoming(i, 2, l);
        float ndl = dot(n, l);
        if (ndl > 0.0 && s > 0.0) color += Reflected(i, albedo.rgb, n, v, l, ndl * s * ShadowCube(i, n, l, ndl));
    }
#endif
#ifdef GROUP_5
    for (int i = uLightGroups[5]; i < uLightGroups[6]; ++i) {
        float s = Incoming(i, 2, l);
        color += Reflected(i, albedo.rgb, n, v, l, max(dot(n, l), 0.0) * s);
    }
#endif
    fragColor = vec4(ToneMap(color * uExposure), albedo.a);
}
)";

std::string Header(bool omni, bool depthOnly, unsigned int groups) {
    std::string s = "#version 330 core\n";
    if (omni) s += "#extension GL_ARB_texture_cube_map_array : require\n#define OMNI_SHADOWS\n";
    if (depthOnly) s += "#define DEPTH_ONLY\n";
    for (int g = 0; g < kLightGroupCount; ++g) {
        if (groups & (1u << g)) s += "#define GROUP_" + std::to_string(g) + "\n";
    }
    s += "#define MAX_LIGHTS " + std::to_string(kMaxLights) + "\n";
    s += "#define MAX_SHADOW_MATRICES " + std::to_string(kMaxShadowMatrices) + "\n";
    return s;
}

bool Compile(SceneProgram& scene, bool omni, unsigned int groups) {
    const std::string vs = Header(false, false, 0) + kVertexShader;
    const std::string fs = Header(omni, false, groups) + kSceneFragmentShader;
    scene.id = rlLoadShaderProgram(vs.c_str(), fs.c_str());
    if (scene.id == 0) return false;
    const unsigned int id = scene.id;
    scene.viewProj = rlGetLocationUniform(id, "uViewProj");
    scene.albedoMap = rlGetLocationUniform(id, "uAlbedoMap");
    scene.baseColor = rlGetLocationUniform(id, "uBaseColor");
    scene.viewPosition = rlGetLocationUniform(id, "uViewPosition");
    scene.ambientSky = rlGetLocationUniform(id, "uAmbientSky");
    scene.ambientGround = rlGetLocationUniform(id, "uAmbientGround");
    scene.exposure = rlGetLocationUniform(id, "uExposure");
    scene.lightGroups = rlGetLocationUniform(id, "uLightGroups");
    scene.lightPosition = rlGetLocationUniform(id, "uLightPosition");
    scene.lightDirection = rlGetLocationUniform(id, "uLightDirection");
    scene.lightRadiance = rlGetLocationUniform(id, "uLightRadiance");
    scene.lightParams = rlGetLocationUniform(id, "uLightParams");
    scene.lightSpecular = rlGetLocationUniform(id, "uLightSpecular");
    scene.lightShadow = rlGetLocationUniform(id, "uLightShadowLayer");
    scene.lightShadowParams = rlGetLocationUniform(id, "uLightShadowParams");
    scene.lightShadowOrigin = rlGetLocationUniform(id, "uLightShadowOrigin");
    scene.lightShadowPlanes = rlGetLocationUniform(id, "uLightShadowPlanes");
    scene.shadowMatrix = rlGetLocationUniform(id, "uShadowMatrix");
    scene.shadowMapsDir = rlGetLocationUniform(id, "uShadowMapsDir");
    scene.shadowMapsSpot = rlGetLocationUniform(id, "uShadowMapsSpot");
    scene.shadowMapsCube = rlGetLocationUniform(id, "uShadowMapsCube");
    return true;
}

}  // namespace

bool Programs::Load() {
    const std::string vs = Header(false, true, 0) + kVertexShader;
    const std::string fs = Header(false, true, 0) + kDepthFragmentShader;
    depth.id = rlLoadShaderProgram(vs.c_str(), fs.c_str());
    depth.viewProj = rlGetLocationUniform(depth.id, "uViewProj");

    // Compiling the variant with every group up front finds out whether layered cube maps
    // exist (GL 4.0 or an extension); without them omni lights go unshadowed.
    const unsigned int all = (1u << kLightGroupCount) - 1;
    omniShadows = Compile(variants_[all], true, all);
    if (!omniShadows) {
        TraceLog(LOG_WARNING, "R3D: no layered cube maps here; omni lights cast no shadows");
        Compile(variants_[all], false, all);
    }
    if (variants_[all].id == 0 || depth.id == 0) {
        TraceLog(LOG_WARNING, "R3D: the renderer's shaders did not compile; 3D drawing is off");
        return false;
    }
    return true;
}

const SceneProgram* Programs::Scene(unsigned int groups) {
    SceneProgram& variant = variants_[groups & ((1u << kLightGroupCount) - 1)];
    if (variant.id == 0 && !variant.failed) {
        variant.failed = !Compile(variant, omniShadows, groups);
        if (variant.failed) TraceLog(LOG_WARNING, "R3D: scene shader variant %u did not compile", groups);
    }
    return variant.id != 0 ? &variant : nullptr;
}

void Programs::Unload() {
    for (SceneProgram& variant : variants_) {
        if (variant.id != 0) rlUnloadShaderProgram(variant.id);
        variant = SceneProgram{};
    }
    if (depth.id != 0) rlUnloadShaderProgram(depth.id);
    depth = DepthProgram{};
    omniShadows = false;
}

}  // namespace r3d
