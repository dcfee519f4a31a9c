// Frame time of 10,000 instances of a 1,000-triangle model lit by one shadowed spot
// light, drawn through r3d, against raylib's own DrawMeshInstanced drawing the same
// instances with the same light (no shadows) in the same run. A 1280x800 window, as
// the engine opens. Prints the ratios at the end. Shadows update continuously: with
// nothing moving the map is kept, with the light moving it is redrawn every frame.
// Also the sample game's level with its flashlight, against raylib drawing the level.
// The machine is shared: each case is repeated (nine times for the short level frames) and
// the fastest repetition counts; run with --benchmark_enable_random_interleaving=true so
// that the cases see the same load. VANTOR_PASS_PROFILE=1 also prints the time of each
// pass of a frame (R3D_SetPassTiming).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "FrameTiming.h"
#include "ShadingScene.h"
#include "internal.h"  // Required for: R3D_MeshData, to hand raylib the same mesh
#include "raymath.h"
#include "rlgl.h"

using namespace Shading;

namespace {

constexpr int kInstances = 10000;
constexpr int kWidth = 1280, kHeight = 800;

struct Scene {
    ObjMesh sphere = Sphere(20, 25, 0.4f);  // 1,000 triangles
    std::vector<Instance> instances;
    Camera3D camera{};
    Vector3 lightPosition{0.0f, 40.0f, 0.0f};
    R3D_Model model{};
    R3D_Model ground{};
    R3D_InstanceBuffer buffer{};
    R3D_InstanceBuffer groundBuffer{};
    R3D_Light spot = 0;

