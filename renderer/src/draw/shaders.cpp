// GLSL of the scene and depth passes. Forward shading: one pass over the geometry
// evaluates every light, which on a software rasteriser (llvmpipe) costs less than
// writing and re-reading a G-buffer.
#include "draw/shaders.h"

#include <string>

#include "raylib.h"  // Required for: TraceLog()
#include "rlgl.h"    // Required for: rlLoadShaderProgram(), rlGetLocationUniform()
#include "internal.h"
#include "draw/lights.h"

namespace r3d {
namespace {

// Instance transform: scale, then rotate by the (normalised) quaternion, then place.
// Outputs are only those the fragment stage of the variant reads.
const char* kVertexShader = R"(
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec2 aTexcoord;
layout(location = 2) in vec3 aNormal;
layout(location = 3) in vec3 iPosition;
layout(location = 4) in vec4 iRotation;
layout(location = 5) in vec3 iScale;
layout(location = 6) in vec4 iColor;
layout(location = 7) in vec4 aTangent;
layout(location = 8) in vec4 aColor;

uniform mat4 uViewProj;

#ifdef SKINNED
// An animated mesh: each vertex moved by up to four of its instance's joint matrices,
// three rows each in the frame's pose buffer.
layout(location = 9) in vec4 aJoints;
layout(location = 10) in vec4 aWeights;
layout(location = 11) in float iPose;
uniform samplerBuffer uPoses;
uniform int uPoseBase;
uniform int uJointCount;

void AddJoint(float joint, float weight, inout vec4 r0, inout vec4 r1, inout vec4 r2) {
    int at = 3 * (uPoseBase + int(iPose + 0.5) * uJointCount + int(joint + 0.5));
    r0 += weight * texelFetch(uPoses, at);
    r1 += weight * texelFetch(uPoses, at + 1);
    r2 += weight * texelFetch(uPoses, at + 2);
}
#endif

#ifndef DEPTH_ONLY
out vec3 vWorld;
out vec3 vNormal;
flat out vec4 vColor;  // one colour per instance: nothing to interpolate
#elif defined(ALPHA_MASK)
flat out vec4 vColor;
#endif
#ifdef TEXCOORDS
out vec2 vTexcoord;
#endif
#ifdef NORMAL_MAP
out vec4 vTangent;
#endif
#ifdef VERTEX_COLOR
out vec4 vVertexColor;
#endif

vec3 Rotate(vec4 q, vec3 v) {
    vec3 t = 2.0 * cross(q.xyz, v);
    return v + q.w * t + cross(q.xyz, t);
}

#if SHADOW_VARYINGS > 0
// A variant built for its lights does most of the shadow lookup's arithmetic per vertex.
// The point a shadowed directional or spot light tests is the position moved by a few
// texels against acne (see ShadowReceiver): clip = M (p, 1) + texel M (w, 0), with w the
// offset per texel. M (p, 1) is linear in the position, so interpolating it is exact; w
// is a blend of unit vectors that changes slowly over a face; only the texel's size,
// which for a spot light grows with the distance, is left to each pixel.
out vec4 vShadowBase[SHADOW_VARYINGS];
out vec4 vShadowStep[SHADOW_VARYINGS];
uniform mat4 uShadowMatrix[MAX_SHADOW_MATRICES];
uniform vec3 uLightPosition[MAX_LIGHTS];
uniform vec3 uLightDirection[MAX_LIGHTS];
uniform vec4 uLightShadowParams[MAX_LIGHTS];
const int kShadowKind[SHADOW_VARYINGS] = SHADOW_KINDS;  // 0 directional, 1 spot

void ShadowVaryings(int k, vec3 world, vec3 normal) {
    vec3 l = kShadowKind[k] == 0 ? -uLightDirection[k] : normalize(uLightPosition[k] - world);
    vec3 n = normalize(normal);
    float ndl = dot(n, l);
    if (ndl < 0.0) {  // lit from behind (a double-sided face): move towards the light
        n = -n;
        ndl = -ndl;
    }
    vec4 sp = uLightShadowParams[k];
    vec3 w = l * sp.z + n * ((sp.w + max(sp.y, 0.0)) * sqrt(max(1.0 - ndl * ndl, 0.0)));
    vShadowBase[k] = uShadowMatrix[k] * vec4(world, 1.0);
    vShadowStep[k] = uShadowMatrix[k] * vec4(w, 0.0);
}
#endif


void main() {
    vec3 position = aPosition;
    vec3 normal = aNormal;
    vec3 tangent = aTangent.xyz;
#ifdef SKINNED
    vec4 r0 = vec4(0.0), r1 = vec4(0.0), r2 = vec4(0.0);
    AddJoint(aJoints.x, aWeights.x, r0, r1, r2);
    if (aWeights.y > 0.0) AddJoint(aJoints.y, aWeights.y, r0, r1, r2);
    if (aWeights.z > 0.0) AddJoint(aJoints.z, aWeights.z, r0, r1, r2);
    if (aWeights.w > 0.0) AddJoint(aJoints.w, aWeights.w, r0, r1, r2);
    mat3 turn = transpose(mat3(r0.xyz, r1.xyz, r2.xyz));
    position = turn * aPosition + vec3(r0.w, r1.w, r2.w);
    normal = turn * aNormal;  // joints turn and scale evenly: no inverse transpose needed
    tangent = turn * aTangent.xyz;
#endif
    float len = length(iRotation);
    vec4 q = len > 1e-8 ? iRotation / len : vec4(0.0, 0.0, 0.0, 1.0);
    vec3 world = iPosition + Rotate(q, position * iScale);
    gl_Position = uViewProj * vec4(world, 1.0);
#ifndef DEPTH_ONLY
    vWorld = world;
    // Normals take the inverse scale; a zero scale would divide by zero.
    vec3 s = mix(vec3(1e-6), iScale, greaterThan(abs(iScale), vec3(1e-6)));
    vNormal = Rotate(q, normal / s);
#if SHADOW_VARYINGS > 0
    for (int k = 0; k < SHADOW_VARYINGS; ++k) ShadowVaryings(k, world, vNormal);
#endif
#endif
#if !defined(DEPTH_ONLY) || defined(ALPHA_MASK)
    vColor = iColor;
#endif
#ifdef TEXCOORDS
    vTexcoord = aTexcoord;
#endif
#ifdef NORMAL_MAP
    // Tangents take the scale itself; a mirroring scale turns the bitangent round.
    vTangent = vec4(Rotate(q, tangent * iScale), iScale.x * iScale.y * iScale.z < 0.0 ? -aTangent.w : aTangent.w);
#endif
#ifdef VERTEX_COLOR
    vVertexColor = aColor;
#endif
}
)";

// Depth only; a cut-out material discards what its alpha leaves out.
const char* kDepthFragmentShader = R"(
#ifdef ALPHA_MASK
flat in vec4 vColor;
#ifdef TEXCOORDS
in vec2 vTexcoord;
uniform sampler2D uAlbedoMap;
#endif
#ifdef VERTEX_COLOR
in vec4 vVertexColor;
#endif
uniform vec4 uBaseColor;
uniform float uAlphaCutoff;
#endif

void main() {
#ifdef ALPHA_MASK
    float alpha = uBaseColor.a * vColor.a;
#ifdef TEXCOORDS
    alpha *= texture(uAlbedoMap, vTexcoord).a;
#endif
#ifdef VERTEX_COLOR
    alpha *= vVertexColor.a;
#endif
    if (alpha < uAlphaCutoff) discard;
#endif
}
)";

