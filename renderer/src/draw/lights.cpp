// Lights: creation, destruction and every property getter and setter. Values are
// stored exactly as given; the scene pass interprets them (frame.cpp, shaders.cpp).
#include "draw/lights.h"

#include <algorithm>

#include "base/Handles.h"
#include "base/Log.h"

namespace r3d {
namespace {

// A handle is the pool's, cast to int: positive, and never the same for two lights.
base::Pool<LightData>& LightPool() {
    static auto* lights = new base::Pool<LightData>("R3D", "light");  // never destroyed, as the models' pool
    return *lights;
}

std::vector<LightData*>& LightOrder() {
    static std::vector<LightData*> order;
    return order;
}

}  // namespace

const std::vector<LightData*>& Lights() { return LightOrder(); }

LightData* FindLight(R3D_Light id, const char* call) {
    return LightPool().Get(static_cast<base::Handle>(id), call);
}

}  // namespace r3d

using r3d::FindLight;
using r3d::LightData;

extern "C" {

R3D_Light R3D_CreateLight(R3D_LightType type) {
    if (type != R3D_LIGHT_DIR && type != R3D_LIGHT_SPOT && type != R3D_LIGHT_OMNI) {
        base::Warn("R3D", "unknown light type %d; no light created", static_cast<int>(type));
        return 0;
    }
    const base::Handle handle = r3d::LightPool().Add();
    if (handle == 0) {
        base::Warn("R3D", "no light handles left; no light created");
        return 0;
    }
    LightData* light = r3d::LightPool().Find(handle);
    light->type = type;
    r3d::LightOrder().push_back(light);
    return static_cast<R3D_Light>(handle);
}

void R3D_DestroyLight(R3D_Light id) {
    LightData* light = FindLight(id, __func__);
    if (light == nullptr) return;
    r3d::ReleaseShadowMap(*light);
    std::vector<LightData*>& order = r3d::LightOrder();
    order.erase(std::find(order.begin(), order.end(), light));
    r3d::LightPool().Remove(static_cast<base::Handle>(id));
}

R3D_LightType R3D_GetLightType(R3D_Light id) {
    const LightData* light = FindLight(id, __func__);
    return light ? light->type : R3D_LIGHT_DIR;
}

bool R3D_IsLightActive(R3D_Light id) {
    const LightData* light = FindLight(id, __func__);
    return light && light->active;
}

void R3D_SetLightActive(R3D_Light id, bool active) {
    if (LightData* light = FindLight(id, __func__)) light->active = active;
}

void R3D_ToggleLight(R3D_Light id) {
    if (LightData* light = FindLight(id, __func__)) light->active = !light->active;
}

#define R3D_LIGHT_PROPERTY(Type, Name, field, fallback)                       \
    Type R3D_GetLight##Name(R3D_Light id) {                                   \
        const LightData* light = FindLight(id, __func__);                     \
        return light ? light->field : fallback;                               \
    }                                                                         \
    void R3D_SetLight##Name(R3D_Light id, Type value) {                       \
        if (LightData* light = FindLight(id, __func__)) light->field = value; \
    }

R3D_LIGHT_PROPERTY(Color, Color, color, BLANK)
R3D_LIGHT_PROPERTY(Vector3, Position, position, (Vector3{0.0f, 0.0f, 0.0f}))
R3D_LIGHT_PROPERTY(Vector3, Direction, direction, (Vector3{0.0f, -1.0f, 0.0f}))
R3D_LIGHT_PROPERTY(float, Energy, energy, 0.0f)
R3D_LIGHT_PROPERTY(float, Specular, specular, 0.0f)
R3D_LIGHT_PROPERTY(float, Range, range, 0.0f)
R3D_LIGHT_PROPERTY(float, Attenuation, attenuation, 0.0f)
R3D_LIGHT_PROPERTY(float, InnerCutOff, innerCutOff, 0.0f)
R3D_LIGHT_PROPERTY(float, OuterCutOff, outerCutOff, 0.0f)
#undef R3D_LIGHT_PROPERTY

void R3D_EnableShadow(R3D_Light id) {
    LightData* light = FindLight(id, __func__);
    if (light == nullptr || light->shadow) return;
    light->shadow = true;
    light->map.requested = true;  // the map is drawn once at the next frame whatever the mode
}

void R3D_DisableShadow(R3D_Light id) {
    LightData* light = FindLight(id, __func__);
    if (light == nullptr) return;
    light->shadow = false;
    r3d::ReleaseShadowMap(*light);  // many shadowed lights are costly in memory
}

bool R3D_IsShadowEnabled(R3D_Light id) {
    const LightData* light = FindLight(id, __func__);
    return light && light->shadow;
}

R3D_ShadowUpdateMode R3D_GetShadowUpdateMode(R3D_Light id) {
    const LightData* light = FindLight(id, __func__);
    return light ? light->updateMode : R3D_SHADOW_UPDATE_MANUAL;
}

void R3D_SetShadowUpdateMode(R3D_Light id, R3D_ShadowUpdateMode mode) {
    if (mode != R3D_SHADOW_UPDATE_MANUAL && mode != R3D_SHADOW_UPDATE_INTERVAL &&
        mode != R3D_SHADOW_UPDATE_CONTINUOUS) {
        base::Warn("R3D", "unknown shadow update mode %d for light %d", static_cast<int>(mode), id);
        return;
    }
    if (LightData* light = FindLight(id, __func__)) light->updateMode = mode;
}

int R3D_GetShadowUpdateFrequency(R3D_Light id) {
    const LightData* light = FindLight(id, __func__);
    return light ? light->updateFrequency : 0;
}

void R3D_SetShadowUpdateFrequency(R3D_Light id, int msec) {
    if (LightData* light = FindLight(id, __func__)) light->updateFrequency = msec;
}

void R3D_UpdateShadowMap(R3D_Light id) {
    if (LightData* light = FindLight(id, __func__)) light->map.requested = true;
}

#define R3D_SHADOW_PROPERTY(Name, field)                                      \
    float R3D_GetShadow##Name(R3D_Light id) {                                 \
        const LightData* light = FindLight(id, __func__);                     \
        return light ? light->field : 0.0f;                                   \
    }                                                                         \
    void R3D_SetShadow##Name(R3D_Light id, float value) {                     \
        if (LightData* light = FindLight(id, __func__)) light->field = value; \
    }

R3D_SHADOW_PROPERTY(Softness, softness)
R3D_SHADOW_PROPERTY(DepthBias, depthBias)
R3D_SHADOW_PROPERTY(SlopeBias, slopeBias)
#undef R3D_SHADOW_PROPERTY

}  // extern "C"