    Scene() {
        OpenWindow(kWidth, kHeight);
        instances = SphereField(kInstances);
        camera.position = {0.0f, 55.0f, 65.0f};
        camera.target = {0.0f, 0.0f, 0.0f};
        camera.up = {0.0f, 1.0f, 0.0f};
        camera.fovy = 60.0f;
        camera.projection = CAMERA_PERSPECTIVE;

        // Imported as the engine imports its models (flag 1: meshes optimised).
        model = LoadObj("sphere", sphere, WHITE, "", R3D_IMPORT_OPTIMIZE);
        ground = LoadObj("ground", Plane(60.0f));
        buffer = R3D_LoadInstanceBuffer(kInstances, R3D_INSTANCE_ALL);
        Fill(buffer, instances);
        groundBuffer = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
        Fill(groundBuffer, {Instance{}});
        spot = R3D_CreateLight(R3D_LIGHT_SPOT);
        R3D_SetLightPosition(spot, lightPosition);
        R3D_SetLightDirection(spot, {0.0f, -1.0f, 0.0f});
        R3D_SetLightRange(spot, 100.0f);
        R3D_SetLightInnerCutOff(spot, 40.0f);
        R3D_SetLightOuterCutOff(spot, 50.0f);
        R3D_SetLightEnergy(spot, 48.0f);  // default attenuation 1: about 1.2 on the ground below
        R3D_SetLightActive(spot, true);
        R3D_EnableShadow(spot);
        R3D_SetShadowUpdateMode(spot, R3D_SHADOW_UPDATE_CONTINUOUS);
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

// raylib's side: the same mesh uploaded as a raylib Mesh, one matrix per instance, and a
// shader computing the same spot light (diffuse, specular, cone, range fall-off, ambient).
const char* kRaylibVs = R"(#version 330
in vec3 vertexPosition;
in vec3 vertexNormal;
in mat4 instanceTransform;
uniform mat4 mvp;
uniform vec4 colDiffuse;
out vec3 fragPosition;
out vec3 fragNormal;
void main() {
    vec4 world = instanceTransform * vec4(vertexPosition, 1.0);
    fragPosition = world.xyz;
    fragNormal = mat3(instanceTransform) * vertexNormal;
    gl_Position = mvp * world;
}
)";

// With SHADOWED defined: the light's shadow map, read with a 3x3 percentage-closer filter
// (see kRaylibDepthVs below).
const char* kRaylibFsBody = R"(
in vec3 fragPosition;
in vec3 fragNormal;
uniform vec4 colDiffuse;
uniform vec3 lightPosition;
uniform vec3 lightDirection;
uniform vec3 lightRadiance;  // colour times energy
uniform vec4 lightParams;    // range, cos inner, cos outer, specular
uniform vec3 viewPosition;
#ifdef SHADOWED
uniform mat4 lightViewProj;
uniform sampler2D shadowMap;
#endif
out vec4 finalColor;
void main() {
    vec3 n = normalize(fragNormal);
    vec3 toLight = lightPosition - fragPosition;
    float d = length(toLight);
    vec3 l = toLight / d;
    float x = min(d / lightParams.x, 1.0);
    float window = 1.0 - x * x * x * x;
    float falloff = window * window / sqrt(1.0 + d * d);
    falloff *= smoothstep(lightParams.z, lightParams.y, dot(-l, lightDirection));
    float ndl = max(dot(n, l), 0.0);
#ifdef SHADOWED
    vec4 p = lightViewProj * vec4(fragPosition, 1.0);
    vec3 m = p.xyz / p.w * 0.5 + 0.5;
    float lit = 0.0;
    vec2 texel = 1.0 / vec2(textureSize(shadowMap, 0));
    for (int i = -1; i <= 1; ++i) {
        for (int j = -1; j <= 1; ++j) {
            lit += m.z - 0.0005 > texture(shadowMap, m.xy + vec2(i, j) * texel).r ? 0.0 : 1.0;
        }
    }
    falloff *= lit / 9.0;
#endif
    vec3 h = normalize(l + normalize(viewPosition - fragPosition));
    float specular = lightParams.w * 1.5915 * pow(max(dot(n, h), 0.0), 32.0);
    vec3 c = colDiffuse.rgb * mix(vec3(0.05, 0.045, 0.04), vec3(0.1, 0.11, 0.13), n.y * 0.5 + 0.5);
    c += (colDiffuse.rgb + specular) * lightRadiance * ndl * falloff;
    finalColor = vec4(c, 1.0);
}
)";
const std::string kRaylibFs = std::string("#version 330\n") + kRaylibFsBody;
const std::string kRaylibShadowedFs = std::string("#version 330\n#define SHADOWED\n") + kRaylibFsBody;

// raylib with a shadow map of its own, the way its shadow-map example draws one: the
// scene's depth from the light into a 1024x1024 texture each frame, then one lit pass
// reading it with a 3x3 percentage-closer filter.
const char* kRaylibDepthVs = R"(#version 330
in vec3 vertexPosition;
in mat4 instanceTransform;
uniform mat4 mvp;
void main() { gl_Position = mvp * instanceTransform * vec4(vertexPosition, 1.0); }
)";
const char* kRaylibDepthFs = R"(#version 330
out vec4 finalColor;
void main() { finalColor = vec4(1.0); }
)";

// raylib's side of a scene: its shader with one spot light.
struct RaylibLight {
    Shader shader{};
    Material material{};
    int position = -1, direction = -1, radiance = -1, params = -1, view = -1;

    RaylibLight() {
        shader = LoadShaderFromMemory(kRaylibVs, kRaylibFs.c_str());
        shader.locs[SHADER_LOC_MATRIX_MVP] = GetShaderLocation(shader, "mvp");
        material = LoadMaterialDefault();
        material.shader = shader;
        position = GetShaderLocation(shader, "lightPosition");
        direction = GetShaderLocation(shader, "lightDirection");
        radiance = GetShaderLocation(shader, "lightRadiance");
        params = GetShaderLocation(shader, "lightParams");
        view = GetShaderLocation(shader, "viewPosition");
    }
    // The light as r3d holds it, and the eye.
    void Set(R3D_Light light, Vector3 eye) const {
        const Vector3 p = R3D_GetLightPosition(light), d = Vector3Normalize(R3D_GetLightDirection(light));
        const Color c = R3D_GetLightColor(light);
        const float e = R3D_GetLightEnergy(light);
        const Vector3 rad = {c.r / 255.0f * e, c.g / 255.0f * e, c.b / 255.0f * e};
        const Vector4 par = {R3D_GetLightRange(light), std::cos(R3D_GetLightInnerCutOff(light) * DEG2RAD),
                             std::cos(R3D_GetLightOuterCutOff(light) * DEG2RAD), R3D_GetLightSpecular(light)};
        SetShaderValue(shader, position, &p, SHADER_UNIFORM_VEC3);
        SetShaderValue(shader, direction, &d, SHADER_UNIFORM_VEC3);
        SetShaderValue(shader, radiance, &rad, SHADER_UNIFORM_VEC3);
        SetShaderValue(shader, params, &par, SHADER_UNIFORM_VEC4);
        SetShaderValue(shader, view, &eye, SHADER_UNIFORM_VEC3);
    }
};

