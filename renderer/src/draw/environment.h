// The scene's surroundings: the sky, the light it gives, fog, ambient occlusion
// and bloom (R3D_SetSky..., R3D_SetFog, R3D_SetAmbientOcclusion, R3D_SetBloom).
// The frame reads them when it draws; every pass that shades something seen by
// the camera (the lit scene, the sky, particles) fogs it the same way, with
// kFogGlsl and UploadFog.
#pragma once

namespace r3d {

struct Fog {
    float color[3] = {0.0f, 0.0f, 0.0f};  // 0..1, the colour a fully fogged pixel takes
    float density = 0.0f;                 // per metre at height 0; 0: no fog
    float falloff = 0.0f;                 // per metre of height; 0: the same at every height
    bool On() const { return density > 0.0f; }
};

const Fog& CurrentFog();

// GLSL (after "#version"): uniforms uFogColor (vec3) and uFogParams (vec3: density,
// falloff, camera height) and `vec3 ApplyFog(vec3 color, vec3 world, vec3 eye)`, which
// mixes a colour (after the tone curve, 0..1) towards the fog colour by how much fog
// lies between the eye and the world point. Without fog it returns the colour.
extern const char* const kFogGlsl;

// Sets those uniforms of a program that uses kFogGlsl (bound with glUseProgram first).
void UploadFog(unsigned int program, float cameraHeight);

}  // namespace r3d
