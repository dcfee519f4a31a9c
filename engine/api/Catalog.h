// The catalogue of API entries: name, kind (op with a result, func without),
// the callable and what the API reference says of it, in the order they are
// handed to the game module. An entry is one line of an Add*Entries table; the
// API reference, and through it every count the tests check, comes from here.
#pragma once

#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "Global.h"
#include "Values.h"

namespace World::App {
bool Headless();  // World.h, which tools reading the catalogue go without
}  // namespace World::App

namespace World::Api {

struct Entry {
    const char* name;
    // The group the entry came in: "core" for the first 171, which never change;
    // each group added later has its own word ("sound", ...).
    const char* group;
    game_op op;      // set for entries with a result
    game_func func;  // set for entries without
    // What the entry reads, by position, and what it returns: the API reference
    // is generated from these, and they come from the typed functions themselves.
    std::vector<KindInfo> args;
    KindInfo result;
    // One line on what the entry does, and what each argument means by position
    // ("" where its kind says enough); the reference refuses a list of another length.
    const char* summary;
    std::vector<const char*> argNames;
    // The source file whose table adds the entry, as the compiler named it.
    const char* file;
};

using Catalog = std::vector<Entry>;

// Every entry, in registration order.
const Catalog& Entries();

// Each group of entries adds itself; Entries() calls them in this order.
void AddInstanceEntries(Catalog& catalog);  //   1-10  "Instance."
void AddCFrameEntries(Catalog& catalog);    //  11-26  "CFrame.", "Model."
void AddLightEntries(Catalog& catalog);     //  27-62  "Light."
void AddInputEntries(Catalog& catalog);     //  63-92  keyboard, mouse, cursor, camera, time
void AddAssetEntries(Catalog& catalog);     //  93-94  "LoadModel", "UnloadModel"
void AddMathEntries(Catalog& catalog);      // 95-170  raymath
void AddRaycastEntries(Catalog& catalog);   //    171  "RaycastSingle"
// Groups added after the 171, each registered after the ones before it.
void AddSoundEntries(Catalog& catalog);     // "sound": sounds, music streams, "Sound." placed sounds
void AddScreenEntries(Catalog& catalog);    // "screen": text, fonts, shapes, images, world to screen
void AddAnimationEntries(Catalog& catalog); // "animation": clips of a model, "Model." playback and joints
void AddPhysicsEntries(Catalog& catalog);   // "physics": bodies, characters, queries, events
void AddAppEntries(Catalog& catalog);       // "app": the window, gamepads, clearing the scene
void AddEnvironmentEntries(Catalog& catalog);  // "environment": sky, sky light, fog, occlusion, bloom, exposure
void AddParticlesEntries(Catalog& catalog); // "particles": "Particles." emitters
void AddInspectorEntries(Catalog& catalog); // "inspector": whether F1 shows it
void AddNetworkEntries(Catalog& catalog);   // "network": sessions, messages, shared "Model." instances

// -- Adapting typed functions ------------------------------------------------

template <class T>
using Value = std::remove_cv_t<std::remove_reference_t<T>>;

// Reads every argument in order (braced initialisation fixes the order), then
// calls. A BadValue from the call itself gets the entry's name in front.
template <class R, class... A, std::size_t... I>
R CallTyped(R (*fn)(A...), const Params& params, [[maybe_unused]] const char* name, std::index_sequence<I...>) {
    std::tuple<Value<A>...> args{Arg<Value<A>>(params, I, name)...};
    try {
        return std::apply(fn, std::move(args));
    } catch (const BadValue& e) {
        throw BadValue(std::string(name) + ": " + e.what());
    }
}

// Each maker takes the entry's name, its function, the line the reference
// gives it and the meaning of each argument. The file is the caller's: the
// default argument is evaluated where the table calls the maker.
using ArgNames = std::vector<const char*>;

// An entry with a result from a typed function:
//   Op("Vector3Add", Vector3Add, "Sum of the two.", {"", ""}).
template <class R, class... A>
Entry Op(const char* name, R (*fn)(A...), const char* summary, ArgNames argNames,
         const char* file = __builtin_FILE()) {
    return {name,
            nullptr,
            [fn, name](Params params) -> std::any {
                return Kind<Value<R>>::Write(CallTyped(fn, params, name, std::index_sequence_for<A...>{}));
            },
            nullptr,
            {Kind<Value<A>>::kInfo...},
            Kind<Value<R>>::kInfo,
            summary,
            std::move(argNames),
            file};
}

// An entry without a result from a typed function.
template <class... A>
Entry Func(const char* name, void (*fn)(A...), const char* summary, ArgNames argNames,
           const char* file = __builtin_FILE()) {
    return {name,
            nullptr,
            nullptr,
            [fn, name](Params params) { CallTyped(fn, params, name, std::index_sequence_for<A...>{}); },
            {Kind<Value<A>>::kInfo...},
            Kind<void>::kInfo,
            summary,
            std::move(argNames),
            file};
}

// An entry without a result that commands the window (its title, the pointer):
// headless there is no window, and GLFW, never started, must not be asked, so
// the arguments are read (and refused) as usual and nothing more is done.
// Every entry that reads the window's state is safe as it is: raylib answers
// from tables that no poll fills headless (no key down, the pointer at 0, 0).
template <class... A>
Entry WindowFunc(const char* name, void (*fn)(A...), const char* summary, ArgNames argNames,
                 const char* file = __builtin_FILE()) {
    Entry entry = Func(name, fn, summary, std::move(argNames), file);
    void (*const nothing)(A...) = [](A...) {};
    entry.func = [fn, nothing, name](Params params) {
        CallTyped(App::Headless() ? nothing : fn, params, name, std::index_sequence_for<A...>{});
    };
    return entry;
}

// Entries that must read their arguments themselves (side effects between
// reads); the kinds they read are named by type: RawOp<Result, Args...>(...).
template <class R, class... A>
Entry RawOp(const char* name, std::any (*fn)(const Params&, const char*), const char* summary, ArgNames argNames,
            const char* file = __builtin_FILE()) {
    return {name,
            nullptr,
            [fn, name](Params params) { return fn(params, name); },
            nullptr,
            {Kind<A>::kInfo...},
            Kind<R>::kInfo,
            summary,
            std::move(argNames),
            file};
}
template <class... A>
Entry RawFunc(const char* name, void (*fn)(const Params&, const char*), const char* summary, ArgNames argNames,
              const char* file = __builtin_FILE()) {
    return {name,
            nullptr,
            nullptr,
            [fn, name](Params params) { fn(params, name); },
            {Kind<A>::kInfo...},
            Kind<void>::kInfo,
            summary,
            std::move(argNames),
            file};
}

}  // namespace World::Api
