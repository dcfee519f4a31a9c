// Fragment stage of the lit scene pass. Forward shading: one pass over the geometry
// evaluates every light, which on a software rasteriser (llvmpipe) costs less than
// writing and re-reading a G-buffer.
// shaders.cpp puts "#version 330 core" and the variant's switches in front of this
// file (material features, DEPTH_ONLY, the light set), then light_set_inc.glsl.

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
#ifdef SKY_LIGHT
uniform vec3 uSkyIrradiance[9];  // of the sky's map, times the sky light (environment.cpp)
uniform sampler2D uSkyMap;       // equirectangular, with mip levels for rough reflections
uniform float uSkyMapLevels;     // its last mip level
uniform float uSkyLight;
uniform vec3 uSkyColors[3];      // zenith, horizon, ground
#endif

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

// Light i of a variant built for its lights, from its description d (light_set_inc.glsl):
// every argument but the shadow varyings is a constant, as LightContribution wants.
#define DESCRIBED_LIGHT(i, d, shadowBase, shadowStep) LightContribution(i, LIGHT_KIND(d), LIGHT_SHADOWED(d), LIGHT_FALLOFF(d), LIGHT_SPECULAR(d), LIGHT_SPREAD(d), LIGHT_WIDE(d), shadowBase, shadowStep, s, n, v)

// The filmic curve on the brightest channel, the others scaled alike: hue and saturation
// stay, and light far above white rolls off towards 1 instead of clipping.
vec3 ToneMap(vec3 c) {
    float m = max(c.r, max(c.g, c.b));
    if (m <= kKnee) return c;
    float t = kKnee + (1.0 - kKnee) * (1.0 - exp(-(m - kKnee) / (1.0 - kKnee)));
    return c * (t / m);
}

#ifdef SKY_LIGHT
// The light the sky sends onto a surface facing n (a uniform sky of radiance L gives L).
vec3 SkyIrradiance(vec3 n) {
    vec3 e = uSkyIrradiance[0] + uSkyIrradiance[1] * n.y + uSkyIrradiance[2] * n.z + uSkyIrradiance[3] * n.x +
             uSkyIrradiance[4] * (n.x * n.y) + uSkyIrradiance[5] * (n.y * n.z) + uSkyIrradiance[6] * (3.0 * n.z * n.z - 1.0) +
             uSkyIrradiance[7] * (n.x * n.z) + uSkyIrradiance[8] * (n.x * n.x - n.y * n.y);
    return max(e, vec3(0.0));
}

// The sky mirrored in direction r, blurrier for rougher surfaces. The procedural sky is
// worked out from its colours (no texture read, no arc functions), blurred towards its
// irradiance; a panorama is read from the map's mip level for the roughness. A variant
// each: llvmpipe runs both sides of a branch.
vec3 SkyReflection(vec3 r, float roughness) {
#ifdef SKY_PANORAMA
    vec2 uv = vec2(0.5 + atan(r.x, -r.z) / 6.2831853, acos(clamp(r.y, -1.0, 1.0)) / 3.14159265);
    return textureLod(uSkyMap, uv, roughness * uSkyMapLevels).rgb * uSkyLight;
#else
    float t = 1.0 - min(abs(r.y), 1.0);
    t *= t;
    vec3 sharp = mix(uSkyColors[1], r.y >= 0.0 ? uSkyColors[0] : uSkyColors[2], 1.0 - t * t);
    return mix(sharp * uSkyLight, SkyIrradiance(r) * uSkyLight, roughness);
#endif
}

// How much of the mirrored sky a surface reflects, over every angle of its lobe: a
// fitted curve of the split-sum integral (no lookup table) by roughness and angle.
vec3 ReflectedShare(vec3 f0, float roughness, float ndv) {
    vec4 r = roughness * vec4(-1.0, -0.0275, -0.572, 0.022) + vec4(1.0, 0.0425, 1.04, -0.04);
    float a = min(r.x * r.x, exp2(-9.28 * ndv)) * r.x + r.y;
    vec2 scaleBias = vec2(-1.04, 1.04) * a + r.zw;
    return f0 * scaleBias.x + scaleBias.y;
}
#endif

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

#ifdef SKY_LIGHT
    // The sky's light from every direction a surface faces, and the sky in its gloss.
    vec3 share = ReflectedShare(s.f0, roughness, s.ndv);
    vec3 color = s.diffuse * SkyIrradiance(n) * uSkyLight * (1.0 - share) + SkyReflection(reflect(-v, n), roughness) * share;
#else
    // A little sky and ground light so that nothing unlit is pitch black; it reaches
    // metals through their reflectance.
    vec3 color = (s.diffuse + s.f0) * mix(uAmbientGround, uAmbientSky, n.y * 0.5 + 0.5);
#endif
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
    color *= uExposure;
#ifdef FOG
    color = ApplyFog(color, vWorld, uViewPosition);
#endif
    fragColor = vec4(ToneMap(color), albedo.a);
}
