// Packet fuzzer: what a peer sends, mutated, fed to the readers of the network
// layer: Session::Receive of a server (as from its client), of a client (as from
// its server) and of a client still waiting for its welcome; DecodeWorld with and
// without a baseline, DecodeState, and BitReader against a reader of its own.
//
//   network_fuzz [--seed N] [--packets N | --seconds S] [--keep DIR] [--strict]
//
// The packets start valid (snapshots coded against a baseline, owned states,
// messages, acknowledgements, welcomes), get one to four byte-level mutations, or
// are random bytes or a random stream of the coder's own fields. After each, the
// sessions must hold together: the same state, no joins or leaves, messages and
// owners' changes only as a peer may send them, sampled entities finite, and at
// most one warning of each kind for each peer. Decoded worlds must be ones the
// coder could have sent, and code back to themselves; unmutated ones decode to
// exactly what was coded. At the end a client fed clean snapshots shows them, and
// the server still serves a client that joins. The first fault found is printed
// and ends the run with status 1.
//
// The sessions are real, on loopback, serviced now and then; with --keep each
// packet is written to DIR/packet before it is read, so a crash leaves the one
// that did it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Fuzz.h"
#include "Relay.h"
#include "base/Log.h"
#include "n3d.h"
#include "session.h"
#include "snapshot.h"
#include "wire.h"

namespace {

using Bytes = std::vector<uint8_t>;
using TestSupport::Pick;

double Now() {
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string keepDir;
long packetNumber = 0;

// Faults of the layer this fuzzer knows of: counted and printed rather than failed
// (--strict fails on them), so that the run goes on to find others.
bool strict = false;
struct Known {
    long nulChannels = 0;    // a message's channel holding a NUL byte is taken
    long eventsForged = 0;   // ... and the game reads it as "", "Joined" or "Left"
    long clipOverflows = 0;  // packets left unread: a clip of 2^31 overflows the reader's "- 1"
} known;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "network_fuzz: FAILED at packet %ld: %s\n", packetNumber, what.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

void Keep(const Bytes& packet) {
    if (keepDir.empty()) return;
    std::ofstream out(keepDir + "/packet", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(packet.data()), static_cast<std::streamsize>(packet.size()));
}

// -- Worlds -----------------------------------------------------------------------

constexpr int32_t kMostFixed = 1 << 30;
constexpr int32_t kRotationMost = 16383;
constexpr int32_t kMostClip = 32766;

const float kFloats[] = {0.0f,   -0.0f,  1.0f,    -1.0f,   0.5f,     1e-30f,    1e30f,
                         -1e30f, 4.2e6f, -4.2e6f, 3.4e38f, INFINITY, -INFINITY, NAN};

float RandomFloat(std::mt19937& r) {
    if (r() % 8 == 0) return kFloats[Pick(std::size(kFloats), r)];
    return std::uniform_real_distribution<float>(-300.0f, 300.0f)(r);
}

std::string RandomName(std::mt19937& r) {
    const size_t n = r() % 6 == 0 ? Pick(300, r) : Pick(16, r);
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(1 + Pick(255, r)));
    return s;
}

N3D_Entity RandomEntity(int id, std::mt19937& r) {
    N3D_Entity e{};
    e.id = id;
    e.owner = 1 + static_cast<int>(Pick(4, r));
    const std::string model = RandomName(r), name = RandomName(r);
    std::strncpy(e.model, model.c_str(), N3D_MAX_NAME - 1);
    std::strncpy(e.name, name.c_str(), N3D_MAX_NAME - 1);
    e.position = {RandomFloat(r), RandomFloat(r), RandomFloat(r)};
    e.rotation = {RandomFloat(r), RandomFloat(r), RandomFloat(r), RandomFloat(r)};
    e.scale = r() % 3 ? Vector3{1, 1, 1} : Vector3{RandomFloat(r), RandomFloat(r), RandomFloat(r)};
    for (unsigned char& c : e.color) c = static_cast<unsigned char>(r());
    N3D_Animation& a = e.animation;
    a.clip = r() % 3 ? -1 : static_cast<int>(r() % 40000) - 2;
    a.time = RandomFloat(r);
    a.speed = r() % 2 ? 1.0f : RandomFloat(r);
    a.loop = r() % 2;
    a.fading = r() % 4 == 0;
    a.from = static_cast<int>(r() % 40000) - 2;
    a.fromTime = RandomFloat(r);
    a.fromLoop = r() % 2;
    a.fadeLength = RandomFloat(r);
    a.faded = RandomFloat(r);
    return e;
}

n3d::World RandomWorld(std::mt19937& r, size_t most = 40) {
    n3d::World w;
    int id = 0;
    for (size_t n = Pick(most, r); n > 0; --n) {
        id += 1 + static_cast<int>(r() % 8 == 0 ? Pick(100000, r) : Pick(3, r));
        w.push_back(n3d::Quantise(RandomEntity(id, r)));
    }
    return w;
}

// A world some time after `base`: entities moved, turned, recoloured, renamed,
// removed, added.
n3d::World Evolve(const n3d::World& base, std::mt19937& r) {
    n3d::World w;
    for (const n3d::QState& was : base) {
        if (r() % 12 == 0) continue;
        n3d::QState s = was;
        const unsigned change = r() % 10;
        if (change < 5)
            for (int i = 0; i < 3; ++i)
                s.position[i] =
                    std::clamp(s.position[i] + static_cast<int32_t>(Pick(41, r)) - 20, -kMostFixed, kMostFixed);
        if (change == 5 || change == 6) {
            N3D_Entity e = n3d::Restore(s);
            e.rotation = {RandomFloat(r), RandomFloat(r), RandomFloat(r), RandomFloat(r)};
            const n3d::QState turned = n3d::Quantise(e);
            s.largest = turned.largest;
            std::copy(turned.rotation, turned.rotation + 3, s.rotation);
        }
        if (change == 7) {
            N3D_Entity e = RandomEntity(s.id, r);
            n3d::QState other = n3d::Quantise(e);
            other.model = s.model;
            other.name = s.name;
            s = other;
        }
        if (change == 8) s.name = n3d::Quantise(RandomEntity(s.id, r)).name;
        w.push_back(s);
    }
    for (const n3d::QState& added : RandomWorld(r, 6))
        if (std::none_of(w.begin(), w.end(), [&](const n3d::QState& s) { return s.id == added.id; }))
            w.push_back(added);
    std::sort(w.begin(), w.end(), [](const n3d::QState& a, const n3d::QState& b) { return a.id < b.id; });
    return w;
}

bool Same(const n3d::QState& a, const n3d::QState& b) {
    return a.id == b.id && a.owner == b.owner && a.model == b.model && a.name == b.name &&
           std::equal(a.position, a.position + 3, b.position) && a.largest == b.largest &&
           std::equal(a.rotation, a.rotation + 3, b.rotation) && std::equal(a.scale, a.scale + 3, b.scale) &&
           a.color == b.color && a.clip == b.clip && a.timeMs == b.timeMs && a.speed == b.speed && a.loop == b.loop &&
           a.fading == b.fading && a.from == b.from && a.fromTimeMs == b.fromTimeMs && a.fromLoop == b.fromLoop &&
           a.fadeLengthMs == b.fadeLengthMs && a.fadedMs == b.fadedMs;
}

bool Same(const n3d::World& a, const n3d::World& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!Same(a[i], b[i])) return false;
    return true;
}

