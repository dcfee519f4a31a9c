#include "snapshot.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Numbers.h"

namespace n3d {
namespace {

constexpr float kPositionScale = 256.0f;
constexpr float kScaleScale = 1024.0f;
constexpr float kRotationScale = 16383.0f / 0.70710678f;  // the three smallest lie within ±1/√2
constexpr int32_t kRotationMost = 16383;
constexpr int32_t kMostFixed = 1 << 30;
constexpr int32_t kMostClip = 32766;

enum Group : uint32_t {
    kPosition = 1u << 0,
    kRotation = 1u << 1,
    kScale = 1u << 2,
    kColor = 1u << 3,
    kOwner = 1u << 4,
    kAnimation = 1u << 5,
    kFade = 1u << 6,
    kAllGroups = (1u << 7) - 1
};

enum Record : uint32_t { kRemoved = 0, kChanged = 1, kNew = 2 };

int32_t Fixed(float value, float scale) {
    if (!base::Finite(value)) return 0;
    const double v = std::round(static_cast<double>(value) * scale);
    return static_cast<int32_t>(std::clamp(v, -static_cast<double>(kMostFixed), static_cast<double>(kMostFixed)));
}

int32_t Millis(float seconds) { return Fixed(seconds, 1000.0f); }

void CopyName(char* to, const std::string& from) {
    const size_t n = std::min(from.size(), static_cast<size_t>(N3D_MAX_NAME - 1));
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

std::string NameOf(const char* text) {
    return std::string(text, strnlen(text, N3D_MAX_NAME - 1));
}

uint32_t Changed(const QState& a, const QState& b) {
    uint32_t mask = 0;
    if (std::memcmp(a.position, b.position, sizeof a.position) != 0) mask |= kPosition;
    if (a.largest != b.largest || std::memcmp(a.rotation, b.rotation, sizeof a.rotation) != 0) mask |= kRotation;
    if (std::memcmp(a.scale, b.scale, sizeof a.scale) != 0) mask |= kScale;
    if (a.color != b.color) mask |= kColor;
    if (a.owner != b.owner) mask |= kOwner;
    if (a.clip != b.clip || a.timeMs != b.timeMs || a.speed != b.speed || a.loop != b.loop) mask |= kAnimation;
    if (a.fading != b.fading || a.from != b.from || a.fromTimeMs != b.fromTimeMs || a.fromLoop != b.fromLoop ||
        a.fadeLengthMs != b.fadeLengthMs || a.fadedMs != b.fadedMs)
        mask |= kFade;
    return mask;
}

// Differences are taken in 64 bits and wrapped to 32, so any pair of values codes.
int32_t Delta(int32_t now, int32_t was) {
    return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(was));
}
int32_t Apply(int32_t was, int32_t delta) {
    return static_cast<int32_t>(static_cast<uint32_t>(was) + static_cast<uint32_t>(delta));
}

// `guess` is `base` carried on by the motion between the prior snapshot and it (see
// Predict): positions, rotations and clip times are coded as their difference from it,
// which for steady motion is next to nothing.
void WriteGroups(const QState& s, const QState& base, const QState& guess, uint32_t mask, BitWriter& out) {
    // The common cases in short: only moved, moved and turned, only turned.
    if (mask == kPosition) {
        out.Bits(1, 1);
    } else if (mask == (kPosition | kRotation)) {
        out.Bits(1, 2);
    } else if (mask == kRotation) {
        out.Bits(1, 3);
    } else {
        out.Bits(0, 3);
        out.Bits(mask, 7);
    }
    if (mask & kPosition)
        for (int i = 0; i < 3; ++i) out.SmallSigned(Delta(s.position[i], guess.position[i]));
    if (mask & kRotation) {
        const bool same = s.largest == base.largest;
        out.Bit(same);
        if (same) {
            for (int i = 0; i < 3; ++i) out.SmallSigned(Delta(s.rotation[i], guess.rotation[i]));
        } else {
            out.Bits(s.largest, 2);
            for (int i = 0; i < 3; ++i) out.Bits(static_cast<uint32_t>(s.rotation[i] + kRotationMost), 15);
        }
    }
    if (mask & kScale)
        for (int i = 0; i < 3; ++i) out.SmallSigned(Delta(s.scale[i], base.scale[i]));
    if (mask & kColor) out.Bits(s.color, 32);
    if (mask & kOwner) out.Small(static_cast<uint32_t>(s.owner));
    if (mask & kAnimation) {
        out.Small(static_cast<uint32_t>(s.clip + 1));
        out.SmallSigned(Delta(s.timeMs, guess.timeMs));
        out.SmallSigned(Delta(s.speed, base.speed));
        out.Bit(s.loop);
    }
    if (mask & kFade) {
        out.Bit(s.fading);
        if (s.fading) {
            out.Small(static_cast<uint32_t>(s.from + 1));
            out.SmallSigned(Delta(s.fromTimeMs, base.fromTimeMs));
            out.Bit(s.fromLoop);
            out.SmallSigned(Delta(s.fadeLengthMs, base.fadeLengthMs));
            out.SmallSigned(Delta(s.fadedMs, base.fadedMs));
        }
    }
}

// Carries `base` on by what changed from `prior` to it, scaled from the `back`
// snapshots between them to the `ahead` ones between it and the one being coded:
// integer arithmetic both ends do alike. Scales, colours and the rest stay as in base.
QState Predict(const QState& base, const QState* prior, const Prediction& p) {
    QState guess = base;
    if (!prior || p.back < 1 || p.ahead < 1) return guess;
    const auto carry = [&p](int32_t now, int32_t was, int64_t most) {
        const int64_t v = int64_t{now} + (int64_t{now} - was) * p.ahead / p.back;
        return static_cast<int32_t>(std::clamp<int64_t>(v, -most, most));
    };
    for (int i = 0; i < 3; ++i) guess.position[i] = carry(base.position[i], prior->position[i], kMostFixed);
    if (prior->largest == base.largest)
        for (int i = 0; i < 3; ++i) guess.rotation[i] = carry(base.rotation[i], prior->rotation[i], kRotationMost);
    if (prior->clip == base.clip) guess.timeMs = carry(base.timeMs, prior->timeMs, INT32_MAX);
    return guess;
}

// A clip travels one up (the rest pose, -1, as 0); past the most there is, it reads
// as out of range, which the checks below refuse.
int32_t Clip(uint32_t coded) { return coded > kMostClip + 1 ? kMostClip + 1 : static_cast<int32_t>(coded) - 1; }

bool FixedInRange(int32_t v) { return v >= -kMostFixed && v <= kMostFixed; }

bool ReadGroups(BitReader& in, const QState& base, const QState& guess, QState* s) {
    *s = base;
    uint32_t mask = kPosition;
    if (!in.Bit()) mask = in.Bit() ? kPosition | kRotation : in.Bit() ? kRotation : in.Bits(7);
    if (mask & kPosition)
        for (int i = 0; i < 3; ++i) s->position[i] = Apply(guess.position[i], in.SmallSigned());
    if (mask & kRotation) {
        if (in.Bit()) {
            for (int i = 0; i < 3; ++i) s->rotation[i] = Apply(guess.rotation[i], in.SmallSigned());
        } else {
            s->largest = static_cast<uint8_t>(in.Bits(2));
            for (int i = 0; i < 3; ++i) s->rotation[i] = static_cast<int32_t>(in.Bits(15)) - kRotationMost;
        }
    }
    if (mask & kScale)
        for (int i = 0; i < 3; ++i) s->scale[i] = Apply(base.scale[i], in.SmallSigned());
    if (mask & kColor) s->color = in.Bits(32);
    if (mask & kOwner) s->owner = static_cast<int32_t>(in.Small());
    if (mask & kAnimation) {
        s->clip = Clip(in.Small());
        s->timeMs = Apply(guess.timeMs, in.SmallSigned());
        s->speed = Apply(base.speed, in.SmallSigned());
        s->loop = in.Bit();
    }
    if (mask & kFade) {
        s->fading = in.Bit();
        if (s->fading) {
            s->from = Clip(in.Small());
            s->fromTimeMs = Apply(base.fromTimeMs, in.SmallSigned());
            s->fromLoop = in.Bit();
            s->fadeLengthMs = Apply(base.fadeLengthMs, in.SmallSigned());
            s->fadedMs = Apply(base.fadedMs, in.SmallSigned());
        } else {
            s->from = -1;
            s->fromTimeMs = s->fadeLengthMs = s->fadedMs = 0;
            s->fromLoop = false;
        }
    }
    if (in.failed) return false;
    // What Quantise could never have made is forged.
    for (int i = 0; i < 3; ++i)
        if (!FixedInRange(s->position[i]) || !FixedInRange(s->scale[i]) || s->rotation[i] < -kRotationMost ||
            s->rotation[i] > kRotationMost)
            return false;
    return s->owner >= 1 && s->clip >= -1 && s->clip <= kMostClip && s->from >= -1 && s->from <= kMostClip;
}

}  // namespace

QState Quantise(const N3D_Entity& e) {
    QState s;
    s.id = e.id;
    s.owner = e.owner;
    s.model = NameOf(e.model);
    s.name = NameOf(e.name);
    s.position[0] = Fixed(e.position.x, kPositionScale);
    s.position[1] = Fixed(e.position.y, kPositionScale);
    s.position[2] = Fixed(e.position.z, kPositionScale);
    float q[4] = {e.rotation.x, e.rotation.y, e.rotation.z, e.rotation.w};
    float length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!base::Finite(length) || length < 1e-6f) {
        q[0] = q[1] = q[2] = 0.0f;
        q[3] = length = 1.0f;
    }
    int largest = 0;
    for (int i = 1; i < 4; ++i)
        if (std::fabs(q[i]) > std::fabs(q[largest])) largest = i;
    // q and -q turn alike: the left-out component is made positive.
    const float sign = q[largest] < 0 ? -1.0f : 1.0f;
    s.largest = static_cast<uint8_t>(largest);
    for (int i = 0, k = 0; i < 4; ++i) {
        if (i == largest) continue;
        const float c = sign * q[i] / length;
        s.rotation[k++] = std::clamp(static_cast<int32_t>(std::lround(c * kRotationScale)), -kRotationMost, kRotationMost);
    }
    s.scale[0] = Fixed(e.scale.x, kScaleScale);
    s.scale[1] = Fixed(e.scale.y, kScaleScale);
    s.scale[2] = Fixed(e.scale.z, kScaleScale);
    s.color = (uint32_t{e.color[0]} << 24) | (uint32_t{e.color[1]} << 16) | (uint32_t{e.color[2]} << 8) | e.color[3];
    const N3D_Animation& a = e.animation;
    s.clip = std::clamp(a.clip, -1, kMostClip);
    s.timeMs = Millis(a.time);
    s.speed = Fixed(a.speed, 256.0f);
    s.loop = a.loop;
    s.fading = a.fading;
    if (a.fading) {
        s.from = std::clamp(a.from, -1, kMostClip);
        s.fromTimeMs = Millis(a.fromTime);
        s.fromLoop = a.fromLoop;
        s.fadeLengthMs = Millis(a.fadeLength);
        s.fadedMs = Millis(a.faded);
    }
    return s;
}

