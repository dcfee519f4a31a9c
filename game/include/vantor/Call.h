// One call of a host entry by name: the wrappers and handles are all written
// with Call<R>(name, args...).
//
// Every call looks its name up again (nothing is cached, so a redefinition
// through define_func/define_op is seen at once), wraps each argument in its
// own std::any with its exact type, and takes the result out as exactly R.
// Entries with a result live in bridge_ops, the others in bridge_funcs.
#pragma once

#include <any>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "Bridge.h"

namespace Game::Bridge {

// The only types a value may have when it crosses to the host. A literal such
// as 1.0 or "Value" would arrive as double or const char* and be refused by
// the host, so anything else is stopped here at compile time.
template <class T>
constexpr bool kCrosses = std::is_same_v<T, int> || std::is_same_v<T, float> || std::is_same_v<T, bool> ||
                          std::is_same_v<T, std::string> || std::is_same_v<T, std::vector<float>> ||
                          std::is_same_v<T, std::any*>;

// Calling a name the host never defined. It stays the std::bad_function_call
// that calling an empty table slot has always thrown, but says which name.
class UnknownEntry : public std::bad_function_call {
public:
    explicit UnknownEntry(const std::string& name)
        : text_("no host entry named \"" + name + "\" (the engine does not define it)") {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// The table slot for a name, inserted empty when the host never defined it
// (calling an empty slot throws std::bad_function_call).
template <class R>
auto& Lookup(const std::string& name) {
    if constexpr (std::is_void_v<R>)
        return bridge_funcs[name];
    else
        return bridge_ops[name];
}

// Calls a slot already looked up; used directly where something must happen
// between the look-up and the call (the transform methods fetch their handle).
// Each argument is copied once, into its std::any (or moved there when the
// caller hands it over).
template <class R, class Entry, class... A>
R Invoke(Entry& entry, const std::string& name, A&&... args) {
    static_assert((kCrosses<std::decay_t<A>> && ...),
                  "a bridge value must be int, float, bool, std::string, std::vector<float> or std::any*");
    if (!entry) throw UnknownEntry(name);
    std::vector<std::any> params;
    params.reserve(sizeof...(A));
    (params.emplace_back(std::forward<A>(args)), ...);
    if constexpr (std::is_void_v<R>) {
        entry(std::move(params));
    } else {
        std::any result = entry(std::move(params));
        return std::any_cast<R>(std::move(result));
    }
}

template <class R, class... A>
R Call(const std::string& name, A&&... args) {
    return Invoke<R>(Lookup<R>(name), name, std::forward<A>(args)...);
}

}  // namespace Game::Bridge
