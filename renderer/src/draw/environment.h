// The scene's surroundings: the sky, the light it gives, fog, ambient occlusion
// and bloom (R3D_SetSky..., R3D_SetFog, R3D_SetAmbientOcclusion, R3D_SetBloom).
// The frame reads them when it draws; every pass that shades something seen by
// the camera (the lit scene, the sky, particles) fogs it the same way, with
// kFogGlsl and UploadFog.
#pragma once

#include <vector>

namespace r3d {

struct Fog {
    float color[3] = {0.0f, 0.0f, 0.0f};  // 0..1, the colour a fully fogged pixel takes
    float density = 0.0f;                 // per metre at height 0; 0: no fog
    float falloff = 0.0f;                 // per metre of height; 0: the same at every height
    bool On() const { return density > 0.0f; }
};

// The sky's map: equirectangular, its centre column looking along -Z, its top row up.
constexpr int kSkyMapWidth = 256;
constexpr int kSkyMapHeight = 128;

struct Environment {
    bool skyOn = false;  // a sky is drawn (otherwise the flat background colour)
    float zenith[3] = {}, horizon[3] = {}, ground[3] = {};  // linear, before the tone curve
    std::vector<float> panorama;  // kSkyMapWidth x kSkyMapHeight RGB; empty: the procedural sky
    float skyLight = 0.0f;        // intensity; 0: the dim constant ambient instead
    float irradiance[9][3] = {};  // of the sky's map (see environment.cpp), times nothing
    Fog fog;
    float occlusionRadius = 0.0f, occlusionStrength = 0.0f;
    float bloomStrength = 0.0f, bloomThreshold = 0.0f;

    bool SkyLightOn() const { return skyOn && skyLight > 0.0f; }
    bool OcclusionOn() const { return occlusionRadius > 0.0f && occlusionStrength > 0.0f; }
    bool BloomOn() const { return bloomStrength > 0.0f; }
    bool PostOn() const { return OcclusionOn() || BloomOn(); }
};

const Environment& CurrentEnvironment();

// The lit pass's tone curve (r3d.h) on one value, for settings given before it.
float ToneCurve(float m);
const Fog& CurrentFog();

// The sky's map as a GL texture, rebuilt (with its irradiance) first when the sky changed;
// 0 when no sky was set. Needs the GL context.
unsigned int SkyMapTexture();
void ReleaseSkyMap();
// What particles are multiplied by: white, or with the sky light on, the light the sky
// sends onto a surface facing up (particles have no normal of their own).
void ParticleLight(float out[3]);

// GLSL (after "#version"): uniforms uFogColor (vec3) and uFogParams (vec3: density,
// falloff, camera height) and `vec3 ApplyFog(vec3 color, vec3 world, vec3 eye)`, which
// mixes a colour (before the tone curve) towards the fog colour by how much fog lies
// between the eye and the world point. Without fog it returns the colour.
extern const char* const kFogGlsl;

// Sets those uniforms of a program that uses kFogGlsl (bound with glUseProgram first).
void UploadFog(unsigned int program, float cameraHeight);

}  // namespace r3d
