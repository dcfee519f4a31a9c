// The scene's surroundings: what R3D_SetFog and the other environment calls keep,
// and the fog every camera pass shares.
#include "draw/environment.h"

#include <cmath>

#include "r3d.h"
#include "rlgl.h"  // Required for: rlGetLocationUniform(), rlSetUniform()

namespace r3d {
namespace {

Fog fog;

bool Usable(float v) { return std::isfinite(v) && v >= 0.0f; }

}  // namespace

const Fog& CurrentFog() { return fog; }

// The fog's density at height y is density * exp(-falloff * y). Along the straight line
// from the eye to the point its integral (the optical depth) has a closed form; where the
// line is nearly level the density at the eye stands for the whole line.
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
    const float params[3] = {fog.density, fog.falloff, cameraHeight};
    rlSetUniform(rlGetLocationUniform(program, "uFogColor"), fog.color, RL_SHADER_UNIFORM_VEC3, 1);
    rlSetUniform(rlGetLocationUniform(program, "uFogParams"), params, RL_SHADER_UNIFORM_VEC3, 1);
}

}  // namespace r3d

void R3D_SetFog(Color color, float density, float heightFalloff) {
    r3d::fog.color[0] = color.r / 255.0f;
    r3d::fog.color[1] = color.g / 255.0f;
    r3d::fog.color[2] = color.b / 255.0f;
    r3d::fog.density = r3d::Usable(density) ? density : 0.0f;
    r3d::fog.falloff = std::isfinite(heightFalloff) ? heightFalloff : 0.0f;
}
