#include "Catalog.h"

#include <stdexcept>
#include <string>

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
        AddInputEntries(c);
        return c;
    }();
    return catalog;
}

}  // namespace World::Api

namespace World {

void Initialize() {
    for (const Api::Entry& entry : Api::Entries()) {
        if (entry.op) game_def_op(entry.name, entry.op);
        else game_def_func(entry.name, entry.func);
    }
}

namespace Buffers {
void Draw() {}
}  // namespace Buffers

}  // namespace World
