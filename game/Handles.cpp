// The object handles: each method is one host entry called with the handle's
// id (or, for transforms, the address of the variable slot holding it).
#include <vantor/Call.h>
#include <vantor/Game.h>

using Game::Bridge::Call;
using Game::Bridge::Invoke;
using Game::Bridge::Lookup;

namespace Game {

namespace {

// A transform entry takes the slot address of the transform, not the id. The
// entry is looked up first, then the slot is fetched ("Instance.Get", a host
// call of its own), then the entry is called: two host calls per method.
template <class R, class... A>
R TransformCall(Instance& self, const char* entry, const char* slot, A&&... args) {
    auto& callable = Lookup<R>(entry);
    std::any* handle = self.Get(slot);
    return Invoke<R>(callable, entry, handle, std::forward<A>(args)...);
}

// Creates a host instance of the type ("CFrame", "Model", "Light" or "Sound") and
// yields its id.
template <class... A>
int New(A&&... args) {
    return Call<int>("Instance.New", std::forward<A>(args)...);
}

}  // namespace

Instance::Instance(int id) : Id(id) {}

void Instance::SetName(std::string name) { Call<void>("Instance.SetName", Id, std::move(name)); }
void Instance::SetParent(const Instance& parent) { Call<void>("Instance.SetParent", Id, parent.Id); }

std::any* Instance::Get(std::string name) { return Call<std::any*>("Instance.Get", Id, std::move(name)); }

template <class T>
T Instance::GetChild(std::string name) {
    return T(Call<int>("Instance.GetChild", Id, std::move(name)));
}
template CFrame Instance::GetChild<CFrame>(std::string);
template Model Instance::GetChild<Model>(std::string);
template Light Instance::GetChild<Light>(std::string);
template Sound Instance::GetChild<Sound>(std::string);
template Character Instance::GetChild<Character>(std::string);

// -- CFrame: its transform is the variable "Value" -------------------------------
CFrame::CFrame() { Id = New(std::string("CFrame")); }
CFrame::CFrame(int id) : Instance(id) {}

List CFrame::LookVector() { return TransformCall<List>(*this, "CFrame.LookVector", "Value"); }
List CFrame::RightVector() { return TransformCall<List>(*this, "CFrame.RightVector", "Value"); }
List CFrame::UpVector() { return TransformCall<List>(*this, "CFrame.UpVector", "Value"); }
List CFrame::Position() { return TransformCall<List>(*this, "CFrame.Position", "Value"); }
void CFrame::MoveBy(List offset) { TransformCall<void>(*this, "CFrame.MoveBy", "Value", std::move(offset)); }
void CFrame::MoveTo(List position) { TransformCall<void>(*this, "CFrame.MoveTo", "Value", std::move(position)); }
void CFrame::RotateTo(List eulerRadians) { TransformCall<void>(*this, "CFrame.RotateTo", "Value", std::move(eulerRadians)); }

// -- Model: its transform is the variable "CFrame" --------------------------------
Model::Model(std::string buffer) { Id = New(std::string("Model"), std::move(buffer)); }
Model::Model(int id) : Instance(id) {}

void Model::MoveTo(List position) { TransformCall<void>(*this, "CFrame.MoveTo", "CFrame", std::move(position)); }
void Model::RotateTo(List eulerRadians) {
    TransformCall<void>(*this, "CFrame.RotateTo", "CFrame", std::move(eulerRadians));
}
void Model::SetScale(List scale) { Call<void>("Model.SetScale", Id, std::move(scale)); }
void Model::SetColor(int rgba) { Call<void>("Model.SetColor", Id, rgba); }
void Model::PlayAnimation(std::string clip, bool loop) { Call<void>("Model.PlayAnimation", Id, std::move(clip), loop); }
void Model::CrossFade(std::string clip, float seconds) { Call<void>("Model.CrossFade", Id, std::move(clip), seconds); }
void Model::StopAnimation() { Call<void>("Model.StopAnimation", Id); }
void Model::SetAnimationTime(float seconds) { Call<void>("Model.SetAnimationTime", Id, seconds); }
float Model::GetAnimationTime() { return Call<float>("Model.GetAnimationTime", Id); }
void Model::SetAnimationSpeed(float speed) { Call<void>("Model.SetAnimationSpeed", Id, speed); }
std::string Model::GetAnimation() { return Call<std::string>("Model.GetAnimation", Id); }
List Model::GetJointPosition(std::string joint) { return Call<List>("Model.GetJointPosition", Id, std::move(joint)); }
void Model::SetBody(std::string kind, std::string shape, float mass) {
    Call<void>("Model.SetBody", Id, std::move(kind), std::move(shape), mass);
}
void Model::RemoveBody() { Call<void>("Model.RemoveBody", Id); }
bool Model::HasBody() { return Call<bool>("Model.HasBody", Id); }
List Model::GetVelocity() { return Call<List>("Model.GetVelocity", Id); }
void Model::SetVelocity(List velocity) { Call<void>("Model.SetVelocity", Id, std::move(velocity)); }
List Model::GetAngularVelocity() { return Call<List>("Model.GetAngularVelocity", Id); }
void Model::SetAngularVelocity(List radiansPerSecond) { Call<void>("Model.SetAngularVelocity", Id, std::move(radiansPerSecond)); }
void Model::ApplyImpulse(List impulse) { Call<void>("Model.ApplyImpulse", Id, std::move(impulse)); }
void Model::ApplyForce(List force) { Call<void>("Model.ApplyForce", Id, std::move(force)); }
void Model::ApplyTorque(List torque) { Call<void>("Model.ApplyTorque", Id, std::move(torque)); }
void Model::SetFriction(float friction) { Call<void>("Model.SetFriction", Id, friction); }
void Model::SetRestitution(float restitution) { Call<void>("Model.SetRestitution", Id, restitution); }
void Model::SetDamping(float linear, float angular) { Call<void>("Model.SetDamping", Id, linear, angular); }
void Model::SetGravityEnabled(bool enabled) { Call<void>("Model.SetGravityEnabled", Id, enabled); }
void Model::SetTrigger(bool trigger) { Call<void>("Model.SetTrigger", Id, trigger); }
void Model::SetCollisionLayer(int layer, int mask) { Call<void>("Model.SetCollisionLayer", Id, layer, mask); }

// -- Character: a capsule of the host's physics ----------------------------------
Character::Character(float radius, float height) { Id = New(std::string("Character"), radius, height); }
Character::Character(int id) : Instance(id) {}

void Character::SetPosition(List foot) { Call<void>("Character.SetPosition", Id, std::move(foot)); }
void Character::Move(List velocity) { Call<void>("Character.Move", Id, std::move(velocity)); }
List Character::GetPosition() { return Call<List>("Character.GetPosition", Id); }
bool Character::IsOnGround() { return Call<bool>("Character.IsOnGround", Id); }
List Character::GetVelocity() { return Call<List>("Character.GetVelocity", Id); }
void Character::SetStepHeight(float height) { Call<void>("Character.SetStepHeight", Id, height); }
void Character::SetMaxSlope(float degrees) { Call<void>("Character.SetMaxSlope", Id, degrees); }

// -- Light ------------------------------------------------------------------------
Light::Light(std::string kind) { Id = New(std::string("Light"), std::move(kind)); }
Light::Light(int id) : Instance(id) {}

void Light::SetState(bool on) { Call<void>("Light.SetState", Id, on); }
void Light::SetColor(int rgba) { Call<void>("Light.SetColor", Id, rgba); }
void Light::SetPosition(List position) { Call<void>("Light.SetPosition", Id, std::move(position)); }
void Light::SetDirection(List direction) { Call<void>("Light.SetDirection", Id, std::move(direction)); }
void Light::SetEnergy(float energy) { Call<void>("Light.SetEnergy", Id, energy); }
void Light::SetSpecular(float specular) { Call<void>("Light.SetSpecular", Id, specular); }
void Light::SetRange(float range) { Call<void>("Light.SetRange", Id, range); }
void Light::EnableShadow() { Call<void>("Light.EnableShadow", Id); }
void Light::SetShadowUpdateMode(std::string mode) { Call<void>("Light.SetShadowUpdateMode", Id, std::move(mode)); }

// -- Sound: a placed sound of a loaded one -----------------------------------------
Sound::Sound(std::string sound) { Id = New(std::string("Sound"), std::move(sound)); }
Sound::Sound(int id) : Instance(id) {}

void Sound::Play() { Call<void>("Sound.Play", Id); }
void Sound::Stop() { Call<void>("Sound.Stop", Id); }
bool Sound::IsPlaying() { return Call<bool>("Sound.IsPlaying", Id); }
void Sound::SetPosition(List position) { Call<void>("Sound.SetPosition", Id, std::move(position)); }
List Sound::GetPosition() { return Call<List>("Sound.GetPosition", Id); }
void Sound::SetRange(float nearDistance, float farDistance) { Call<void>("Sound.SetRange", Id, nearDistance, farDistance); }
void Sound::SetVolume(float volume) { Call<void>("Sound.SetVolume", Id, volume); }
void Sound::SetPitch(float pitch) { Call<void>("Sound.SetPitch", Id, pitch); }
void Sound::SetLooping(bool looping) { Call<void>("Sound.SetLooping", Id, looping); }

// -- Ray test: the host answers [hit, distance, point, normal] ----------------------
RaycastSingle::RaycastSingle(Model model, List start, List direction) {
    std::vector<std::any> answer = Call<std::vector<std::any>>("RaycastSingle", model.Id, std::move(start), std::move(direction));
    hit = std::any_cast<bool>(answer.at(0));
    distance = std::any_cast<float>(answer.at(1));
    point = std::any_cast<List>(answer.at(2));
    normal = std::any_cast<List>(answer.at(3));
}

// -- Physics queries: the host answers [hit, distance, point, normal, id] -----------
namespace {
PhysicsHit ReadHit(const std::vector<std::any>& answer) {
    PhysicsHit h;
    h.hit = std::any_cast<bool>(answer.at(0));
    h.distance = std::any_cast<float>(answer.at(1));
    h.point = std::any_cast<List>(answer.at(2));
    h.normal = std::any_cast<List>(answer.at(3));
    h.id = std::any_cast<int>(answer.at(4));
    return h;
}
using Answer = std::vector<std::any>;
}  // namespace

PhysicsHit PhysicsRaycast(List origin, List direction, float maxDistance) {
    return ReadHit(Call<Answer>("PhysicsRaycast", std::move(origin), std::move(direction), maxDistance));
}
PhysicsHit PhysicsRaycastLayers(List origin, List direction, float maxDistance, int mask) {
    return ReadHit(Call<Answer>("PhysicsRaycastLayers", std::move(origin), std::move(direction), maxDistance, mask));
}
PhysicsHit PhysicsSweepSphere(List from, List to, float radius) {
    return ReadHit(Call<Answer>("PhysicsSweepSphere", std::move(from), std::move(to), radius));
}
PhysicsHit PhysicsSweepCapsule(List from, List to, float radius, float height) {
    return ReadHit(Call<Answer>("PhysicsSweepCapsule", std::move(from), std::move(to), radius, height));
}

std::vector<PhysicsEvent> GetPhysicsEvents() {
    std::vector<PhysicsEvent> out;
    for (const std::any& item : Call<Answer>("GetPhysicsEvents")) {
        const Answer& e = std::any_cast<const Answer&>(item);
        out.push_back({std::any_cast<std::string>(e.at(0)), std::any_cast<int>(e.at(1)), std::any_cast<int>(e.at(2)),
                       std::any_cast<float>(e.at(3)), std::any_cast<List>(e.at(4)), std::any_cast<List>(e.at(5))});
    }
    return out;
}

}  // namespace Game