const char* kSceneFragmentShader = R"(
in vec3 vWorld;
in vec3 vNormal;
flat in vec4 vColor;
#ifdef TEXCOORDS
in vec2 vTexcoord;
#endif
#ifdef NORMAL_MAP
in vec4 vTangent;
#endif
#ifdef VERTEX_COLOR
in vec4 vVertexColor;
#endif
#if SHADOW_VARYINGS > 0
in vec4 vShadowBase[SHADOW_VARYINGS];
in vec4 vShadowStep[SHADOW_VARYINGS];
#endif
out vec4 fragColor;

uniform vec4 uBaseColor;
uniform vec4 uMaterial;   // metallic, roughness, dielectric specular scale, alpha cut-off
uniform vec3 uEmissive;
uniform vec2 uMapScales;  // normal map strength, occlusion strength
uniform sampler2D uAlbedoMap;
uniform sampler2D uNormalMap;
uniform sampler2D uMetalRoughMap;
uniform sampler2D uOcclusionMap;
uniform sampler2D uEmissiveMap;
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
uniform vec4 uLightParams[MAX_LIGHTS];       // 1 / range, attenuation, cos outer, 1 / (cos inner - cos outer)
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

const float kKnee = 0.7;  // the tone curve is straight below, a soft shoulder above (see r3d.h)

