// The catalogue of API entries: name, kind (op with a result, func without)
// and the callable, in the order they are handed to the game module.
#pragma once

#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "Global.h"
#include "Values.h"

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

// An entry with a result from a typed function: Op("Vector3Add", Vector3Add).
template <class R, class... A>
Entry Op(const char* name, R (*fn)(A...)) {
    return {name, nullptr,
            [fn, name](Params params) -> std::any {
                return Kind<Value<R>>::Write(CallTyped(fn, params, name, std::index_sequence_for<A...>{}));
            },
            nullptr, {Kind<Value<A>>::kInfo...}, Kind<Value<R>>::kInfo};
}

// An entry without a result from a typed function.
template <class... A>
Entry Func(const char* name, void (*fn)(A...)) {
    return {name, nullptr, nullptr,
            [fn, name](Params params) { CallTyped(fn, params, name, std::index_sequence_for<A...>{}); },
            {Kind<Value<A>>::kInfo...}, Kind<void>::kInfo};
}

// Entries that must read their arguments themselves (side effects between
// reads); the kinds they read are named by type: RawOp<Result, Args...>(...).
template <class R, class... A>
Entry RawOp(const char* name, std::any (*fn)(const Params&, const char*)) {
    return {name, nullptr, [fn, name](Params params) { return fn(params, name); }, nullptr, {Kind<A>::kInfo...},
            Kind<R>::kInfo};
}
template <class... A>
Entry RawFunc(const char* name, void (*fn)(const Params&, const char*)) {
    return {name, nullptr, nullptr, [fn, name](Params params) { fn(params, name); }, {Kind<A>::kInfo...},
            Kind<void>::kInfo};
}

}  // namespace World::Api
