#include "Instance.h"

#include <climits>
#include <vector>

#include "Messages.h"

Instance::Instance(std::string inst_name, int inst_parent) : Name(std::move(inst_name)), Parent(inst_parent) {
    // Signed overflow would hand out negative or repeated ids.
    Fail(Fatal::OutOfInstanceIds, inst_count == INT_MAX);
    id = inst_count;
    // A look-up may have left a blank record under this id; its slots go now.
    auto blank = Instances.find(id);
    if (blank != Instances.end())
        for (const auto& variable : blank->second.Variables) LiveHandles.erase(&variable.second);
    Instances[id] = *this;
    ++inst_count;
}

bool Instance::Registered() const {
    auto it = Instances.find(id);
    return it != Instances.end() && &it->second == this;
}

// Erasing is by name, whichever id the entry holds now (a namesake may own it).
// A parent that no longer exists is not brought back as a blank record.
void Instance::LeaveParent() {
    auto parent = Instances.find(Parent);
    if (parent != Instances.end()) parent->second.Children.erase(Name);
}

int Instance::GetParent() { return Instances[Parent].id; }

void Instance::SetParent(int new_parent) {
    if (!Registered()) return;
    LeaveParent();
    Parent = new_parent;
    Instances[Parent].Children[Name] = id;
}

int Instance::GetChild(std::string name) {
    auto it = Children.find(name);
    return it == Children.end() ? 0 : it->second;
}

std::string Instance::GetName() { return Name; }

void Instance::SetName(std::string new_name) {
    if (!Registered()) return;
    LeaveParent();
    Name = std::move(new_name);
    Instances[Parent].Children[Name] = id;
}

void Instance::Destroy() {
    if (!Registered()) return;
    const int self = id;
    if (OnDestroy) OnDestroy({});

    // Handlers and children may add records; nodes stay put, so `this` stays valid.
    LeaveParent();
    std::vector<int> children;
    children.reserve(Children.size());
    for (const auto& entry : Children) children.push_back(entry.second);
    for (int child : children) {
        auto it = Instances.find(child);
        if (it != Instances.end() && child != self) it->second.Destroy();
    }

    for (const auto& variable : Variables) LiveHandles.erase(&variable.second);
    Instances.erase(self);
}