// Whether a client shows `world` as it is: sampled between two snapshots of the
// same world, an entity is its restored state, but for the rotation's rounding
// and the animation's playback carried on to the moment sampled.
bool Shows(const std::vector<N3D_Entity>& seen, const n3d::World& world) {
    if (seen.size() != world.size()) return false;
    for (size_t i = 0; i < seen.size(); ++i) {
        const N3D_Entity& a = seen[i];
        const N3D_Entity b = n3d::Restore(world[i]);
        const float dot = a.rotation.x * b.rotation.x + a.rotation.y * b.rotation.y + a.rotation.z * b.rotation.z +
                          a.rotation.w * b.rotation.w;
        if (a.id != b.id || a.owner != b.owner || std::strcmp(a.model, b.model) != 0 ||
            std::strcmp(a.name, b.name) != 0 || std::memcmp(&a.position, &b.position, sizeof a.position) != 0 ||
            std::memcmp(&a.scale, &b.scale, sizeof a.scale) != 0 || std::memcmp(a.color, b.color, 4) != 0 ||
            std::fabs(dot) < 0.999999f || a.animation.clip != b.animation.clip)
            return false;
    }
    return true;
}

// What the coder could have written for one entity; "" when so.
std::string Forged(const n3d::QState& s) {
    auto fixed = [](const int32_t* v) {
        return std::all_of(v, v + 3, [](int32_t x) { return x >= -kMostFixed && x <= kMostFixed; });
    };
    if (s.id < 1) return "an id below 1";
    if (!fixed(s.position) || !fixed(s.scale)) return "a position or scale out of range";
    if (s.largest > 3) return "a rotation's left-out component past w";
    if (!std::all_of(s.rotation, s.rotation + 3, [](int32_t x) { return x >= -kRotationMost && x <= kRotationMost; }))
        return "a rotation component out of range";
    if (s.owner < 1) return "an owner below 1";
    if (s.clip < -1 || s.clip > kMostClip || s.from < -1 || s.from > kMostClip) return "a clip out of range";
    if (s.model.size() > N3D_MAX_NAME - 1 || s.name.size() > N3D_MAX_NAME - 1) return "a name too long";
    if (!s.fading && (s.from != -1 || s.fromTimeMs || s.fromLoop || s.fadeLengthMs || s.fadedMs))
        return "a fade's fields without a fade";
    return "";
}

// A world DecodeWorld accepted: ids ascending, every state one the coder could
// have made, and coded again against the same baseline it reads back the same.
void CheckDecoded(const n3d::World* base, const n3d::World& w, const char* what) {
    for (size_t i = 0; i < w.size(); ++i) {
        if (i > 0 && w[i].id <= w[i - 1].id) Fail(std::string(what) + ": ids out of order in a decoded world");
        const std::string forged = Forged(w[i]);
        if (!forged.empty()) Fail(std::string(what) + ": a decoded world holds " + forged);
    }
    n3d::BitWriter again;
    n3d::EncodeWorld(base, w, again);
    n3d::BitReader in(again.Bytes().data(), again.Bytes().size());
    n3d::World back;
    if (!n3d::DecodeWorld(base, in, &back) || !Same(back, w))
        Fail(std::string(what) + ": a decoded world coded again does not read back the same");
}

// -- The clip the reader cannot take ---------------------------------------------------
// ReadGroups takes a clip (and a fade's clip) as int32_t(Small()) - 1, which overflows
// for exactly 2^31. Whether a reader could meet one is told by walking the fields as
// the readers do, but on past anything they would refuse (an id it lacks, a value out
// of range): the walk reads every field they might, so it errs only towards leaving out.

bool GroupsMeetOverflow(n3d::BitReader& in) {
    uint32_t mask = 1u;
    if (!in.Bit()) mask = in.Bit() ? 3u : in.Bit() ? 2u : in.Bits(7);
    auto small = [&] { return in.Small(); };
    if (mask & 1u)
        for (int i = 0; i < 3; ++i) small();
    if (mask & 2u) {
        if (in.Bit()) {
            for (int i = 0; i < 3; ++i) small();
        } else {
            in.Bits(2);
            for (int i = 0; i < 3; ++i) in.Bits(15);
        }
    }
    if (mask & 4u)
        for (int i = 0; i < 3; ++i) small();
    if (mask & 8u) in.Bits(32);
    if (mask & 16u) small();
    bool met = false;
    if (mask & 32u) {
        met |= small() == 0x80000000u && !in.failed;
        small(), small(), in.Bit();
    }
    if ((mask & 64u) && in.Bit()) {
        met |= small() == 0x80000000u && !in.failed;
        small(), in.Bit(), small(), small();
    }
    return met;
}

