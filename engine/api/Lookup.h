// Finding an instance's variables without adding anything. Look-ups through
// Instances[id] leave a blank record or an empty slot behind; an entry that
// then throws would have changed the scene. These never insert.
#pragma once

#include <string>

#include "Instance.h"
#include "Values.h"

namespace World::Api {

// The value held by variable `name` of instance `id`, in place, or nullptr
// when the record, the variable or a value of type T is absent.
template <class T>
T* FindVariable(int id, const char* name) {
    auto record = Instances.find(id);
    if (record == Instances.end()) return nullptr;
    auto slot = record->second.Variables.find(name);
    return slot == record->second.Variables.end() ? nullptr : std::any_cast<T>(&slot->second);
}

// What instance `id` is, for messages about an instance of the wrong kind:
// "a Model", "a Light", ..., "the scene's root", or that there is none.
inline std::string WhatIs(int id) {
    auto record = Instances.find(id);
    if (record == Instances.end() || !record->second.Registered()) return "no instance (never made, or destroyed)";
    if (record->second.Type.empty()) return "the scene's " + record->second.Name;
    return "a " + record->second.Type;
}

// An entry of one kind of instance given another: "instance <id> is a Model, not a Light".
inline BadValue NotA(int id, const char* kind) {
    return BadValue("instance " + std::to_string(id) + " is " + WhatIs(id) + ", not a " + kind);
}

// As FindVariable, but a missing value is a BadValue: "instance <id> has no
// "<name>" <what>; it is <what it is>".
template <class T>
T& VariableOf(int id, const char* name, const char* what) {
    if (T* value = FindVariable<T>(id, name)) return *value;
    throw BadValue("instance " + std::to_string(id) + " has no \"" + name + "\" " + what + "; it is " + WhatIs(id));
}

}  // namespace World::Api
