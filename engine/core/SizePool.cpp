#include "engine/core/SizePool.h"

namespace size_pool_detail {

namespace {
constexpr std::size_t kBlock = 64 * 1024;
}  // namespace

Pool pools[kPooledMax / kStep + 1];

void* TakeSlow(std::size_t size) noexcept
{
    if (!Pooled(size)) return ::operator new(size, std::nothrow);
    const std::size_t index = Index(size);
    Pool& pool = pools[index];
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

void GiveSlow(void* p, std::size_t size) noexcept
{
    if (p && !Pooled(size)) ::operator delete(p);
}

}  // namespace size_pool_detail
