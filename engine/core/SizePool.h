#pragma once
// Free lists by size for the small objects a battle makes and frees by the
// thousand every second (effects, trail points, hit records, deletion
// records): quicker than the general heap, and a freed object's memory is
// handed out again while it is still in the cache.
#include <cstddef>
#include <new>

// Null when out of memory. Memory of sizes up to kSizePoolMax is kept for
// reuse and never given back; bigger sizes go to the general heap.
void* SizePoolTake(std::size_t size) noexcept;
void SizePoolGive(void* p, std::size_t size) noexcept;

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
