// Entry fuzzer: calls every API entry through the callables World::Initialize
// hands out, as the game module would, with hostile argument lists, and checks
// after every call that the scene still holds together.
//
//   engine_entry_fuzz [--seed N] [--calls N] [--seconds S]
//
// A run is reproducible from its seed and call count; with --seconds it goes on
// (seed after seed) until the time is up. Exit status 0 when every call ended in
// a result, a standard exception that left the scene exactly as it was, or the
// documented fatal stop; 1 with the failing call on stderr otherwise.
//
// Fatal stops (Crash: message, exit status 1) end the process, so the fuzzer
// predicts them from the scene before each call. A call predicted to stop runs
// in a forked child, which must exit with status 1 and exactly the predicted
// message; the parent then goes on without it. A call not predicted to stop runs
// in the fuzzer itself, so an unpredicted stop fails the run.
//
// The renderer is the stand-in of the engine's unit tests (the fuzzer looks at
// the host, not the GPU); raylib is real, in a window, for the input entries.
#include <sys/wait.h>
#include <unistd.h>

#include <cfloat>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CFrame.h"
#include "Catalog.h"
#include "FakeR3D.h"
#include "Harness.h"
#include "Instance.h"
#include "Messages.h"
#include "Process.h"
#include "World.h"
#include "raylib.h"
#include "sound/Wav.h"

namespace {

using Harness::Params;
namespace B = World::Buffers;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "entry fuzz: FAILED: %s\n", what.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

// -- A fingerprint of everything an entry may change --------------------------
// Order-independent (hash tables iterate in any order), bit-exact for floats.

struct Fingerprint {
    std::uint64_t sum = 0, mix = 0;
    void Add(std::uint64_t h) {
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        sum += h;
        mix ^= h * 0x9e3779b97f4a7c15ULL;
    }
    bool operator==(const Fingerprint& o) const { return sum == o.sum && mix == o.mix; }
    bool operator!=(const Fingerprint& o) const { return !(*this == o); }
};

std::uint64_t Bytes(const void* p, std::size_t n, std::uint64_t h = 1469598103934665603ULL) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ULL;
    return h;
}
std::uint64_t Str(const std::string& s, std::uint64_t h = 7) { return Bytes(s.data(), s.size(), h); }
template <class T>
std::uint64_t Pod(const T& v, std::uint64_t h = 11) {
    return Bytes(&v, sizeof v, h);
}

std::uint64_t ValueHash(const std::any& v) {
    std::uint64_t h = Str(v.type().name());
    if (auto* c = std::any_cast<CFrame>(&v)) return Pod(*c, h) ^ Pod(c, 3);
    if (auto* x = std::any_cast<Vector3>(&v)) return Pod(*x, h) ^ Pod(x, 3);
    if (auto* x = std::any_cast<Color>(&v)) return Pod(*x, h) ^ Pod(x, 3);
    if (auto* x = std::any_cast<int>(&v)) return Pod(*x, h);
    if (auto* x = std::any_cast<std::string>(&v)) return Str(*x, h);
    return h;
}

Fingerprint Scene() {
    Fingerprint f;
    f.Add(Pod(inst_count, 1));
    for (const auto& [key, r] : Instances) {
        std::uint64_t k = Pod(key, 2);
        f.Add(k ^ Str(r.Name, 3) ^ Str(r.Type, 4) * 3 ^ Pod(r.Parent, 5) * 5 ^ Pod(r.id, 6) * 7 ^
              Pod(r.Referrers, 8) * 9 ^ (r.OnDestroy ? 1 : 0) ^ Pod(&r, 10) * 13);
        for (const auto& [name, child] : r.Children) f.Add(k * 31 ^ Str(name, 12) ^ Pod(child, 13));
        for (const auto& [name, slot] : r.Variables) f.Add(k * 37 ^ Str(name, 14) ^ Pod(&slot, 15) ^ ValueHash(slot) * 3);
    }
    for (const std::any* h : LiveHandles) f.Add(Pod(h, 16));
    for (const auto& [name, index] : B::Names) f.Add(Str(name, 17) ^ Pod(index, 18));
    f.Add(Pod(B::BufferCount, 19) ^ Pod(B::InstanceCount, 20) * 3);
    for (const auto& [index, slots] : B::Positions) {
        f.Add(Pod(index, 21) ^ Pod(slots.size(), 22));
        for (std::size_t k = 0; k < slots.Slots().size(); ++k)
            f.Add(Pod(index, 23) ^ Pod(slots.Slots()[k], 24) ^ Pod(slots.Values()[k], 25) * 3 ^
                  Pod(B::Rotations[index].Values()[k], 26) * 5 ^ Pod(B::Scales[index].Values()[k], 27) * 7 ^
                  Pod(B::Colors[index].Values()[k], 28) * 11);
    }
    f.Add(Pod(GameCamera, 29));
    const FakeR3D::State& r = FakeR3D::Get();
    f.Add(Pod(r.loaded.size(), 30) ^ Pod(r.unloadedModels.size(), 31) * 3 ^ Pod(r.buffers.size(), 32) * 5);
    for (const auto& [id, light] : r.lights) f.Add(Pod(id, 33) ^ Pod(light, 34));
    return f;
}

// -- The scene's invariants ---------------------------------------------------

// Buffer index -> the first slot number it could hold (the shared slot counter
// when it was made). A model mapped before its buffer's name was unloaded and
// loaded again has an older slot, and is mapped nowhere.
std::map<int, int> FirstSlot;