const RaylibLight& TheRaylibLight() {
    static RaylibLight light;
    return light;
}

Mesh ToRaylibMesh(const ObjMesh& m) {
    Mesh mesh{};
    mesh.vertexCount = static_cast<int>(m.positions.size());
    mesh.triangleCount = static_cast<int>(m.indices.size() / 3);
    mesh.vertices = static_cast<float*>(MemAlloc(mesh.vertexCount * 3 * sizeof(float)));
    mesh.normals = static_cast<float*>(MemAlloc(mesh.vertexCount * 3 * sizeof(float)));
    mesh.indices = static_cast<unsigned short*>(MemAlloc(m.indices.size() * sizeof(unsigned short)));
    for (int i = 0; i < mesh.vertexCount; ++i) {
        mesh.vertices[3 * i] = m.positions[i].x;
        mesh.vertices[3 * i + 1] = m.positions[i].y;
        mesh.vertices[3 * i + 2] = m.positions[i].z;
        mesh.normals[3 * i] = m.normals[i].x;
        mesh.normals[3 * i + 1] = m.normals[i].y;
        mesh.normals[3 * i + 2] = m.normals[i].z;
    }
    for (size_t i = 0; i < m.indices.size(); ++i) mesh.indices[i] = static_cast<unsigned short>(m.indices[i]);
    UploadMesh(&mesh, false);
    return mesh;
}

// raylib's copy of the very mesh r3d imported (same vertices, same index order).
Mesh ToRaylibMesh(const R3D_Model& model, size_t index = 0) {
    const R3D_MeshData& source = r3d::FindModelData(model)->meshes[index];
    ObjMesh m;
    m.positions = source.positions;
    m.normals = source.normals;
    m.indices.assign(source.indices.begin(), source.indices.end());
    return ToRaylibMesh(m);
}

// The fastest repetition of each case (FrameTiming.h).
double r3dStaticMs = 0.0, r3dMovingMs = 0.0, raylibMs = 0.0;

enum class Shadows { Off, StaticScene, MovingLight };

void BM_R3D(benchmark::State& state, Shadows shadows) {
    Scene& s = TheScene();
    if (shadows == Shadows::Off) R3D_DisableShadow(s.spot);
    else R3D_EnableShadow(s.spot);
    int frame = 0;
    const double ms = TimeFrames(state, [&] {
        if (shadows == Shadows::MovingLight) {
            // A light that moves every frame: its map is redrawn every frame.
            R3D_SetLightPosition(s.spot, {0.01f * (frame++ % 2), s.lightPosition.y, 0.0f});
        }
        BeginDrawing();
        R3D_Begin(s.camera);
        R3D_DrawModelInstanced(s.ground, s.groundBuffer, 1);
        R3D_DrawModelInstanced(s.model, s.buffer, kInstances);
        R3D_End();
        DrawFPS(10, 10);
        EndDrawing();
    });
    if (shadows == Shadows::StaticScene) r3dStaticMs = KeepFastest(r3dStaticMs, ms);
    if (shadows == Shadows::MovingLight) r3dMovingMs = KeepFastest(r3dMovingMs, ms);
    R3D_SetLightPosition(s.spot, s.lightPosition);
    R3D_EnableShadow(s.spot);
}

