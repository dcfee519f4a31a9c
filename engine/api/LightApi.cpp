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
    if (!light) throw NotA(id, "Light");
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
    c.push_back(Op("Light.GetType", GetType, "Name of the light's kind.", {"id"}));
    c.push_back(Op("Light.IsActive", Light<R3D_IsLightActive>::Get, "Whether the light is on.", {"id"}));
    c.push_back(Func("Light.Toggle", Light<R3D_ToggleLight>::Do, "Switches the light on or off.", {"id"}));
    c.push_back(RawFunc<int, bool>("Light.SetState", SetState, "Switches the light on (true) or off.", {"id", ""}));
    c.push_back(Op("Light.GetColor", Light<R3D_GetLightColor>::Get, "The light's packed colour.", {"id"}));
    c.push_back(Func("Light.SetColor", Light<R3D_SetLightColor>::Set,
        "Sets the light's colour.",
        {"id", "packed colour"}));
    c.push_back(Op("Light.GetPosition", Light<R3D_GetLightPosition>::Get, "The light's position.", {"id"}));
    c.push_back(Func("Light.SetPosition", Light<R3D_SetLightPosition>::Set, "Sets the position.", {"id", ""}));
    c.push_back(Op("Light.GetDirection", Light<R3D_GetLightDirection>::Get, "The light's direction.", {"id"}));
    c.push_back(Func("Light.SetDirection", Light<R3D_SetLightDirection>::Set, "Sets the direction.", {"id", ""}));
    c.push_back(Op("Light.GetEnergy", Light<R3D_GetLightEnergy>::Get, "Energy.", {"id"}));
    c.push_back(Func("Light.SetEnergy", Light<R3D_SetLightEnergy>::Set, "Sets the energy.", {"id", ""}));
    c.push_back(Op("Light.GetSpecular", Light<R3D_GetLightSpecular>::Get, "Specular factor.", {"id"}));
    c.push_back(Func("Light.SetSpecular", Light<R3D_SetLightSpecular>::Set, "Sets the specular factor.", {"id", ""}));
    c.push_back(Op("Light.GetRange", Light<R3D_GetLightRange>::Get, "Range.", {"id"}));
    c.push_back(Func("Light.SetRange", Light<R3D_SetLightRange>::Set, "Sets the range.", {"id", ""}));
    c.push_back(Op("Light.GetAttenuation", Light<R3D_GetLightAttenuation>::Get, "Attenuation.", {"id"}));
    c.push_back(Func("Light.SetAttenuation", Light<R3D_SetLightAttenuation>::Set, "Sets the attenuation.", {"id", ""}));
    c.push_back(Op("Light.GetInnerCutoff", Light<R3D_GetLightInnerCutOff>::Get, "Inner cone cut-off.", {"id"}));
    c.push_back(Func("Light.SetInnerCutoff", Light<R3D_SetLightInnerCutOff>::Set,
        "Sets the inner cut-off.",
        {"id", ""}));
    c.push_back(Op("Light.GetOuterCutoff", Light<R3D_GetLightOuterCutOff>::Get, "Outer cone cut-off.", {"id"}));
    c.push_back(Func("Light.SetOuterCutoff", Light<R3D_SetLightOuterCutOff>::Set,
        "Sets the outer cut-off.",
        {"id", ""}));
    c.push_back(Func("Light.EnableShadow", Light<R3D_EnableShadow>::Do, "Turns shadows on for the light.", {"id"}));
    c.push_back(Func("Light.DisableShadow", Light<R3D_DisableShadow>::Do, "Turns its shadows off.", {"id"}));
    c.push_back(Op("Light.IsShadowEnabled", Light<R3D_IsShadowEnabled>::Get, "Whether it casts shadows.", {"id"}));
    c.push_back(Op("Light.GetShadowUpdateMode", GetShadowUpdateMode,
        "\"Manual\", \"Interval\", \"Continuous\" or \"null\".",
        {"id"}));
    c.push_back(Func("Light.SetShadowUpdateMode", SetShadowUpdateMode,
        "Sets when the shadow map is redrawn.",
        {"id", "mode word"}));
    c.push_back(Op("Light.GetShadowUpdateFrequency", Light<R3D_GetShadowUpdateFrequency>::Get,
        "Interval between shadow redraws, in milliseconds.",
        {"id"}));
    c.push_back(Func("Light.SetShadowUpdateFrequency", Light<R3D_SetShadowUpdateFrequency>::Set,
        "Sets that interval.",
        {"id", "milliseconds"}));
    c.push_back(Func("Light.UpdateShadow", Light<R3D_UpdateShadowMap>::Do,
        "Asks for the shadow map to be redrawn.",
        {"id"}));
    c.push_back(Op("Light.GetSoftness", Light<R3D_GetShadowSoftness>::Get, "Shadow softness.", {"id"}));
    c.push_back(Func("Light.SetSoftness", Light<R3D_SetShadowSoftness>::Set, "Sets the shadow softness.", {"id", ""}));
    c.push_back(Op("Light.GetDepthBias", Light<R3D_GetShadowDepthBias>::Get, "Shadow depth bias.", {"id"}));
    c.push_back(Func("Light.SetDepthBias", Light<R3D_SetShadowDepthBias>::Set, "Sets the depth bias.", {"id", ""}));
    c.push_back(Op("Light.GetSlopeBias", Light<R3D_GetShadowSlopeBias>::Get, "Shadow slope bias.", {"id"}));
    c.push_back(Func("Light.SetSlopeBias", Light<R3D_SetShadowSlopeBias>::Set, "Sets the slope bias.", {"id", ""}));
}

}  // namespace World::Api