void CheckScene(const std::string& after) {
    auto fail = [&](const std::string& what) { Fail(what + " (after " + after + ")"); };
    for (int fixed : {0, 1}) {
        auto it = Instances.find(fixed);
        if (it == Instances.end() || it->second.id != fixed || it->second.Parent != 0)
            fail("\"Null\" or \"Root\" is gone or moved");
    }
    if (Instances.at(0).Name != "Null") fail("\"Null\" was renamed");

    std::unordered_map<int, int> referrers;
    std::unordered_set<const std::any*> slots;
    for (const auto& [key, r] : Instances) {
        const bool registered = r.id == key;
        if (!registered && (r.id != 0 || !r.Name.empty() || !r.Type.empty() || r.OnDestroy))
            fail("record " + std::to_string(key) + " is neither registered nor blank");
        if (registered) ++referrers[r.Parent];
        for (const auto& [name, child] : r.Children) {
            auto c = Instances.find(child);
            if (c == Instances.end() || c->second.id != child || c->second.Parent != key || c->second.Name != name)
                fail("child entry \"" + name + "\" -> " + std::to_string(child) + " of " + std::to_string(key) +
                     " does not name a registered child of it under that name");
        }
        for (const auto& [name, slot] : r.Variables) slots.insert(&slot);
        // Parent links lead up to "Null" (its own parent) or to an id without a record.
        if (registered) {
            int at = key;
            std::size_t steps = 0;
            for (auto it = Instances.find(at); it != Instances.end() && it->second.Parent != at;
                 it = Instances.find(at = it->second.Parent))
                if (++steps > Instances.size()) fail("parent links of " + std::to_string(key) + " loop");
        }
    }
    // Counted for registered records (a blank one is never moved, so never asked).
    for (const auto& [key, r] : Instances)
        if (r.id == key && r.Referrers != (referrers.count(key) ? referrers[key] : 0))
            fail("record " + std::to_string(key) + " counts " + std::to_string(r.Referrers) + " children by Parent, not " +
                 std::to_string(referrers[key]));
    for (const std::any* h : LiveHandles)
        if (!slots.count(h)) fail("a live handle addresses no slot of any record");

    // Buffers: the same indices everywhere, the four slot maps aligned, every
    // slot addressing the current values of the one model instance mapped there.
    std::set<int> indices;
    for (const auto& [name, index] : B::Names)
        if (!indices.insert(index).second) fail("two buffer names share an index");
    auto sameKeys = [&](const auto& map, const char* what) {
        if (map.size() != indices.size()) fail(std::string(what) + " and the buffer names disagree");
        for (const auto& entry : map)
            if (!indices.count(entry.first)) fail(std::string(what) + " and the buffer names disagree");
    };
    sameKeys(B::Buffers, "Buffers");
    sameKeys(B::Models, "Models");
    sameKeys(B::Positions, "Positions");
    sameKeys(B::Rotations, "Rotations");
    sameKeys(B::Scales, "Scales");
    sameKeys(B::Colors, "Colors");
    std::map<std::pair<int, int>, int> mapped;  // (buffer index, slot) -> the instance there
    for (const auto& [key, r] : Instances) {
        if (r.id != key || r.Type != "Model") continue;
        auto tied = r.Variables.find("Tied Model");
        auto index = r.Variables.find("Buffer Index");
        if (tied == r.Variables.end() || index == r.Variables.end()) fail("model without its buffer variables");
        auto name = B::Names.find(std::any_cast<const std::string&>(tied->second));
        if (name == B::Names.end()) continue;  // its buffer was unloaded: mapped nowhere
        const int slot = std::any_cast<int>(index->second);
        if (slot < FirstSlot[name->second]) continue;  // mapped into a buffer since unloaded
        if (!mapped.emplace(std::make_pair(name->second, slot), key).second)
            fail("two models claim one slot");
    }
    std::size_t live = 0;
    std::set<int> seenSlots;
    for (int index : indices) {
        const auto& p = B::Positions[index];
        const auto& r = B::Rotations[index];
        const auto& s = B::Scales[index];
        const auto& c = B::Colors[index];
        if (p.Slots() != r.Slots() || p.Slots() != s.Slots() || p.Slots() != c.Slots() || p.size() != r.size() ||
            p.size() != s.size() || p.size() != c.size())
            fail("the four slot maps of a buffer disagree");
        for (std::size_t k = 0; k < p.Slots().size(); ++k) {
            const int slot = p.Slots()[k];
            if (!p.Values()[k]) {
                if (r.Values()[k] || s.Values()[k] || c.Values()[k]) fail("holes of a buffer's slot maps disagree");
                continue;
            }
            ++live;
            if (!seenSlots.insert(slot).second) fail("one slot number in two buffers");
            auto owner = mapped.find({index, slot});
            if (owner == mapped.end()) fail("buffer slot " + std::to_string(slot) + " belongs to no live model");
            Instance& m = Instances.at(owner->second);
            CFrame* cf = std::any_cast<CFrame>(&m.Variables.at("CFrame"));
            if (!cf || p.Values()[k] != &cf->Position || r.Values()[k] != &cf->Rotation ||
                s.Values()[k] != std::any_cast<Vector3>(&m.Variables.at("Scale")) ||
                c.Values()[k] != std::any_cast<Color>(&m.Variables.at("Color")))
                fail("buffer slot " + std::to_string(slot) + " does not address its model's current values");
        }
    }
    if (live != mapped.size()) fail("a model is missing from its buffer");
}

// -- Argument lists -----------------------------------------------------------

const char* const kWords[] = {"CFrame", "Model", "Light", "Sound", "Character", "Particles", "Global", "Spot", "Point", "Manual", "Interval",
                              "Continuous", "Value", "Scale", "Color", "Tied Model", "Buffer Index", "A", "B",
                              "C", "Null", "Root", "", "cframe", "point", "continuous", "x.obj",
                              "a name long enough to live on the heap, not inside the string"};
