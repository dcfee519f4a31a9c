#include "FakeR3D.h"

#include <cstring>
#include <memory>

namespace FakeR3D {
namespace {

struct ModelData {
    std::string path;
};

// Everything handed to the host stays allocated until exit (the host may still
// hold it after a Reset), and stays reachable, so leak checkers see no leak.
std::vector<std::unique_ptr<Buffer>>& AllBuffers() {
    static std::vector<std::unique_ptr<Buffer>> all;
    return all;
}
std::vector<std::unique_ptr<ModelData>>& AllModels() {
    static std::vector<std::unique_ptr<ModelData>> all;
    return all;
}

}  // namespace

State& Get() {
    static State state;
    return state;
}

void Reset() { Get() = State(); }

// A record's id is its place in AllModels() or AllBuffers() plus one (0: none).
std::string ModelPath(const R3D_Model& model) {
    return model.id != 0 ? AllModels()[model.id - 1]->path : std::string("<none>");
}

Buffer* BufferOf(const R3D_InstanceBuffer& buffer) { return buffer.id != 0 ? AllBuffers()[buffer.id - 1].get() : nullptr; }

}  // namespace FakeR3D

using namespace FakeR3D;

namespace {
Light& L(R3D_Light id) { return Get().lights[id]; }
}  // namespace

