#include "Catalog.h"

#include <stdexcept>
#include <string>

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
        AddInstanceEntries(c);
        AddCFrameEntries(c);
        AddLightEntries(c);
        AddInputEntries(c);
        AddAssetEntries(c);
        AddMathEntries(c);
        AddRaycastEntries(c);
        return c;
    }();
    return catalog;
}

}  // namespace World::Api

namespace World {

void Initialize() {
    Instance("Null", 0);
    Instance("Root", 0);
    for (const Api::Entry& entry : Api::Entries()) {
        if (entry.op) game_def_op(entry.name, entry.op);
        else game_def_func(entry.name, entry.func);
    }
}

}  // namespace World
