// The object handles: each method is one host entry called with the handle's
// id (or, for transforms, the address of the variable slot holding it).
#include <stdexcept>

#include <vantor/Call.h>
#include <vantor/Game.h>

using Game::Bridge::Call;
using Game::Bridge::Invoke;
using Game::Bridge::Lookup;

namespace Game {

namespace {

// The handle that fits an instance of each kind.
std::string HandleFor(const std::string& type) {
    if (type == "CFrame" || type == "Model" || type == "Light" || type == "Sound" || type == "Character" ||
        type == "Particles")
        return "Game::" + type;
    return "Game::Instance";
}

// A transform method on an instance that keeps no transform under that name: a
// handle of one kind given another kind's id.
[[noreturn]] void WrongKind(Instance& self, const std::string& kind) {
    const std::string type = Call<std::string>("Instance.Type", self.Id);
    const std::string id = std::to_string(self.Id);
    throw std::invalid_argument("Game::" + kind + ": instance " + id + " is " +
                                (type.empty() ? std::string("the scene's root") : "a " + type) + ", not a " + kind +
                                "; its handle is " + HandleFor(type) + "(" + id + ")");
}

// A transform entry takes the slot address of the transform, not the id. The
// entry is looked up first, then the slot is fetched ("Instance.Get", a host
// call of its own), then the entry is called: two host calls per method. A
// slot with nothing in it belongs to an instance of another kind.
template <class R, class... A>
R TransformCall(Instance& self, const char* entry, const char* slot, A&&... args) {
    auto& callable = Lookup<R>(entry);
    std::any* handle = self.Get(slot);
    if (callable && handle && !handle->has_value()) WrongKind(self, slot == std::string("Value") ? "CFrame" : "Model");
    return Invoke<R>(callable, entry, handle, std::forward<A>(args)...);
}

// The host reads rotations in radians and reports them in degrees.
List Radians(List degrees) {
    constexpr double kPi = 3.14159265358979323846;
    for (float& d : degrees) d = static_cast<float>(d * kPi / 180.0);
    return degrees;
}

// Creates a host instance of the type ("CFrame", "Model", "Light", "Sound",
// "Character" or "Particles") and yields its id.
template <class... A>
int New(A&&... args) {
    return Call<int>("Instance.New", std::forward<A>(args)...);
}

}  // namespace

Instance::Instance(int id) : Id(id) {}

void Instance::Destroy() { Call<void>("Instance.Destroy", Id); }
std::string Instance::GetName() { return Call<std::string>("Instance.GetName", Id); }
std::string Instance::Type() { return Call<std::string>("Instance.Type", Id); }
std::unordered_map<std::string, int> Instance::GetChildren() {
    return Call<std::unordered_map<std::string, int>>("Instance.GetChildren", Id);
}

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
template Particles Instance::GetChild<Particles>(std::string);

// -- CFrame: its transform is the variable "Value" -------------------------------
CFrame::CFrame() { Id = New(std::string("CFrame")); }
CFrame::CFrame(int id) : Instance(id) {}

List CFrame::LookVector() { return TransformCall<List>(*this, "CFrame.LookVector", "Value"); }
List CFrame::RightVector() { return TransformCall<List>(*this, "CFrame.RightVector", "Value"); }
List CFrame::UpVector() { return TransformCall<List>(*this, "CFrame.UpVector", "Value"); }
List CFrame::Position() { return TransformCall<List>(*this, "CFrame.Position", "Value"); }
List CFrame::Rotation() { return Radians(TransformCall<List>(*this, "CFrame.Orientation", "Value")); }
void CFrame::MoveBy(List offset) { TransformCall<void>(*this, "CFrame.MoveBy", "Value", std::move(offset)); }
void CFrame::MoveTo(List position) { TransformCall<void>(*this, "CFrame.MoveTo", "Value", std::move(position)); }
void CFrame::RotateTo(List eulerRadians) { TransformCall<void>(*this, "CFrame.RotateTo", "Value", std::move(eulerRadians)); }

// -- Model: its transform is the variable "CFrame" --------------------------------
Model::Model(std::string buffer) { Id = New(std::string("Model"), std::move(buffer)); }
Model::Model(int id) : Instance(id) {}

Model Model::Spawn(std::string buffer, List position) {
    Model model(std::move(buffer));
    model.SetScale({1, 1, 1});
    model.SetColor(Rgba(255, 255, 255));
    model.MoveTo(std::move(position));
    return model;
}

void Model::MoveTo(List position) { TransformCall<void>(*this, "CFrame.MoveTo", "CFrame", std::move(position)); }
void Model::MoveBy(List offset) { TransformCall<void>(*this, "CFrame.MoveBy", "CFrame", std::move(offset)); }
void Model::RotateTo(List eulerRadians) {
    TransformCall<void>(*this, "CFrame.RotateTo", "CFrame", std::move(eulerRadians));
}
List Model::Position() { return TransformCall<List>(*this, "CFrame.Position", "CFrame"); }
List Model::Rotation() { return Radians(TransformCall<List>(*this, "CFrame.Orientation", "CFrame")); }
List Model::LookVector() { return TransformCall<List>(*this, "CFrame.LookVector", "CFrame"); }
List Model::RightVector() { return TransformCall<List>(*this, "CFrame.RightVector", "CFrame"); }
List Model::UpVector() { return TransformCall<List>(*this, "CFrame.UpVector", "CFrame"); }
void Model::SetScale(List scale) { Call<void>("Model.SetScale", Id, std::move(scale)); }
List Model::GetScale() { return Call<List>("Model.GetScale", Id); }
void Model::SetColor(int rgba) { Call<void>("Model.SetColor", Id, rgba); }
int Model::GetColor() { return Call<int>("Model.GetColor", Id); }
std::string Model::GetModel() { return Call<std::string>("Model.GetModel", Id); }
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
void Model::SetReplicated(bool shared) { Call<void>("Model.SetReplicated", Id, shared); }
void Model::SetOwner(int peer) { Call<void>("Model.SetOwner", Id, peer); }
int Model::GetNetworkId() { return Call<int>("Model.GetNetworkId", Id); }
int Model::GetOwner() { return Call<int>("Model.GetOwner", Id); }
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

std::string Light::GetType() { return Call<std::string>("Light.GetType", Id); }
void Light::SetState(bool on) { Call<void>("Light.SetState", Id, on); }
bool Light::IsActive() { return Call<bool>("Light.IsActive", Id); }
void Light::Toggle() { Call<void>("Light.Toggle", Id); }
void Light::SetColor(int rgba) { Call<void>("Light.SetColor", Id, rgba); }
int Light::GetColor() { return Call<int>("Light.GetColor", Id); }
void Light::SetPosition(List position) { Call<void>("Light.SetPosition", Id, std::move(position)); }
List Light::GetPosition() { return Call<List>("Light.GetPosition", Id); }
void Light::SetDirection(List direction) { Call<void>("Light.SetDirection", Id, std::move(direction)); }
List Light::GetDirection() { return Call<List>("Light.GetDirection", Id); }
void Light::SetEnergy(float energy) { Call<void>("Light.SetEnergy", Id, energy); }
float Light::GetEnergy() { return Call<float>("Light.GetEnergy", Id); }
void Light::SetSpecular(float specular) { Call<void>("Light.SetSpecular", Id, specular); }
float Light::GetSpecular() { return Call<float>("Light.GetSpecular", Id); }
void Light::SetRange(float range) { Call<void>("Light.SetRange", Id, range); }
float Light::GetRange() { return Call<float>("Light.GetRange", Id); }
void Light::SetAttenuation(float attenuation) { Call<void>("Light.SetAttenuation", Id, attenuation); }
float Light::GetAttenuation() { return Call<float>("Light.GetAttenuation", Id); }
void Light::SetInnerCutoff(float degrees) { Call<void>("Light.SetInnerCutoff", Id, degrees); }
float Light::GetInnerCutoff() { return Call<float>("Light.GetInnerCutoff", Id); }
void Light::SetOuterCutoff(float degrees) { Call<void>("Light.SetOuterCutoff", Id, degrees); }
float Light::GetOuterCutoff() { return Call<float>("Light.GetOuterCutoff", Id); }
void Light::EnableShadow() { Call<void>("Light.EnableShadow", Id); }
void Light::DisableShadow() { Call<void>("Light.DisableShadow", Id); }
bool Light::IsShadowEnabled() { return Call<bool>("Light.IsShadowEnabled", Id); }
void Light::SetShadowUpdateMode(std::string mode) { Call<void>("Light.SetShadowUpdateMode", Id, std::move(mode)); }
std::string Light::GetShadowUpdateMode() { return Call<std::string>("Light.GetShadowUpdateMode", Id); }
void Light::SetShadowUpdateFrequency(int milliseconds) { Call<void>("Light.SetShadowUpdateFrequency", Id, milliseconds); }
int Light::GetShadowUpdateFrequency() { return Call<int>("Light.GetShadowUpdateFrequency", Id); }
void Light::UpdateShadow() { Call<void>("Light.UpdateShadow", Id); }
void Light::SetSoftness(float softness) { Call<void>("Light.SetSoftness", Id, softness); }
float Light::GetSoftness() { return Call<float>("Light.GetSoftness", Id); }
void Light::SetDepthBias(float bias) { Call<void>("Light.SetDepthBias", Id, bias); }
float Light::GetDepthBias() { return Call<float>("Light.GetDepthBias", Id); }
void Light::SetSlopeBias(float bias) { Call<void>("Light.SetSlopeBias", Id, bias); }
float Light::GetSlopeBias() { return Call<float>("Light.GetSlopeBias", Id); }

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

// -- Particles: an emitter of the host's renderer ------------------------------------
Particles Particles::Create(int mostAlive) { return Particles(New(std::string("Particles"), mostAlive)); }
Particles::Particles(int id) : Instance(id) {}

void Particles::SetPosition(List position) { Call<void>("Particles.SetPosition", Id, std::move(position)); }
void Particles::SetRate(float perSecond) { Call<void>("Particles.SetRate", Id, perSecond); }
void Particles::Burst(int count) { Call<void>("Particles.Burst", Id, count); }
void Particles::SetLifetime(float shortest, float longest) { Call<void>("Particles.SetLifetime", Id, shortest, longest); }
void Particles::SetVelocity(List velocity, float spreadDegrees) {
    Call<void>("Particles.SetVelocity", Id, std::move(velocity), spreadDegrees);
}
void Particles::SetGravity(List gravity) { Call<void>("Particles.SetGravity", Id, std::move(gravity)); }
void Particles::SetColors(int birthRgba, int deathRgba) { Call<void>("Particles.SetColors", Id, birthRgba, deathRgba); }
void Particles::SetSizes(float birth, float death) { Call<void>("Particles.SetSizes", Id, birth, death); }
void Particles::SetTexture(std::string image) { Call<void>("Particles.SetTexture", Id, std::move(image)); }
void Particles::SetBlend(std::string blend) { Call<void>("Particles.SetBlend", Id, std::move(blend)); }
int Particles::GetCount() { return Call<int>("Particles.GetCount", Id); }

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

std::vector<NetMessage> NetReceive() {
    std::vector<NetMessage> out;
    for (const std::any& item : Call<Answer>("NetReceive")) {
        const Answer& m = std::any_cast<const Answer&>(item);
        out.push_back({std::any_cast<int>(m.at(0)), std::any_cast<std::string>(m.at(1)), std::any_cast<std::string>(m.at(2))});
    }
    return out;
}

NetStats NetGetStats(int peer) {
    const Answer s = Call<Answer>("NetGetStats", peer);
    return {std::any_cast<float>(s.at(0)), std::any_cast<float>(s.at(1)), std::any_cast<float>(s.at(2)),
            std::any_cast<float>(s.at(3))};
}

std::vector<std::string> GetArguments() {
    std::vector<std::string> out;
    for (const std::any& item : Call<Answer>("GetArguments")) out.push_back(std::any_cast<std::string>(item));
    return out;
}

}  // namespace Game