bool WorldMeetsOverflow(n3d::BitReader& in) {
    const uint32_t count = in.Small();
    for (uint32_t r = 0; r < std::min<uint32_t>(count, n3d::kMostEntities) && !in.failed; ++r) {
        in.Small();
        const uint32_t kind = in.Bits(2);
        if (kind == 0) continue;
        if (kind == 3) return false;
        if (kind == 2) in.Text(N3D_MAX_NAME - 1), in.Text(N3D_MAX_NAME - 1);
        if (GroupsMeetOverflow(in)) return true;
    }
    return false;
}

bool StateMeetsOverflow(n3d::BitReader& in) {
    in.Small();
    return GroupsMeetOverflow(in);
}

// Whether a packet, read by Receive, might reach such a clip.
bool PacketMeetsOverflow(const Bytes& packet) {
    if (packet.empty()) return false;
    n3d::BitReader in(packet.data() + 1, packet.size() - 1);
    if (packet[0] == n3d::kSnapshot) {
        in.Small(), in.Small(), in.Small(), in.Bits(32);
        return WorldMeetsOverflow(in);
    }
    if (packet[0] == n3d::kOwned) {
        const uint32_t count = in.Small();
        for (uint32_t i = 0; i < std::min<uint32_t>(count, 4096) && !in.failed; ++i)
            if (StateMeetsOverflow(in)) return true;
    }
    return false;
}

// Counts and leaves out what would meet it, unless --strict.
bool LeaveOut(bool meets) {
    if (!meets || strict) return false;
    ++known.clipOverflows;
    return true;
}

// -- Byte mutations and random streams ------------------------------------------------

void Mutate(Bytes& packet, std::mt19937& r) {
    // The first bytes hold the kind and the header's numbers.
    TestSupport::MutateFile(packet, r, 8);
}

const uint32_t kTelling[] = {0u,          1u,          2u,          127u,        128u,        16383u,
                             16384u,      32766u,      32767u,      65535u,      65536u,      0x3FFFFFFFu,
                             0x40000000u, 0x7FFFFFFEu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};

uint32_t TellingOrRandom(std::mt19937& r) {
    switch (r() % 4) {
        case 0:
            return kTelling[Pick(std::size(kTelling), r)];
        case 1:
            return static_cast<uint32_t>(Pick(8, r));
        case 2:
            return static_cast<uint32_t>(r());
        default:
            return static_cast<uint32_t>(Pick(200, r));
    }
}

// A record stream in the coder's own fields with values from anywhere: reaches
// what byte mutations of a valid packet rarely do (a count, an id or a clip at
// the edges of its range).
void RandomRecords(n3d::BitWriter& out, std::mt19937& r) {
    const uint32_t count = r() % 8 == 0 ? TellingOrRandom(r) : static_cast<uint32_t>(Pick(12, r));
    out.Small(count);
    for (uint32_t i = 0; i < std::min<uint32_t>(count, 40); ++i) {
        out.Small(r() % 4 == 0 ? TellingOrRandom(r) : static_cast<uint32_t>(Pick(3, r)));
        const uint32_t kind = static_cast<uint32_t>(Pick(4, r));
        out.Bits(kind, 2);
        if (kind == 2) {
            for (int t = 0; t < 2; ++t) {
                const size_t n = Pick(r() % 8 == 0 ? 256 : 20, r);
                out.Byte(static_cast<uint8_t>(n));
                for (size_t k = 0; k < n; ++k) out.Byte(static_cast<uint8_t>(r()));
            }
        }
        const bool onlyMoved = r() % 2;
        out.Bit(onlyMoved);
        const uint32_t mask = onlyMoved ? 1u : static_cast<uint32_t>(Pick(128, r));
        if (!onlyMoved) out.Bits(mask, 7);
        for (int group = 0; group < 7; ++group) {
            if (!(mask & (1u << group))) continue;
            // Each group as several fields of any size: the reader takes what it takes.
            for (size_t f = 1 + Pick(6, r); f > 0; --f) {
                if (r() % 3 == 0)
                    out.Bits(static_cast<uint32_t>(r()), 1 + static_cast<int>(Pick(32, r)));
                else
                    out.Small(TellingOrRandom(r));
            }
        }
    }
}

Bytes RandomBytes(std::mt19937& r) {
    Bytes b(Pick(r() % 16 == 0 ? 3000 : 64, r));
    for (uint8_t& c : b) c = static_cast<uint8_t>(r());
    return b;
}

// -- BitReader against a reader of the fuzzer's own ------------------------------------

struct PlainReader {
    const Bytes& data;
    size_t bit = 0;
    bool failed = false;
    uint32_t Bits(int count) {
        if (failed || bit + static_cast<size_t>(count) > data.size() * 8) {
            failed = true;
            return 0;
        }
        uint32_t v = 0;
        for (int i = 0; i < count; ++i, ++bit) v = v * 2 + ((data[bit / 8] >> (7 - bit % 8)) & 1);
        return v;
    }
    uint32_t Small() {  // Elias gamma of value + 1
        int zeros = 0;
        while (!failed && Bits(1) == 0 && ++zeros <= 32) {}
        if (zeros > 32) failed = true;
        if (failed) return 0;
        uint64_t v = 1;
        for (int i = 0; i < zeros; ++i) v = v * 2 + Bits(1);
        if (v - 1 > 0xFFFFFFFFu) failed = true;
        return failed ? 0 : static_cast<uint32_t>(v - 1);
    }
};

