#include "weapon/Laser.h"

#include <array>

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

CLaser::~CLaser() { Clear(); }

LASERNODE* CLaser::AddPoint(const Vec3& position)
{
    LASERNODE* node = Points.NewNodeFront(1);
    if (!node) return nullptr;
    node->Position = position;
    node->Life = kPointLife;
    ++Count;
    if (Count > MaxPoints) {
        LASERNODE* oldest = Oldest();
        if (oldest == node) node = nullptr;  // a trail of size 0 keeps nothing
        ErasePoint(oldest);
    }
    return node;
}

void CLaser::AddPointDir(const Vec3& position, const Vec3& direction)
{
    LASERNODE* node = Points.NewNodeFront(1);
    if (!node) return;
    node->Position = position;
    node->Direction = direction;
    node->Life = kPointLife;
    ++Count;
    if (Count > MaxPoints) ErasePoint(Oldest());
}

LASERNODE* CLaser::InsertPoint(const Vec3& position, LASERNODE* after, i32 trimFromHead)
{
    if (!after || after->owner != &Points || after == Points.GetTail()) return nullptr;
    LASERNODE* node = Points.NewNodeAfter(after);
    if (!node) return nullptr;
    node->Position = position;
    node->Life = kPointLife;
    ++Count;
    if (Count > MaxPoints) {
        LASERNODE* victim = trimFromHead ? Newest() : Oldest();
        if (victim == node) node = nullptr;
        ErasePoint(victim);
    }
    return node;
}

void CLaser::RemovePoint()
{
    if (Count > 0) ErasePoint(Oldest());
}

LASERNODE* CLaser::ErasePoint(LASERNODE* point)
{
    if (!point || point->owner != &Points || point == Points.GetHead() || point == Points.GetTail()) return nullptr;
    --Count;
    return Points.Erase(point);
}

void CLaser::Clear()
{
    while (LASERNODE* p = Newest()) Points.Erase(p);
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
