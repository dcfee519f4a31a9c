// The passes around the lit scene: the sky behind it, and the screen-space passes
// that run when ambient occlusion or bloom is on (occlusion from depth, its blur,
// bloom's chain down and up, the composite). Each is a full-screen triangle; post.cpp
// puts "#version 330 core", the pass's switch (VERTEX, SKY, OCCLUSION, OCCLUSION_BLUR,
// BLOOM_DOWN, BLOOM_UP, COMPOSITE) and the fog's GLSL in front of this file.

const float kPi = 3.14159265;
const float kKnee = 0.7;  // the tone curve of scene.frag.glsl (see r3d.h)

vec3 ToneMap(vec3 c) {
    float m = max(c.r, max(c.g, c.b));
    if (m <= kKnee) return c;
    float t = kKnee + (1.0 - kKnee) * (1.0 - exp(-(m - kKnee) / (1.0 - kKnee)));
    return c * (t / m);
}

#ifdef VERTEX
uniform mat4 uInvViewProj;  // the sky pass: where each corner looks
out vec2 vUv;
out vec3 vFar;
void main() {
    // One triangle over the whole screen, at the far plane.
    vec2 p = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    vUv = p;
    gl_Position = vec4(p * 2.0 - 1.0, 1.0, 1.0);
    // The far plane's point under each corner: between them it is linear on the screen,
    // so the fragment stage gets its view direction without a matrix.
    vec4 far = uInvViewProj * vec4(p * 2.0 - 1.0, 1.0, 1.0);
    vFar = far.xyz / far.w;
}
#else
in vec2 vUv;
in vec3 vFar;
out vec4 fragColor;
#endif

#ifdef SKY
uniform vec3 uEye;
uniform sampler2D uSkyMap;    // a panorama: centre column along -Z, top row straight up
uniform vec3 uFlatColor;
uniform vec3 uZenith, uHorizon, uGround;
uniform vec4 uSun;            // towards the sun (xyz)
uniform vec3 uSunRadiance;
uniform float uExposure;
uniform float uFogDistance;   // how far away the sky is, for the fog

vec2 EquirectUv(vec3 d) {
    return vec2(0.5 + atan(d.x, -d.z) / (2.0 * kPi), acos(clamp(d.y, -1.0, 1.0)) / kPi);
}

void main() {
    vec3 dir = normalize(vFar - uEye);
    // Each kind of sky, and the sun, is a variant: llvmpipe runs both sides of a branch.
#if defined(SKY_PROCEDURAL)
    // As environment.cpp writes the map: 1 - (1 - |y|)^4 of the way to zenith or ground.
    float t = 1.0 - min(abs(dir.y), 1.0);
    t *= t;
    vec3 c = mix(uHorizon, dir.y >= 0.0 ? uZenith : uGround, 1.0 - t * t);
#elif defined(SKY_PANORAMA)
    vec3 c = textureLod(uSkyMap, EquirectUv(dir), 0.0).rgb;
#else
    vec3 c = uFlatColor;
#endif
#ifdef SUN
    // A disc about a degree across with a soft rim, and a faint halo around it.
    float cosAngle = dot(dir, uSun.xyz);
    float disc = smoothstep(0.99980, 0.99986, cosAngle);
    float halo = exp2(400.0 * log2(max(cosAngle, 1e-4))) * 0.08;
    c += uSunRadiance * (disc * 4.0 + halo);
#endif
    c = ApplyFog(c * uExposure, uEye + dir * uFogDistance, uEye);
    fragColor = vec4(ToneMap(c), 1.0);
}
#endif

#if defined(OCCLUSION) || defined(OCCLUSION_BLUR)
uniform sampler2D uDepth;     // the scene's depth, full size
uniform vec2 uDepthRange;     // near and far plane
float ViewDepth(float d) {    // distance along the view axis of a depth-buffer value
    float z = d * 2.0 - 1.0;
    return 2.0 * uDepthRange.x * uDepthRange.y / (uDepthRange.y + uDepthRange.x - z * (uDepthRange.y - uDepthRange.x));
}
#endif

#ifdef OCCLUSION
uniform mat4 uProj;
uniform mat4 uInvProj;
uniform vec2 uOcclusion;      // radius (view units), strength

vec3 ViewPosition(vec2 uv) {
    vec4 p = uInvProj * vec4(uv * 2.0 - 1.0, texture(uDepth, uv).r * 2.0 - 1.0, 1.0);
    return p.xyz / p.w;
}

const int kSamples = 8;
// Unit vectors spread over the sphere; each pixel turns them by its own angle, and
// the blur evens out the pattern that leaves.
const vec3 kKernel[kSamples] = vec3[](
    vec3(0.53, 0.42, 0.73), vec3(-0.71, 0.33, 0.62), vec3(0.12, -0.86, 0.49), vec3(-0.28, -0.44, 0.85),
    vec3(0.91, -0.22, 0.35), vec3(-0.38, 0.86, 0.34), vec3(0.62, 0.71, 0.33), vec3(-0.59, -0.74, 0.32));

