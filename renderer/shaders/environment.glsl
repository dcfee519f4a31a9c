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
out vec2 vUv;
void main() {
    // One triangle over the whole screen, at the far plane.
    vec2 p = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    vUv = p;
    gl_Position = vec4(p * 2.0 - 1.0, 1.0, 1.0);
}
#else
in vec2 vUv;
out vec4 fragColor;
#endif

#ifdef SKY
uniform mat4 uInvViewProj;
uniform vec3 uEye;
uniform sampler2D uSkyMap;    // equirectangular: centre column along -Z, top row straight up
uniform int uSkyMapped;       // 0: the flat colour instead
uniform vec3 uFlatColor;
uniform vec4 uSun;            // towards the sun (xyz), 1 when there is one
uniform vec3 uSunRadiance;
uniform float uExposure;
uniform float uFogDistance;   // how far away the sky is, for the fog

vec2 EquirectUv(vec3 d) {
    return vec2(0.5 + atan(d.x, -d.z) / (2.0 * kPi), acos(clamp(d.y, -1.0, 1.0)) / kPi);
}

void main() {
    vec4 far = uInvViewProj * vec4(vUv * 2.0 - 1.0, 1.0, 1.0);
    vec3 dir = normalize(far.xyz / far.w - uEye);
    vec3 c = uSkyMapped != 0 ? textureLod(uSkyMap, EquirectUv(dir), 0.0).rgb : uFlatColor;
    if (uSun.w > 0.0) {
        // A disc about a degree across with a soft rim, and a faint halo around it.
        float cosAngle = dot(dir, uSun.xyz);
        float disc = smoothstep(0.99980, 0.99986, cosAngle);
        float halo = pow(max(cosAngle, 0.0), 400.0) * 0.08;
        c += uSunRadiance * (disc * 4.0 + halo);
    }
    c = ApplyFog(c * uExposure, uEye + dir * uFogDistance, uEye);
#ifdef HDR_OUTPUT
    fragColor = vec4(c, 1.0);
#else
    fragColor = vec4(ToneMap(c), 1.0);
#endif
}
#endif

#if defined(OCCLUSION) || defined(OCCLUSION_BLUR) || defined(COMPOSITE)
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

const int kSamples = 12;
// Unit vectors spread over the sphere; each pixel turns them by its own angle, and
// the blur evens out the pattern that leaves.
const vec3 kKernel[kSamples] = vec3[](
    vec3(0.53, 0.42, 0.73), vec3(-0.71, 0.33, 0.62), vec3(0.12, -0.86, 0.49), vec3(-0.28, -0.44, 0.85),
    vec3(0.91, -0.22, 0.35), vec3(-0.38, 0.86, 0.34), vec3(0.05, 0.21, 0.98), vec3(-0.92, -0.31, 0.23),
    vec3(0.62, 0.71, 0.33), vec3(0.38, -0.58, 0.72), vec3(-0.59, -0.74, 0.32), vec3(-0.08, 0.64, 0.76));

void main() {
    float d = texture(uDepth, vUv).r;
    if (d >= 1.0) {  // the sky: nothing occludes it
        fragColor = vec4(1.0, 60000.0, 0.0, 1.0);
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
        float scale = mix(0.15, 1.0, float(i * i) / float(kSamples * kSamples));
        vec3 q = p + dir * (radius * scale);
        vec4 clip = uProj * vec4(q, 1.0);
        vec2 uv = clip.xy / clip.w * 0.5 + 0.5;
        if (any(lessThan(uv, vec2(0.0))) || any(greaterThan(uv, vec2(1.0)))) continue;
        float sceneDepth = ViewDepth(texture(uDepth, uv).r);
        float sampleDepth = -q.z;
        // What lies in front of the sample occludes it, unless it is far in front (a
        // different object): that fades out over the radius.
        float inFront = step(sceneDepth, sampleDepth - 0.02 * radius);
        float near = smoothstep(0.0, 1.0, radius / max(abs(-p.z - sceneDepth), 1e-4));
        occluded += inFront * near;
    }
    float ao = clamp(1.0 - uOcclusion.y * occluded / float(kSamples), 0.0, 1.0);
    fragColor = vec4(ao, -p.z, 0.0, 1.0);
}
#endif

