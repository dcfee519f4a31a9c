// "Particles" instances: each owns an emitter of the renderer, placed once a frame
// where its parent is (when that is a Model or a CFrame), stepped by the frame's time
// and queued for drawing with the scene.
#include "CFrame.h"
#include "Instance.h"
#include "Lookup.h"
#include "World.h"
#include "base/Numbers.h"
#include "raymath.h"

namespace World::Particles {

std::unordered_set<int> Emitters;

R3D_Particles EmitterOf(int id) {
    const int* emitter = Api::FindVariable<int>(id, "Particle Emitter");
    if (!emitter) throw Api::NotA(id, "Particles");
    return *emitter;
}

void Place(int id) {
    const int* emitter = Api::FindVariable<int>(id, "Particle Emitter");
    const Vector3* position = Api::FindVariable<Vector3>(id, "Position");
    const std::string* texture = Api::FindVariable<std::string>(id, "Texture");
    if (!emitter || !position || !texture) return;
    Vector3 at = *position;
    Quaternion turn = QuaternionIdentity();
    if (const CFrame* frame = ParentFrame(Instances.find(id)->second)) {
        at = Vector3Add(frame->Position, Vector3RotateByQuaternion(at, frame->Rotation));
        turn = frame->Rotation;
    }
    // A parent moved to where no number reaches places nothing (the renderer would warn every frame).
    if (base::FiniteVector(at) && base::FiniteVector(turn)) R3D_SetParticlesTransform(*emitter, at, turn);
    // By name each time: an image the game unloaded (its texture gone with it) draws the dot.
    auto image = texture->empty() ? Screen::Images.end() : Screen::Images.find(*texture);
    R3D_SetParticlesTexture(*emitter, image == Screen::Images.end() ? 0u : S2D_GetImageTexture(image->second));
}

void Step(float seconds) {
    for (int id : Emitters) Place(id);
    R3D_UpdateParticles(seconds);
}

void Draw() {
    for (int id : Emitters) {
        if (const int* emitter = Api::FindVariable<int>(id, "Particle Emitter")) R3D_DrawParticles(*emitter);
    }
}

}  // namespace World::Particles
