// Shared entities as they travel: quantised (positions to 1/256 m, scales to
// 1/1024, rotations as their three smallest quaternion components in 15 bits,
// times to the millisecond) and coded as the changes from a baseline both ends
// hold, field group by field group, in a bit stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "n3d.h"
#include "wire.h"

namespace n3d {

struct QState {
    int32_t id = 0;
    int32_t owner = 1;
    std::string model;
    std::string name;
    int32_t position[3] = {0, 0, 0};
    uint8_t largest = 3;                // which quaternion component was left out (identity: w)
    int32_t rotation[3] = {0, 0, 0};    // the other three, in order
    int32_t scale[3] = {0, 0, 0};
    uint32_t color = 0;                 // r, g, b, a from the high byte down
    int32_t clip = -1;
    int32_t timeMs = 0;
    int32_t speed = 256;                // 1/256ths
    bool loop = false;
    bool fading = false;
    int32_t from = -1;
    int32_t fromTimeMs = 0;
    bool fromLoop = false;
    int32_t fadeLengthMs = 0;
    int32_t fadedMs = 0;
};

// Every shared entity at one moment, by id ascending.
using World = std::vector<QState>;

// The state of entity `id` in `world` (null, or not there: null).
const QState* FindState(const World* world, int32_t id);

QState Quantise(const N3D_Entity& entity);
N3D_Entity Restore(const QState& state);

// The most entities a world holds: a server shares no more, a reader refuses more.
constexpr uint32_t kMostEntities = 1u << 14;

// A snapshot before the baseline, which both ends hold: what moved from it to the
// baseline is expected to move on alike, `ahead` snapshots on from the baseline over
// `back` from it, and only the difference from that is coded.
struct Prediction {
    const World* prior = nullptr;
    int32_t back = 0;   // snapshots from prior to the baseline
    int32_t ahead = 0;  // snapshots from the baseline to the one coded
};

// Writes `now` as its changes from `base` (null: from nothing, so every entity is new).
void EncodeWorld(const World* base, const World& now, BitWriter& out);
void EncodeWorld(const World* base, const Prediction& prediction, const World& now, BitWriter& out);
// Reads what EncodeWorld wrote against the same `base` and prediction; false (and `out`
// unusable) for anything that does not read: past the end, an id out of order, a change
// to an entity the base lacks, an unknown record kind, a field out of its range.
bool DecodeWorld(const World* base, BitReader& in, World* out);
bool DecodeWorld(const World* base, const Prediction& prediction, BitReader& in, World* out);

// One entity's whole state (no names), as owners send theirs.
void EncodeState(const QState& state, BitWriter& out);
bool DecodeState(BitReader& in, QState* out);

}  // namespace n3d
