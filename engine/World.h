// The world: instance buffers (every model is drawn from them), ray queries
// against model instances, and the API entries handed to the game module.
//
//   World::Buffers        named pairs of a model and an instance buffer; each
//                         frame they copy their instances' values by address
//   World::RaycastSingle  one ray against one model instance
//   World::Initialize     "Null", "Root" and the 171 API entries
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "r3d.h"
#include "raylib.h"

namespace World {

// Creates "Null" and "Root" and hands every API entry, in catalogue order, to
// the game module through its define_op / define_func exports.
void Initialize();

namespace Buffers {

// Slot number -> address of one value of a mapped instance. The slots sit in
// one array sorted by number, so the per-frame walk reads memory in order
// instead of hopping between hash nodes. Slot numbers only grow, so mapping
// appends; unmapping leaves a hole, swept out once holes outnumber live slots.
// The four maps of a buffer see the same inserts and erases, so their arrays
// stay aligned index for index.
template <class T>
class SlotMap {
public:
    using Item = std::pair<int, T*>;  // a null address marks a hole

    void Insert(int slot, T* value) {
        if (items_.empty() || items_.back().first < slot) {
            items_.emplace_back(slot, value);
        } else {
            auto it = Lower(slot);
            if (it != items_.end() && it->first == slot) {
                if (!it->second) ++live_, --holes_;
                it->second = value;
                return;
            }
            items_.insert(it, Item(slot, value));
        }
        ++live_;
    }

    bool Erase(int slot) {
        auto it = Lower(slot);
        if (it == items_.end() || it->first != slot || !it->second) return false;
        it->second = nullptr;
        --live_;
        if (++holes_ > live_) Sweep();
        return true;
    }

    T* Find(int slot) const {
        auto it = Lower(slot);
        return it != items_.end() && it->first == slot ? it->second : nullptr;
    }
    bool Contains(int slot) const { return Find(slot) != nullptr; }
    std::size_t size() const { return live_; }
    bool empty() const { return live_ == 0; }
    const std::vector<Item>& Items() const { return items_; }  // holes included

private:
    typename std::vector<Item>::const_iterator Lower(int slot) const {
        return std::lower_bound(items_.begin(), items_.end(), slot,
                                [](const Item& item, int key) { return item.first < key; });
    }
    typename std::vector<Item>::iterator Lower(int slot) {
        return std::lower_bound(items_.begin(), items_.end(), slot,
                                [](const Item& item, int key) { return item.first < key; });
    }
    void Sweep() {
        items_.erase(std::remove_if(items_.begin(), items_.end(), [](const Item& item) { return !item.second; }),
                     items_.end());
        holes_ = 0;
    }

    std::vector<Item> items_;
    std::size_t live_ = 0;
    std::size_t holes_ = 0;
};

extern std::unordered_map<std::string, int> Names;               // buffer name -> buffer index
extern std::unordered_map<int, R3D_InstanceBuffer> Buffers;       // index -> renderer instance buffer
extern std::unordered_map<int, R3D_Model> Models;                 // index -> model (owned by the buffer)
extern std::unordered_map<int, SlotMap<Vector3>> Positions;       // index -> slot -> &CFrame.Position
extern std::unordered_map<int, SlotMap<Quaternion>> Rotations;    // index -> slot -> &CFrame.Rotation
extern std::unordered_map<int, SlotMap<Vector3>> Scales;          // index -> slot -> &"Scale"
extern std::unordered_map<int, SlotMap<Color>> Colors;            // index -> slot -> &"Color"
extern int BufferCount;    // the next buffer index
extern int InstanceCount;  // the next slot number, shared by all buffers

void CreateBuffer(std::string name, R3D_Model model, int capacity);
void RemoveBuffer(std::string buffer);
int MapInstance(std::string buffer, Vector3* position, Quaternion* rotation, Vector3* scale, Color* color);
void UnmapInstance(std::string buffer, int instance);
void UpdateBuffer(std::string buffer);
void DrawBuffer(std::string buffer);
// Refreshes every buffer from its instances and draws it (inside the 3D pass).
void Draw();

}  // namespace Buffers

// One ray against the model of one "Model" instance, placed by its CFrame
// (rotation and position; its "Scale" is not applied).
struct RaycastSingle {
    bool hit = false;
    float distance = 0;
    Vector3 point = {0, 0, 0};
    Vector3 normal = {0, 0, 0};

    RaycastSingle(int instance, Vector3 position, Vector3 direction);
};

}  // namespace World