void FuzzBitReader(std::mt19937& r, long* reads) {
    // Read from a copy of exactly its size: a read past the end is the sanitizer's to see.
    Bytes data = RandomBytes(r);
    n3d::BitReader in(data.data(), data.size());
    PlainReader plain{data};
    for (int op = 0; op < 24; ++op) {
        ++*reads;
        const unsigned what = r() % 5;
        if (what == 0) {
            const int n = static_cast<int>(Pick(33, r));
            if (in.Bits(n) != plain.Bits(n)) Fail("BitReader::Bits read another value than the bits there");
        } else if (what == 1) {
            if (in.Small() != plain.Small()) Fail("BitReader::Small read another value than the bits there");
        } else if (what == 2) {
            const uint32_t v = plain.Small();
            const int32_t expected = static_cast<int32_t>((v >> 1) ^ (0u - (v & 1u)));
            if (in.SmallSigned() != expected) Fail("BitReader::SmallSigned read another value than the bits there");
        } else if (what == 3) {
            const size_t most = Pick(300, r);
            const std::string text = in.Text(most);
            const uint32_t n = plain.Bits(8);
            std::string expected;
            if (n > most) plain.failed = true;
            for (uint32_t i = 0; i < n && !plain.failed; ++i) expected.push_back(static_cast<char>(plain.Bits(8)));
            if (plain.failed) expected.clear();
            if (text != expected) Fail("BitReader::Text read another text than the bytes there");
        } else {
            if (in.Byte() != plain.Bits(8)) Fail("BitReader::Byte read another value than the bits there");
        }
        if (in.failed != plain.failed)
            Fail("BitReader failed where the bits did not run out, or went on where they did");
        if (in.AtEnd() != (plain.bit + 8 > data.size() * 8)) Fail("BitReader::AtEnd is wrong");
    }
}

// What BitWriter writes, BitReader reads back.
void FuzzBitRoundTrip(std::mt19937& r) {
    struct Op {
        int what, count;
        uint32_t value;
        std::string text;
    };
    std::vector<Op> ops;
    n3d::BitWriter out;
    for (size_t n = Pick(30, r); n > 0; --n) {
        Op op{static_cast<int>(r() % 4), 1 + static_cast<int>(Pick(32, r)), TellingOrRandom(r), ""};
        if (op.what == 0) op.value &= op.count == 32 ? 0xFFFFFFFFu : (1u << op.count) - 1;
        if (op.what == 0) out.Bits(op.value, op.count);
        if (op.what == 1) out.Small(op.value);
        if (op.what == 2) out.SmallSigned(static_cast<int32_t>(op.value));
        if (op.what == 3) {
            op.text = RandomName(r).substr(0, 255);
            out.Text(op.text);
        }
        ops.push_back(op);
    }
    n3d::BitReader in(out.Bytes().data(), out.Bytes().size());
    for (const Op& op : ops) {
        bool same = true;
        if (op.what == 0) same = in.Bits(op.count) == op.value;
        if (op.what == 1) same = in.Small() == op.value;
        if (op.what == 2) same = in.SmallSigned() == static_cast<int32_t>(op.value);
        if (op.what == 3) same = in.Text(255) == op.text;
        if (!same || in.failed) Fail("BitReader did not read back what BitWriter wrote");
    }
    if (!in.AtEnd()) Fail("BitReader is not at its end after reading all BitWriter wrote");
}

// -- DecodeWorld and DecodeState ----------------------------------------------------

struct DecodeCounts {
    long worlds = 0, accepted = 0, states = 0, statesAccepted = 0;
};

void FuzzDecodeWorld(std::mt19937& r, DecodeCounts& counts) {
    const n3d::World base = RandomWorld(r);
    const n3d::World now = Evolve(base, r);
    const bool withBase = r() % 3 != 0;
    const n3d::World* baseline = withBase ? &base : nullptr;
    // Half the time changes are coded as their difference from a prediction: the motion
    // from an earlier world (the baseline's own ancestor) to the baseline, carried on.
    const n3d::World before = withBase ? Evolve(base, r) : n3d::World{};
    n3d::Prediction prediction;
    if (withBase && r() % 2 == 0) {
        prediction.prior = &before;
        prediction.back = 1 + static_cast<int32_t>(r() % 8);
        prediction.ahead = 1 + static_cast<int32_t>(r() % 8);
    }
    n3d::BitWriter out;
    n3d::EncodeWorld(baseline, prediction, now, out);
    {
        n3d::BitReader in(out.Bytes().data(), out.Bytes().size());
        n3d::World back;
        if (!n3d::DecodeWorld(baseline, prediction, in, &back) || !Same(back, now))
            Fail(std::string("a world coded ") + (withBase ? "against a baseline" : "whole") +
                 (prediction.prior ? " with a prediction" : "") + " did not read back the same");
    }
    Bytes data = out.Bytes();
    const unsigned how = r() % 8;
    if (how < 5) {
        Mutate(data, r);
    } else if (how == 5) {
        data = RandomBytes(r);
    } else {
        n3d::BitWriter records;
        RandomRecords(records, r);
        data = records.Bytes();
    }
    // Read against the baseline it was coded with, another one, or none.
    const unsigned against = r() % 4;
    const n3d::World other = RandomWorld(r);
    const n3d::World* readBase = against == 0 ? nullptr : against == 1 ? &other : baseline;
    {
        n3d::BitReader scan(data.data(), data.size());
        if (LeaveOut(WorldMeetsOverflow(scan))) return;
    }
    Keep(data);
    n3d::BitReader in(data.data(), data.size());
    n3d::World decoded;
    ++counts.worlds;
    const n3d::Prediction readPrediction = r() % 2 ? prediction : n3d::Prediction{};
    if (n3d::DecodeWorld(readBase, readPrediction, in, &decoded)) {
        ++counts.accepted;
        CheckDecoded(readBase, decoded, "DecodeWorld");
    }
}

void FuzzDecodeState(std::mt19937& r, DecodeCounts& counts) {
    n3d::QState s = n3d::Quantise(RandomEntity(1 + static_cast<int>(Pick(1000, r)), r));
    s.model.clear(), s.name.clear();
    n3d::BitWriter out;
    n3d::EncodeState(s, out);
    {
        n3d::BitReader in(out.Bytes().data(), out.Bytes().size());
        n3d::QState back;
        if (!n3d::DecodeState(in, &back) || !Same(back, s)) Fail("a state coded did not read back the same");
    }
    Bytes data = out.Bytes();
    if (r() % 4 == 0)
        data = RandomBytes(r);
    else
        Mutate(data, r);
    {
        n3d::BitReader scan(data.data(), data.size());
        if (LeaveOut(StateMeetsOverflow(scan))) return;
    }
    Keep(data);
    n3d::BitReader in(data.data(), data.size());
    n3d::QState decoded;
    ++counts.states;
    if (n3d::DecodeState(in, &decoded)) {
        ++counts.statesAccepted;
        const std::string forged = Forged(decoded);
        if (!forged.empty()) Fail("DecodeState accepted " + forged);
    }
}

