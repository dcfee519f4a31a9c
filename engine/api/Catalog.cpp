#include "Catalog.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "Instance.h"
#include "World.h"

namespace World::Api {

void ThrowMissing(const char* entry, std::size_t position) {
    throw std::out_of_range(std::string(entry) + ": argument " + std::to_string(position) + " is missing");
}

void ThrowShortList(const char* entry, std::size_t position, std::size_t needed, std::size_t got) {
    throw std::out_of_range(std::string(entry) + ": argument " + std::to_string(position) + " needs " +
                            std::to_string(needed) + " floats, got " + std::to_string(got));
}

const Catalog& Entries() {
    static const Catalog catalog = [] {
        Catalog c;
        // Each adder appends its entries; the group word is stamped on them here.
        const auto add = [&c](const char* group, void (*adder)(Catalog&)) {
            const std::size_t from = c.size();
            adder(c);
            for (std::size_t i = from; i < c.size(); ++i) c[i].group = group;
        };
        for (auto adder : {AddInstanceEntries, AddCFrameEntries, AddLightEntries, AddInputEntries, AddAssetEntries,
                           AddMathEntries, AddRaycastEntries})
            add("core", adder);
        add("sound", AddSoundEntries);
        add("screen", AddScreenEntries);
        add("animation", AddAnimationEntries);
        add("physics", AddPhysicsEntries);
        add("app", AddAppEntries);
        add("environment", AddEnvironmentEntries);
        add("particles", AddParticlesEntries);
        add("inspector", AddInspectorEntries);
        add("network", AddNetworkEntries);
        return c;
    }();
    return catalog;
}

}  // namespace World::Api

namespace World {

void Initialize() {
    Instance("Null", 0);
    Instance("Root", 0);
    RegisterEntries();
}

void RegisterEntries() {
    for (const Api::Entry& entry : Api::Entries()) {
        if (entry.op) game_def_op(entry.name, entry.op);
        else game_def_func(entry.name, entry.func);
    }
}

void ClearInstances() {
    std::vector<int> ids;
    for (const auto& [id, record] : Instances)
        if (id > 1 && record.Registered()) ids.push_back(id);
    // A model whose buffer the game unloaded (and perhaps loaded again under
    // the same name) has no slot to give back: it goes with its playback and
    // its body, without unmapping. All are seen to before any is destroyed, as
    // destroying one destroys what lies under it.
    for (int id : ids) {
        Instance& record = Instances.find(id)->second;
        if (record.Type != "Model" || Buffers::HoldsSlot(id)) continue;
        Animation::Players.erase(id);
        Physics::RemoveBody(id);
        record.OnDestroy = nullptr;
    }
    for (int id : ids) {
        auto it = Instances.find(id);
        if (it == Instances.end() || !it->second.Registered()) continue;  // went with its parent
        it->second.Destroy();
    }
    Physics::Events.clear();
}

void Clear() {
    ClearInstances();
    std::vector<std::string> buffers;
    for (const auto& entry : Buffers::Names) buffers.push_back(entry.first);
    for (const std::string& name : buffers) Buffers::RemoveBuffer(name);
    Sounds::Clear();
    Screen::Clear();
    Animation::Players.clear();  // what the destroyed models left (those of unloaded buffers)
    Physics::Clear();
}

}  // namespace World
