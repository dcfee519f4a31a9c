#include "Instance.h"

#include <climits>
#include <vector>

#include "Messages.h"

Instance::Instance(std::string inst_name, int inst_parent) : Name(std::move(inst_name)), Parent(inst_parent) {
    // Signed overflow would hand out negative or repeated ids.
    Fail(Fatal::OutOfInstanceIds, inst_count == INT_MAX);
    id = inst_count;
    // A look-up may have left a blank record under this id; its slots go now.
    // Records that were moved under it while it was blank still name it.
    auto blank = Instances.find(id);
    if (blank != Instances.end()) {
        for (const auto& variable : blank->second.Variables) LiveHandles.erase(&variable.second);
        Referrers = blank->second.Referrers;
    }
    Instances[id] = *this;
    auto parent = Instances.find(Parent);
    if (parent != Instances.end()) ++parent->second.Referrers;
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

bool Instance::Encloses(int other) const {
    if (other == id) return true;
    if (Referrers == 0) return false;
    // Chains end at "Null" (its own parent) or at an id without a record; the
    // step limit only guards against a loop that moves never make.
    int at = other;
    for (std::size_t step = 0; step <= Instances.size(); ++step) {
        auto it = Instances.find(at);
        if (it == Instances.end() || it->second.Parent == at) return false;
        if (it->second.Parent == id) return true;
        at = it->second.Parent;
    }
    return false;
}

int Instance::GetParent() { return Instances[Parent].id; }

void Instance::SetParent(int new_parent) {
    if (!Registered()) return;
    LeaveParent();
    auto old = Instances.find(Parent);
    if (old != Instances.end()) --old->second.Referrers;
    Parent = new_parent;
    Instance& parent = Instances[Parent];
    ++parent.Referrers;
    parent.Children[Name] = id;
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

// Depth first with an explicit stack, so a long chain of descendants cannot
// exhaust the call stack. Each instance runs its handler and leaves its parent
// before its children go, and its record is erased after them. An instance is
// listed only under its current parent and leaves it first, so no instance on
// the stack is met again, cycles included.
void Instance::Destroy() {
    if (!Registered()) return;
    struct Pending {
        int id;
        std::vector<int> children;  // copied before the first child goes
        std::size_t next = 0;
    };
    std::vector<Pending> stack;
    auto begin = [&stack](Instance& record) {
        if (record.OnDestroy) record.OnDestroy({});
        record.LeaveParent();
        Pending pending{record.id, {}, 0};
        pending.children.reserve(record.Children.size());
        for (const auto& entry : record.Children) pending.children.push_back(entry.second);
        stack.push_back(std::move(pending));
    };
    begin(*this);
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.next < top.children.size()) {
            const int child = top.children[top.next++];
            auto it = Instances.find(child);
            if (it != Instances.end() && it->second.Registered()) begin(it->second);
            continue;
        }
        auto it = Instances.find(top.id);
        if (it != Instances.end()) {
            for (const auto& variable : it->second.Variables) LiveHandles.erase(&variable.second);
            auto parent = Instances.find(it->second.Parent);
            if (parent != Instances.end() && parent != it) --parent->second.Referrers;
            Instances.erase(it);
        }
        stack.pop_back();
    }
}