N3D_Entity Restore(const QState& s) {
    N3D_Entity e{};
    e.id = s.id;
    e.owner = s.owner;
    CopyName(e.model, s.model);
    CopyName(e.name, s.name);
    e.position = {s.position[0] / kPositionScale, s.position[1] / kPositionScale, s.position[2] / kPositionScale};
    float q[4];
    float sum = 0.0f;
    for (int i = 0, k = 0; i < 4; ++i) {
        if (i == s.largest) continue;
        q[i] = static_cast<float>(s.rotation[k++]) / kRotationScale;
        sum += q[i] * q[i];
    }
    q[s.largest & 3] = std::sqrt(std::max(0.0f, 1.0f - sum));
    e.rotation = {q[0], q[1], q[2], q[3]};
    e.scale = {s.scale[0] / kScaleScale, s.scale[1] / kScaleScale, s.scale[2] / kScaleScale};
    e.color[0] = static_cast<unsigned char>(s.color >> 24);
    e.color[1] = static_cast<unsigned char>(s.color >> 16);
    e.color[2] = static_cast<unsigned char>(s.color >> 8);
    e.color[3] = static_cast<unsigned char>(s.color);
    N3D_Animation& a = e.animation;
    a.clip = s.clip;
    a.time = s.timeMs / 1000.0f;
    a.speed = s.speed / 256.0f;
    a.loop = s.loop;
    a.fading = s.fading;
    a.from = s.from;
    a.fromTime = s.fromTimeMs / 1000.0f;
    a.fromLoop = s.fromLoop;
    a.fadeLength = s.fadeLengthMs / 1000.0f;
    a.faded = s.fadedMs / 1000.0f;
    return e;
}