// Continuous shadow updates; nothing moves, so the map drawn once is kept.
void BM_R3D_ShadowedSpot_StaticScene(benchmark::State& state) { BM_R3D(state, Shadows::StaticScene); }
// Continuous shadow updates with the light moving: the map is redrawn every frame.
void BM_R3D_ShadowedSpot_MovingLight(benchmark::State& state) { BM_R3D(state, Shadows::MovingLight); }
void BM_R3D_UnshadowedSpot(benchmark::State& state) { BM_R3D(state, Shadows::Off); }

void BM_Raylib_DrawMeshInstanced(benchmark::State& state) {
    Scene& s = TheScene();
    static Mesh mesh = ToRaylibMesh(s.model);
    static Mesh groundMesh = ToRaylibMesh(Plane(60.0f));
    const RaylibLight& light = TheRaylibLight();
    const Material& material = light.material;
    static std::vector<Matrix> transforms = [&] {
        std::vector<Matrix> t;
        for (const Instance& in : s.instances) {
            t.push_back(MatrixMultiply(MatrixMultiply(MatrixScale(in.scale.x, in.scale.y, in.scale.z),
                                                      QuaternionToMatrix(in.rotation)),
                                       MatrixTranslate(in.position.x, in.position.y, in.position.z)));
        }
        return t;
    }();
    const Matrix identity = MatrixIdentity();
    const double ms = TimeFrames(state, [&] {
        BeginDrawing();
        ClearBackground(Color{24, 26, 32, 255});
        BeginMode3D(s.camera);
        light.Set(s.spot, s.camera.position);
        DrawMeshInstanced(groundMesh, material, &identity, 1);
        DrawMeshInstanced(mesh, material, transforms.data(), kInstances);
        EndMode3D();
        DrawFPS(10, 10);
        EndDrawing();
    });
    raylibMs = KeepFastest(raylibMs, ms);
}

// The sample game's level as the game draws it: base.fbx imported as the engine imports
// it, one instance, seen from the walker's eye where it comes to rest, with the flashlight
// in its hand (shadowed, continuous updates) turning a little every frame. raylib draws the
// same meshes with the same light, unshadowed.
struct Level {
    R3D_Model model{};
    R3D_InstanceBuffer buffer{};
    R3D_Light flashlight = 0;
    std::vector<Mesh> meshes;
    std::vector<Color> colors;
    Camera3D camera{};
    int frame = 0;

    Level() {
        TheScene();  // the window
        model = R3D_LoadModelEx(VANTOR_LEVEL, R3D_IMPORT_OPTIMIZE);
        buffer = R3D_LoadInstanceBuffer(1, R3D_INSTANCE_ALL);
        Fill(buffer, {Instance{}});
        for (size_t i = 0; i < r3d::FindModelData(model)->meshes.size(); ++i) {
            if (r3d::FindModelData(model)->meshes[i].positions.size() > 65535) std::fprintf(stderr, "mesh %zu too large for raylib\n", i);
            meshes.push_back(ToRaylibMesh(model, i));
            const int material = r3d::FindModelData(model)->meshes[i].material;
            const float* c = r3d::FindModelData(model)->materials[material].baseColor;
            colors.push_back(ColorFromNormalized({c[0], c[1], c[2], c[3]}));
        }
        camera.position = {-2.0f, 0.6f, -5.0f};
        camera.up = {0.0f, 1.0f, 0.0f};
        camera.fovy = 70.0f;
        camera.projection = CAMERA_PERSPECTIVE;
        // As the game's init sets it up.
        flashlight = R3D_CreateLight(R3D_LIGHT_SPOT);
        R3D_SetLightActive(flashlight, false);
        R3D_SetLightRange(flashlight, 32.0f);
        R3D_SetLightSpecular(flashlight, 0.0f);
        R3D_SetLightEnergy(flashlight, 8.0f);
        R3D_SetLightColor(flashlight, Color{255, 255, 221, 255});
        R3D_SetShadowUpdateMode(flashlight, R3D_SHADOW_UPDATE_CONTINUOUS);
    }
    // The walker looks around: camera and flashlight turn every frame.
    void Turn() {
        const float yaw = 0.3f * std::sin(0.5f * static_cast<float>(frame++));
        const Vector3 look = Vector3Normalize({std::sin(yaw), -0.2f, std::cos(yaw)});
        camera.target = Vector3Add(camera.position, look);
        R3D_SetLightPosition(flashlight, camera.position);
        R3D_SetLightDirection(flashlight, look);
    }
};

