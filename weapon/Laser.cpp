#include "weapon/Laser.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>

#include <sanitizer/asan_interface.h>

#include "platform/math/Math.h"

namespace {

// One array for every trail drawn, so drawing never allocates.
std::array<BillboardVertex, CLaser::kSharedVertices> g_trailVertices;

Vec3 Normalized(const Vec3& v)
{
    Vec3 out;
    plat::Vec3Normalize(&out, &v);
    return out;
}

void PutVertex(i32 index, const Vec3& p, u32 colour, f32 u, f32 v)
{
    g_trailVertices[size_t(index)] = BillboardVertex{p.x, p.y, p.z, colour, u, v};
}

void DrawStrip(plat::GfxDevice* device, plat::GfxTexture* texture, i32 vertices)
{
    device->SetTransform(plat::GfxTransform::World, Mat4::Identity());
    device->SetFVF(BillboardQuad::kFvf);
    device->SetTexture(0, texture);
    device->DrawPrimitiveUP(plat::GfxPrimitive::TriangleStrip, u32(vertices - 2), g_trailVertices.data(),
                            sizeof(BillboardVertex));
}

}  // namespace

struct CLaser::NodeBlock {
    NodeBlock* next;
    std::size_t bytes;
};

namespace {

static_assert(sizeof(LASERNODE) == 64, "a point is one cache line");

// Blocks stay within the size pool's reach.
constexpr i32 kBlockNodes = 31;
constexpr i32 kSmallestBlock = 4;

// Spare points stay in their trail's block, out of the heap checker's sight:
// the sanitizer build marks all but a spare's link unreadable, as freeing it
// would, so a use of a dropped point is still caught. No-ops elsewhere.
void MarkSpare(LASERNODE* p)
{
    ASAN_POISON_MEMORY_REGION(reinterpret_cast<char*>(p) + sizeof p->next, sizeof *p - sizeof p->next);
}
void MarkInUse(LASERNODE* p) { ASAN_UNPOISON_MEMORY_REGION(p, sizeof *p); }

}  // namespace

CLaser::~CLaser()
{
    while (NodeBlock* b = blocks) {
        blocks = b->next;
        ASAN_UNPOISON_MEMORY_REGION(b, b->bytes);
        SizePoolGive(b, b->bytes);
    }
}

bool CLaser::AddBlock()
{
    const i32 n = std::clamp(MaxPoints + 1 - capacity, kSmallestBlock, kBlockNodes);
    const std::size_t bytes = sizeof(NodeBlock) + std::size_t(n) * sizeof(LASERNODE);
    void* memory = SizePoolTake(bytes);
    if (!memory) return false;
    auto* block = new (memory) NodeBlock{blocks, bytes};
    blocks = block;
    capacity += n;
    // Threaded so the lowest address goes first.
    char* first = static_cast<char*>(memory) + sizeof(NodeBlock);
    for (i32 i = n - 1; i >= 0; --i) {
        auto* node = new (first + std::size_t(i) * sizeof(LASERNODE)) LASERNODE();
        node->next = spare;
        spare = node;
        MarkSpare(node);
    }
    return true;
}

LASERNODE* CLaser::NewPointAfter(LASERNODE* after, const Vec3& position)
{
    if (!spare && !AddBlock()) return nullptr;
    LASERNODE* node = spare;
    spare = node->next;
    MarkInUse(node);
    *node = LASERNODE();  // every field as a new point's
    Points.LinkAfter(after, node);
    node->Position = position;
    node->Life = kPointLife;
    ++Count;
    return node;
}

bool CLaser::Holds(const LASERNODE* p) const
{
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    for (const NodeBlock* b = blocks; b; b = b->next) {
        const auto from = reinterpret_cast<std::uintptr_t>(b + 1);
        if (at >= from && at < reinterpret_cast<std::uintptr_t>(b) + b->bytes) return true;
    }
    return false;
}

LASERNODE* CLaser::Drop(LASERNODE* point)
{
    --Count;
    LASERNODE* following = Points.Unlink(point);
    point->next = spare;
    point->prev = nullptr;
    spare = point;
    MarkSpare(point);
    return following;
}

LASERNODE* CLaser::AddPoint(const Vec3& position)
{
    LASERNODE* node = NewPointAfter(Points.GetHead(), position);
    if (!node) return nullptr;
    if (Count > MaxPoints) {
        LASERNODE* oldest = Oldest();
        if (oldest == node) node = nullptr;  // a trail of size 0 keeps nothing
        Drop(oldest);
    }
    return node;
}