extern "C" {

void R3D_Init(int, int) {}
void R3D_Close(void) {}
void R3D_Begin(Camera3D) {}
void R3D_End(void) {}

R3D_Model R3D_LoadModelEx(const char* fileName, int) {
    Get().loaded.push_back(fileName);
    R3D_Model model = {};
    model.meshCount = 1;
    model.triangleCount = 12;
    model.aabb = {{-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}};  // every stand-in model is a unit cube
    AllModels().push_back(std::make_unique<ModelData>(ModelData{fileName}));
    model.id = static_cast<unsigned int>(AllModels().size());
    return model;
}

void R3D_UnloadModel(R3D_Model model, bool) { Get().unloadedModels.push_back(ModelPath(model)); }

R3D_InstanceBuffer R3D_LoadInstanceBuffer(int capacity, int flags) {
    AllBuffers().push_back(std::make_unique<Buffer>());
    Buffer* b = AllBuffers().back().get();
    b->capacity = capacity;
    b->flags = flags;
    // No slots for a capacity of 0 or less, as the renderer does.
    const std::size_t slots = capacity > 0 ? static_cast<std::size_t>(capacity) : 0;
    b->positions.resize(slots);
    b->rotations.resize(slots);
    b->scales.resize(slots);
    b->colors.resize(slots);
    Get().buffers.push_back(b);
    return {capacity, flags, static_cast<unsigned int>(AllBuffers().size())};
}

void R3D_UnloadInstanceBuffer(R3D_InstanceBuffer buffer) { BufferOf(buffer)->unloaded = true; }

void* R3D_MapInstances(R3D_InstanceBuffer buffer, int flag) {
    Buffer* b = BufferOf(buffer);
    b->mapped.push_back(flag);
    switch (flag) {
        case R3D_INSTANCE_POSITION: return b->positions.data();
        case R3D_INSTANCE_ROTATION: return b->rotations.data();
        case R3D_INSTANCE_SCALE: return b->scales.data();
        case R3D_INSTANCE_COLOR: return b->colors.data();
    }
    return nullptr;
}

void R3D_UnmapInstances(R3D_InstanceBuffer buffer, int flags) { BufferOf(buffer)->unmapped.push_back(flags); }

// A model loaded from a file named "figure..." has two clips, "walk" (1 s) and
// "idle" (2 s), and the joints "root" and "head" (1.5 above the root, raised by
// the clip's time so that a test can see which pose it was asked for).
static bool Animated(R3D_Model model) { return ModelPath(model).find("figure") != std::string::npos; }
int R3D_GetModelAnimationCount(R3D_Model model) { return Animated(model) ? 2 : 0; }
const char* R3D_GetModelAnimationName(R3D_Model model, int clip) {
    if (clip < 0 || clip >= R3D_GetModelAnimationCount(model)) return "";
    return clip == 0 ? "walk" : "idle";
}
float R3D_GetModelAnimationLength(R3D_Model model, int clip) {
    if (clip < 0 || clip >= R3D_GetModelAnimationCount(model)) return 0.0f;
    return clip == 0 ? 1.0f : 2.0f;
}
int R3D_GetModelJointCount(R3D_Model model) { return Animated(model) ? 2 : 0; }
int R3D_FindModelJoint(R3D_Model model, const char* name) {
    if (!Animated(model) || name == nullptr) return -1;
    return std::strcmp(name, "root") == 0 ? 0 : std::strcmp(name, "head") == 0 ? 1 : -1;
}
Matrix R3D_GetJointTransform(R3D_Model, R3D_AnimationState state, int joint) {
    Matrix m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (joint == 1) m.m13 = 1.5f + (state.clip >= 0 ? state.time : 0.0f);
    return m;
}
RayCollision R3D_RaycastModelPose(Ray ray, R3D_Model model, Matrix transform, R3D_AnimationState state) {
    Get().raycasts.push_back({ray, ModelPath(model), transform});
    Get().posedRaycasts.push_back(state);
    return Get().nextHit;
}

// The unit cube every stand-in model is, as 12 triangles.
int R3D_GetModelTriangles(R3D_Model, Vector3* corners, int maxTriangles) {
    static const int kFaces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    auto corner = [](int c) { return Vector3{c & 4 ? 0.5f : -0.5f, c & 2 ? 0.5f : -0.5f, c & 1 ? 0.5f : -0.5f}; };
    int t = 0;
    for (const auto& f : kFaces) {
        const int tris[2][3] = {{f[0], f[1], f[2]}, {f[0], f[2], f[3]}};
        for (const auto& tri : tris) {
            if (corners && t < maxTriangles)
                for (int c = 0; c < 3; ++c) corners[t * 3 + c] = corner(tri[c]);
            ++t;
        }
    }
    return t;
}

void R3D_DrawModelInstanced(R3D_Model model, R3D_InstanceBuffer buffer, int count) {
    Get().draws.push_back({ModelPath(model), BufferOf(buffer), count});
}

R3D_Light R3D_CreateLight(R3D_LightType type) {
    int id = static_cast<int>(Get().lights.size()) + 1;
    Get().lights[id].type = type;
    return id;
}
void R3D_DestroyLight(R3D_Light id) { L(id).destroyed = true; }

R3D_LightType R3D_GetLightType(R3D_Light id) { return L(id).type; }
bool R3D_IsLightActive(R3D_Light id) { return L(id).active; }
void R3D_SetLightActive(R3D_Light id, bool active) { L(id).active = active; }
void R3D_ToggleLight(R3D_Light id) { L(id).active = !L(id).active; }
Color R3D_GetLightColor(R3D_Light id) { return L(id).color; }
void R3D_SetLightColor(R3D_Light id, Color color) { L(id).color = color; }
Vector3 R3D_GetLightPosition(R3D_Light id) { return L(id).position; }
void R3D_SetLightPosition(R3D_Light id, Vector3 v) { L(id).position = v; }
Vector3 R3D_GetLightDirection(R3D_Light id) { return L(id).direction; }
void R3D_SetLightDirection(R3D_Light id, Vector3 v) { L(id).direction = v; }
float R3D_GetLightEnergy(R3D_Light id) { return L(id).energy; }
void R3D_SetLightEnergy(R3D_Light id, float v) { L(id).energy = v; }
float R3D_GetLightSpecular(R3D_Light id) { return L(id).specular; }
void R3D_SetLightSpecular(R3D_Light id, float v) { L(id).specular = v; }
float R3D_GetLightRange(R3D_Light id) { return L(id).range; }
void R3D_SetLightRange(R3D_Light id, float v) { L(id).range = v; }
float R3D_GetLightAttenuation(R3D_Light id) { return L(id).attenuation; }
void R3D_SetLightAttenuation(R3D_Light id, float v) { L(id).attenuation = v; }
float R3D_GetLightInnerCutOff(R3D_Light id) { return L(id).inner; }
void R3D_SetLightInnerCutOff(R3D_Light id, float v) { L(id).inner = v; }
float R3D_GetLightOuterCutOff(R3D_Light id) { return L(id).outer; }
void R3D_SetLightOuterCutOff(R3D_Light id, float v) { L(id).outer = v; }

void R3D_EnableShadow(R3D_Light id) { L(id).shadow = true; }
void R3D_DisableShadow(R3D_Light id) { L(id).shadow = false; }
bool R3D_IsShadowEnabled(R3D_Light id) { return L(id).shadow; }
R3D_ShadowUpdateMode R3D_GetShadowUpdateMode(R3D_Light id) { return static_cast<R3D_ShadowUpdateMode>(L(id).mode); }
void R3D_SetShadowUpdateMode(R3D_Light id, R3D_ShadowUpdateMode mode) { L(id).mode = mode; }
int R3D_GetShadowUpdateFrequency(R3D_Light id) { return L(id).frequency; }
void R3D_SetShadowUpdateFrequency(R3D_Light id, int msec) { L(id).frequency = msec; }
void R3D_UpdateShadowMap(R3D_Light id) { ++L(id).updates; }
float R3D_GetShadowSoftness(R3D_Light id) { return L(id).softness; }
void R3D_SetShadowSoftness(R3D_Light id, float v) { L(id).softness = v; }
float R3D_GetShadowDepthBias(R3D_Light id) { return L(id).depthBias; }
void R3D_SetShadowDepthBias(R3D_Light id, float v) { L(id).depthBias = v; }
float R3D_GetShadowSlopeBias(R3D_Light id) { return L(id).slopeBias; }
void R3D_SetShadowSlopeBias(R3D_Light id, float v) { L(id).slopeBias = v; }

RayCollision R3D_RaycastModel(Ray ray, R3D_Model model, Matrix transform) {
    Get().raycasts.push_back({ray, ModelPath(model), transform});
    return Get().nextHit;
}

int R3D_TakeGLErrors(void) { return 0; }  // no driver behind the stand-in

// The environment draws nothing here; its entries are tested against the real renderer.
void R3D_SetExposure(float) {}
void R3D_SetSkyColors(Color, Color, Color) {}
void R3D_SetSkyPanorama(Image) {}
void R3D_SetSkyLight(float) {}
void R3D_SetFog(Color, float, float) {}
void R3D_SetAmbientOcclusion(float, float) {}
void R3D_SetBloom(float, float) {}

// Particle emitters: handles count up from 1 and are never given again.
R3D_Particles R3D_CreateParticles(int maxAlive) {
    if (maxAlive < 1) return 0;
    const int id = static_cast<int>(Get().emitters.size()) + 1;
    Get().emitters[id].capacity = maxAlive < R3D_MAX_PARTICLES ? maxAlive : R3D_MAX_PARTICLES;
    return id;
}
void R3D_DestroyParticles(R3D_Particles id) { Get().emitters[id].destroyed = true; }
void R3D_SetParticlesTransform(R3D_Particles id, Vector3 position, Quaternion rotation) {
    Get().emitters[id].position = position;
    Get().emitters[id].rotation = rotation;
}
void R3D_SetParticlesRate(R3D_Particles, float) {}
void R3D_BurstParticles(R3D_Particles id, int count) {
    Emitter& e = Get().emitters[id];
    e.alive = e.alive + count < e.capacity ? e.alive + count : e.capacity;
}
void R3D_SetParticlesLifetime(R3D_Particles, float, float) {}
void R3D_SetParticlesVelocity(R3D_Particles, Vector3, float) {}
void R3D_SetParticlesGravity(R3D_Particles, Vector3) {}
void R3D_SetParticlesColors(R3D_Particles, Color, Color) {}
void R3D_SetParticlesSizes(R3D_Particles, float, float) {}
void R3D_SetParticlesTexture(R3D_Particles id, unsigned int texture) { Get().emitters[id].texture = texture; }
void R3D_SetParticlesBlend(R3D_Particles, R3D_ParticleBlend) {}
int R3D_GetParticlesCount(R3D_Particles id) { return Get().emitters[id].alive; }
void R3D_UpdateParticles(float) {}
void R3D_DrawParticles(R3D_Particles id) { ++Get().emitters[id].draws; }

}  // extern "C"