Level& TheLevel() {
    static Level level;
    return level;
}

double levelR3dMs = 0.0, levelRaylibMs = 0.0, levelEnvironmentMs = 0.0;

void BM_Level_R3D_ShadowedFlashlight(benchmark::State& state) {
    Level& l = TheLevel();
    R3D_SetLightActive(TheScene().spot, false);  // the flashlight alone
    R3D_SetLightActive(l.flashlight, true);
    R3D_EnableShadow(l.flashlight);
    const double ms = TimeFrames(state, [&] {
        l.Turn();
        BeginDrawing();
        R3D_Begin(l.camera);
        R3D_DrawModelInstanced(l.model, l.buffer, 1);
        R3D_End();
        DrawFPS(10, 10);
        EndDrawing();
    });
    R3D_SetLightActive(l.flashlight, false);
    R3D_SetLightActive(TheScene().spot, true);
    levelR3dMs = KeepFastest(levelR3dMs, ms);
}

// The same frame with the whole environment on: a dusk sky, its light, fog, ambient
// occlusion and bloom (the walker's settings).
void BM_Level_R3D_ShadowedFlashlight_Environment(benchmark::State& state) {
    Level& l = TheLevel();
    R3D_SetLightActive(TheScene().spot, false);
    R3D_SetLightActive(l.flashlight, true);
    R3D_EnableShadow(l.flashlight);
    // VANTOR_ENVIRONMENT=sky,light,fog,occlusion,bloom picks some of them (all by default).
    const char* only = std::getenv("VANTOR_ENVIRONMENT");
    auto on = [only](const char* what) { return only == nullptr || std::strstr(only, what) != nullptr; };
    R3D_SetSkyColors(Color{40, 50, 90, 255}, Color{200, 120, 80, 255}, Color{30, 28, 30, 255});
    R3D_SetSkyLight(on("light") ? 0.6f : 0.0f);
    R3D_SetFog(Color{90, 80, 90, 255}, on("fog") ? 0.02f : 0.0f, 0.1f);
    R3D_SetAmbientOcclusion(on("occlusion") ? 0.8f : 0.0f, 1.0f);
    R3D_SetBloom(on("bloom") ? 0.6f : 0.0f, 1.0f);
    const double ms = TimeFrames(state, [&] {
        l.Turn();
        BeginDrawing();
        R3D_Begin(l.camera);
        R3D_DrawModelInstanced(l.model, l.buffer, 1);
        R3D_End();
        DrawFPS(10, 10);
        EndDrawing();
    });
    R3D_SetSkyLight(0.0f);
    R3D_SetFog(BLACK, 0.0f, 0.0f);
    R3D_SetAmbientOcclusion(0.0f, 0.0f);
    R3D_SetBloom(0.0f, 0.0f);
    R3D_SetLightActive(l.flashlight, false);
    R3D_SetLightActive(TheScene().spot, true);
    levelEnvironmentMs = KeepFastest(levelEnvironmentMs, ms);
}

// Our level frame taken apart: with the flashlight unshadowed, with its map drawn once
// and kept (nothing moves), and with nothing but the clear and the swap.
enum class LevelCase { Unshadowed, StillShadow, Empty };