// -- Sessions --------------------------------------------------------------------------

bool HostOnFreePort(n3d::Session& server, int most, int* port) {
    for (int tries = 0; tries < 20; ++tries) {
        *port = FreeUdpPort();
        if (server.Host(*port, most)) return true;
    }
    return false;
}

// Every warning since the last look, and whose they were.
struct Warnings {
    base::WarningCapture capture;
    size_t seen = 0;
    std::vector<std::string> Take() {
        const std::vector<std::string> lines = capture.Lines();
        std::vector<std::string> fresh(lines.begin() + static_cast<long>(seen), lines.end());
        seen = lines.size();
        return fresh;
    }
};

// A session's complaints: at most one that a peer sent something unreadable,
// one that it changed what it does not own, for each peer of a session's life.
struct Complaints {
    const char* who;
    int unreadable = 0, notOwned = 0;  // of the peer now
    long all = 0, allNotOwned = 0;     // over the run
    void Note(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            ++all;
            if (line.find("it is ignored, as is anything else unreadable") != std::string::npos)
                ++unreadable;
            else if (line.find("which it does not own") != std::string::npos)
                ++notOwned, ++allNotOwned;
            else
                Fail(std::string(who) + " said what it should not: " + line);
        }
        if (unreadable > 1 || notOwned > 1)
            Fail(std::string(who) + " complained of one peer more than once of a kind: " + lines.back());
    }
};

struct Fuzzer {
    std::mt19937 r;
    Warnings warnings;
    n3d::Session server, client;
    std::unique_ptr<n3d::Session> joining;  // a client waiting for its welcome
    int port = 0, clientPeer = 0;
    n3d::World serverWorld;  // as set on the server, with owners
    // The snapshots this fuzzer has sent the client as its server (even numbers),
    // by number; a mutant goes under an odd one unless its mutation says otherwise.
    std::vector<std::pair<uint32_t, n3d::World>> sent;
    uint32_t nextSeq = 1000;
    uint32_t newestSeen = 0;  // the highest number a snapshot the client read may have had
    uint32_t snapshotMs = 0;
    Complaints serverSaid{"the server"}, clientSaid{"the client"}, joiningSaid{"a joining client"};
    long welcomesTaken = 0, joinings = 0, messages = 0, owned = 0, serviced = 0, clientsRemade = 0;
    long fed[3] = {0, 0, 0};

    explicit Fuzzer(unsigned seed) : r(seed) {}

    void Start() {
        // Never timed out: the run services the sessions only now and then.
        server.settings.timeoutSeconds = 600;
        client.settings.timeoutSeconds = 600;
        if (!HostOnFreePort(server, 4, &port)) Fail("no port to host on");
        Join(client);
        clientPeer = client.PeerId();
        // Entities: some the client owns, one of a peer that is not there, the rest the server's.
        std::vector<N3D_Entity> entities;
        for (int id = 1; id <= 12; ++id) {
            N3D_Entity e = RandomEntity(id, r);
            e.owner = id % 3 == 0 ? clientPeer : id == 7 ? clientPeer + 1 : N3D_SERVER_PEER;
            entities.push_back(e);
        }
        server.SetEntities(entities.data(), static_cast<int>(entities.size()), Now());
        for (const N3D_Entity& e : entities) serverWorld.push_back(n3d::Quantise(e));
        MakeJoining();
        Service();
        warnings.Take();
    }