#ifdef OCCLUSION_BLUR
uniform sampler2D uOcclusionMap;  // occlusion and view depth, at the same size as this pass
void main() {
    vec2 texel = 1.0 / vec2(textureSize(uOcclusionMap, 0));
    vec2 centre = texture(uOcclusionMap, vUv).rg;
    float sum = 0.0, weight = 0.0;
    // 4 x 4 texels, each by how near its depth is to the centre's: no bleeding across edges.
    for (int y = -2; y < 2; ++y) {
        for (int x = -2; x < 2; ++x) {
            vec2 s = texture(uOcclusionMap, vUv + (vec2(x, y) + 0.5) * texel).rg;
            float w = exp(-abs(s.g - centre.g) / (0.05 * centre.g + 1e-3));
            sum += s.r * w;
            weight += w;
        }
    }
    fragColor = vec4(weight > 0.0 ? sum / weight : centre.r, centre.g, 0.0, 1.0);
}
#endif

#ifdef BLOOM_DOWN
uniform sampler2D uSource;
uniform vec2 uThreshold;  // brightness where glow starts; 1 on the first step (only it thresholds)
void main() {
    vec2 texel = 1.0 / vec2(textureSize(uSource, 0));
    // Four bilinear taps: a 4 x 4 texel box, so no texel of the bigger level is skipped.
    vec3 c = 0.25 * (texture(uSource, vUv + texel * vec2(-1.0, -1.0)).rgb + texture(uSource, vUv + texel * vec2(1.0, -1.0)).rgb +
                     texture(uSource, vUv + texel * vec2(-1.0, 1.0)).rgb + texture(uSource, vUv + texel * vec2(1.0, 1.0)).rgb);
    if (uThreshold.y > 0.0) {
        float m = max(c.r, max(c.g, c.b));
        c *= max(m - uThreshold.x, 0.0) / max(m, 1e-4);
    }
    fragColor = vec4(min(c, vec3(1000.0)), 1.0);
}
#endif

#ifdef BLOOM_UP
uniform sampler2D uSource;  // the smaller level, added onto the bigger one by blending
void main() {
    vec2 texel = 1.0 / vec2(textureSize(uSource, 0));
    // A 3 x 3 tent.
    vec3 c = texture(uSource, vUv).rgb * 4.0;
    c += (texture(uSource, vUv + vec2(texel.x, 0.0)).rgb + texture(uSource, vUv - vec2(texel.x, 0.0)).rgb +
          texture(uSource, vUv + vec2(0.0, texel.y)).rgb + texture(uSource, vUv - vec2(0.0, texel.y)).rgb) * 2.0;
    c += texture(uSource, vUv + texel).rgb + texture(uSource, vUv - texel).rgb +
         texture(uSource, vUv + vec2(texel.x, -texel.y)).rgb + texture(uSource, vUv + vec2(-texel.x, texel.y)).rgb;
    fragColor = vec4(c / 16.0, 1.0);
}
#endif

#ifdef COMPOSITE
uniform sampler2D uScene;
uniform sampler2D uOcclusionMap;  // half size: occlusion and view depth
uniform sampler2D uBloom;
uniform float uBloomStrength;
void main() {
    vec3 c = texture(uScene, vUv).rgb;
#ifdef WITH_OCCLUSION
    if (texture(uDepth, vUv).r < 1.0) {
    // The half-size texels around this pixel, each by how near its depth is to the
    // pixel's own: an edge keeps the occlusion of its own side.
    float depth = ViewDepth(texture(uDepth, vUv).r);
    vec2 size = vec2(textureSize(uOcclusionMap, 0));
    vec2 base = floor(vUv * size - 0.5);
    float sum = 0.0, weight = 0.0;
    for (int i = 0; i < 4; ++i) {
        vec2 at = (base + vec2(float(i & 1), float(i >> 1)) + 0.5) / size;
        vec2 s = texture(uOcclusionMap, at).rg;
        vec2 f = 1.0 - abs(vUv * size - 0.5 - (base + vec2(float(i & 1), float(i >> 1))));
        float w = max(f.x * f.y, 1e-3) * exp(-abs(s.g - depth) / (0.05 * depth + 1e-3));
        sum += s.r * w;
        weight += w;
    }
    c *= weight > 1e-6 ? sum / weight : 1.0;
    }
#endif
#ifdef WITH_BLOOM
    c += uBloomStrength * texture(uBloom, vUv).rgb;
#endif
    fragColor = vec4(ToneMap(c), 1.0);
}
#endif
