// The frame, physics, sound, assets and log tabs.
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include <imgui.h>

#include "Instance.h"
#include "Lookup.h"
#include "State.h"
#include "Stats.h"
#include "World.h"
#include "a3d.h"
#include "p3d.h"
#include "r3d.h"
#include "s2d.h"

namespace Inspector {
namespace {

constexpr double kGraphSeconds = 10.0;

// The last ten seconds of frame times as bars, the worst in red with its time.
void FrameGraph() {
    double last = 0;
    Stats::ForEachKept([&](const Stats::Frame& f) { last = f.end; });
    float worst = 0, total = 0;
    double worstAt = 0;
    int frames = 0;
    Stats::ForEachKept([&](const Stats::Frame& f) {
        if (f.end < last - kGraphSeconds) return;
        ++frames;
        total += f.ms;
        if (f.ms >= worst) {
            worst = f.ms;
            worstAt = f.end;
        }
    });
    ImGui::TextWrapped("last %.0f s: %d frames, mean %.2f ms, worst %.2f ms (%.1f s ago)", kGraphSeconds, frames,
                frames ? total / frames : 0.0f, worst, last - worstAt);
    const ImVec2 size(ImGui::GetContentRegionAvail().x, 110);
    const ImVec2 at = ImGui::GetCursorScreenPos();
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddRectFilled(at, ImVec2(at.x + size.x, at.y + size.y), IM_COL32(20, 22, 28, 255));
    const float top = std::max(worst * 1.1f, 34.0f);  // 33.3 ms (30 frames a second) always in view
    for (float line : {16.7f, 33.3f}) {
        const float y = at.y + size.y * (1.0f - line / top);
        draw->AddLine(ImVec2(at.x, y), ImVec2(at.x + size.x, y), IM_COL32(90, 90, 90, 255));
    }
    bool worstMarked = false;
    Stats::ForEachKept([&](const Stats::Frame& f) {
        if (f.end < last - kGraphSeconds) return;
        const float x = at.x + size.x * static_cast<float>(1.0 - (last - f.end) / kGraphSeconds);
        const float y = at.y + size.y * (1.0f - std::min(f.ms / top, 1.0f));
        const bool isWorst = !worstMarked && f.end == worstAt;
        worstMarked |= isWorst;
        draw->AddLine(ImVec2(x, at.y + size.y), ImVec2(x, y), isWorst ? IM_COL32(255, 60, 40, 255) : IM_COL32(90, 200, 120, 255),
                      isWorst ? 3.0f : 1.0f);
    });
    ImGui::Dummy(size);
}

void Row(const char* what, const char* format, double value) {
    ImGui::TableNextRow();
    ImGui::TableNextColumn();
    ImGui::TextUnformatted(what);
    ImGui::TableNextColumn();
    ImGui::Text(format, value);
}

}  // namespace

void FrameTab() {
    const State& s = The();
    FrameGraph();
    Stats::Frame latest{};
    Stats::ForEachKept([&](const Stats::Frame& f) { latest = f; });
    const R3D_FrameStats r = R3D_GetFrameStats();
    if (ImGui::BeginTable("passes", 2, ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerV)) {
        ImGui::TableSetupColumn("latest frame");
        ImGui::TableSetupColumn("", ImGuiTableColumnFlags_WidthFixed, 150);
        ImGui::TableHeadersRow();
        Row("frame", "%.2f ms", latest.ms);
        Row("shadow maps", "%.2f ms", r.shadowMs);
        Row("lit scene", "%.2f ms", r.sceneMs);
        Row("effects and particles", "%.2f ms", r.effectsMs);
        Row("posing animated models", "%.2f ms", r.poseMs);
        Row("physics step", "%.2f ms", latest.physicsMs);
        Row("game tick", "%.2f ms", s.tickMs);
        Row("screen layer", "%.2f ms", s.screenMs);
        Row("inspector itself", "%.2f ms", s.ownMs);
        Row("draw calls (scene)", "%.0f", r.camera.drawCalls);
        Row("draw calls (shadows)", "%.0f", r.shadows.drawCalls);
        Row("triangles (scene)", "%.0f", static_cast<double>(r.camera.triangles));
        Row("triangles (shadows)", "%.0f", static_cast<double>(r.shadows.triangles));
        Row("instances drawn", "%.0f", r.camera.instances);
        Row("instances in the scene", "%.0f", static_cast<double>(Instances.size()));
        Row("mixer load", "%.1f %%", 100.0 * s.mixLoad);
        ImGui::EndTable();
    }
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextDisabled("While this tab is open each pass, and the inspector's drawing, is waited for to time it.");
    ImGui::PopTextWrapPos();
}

void PhysicsTab() {
    State& s = The();
    ImGui::Checkbox("draw colliders and contacts", &s.colliders);
    struct Key {
        const char* what;
        ImVec4 colour;
    };
    static const Key kKeys[] = {{"static", {0.59f, 0.59f, 0.63f, 1}}, {"dynamic", {0.31f, 0.86f, 0.39f, 1}},
                                {"kinematic", {0.31f, 0.67f, 1, 1}},  {"trigger", {1, 0.78f, 0.16f, 1}},
                                {"character", {0.9f, 0.35f, 0.9f, 1}}, {"contact", {1, 0.24f, 0.16f, 1}}};
    for (const Key& key : kKeys) {
        ImGui::TextColored(key.colour, "%s", key.what);
        ImGui::SameLine();
    }
    ImGui::NewLine();
    const Vector3 g = P3D_GetGravity();
    ImGui::Text("%d bodies, %zu characters", P3D_GetBodyCount(), World::Physics::Characters.size());
    ImGui::TextWrapped("simulated %.2f s at %.0f steps a second, gravity (%.2f, %.2f, %.2f)", P3D_GetSimulatedTime(),
                P3D_GetStepRate(), g.x, g.y, g.z);
    ImGui::Text("events of the latest step: %zu", World::Physics::Events.size());
    static const char* const kEvents[] = {"enter", "leave", "contact", "left the world"};
    if (ImGui::BeginChild("events", ImVec2(0, 0), true)) {
        for (const P3D_Event& e : World::Physics::Events)
            ImGui::Text("%s: %d and %d (impulse %.2f)", e.kind >= 0 && e.kind < 4 ? kEvents[e.kind] : "?", e.a, e.b,
                        e.impulse);
    }
    ImGui::EndChild();
}

void SoundTab() {
    const State& s = The();
    const A3D_Stats stats = A3D_GetStats();
    ImGui::Text("%s; mixer load %.1f %%", A3D_HasDevice() ? "sound device open" : "no sound device: silent",
                100.0 * s.mixLoad);
    ImGui::Text("voices playing %d, heard in the last block %d; music left silent %llu frames", stats.voicesPlaying,
                stats.voicesHeard, stats.underruns);
    float master = A3D_GetMasterVolume();
    if (ImGui::SliderFloat("master volume", &master, 0.0f, 1.0f)) Call("SetMasterVolume", {master});
    ImGui::Separator();
    ImGui::TextUnformatted("music");
    for (const auto& [name, music] : World::Sounds::Music)
        ImGui::Text("%s \"%s\" %.1f / %.1f s", A3D_IsMusicPlaying(music) ? "playing" : "stopped", name.c_str(),
                    A3D_GetMusicTimePlayed(music), A3D_GetMusicTimeLength(music));
    ImGui::Separator();
    ImGui::TextUnformatted("sounds playing");
    for (const auto& [name, sound] : World::Sounds::Names)
        if (A3D_IsSoundPlaying(sound)) ImGui::Text("\"%s\" (not placed)", name.c_str());
    for (int id : World::Sounds::Placed) {
        const int* emitter = World::Api::FindVariable<int>(id, "Emitter");
        const std::string* sound = World::Api::FindVariable<std::string>(id, "Sound");
        if (!emitter || !sound) continue;
        const A3D_Emitter e{static_cast<unsigned>(*emitter)};
        float nearDistance = 0, farDistance = 0, volume = 0;
        if (!A3D_IsEmitterPlaying(e) || !A3D_GetEmitterSettings(e, &nearDistance, &farDistance, &volume)) continue;
        const Vector3 at = World::Sounds::WorldPosition(id);
        ImGui::Text("\"%s\" placed %d at (%.1f, %.1f, %.1f), volume %.2f, range %.1f to %.1f m", sound->c_str(), id,
                    at.x, at.y, at.z, volume, nearDistance, farDistance);
    }
}

void AssetsTab() {
    if (ImGui::CollapsingHeader("models", ImGuiTreeNodeFlags_DefaultOpen)) {
        for (const auto& [name, index] : World::Buffers::Names) {
            const R3D_Model& m = World::Buffers::Models[index];
            const int levels = R3D_GetModelLodCount(m);
            const int clips = R3D_GetModelAnimationCount(m);
            const double kib = static_cast<double>(R3D_GetModelGeometryBytes(m)) / 1024.0;
            ImGui::TextWrapped("\"%s\": %d meshes, %d triangles, %d levels, %d clips, %.0f KiB of geometry", name.c_str(),
                        m.meshCount, m.triangleCount, levels, clips, kib);
            if (ImGui::IsItemHovered() && (levels > 1 || clips > 0)) {
                ImGui::BeginTooltip();
                for (int l = 0; l < levels; ++l) ImGui::Text("level %d: %d triangles", l, R3D_GetModelLodTriangles(m, l));
                for (int c = 0; c < clips; ++c)
                    ImGui::Text("clip \"%s\" %.2f s", R3D_GetModelAnimationName(m, c), R3D_GetModelAnimationLength(m, c));
                ImGui::EndTooltip();
            }
        }
    }
    if (ImGui::CollapsingHeader("images and textures", ImGuiTreeNodeFlags_DefaultOpen)) {
        for (const auto& [name, image] : World::Screen::Images) {
            const int w = S2D_GetImageWidth(image), h = S2D_GetImageHeight(image);
            ImGui::Text("\"%s\": %d x %d, %.0f KiB", name.c_str(), w, h, w * static_cast<double>(h) * 4 / 1024.0);
        }
    }
    if (ImGui::CollapsingHeader("fonts", ImGuiTreeNodeFlags_DefaultOpen))
        for (const auto& font : World::Screen::Fonts) ImGui::Text("\"%s\"", font.first.c_str());
    if (ImGui::CollapsingHeader("sounds and music", ImGuiTreeNodeFlags_DefaultOpen)) {
        for (const auto& [name, sound] : World::Sounds::Names)
            ImGui::Text("sound \"%s\": %.2f s (decoded whole)", name.c_str(), A3D_GetSoundLength(sound));
        for (const auto& [name, music] : World::Sounds::Music)
            ImGui::Text("music \"%s\": %.1f s (streamed)", name.c_str(), A3D_GetMusicTimeLength(music));
    }
}

void LogTab() {
    State& s = The();
    static int layer = 0;
    static ImGuiTextFilter filter;
    std::set<std::string> tags;
    for (const base::LogLine& line : s.log) tags.insert(line.tag);
    std::string current = "every layer";
    int n = 1;
    for (const std::string& tag : tags) {
        if (n == layer) current = tag;
        ++n;
    }
    ImGui::SetNextItemWidth(140);
    if (ImGui::BeginCombo("##layer", current.c_str())) {
        if (ImGui::Selectable("every layer", layer == 0)) layer = 0;
        n = 1;
        for (const std::string& tag : tags) {
            if (ImGui::Selectable(tag.c_str(), layer == n)) layer = n;
            ++n;
        }
        ImGui::EndCombo();
    }
    ImGui::SameLine();
    filter.Draw("filter", -50);
    std::vector<const base::LogLine*> shown;
    for (const base::LogLine& line : s.log)
        if ((layer == 0 || line.tag == current) && filter.PassFilter(line.text.c_str())) shown.push_back(&line);
    if (ImGui::BeginChild("lines", ImVec2(0, 0), true, ImGuiWindowFlags_HorizontalScrollbar)) {
        ImGuiListClipper clipper;
        clipper.Begin(static_cast<int>(shown.size()));
        while (clipper.Step())
            for (int i = clipper.DisplayStart; i < clipper.DisplayEnd; ++i) {
                const base::LogLine& line = *shown[static_cast<std::size_t>(i)];
                ImGui::TextColored(line.warning ? ImVec4(1, 0.85f, 0.4f, 1) : ImVec4(0.7f, 0.8f, 1, 1), "%s: %s",
                                   line.tag.c_str(), line.text.c_str());
            }
        if (ImGui::GetScrollY() >= ImGui::GetScrollMaxY()) ImGui::SetScrollHereY(1.0f);  // follows new lines
    }
    ImGui::EndChild();
}

}  // namespace Inspector