const char* const kBuffers[] = {"A", "B", "C"};
const char* const kBodyKinds[] = {"Static", "Dynamic", "Kinematic"};
const char* const kShapes[] = {"Box", "Sphere", "Capsule", "Cylinder", "Hull", "Mesh"};
// Names of sounds and music streams, and files to load them from: a real sound
// (written at start-up) and ones that cannot be used.
const char* const kSounds[] = {"S1", "S2", "M1", "M2"};
std::string soundFile;  // a 0.1 s tone
const char* const kSoundFiles[] = {"missing.wav", "", "x.obj"};
// Names of fonts and images, and files to load them from: a real font, the
// sound file (neither a font nor an image), ones that are missing.
const char* const kFonts[] = {"F1", "F2", "default"};
const char* const kImages[] = {"I1", "I2"};
const char* const kScreenFiles[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "missing.png", ""};
// Separates the messages a call may stop with, when more than one may come first.
const char kOr = '\x1f';

struct Fuzzer {
    Fuzzer(Harness::Api& api, std::uint64_t seed) : api(api), rng(seed) {}

    Harness::Api& api;
    std::mt19937_64 rng;
    std::vector<int> ids{0, 1};                      // ids handed out (live or not) and a few never issued
    std::vector<std::any*> handles;                  // every handle "Instance.Get" returned
    std::unordered_map<std::any*, int> handleOwner;  // handle -> the id it came from
    std::any foreign;                                // a std::any that is no slot of any record

    // counts
    std::uint64_t calls = 0, results = 0, fatal = 0, fatalSkipped = 0, frames = 0, staleRefused = 0;
    std::map<std::string, std::uint64_t> exceptions;
    std::map<std::string, std::uint64_t> perEntry;

