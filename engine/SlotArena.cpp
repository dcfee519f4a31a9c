#include "SlotArena.h"

#ifdef _WIN32
// Only the memory calls: the window and drawing parts clash with raylib's names.
#define WIN32_LEAN_AND_MEAN
#define NOGDI
#define NOUSER
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <cstdint>
#include <iterator>
#include <map>
#include <vector>

#include "Messages.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define SLOT_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define SLOT_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define SLOT_POISON(p, n) ((void)(p), (void)(n))
#define SLOT_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace SlotArena {
namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kPagesPerChunk = 512;  // 2 MiB: released as a whole once all its pages are
constexpr std::size_t kChunk = kPage * kPagesPerChunk;
constexpr std::size_t kRegion = std::size_t(1) << 30;  // reserved at a time
constexpr std::size_t kClasses = kMaxObject / kGrain + 1;

// At the start of every page; objects follow, filled front to back.
struct alignas(kGrain) Page {
    std::uint32_t live;  // objects not yet released
    std::uint32_t size;  // object size of this page
    std::uint32_t next;  // offset of the next object to hand out
};

struct Region {
    char* base;
    std::size_t pagesUsed = 0;
    std::vector<std::uint16_t> releasedPerChunk;
};

struct State {
    std::map<std::uintptr_t, Region> regions;  // by base address
    Region* filling = nullptr;
    Page* current[kClasses] = {};
    Usage usage;
};

State& Arena() {
    static State* state = new State;  // never destroyed: slots are released during exit too
    state->usage.pageBytes = kPage;
    return *state;
}

// -- The system's memory: reserve address space, give pages back, keep the addresses.

char* Reserve(std::size_t bytes) {
#ifdef _WIN32
    void* p = VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS);
    return static_cast<char*>(p);
#else
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<char*>(p);
#endif
}

bool Commit([[maybe_unused]] char* page) {
#ifdef _WIN32
    return VirtualAlloc(page, kPage, MEM_COMMIT, PAGE_READWRITE) != nullptr;
#else
    return true;  // reserved read-write; the system backs pages when first touched
#endif
}

void GiveBackPage(char* page) {
#ifdef _WIN32
    VirtualFree(page, kPage, MEM_DECOMMIT);
#else
    madvise(page, kPage, MADV_DONTNEED);
#endif
}

// The whole chunk, page tables included, while its addresses stay reserved and
// become inaccessible: a stray access faults instead of reading zeros.
void GiveBackChunk([[maybe_unused]] char* chunk) {
#ifndef _WIN32
    mmap(chunk, kChunk, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
#endif
}

// -- Pages

Region& RegionOf(State& s, const void* p) {
    auto it = s.regions.upper_bound(reinterpret_cast<std::uintptr_t>(p));
    return std::prev(it)->second;
}

Page* NewPage(State& s, std::size_t size) {
    if (!s.filling || s.filling->pagesUsed * kPage == kRegion) {
        char* base = Reserve(kRegion);
        Fail(Fatal::OutOfSlotMemory, base == nullptr);
        Region& region = s.regions[reinterpret_cast<std::uintptr_t>(base)];
        region.base = base;
        region.releasedPerChunk.assign(kRegion / kChunk, 0);
        s.filling = &region;
        s.usage.reservedBytes += kRegion;
    }
    char* at = s.filling->base + s.filling->pagesUsed++ * kPage;
    Fail(Fatal::OutOfSlotMemory, !Commit(at));
    Page* page = reinterpret_cast<Page*>(at);
    page->live = 0;
    page->size = static_cast<std::uint32_t>(size);
    page->next = sizeof(Page);
    ++s.usage.heldPages;
    SLOT_POISON(at + sizeof(Page), kPage - sizeof(Page));
    return page;
}

// A filled page with nothing live in it: its memory goes, its addresses stay.
void Retire(State& s, Page* page) {
    char* at = reinterpret_cast<char*>(page);
    Region& region = RegionOf(s, at);
    GiveBackPage(at);
    --s.usage.heldPages;
    ++s.usage.releasedPages;
    const std::size_t chunk = static_cast<std::size_t>(at - region.base) / kChunk;
    if (++region.releasedPerChunk[chunk] == kPagesPerChunk) GiveBackChunk(region.base + chunk * kChunk);
}

}  // namespace

void* Allocate(std::size_t bytes) {
    State& s = Arena();
    const std::size_t size = (bytes + kGrain - 1) / kGrain * kGrain;
    Page*& page = s.current[size / kGrain];
    if (!page || page->next + size > kPage) {
        Page* full = page;
        page = NewPage(s, size);
        if (full && full->live == 0) Retire(s, full);
    }
    char* object = reinterpret_cast<char*>(page) + page->next;
    page->next += static_cast<std::uint32_t>(size);
    ++page->live;
    ++s.usage.liveObjects;
    SLOT_UNPOISON(object, size);
    return object;
}

void Release(void* object, std::size_t bytes) {
    State& s = Arena();
    const std::size_t size = (bytes + kGrain - 1) / kGrain * kGrain;
    SLOT_POISON(object, size);
    Page* page = reinterpret_cast<Page*>(reinterpret_cast<std::uintptr_t>(object) & ~(kPage - 1));
    --s.usage.liveObjects;
    // The page still being filled is retired when it is full (in Allocate).
    if (--page->live == 0 && s.current[size / kGrain] != page) Retire(s, page);
}

Usage CurrentUsage() { return Arena().usage; }

}  // namespace SlotArena
