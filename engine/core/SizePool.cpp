#include "engine/core/SizePool.h"

namespace size_pool_detail {

namespace {
constexpr std::size_t kBlock = 64 * 1024;
constexpr std::size_t kLine = 64;

// Big slots (whole effects) start on a cache line, so one spans as few
// lines as it can; small ones pack tightly.
std::size_t SlotSize(std::size_t index)
{
    const std::size_t bytes = index * kStep;
    return bytes >= 3 * kLine ? (bytes + kLine - 1) / kLine * kLine : bytes;
}
}  // namespace

Pool pools[kPooledMax / kStep + 1];

void* TakeSlow(std::size_t size) noexcept
{
    if (!Pooled(size)) return ::operator new(size, std::nothrow);
    const std::size_t index = Index(size);
    Pool& pool = pools[index];
    const std::size_t slotSize = SlotSize(index);
    if (pool.left < slotSize) {
        pool.block = static_cast<char*>(::operator new(kBlock, std::align_val_t(kLine), std::nothrow));
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
