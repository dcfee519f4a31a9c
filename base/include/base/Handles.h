// Handles for everything a layer hands out (lights, textures, models, fonts,
// images, sounds, music, placed sounds, bodies, characters): one Pool type.
//
// A handle is 32 bits and never negative as an int:
//     bits  0..19  slot index
//     bits 20..26  generation of the slot (1..127), bumped each time it is freed
//     bits 27..30  kind: which pool issued it (one number per pool name)
// 0 is never issued, so it can mean "none". A handle whose object was released
// (stale), that another pool issued (foreign) or that was never issued finds
// nothing, never another object: a slot whose generation runs out is retired
// rather than reused, so no handle value is ever issued twice.
//
// Pools are not thread-safe; a layer that shares one between threads locks it.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace base {

using Handle = std::uint32_t;

namespace handles {
constexpr Handle kIndexBits = 20, kGenerationBits = 7;
constexpr Handle kIndexMask = (1u << kIndexBits) - 1;
constexpr Handle kGenerationMask = (1u << kGenerationBits) - 1;
constexpr Handle kKindShift = kIndexBits + kGenerationBits;
constexpr Handle kMaxSlots = kIndexMask + 1;

inline Handle Make(unsigned kind, Handle index, unsigned generation) {
    return (static_cast<Handle>(kind) << kKindShift) | (static_cast<Handle>(generation) << kIndexBits) | index;
}
inline Handle IndexOf(Handle h) { return h & kIndexMask; }
inline unsigned GenerationOf(Handle h) { return (h >> kIndexBits) & kGenerationMask; }
inline unsigned KindOf(Handle h) { return h >> kKindShift; }

// The kind number of a pool name ("light", "sound"): the same name gets the same
// number in one process, the first 15 names each their own.
unsigned KindNumber(const char* noun);
// The name behind a kind number ("" when none).
const char* KindName(unsigned kind);

// Why `h` finds nothing in a pool of `kind`, in words: "was released",
// "is a sound handle", "was never issued".
std::string WhyNotLive(Handle h, unsigned kind, bool released);

// Sends the warning "TAG: call: noun HANDLE why" (see Log.h).
void WarnNotLive(const char* tag, const char* call, const char* noun, Handle h, const std::string& why);
}  // namespace handles

template <class T>
class Pool {
public:
    // `tag` is the layer's warning tag, `noun` what the pool holds ("light").
    Pool(const char* tag, const char* noun) : tag_(tag), noun_(noun), kind_(handles::KindNumber(noun)) {}
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    // Stores `value` and returns its handle; 0 only when every slot is spent.
    template <class... Args>
    Handle Add(Args&&... args) {
        Handle index;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
        } else {
            if (slots_.size() >= handles::kMaxSlots) return 0;
            index = static_cast<Handle>(slots_.size());
            slots_.emplace_back();
        }
        Slot& slot = slots_[index];
        slot.value.emplace(std::forward<Args>(args)...);
        ++live_;
        return handles::Make(kind_, index, slot.generation);
    }

    // The object behind `h`, or nullptr (silently) when there is none.
    T* Find(Handle h) {
        Slot* slot = SlotOf(h);
        return slot ? &*slot->value : nullptr;
    }
    const T* Find(Handle h) const { return const_cast<Pool*>(this)->Find(h); }

    // As Find, with a warning naming the layer, `call` and why the handle finds
    // nothing. Handle 0 ("none") finds nothing without a warning.
    T* Get(Handle h, const char* call) {
        if (T* value = Find(h)) return value;
        if (h != 0) handles::WarnNotLive(tag_, call, noun_, h, Why(h));
        return nullptr;
    }

    // Releases the object behind `h`; false (silently) when there is none.
    bool Remove(Handle h) {
        Slot* slot = SlotOf(h);
        if (!slot) return false;
        Release(handles::IndexOf(h));
        return true;
    }

    // Releases every object; every handle issued so far goes stale.
    void Clear() {
        for (Handle i = 0; i < slots_.size(); ++i)
            if (slots_[i].value) Release(i);
    }

    // Whether `h` was issued by this pool and its object released.
    bool Released(Handle h) const {
        return handles::KindOf(h) == kind_ && handles::IndexOf(h) < slots_.size() &&
               handles::GenerationOf(h) != 0 && handles::GenerationOf(h) != slots_[handles::IndexOf(h)].generation;
    }
    std::string Why(Handle h) const { return handles::WhyNotLive(h, kind_, Released(h)); }

    std::size_t Size() const { return live_; }
    bool Empty() const { return live_ == 0; }
    const char* Noun() const { return noun_; }

    // Calls f(handle, object) for every live object, in slot order. `f` may not
    // add to or remove from the pool.
    template <class F>
    void ForEach(F&& f) {
        for (Handle i = 0; i < slots_.size(); ++i)
            if (slots_[i].value) f(handles::Make(kind_, i, slots_[i].generation), *slots_[i].value);
    }
    // The handles of every live object, in slot order (to remove while walking).
    std::vector<Handle> Handles() const {
        std::vector<Handle> all;
        all.reserve(live_);
        for (Handle i = 0; i < slots_.size(); ++i)
            if (slots_[i].value) all.push_back(handles::Make(kind_, i, slots_[i].generation));
        return all;
    }

private:
    struct Slot {
        std::optional<T> value;
        unsigned generation = 1;
    };

    Slot* SlotOf(Handle h) {
        const Handle index = handles::IndexOf(h);
        if (h == 0 || handles::KindOf(h) != kind_ || index >= slots_.size()) return nullptr;
        Slot& slot = slots_[index];
        if (!slot.value || slot.generation != handles::GenerationOf(h)) return nullptr;
        return &slot;
    }

    void Release(Handle index) {
        Slot& slot = slots_[index];
        slot.value.reset();
        --live_;
        // A spent slot is retired: its last handle must never name a new object.
        if (++slot.generation <= handles::kGenerationMask) free_.push_back(index);
    }

    const char* tag_;
    const char* noun_;
    unsigned kind_;
    std::deque<Slot> slots_;  // a deque: objects never move while the pool grows
    std::vector<Handle> free_;
    std::size_t live_ = 0;
};

}  // namespace base
