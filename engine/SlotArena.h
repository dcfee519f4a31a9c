// Memory for instance variables whose addresses are never handed out twice.
//
// A variable handle is the address of a slot, and the game keeps it as a plain
// pointer. If a destroyed instance's slot address came back for a new slot, the
// old handle would pass every check and reach the new instance. So slots come
// from pages that are only ever filled front to back: when every slot of a
// filled page is gone, the page's memory goes back to the system but its
// address range stays reserved (and, once a whole chunk of pages is gone,
// inaccessible), so no allocation lands there again while the process runs.
// Memory held is the pages with a live slot; address space grows with the
// number of slots ever made.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>

namespace SlotArena {

// Size and alignment of one allocation; larger objects are not served here.
inline constexpr std::size_t kGrain = 16;
inline constexpr std::size_t kMaxObject = 256;

void* Allocate(std::size_t bytes);
void Release(void* object, std::size_t bytes);

struct Usage {
    std::size_t liveObjects = 0;    // allocated, not yet released
    std::size_t heldPages = 0;      // pages whose memory is kept (a live object, or still being filled)
    std::size_t pageBytes = 0;      // size of one page
    std::size_t releasedPages = 0;  // pages given back to the system, address kept
    std::size_t reservedBytes = 0;  // address space reserved so far
};
Usage CurrentUsage();

}  // namespace SlotArena

// An allocator for node-based containers: single nodes come from SlotArena (so
// a node's address is never reused), arrays (bucket tables) from the heap.
template <class T>
struct SlotAllocator {
    using value_type = T;

    SlotAllocator() = default;
    template <class U>
    SlotAllocator(const SlotAllocator<U>&) noexcept {}

    static constexpr bool kFromArena = !std::is_pointer_v<T> && sizeof(T) <= SlotArena::kMaxObject &&
                                       alignof(T) <= SlotArena::kGrain;

    T* allocate(std::size_t n) {
        if constexpr (kFromArena)
            if (n == 1) return static_cast<T*>(SlotArena::Allocate(sizeof(T)));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if constexpr (kFromArena)
            if (n == 1) return SlotArena::Release(p, sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }

    template <class U>
    bool operator==(const SlotAllocator<U>&) const noexcept { return true; }
    template <class U>
    bool operator!=(const SlotAllocator<U>&) const noexcept { return false; }
};
