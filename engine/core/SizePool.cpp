#include "engine/core/SizePool.h"

namespace {

// The sanitizer builds keep the general heap for everything, so they still
// see every use after free.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kPooledMax = 0;
#else
constexpr std::size_t kPooledMax = 2048;
#endif
constexpr std::size_t kStep = 16;
constexpr std::size_t kBlock = 64 * 1024;

struct FreeSlot {
    FreeSlot* next;
};

// One size's free list and the block its new slots are cut from.
struct Pool {
    FreeSlot* free = nullptr;
    char* block = nullptr;
    std::size_t left = 0;
};

Pool g_pools[kPooledMax / kStep + 1];

bool Pooled(std::size_t size) { return size != 0 && size <= kPooledMax; }
std::size_t Index(std::size_t size) { return (size + kStep - 1) / kStep; }

}  // namespace

void* SizePoolTake(std::size_t size) noexcept
{
    if (!Pooled(size)) return ::operator new(size, std::nothrow);
    const std::size_t index = Index(size);
    Pool& pool = g_pools[index];
    if (FreeSlot* slot = pool.free) {
        pool.free = slot->next;
        // The next take reads that slot's link, and the caller writes it all.
        __builtin_prefetch(pool.free, 1);
        return slot;
    }
    const std::size_t slotSize = index * kStep;
    if (pool.left < slotSize) {
        pool.block = static_cast<char*>(::operator new(kBlock, std::nothrow));
        if (!pool.block) return nullptr;
        pool.left = kBlock;
    }
    void* out = pool.block;
    pool.block += slotSize;
    pool.left -= slotSize;
    return out;
}

void SizePoolGive(void* p, std::size_t size) noexcept
{
    if (!p) return;
    if (!Pooled(size)) {
        ::operator delete(p);
        return;
    }
    Pool& pool = g_pools[Index(size)];
    auto* slot = static_cast<FreeSlot*>(p);
    slot->next = pool.free;
    pool.free = slot;
}
