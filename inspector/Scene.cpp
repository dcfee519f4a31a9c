// The scene tab: every instance in a list that only lays out the rows in view,
// and the selected one's values, edited through the paths the entries take.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include <imgui.h>

#include "Instance.h"
#include "Lookup.h"
#include "State.h"
#include "Values.h"
#include "World.h"
#include "a3d.h"
#include "p3d.h"
#include "r3d.h"
#include "raymath.h"

namespace Inspector {
namespace {

using World::Api::FindVariable;
using World::Api::Kind;

struct Rows {
    std::vector<int> ids;
    std::string filter;
    std::size_t count = 0;
    int next = 0;
    int age = 0;
};

bool Contains(const std::string& text, const std::string& lowerPart) {
    if (lowerPart.empty()) return true;
    auto it = std::search(text.begin(), text.end(), lowerPart.begin(), lowerPart.end(),
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return it != text.end();
}

const std::string& ModelName(int id) {
    static const std::string none;
    const std::string* tied = FindVariable<std::string>(id, "Tied Model");
    return tied ? *tied : none;
}

// The list is rebuilt when the scene grew or shrank, the search changed, or every
// half second (names change in place); never per frame for 10,000 rows.
void Refresh(Rows& rows, const std::string& filter) {
    if (rows.count == Instances.size() && rows.next == inst_count && rows.filter == filter && ++rows.age < 30) return;
    rows = Rows{{}, filter, Instances.size(), inst_count, 0};
    std::string lower = filter;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (auto& [id, inst] : Instances) {
        if (!lower.empty() && !Contains(inst.Name, lower) && !Contains(inst.Type, lower) &&
            !Contains(ModelName(id), lower) && std::to_string(id) != lower)
            continue;
        rows.ids.push_back(id);
    }
    std::sort(rows.ids.begin(), rows.ids.end());
}

std::any Vec(Vector3 v) { return Kind<Vector3>::Write(v); }

// One float read by `get` and written by `set`, both entries taking the id first.
void FloatEntry(int id, const char* label, const char* get, const char* set, float speed = 0.05f) {
    std::any value = Call(get, {id});
    if (!value.has_value()) return;
    float v = std::any_cast<float>(value);
    if (ImGui::DragFloat(label, &v, speed)) Call(set, {id, v});
}

void Vec3Entry(int id, const char* label, const char* get, const char* set) {
    std::any value = Call(get, {id});
    if (!value.has_value()) return;
    Vector3 v = Kind<Vector3>::Read(value, get, 0);
    if (ImGui::DragFloat3(label, &v.x, 0.05f)) Call(set, {id, Vec(v)});
}

bool EditColour(const char* label, Color& c) {
    float f[4] = {c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, c.a / 255.0f};
    if (!ImGui::ColorEdit4(label, f)) return false;
    c = ColorFromNormalized({f[0], f[1], f[2], f[3]});
    return true;
}

void ColourEntry(int id, const char* label, const char* get, const char* set) {
    std::any value = Call(get, {id});
    if (!value.has_value()) return;
    Color c = GetColor(static_cast<unsigned>(std::any_cast<int>(value)));
    if (EditColour(label, c)) Call(set, {id, ColorToInt(c)});
}

void EditTransform(CFrame& cframe) {
    Vector3 p = cframe.Position;
    if (ImGui::DragFloat3("position", &p.x, 0.05f)) cframe.MoveTo(p);
    Vector3 degrees = cframe.Orientation();
    if (ImGui::DragFloat3("rotation (degrees)", &degrees.x, 0.5f))
        cframe.RotateTo(Vector3Scale(degrees, DEG2RAD));
}

void ModelDetails(int id) {
    ImGui::Text("model \"%s\"", ModelName(id).c_str());
    if (CFrame* cframe = FindVariable<CFrame>(id, "CFrame")) EditTransform(*cframe);
    if (Vector3* scale = FindVariable<Vector3>(id, "Scale")) {
        Vector3 s = *scale;
        if (ImGui::DragFloat3("scale", &s.x, 0.02f)) Call("Model.SetScale", {id, Vec(s)});
        if (s.x == 0 && s.y == 0 && s.z == 0) ImGui::TextColored(ImVec4(1, 0.8f, 0.3f, 1), "scale 0: it draws nothing");
    }
    if (Color* colour = FindVariable<Color>(id, "Color")) {
        Color c = *colour;
        if (EditColour("colour", c)) Call("Model.SetColor", {id, ColorToInt(c)});
    }
    auto body = World::Physics::Bodies.find(id);
    if (body != World::Physics::Bodies.end() && ImGui::TreeNodeEx("body", ImGuiTreeNodeFlags_DefaultOpen)) {
        static const char* const kKinds[] = {"static", "dynamic", "kinematic"};
        const int kind = P3D_GetBodyKind(body->second.handle);
        ImGui::Text("%s, mass %.3g kg", kind >= 0 && kind < 3 ? kKinds[kind] : "?", P3D_GetBodyMass(body->second.handle));
        Vector3 v = P3D_GetLinearVelocity(body->second.handle);
        if (ImGui::DragFloat3("velocity", &v.x, 0.05f)) Call("Model.SetVelocity", {id, Vec(v)});
        ImGui::TreePop();
    }
    auto player = World::Animation::Players.find(id);
    std::string buffer;
    if (player != World::Animation::Players.end() && player->second.clip >= 0 &&
        ImGui::TreeNodeEx("animation", ImGuiTreeNodeFlags_DefaultOpen)) {
        const R3D_Model model = World::Animation::ModelOf(id, "inspector", &buffer);
        ImGui::Text("clip \"%s\"%s", R3D_GetModelAnimationName(model, player->second.clip),
                    player->second.loop ? ", looping" : "");
        float time = player->second.time;
        if (ImGui::DragFloat("time (s)", &time, 0.01f, 0.0f, R3D_GetModelAnimationLength(model, player->second.clip)))
            Call("Model.SetAnimationTime", {id, time});
        float speed = player->second.speed;
        if (ImGui::DragFloat("speed", &speed, 0.01f)) Call("Model.SetAnimationSpeed", {id, speed});
        ImGui::TreePop();
    }
}

void LightDetails(int id) {
    std::any type = Call("Light.GetType", {id});
    if (type.has_value()) ImGui::Text("%s light", std::any_cast<std::string>(type).c_str());
    std::any active = Call("Light.IsActive", {id});
    bool on = active.has_value() && std::any_cast<bool>(active);
    if (ImGui::Checkbox("on", &on)) Call("Light.SetState", {id, on});
    ColourEntry(id, "colour", "Light.GetColor", "Light.SetColor");
    Vec3Entry(id, "position", "Light.GetPosition", "Light.SetPosition");
    Vec3Entry(id, "direction", "Light.GetDirection", "Light.SetDirection");
    FloatEntry(id, "energy", "Light.GetEnergy", "Light.SetEnergy");
    FloatEntry(id, "specular", "Light.GetSpecular", "Light.SetSpecular");
    FloatEntry(id, "range", "Light.GetRange", "Light.SetRange", 0.1f);
    FloatEntry(id, "attenuation", "Light.GetAttenuation", "Light.SetAttenuation");
    FloatEntry(id, "inner cut-off", "Light.GetInnerCutoff", "Light.SetInnerCutoff", 0.2f);
    FloatEntry(id, "outer cut-off", "Light.GetOuterCutoff", "Light.SetOuterCutoff", 0.2f);
    std::any shadowed = Call("Light.IsShadowEnabled", {id});
    bool shadow = shadowed.has_value() && std::any_cast<bool>(shadowed);
    if (ImGui::Checkbox("shadows", &shadow)) Call(shadow ? "Light.EnableShadow" : "Light.DisableShadow", {id});
    FloatEntry(id, "softness", "Light.GetSoftness", "Light.SetSoftness", 0.01f);
    FloatEntry(id, "depth bias", "Light.GetDepthBias", "Light.SetDepthBias", 0.0001f);
    FloatEntry(id, "slope bias", "Light.GetSlopeBias", "Light.SetSlopeBias", 0.0001f);
}

void SoundDetails(int id) {
    const std::string* sound = FindVariable<std::string>(id, "Sound");
    const int* emitter = FindVariable<int>(id, "Emitter");
    ImGui::Text("sound \"%s\"", sound ? sound->c_str() : "");
    if (Vector3* position = FindVariable<Vector3>(id, "Position")) {
        Vector3 p = *position;
        if (ImGui::DragFloat3("position", &p.x, 0.05f)) Call("Sound.SetPosition", {id, Vec(p)});
    }
    if (!emitter) return;
    const A3D_Emitter e{static_cast<unsigned>(*emitter)};
    float nearDistance = 0, farDistance = 0, volume = 0;
    if (!A3D_GetEmitterSettings(e, &nearDistance, &farDistance, &volume)) return;
    ImGui::Text("%s", A3D_IsEmitterPlaying(e) ? "playing" : "not playing");
    float range[2] = {nearDistance, farDistance};
    if (ImGui::DragFloat2("range (near, far)", range, 0.1f)) Call("Sound.SetRange", {id, range[0], range[1]});
    if (ImGui::SliderFloat("volume", &volume, 0.0f, 2.0f)) Call("Sound.SetVolume", {id, volume});
}

void ParticlesDetails(int id) {
    const int* handle = FindVariable<int>(id, "Particle Emitter");
    if (Vector3* position = FindVariable<Vector3>(id, "Position")) {
        Vector3 p = *position;
        if (ImGui::DragFloat3("position", &p.x, 0.05f)) Call("Particles.SetPosition", {id, Vec(p)});
    }
    R3D_ParticlesSettings s{};
    if (!handle || !R3D_GetParticlesSettings(*handle, &s)) return;
    ImGui::Text("%d alive of %d, %s", R3D_GetParticlesCount(*handle), s.capacity,
                s.blend == R3D_PARTICLES_ADDITIVE ? "additive" : "alpha");
    if (ImGui::DragFloat("rate (per s)", &s.rate, 0.5f, 0.0f, 1e5f)) Call("Particles.SetRate", {id, s.rate});
    float life[2] = {s.shortest, s.longest};
    if (ImGui::DragFloat2("lifetime (s)", life, 0.02f, 0.0f, 600.0f)) Call("Particles.SetLifetime", {id, life[0], life[1]});
    bool velocity = ImGui::DragFloat3("velocity", &s.velocity.x, 0.05f);
    velocity |= ImGui::DragFloat("spread (degrees)", &s.spreadDegrees, 0.5f, 0.0f, 180.0f);
    if (velocity) Call("Particles.SetVelocity", {id, Vec(s.velocity), s.spreadDegrees});
    if (ImGui::DragFloat3("gravity", &s.gravity.x, 0.05f)) Call("Particles.SetGravity", {id, Vec(s.gravity)});
    bool colours = EditColour("colour at birth", s.birthColor);
    colours |= EditColour("colour at death", s.deathColor);
    if (colours) Call("Particles.SetColors", {id, ColorToInt(s.birthColor), ColorToInt(s.deathColor)});
    float sizes[2] = {s.birthSize, s.deathSize};
    if (ImGui::DragFloat2("sizes (m)", sizes, 0.005f, 0.0f, 100.0f)) Call("Particles.SetSizes", {id, sizes[0], sizes[1]});
}

void CharacterDetails(int id) {
    auto found = World::Physics::Characters.find(id);
    if (found == World::Physics::Characters.end()) return;
    Vector3 foot = P3D_GetCharacterPosition(found->second);
    if (ImGui::DragFloat3("position (foot)", &foot.x, 0.05f)) Call("Character.SetPosition", {id, Vec(foot)});
    const Vector3 v = P3D_GetCharacterVelocity(found->second);
    ImGui::Text("velocity (%.2f, %.2f, %.2f), %s", v.x, v.y, v.z,
                P3D_IsCharacterOnGround(found->second) ? "on the ground" : "in the air");
}

}  // namespace

void SceneTab() {
    static Rows rows;
    static char search[128] = "";
    ImGui::SetNextItemWidth(-1);
    ImGui::InputTextWithHint("##search", "search: name, kind, model or id", search, sizeof search);
    Refresh(rows, search);
    ImGui::Text("%zu instances%s", Instances.size(), search[0] ? ", matching:" : "");
    const ImGuiTableFlags flags = ImGuiTableFlags_ScrollY | ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerV |
                                  ImGuiTableFlags_Resizable;
    if (ImGui::BeginTable("instances", 5, flags, ImVec2(0, 300))) {
        ImGui::TableSetupScrollFreeze(0, 1);
        ImGui::TableSetupColumn("id", ImGuiTableColumnFlags_WidthFixed, 50);
        ImGui::TableSetupColumn("name");
        ImGui::TableSetupColumn("kind", ImGuiTableColumnFlags_WidthFixed, 70);
        ImGui::TableSetupColumn("model");
        ImGui::TableSetupColumn("parent", ImGuiTableColumnFlags_WidthFixed, 50);
        ImGui::TableHeadersRow();
        ImGuiListClipper clipper;
        clipper.Begin(static_cast<int>(rows.ids.size()));
        while (clipper.Step()) {
            for (int row = clipper.DisplayStart; row < clipper.DisplayEnd; ++row) {
                const int id = rows.ids[static_cast<std::size_t>(row)];
                auto found = Instances.find(id);
                if (found == Instances.end()) continue;  // destroyed since the list was made
                const Instance& inst = found->second;
                ImGui::TableNextRow();
                ImGui::TableNextColumn();
                char label[32];
                std::snprintf(label, sizeof label, "%d", id);
                if (ImGui::Selectable(label, The().selected == id, ImGuiSelectableFlags_SpanAllColumns))
                    The().selected = id;
                ImGui::TableNextColumn();
                ImGui::TextUnformatted(inst.Name.c_str());
                ImGui::TableNextColumn();
                ImGui::TextUnformatted(inst.Type.c_str());
                ImGui::TableNextColumn();
                ImGui::TextUnformatted(ModelName(id).c_str());
                ImGui::TableNextColumn();
                ImGui::Text("%d", inst.Parent);
            }
        }
        ImGui::EndTable();
    }
    SelectionDetails();
}

void SelectionDetails() {
    const int id = The().selected;
    auto found = Instances.find(id);
    if (found == Instances.end()) {
        ImGui::TextDisabled("Select an instance in the list, or click one in the world.");
        return;
    }
    const Instance& inst = found->second;
    ImGui::Separator();
    ImGui::Text("%s %d \"%s\", parent %d", inst.Type.empty() ? "instance" : inst.Type.c_str(), id, inst.Name.c_str(),
                inst.Parent);
    ImGui::PushID(id);
    if (inst.Type == "Model") ModelDetails(id);
    else if (inst.Type == "Light") LightDetails(id);
    else if (inst.Type == "Sound") SoundDetails(id);
    else if (inst.Type == "Particles") ParticlesDetails(id);
    else if (inst.Type == "Character") CharacterDetails(id);
    else if (CFrame* value = FindVariable<CFrame>(id, "Value")) EditTransform(*value);
    ImGui::PopID();
}

}  // namespace Inspector