const QState* FindState(const World* world, int32_t id) {
    if (!world) return nullptr;
    auto it = std::lower_bound(world->begin(), world->end(), id, [](const QState& s, int32_t v) { return s.id < v; });
    return it != world->end() && it->id == id ? &*it : nullptr;
}

void EncodeWorld(const World* base, const World& now, BitWriter& out) { EncodeWorld(base, Prediction{}, now, out); }

void EncodeWorld(const World* base, const Prediction& prediction, const World& now, BitWriter& out) {
    static const World kNothing;
    const World& was = base ? *base : kNothing;
    // Records first into their own stream, counted, so the count can lead.
    BitWriter records;
    uint32_t count = 0;
    int32_t previous = 0;
    auto begin = [&](int32_t id, Record kind) {
        records.Small(static_cast<uint32_t>(id - previous - 1));
        records.Bits(kind, 2);
        previous = id;
        ++count;
    };
    static const QState kBlank;
    auto fresh = [&](const QState& s) {
        begin(s.id, kNew);
        records.Text(s.model);
        records.Text(s.name);
        WriteGroups(s, kBlank, kBlank, kAllGroups, records);
    };
    size_t i = 0, k = 0;
    while (i < was.size() || k < now.size()) {
        if (k == now.size() || (i < was.size() && was[i].id < now[k].id)) {
            begin(was[i].id, kRemoved);
            ++i;
        } else if (i == was.size() || now[k].id < was[i].id) {
            fresh(now[k]);
            ++k;
        } else {
            if (now[k].model != was[i].model || now[k].name != was[i].name) {
                fresh(now[k]);  // another model or name under the same id: it is new again
            } else if (const uint32_t mask = Changed(now[k], was[i])) {
                begin(now[k].id, kChanged);
                const QState guess = Predict(was[i], FindState(prediction.prior, now[k].id), prediction);
                WriteGroups(now[k], was[i], guess, mask, records);
            }
            ++i;
            ++k;
        }
    }
    out.Small(count);
    for (uint8_t byte : records.Bytes()) out.Byte(byte);
}

