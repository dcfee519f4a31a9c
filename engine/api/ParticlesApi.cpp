// Particles entries: "Particles." calls on emitters (instances of the kind "Particles").
// Each checks its numbers here, so a bad one stops at the entry with its name and
// position, and forwards to the renderer (r3d.h), which steps and draws the emitter.
#include <cstdio>
#include <string>

#include "Catalog.h"
#include "Lookup.h"
#include "World.h"
#include "base/Numbers.h"
#include "r3d.h"

namespace World::Api {
namespace {

using Particles::EmitterOf;

// A number as a message shows it: 0.1 rather than 0.100000.
std::string Shown(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

float NonNegative(float value, int position, const char* what) {
    if (!base::Finite(value) || value < 0.0f)
        throw BadValue("argument " + std::to_string(position) + " (" + what + ") " + Shown(value) +
                       " is not a finite number of 0 or more");
    return value;
}

Vector3 FiniteVector(Vector3 v, int position, const char* what) {
    if (!base::FiniteVector(v))
        throw BadValue("argument " + std::to_string(position) + " (" + what + ") is not a finite vector");
    return v;
}

// Kept on the instance (an offset when it follows a parent) and handed on at once, so a
// burst right after the move comes from the new place.
void SetPosition(int id, Vector3 position) {
    EmitterOf(id);
    FiniteVector(position, 1, "position");
    VariableOf<Vector3>(id, "Position", "position") = position;
    Particles::Place(id);
}

void SetRate(int id, float perSecond) { R3D_SetParticlesRate(EmitterOf(id), NonNegative(perSecond, 1, "per second")); }

// Born where the emitter is now: its parent may have moved since the frame began.
void Burst(int id, int count) {
    const R3D_Particles emitter = EmitterOf(id);
    if (count < 0) throw BadValue("argument 1 (count) " + std::to_string(count) + " is not 0 or more");
    Particles::Place(id);
    R3D_BurstParticles(emitter, count);
}

void SetLifetime(int id, float shortest, float longest) {
    const R3D_Particles emitter = EmitterOf(id);
    R3D_SetParticlesLifetime(emitter, NonNegative(shortest, 1, "shortest"), NonNegative(longest, 2, "longest"));
}

void SetVelocity(int id, Vector3 velocity, float spread) {
    const R3D_Particles emitter = EmitterOf(id);
    FiniteVector(velocity, 1, "velocity");
    if (!base::InRange(spread, 0.0f, 180.0f))
        throw BadValue("argument 2 (spread) " + Shown(spread) + " is not between 0 and 180 degrees");
    R3D_SetParticlesVelocity(emitter, velocity, spread);
}

void SetGravity(int id, Vector3 gravity) { R3D_SetParticlesGravity(EmitterOf(id), FiniteVector(gravity, 1, "gravity")); }

void SetColors(int id, Color birth, Color death) { R3D_SetParticlesColors(EmitterOf(id), birth, death); }

void SetSizes(int id, float birth, float death) {
    const R3D_Particles emitter = EmitterOf(id);
    R3D_SetParticlesSizes(emitter, NonNegative(birth, 1, "size at birth"), NonNegative(death, 2, "size at death"));
}

// The name is kept and looked up once a frame (Particles::Place), as images can be
// unloaded; one never loaded stops the game here, as every entry naming an image does.
void SetTexture(int id, std::string image) {
    EmitterOf(id);
    if (!image.empty()) Screen::ImageNamed("Particles.SetTexture", image);
    VariableOf<std::string>(id, "Texture", "texture") = std::move(image);
    Particles::Place(id);
}

void SetBlend(int id, std::string blend) {
    const R3D_Particles emitter = EmitterOf(id);
    if (blend != "Alpha" && blend != "Additive")
        throw BadValue("argument 1 (blend) \"" + blend + "\" is not \"Alpha\" or \"Additive\"");
    R3D_SetParticlesBlend(emitter, blend == "Alpha" ? R3D_PARTICLES_ALPHA : R3D_PARTICLES_ADDITIVE);
}

int GetCount(int id) { return R3D_GetParticlesCount(EmitterOf(id)); }

}  // namespace

void AddParticlesEntries(Catalog& c) {
    const char* id = "id of a Particles instance";
    c.push_back(Func("Particles.SetPosition", SetPosition,
        "Sets where particles are born: in the world, or relative to its parent when that is a Model or a CFrame, "
        "which it then follows (turning the velocity with it); once born, particles keep to the world.",
        {id, "position"}));
    c.push_back(Func("Particles.SetRate", SetRate,
        "Particles born a second, spread evenly over each frame (0, the start, stops the stream).",
        {id, "per second"}));
    c.push_back(Func("Particles.Burst", Burst,
        "That many particles born at once, as many as there is room for.",
        {id, "count"}));
    c.push_back(Func("Particles.SetLifetime", SetLifetime,
        "Each particle lives a time picked between the two, in seconds (1 and 1 at the start).",
        {id, "shortest", "longest"}));
    c.push_back(Func("Particles.SetVelocity", SetVelocity,
        "The velocity particles are born with, each turned a random angle of up to the spread away from it "
        "((0, 1, 0) and 15 degrees at the start).",
        {id, "velocity", "spread in degrees, 0 to 180"}));
    c.push_back(Func("Particles.SetGravity", SetGravity,
        "The acceleration every particle falls by ((0, 0, 0) at the start).",
        {id, "gravity"}));
    c.push_back(Func("Particles.SetColors", SetColors,
        "The colour at birth and at death, blended by age (white, then transparent white at the start).",
        {id, "colour at birth", "colour at death"}));
    c.push_back(Func("Particles.SetSizes", SetSizes,
        "How wide a particle is at birth and at death, in metres, blended by age (0.1 and 0.1 at the start).",
        {id, "size at birth", "size at death"}));
    c.push_back(Func("Particles.SetTexture", SetTexture,
        "Draws every particle with an image loaded by \"LoadTexture\", times its colour; \"\" (the start) a soft "
        "round dot.",
        {id, "image name, or \"\""}));
    c.push_back(Func("Particles.SetBlend", SetBlend,
        "\"Alpha\" (the start) blends particles over what lies behind them, the farthest first; \"Additive\" adds "
        "them (fire, sparks, glows).",
        {id, "\"Alpha\" or \"Additive\""}));
    c.push_back(Op("Particles.GetCount", GetCount, "How many particles are alive now.", {id}));
}

}  // namespace World::Api
