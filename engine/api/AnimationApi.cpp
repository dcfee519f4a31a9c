// Animation entries: the clips of a model buffer, and each "Model" instance's
// playback (clip, time, speed, cross-fade) and joints. Clip and joint names the
// model lacks stop the game with a message naming the entry, the model and the name.
#include <string>
#include <unordered_map>

#include "CFrame.h"
#include "Catalog.h"
#include "Lookup.h"
#include "Messages.h"
#include "World.h"
#include "base/Numbers.h"
#include "raymath.h"

namespace World::Api {

namespace {

// The model of a buffer by name; a name never created is a BadValue naming the entry.
R3D_Model BufferModel(const char* entry, const std::string& buffer) {
    auto it = Buffers::Names.find(buffer);
    if (it == Buffers::Names.end()) throw BadValue(std::string(entry) + ": no model buffer named \"" + buffer + "\" exists");
    return Buffers::Models[it->second];
}

int ClipIndex(const char* entry, R3D_Model model, const std::string& buffer, const std::string& clip) {
    for (int c = 0; c < R3D_GetModelAnimationCount(model); ++c) {
        if (clip == R3D_GetModelAnimationName(model, c)) return c;
    }
    Fail(Fatal::ClipMissing, true, entry, buffer, clip);
    return -1;
}

// The model instance `id`'s player and model.
struct Target {
    int id;
    Animation::Player* player;
    R3D_Model model;
    std::string buffer;
};
Target TargetOf(const Params& params, const char* entry) {
    const int id = Arg<int>(params, 0, entry);
    Target t{id, nullptr, {}, {}};
    try {
        t.model = Animation::ModelOf(id, entry, &t.buffer);
    } catch (const BadValue& bad) {
        const std::string text = bad.what();
        if (text.rfind(entry, 0) == 0) throw;
        throw BadValue(std::string(entry) + ": " + text);
    }
    auto player = Animation::Players.find(id);
    if (player == Animation::Players.end()) throw BadValue(std::string(entry) + ": instance " + std::to_string(id) + " is not a Model");
    t.player = &player->second;
    return t;
}

float RequireFinite(const char* entry, float value, int position, const char* what) {
    if (!base::Finite(value))
        throw BadValue(std::string(entry) + ": argument " + std::to_string(position) + " (" + what + ") is not a finite number");
    return value;
}

std::any GetModelAnimations(const Params& params, const char* entry) {
    const std::string& buffer = Arg<std::string>(params, 0, entry);
    const R3D_Model model = BufferModel(entry, buffer);
    std::unordered_map<std::string, int> clips;
    for (int c = 0; c < R3D_GetModelAnimationCount(model); ++c) clips.emplace(R3D_GetModelAnimationName(model, c), c);
    return Kind<std::unordered_map<std::string, int>>::Write(std::move(clips));
}

std::any GetModelAnimationLength(const Params& params, const char* entry) {
    const std::string& buffer = Arg<std::string>(params, 0, entry);
    const std::string& clip = Arg<std::string>(params, 1, entry);
    const R3D_Model model = BufferModel(entry, buffer);
    return Kind<float>::Write(R3D_GetModelAnimationLength(model, ClipIndex(entry, model, buffer, clip)));
}

void PlayAnimation(const Params& params, const char* entry) {
    const Target t = TargetOf(params, entry);
    const std::string& clip = Arg<std::string>(params, 1, entry);
    const bool loop = Arg<bool>(params, 2, entry);
    const int index = ClipIndex(entry, t.model, t.buffer, clip);
    *t.player = Animation::Player{index, 0.0f, 1.0f, loop};
}

// Fades from what the instance shows now (its clip where it is, or the rest pose) to
// `clip` from its start, keeping speed and looping; 0 seconds switches at once.
void CrossFade(const Params& params, const char* entry) {
    const Target t = TargetOf(params, entry);
    const std::string& clip = Arg<std::string>(params, 1, entry);
    const float seconds = RequireFinite(entry, Arg<float>(params, 2, entry), 2, "fade time");
    const int index = ClipIndex(entry, t.model, t.buffer, clip);
    Animation::Player& p = *t.player;
    p.from = p.clip;
    p.fromTime = p.time;
    p.fromLoop = p.loop;
    p.clip = index;
    p.time = 0.0f;
    p.fadeLength = seconds > 0.0f ? seconds : 0.0f;
    p.faded = 0.0f;
    p.fading = p.fadeLength > 0.0f;  // from the rest pose when nothing played
    if (!p.fading) p.from = -1;
}

void StopAnimation(const Params& params, const char* entry) {
    const Target t = TargetOf(params, entry);
    const float speed = t.player->speed;
    *t.player = Animation::Player{};
    t.player->speed = speed;
}

void SetAnimationTime(const Params& params, const char* entry) {
    const Target t = TargetOf(params, entry);
    const float seconds = RequireFinite(entry, Arg<float>(params, 1, entry), 1, "seconds");
    t.player->time = Animation::Within(seconds, R3D_GetModelAnimationLength(t.model, t.player->clip), t.player->loop);
}

std::any GetAnimationTime(const Params& params, const char* entry) { return Kind<float>::Write(TargetOf(params, entry).player->time); }

std::any GetAnimation(const Params& params, const char* entry) {
    const Target t = TargetOf(params, entry);
    return Kind<std::string>::Write(t.player->clip >= 0 ? R3D_GetModelAnimationName(t.model, t.player->clip) : "");
}

void SetAnimationSpeed(const Params& params, const char* entry) {
    const Target t = TargetOf(params, entry);
    t.player->speed = RequireFinite(entry, Arg<float>(params, 1, entry), 1, "speed");
}

// The joint in the pose drawn, placed as the instance is drawn: scaled, turned, moved.
std::any GetJointPosition(const Params& params, const char* entry) {
    const Target t = TargetOf(params, entry);
    const std::string& name = Arg<std::string>(params, 1, entry);
    const int joint = R3D_FindModelJoint(t.model, name.c_str());
    Fail(Fatal::JointMissing, joint < 0, entry, t.buffer, name);
    const Matrix m = R3D_GetJointTransform(t.model, Animation::State(*t.player), joint);
    const int id = t.id;
    const CFrame& cframe = VariableOf<CFrame>(id, "CFrame", "transform (it is not a Model)");
    const Vector3& scale = VariableOf<Vector3>(id, "Scale", "scale (it is not a Model)");
    const Vector3 local = {m.m12 * scale.x, m.m13 * scale.y, m.m14 * scale.z};
    const Vector3 world = Vector3Add(cframe.Position, Vector3RotateByQuaternion(local, cframe.Rotation));
    return Kind<Vector3>::Write(world);
}

}  // namespace

void AddAnimationEntries(Catalog& c) {
    c.push_back(RawOp<std::unordered_map<std::string, int>, std::string>("GetModelAnimations", GetModelAnimations,
        "The animation clips of a model buffer's file, by name (glTF or FBX; empty for a model without clips).",
        {"model buffer name"}));
    c.push_back(RawOp<float, std::string, std::string>("GetModelAnimationLength", GetModelAnimationLength,
        "A clip's length in seconds. A clip the model lacks stops the game.",
        {"model buffer name", "clip name"}));
    c.push_back(RawFunc<int, std::string, bool>("Model.PlayAnimation", PlayAnimation,
        "Plays a clip on this model instance from time 0 at speed 1, looping or held at its end. Time moves on by "
        "each frame's \"DeltaTime\" before the scene is drawn.",
        {"model instance id", "clip name", "loop"}));
    c.push_back(RawFunc<int, std::string, float>("Model.CrossFade", CrossFade,
        "Blends from the pose shown now to a clip (from its start) over the given seconds; 0 switches at once.",
        {"model instance id", "clip name", "fade time in seconds"}));
    c.push_back(RawFunc<int>("Model.StopAnimation", StopAnimation,
        "Stops the clip: the model is drawn in its rest pose.",
        {"model instance id"}));
    c.push_back(RawFunc<int, float>("Model.SetAnimationTime", SetAnimationTime,
        "Moves the clip to a time in seconds (wrapped when looping, else held within the clip).",
        {"model instance id", "seconds"}));
    c.push_back(RawOp<float, int>("Model.GetAnimationTime", GetAnimationTime,
        "Where the clip is, in seconds.",
        {"model instance id"}));
    c.push_back(RawFunc<int, float>("Model.SetAnimationSpeed", SetAnimationSpeed,
        "How fast the clip plays: 1 as made, 0 holds the pose (a cross-fade under way too), negative plays backwards.",
        {"model instance id", "speed"}));
    c.push_back(RawOp<Vector3, int, std::string>("Model.GetJointPosition", GetJointPosition,
        "Where a named joint is in the world, in the pose drawn (a sword in a hand, a label over a head). A joint the "
        "model lacks stops the game.",
        {"model instance id", "joint name"}));
    c.push_back(RawOp<std::string, int>("Model.GetAnimation", GetAnimation,
        "The clip playing on this instance, \"\" for none.",
        {"model instance id"}));
}

}  // namespace World::Api