    void Join(n3d::Session& c) {
        if (!c.Connect("127.0.0.1", port)) Fail("a client could not start joining");
        const double until = Now() + 20;
        while (c.State() != N3D_CLIENT) {
            if (Now() > until) Fail("a client was not welcomed within 20 s");
            server.Service(Now());
            c.Service(Now());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        N3D_Event e;
        while (c.NextEvent(&e)) {
        }
        while (server.NextEvent(&e)) {
        }
    }

    // A client that asked to join a port where nobody listens: its server is peer 1,
    // not yet welcomed, for as long as no welcome is fed to it.
    void MakeJoining() {
        joining = std::make_unique<n3d::Session>();
        if (!joining->Connect("127.0.0.1", FreeUdpPort())) Fail("a joining client could not start");
        joiningSaid.unreadable = joiningSaid.notOwned = 0;
        ++joinings;
    }

    void Service() {
        ++serviced;
        server.Service(Now());
        client.Service(Now());
        // The client's acknowledgements of forged numbers reach the server here; a
        // complaint of peer 1 is the client's, of its server.
        for (const std::string& line : warnings.Take())
            (line.find("peer 1 ") != std::string::npos ? clientSaid : serverSaid).Note({line});
        N3D_Event e;
        while (server.NextEvent(&e)) Fail("the server had an event while servicing: " + std::string(e.channel));
        while (client.NextEvent(&e)) Fail("the client had an event while servicing: " + std::string(e.channel));
    }

    // -- Packets as they are made ---------------------------------------------------

    Bytes Message(const std::string& channel, const std::string& text) {
        Bytes b{n3d::kMessage, static_cast<uint8_t>(channel.size())};
        b.insert(b.end(), channel.begin(), channel.end());
        b.insert(b.end(), text.begin(), text.end());
        return b;
    }

    Bytes RandomMessage() {
        static const char* const kNames[] = {"Joined", "Left", "chat", "rtt"};
        std::string channel = r() % 4 == 0 ? kNames[Pick(4, r)] : RandomName(r).substr(0, 1 + Pick(N3D_MAX_CHANNEL, r));
        if (channel.empty()) channel = "c";
        std::string text(Pick(r() % 32 == 0 ? N3D_MAX_MESSAGE + 2 : 40, r), 'x');
        for (char& c : text) c = static_cast<char>(r());
        return Message(channel, text);
    }

    Bytes Ack(uint32_t seq) {
        n3d::BitWriter w;
        w.Byte(n3d::kAck);
        w.Small(seq);
        return w.Bytes();
    }

    Bytes Welcome(uint32_t id, uint32_t rate) {
        n3d::BitWriter w;
        w.Byte(n3d::kWelcome);
        w.Byte(static_cast<uint8_t>(n3d::kProtocol & 0xff));
        w.Small(id);
        w.Small(rate);
        return w.Bytes();
    }

    // States for entities of the server's world (owned by the client or not) or of none.
    Bytes Owned(std::vector<n3d::QState>* states) {
        n3d::BitWriter w;
        w.Byte(n3d::kOwned);
        const size_t n = 1 + Pick(6, r);
        w.Small(static_cast<uint32_t>(n));
        for (size_t i = 0; i < n; ++i) {
            const int id = r() % 8 == 0 ? 100 + static_cast<int>(Pick(50, r)) : 1 + static_cast<int>(Pick(12, r));
            n3d::QState s = n3d::Quantise(RandomEntity(id, r));
            s.model.clear(), s.name.clear();
            n3d::EncodeState(s, w);
            states->push_back(s);
        }
        return w.Bytes();
    }

    Bytes Snapshot(uint32_t seq, uint32_t base, uint32_t ms, const n3d::World& world) {
        const n3d::World* baseline = nullptr;
        for (const auto& [number, w] : sent)
            if (number == base) baseline = &w;
        n3d::BitWriter out;
        out.Byte(n3d::kSnapshot);
        out.Small(seq);
        out.Small(baseline ? base : 0);
        out.Small(0);  // no prediction
        out.Bits(ms, 32);
        n3d::EncodeWorld(baseline, world, out);
        return out.Bytes();
    }

    // -- Feeding ---------------------------------------------------------------------

    // Whether a message reads: a channel of 1 to 64 bytes not the engine's own, a text within the most.
    static bool Readable(const Bytes& packet) {
        if (packet.size() < 2 || packet[0] != n3d::kMessage) return false;
        const size_t n = packet[1];
        if (n == 0 || n > N3D_MAX_CHANNEL || packet.size() < 2 + n || packet.size() - 2 - n > N3D_MAX_MESSAGE)
            return false;
        const std::string channel(packet.begin() + 2, packet.begin() + 2 + static_cast<long>(n));
        return channel != "Joined" && channel != "Left" && channel.find('\0') == std::string::npos;
    }

    // Messages a packet made: from its sender, on a channel the game may read as it
    // came (a C string of 1 to 64 bytes, not the events' own), within the most.
    void CheckEvents(n3d::Session& s, const char* who, int from, const Bytes& packet, bool clean) {
        N3D_Event e;
        while (s.NextEvent(&e)) {
            if (e.kind != N3D_EVENT_MESSAGE) Fail(std::string(who) + " reported a join or leave for a packet");
            if (e.peer != from) Fail(std::string(who) + " took a message as from another peer");
            if (e.size < 0 || e.size > N3D_MAX_MESSAGE) Fail(std::string(who) + " took a message past the most");
            const std::string channel = e.channel;
            if (packet.size() >= 2 && packet[0] == n3d::kMessage && channel.size() != packet[1]) {
                // A NUL byte in the channel's name: the game reads a shorter name, maybe "" or "Joined".
                if (strict)
                    Fail(std::string(who) + " took a message on a channel holding a NUL byte, read as \"" + channel +
                         "\"");
                ++known.nulChannels;
                if (channel.empty() || channel == "Joined" || channel == "Left") ++known.eventsForged;
                ++messages;
                continue;
            }
            if (channel.empty() || channel.size() > N3D_MAX_CHANNEL || channel == "Joined" || channel == "Left")
                Fail(std::string(who) + " took a message on the channel \"" + channel + "\"");
            if (clean && (packet.size() != 2 + channel.size() + static_cast<size_t>(e.size) ||
                          std::memcmp(packet.data() + 2 + channel.size(), e.data, static_cast<size_t>(e.size)) != 0))
                Fail(std::string(who) + " took another message than the one sent");
            ++messages;
        }
    }

    void FeedServer() {
        Bytes packet;
        std::vector<n3d::QState> states;
        bool ownedPacket = false;
        switch (r() % 8) {
            case 0:
                packet = RandomMessage();
                break;
            case 1:
                packet = Ack(r() % 4 == 0 ? TellingOrRandom(r) : static_cast<uint32_t>(Pick(40, r)));
                break;
            case 2:
            case 3:
                packet = Owned(&states), ownedPacket = true;
                break;
            case 4:
                packet = Welcome(static_cast<uint32_t>(2 + Pick(9, r)), 20);
                break;
            case 5:
                packet = Snapshot(1, 0, 0, serverWorld);
                break;
            case 6:
                packet = RandomBytes(r);
                break;
            default: {
                n3d::BitWriter w;
                w.Byte(static_cast<uint8_t>(1 + Pick(6, r)));
                RandomRecords(w, r);
                packet = w.Bytes();
            }
        }
        const bool clean = r() % 4 == 0;
        if (!clean) Mutate(packet, r);
        if (LeaveOut(PacketMeetsOverflow(packet))) return;
        Keep(packet);
        server.ClearOwnedUpdates();
        server.Receive(clientPeer, packet.data(), packet.size(), Now());
        ++fed[0];
        serverSaid.Note(warnings.Take());
        if (server.State() != N3D_SERVER) Fail("the server is no longer a server");
        const long before = messages;
        CheckEvents(server, "the server", clientPeer, packet, clean);
        if (clean && Readable(packet) && messages != before + 1) Fail("the server did not take a message as sent");
        // Owners' changes: only of what the client owns, and as sent when unmutated.
        const std::vector<N3D_Entity>& updates = server.OwnedUpdates();
        const std::vector<int>& from = server.OwnedFrom();
        for (size_t i = 0; i < updates.size(); ++i) {
            ++owned;
            const auto it = std::find_if(serverWorld.begin(), serverWorld.end(),
                                         [&](const n3d::QState& s) { return s.id == updates[i].id; });
            if (from[i] != clientPeer || it == serverWorld.end() || it->owner != clientPeer)
                Fail("the server took changes to network id " + std::to_string(updates[i].id) +
                     " from a peer that does not own it");
            const Vector3 p = updates[i].position;
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                Fail("an owner's change put an entity nowhere");
            if (clean && ownedPacket) {
                // The last state sent for that id is the one kept.
                const auto last = std::find_if(states.rbegin(), states.rend(),
                                               [&](const n3d::QState& s) { return s.id == updates[i].id; });
                const Vector3 sentAt = last == states.rend() ? Vector3{NAN, NAN, NAN} : n3d::Restore(*last).position;
                if (std::memcmp(&sentAt, &p, sizeof p) != 0) Fail("the server kept another change than the owner sent");
            }
        }
        if (clean && ownedPacket) {
            for (const n3d::QState& s : states) {
                const auto it = std::find_if(serverWorld.begin(), serverWorld.end(),
                                             [&](const n3d::QState& w) { return w.id == s.id; });
                const bool mine = it != serverWorld.end() && it->owner == clientPeer;
                if (mine &&
                    std::none_of(updates.begin(), updates.end(), [&](const N3D_Entity& u) { return u.id == s.id; }))
                    Fail("the server dropped a change the owner sent");
            }
        }
    }

    void FeedClient() {
        Bytes packet;
        bool clean = false;
        const unsigned what = r() % 10;
        if (what < 6) {
            // The next snapshot, against a baseline the client holds (or none).
            const n3d::World world = Evolve(sent.empty() ? n3d::World{} : sent.back().second, r);
            const uint32_t base = sent.empty() || r() % 6 == 0 ? 0 : sent[Pick(sent.size(), r)].first;
            snapshotMs += 50;
            clean = r() % 3 == 0;
            const uint32_t seq = clean ? nextSeq : nextSeq + 1;
            packet = Snapshot(seq, base, snapshotMs, world);
            if (clean) {
                sent.emplace_back(seq, world);
                if (sent.size() > 8) sent.erase(sent.begin());
            }
            nextSeq += 2;
        } else if (what == 6) {
            packet = RandomMessage();
        } else if (what == 7) {
            packet = r() % 2 ? Ack(3) : Welcome(5, 20);
        } else if (what == 8) {
            packet = RandomBytes(r);
        } else {
            n3d::BitWriter w;
            w.Byte(n3d::kSnapshot);
            w.Small(nextSeq + 1);
            w.Small(sent.empty() ? 0 : sent.back().first);
            w.Small(r() % 4 == 0 ? static_cast<uint32_t>(r() % 8) : 0u);  // a prior, mostly none
            w.Bits(snapshotMs, 32);
            RandomRecords(w, r);
            packet = w.Bytes();
            nextSeq += 2;
        }
        if (!clean) Mutate(packet, r);
        if (LeaveOut(PacketMeetsOverflow(packet))) return;
        NoteSeq(packet);
        Keep(packet);
        client.Receive(N3D_SERVER_PEER, packet.data(), packet.size(), Now());
        ++fed[1];
        clientSaid.Note(warnings.Take());
        if (client.State() != N3D_CLIENT) Fail("the client is no longer a client");
        CheckEvents(client, "the client", N3D_SERVER_PEER, packet, clean);
        if (packetNumber % 64 == 0) CheckSample();
        // A number far ahead (a mutant's) leaves later snapshots too late to matter;
        // this fuzzer's own go on after it, or a fresh client takes over near the end.
        if (newestSeen > 0xF0000000u)
            RemakeClient();
        else if (newestSeen >= nextSeq)
            nextSeq = newestSeen + 2 - newestSeen % 2;
    }

    // The number a snapshot would be taken under, if it is one.
    void NoteSeq(const Bytes& packet) {
        if (packet.empty() || packet[0] != n3d::kSnapshot) return;
        n3d::BitReader in(packet.data() + 1, packet.size() - 1);
        const uint32_t seq = in.Small();
        if (!in.failed) newestSeen = std::max(newestSeen, seq);
    }

    void RemakeClient() {
        client.Disconnect();
        Join(client);
        clientPeer = client.PeerId();
        ++clientsRemade;
        clientSaid.unreadable = clientSaid.notOwned = 0;
        serverSaid.unreadable = serverSaid.notOwned = 0;  // a new peer of the server
        sent.clear();
        nextSeq = 1000, newestSeen = 0;
        // The world's owners follow the new number.
        std::vector<N3D_Entity> entities;
        for (n3d::QState& s : serverWorld) {
            if (s.id % 3 == 0) s.owner = clientPeer;
            if (s.id == 7) s.owner = clientPeer + 1;
            entities.push_back(n3d::Restore(s));
        }
        server.SetEntities(entities.data(), static_cast<int>(entities.size()), Now());
        warnings.Take();
    }

    void CheckSample() {
        for (const N3D_Entity& e : client.Sample(Now())) {
            const float v[] = {e.position.x, e.position.y, e.position.z, e.rotation.x, e.rotation.y,
                               e.rotation.z, e.rotation.w, e.scale.x,    e.scale.y,    e.scale.z};
            if (!std::all_of(std::begin(v), std::end(v), [](float x) { return std::isfinite(x); }))
                Fail("the client sampled an entity that is not finite");
            if (strnlen(e.model, N3D_MAX_NAME) >= N3D_MAX_NAME || strnlen(e.name, N3D_MAX_NAME) >= N3D_MAX_NAME)
                Fail("the client sampled an entity with an unterminated name");
            if (e.id < 1) Fail("the client sampled an entity of id below 1");
        }
    }

    void FeedJoining() {
        Bytes packet;
        const unsigned what = r() % 6;
        if (what < 3)
            packet = Welcome(r() % 4 == 0 ? TellingOrRandom(r) : static_cast<uint32_t>(2 + Pick(50, r)),
                             r() % 4 == 0 ? TellingOrRandom(r) : 20);
        else if (what == 3)
            packet = RandomMessage();
        else if (what == 4)
            packet = Snapshot(1, 0, 0, serverWorld);
        else
            packet = RandomBytes(r);
        if (r() % 4 != 0) Mutate(packet, r);
        if (LeaveOut(PacketMeetsOverflow(packet))) return;
        Keep(packet);
        joining->Receive(N3D_SERVER_PEER, packet.data(), packet.size(), Now());
        ++fed[2];
        joiningSaid.Note(warnings.Take());
        if (joining->State() == N3D_CONNECTING) {
            N3D_Event e;
            if (joining->NextEvent(&e)) Fail("a joining client had an event without being welcomed");
            return;
        }
        if (joining->State() != N3D_CLIENT) Fail("a joining client left for a packet");
        // Welcomed: by a number and a rate a server could have sent, once.
        if (joining->PeerId() < 2 || joining->settings.snapshotRate < 1 || joining->settings.snapshotRate > 240)
            Fail("a welcome gave a client the number " + std::to_string(joining->PeerId()) + " and the rate " +
                 std::to_string(joining->settings.snapshotRate));
        N3D_Event e;
        if (!joining->NextEvent(&e) || e.kind != N3D_EVENT_JOINED || e.peer != N3D_SERVER_PEER ||
            joining->NextEvent(&e))
            Fail("a welcome was not reported as the server joining, once");
        ++welcomesTaken;
        MakeJoining();
    }

    void Step() {
        ++packetNumber;
        switch (r() % 10) {
            case 0:
            case 1:
            case 2:
                FeedServer();
                break;
            case 3:
            case 4:
            case 5:
                FeedClient();
                break;
            case 6:
                FeedJoining();
                break;
            case 7:
                FuzzBitReader(r, &bitReads);
                FuzzBitRoundTrip(r);
                break;
            case 8:
                FuzzDecodeState(r, decodes);
                break;
            default:
                FuzzDecodeWorld(r, decodes);
                break;
        }
        if (packetNumber % 256 == 0) Service();
    }
    long bitReads = 0;
    DecodeCounts decodes;

    // After it all: a client fed clean snapshots shows them, and the server serves
    // a client that joins now as it did before.
    void Finish() {
        const n3d::World world = RandomWorld(r);
        // More than the client keeps, so that nothing fed before is left; their time
        // as far from anything before as can be, so that its clock follows them.
        const n3d::World* baseline = nullptr;
        for (int k = 0; k < 140; ++k) {
            const uint32_t ms = 1000000u + 50u * static_cast<uint32_t>(k);
            n3d::BitWriter out;
            out.Byte(n3d::kSnapshot);
            out.Small(nextSeq + 2 * static_cast<uint32_t>(k));
            out.Small(baseline ? nextSeq + 2 * static_cast<uint32_t>(k - 1) : 0);
            out.Small(0);
            out.Bits(ms, 32);
            n3d::EncodeWorld(baseline, world, out);
            baseline = &world;
            client.Receive(N3D_SERVER_PEER, out.Bytes().data(), out.Bytes().size(), ms / 1000.0 + 1e7);
        }
        if (!Shows(client.Sample(1000000.0 + 50 * 139 / 1000.0 + 1e7), world))
            Fail("after the fuzzing, a client fed clean snapshots does not show them");
        clientSaid.Note(warnings.Take());

        n3d::Session late;
        Join(late);
        const double until = Now() + 20;
        for (;;) {
            server.Service(Now());
            late.Service(Now());
            if (Shows(late.Sample(Now()), serverWorld)) break;
            if (Now() > until) Fail("after the fuzzing, a client that joined did not get the server's world");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!server.IsPeer(clientPeer)) Fail("the fuzzed client is no longer the server's peer");
        late.Disconnect();
        warnings.Take();
    }
};

}  // namespace