// What shading needs of the surface at this pixel.
struct Surface {
    vec3 diffuse;  // the base colour a dielectric scatters; none for metals
    vec3 f0;       // reflectance at normal incidence
    float a2;      // GGX roughness squared, alpha = roughness^2
    float a;
    float ndv;
};

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

// The filter over a shadow map reaches `softness` texels from the point. One bilinear
// comparison (the hardware's 2x2 filter) already reaches one texel; a wider filter takes
// four of them on a rotated grid spread over the rest: a footprint of up to 2 x softness
// texels for the price of four taps. A variant built for its lights takes the single tap
// for a light whose softness is at most 1 (`spread` false); the others take four, which
// for such a light fall on one point and give the same.
float ShadowTaps(sampler2DArrayShadow maps, int i, vec3 c, bool directional, bool spread, bool bounded) {
    if (bounded && (c.z >= 1.0 || any(lessThan(c.xy, vec2(0.0))) || any(greaterThan(c.xy, vec2(1.0))))) return 1.0;
    float z = float(uLightShadowLayer[i]);
    // A directional map ends somewhere in the view: fade its shadows out towards its rim.
    float rim = directional ? smoothstep(0.85, 1.0, 2.0 * max(abs(c.x - 0.5), abs(c.y - 0.5))) : 0.0;
    float s = 0.0;
    if (spread) {
        float radius = max(uLightShadowParams[i].y - 1.0, 0.0) / float(textureSize(maps, 0).x);
        s = texture(maps, vec4(c.xy + vec2(-0.25, -0.75) * radius, z, c.z));
        s += texture(maps, vec4(c.xy + vec2(0.75, -0.25) * radius, z, c.z));
        s += texture(maps, vec4(c.xy + vec2(0.25, 0.75) * radius, z, c.z));
        s += texture(maps, vec4(c.xy + vec2(-0.75, 0.25) * radius, z, c.z));
        s *= 0.25;
    } else {
        s = texture(maps, vec4(c.xy, z, c.z));
    }
    return mix(s, 1.0, rim);
}

// `bounded` false: the caller knows the point lies inside the map or gets no light from it
// anyway (a spot light's map covers its cone, and nothing outside the cone or beyond the
// range is lit), so the tests of the map's edges can go.
float ShadowAt(sampler2DArrayShadow maps, int i, vec4 clip, bool directional, bool spread, bool bounded) {
    if (bounded && clip.w <= 0.0) return 1.0;
    return ShadowTaps(maps, i, clip.xyz * (0.5 / clip.w) + 0.5, directional, spread, bounded);
}