void CLaser::AddPointDir(const Vec3& position, const Vec3& direction)
{
    LASERNODE* node = NewPointAfter(Points.GetHead(), position);
    if (!node) return;
    node->Direction = direction;
    if (Count > MaxPoints) Drop(Oldest());
}

LASERNODE* CLaser::InsertPoint(const Vec3& position, LASERNODE* after, i32 trimFromHead)
{
    if (!after || after == Points.GetTail() || (after != Points.GetHead() && !Holds(after))) return nullptr;
    LASERNODE* node = NewPointAfter(after, position);
    if (!node) return nullptr;
    if (Count > MaxPoints) {
        LASERNODE* victim = trimFromHead ? Newest() : Oldest();
        if (victim == node) node = nullptr;
        Drop(victim);
    }
    return node;
}

void CLaser::RemovePoint()
{
    LASERNODE* oldest = Oldest();
    if (Count > 0 && oldest) Drop(oldest);
}

LASERNODE* CLaser::ErasePoint(LASERNODE* point)
{
    if (!point || point == Points.GetHead() || point == Points.GetTail() || !Holds(point)) return nullptr;
    return Drop(point);
}

void CLaser::Clear()
{
    [[maybe_unused]] LASERNODE* const wasSpare = spare;
    Points.MoveAllTo(spare);
#if defined(__SANITIZE_ADDRESS__)
    for (LASERNODE* p = spare; p != wasSpare; p = p->next) MarkSpare(p);
#endif
    Count = 0;
}

i32 CLaser::Draw(plat::GfxDevice* device, const Vec3& eye, f32 halfWidth, u8, f32, u32 colour)
{
    if (!device || Count <= 1) return 0;
    const f32 step = TextureLength / f32(Count - 1);
    i32 k = 0;
    for (LASERNODE* p = Newest(); p && 2 * k < kMaxDrawVertices; p = Older(p), ++k) {
        const LASERNODE* older = Older(p);
        const LASERNODE* newer = Newer(p);
        Vec3 d;
        if (older)
            d = p->Position - older->Position;
        else if (newer)
            d = newer->Position - p->Position;
        p->Direction = d;
        const Vec3 e = Normalized(eye - p->Position);
        Vec3 side;
        plat::Vec3Cross(&side, &d, &e);
        side = Normalized(side) * halfWidth;
        PutVertex(2 * k, p->Position + side, colour, 0.0f, f32(k) * step);
        PutVertex(2 * k + 1, p->Position - side, colour, 1.0f, f32(k) * step);
    }
    if (k >= 2) DrawStrip(device, Texture, 2 * k);
    return 0;
}

i32 CLaser::DrawSmooth(plat::GfxDevice* device, f32 tipLength, u32 baseColour, u32 tipColour)
{
    if (!device || Count <= 1) return 0;
    const f32 step = TextureLength / (f32(Count - 1) * 5.0f);
    i32 k = 0;
    for (LASERNODE* p1 = Newest(); p1 && 2 * k < kMaxDrawVertices; p1 = Older(p1)) {
        const LASERNODE* p0 = Newer(p1) ? Newer(p1) : p1;
        const LASERNODE* p2 = Older(p1) ? Older(p1) : p1;
        const LASERNODE* p3 = Older(p2) ? Older(p2) : p2;
        const Vec3 t0 = p0->Position + p0->Direction * tipLength, t1 = p1->Position + p1->Direction * tipLength;
        const Vec3 t2 = p2->Position + p2->Direction * tipLength, t3 = p3->Position + p3->Direction * tipLength;
        for (i32 s = 0; s < 5 && 2 * k < kMaxDrawVertices; ++s, ++k) {
            const f32 t = f32(s) * 0.2f;
            Vec3 base, tip;
            plat::Vec3CatmullRom(&base, &p0->Position, &p1->Position, &p2->Position, &p3->Position, t);
            plat::Vec3CatmullRom(&tip, &t0, &t1, &t2, &t3, t);
            PutVertex(2 * k, base, baseColour, 0.0f, f32(k) * step);
            PutVertex(2 * k + 1, tip, tipColour, 1.0f, f32(k) * step);
        }
    }
    if (k < 2) return 0;
    device->SetSamplerState(0, plat::GfxSamplerState::AddressU, plat::AddressClamp);
    device->SetSamplerState(0, plat::GfxSamplerState::AddressV, plat::AddressClamp);
    // Only what was written: a trail too long for the shared array is cut short.
    DrawStrip(device, Texture, 2 * k);
    device->SetSamplerState(0, plat::GfxSamplerState::AddressU, plat::AddressWrap);
    device->SetSamplerState(0, plat::GfxSamplerState::AddressV, plat::AddressWrap);
    return 0;
}
