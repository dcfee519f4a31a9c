// Instance: the scene-object record. Every record lives in the registry
// `Instances`, keyed by an id handed out by `inst_count` (never reused), and
// links to a parent and to named children, forming the tree under "Root".
//
// Addresses stay put: records are nodes of a node-based map and variables are
// nodes of another, so a variable slot (a std::any) keeps its address while its
// record exists. Values larger than std::any's inline buffer live in storage of
// their own, which stays put until the value is replaced. Instance buffers and
// the game module's handles rely on both.
#pragma once

#include <any>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "Global.h"
#include "SlotArena.h"

// An instance's named values. Slots never share an address with a slot that
// existed before (see SlotArena), so a handle outliving its instance can be
// told apart from a live one for as long as the process runs.
using VariableTable = std::unordered_map<std::string, std::any, std::hash<std::string>, std::equal_to<std::string>,
                                         SlotAllocator<std::pair<const std::string, std::any>>>;

class Instance {
public:
    game_func OnDestroy;  // run by Destroy, before the record goes
    game_func OnTick;     // kept for the game; the host never runs it
    std::string Name;     // also the key in the parent's Children
    std::string Type;     // "CFrame", "Model" or "Light"; empty for "Null" and "Root"
    int Parent = 0;
    std::unordered_map<std::string, int> Children;  // child name -> child id
    int id = 0;
    VariableTable Variables;
    // How many records name this one as Parent; with none, it is nobody's
    // ancestor, which spares a walk up the tree on most moves.
    int Referrers = 0;

    // Creates a new instance and registers a copy of it under the next id; the
    // object constructed here is a temporary.
    Instance(std::string inst_name, int inst_parent);
    // A blank record, which is what a look-up of an unknown id leaves behind.
    Instance() = default;
    Instance& operator=(const Instance&) = default;
    Instance(const Instance&) = default;

    int GetParent();
    void SetParent(int new_parent);
    int GetChild(std::string name);
    std::string GetName();
    void SetName(std::string new_name);
    // Runs OnDestroy, leaves the parent, destroys the listed children depth
    // first and erases the record.
    void Destroy();

    // True for a record that was created under its id; false for a blank one
    // left by a look-up. Tree changes on a blank record do nothing, so they
    // can never reach another record ("Null" included).
    bool Registered() const;

    // True when `other` is this instance or lies below it, following Parent
    // links up from `other`. Moving this instance under such a one would make
    // a loop that no longer hangs from "Root".
    bool Encloses(int other) const;

private:
    void LeaveParent();
};

extern std::unordered_map<int, Instance> Instances;
extern int inst_count;  // the next id to hand out

// Variable slots handed out by "Instance.Get" whose record still exists. Handles
// are raw addresses by design; checking them here turns a stale or forged one
// into an exception instead of a read of freed memory.
extern std::unordered_set<const std::any*> LiveHandles;