float Shadow2D(sampler2DArrayShadow maps, int i, vec3 n, vec3 l, float ndl) {
    vec4 sp = uLightShadowParams[i];
    float texel = sp.x;
    bool directional = i < uLightGroups[1];
    if (!directional) {  // spot: texels grow with the distance from the light
        vec3 d = vWorld - uLightShadowOrigin[i];
        texel *= ProjectedDistance(d, dot(d, uLightDirection[i]));
    }
    return ShadowAt(maps, i, uShadowMatrix[i] * vec4(ShadowReceiver(i, n, l, ndl, texel), 1.0), directional, true, true);
}

float ShadowCube(int i, vec3 n, vec3 l, float ndl, bool spread) {
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
    if (!spread) return texture(uShadowMapsCube, vec4(d, layer), ref);
    float radius = max(sp.y - 1.0, 0.0) * texel;  // as in ShadowTaps
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

// Light reaching the point from light i, before shadowing: direction in l, strength
// returned. `falloff` 1 and 2 are attenuation exponents known when the variant was built,
// 0 reads it from the light.
float Incoming(int i, int type, out vec3 l, int falloff) {
    if (type == 0) {
        l = -uLightDirection[i];
        return 1.0;
    }
    // Reciprocals come from the CPU or from inversesqrt: llvmpipe divides at full precision,
    // which costs several multiplications' time per pixel.
    vec3 toLight = uLightPosition[i] - vWorld;
    float q = dot(toLight, toLight);
    float inverse = inversesqrt(max(q, 1e-10));
    float dist = q * inverse;
    l = toLight * inverse;
    vec4 p = uLightParams[i];
    // Falls off as 1 / (1 + d^2)^(attenuation / 2), about 1 / d^attenuation (inverse-square
    // for 2) yet finite at the light; a smooth window brings it to zero at the range.
    float x = min(dist * p.x, 1.0);
    float window = 1.0 - x * x * x * x;
    q += 1.0;
    float decay = falloff == 1 ? inversesqrt(q) : falloff == 2 ? 1.0 / q : pow(q, -0.5 * max(p.y, 0.0));
    float strength = window * window * decay;
    if (type == 1) {  // smoothstep from the outer cone to the inner one
        float t = clamp((dot(-l, uLightDirection[i]) - p.z) * p.w, 0.0, 1.0);
        strength *= t * t * (3.0 - 2.0 * t);
    }
    return strength;
}

float Incoming(int i, int type, out vec3 l) { return Incoming(i, type, l, 0); }

// Light i reflected towards the viewer, arriving along l with `strength` (the cosine
// term, falloff and shadow) times its radiance. A microfacet specular (GGX distribution,
// Smith visibility, Schlick Fresnel) plus a Lambert diffuse that gets what the Fresnel
// term does not reflect. A light's radiance is the irradiance of a surface facing it,
// over pi: both lobes' 1/pi cancel, so a white matte face lit head-on shows the light's
// colour times its energy.
vec3 Reflected(int i, Surface s, vec3 n, vec3 v, vec3 l, float ndl, float strength) {
    vec3 h = normalize(l + v);
    float ndh = max(dot(n, h), 0.0);
    float f = 1.0 - max(dot(v, h), 0.0);
    float f2 = f * f;
    vec3 fresnel = s.f0 + (1.0 - s.f0) * (f2 * f2 * f);
    float d = ndh * ndh * (s.a2 - 1.0) + 1.0;
    float nl = max(ndl, 0.0);
    float visibility = 0.5 / max(mix(2.0 * nl * s.ndv, nl + s.ndv, s.a), 1e-5);
    vec3 specular = fresnel * (s.a2 / (d * d) * visibility * uLightSpecular[i]);
    return (s.diffuse * (1.0 - fresnel * uLightSpecular[i]) + specular) * uLightRadiance[i] * strength;
}

// One light as a variant built for its lights evaluates it: kind (0 directional, 1 spot,
// 2 omni), shadow, falloff, whether it reflects specularly and whether its shadow filter
// spreads are constants there, so the compiler keeps only that light's code; a light
// without specular reflection costs a diffuse term alone.
vec3 LightContribution(int i, int kind, bool shadowed, int falloff, bool specular, bool spread, bool wide,
                       vec4 shadowBase, vec4 shadowStep, Surface s, vec3 n, vec3 v) {
    vec3 l;
    float f = Incoming(i, kind, l, falloff);
    float ndl = dot(n, l);
    vec3 c = vec3(0.0);
    // Only pixels the light reaches take the shadow test's result: elsewhere its
    // coordinates may lie off the map (a spot light's map covers only its cone).
    if (f > 0.0 && ndl > 0.0) {
        if (shadowed && kind == 1 && !wide) {
            // A spot map's texels grow as d.d / axial with the distance d from the light, and
            // the map's w is that axial distance: both scaled by it, one division is left.
            vec3 d = vWorld - uLightShadowOrigin[i];
            vec4 clip = shadowBase * shadowBase.w + shadowStep * (uLightShadowParams[i].x * dot(d, d));
            f *= ShadowTaps(uShadowMapsSpot, i, clip.xyz * (0.5 / clip.w) + 0.5, false, spread, false);
        } else if (shadowed && kind < 2) {
            float texel = uLightShadowParams[i].x;
            if (kind == 1) {  // spot: texels grow with the distance from the light
                vec3 d = vWorld - uLightShadowOrigin[i];
                texel *= ProjectedDistance(d, dot(d, uLightDirection[i]));
            }
            vec4 clip = shadowBase + shadowStep * texel;
            if (kind == 0) f *= ShadowAt(uShadowMapsDir, i, clip, true, spread, true);
            else f *= ShadowAt(uShadowMapsSpot, i, clip, false, spread, true);
        }
        if (shadowed && kind == 2) f *= ShadowCube(i, n, l, ndl, spread);
        c = specular ? Reflected(i, s, n, v, l, ndl, f * ndl) : s.diffuse * uLightRadiance[i] * (f * ndl);
    }
    return c;
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
    vec4 albedo = uBaseColor * vColor;
#ifdef BASE_MAP
    albedo *= texture(uAlbedoMap, vTexcoord);
#endif
#ifdef VERTEX_COLOR
    albedo *= vVertexColor;
#endif
#ifdef ALPHA_MASK
    if (albedo.a < uMaterial.w) discard;
#endif
    vec3 n = normalize(vNormal);
    if (!gl_FrontFacing) n = -n;
#ifdef NORMAL_MAP
    vec3 t = normalize(vTangent.xyz - n * dot(n, vTangent.xyz));
    vec3 b = cross(n, t) * (vTangent.w < 0.0 ? -1.0 : 1.0);
    vec3 m = texture(uNormalMap, vTexcoord).xyz * 2.0 - 1.0;
    n = normalize(t * (m.x * uMapScales.x) + b * (m.y * uMapScales.x) + n * max(m.z, 1e-3));
#endif
    vec3 v = normalize(uViewPosition - vWorld);

    float metallic = uMaterial.x;
    float roughness = uMaterial.y;
#ifdef METAL_ROUGH_MAP
    vec4 mr = texture(uMetalRoughMap, vTexcoord);
    roughness *= mr.g;
    metallic *= mr.b;
#endif
    Surface s;
    s.diffuse = albedo.rgb * (1.0 - metallic);
    s.f0 = mix(vec3(0.04 * uMaterial.z), albedo.rgb, metallic);
    // Below about 0.045 the highlight of a point light becomes a single bright pixel.
    s.a = max(roughness * roughness, 0.002);
    s.a2 = s.a * s.a;
    s.ndv = max(dot(n, v), 1e-4);

    // A little sky and ground light so that nothing unlit is pitch black; it reaches
    // metals through their reflectance.
    vec3 color = (s.diffuse + s.f0) * mix(uAmbientGround, uAmbientSky, n.y * 0.5 + 0.5);
#ifdef OCCLUSION_MAP
    color *= 1.0 + uMapScales.y * (texture(uOcclusionMap, vTexcoord).r - 1.0);
#endif

    // Lights come sorted by kind, shadowed ones first, one loop per group. A software
    // rasteriser runs both sides of a branch (and a loop's body once) for a whole block
    // of pixels, so each frame uses the variant of this shader that has only the loops
    // of the groups it needs.
    vec3 l;
#ifdef LIGHTS
    LIGHTS
#endif
#ifdef GROUP_0
    for (int i = uLightGroups[0]; i < uLightGroups[1]; ++i) {
        float ndl = dot(n, -uLightDirection[i]);
        l = -uLightDirection[i];
        if (ndl > 0.0) color += Reflected(i, s, n, v, l, ndl, ndl * Shadow2D(uShadowMapsDir, i, n, l, ndl));
    }
#endif
#ifdef GROUP_3
    for (int i = uLightGroups[3]; i < uLightGroups[4]; ++i) {
        float ndl = dot(n, -uLightDirection[i]);
        if (ndl > 0.0) color += Reflected(i, s, n, v, -uLightDirection[i], ndl, ndl);
    }
#endif
#ifdef GROUP_1
    for (int i = uLightGroups[1]; i < uLightGroups[2]; ++i) {
        float f = Incoming(i, 1, l);
        float ndl = dot(n, l);
        if (ndl > 0.0 && f > 0.0) color += Reflected(i, s, n, v, l, ndl, ndl * f * Shadow2D(uShadowMapsSpot, i, n, l, ndl));
    }
#endif
#ifdef GROUP_4
    for (int i = uLightGroups[4]; i < uLightGroups[5]; ++i) {
        float f = Incoming(i, 1, l);
        float ndl = dot(n, l);
        color += Reflected(i, s, n, v, l, ndl, max(ndl, 0.0) * f);
    }
#endif
#ifdef GROUP_2
    for (int i = uLightGroups[2]; i < uLightGroups[3]; ++i) {
        float f = Incoming(i, 2, l);
        float ndl = dot(n, l);
        if (ndl > 0.0 && f > 0.0) color += Reflected(i, s, n, v, l, ndl, ndl * f * ShadowCube(i, n, l, ndl, true));
    }
#endif
#ifdef GROUP_5
    for (int i = uLightGroups[5]; i < uLightGroups[6]; ++i) {
        float f = Incoming(i, 2, l);
        float ndl = dot(n, l);
        color += Reflected(i, s, n, v, l, ndl, max(ndl, 0.0) * f);
    }
#endif
#ifdef EMISSION
    vec3 emitted = uEmissive;
#ifdef EMISSIVE_MAP
    emitted *= texture(uEmissiveMap, vTexcoord).rgb;
#endif
    color += emitted;
#endif
    fragColor = vec4(ToneMap(color * uExposure), albedo.a);
}
)";