void LevelPart(benchmark::State& state, LevelCase part) {
    Level& l = TheLevel();
    R3D_SetLightActive(TheScene().spot, false);
    R3D_SetLightActive(l.flashlight, part != LevelCase::Empty);
    if (part == LevelCase::Unshadowed) R3D_DisableShadow(l.flashlight);
    else R3D_EnableShadow(l.flashlight);
    TimeFrames(state, [&] {
        if (part == LevelCase::Unshadowed) l.Turn();
        BeginDrawing();
        R3D_Begin(l.camera);
        if (part != LevelCase::Empty) R3D_DrawModelInstanced(l.model, l.buffer, 1);
        R3D_End();
        DrawFPS(10, 10);
        EndDrawing();
    });
    R3D_SetLightActive(l.flashlight, false);
    R3D_SetLightActive(TheScene().spot, true);
}
void BM_Level_R3D_UnshadowedFlashlight(benchmark::State& state) { LevelPart(state, LevelCase::Unshadowed); }
void BM_Level_R3D_StillShadowedFlashlight(benchmark::State& state) { LevelPart(state, LevelCase::StillShadow); }
void BM_Level_R3D_EmptyFrame(benchmark::State& state) { LevelPart(state, LevelCase::Empty); }

double levelRaylibShadowMs = 0.0;

void BM_Level_Raylib_ShadowMap(benchmark::State& state) {
    Level& l = TheLevel();
    static const RaylibLight lit = [] {
        RaylibLight light;
        light.shader = LoadShaderFromMemory(kRaylibVs, kRaylibShadowedFs.c_str());
        light.shader.locs[SHADER_LOC_MATRIX_MVP] = GetShaderLocation(light.shader, "mvp");
        light.shader.locs[SHADER_LOC_MAP_METALNESS] = GetShaderLocation(light.shader, "shadowMap");
        light.material.shader = light.shader;
        light.position = GetShaderLocation(light.shader, "lightPosition");
        light.direction = GetShaderLocation(light.shader, "lightDirection");
        light.radiance = GetShaderLocation(light.shader, "lightRadiance");
        light.params = GetShaderLocation(light.shader, "lightParams");
        light.view = GetShaderLocation(light.shader, "viewPosition");
        return light;
    }();
    static Material depthMaterial = [] {
        Material m = LoadMaterialDefault();
        m.shader = LoadShaderFromMemory(kRaylibDepthVs, kRaylibDepthFs);
        m.shader.locs[SHADER_LOC_MATRIX_MVP] = GetShaderLocation(m.shader, "mvp");
        return m;
    }();
    static RenderTexture2D map = [] {
        RenderTexture2D target{};
        target.id = rlLoadFramebuffer();
        target.texture.width = target.texture.height = 1024;
        target.depth.id = rlLoadTextureDepth(1024, 1024, false);
        target.depth.width = target.depth.height = 1024;
        target.depth.format = 19;  // DEPTH_COMPONENT_24BIT
        target.depth.mipmaps = 1;
        rlFramebufferAttach(target.id, target.depth.id, RL_ATTACHMENT_DEPTH, RL_ATTACHMENT_TEXTURE2D, 0);
        return target;
    }();
    static const int lightViewProjLoc = GetShaderLocation(lit.shader, "lightViewProj");
    Material material = lit.material;
    material.maps[MATERIAL_MAP_METALNESS].texture = map.depth;
    const Matrix identity = MatrixIdentity();
    const double ms = TimeFrames(state, [&] {
        l.Turn();
        BeginDrawing();
        // The flashlight's view of the level.
        Camera3D eye{};
        eye.position = R3D_GetLightPosition(l.flashlight);
        eye.target = Vector3Add(eye.position, R3D_GetLightDirection(l.flashlight));
        eye.up = {0.0f, 1.0f, 0.0f};
        eye.fovy = 2.0f * (R3D_GetLightOuterCutOff(l.flashlight) + 2.0f);
        eye.projection = CAMERA_PERSPECTIVE;
        BeginTextureMode(map);
        rlClearScreenBuffers();
        BeginMode3D(eye);
        const Matrix lightViewProj = MatrixMultiply(rlGetMatrixModelview(), rlGetMatrixProjection());
        for (const Mesh& mesh : l.meshes) DrawMeshInstanced(mesh, depthMaterial, &identity, 1);
        EndMode3D();
        EndTextureMode();

        ClearBackground(Color{24, 26, 32, 255});
        BeginMode3D(l.camera);
        lit.Set(l.flashlight, l.camera.position);
        SetShaderValueMatrix(lit.shader, lightViewProjLoc, lightViewProj);
        for (size_t i = 0; i < l.meshes.size(); ++i) {
            material.maps[MATERIAL_MAP_DIFFUSE].color = l.colors[i];
            DrawMeshInstanced(l.meshes[i], material, &identity, 1);
        }
        EndMode3D();
        DrawFPS(10, 10);
        EndDrawing();
    });
    levelRaylibShadowMs = KeepFastest(levelRaylibShadowMs, ms);
}