bool DecodeWorld(const World* base, BitReader& in, World* out) { return DecodeWorld(base, Prediction{}, in, out); }

bool DecodeWorld(const World* base, const Prediction& prediction, BitReader& in, World* out) {
    static const World kNothing;
    static const QState kBlank;
    const World& was = base ? *base : kNothing;
    out->clear();
    const uint32_t count = in.Small();
    if (in.failed || count > kMostEntities) return false;
    size_t i = 0;
    int64_t previous = 0;
    for (uint32_t r = 0; r < count; ++r) {
        const int64_t id = previous + 1 + static_cast<int64_t>(in.Small());
        const uint32_t kind = in.Bits(2);
        if (in.failed || id > INT32_MAX) return false;
        previous = id;
        while (i < was.size() && was[i].id < id) out->push_back(was[i++]);  // unchanged
        const bool known = i < was.size() && was[i].id == id;
        if (kind == kRemoved || kind == kChanged) {
            if (!known) return false;
            if (kind == kChanged) {
                QState s;
                const QState guess = Predict(was[i], FindState(prediction.prior, static_cast<int32_t>(id)), prediction);
                if (!ReadGroups(in, was[i], guess, &s)) return false;
                out->push_back(std::move(s));
            }
            ++i;
        } else if (kind == kNew) {
            QState s = kBlank;
            std::string model = in.Text(N3D_MAX_NAME - 1);
            std::string name = in.Text(N3D_MAX_NAME - 1);
            if (!ReadGroups(in, kBlank, kBlank, &s)) return false;
            s.id = static_cast<int32_t>(id);
            s.model = std::move(model);
            s.name = std::move(name);
            out->push_back(std::move(s));
            if (known) ++i;  // replaced
        } else {
            return false;
        }
    }
    while (i < was.size()) out->push_back(was[i++]);
    return !in.failed && out->size() <= kMostEntities;
}

void EncodeState(const QState& state, BitWriter& out) {
    static const QState kBlank;
    out.Small(static_cast<uint32_t>(state.id));
    WriteGroups(state, kBlank, kBlank, kAllGroups, out);
}

bool DecodeState(BitReader& in, QState* out) {
    static const QState kBlank;
    const uint32_t id = in.Small();
    if (in.failed || id == 0 || id > INT32_MAX || !ReadGroups(in, kBlank, kBlank, out)) return false;
    out->id = static_cast<int32_t>(id);
    return true;
}

}  // namespace n3d