// Preprocessor switches of a variant. Features are MaterialFeature bits; `lights` is null
// for the depth pass.
std::string Header(bool omni, bool depthOnly, const LightSet* lights, unsigned int features) {
    static const char* const kFeatureNames[kMaterialFeatureBits] = {"BASE_MAP", "NORMAL_MAP", "METAL_ROUGH_MAP", "OCCLUSION_MAP",
                                                                    "EMISSION", "EMISSIVE_MAP", "ALPHA_MASK", "VERTEX_COLOR",
                                                                    "SKINNED"};
    std::string s = "#version 330 core\n";
    if (omni) s += "#extension GL_ARB_texture_cube_map_array : require\n#define OMNI_SHADOWS\n";
    if (depthOnly) s += "#define DEPTH_ONLY\n";
    int shadowVaryings = 0;
    if (lights != nullptr && lights->count <= kSpecialisedLights) {
        // Shadowed directional and spot lights come first: light k's varyings are number k.
        std::string calls, kinds;
        for (int i = 0; i < lights->count; ++i) {
            const unsigned char d = lights->lights[i];
            const int group = d & 7, kind = group % 3, falloff = d >> 3 & 3;
            const bool fromVertex = group < 2;
            const std::string k = std::to_string(i);
            if (fromVertex) {
                kinds += std::string(shadowVaryings > 0 ? ", " : "") + std::to_string(kind);
                ++shadowVaryings;
            }
            auto flag = [](bool b) { return b ? ", true" : ", false"; };
            calls += " color += LightContribution(" + k + ", " + std::to_string(kind) + flag(group < 3) + ", " +
                     std::to_string(falloff) + flag((d >> 5 & 1) != 0) + flag((d >> 6 & 1) != 0) + flag((d >> 7 & 1) != 0) +
                     (fromVertex ? ", vShadowBase[" + k + "], vShadowStep[" + k + "]" : std::string(", vec4(0.0), vec4(0.0)")) +
                     ", s, n, v);";
        }
        s += "#define LIGHTS" + calls + "\n";
        if (shadowVaryings > 0) s += "#define SHADOW_KINDS int[" + std::to_string(shadowVaryings) + "](" + kinds + ")\n";
    } else if (lights != nullptr) {
        for (int g = 0; g < kLightGroupCount; ++g) {
            if (lights->groups & (1u << g)) s += "#define GROUP_" + std::to_string(g) + "\n";
        }
    }
    s += "#define SHADOW_VARYINGS " + std::to_string(shadowVaryings) + "\n";
    for (int f = 0; f < kMaterialFeatureBits; ++f) {
        if (features & (1u << f)) s += std::string("#define ") + kFeatureNames[f] + "\n";
    }
    const unsigned int maps = kFeatureBaseMap | kFeatureNormalMap | kFeatureMetalRoughMap | kFeatureOcclusionMap | kFeatureEmissiveMap;
    if (features & maps) s += "#define TEXCOORDS\n";
    s += "#define MAX_LIGHTS " + std::to_string(kMaxLights) + "\n";
    s += "#define MAX_SHADOW_MATRICES " + std::to_string(kMaxShadowMatrices) + "\n";
    return s;
}