void BM_Level_Raylib_UnshadowedFlashlight(benchmark::State& state) {
    Level& l = TheLevel();
    const RaylibLight& light = TheRaylibLight();
    Material material = light.material;
    const Matrix identity = MatrixIdentity();
    const double ms = TimeFrames(state, [&] {
        l.Turn();
        BeginDrawing();
        ClearBackground(Color{24, 26, 32, 255});
        BeginMode3D(l.camera);
        light.Set(l.flashlight, l.camera.position);
        for (size_t i = 0; i < l.meshes.size(); ++i) {
            material.maps[MATERIAL_MAP_DIFFUSE].color = l.colors[i];
            DrawMeshInstanced(l.meshes[i], material, &identity, 1);  // the shader places by instance
        }
        EndMode3D();
        DrawFPS(10, 10);
        EndDrawing();
    });
    material.maps[MATERIAL_MAP_DIFFUSE].color = WHITE;
    levelRaylibMs = KeepFastest(levelRaylibMs, ms);
}

// Where a frame's time goes, pass by pass (R3D_SetPassTiming): the median over 24 frames of
// the level with its flashlight turning, and of the sphere field with its light moving.
void PrintPassProfile() {
    auto median = [](std::vector<float> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    auto profile = [&](const char* what, const std::function<void(int)>& frame) {
        std::vector<float> shadow, scene, total;
        R3D_SetPassTiming(true);
        for (int i = 0; i < 24; ++i) {
            const double t0 = GetTime();
            frame(i);
            total.push_back(static_cast<float>((GetTime() - t0) * 1000.0));
            shadow.push_back(R3D_GetFrameStats().shadowMs);
            scene.push_back(R3D_GetFrameStats().sceneMs);
        }
        R3D_SetPassTiming(false);
        std::printf("%s, pass by pass (median of 24 timed frames): shadow maps %.1f ms, lit pass %.1f ms, whole frame %.1f ms\n",
                    what, median(shadow), median(scene), median(total));
    };
    Level& l = TheLevel();
    Scene& s = TheScene();
    R3D_SetLightActive(s.spot, false);
    R3D_SetLightActive(l.flashlight, true);
    R3D_EnableShadow(l.flashlight);
    const auto levelFrame = [&](int) {
        l.Turn();
        BeginDrawing();
        R3D_Begin(l.camera);
        R3D_DrawModelInstanced(l.model, l.buffer, 1);
        R3D_End();
        EndDrawing();
    };
    profile("level, flashlight shadowed and moving", levelFrame);
    R3D_DisableShadow(l.flashlight);
    profile("level, flashlight unshadowed", levelFrame);
    R3D_SetLightActive(l.flashlight, false);
    R3D_SetLightActive(s.spot, true);
    profile("sphere field, shadowed spot moving", [&](int i) {
        R3D_SetLightPosition(s.spot, {0.01f * (i % 2), s.lightPosition.y, 0.0f});
        BeginDrawing();
        R3D_Begin(s.camera);
        R3D_DrawModelInstanced(s.ground, s.groundBuffer, 1);
        R3D_DrawModelInstanced(s.model, s.buffer, kInstances);
        R3D_End();
        EndDrawing();
    });
    R3D_SetLightPosition(s.spot, s.lightPosition);
}

}  // namespace

double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// A level frame takes about a tenth of a second per repetition: more of them give the
// fastest a fairer chance on a shared machine, for both sides alike.
constexpr int kLevelRepetitions = 9;