    std::uint64_t Below(std::uint64_t n) { return n ? rng() % n : 0; }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }

    float AnyFloat() {
        static const float special[] = {0.0f, -0.0f, NAN, INFINITY, -INFINITY, FLT_MAX, -FLT_MAX, 3.4e38f, 1e-39f,
                                        -1e-39f, 2147483648.0f, -2147483904.0f, 1e20f, 0.5f, -2.5f, 100.9f};
        if (Chance(0.25)) return special[Below(std::size(special))];
        return std::uniform_real_distribution<float>(-10, 10)(rng);
    }
    int AnyInt() {
        switch (Below(6)) {
            case 0: case 1: case 2: return ids[Below(ids.size())];
            case 3: return static_cast<int>(Below(400)) - 20;
            case 4: return std::vector<int>{INT_MIN, INT_MAX, -1, 0, 1, 255, -256}[Below(7)];
            default: return static_cast<int>(rng());
        }
    }
    std::string AnyString() {
        if (Chance(0.85)) return kWords[Below(std::size(kWords))];
        std::string s(Below(40), ' ');
        for (char& ch : s) ch = static_cast<char>(Below(256));
        for (char& ch : s) ch = ch == kOr ? '?' : ch;
        return s;
    }
    std::any* AnyHandle() {
        if (!handles.empty() && Chance(0.85)) return handles[Below(handles.size())];
        switch (Below(4)) {
            case 0: return nullptr;
            case 1: return &foreign;
            case 2: return reinterpret_cast<std::any*>(static_cast<std::uintptr_t>(rng()) & ~std::uintptr_t(7));
            default: return reinterpret_cast<std::any*>(static_cast<std::uintptr_t>(rng()) | 1);
        }
    }
    std::vector<float> AnyList(std::size_t wanted) {
        std::size_t n = wanted;
        if (Chance(0.1)) n = Below(wanted);
        else if (Chance(0.1)) n = wanted + 1 + Below(8);
        std::vector<float> v(n);
        for (float& x : v) x = AnyFloat();
        return v;
    }
    // A value of another type than the letter wants, as a careless caller would pass.
    std::any WrongType() {
        switch (Below(11)) {
            case 0: return 1.0;                                  // double
            case 1: return 1L;                                   // long
            case 2: return 1u;                                   // unsigned
            case 3: return "Model";                              // const char*
            case 4: return std::vector<double>{1, 2, 3};
            case 5: return std::vector<int>{1, 2, 3};
            case 6: return std::any();                           // empty
            case 7: return AnyFloat();
            case 8: return AnyInt();
            case 9: return std::string(AnyString());
            default: return std::vector<float>(Below(20), 1.0f);
        }
    }
    // What the catalogue says an argument is, as one letter: i int, c colour
    // (an int), f float, b bool, s string, h handle, 2 vec2, 3 vec3, m matrix.
    static char Letter(const World::Api::KindInfo& kind) {
        const std::string type = kind.type;
        if (type == "int") return std::string(kind.note).find("colour") != std::string::npos ? 'c' : 'i';
        if (type == "vec2") return '2';
        if (type == "vec3") return '3';
        if (type == "vec4") return '4';
        if (type == "mat") return 'm';
        return type[0];  // float, bool, string, handle
    }
    std::any Value(char letter, const std::string& entry, std::size_t position) {
        if (Chance(0.06)) return WrongType();
        switch (letter) {
            case 'i':
                if (entry == "LoadModel") return static_cast<int>(Below(40)) - 4;
                return AnyInt();
            case 'c': return static_cast<int>(rng());
            case 'f': return AnyFloat();
            case 'b': return Chance(0.5);
            case 's':
                if ((entry == "LoadModel" && position == 0) || entry == "UnloadModel" || entry == "Model.SetModel" ||
                    (entry == "Instance.New" && position == 1 && Chance(0.5)))
                    if (Chance(0.9)) return std::string(kBuffers[Below(std::size(kBuffers))]);
                if (entry == "Instance.New" && position == 0 && Chance(0.9))
                    return std::string(kWords[Below(6)]);
                if (entry == "Model.SetBody" && Chance(0.9))
                    return std::string(position == 1 ? kBodyKinds[Below(std::size(kBodyKinds))] : kShapes[Below(std::size(kShapes))]);
                if (entry == "Particles.SetTexture" && Chance(0.9))
                    return Chance(0.3) ? std::string() : std::string(kImages[Below(std::size(kImages))]);
                if (ScreenEntry(entry)) {
                    if (position == 1 && entry.rfind("Load", 0) == 0 && Chance(0.9))
                        return Chance(0.3) ? soundFile : std::string(kScreenFiles[Below(std::size(kScreenFiles))]);
                    if (position == 0 && Chance(0.9))
                        return entry.find("Texture") != std::string::npos ? std::string(kImages[Below(std::size(kImages))])
                                                                          : std::string(kFonts[Below(std::size(kFonts))]);
                }
                if (SoundEntry(entry) || (entry == "Instance.New" && position == 1 && Chance(0.3))) {
                    if (position == 1 && entry.rfind("Load", 0) == 0 && Chance(0.9))
                        return Chance(0.7) ? soundFile : std::string(kSoundFiles[Below(std::size(kSoundFiles))]);
                    if (Chance(0.9)) return std::string(kSounds[Below(std::size(kSounds))]);
                }
                return AnyString();
            case 'h': return AnyHandle();
            case '2': return AnyList(2);
            case '3': return AnyList(3);
            case '4': return AnyList(4);
            case 'm': return AnyList(16);
        }
        return {};
    }
    Params Arguments(const World::Api::Entry& e) {
        Params p;
        for (std::size_t i = 0; i < e.args.size(); ++i) p.push_back(Value(Letter(e.args[i]), e.name, i));
        if (Chance(0.08) && !p.empty()) p.resize(Below(p.size()));       // missing arguments
        else if (Chance(0.08)) for (auto n = Below(4) + 1; n; --n) p.push_back(WrongType());  // extra ones
        // A character's radius and height are floats where the other kinds take a name.
        if (std::string(e.name) == "Instance.New" && p.size() > 2 && std::any_cast<std::string>(&p[0]) &&
            std::any_cast<std::string>(p[0]) == "Character" && Chance(0.9))
            p[1] = AnyFloat(), p[2] = AnyFloat();
        // The most particles alive is an int where the other kinds take a name.
        if (std::string(e.name) == "Instance.New" && p.size() > 1 && std::any_cast<std::string>(&p[0]) &&
            std::any_cast<std::string>(p[0]) == "Particles" && Chance(0.9))
            p[1] = AnyInt();
        // The stand-in renderer keeps real arrays of a buffer's capacity.
        if (std::string(e.name) == "LoadModel" && p.size() > 2)
            if (int* capacity = std::any_cast<int>(&p[2])) *capacity = *capacity % 40;
        return p;
    }

    // -- Predicting the documented fatal stops --------------------------------

    // Entries of the sound group that name a sound or a music stream first.
    static bool SoundEntry(const std::string& entry) {
        for (const auto& e : World::Api::Entries())
            if (entry == e.name)
                return std::string(e.group) == "sound" && !e.args.empty() && std::string(e.args[0].type) == "string";
        return false;
    }
    // Entries of the screen group that name a font or an image first.
    static bool ScreenEntry(const std::string& entry) {
        return entry == "LoadFont" || entry == "UnloadFont" || entry == "DrawTextEx" || entry == "MeasureTextEx" ||
               (entry.find("Texture") != std::string::npos && entry != "DrawText" && entry != "Particles.SetTexture");
    }
    // Every documented argument present with its type (lists long enough): only
    // then is a name looked up.
    static bool AllRead(const std::string& entry, const Params& p) {
        for (const auto& e : World::Api::Entries()) {
            if (entry != e.name) continue;
            if (p.size() < e.args.size()) return false;
            for (std::size_t i = 0; i < e.args.size(); ++i) {
                const char letter = Letter(e.args[i]);
                if (letter == '2' || letter == '3' || letter == '4' || letter == 'm') {
                    const auto* list = std::any_cast<std::vector<float>>(&p[i]);
                    const std::size_t needed = letter == 'm' ? 16 : static_cast<std::size_t>(letter - '0');
                    if (!list || list->size() < needed) return false;
                    continue;
                }
                const std::type_info& want = letter == 's' ? typeid(std::string) : letter == 'f' ? typeid(float)
                                             : letter == 'b' ? typeid(bool) : typeid(int);
                if (p[i].type() != want) return false;
            }
            return true;
        }
        return false;
    }
    // Whether every float read, alone or in a list, is finite: the screen
    // entries refuse the others before any name is looked up. A list is read
    // up to the length its kind needs.
    static bool AllFinite(const std::string& entry, const Params& p) {
        for (const auto& e : World::Api::Entries()) {
            if (entry != e.name) continue;
            for (std::size_t i = 0; i < e.args.size() && i < p.size(); ++i) {
                const char letter = Letter(e.args[i]);
                if (const float* f = std::any_cast<float>(&p[i]); f && !std::isfinite(*f)) return false;
                const auto* list = std::any_cast<std::vector<float>>(&p[i]);
                if (!list || letter < '2' || letter > '4') continue;
                for (std::size_t k = 0; k < static_cast<std::size_t>(letter - '0') && k < list->size(); ++k)
                    if (!std::isfinite((*list)[k])) return false;
            }
        }
        return true;
    }
    // How a screen entry stops: a name loaded already, or one never loaded.
    static std::string ScreenStop(const std::string& entry, const Params& p) {
        if (!AllRead(entry, p) || !AllFinite(entry, p)) return "";
        const std::string& name = *At<std::string>(p, 0);
        const bool image = entry.find("Texture") != std::string::npos;
        const bool loaded = image ? World::Screen::Images.count(name) != 0 : World::Screen::Fonts.count(name) != 0;
        if (entry == "LoadFont" || entry == "LoadTexture")
            return loaded ? FormatFatal(image ? Fatal::ImageExists : Fatal::FontExists, entry, name) : "";
        if (entry == "UnloadFont" && name == World::Screen::kDefaultFont) return "";
        return loaded ? "" : FormatFatal(image ? Fatal::ImageMissing : Fatal::FontMissing, entry, name);
    }
    // How a sound entry stops: a name loaded already, or one never loaded.
    static std::string SoundStop(const std::string& entry, const Params& p) {
        if (!AllRead(entry, p)) return "";
        const std::string& name = *At<std::string>(p, 0);
        const bool music = entry.find("Music") != std::string::npos;
        const bool loaded = music ? World::Sounds::Music.count(name) != 0 : World::Sounds::Names.count(name) != 0;
        if (entry == "LoadSound" || entry == "LoadMusicStream")
            return loaded ? FormatFatal(music ? Fatal::MusicExists : Fatal::SoundExists, entry, name) : "";
        return loaded ? "" : FormatFatal(music ? Fatal::MusicMissing : Fatal::SoundMissing, entry, name);
    }

    // How an animation entry stops: a clip or joint the model lacks, once every
    // argument is read and the target is a model whose buffer is loaded.
    static std::string AnimationStop(const std::string& entry, const Params& p) {
        const bool byBuffer = entry == "GetModelAnimationLength";
        const bool clip = byBuffer || entry == "Model.PlayAnimation" || entry == "Model.CrossFade";
        if ((!clip && entry != "Model.GetJointPosition") || !AllRead(entry, p) || !AllFinite(entry, p)) return "";
        std::string buffer;
        if (byBuffer) {
            buffer = *At<std::string>(p, 0);
        } else {
            const int id = *At<int>(p, 0);
            const std::string* tied = Var<std::string>(id, "Tied Model");
            if (!tied || !World::Animation::Players.count(id)) return "";
            buffer = *tied;
        }
        auto index = B::Names.find(buffer);
        if (index == B::Names.end()) return "";
        const R3D_Model model = B::Models[index->second];
        const std::string& name = *At<std::string>(p, 1);
        if (!clip) return R3D_FindModelJoint(model, name.c_str()) < 0 ? FormatFatal(Fatal::JointMissing, entry, buffer, name) : "";
        for (int c = 0; c < R3D_GetModelAnimationCount(model); ++c)
            if (name == R3D_GetModelAnimationName(model, c)) return "";
        return FormatFatal(Fatal::ClipMissing, entry, buffer, name);
    }

    // A character the physics layer refuses (tried there, and dropped again).
    static std::string CharacterStop(const std::string& entry, const Params& p) {
        const float* radius = At<float>(p, 1);
        const float* height = At<float>(p, 2);
        if (!radius || !height) return "";
        const P3D_Character tried = P3D_CreateCharacter(*radius, *height, {0, 0, 0}, 0);
        if (tried) P3D_DestroyCharacter(tried);
        return tried ? "" : FormatFatal(Fatal::CharacterRefused, entry, P3D_GetError());
    }

    // How a physics entry stops: what is no model or has a body already, a body the
    // layer refuses, no body, no character. Numbers are checked first where the entry
    // refuses them before it looks the instance up.
    static std::string PhysicsStop(const std::string& entry, const Params& p) {
        namespace P = World::Physics;
        static const std::set<std::string> bodyFirst = {"Model.RemoveBody", "Model.GetVelocity", "Model.GetAngularVelocity",
                                                        "Model.SetGravityEnabled", "Model.SetTrigger", "Model.SetCollisionLayer"};
        static const std::set<std::string> numbersFirst = {"Model.SetVelocity", "Model.SetAngularVelocity", "Model.ApplyImpulse",
                                                           "Model.ApplyForce", "Model.ApplyTorque", "Model.SetFriction",
                                                           "Model.SetRestitution", "Model.SetDamping"};
        const bool character = entry.rfind("Character.", 0) == 0;
        if (entry != "Model.SetBody" && !bodyFirst.count(entry) && !numbersFirst.count(entry) && !character) return "";
        if (!AllRead(entry, p)) return "";
        const int id = *At<int>(p, 0);
        if (character) {
            const bool checksFirst = entry == "Character.SetStepHeight" || entry == "Character.SetMaxSlope";
            if (checksFirst && !AllFinite(entry, p)) return "";
            return P::Characters.count(id) ? "" : FormatFatal(Fatal::CharacterMissing, entry, id);
        }
        if (entry != "Model.SetBody") {
            if (numbersFirst.count(entry) && !AllFinite(entry, p)) return "";
            return P::Bodies.count(id) ? "" : FormatFatal(Fatal::BodyMissing, entry, id);
        }
        const std::string& kind = *At<std::string>(p, 1);
        const std::string& shape = *At<std::string>(p, 2);
        const float mass = *At<float>(p, 3);
        const int k = kind == "Static" ? 0 : kind == "Dynamic" ? 1 : kind == "Kinematic" ? 2 : -1;
        int s = -1;
        for (int c = 0; c < 6; ++c)
            if (shape == kShapes[c]) s = c;
        if (k < 0 || s < 0 || (k == 1 && !std::isfinite(mass))) return "";  // refused as a bad value
        auto r = Instances.find(id);
        if (r == Instances.end() || r->second.id != id || r->second.Type != "Model") return FormatFatal(Fatal::BodyNotModel, entry, id);
        const std::string* tied = Var<std::string>(id, "Tied Model");
        if (!tied || !HasBuffer(*tied)) return FormatFatal(Fatal::BodyRefused, entry, id, "its model is no longer loaded");
        if (P::Bodies.count(id)) return FormatFatal(Fatal::BodyExists, entry, id);
        const std::string zero = P::ZeroScale(id);
        if (!zero.empty()) return FormatFatal(Fatal::BodyRefused, entry, id, zero);
        std::vector<Vector3> corners;
        const P3D_BodyDesc desc = P::Describe(id, static_cast<P3D_BodyKind>(k), static_cast<P3D_ShapeKind>(s), mass, "", corners);
        const P3D_Body tried = P3D_CreateBody(&desc);
        if (tried) P3D_DestroyBody(tried);
        return tried ? "" : FormatFatal(Fatal::BodyRefused, entry, id, P3D_GetError());
    }

    template <class T>
    static const T* At(const Params& p, std::size_t i) {
        return i < p.size() ? std::any_cast<T>(&p[i]) : nullptr;
    }
    static bool HasBuffer(const std::string& name) { return B::Names.count(name) != 0; }
    template <class T>
    static const T* Var(int id, const char* name) {
        auto r = Instances.find(id);
        if (r == Instances.end()) return nullptr;
        auto v = r->second.Variables.find(name);
        return v == r->second.Variables.end() ? nullptr : std::any_cast<T>(&v->second);
    }

    // How unmapping model `id` stops, or "": its buffer is gone, or was loaded
    // again after the model was mapped and so does not hold its slot.
    static std::string UnmapStop(int id) {
        const std::string& tied = *Var<std::string>(id, "Tied Model");
        auto name = B::Names.find(tied);
        if (name == B::Names.end()) return FormatFatal(Fatal::UnmapBufferMissing, tied);
        return B::Positions[name->second].Contains(*Var<int>(id, "Buffer Index"))
                   ? ""
                   : FormatFatal(Fatal::UnmapSlotMissing, tied);
    }

    // The message the call stops with, or "" when it does not stop.
    static std::string PredictStop(const std::string& entry, const Params& p) {
        if (entry == "Instance.New") {
            const std::string* kind = At<std::string>(p, 0);
            if (!kind) return "";
            if (*kind == "CFrame") return "";
            if (*kind == "Character") return CharacterStop(entry, p);
            if (*kind == "Particles") return "";  // a bad count is refused as a bad value
            if (*kind != "Model" && *kind != "Light" && *kind != "Sound")
                return FormatFatal(Fatal::InvalidInstanceType, *kind);
            const std::string* extra = At<std::string>(p, 1);
            if (!extra) return "";
            if (*kind == "Sound")
                return World::Sounds::Names.count(*extra) ? "" : FormatFatal(Fatal::SoundMissing, entry, *extra);
            if (*kind == "Model")
                return HasBuffer(*extra) ? "" : FormatFatal(Fatal::MapBufferMissing, *extra);
            return *extra == "Global" || *extra == "Spot" || *extra == "Point"
                       ? ""
                       : FormatFatal(Fatal::InvalidLightType, *extra);
        }
        if (entry == "Instance.Destroy") {
            const int* id = At<int>(p, 0);
            if (!id || *id == 0 || *id == 1) return "";
            auto r = Instances.find(*id);
            if (r == Instances.end() || r->second.id != *id) return "";
            // Handlers run top down: the first model met whose buffer is gone
            // stops it. Which one comes first among siblings is the hash
            // table's order, so each such model's message is accepted.
            std::string messages;
            std::vector<int> stack{*id};
            std::set<int> seen;
            while (!stack.empty()) {
                const int at = stack.back();
                stack.pop_back();
                if (!seen.insert(at).second) continue;
                const Instance& rec = Instances.at(at);
                if (rec.Type == "Model") {
                    const std::string message = UnmapStop(at);
                    if (!message.empty()) {
                        if (at == *id) return message;
                        messages += message + kOr;
                        continue;  // its children are never reached
                    }
                }
                for (const auto& child : rec.Children) stack.push_back(child.second);
            }
            return messages;
        }
        if (entry == "Model.SetModel") {
            const int* id = At<int>(p, 0);
            const std::string* name = At<std::string>(p, 1);
            if (!id || !name || !Var<int>(*id, "Buffer Index")) return "";
            if (!Var<std::string>(*id, "Tied Model")) return "";
            const std::string message = UnmapStop(*id);
            if (!message.empty()) return message;
            return HasBuffer(*name) ? "" : FormatFatal(Fatal::MapBufferMissing, *name);
        }
        if (entry == "LoadModel") {
            const std::string* name = At<std::string>(p, 0);
            if (!name || !At<std::string>(p, 1) || !At<int>(p, 2)) return "";
            return HasBuffer(*name) ? FormatFatal(Fatal::CreateBufferExists, *name) : "";
        }
        if (entry == "UnloadModel") {
            const std::string* name = At<std::string>(p, 0);
            return name && !HasBuffer(*name) ? FormatFatal(Fatal::RemoveBufferMissing, *name) : "";
        }
        if (entry == "Particles.SetTexture") {
            // An emitter given an image never loaded ("" is the dot).
            if (!AllRead(entry, p) || !Var<int>(*At<int>(p, 0), "Particle Emitter")) return "";
            const std::string& name = *At<std::string>(p, 1);
            return name.empty() || World::Screen::Images.count(name) ? "" : FormatFatal(Fatal::ImageMissing, entry, name);
        }
        if (SoundEntry(entry)) return SoundStop(entry, p);
        if (ScreenEntry(entry)) return ScreenStop(entry, p);
        if (const std::string stop = AnimationStop(entry, p); !stop.empty()) return stop;
        if (const std::string stop = PhysicsStop(entry, p); !stop.empty()) return stop;
        if (entry == "Light.SetShadowUpdateMode") {
            const int* id = At<int>(p, 0);
            const std::string* mode = At<std::string>(p, 1);
            if (!id || !mode || !Var<int>(*id, "Value")) return "";
            return *mode == "Manual" || *mode == "Interval" || *mode == "Continuous"
                       ? ""
                       : FormatFatal(Fatal::InvalidShadowUpdateMode, *mode);
        }
        return "";
    }

    static std::string PredictFrameStop() {
        for (const auto& [name, index] : B::Names) {
            const int count = static_cast<int>(B::Positions[index].size());
            if (B::Buffers[index].capacity < count)
                return FormatFatal(Fatal::UpdateBufferFull, name, count, B::Buffers[index].capacity);
        }
        return "";
    }

    // Runs `call` in a child, which must stop with exactly `message`.
    void ExpectStop(const std::function<void()>& call, const std::string& message, const std::string& what) {
        // A child costs milliseconds: past the first few of a scene, only a sample is checked.
        if (fatal >= 10 && !Chance(0.005)) {
            ++fatalSkipped;
            return;
        }
        int out[2];
        if (pipe(out) != 0) Fail("pipe");
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child < 0) Fail("fork");
        if (child == 0) {
            dup2(out[1], 2);
            close(out[0]);
            // Crash exits through std::exit: leave at once, without the
            // process-wide clean-up (and leak report) that belongs to the parent.
            std::atexit([] {
                std::fflush(stderr);
                _exit(1);
            });
            try {
                call();
            } catch (...) {
                _exit(3);
            }
            _exit(2);
        }
        close(out[1]);
        std::string text;
        char buf[4096];
        for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
        close(out[0]);
        int status = 0;
        waitpid(child, &status, 0);
        bool known = false;
        std::size_t from = 0;
        for (std::size_t to; from < message.size(); from = to + 1) {
            to = message.find(kOr, from);
            if (to == std::string::npos) to = message.size();
            known = known || text == std::string(kCrashCaption) + ": " + message.substr(from, to - from) + "\n";
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 1 || !known)
            Fail(what + " should stop with \"" + message + "\" and status 1; it ended with status " +
                 std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) + " and output \"" +
                 text + "\"");
        ++fatal;
    }

    // -- One call ---------------------------------------------------------------

    static std::string Describe(const std::string& entry, const Params& p) {
        std::string s = "\"" + entry + "\"(";
        for (std::size_t i = 0; i < p.size(); ++i) {
            if (i) s += ", ";
            const std::any& v = p[i];
            if (auto* x = std::any_cast<int>(&v)) s += std::to_string(*x);
            else if (auto* x = std::any_cast<float>(&v)) s += std::to_string(*x) + "f";
            else if (auto* x = std::any_cast<std::string>(&v)) s += "\"" + *x + "\"";
            else if (auto* x = std::any_cast<std::vector<float>>(&v)) s += "[" + std::to_string(x->size()) + " floats]";
            else if (auto* x = std::any_cast<std::any*>(&v)) s += "handle " + std::to_string(reinterpret_cast<std::uintptr_t>(*x));
            else s += std::string("<") + v.type().name() + ">";
        }
        return s + ")";
    }

    // A handle argument whose slot no longer exists in any record must be refused.
    bool Stale(const Params& p) const {
        std::any* const* h = At<std::any*>(p, 0);
        if (!h || !handleOwner.count(*h)) return false;
        auto r = Instances.find(handleOwner.at(*h));
        if (r == Instances.end()) return true;
        for (const auto& v : r->second.Variables)
            if (&v.second == *h) return false;
        return true;
    }

    void Call(const World::Api::Entry& e, Params p) {
        const int buffersBefore = B::BufferCount;
        ++calls;
        ++perEntry[e.name];
        const std::string entry = e.name;
        const std::string stop = PredictStop(entry, p);
        if (!stop.empty()) {
            ExpectStop([&] { e.op ? (void)api.ops.at(entry)(p) : api.funcs.at(entry)(p); }, stop, Describe(entry, p));
            return;
        }
        const bool stale = e.args.size() && Letter(e.args[0]) == 'h' && Stale(p);
        const Fingerprint before = Scene();
        const std::string what = Describe(entry, p);
        try {
            std::any result;
            if (e.op) result = api.ops.at(entry)(p);
            else api.funcs.at(entry)(p);
            ++results;
            if (stale) Fail(what + " accepted a handle of a destroyed instance");
            Learn(entry, p, result);
            if (B::BufferCount != buffersBefore) FirstSlot[B::BufferCount - 1] = B::InstanceCount;
        } catch (const std::exception& x) {
            ++exceptions[typeid(x).name()];
            if (stale) ++staleRefused;
            if (Scene() != before) Fail(what + " threw (" + x.what() + ") but changed the scene");
        } catch (...) {
            Fail(what + " threw something that is not a standard exception");
        }
        CheckScene(what);
    }

    // Ids and handles the calls hand back feed later calls.
    void Learn(const std::string& entry, const Params& p, const std::any& result) {
        if (entry == "Instance.New") ids.push_back(std::any_cast<int>(result));
        if (entry == "Instance.Get") {
            std::any* h = std::any_cast<std::any*>(result);
            const int id = std::any_cast<int>(p[0]);
            auto known = handleOwner.find(h);
            if (known == handleOwner.end()) {
                handles.push_back(h);
                handleOwner.emplace(h, id);
            } else if (known->second != id) {
                Fail("\"Instance.Get\" handed out the address of a slot of instance " + std::to_string(known->second) +
                     " again, for instance " + std::to_string(id));
            }
        }
    }

    void Frame() {
        ++frames;
        const std::string stop = PredictFrameStop();
        if (!stop.empty()) {
            ExpectStop([] { B::Draw(); }, stop, "a frame");
            // The game could not go on from here; empty the over-full buffers so this one can.
            for (const auto& [name, index] : B::Names) {
                const int capacity = B::Buffers[index].capacity;
                std::vector<int> over;
                for (const auto& [key, r] : Instances)
                    if (r.id == key && r.Type == "Model" &&
                        std::any_cast<const std::string&>(r.Variables.at("Tied Model")) == name)
                        over.push_back(key);
                if (static_cast<int>(B::Positions[index].size()) > capacity)
                    for (int id : over) Call(Catalog("Instance.Destroy"), {id});
            }
            return;
        }
        World::Physics::Step(1.0f / 60);  // as the frame loop does before drawing
        BeginDrawing();
        B::Draw();
        EndDrawing();
        CheckScene("a frame");
    }

    static const World::Api::Entry& Catalog(const std::string& name) {
        for (const auto& e : World::Api::Entries())
            if (name == e.name) return e;
        Fail("no entry " + name);
    }

    // One step: mostly calls of any entry, weighted towards the ones that build
    // and change the scene; keeps the scene small so checks stay cheap.
    void Step() {
        const auto& entries = World::Api::Entries();
        std::size_t live = 0;
        for (const auto& [key, r] : Instances) live += r.id == key;
        if (live > 150) {
            Call(Catalog("Instance.Destroy"), {ids[Below(ids.size())]});
        } else if (Chance(0.45)) {
            static const char* const scene[] = {"Instance.New", "Instance.New", "Instance.New", "Instance.SetParent",
                                                "Instance.SetParent", "Instance.SetName", "Instance.Destroy",
                                                "Instance.Get", "Instance.Get", "Model.SetModel", "LoadModel",
                                                "UnloadModel", "CFrame.MoveTo", "CFrame.RotateBy", "Model.SetScale",
                                                "Light.SetShadowUpdateMode", "RaycastSingle", "LoadSound",
                                                "LoadMusicStream", "PlaySound", "UnloadSound", "PlayMusicStream",
                                                "Sound.Play", "Sound.SetPosition", "Model.SetBody", "Model.SetBody",
                                                "Model.SetVelocity"};
            const auto& e = Catalog(scene[Below(std::size(scene))]);
            Call(e, Arguments(e));
        } else {
            const auto& e = entries[Below(entries.size())];
            Call(e, Arguments(e));
        }
        if (calls % 64 == 0) Frame();
        // Ids never issued yet, and far beyond, for the look-ups that make blank records.
        if (calls % 97 == 0) ids.push_back(inst_count + static_cast<int>(Below(5)));
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t seed = 1, maxCalls = 0;
    double seconds = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--seed") seed = std::strtoull(argv[i + 1], nullptr, 10);
        else if (flag == "--calls") maxCalls = std::strtoull(argv[i + 1], nullptr, 10);
        else if (flag == "--seconds") seconds = std::strtod(argv[i + 1], nullptr);
        else {
            std::fprintf(stderr, "usage: %s [--seed N] [--calls N] [--seconds S]\n", argv[0]);
            return 2;
        }
    }
    if (!maxCalls && seconds <= 0) maxCalls = 100000;
    setenv("VANTOR_NO_DIALOG", "1", 1);

    SetTraceLogLevel(LOG_ERROR);
    TestSupport::TempDir files;
    soundFile = files / "tone.wav";
    std::vector<float> tone(4410);
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * std::sin(0.0627f * static_cast<float>(i));
    SoundFile::WriteWav(soundFile, tone, 1, 44100);
    SetConfigFlags(FLAG_WINDOW_HIDDEN);
    InitWindow(320, 240, "engine entry fuzz");
    if (!IsWindowReady()) {
        std::fprintf(stderr, "entry fuzz: no window (is there a display?)\n");
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    std::uint64_t total = 0, results = 0, fatal = 0, skipped = 0, frames = 0, stale = 0, runs = 0;
    std::map<std::string, std::uint64_t> exceptions, perEntry;
    // A fresh scene every 20,000 calls, so ids and handles of many scenes are met.
    constexpr std::uint64_t kCallsPerScene = 20000;
    for (;; ++seed, ++runs) {
        Fuzzer f(Harness::Fresh(), seed);
        FirstSlot.clear();
        CheckScene("start-up");
        while (f.calls < kCallsPerScene) {
            f.Step();
            if (maxCalls && total + f.calls >= maxCalls) break;
            if (seconds > 0 && f.calls % 256 == 0 && elapsed() >= seconds) break;
        }
        total += f.calls;
        results += f.results;
        fatal += f.fatal;
        skipped += f.fatalSkipped;
        frames += f.frames;
        stale += f.staleRefused;
        for (const auto& [k, v] : f.exceptions) exceptions[k] += v;
        for (const auto& [k, v] : f.perEntry) perEntry[k] += v;
        if ((maxCalls && total >= maxCalls) || (seconds > 0 && elapsed() >= seconds)) break;
    }
    std::uint64_t thrown = 0;
    for (const auto& [k, v] : exceptions) thrown += v;
    std::uint64_t fewest = UINT64_MAX;
    for (const auto& e : World::Api::Entries()) fewest = std::min(fewest, perEntry[e.name]);
    std::printf("entry fuzz: %llu calls in %.1f s (%llu scenes from seed %llu): %llu results, %llu standard exceptions, "
                "%llu fatal stops checked in a child (%llu more predicted, not run), %llu frames; %llu stale handles "
                "refused; every one of the %zu entries called at least %llu times\n",
                (unsigned long long)total, elapsed(), (unsigned long long)runs + 1,
                (unsigned long long)(seed - runs), (unsigned long long)results, (unsigned long long)thrown,
                (unsigned long long)fatal, (unsigned long long)skipped, (unsigned long long)frames, (unsigned long long)stale,
                World::Api::Entries().size(), (unsigned long long)fewest);
    for (const auto& [k, v] : exceptions) std::printf("  %-40s %llu\n", k.c_str(), (unsigned long long)v);
    // The window is left to the end of the process: closing it unloads the GL
    // driver, whose few start-up allocations leak checkers then report as leaks.
    return fewest > 0 ? 0 : 1;
}
