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
    game_op op;        // set for entries with a result
    game_func func;    // set for entries without
    std::string args;  // what it reads, one letter per position (see Values.h)
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

template <class... A>
std::string Letters() {
    return {Kind<Value<A>>::kLetter...};
}

// An entry with a result from a typed function: Op("Vector3Add", Vector3Add).
template <class R, class... A>
Entry Op(const char* name, R (*fn)(A...)) {
    return {name, [fn, name](Params params) -> std::any {
                return Kind<Value<R>>::Write(CallTyped(fn, params, name, std::index_sequence_for<A...>{}));
            }, nullptr, Letters<A...>()};
}

// An entry without a result from a typed function.
template <class... A>
Entry Func(const char* name, void (*fn)(A...)) {
    return {name, nullptr, [fn, name](Params params) { CallTyped(fn, params, name, std::index_sequence_for<A...>{}); },
            Letters<A...>()};
}

// Entries that read their arguments themselves; `args` lists what they read.
inline Entry RawOp(const char* name, std::any (*fn)(const Params&, const char*), std::string args) {
    return {name, [fn, name](Params params) { return fn(params, name); }, nullptr, std::move(args)};
}
inline Entry RawFunc(const char* name, void (*fn)(const Params&, const char*), std::string args) {
    return {name, nullptr, [fn, name](Params params) { fn(params, name); }, std::move(args)};
}

}  // namespace World::Api