int main(int argc, char** argv) {
    unsigned seed = 1;
    long packets = 20000, seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--seed" && value)
            seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--packets" && value)
            packets = std::strtol(argv[++i], nullptr, 10);
        else if (a == "--seconds" && value)
            seconds = std::strtol(argv[++i], nullptr, 10);
        else if (a == "--keep" && value)
            keepDir = argv[++i];
        else if (a == "--strict")
            strict = true;
        else {
            std::fprintf(stderr, "usage: %s [--seed N] [--packets N | --seconds S] [--keep DIR] [--strict]\n", argv[0]);
            return 2;
        }
    }
    const double start = Now();
    Fuzzer f(seed);
    f.Start();
    while (seconds > 0 ? Now() - start < seconds : packetNumber < packets) f.Step();
    f.Finish();
    // Each reader met bad input and said so: a run that complained of nothing tested nothing.
    if (f.serverSaid.all == 0 || f.clientSaid.all == 0 || f.joiningSaid.all == 0 || f.serverSaid.allNotOwned == 0)
        Fail("the sessions never complained: the packets did not reach their readers");
    std::printf(
        "network_fuzz: seed %u: %ld packets in %.1f s: %ld to the server, %ld to its client, %ld to clients "
        "joining (%ld welcomed), %ld worlds decoded (%ld accepted), %ld states (%ld accepted), %ld bit reads; "
        "%ld messages and %ld owners' changes taken, %ld services, %ld clients remade\n",
        seed, packetNumber, Now() - start, f.fed[0], f.fed[1], f.fed[2], f.welcomesTaken, f.decodes.worlds,
        f.decodes.accepted, f.decodes.states, f.decodes.statesAccepted, f.bitReads, f.messages, f.owned, f.serviced,
        f.clientsRemade);
    if (known.clipOverflows)
        std::printf(
            "network_fuzz: known fault: %ld packets left unread, holding a clip of 2^31 (an overflow in "
            "ReadGroups)\n",
            known.clipOverflows);
    if (known.nulChannels)
        std::printf(
            "network_fuzz: known fault: %ld messages on channels holding a NUL byte were taken (%ld read by the "
            "game as \"\", \"Joined\" or \"Left\")\n",
            known.nulChannels, known.eventsForged);
    return 0;
}