void main() {
    float d = texture(uDepth, vUv).r;
    if (d >= 1.0) {  // the sky: nothing occludes it
        fragColor = vec4(1.0);
        return;
    }
    vec3 p = ViewPosition(vUv);
    vec3 n = normalize(cross(dFdx(p), dFdy(p)));
    if (dot(n, p) > 0.0) n = -n;
    // Interleaved gradient noise: a different turn for neighbouring pixels.
    float angle = 6.2831853 * fract(52.9829189 * fract(dot(gl_FragCoord.xy, vec2(0.06711056, 0.00583715))));
    mat2 turn = mat2(cos(angle), sin(angle), -sin(angle), cos(angle));
    float radius = uOcclusion.x;
    float occluded = 0.0;
    for (int i = 0; i < kSamples; ++i) {
        vec3 k = kKernel[i];
        k.xy = turn * k.xy;
        // Around the normal (a cosine-weighted hemisphere), nearer samples weighing more.
        vec3 dir = normalize(n + k);
        float scale = mix(0.2, 1.0, float(i * i) / float(kSamples * kSamples));
        vec3 q = p + dir * (radius * scale);
        vec4 clip = uProj * vec4(q, 1.0);
        vec2 uv = clip.xy / clip.w * 0.5 + 0.5;
        float sceneDepth = ViewDepth(texture(uDepth, uv).r);
        // What lies in front of the sample occludes it, unless it is far in front (a
        // different object): that fades out over the radius.
        float inFront = step(sceneDepth, -q.z - 0.02 * radius);
        float near = clamp(radius / max(abs(-p.z - sceneDepth), 1e-4), 0.0, 1.0);
        occluded += inFront * near;
    }
    fragColor = vec4(clamp(1.0 - uOcclusion.y * occluded / float(kSamples), 0.0, 1.0));
}
#endif

#ifdef OCCLUSION_BLUR
uniform sampler2D uOcclusionMap;  // at the same size as this pass
void main() {
    vec2 texel = 1.0 / vec2(textureSize(uOcclusionMap, 0));
    float centre = ViewDepth(texture(uDepth, vUv).r);
    float sum = 0.0, weight = 0.0;
    // 4 x 4 texels, each by how near its depth is to the centre's: no bleeding across edges.
    for (int y = -2; y < 2; ++y) {
        for (int x = -2; x < 2; ++x) {
            vec2 at = vUv + (vec2(x, y) + 0.5) * texel;
            float w = 1.0 / (1.0 + abs(ViewDepth(texture(uDepth, at).r) - centre) * 20.0 / centre);
            sum += texture(uOcclusionMap, at).r * w;
            weight += w;
        }
    }
    fragColor = vec4(sum / weight);
}
#endif

#ifdef BLOOM_DOWN
uniform sampler2D uSource;
uniform vec2 uThreshold;  // where glow starts in the picture (0..1), and the share each level gets; the
                          // share is 0 after the first step (only it thresholds)
void main() {
    vec2 texel = 1.0 / vec2(textureSize(uSource, 0));
    // Four bilinear taps: a 4 x 4 texel box, so no texel of the bigger level is skipped.
    vec3 c = 0.25 * (texture(uSource, vUv + texel * vec2(-1.0, -1.0)).rgb + texture(uSource, vUv + texel * vec2(1.0, -1.0)).rgb +
                     texture(uSource, vUv + texel * vec2(-1.0, 1.0)).rgb + texture(uSource, vUv + texel * vec2(1.0, 1.0)).rgb);
    if (uThreshold.y > 0.0) {
        // What rises above the threshold, stretched back to the full range.
        float m = max(c.r, max(c.g, c.b));
        c *= uThreshold.y * max(m - uThreshold.x, 0.0) / (max(m, 1e-4) * max(1.0 - uThreshold.x, 1e-3));
    }
    fragColor = vec4(c, 1.0);
}
#endif

#ifdef BLOOM_UP
uniform sampler2D uSource;  // the smaller level, added onto the bigger one by blending
void main() {
    // Bilinear taps half a texel aside: a 4 x 4 tent over the smaller level.
    vec2 texel = 0.5 / vec2(textureSize(uSource, 0));
    vec3 c = texture(uSource, vUv + vec2(texel.x, texel.y)).rgb + texture(uSource, vUv - vec2(texel.x, texel.y)).rgb +
             texture(uSource, vUv + vec2(texel.x, -texel.y)).rgb + texture(uSource, vUv + vec2(-texel.x, texel.y)).rgb;
    fragColor = vec4(c * 0.25, 1.0);
}
#endif

#ifdef COMPOSITE
// Blended onto the picture as source + picture x source alpha: the glow in colour, the
// occlusion in alpha.
uniform sampler2D uOcclusionMap;
uniform sampler2D uBloom;
uniform float uBloomStrength;
void main() {
    fragColor = vec4(0.0, 0.0, 0.0, 1.0);
#ifdef WITH_OCCLUSION
    fragColor.a = texture(uOcclusionMap, vUv).r;
#endif
#ifdef WITH_BLOOM
    fragColor.rgb = uBloomStrength * texture(uBloom, vUv).rgb;
#endif
}
#endif
