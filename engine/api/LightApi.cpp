// Light entries: each finds the renderer light of a "Light" instance (its
// "Value") and forwards one call to r3d, converting values on the way.
#include "Catalog.h"
#include "Instance.h"
#include "Lookup.h"
#include "Messages.h"
#include "r3d.h"

namespace World::Api {
namespace {

// The light handle of an instance; a record of another kind has none.
// Found without adding anything, so a call on another kind changes nothing.
R3D_Light LightOf(int id) {
    const int* light = FindVariable<int>(id, "Value");
    if (!light) throw BadValue("instance " + std::to_string(id) + " is not a Light");
    return *light;
}

// Adapters from r3d's (light, value) calls to entries taking (id, value).
template <auto Fn>
struct Light;
template <class R, R (*Fn)(R3D_Light)>
struct Light<Fn> {
    static R Get(int id) { return Fn(LightOf(id)); }
};
template <class V, void (*Fn)(R3D_Light, V)>
struct Light<Fn> {
    static void Set(int id, V value) { Fn(LightOf(id), value); }
};
template <void (*Fn)(R3D_Light)>
struct Light<Fn> {
    static void Do(int id) { Fn(LightOf(id)); }
};

// Words for the renderer's enumerations; a value outside them reads "null".
const char* const kLightTypes[] = {"Global", "Spot", "Point"};
const char* const kShadowModes[] = {"Manual", "Interval", "Continuous"};

std::string Word(const char* const (&words)[3], int value) { return value >= 0 && value < 3 ? words[value] : "null"; }

std::string GetType(int id) { return Word(kLightTypes, R3D_GetLightType(LightOf(id))); }
std::string GetShadowUpdateMode(int id) { return Word(kShadowModes, R3D_GetShadowUpdateMode(LightOf(id))); }

void SetShadowUpdateMode(int id, std::string mode) {
    R3D_Light light = LightOf(id);
    int value = -1;
    for (int i = 0; i < 3; ++i)
        if (mode == kShadowModes[i]) value = i;
    Fail(Fatal::InvalidShadowUpdateMode, value < 0, mode);
    R3D_SetShadowUpdateMode(light, static_cast<R3D_ShadowUpdateMode>(value));
}

// The light is looked up before argument 1 is read, as the game has always seen it.
void SetState(const Params& params, const char* entry) {
    R3D_Light light = LightOf(Arg<int>(params, 0, entry));
    R3D_SetLightActive(light, Arg<bool>(params, 1, entry));
}

}  // namespace

void AddLightEntries(Catalog& c) {
    c.push_back(Op("Light.GetType", GetType));
    c.push_back(Op("Light.IsActive", Light<R3D_IsLightActive>::Get));
    c.push_back(Func("Light.Toggle", Light<R3D_ToggleLight>::Do));
    c.push_back(RawFunc<int, bool>("Light.SetState", SetState));
    c.push_back(Op("Light.GetColor", Light<R3D_GetLightColor>::Get));
    c.push_back(Func("Light.SetColor", Light<R3D_SetLightColor>::Set));
    c.push_back(Op("Light.GetPosition", Light<R3D_GetLightPosition>::Get));
    c.push_back(Func("Light.SetPosition", Light<R3D_SetLightPosition>::Set));
    c.push_back(Op("Light.GetDirection", Light<R3D_GetLightDirection>::Get));
    c.push_back(Func("Light.SetDirection", Light<R3D_SetLightDirection>::Set));
    c.push_back(Op("Light.GetEnergy", Light<R3D_GetLightEnergy>::Get));
    c.push_back(Func("Light.SetEnergy", Light<R3D_SetLightEnergy>::Set));
    c.push_back(Op("Light.GetSpecular", Light<R3D_GetLightSpecular>::Get));
    c.push_back(Func("Light.SetSpecular", Light<R3D_SetLightSpecular>::Set));
    c.push_back(Op("Light.GetRange", Light<R3D_GetLightRange>::Get));
    c.push_back(Func("Light.SetRange", Light<R3D_SetLightRange>::Set));
    c.push_back(Op("Light.GetAttenuation", Light<R3D_GetLightAttenuation>::Get));
    c.push_back(Func("Light.SetAttenuation", Light<R3D_SetLightAttenuation>::Set));
    c.push_back(Op("Light.GetInnerCutoff", Light<R3D_GetLightInnerCutOff>::Get));
    c.push_back(Func("Light.SetInnerCutoff", Light<R3D_SetLightInnerCutOff>::Set));
    c.push_back(Op("Light.GetOuterCutoff", Light<R3D_GetLightOuterCutOff>::Get));
    c.push_back(Func("Light.SetOuterCutoff", Light<R3D_SetLightOuterCutOff>::Set));
    c.push_back(Func("Light.EnableShadow", Light<R3D_EnableShadow>::Do));
    c.push_back(Func("Light.DisableShadow", Light<R3D_DisableShadow>::Do));
    c.push_back(Op("Light.IsShadowEnabled", Light<R3D_IsShadowEnabled>::Get));
    c.push_back(Op("Light.GetShadowUpdateMode", GetShadowUpdateMode));
    c.push_back(Func("Light.SetShadowUpdateMode", SetShadowUpdateMode));
    c.push_back(Op("Light.GetShadowUpdateFrequency", Light<R3D_GetShadowUpdateFrequency>::Get));
    c.push_back(Func("Light.SetShadowUpdateFrequency", Light<R3D_SetShadowUpdateFrequency>::Set));
    c.push_back(Func("Light.UpdateShadow", Light<R3D_UpdateShadowMap>::Do));
    c.push_back(Op("Light.GetSoftness", Light<R3D_GetShadowSoftness>::Get));
    c.push_back(Func("Light.SetSoftness", Light<R3D_SetShadowSoftness>::Set));
    c.push_back(Op("Light.GetDepthBias", Light<R3D_GetShadowDepthBias>::Get));
    c.push_back(Func("Light.SetDepthBias", Light<R3D_SetShadowDepthBias>::Set));
    c.push_back(Op("Light.GetSlopeBias", Light<R3D_GetShadowSlopeBias>::Get));
    c.push_back(Func("Light.SetSlopeBias", Light<R3D_SetShadowSlopeBias>::Set));
}

}  // namespace World::Api