BENCHMARK(BM_Raylib_DrawMeshInstanced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4)->Repetitions(3)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_R3D_ShadowedSpot_StaticScene)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4)->Repetitions(3)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_R3D_ShadowedSpot_MovingLight)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4)->Repetitions(3)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_R3D_UnshadowedSpot)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4)->Repetitions(3)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Level_Raylib_UnshadowedFlashlight)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8)->Repetitions(kLevelRepetitions)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Level_R3D_ShadowedFlashlight)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8)->Repetitions(kLevelRepetitions)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Level_R3D_ShadowedFlashlight_Environment)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8)->Repetitions(kLevelRepetitions)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Level_Raylib_ShadowMap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8)->Repetitions(kLevelRepetitions)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Level_R3D_UnshadowedFlashlight)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8)->Repetitions(kLevelRepetitions)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Level_R3D_StillShadowedFlashlight)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8)->Repetitions(kLevelRepetitions)->ComputeStatistics("min", Fastest);
BENCHMARK(BM_Level_R3D_EmptyFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8)->Repetitions(kLevelRepetitions)->ComputeStatistics("min", Fastest);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TheScene();
    // A few frames first, so shader compilation and first uploads are not timed.
    R3D_FrameStats stats{};
    for (int i = 0; i < 2; ++i) {
        BeginDrawing();
        R3D_Begin(TheScene().camera);
        R3D_DrawModelInstanced(TheScene().ground, TheScene().groundBuffer, 1);
        R3D_DrawModelInstanced(TheScene().model, TheScene().buffer, kInstances);
        R3D_End();
        EndDrawing();
        if (i == 0) stats = R3D_GetFrameStats();
    }
    std::printf("one frame (shadow map redrawn): camera %lld triangles in %d draws, shadow map %lld triangles in %d draws\n",
                stats.camera.triangles, stats.camera.drawCalls, stats.shadows.triangles, stats.shadows.drawCalls);
    for (int level = 0; level < R3D_GetModelLodCount(TheScene().model); ++level) {
        std::printf("  level %d (%d triangles): %d instances in the camera, %d in the shadow map\n", level,
                    R3D_GetModelLodTriangles(TheScene().model, level), stats.camera.levelInstances[level],
                    stats.shadows.levelInstances[level]);
    }
    benchmark::RunSpecifiedBenchmarks();
    if (std::getenv("VANTOR_PASS_PROFILE") != nullptr) PrintPassProfile();
    if (raylibMs > 0.0) {
        std::printf("raylib DrawMeshInstanced, same light, no shadows: %.1f ms/frame (fastest repetition)\n", raylibMs);
        if (r3dStaticMs > 0.0) {
            std::printf("r3d, shadowed spot, static scene:  %.1f ms/frame, ratio %.2f\n", r3dStaticMs, r3dStaticMs / raylibMs);
        }
        if (r3dMovingMs > 0.0) {
            std::printf("r3d, shadowed spot, moving light:  %.1f ms/frame, ratio %.2f\n", r3dMovingMs, r3dMovingMs / raylibMs);
        }
    }
    if (levelRaylibMs > 0.0 && levelR3dMs > 0.0) {
        std::printf("level, raylib DrawMesh, flashlight unshadowed: %.1f ms/frame\n", levelRaylibMs);
        std::printf("level, r3d, flashlight shadowed and moving:  %.1f ms/frame, ratio %.2f\n", levelR3dMs,
                    levelR3dMs / levelRaylibMs);
        if (levelEnvironmentMs > 0.0) {
            std::printf("level, r3d, the same with sky, sky light, fog, occlusion and bloom: %.1f ms/frame, %.2fx without\n",
                        levelEnvironmentMs, levelEnvironmentMs / levelR3dMs);
        }
        if (levelRaylibShadowMs > 0.0) {
            std::printf("level, raylib with its 1024x1024 shadow map and 3x3 PCF: %.1f ms/frame; r3d is %.2fx it\n",
                        levelRaylibShadowMs, levelR3dMs / levelRaylibShadowMs);
        }
    }
    benchmark::Shutdown();
    return 0;
}
