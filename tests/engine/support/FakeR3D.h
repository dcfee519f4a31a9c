// A stand-in for the renderer, for unit tests of the engine layer alone: the
// r3d.h calls keep their state in plain memory and log what they were asked,
// so tests can see exactly what the host uploaded, drew and changed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "r3d.h"

namespace FakeR3D {

struct Buffer {
    int capacity = 0;
    int flags = 0;
    std::vector<Vector3> positions;
    std::vector<Quaternion> rotations;
    std::vector<Vector3> scales;
    std::vector<Color> colors;
    std::vector<int> mapped;   // flags passed to each R3D_MapInstances, in order
    std::vector<int> unmapped; // flags passed to each R3D_UnmapInstances
    bool unloaded = false;
};

struct Draw {
    std::string model;  // the path the model was loaded from
    Buffer* buffer;
    int count;
};

struct Light {
    R3D_LightType type = R3D_LIGHT_DIR;
    bool active = false, shadow = false;
    Color color = {255, 255, 255, 255};
    Vector3 position = {0, 0, 0}, direction = {0, -1, 0};
    float energy = 1, specular = 0.5f, range = 10, attenuation = 1, inner = 20, outer = 30;
    float softness = 1, depthBias = 0.01f, slopeBias = 0.02f;
    int mode = R3D_SHADOW_UPDATE_CONTINUOUS, frequency = 16, updates = 0;
    bool destroyed = false;
};

// A particle emitter: what it was last told, and bursts counted as alive (nothing dies here).
struct Emitter {
    int capacity = 0, alive = 0, draws = 0;
    Vector3 position = {0, 0, 0};
    Quaternion rotation = {0, 0, 0, 1};
    unsigned int texture = 0;
    bool destroyed = false;
};

struct Raycast {
    Ray ray;
    std::string model;
    Matrix transform;
};

struct State {
    std::vector<std::string> loaded;    // model paths, in load order
    std::vector<std::string> unloadedModels;
    std::vector<Buffer*> buffers;       // every buffer ever made (kept, so tests can look after unload)
    std::vector<Draw> draws;
    std::map<int, Light> lights;
    std::map<int, Emitter> emitters;
    std::vector<Raycast> raycasts;
    std::vector<R3D_AnimationState> posedRaycasts;  // the pose of each R3D_RaycastModelPose
    RayCollision nextHit = {};          // what R3D_RaycastModel answers
};

State& Get();
void Reset();  // forgets everything (buffers and models stay allocated until exit: the host may still hold them)
std::string ModelPath(const R3D_Model& model);
Buffer* BufferOf(const R3D_InstanceBuffer& buffer);

}  // namespace FakeR3D
