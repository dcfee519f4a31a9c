// Vertex stage of both passes: the scene's lit one and the depth-only one that draws
// shadow maps (DEPTH_ONLY).
// shaders.cpp puts "#version 330 core" and the variant's switches in front of this
// file (material features, DEPTH_ONLY, the light set), then light_set_inc.glsl.
//
// Instance transform: scale, then rotate by the (normalised) quaternion, then place.
// Outputs are only those the fragment stage of the variant reads.
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
// The kind of each light with shadow varyings (LIGHT_KIND: 0 directional, 1 spot).
const int kShadowKind[SHADOW_VARYINGS] = SHADOW_KINDS;

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