bool Compile(SceneProgram& scene, bool omni, const LightSet& lights, unsigned int features) {
    const std::string vs = Header(false, false, &lights, features) + kVertexShader;
    const std::string fs = Header(omni, false, &lights, features) + kSceneFragmentShader;
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
        {&scene.jointCount, "uJointCount"},
    };
    for (const auto& u : uniforms) *u.location = rlGetLocationUniform(id, u.name);
    return true;
}

bool Compile(DepthProgram& depth, unsigned int features) {
    const std::string header = Header(false, true, nullptr, features);
    depth.id = rlLoadShaderProgram((header + kVertexShader).c_str(), (header + kDepthFragmentShader).c_str());
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
        TraceLog(LOG_WARNING, "R3D: no layered cube maps here; omni lights cast no shadows");
        Compile(full, false, all, 0);
    }
    if (full.id == 0 || Depth(0) == nullptr) {
        TraceLog(LOG_WARNING, "R3D: the renderer's shaders did not compile; 3D drawing is off");
        return false;
    }
    return true;
}

SceneProgram* Programs::Scene(const LightSet& lights, unsigned int features) {
    SceneProgram& variant = scene_[Key(lights, features)];
    if (variant.id == 0 && !variant.failed) {
        variant.failed = !Compile(variant, omniShadows, lights, features);
        if (variant.failed) TraceLog(LOG_WARNING, "R3D: a scene shader variant did not compile (material features %u)", features);
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
        if (variant.failed) TraceLog(LOG_WARNING, "R3D: depth shader variant %u did not compile", features);
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
