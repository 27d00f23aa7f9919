#pragma once
// Free lists by size for the small objects a battle makes and frees by the
// thousand every second (effects, trail points, hit records, deletion
// records): quicker than the general heap, and a freed object's memory is
// handed out again while it is still in the cache.
#include <cstddef>
#include <new>

namespace size_pool_detail {

// The sanitizer builds keep the general heap for everything, so they still
// see every use after free.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kPooledMax = 0;
#else
constexpr std::size_t kPooledMax = 2048;
#endif
constexpr std::size_t kStep = 16;

struct FreeSlot {
    FreeSlot* next;
};

// One size's free list and the block its new slots are cut from.
struct Pool {
    FreeSlot* free = nullptr;
    char* block = nullptr;
    std::size_t left = 0;
};

extern Pool pools[kPooledMax / kStep + 1];

constexpr bool Pooled(std::size_t size) { return size != 0 && size <= kPooledMax; }
constexpr std::size_t Index(std::size_t size) { return (size + kStep - 1) / kStep; }

// Everything but a take from a free list and a give to one.
void* TakeSlow(std::size_t size) noexcept;
void GiveSlow(void* p, std::size_t size) noexcept;

}  // namespace size_pool_detail

// Null when out of memory. Memory of sizes up to kPooledMax is kept for
// reuse and never given back; bigger sizes go to the general heap.
// Inline up to the free list: a class's size is known where it is made, so
// the list is picked at compile time.
inline void* SizePoolTake(std::size_t size) noexcept
{
    using namespace size_pool_detail;
    if (Pooled(size)) {
        Pool& pool = pools[Index(size)];
        if (FreeSlot* slot = pool.free) {
            pool.free = slot->next;
            // The next take reads that slot's link, and the caller writes it all.
            __builtin_prefetch(pool.free, 1);
            return slot;
        }
    }
    return TakeSlow(size);
}

inline void SizePoolGive(void* p, std::size_t size) noexcept
{
    using namespace size_pool_detail;
    if (p && Pooled(size)) {
        Pool& pool = pools[Index(size)];
        auto* slot = static_cast<FreeSlot*>(p);
        slot->next = pool.free;
        pool.free = slot;
        return;
    }
    GiveSlow(p, size);
}

// A base that gives a class and every class under it the pool's new and
// delete. Deleting through a base pointer needs a virtual destructor: the
// size handed back is that of the object's own class.
class SizePooled {
public:
    static void* operator new(std::size_t size)
    {
        if (void* p = SizePoolTake(size)) return p;
        throw std::bad_alloc();
    }
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return SizePoolTake(size); }
    static void operator delete(void* p, std::size_t size) noexcept { SizePoolGive(p, size); }
};
