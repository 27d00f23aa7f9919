#include "weapon/WeaponBase.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <cfloat>
#include <limits>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "app/core/Application.h"
#include "app/scene/Camera.h"
#include "battle/stage/BattleMap.h"
#include "battle/stage/MapCollision.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/Shaders.h"
#include "platform/math/FourLanes.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/WeaponScene.h"

namespace {

constexpr f32 kBroadPhaseMargin = 1.0f;
constexpr f32 kBoxGrowth = 0.2f;
constexpr f32 kCubeDiagonal = 1.414213f;
constexpr f32 kContactPullBack = 0.1f;

// Most weapons have hit nothing lately: their empty lists are told by the
// count, without reaching the end markers far off on the heap.
template <class Node>
void CountDown(CList<Node>& list)
{
    if (list.Empty()) return;
    Node* node = list.GetHead() ? list.GetHead()->next : nullptr;
    while (node && node != list.GetTail()) {
        --node->Countdown;
        node = node->Countdown < 1 ? list.Erase(node) : node->next;
    }
}

template <class Node>
bool Holds(const CList<Node>& list, const BB_Base* object)
{
    if (list.Empty() || !list.GetHead()) return false;
    for (const Node* n = list.GetHead()->next; n && n != list.GetTail(); n = n->next)
        if (n->HitObject == object) return true;
    return false;
}

template <class Node>
void Remember(CList<Node>& list, BB_Base* object, i32 countdown)
{
    Node* node = list.NewNodeFront(1);
    if (!node) return;
    node->HitObject = object;
    node->Countdown = countdown;
}

// One segment of a trail: p0 the newer point, p1 the older.
struct Segment {
    Vec3 p0, p1, u, mid;
    f32 length = 0.0f;
};

// The unit direction u only when `direct`: most segments are dropped by the
// distance test before it is needed (DirectSegment fills it in then).
[[gnu::always_inline]] inline Segment MakeSegment(const LASERNODE* newer, const LASERNODE* older, bool direct = true)
{
    // Read point by point: copying the points whole goes through the stack
    // in pieces the reads after cannot take straight from the stores.
    const Vec3& a = newer->Position;
    const Vec3& b = older->Position;
    Segment s;
    s.p0 = Vec3(a.x, a.y, a.z);
    s.p1 = Vec3(b.x, b.y, b.z);
    const Vec3 d(a.x - b.x, a.y - b.y, a.z - b.z);
    s.length = plat::Vec3Length(&d);
    if (direct) plat::Vec3Normalize(&s.u, &d);
    s.mid = s.p1 + d / 2.0f;
    return s;
}

void DirectSegment(Segment& s)
{
    const Vec3 d = s.p0 - s.p1;
    plat::Vec3Normalize(&s.u, &d);
}

// The box around the tested segments' spheres (mid +- half length) of the
// weapon whose hit pass runs, so a weapon far from all of them is passed
// over at once instead of segment by segment. Made at the start of the pass,
// dropped at its first hit (a reaction may change the trail).
struct PassBounds {
    const LZ_Standard* tester = nullptr;
    Vec3 lo, hi;
};
PassBounds g_passBounds;
// The box around a segment's sphere.
struct Box {
    Vec3 lo, hi;
};
Box SphereBox(const Segment& s)
{
    const f32 r = s.length / 2.0f;
    return {Vec3(s.mid.x - r, s.mid.y - r, s.mid.z - r), Vec3(s.mid.x + r, s.mid.y + r, s.mid.z + r)};
}

// True when c lies more than `radius` plus the broad-phase margin outside the
// box on some axis: then nothing in it comes within `radius` of c. The unit
// added to the margin keeps that so through float rounding.
bool FarFromBox(const Vec3& lo, const Vec3& hi, const Vec3& c, f32 radius)
{
    const f32 r = radius + kBroadPhaseMargin + 1.0f;
    return c.x < lo.x - r || c.y < lo.y - r || c.z < lo.z - r || c.x > hi.x + r || c.y > hi.y + r || c.z > hi.z + r;
}

// The tester's segments as the bounds were made of them, newest first: each
// one's newer point and its sphere's box. Its trail holds still until the
// first hit drops the bounds. Cleared, the vectors keep their room, so a
// pass allocates nothing.
struct PassSegments {
    std::vector<LASERNODE*> newer;
    std::vector<Box> boxes;

    size_t size() const { return newer.size(); }
    void clear()
    {
        newer.clear();
        boxes.clear();
    }
    // Keeps the segment and gives its box.
    const Box& Add(LASERNODE* newerPoint, const Segment& s)
    {
        newer.push_back(newerPoint);
        return boxes.emplace_back(SphereBox(s));
    }
};
PassSegments g_passSegments;

void MakePassBounds(const LZ_Standard& w)
{
    g_passBounds.tester = nullptr;
    g_passSegments.clear();
    const i32 limit = w.SegmentsToTest();
    Vec3 lo(FLT_MAX, FLT_MAX, FLT_MAX), hi(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    i32 tested = 0;
    // Every bound below is mid -+ r, no further from 0 than |mid| + r (r is
    // never negative), and rounding never lowers a sum of such terms: while
    // this sum stays finite, so do all the bounds. A sum that overflows
    // without a bound doing so only costs the shortcut.
    f32 extent = 0.0f;
    for (LASERNODE* newer = w.Laser.Newest(); newer; newer = w.Laser.Older(newer)) {
        LASERNODE* older = w.Laser.Older(newer);
        if (!older || tested >= limit) break;
        ++tested;
        const Segment s = MakeSegment(newer, older, false);
        const Box& box = g_passSegments.Add(newer, s);
        extent += std::fabs(s.mid.x) + std::fabs(s.mid.y) + std::fabs(s.mid.z) + s.length / 2.0f;
        lo = Vec3(std::min(lo.x, box.lo.x), std::min(lo.y, box.lo.y), std::min(lo.z, box.lo.z));
        hi = Vec3(std::max(hi.x, box.hi.x), std::max(hi.y, box.hi.y), std::max(hi.z, box.hi.z));
    }
    if (!(extent <= FLT_MAX)) return;  // no shortcut for such a trail
    g_passBounds = {&w, lo, hi};
}

// True when no segment of `tester` can come within `radius` (plus the
// broad-phase margin) of c.
bool FarFromPass(const LZ_Standard* tester, const Vec3& c, f32 radius)
{
    return g_passBounds.tester == tester && FarFromBox(g_passBounds.lo, g_passBounds.hi, c, radius);
}

// False only when the segment from a to b passes well clear of the box, so
// the ray test could find no hit before b; the margin covers float rounding.
bool SegmentMayMeetBox(const Vec3& a, const Vec3& b, const Vec3& lo, const Vec3& hi)
{
    const f32 big = std::fmax(std::fmax(std::fabs(a.x), std::fabs(a.y)), std::fmax(std::fabs(a.z), std::fabs(b.x)));
    const f32 pad = 0.5f + 1.0e-3f * std::fmax(big, std::fmax(std::fabs(b.y), std::fabs(b.z)));
    const bool apart = std::fmax(a.x, b.x) + pad < lo.x || std::fmin(a.x, b.x) - pad > hi.x ||
                       std::fmax(a.y, b.y) + pad < lo.y || std::fmin(a.y, b.y) - pad > hi.y ||
                       std::fmax(a.z, b.z) + pad < lo.z || std::fmin(a.z, b.z) - pad > hi.z;
    return !apart;
}

f32 Distance(const Vec3& a, const Vec3& b)
{
    const Vec3 d = a - b;
    return plat::Vec3Length(&d);
}

// Glow-pass material table: only the specular light glows.
plat::GfxMaterial g_glowMaterials[MeshObject::MaxMaterials];

}  // namespace

// ---- LZ_Basic ----------------------------------------------------------------

i32 LZ_Basic::GetKind() const { return kKindLineEffect; }
Mat4* LZ_Basic::GetTargetMatrix() { return &Laser.World; }
Mat4* LZ_Basic::GetMatrix() { return &Laser.World; }
i32 LZ_Basic::GetDamageType() const { return 0; }

void LZ_Basic::SetTrail(const Mat4* start, f32 width, i32 maxPoints, i32 blendMode, plat::GfxTexture* texture,
                        u32 colour)
{
    if (start) Laser.World = *start;
    Laser.MaxPoints = maxPoints;
    Laser.Texture = texture;
    Width = width;
    BlendMode = blendMode;
    Colour = colour;
    Laser.AddPoint(Position());
}

i32 LZ_Basic::Draw() { return DrawTrail(WeaponCameraEye()); }

i32 LZ_Basic::DrawTrail(const Vec3& eye)
{
    if (BlendMode == 0)
        SetAlphaBlend();
    else if (BlendMode == 1)
        SetAddBlend();
    else
        return 0;
    Laser.Draw(GetGraphicsDevice()->device, eye, Width, TrailFlag, TrailFactor, Colour);
    return 0;
}

i32 LZ_Basic::DrawXFile()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!Mesh || !d) return 0;
    if (ShaderMode == 0) {
        d->SetTransform(plat::GfxTransform::World, Laser.World);
        Mesh->Draw();
    } else if (ShaderMode == 1) {
        Shader_Reflection* shader = GetShaderReflection();
        if (!shader || !shader->effect) return 0;
        d->SetTransform(plat::GfxTransform::World, Laser.World);
        shader->effect->SetTechnique(shader->hReflectionTech);
        shader->effect->SetFloat(shader->hReflection, 0.8f);
        shader->effect->SetTexture(shader->hEnvTex, GetApplication()->cubeMap);
        shader->SetWorld(&Laser.World);
        // The mesh begins and ends the effect's passes itself; an effect
        // begun twice draws nothing.
        Mesh->DrawShader(shader);
    }
    return 0;
}

i32 LZ_Basic::DrawXFileHDR()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!Mesh || !d) return 0;
    if (ShaderMode == 0) {
        // The table has room for so many materials; a bigger mesh is left out
        // of the glow rather than overrunning it.
        if (Mesh->materialCount > MeshObject::MaxMaterials || !Mesh->materials) return 0;
        const ColorF black(0.0f, 0.0f, 0.0f, 1.0f);
        for (u32 i = 0; i < Mesh->materialCount; ++i) {
            g_glowMaterials[i] = Mesh->materials[i];
            g_glowMaterials[i].diffuse = black;
            g_glowMaterials[i].ambient = black;
            g_glowMaterials[i].emissive = black;
        }
        plat::GfxMaterial* own = Mesh->materials;
        Mesh->materials = g_glowMaterials;
        d->SetTransform(plat::GfxTransform::World, Laser.World);
        Mesh->Draw();
        Mesh->materials = own;
    } else if (ShaderMode == 1) {
        Shader_Bloom* shader = GetShaderBloom();
        if (!shader || !shader->effect) return 0;
        d->SetTransform(plat::GfxTransform::World, Laser.World);
        shader->effect->SetTechnique(shader->hSpecularOnly);
        shader->SetWorld(&Laser.World);
        Mesh->DrawShader(shader);
    }
    return 0;
}

// ---- LZ_Standard -------------------------------------------------------------

LZ_Standard::~LZ_Standard() = default;

i32 LZ_Standard::GetKind() const { return kKindWeapon; }
i32 LZ_Standard::OnHitRobot(const Vec3*, LASERNODE*, BB_Base*) { return 0; }
i32 LZ_Standard::OnHitGuard(const Vec3*, LASERNODE*, BB_Base*, const Mat4*) { return 0; }
i32 LZ_Standard::OnHitMap(const Vec3*, LASERNODE*, const Vec3*) { return 0; }
i32 LZ_Standard::OnReflect(const Vec3*, LASERNODE*, BB_Base*) { return 0; }
i32 LZ_Standard::OnHitWeapon(const Vec3*) { return 0; }
i32 LZ_Standard::OnHitByWeapon(const Vec3*) { return 0; }

void LZ_Standard::SetHits(const WeaponHit& hit)
{
    Owner = hit.owner;
    Target = hit.target;
    Damage = hit.damage;
    DownValue = hit.downValue;
    Knockback = hit.knockback;
    HitFlags = hit.hitFlags;
    RehitInterval = hit.rehitInterval;
    TestSegments = hit.testSegments;
    Team = hit.team;
}

void LZ_Standard::UpdateHitNodes() { CountDown(HitList); }
bool LZ_Standard::HasHit(const BB_Base* object) const { return Holds(HitList, object); }
void LZ_Standard::RecordHit(BB_Base* object) { Remember(HitList, object, RehitInterval); }

i32 LZ_Standard::RemoveHitNode(BB_Base* object)
{
    if (!HitList.GetHead()) return 0;
    for (LASERHITNODE* n = HitList.GetHead()->next; n && n != HitList.GetTail(); n = n->next)
        if (n->HitObject == object) {
            HitList.Erase(n);
            return 1;
        }
    return 0;
}

void LZ_Standard::WearDown(i32 damage)
{
    const i32 left = std::clamp<i64>(i64(Durability) - damage, std::numeric_limits<i16>::min(),
                                     std::numeric_limits<i16>::max());
    Durability = static_cast<i16>(left);
}

namespace {

// Only weapons with kHitByWeapons ever answer a weapon's test; the pass never
// erases from the list and only its additions change it, so the gathering
// holds while the list's count does.
struct HitByWeaponsCache {
    bool open = false;
    CList<BB_Base>* list = nullptr;
    u32 count = 0;
    std::vector<BB_Base*> items;
} g_hitByWeapons;

// The broad phase over those weapons: each one's sphere, widened by
// FarFromPass's own margins and a unit more for rounding, spread over a
// uniform grid on the ground plane. A tester visits the weapons in the cells
// under its pass bounds, in list order; every other one FarFromPass would pass
// over, so skipping it changes nothing. Made again when the list grew; after
// a hit reaction ran, each weapon it may have moved that is no longer where it
// was gathered joins those every tester visits. A reaction moves only the
// weapon whose pass runs (its own stage hit, a robot's guard or reflection),
// never another, so those are the weapons looked at again; a reaction with no
// weapon's pass under way has every weapon looked at again.
struct WeaponGrid {
    bool valid = false;
    bool moved = false;                 // every weapon may have moved
    std::vector<const BB_Base*> touched;  // weapons reactions may have moved since

    f32 x0 = 0.0f, z0 = 0.0f, cell = 1.0f;
    i32 columns = 0, rows = 0;
    std::vector<u32> cellStart;  // columns * rows + 1 offsets into entries
    std::vector<u32> entries;    // weapon indices, cell by cell, in list order
    std::vector<u32> always;     // weapons every tester visits (no finite sphere, a huge one, or moved)
    std::vector<u8> inGrid;      // per weapon: 1 placed by its span, 2 in always
    std::vector<u64> taken;      // one bit per weapon, for the query under way
    std::vector<u32> picked;
    struct Span {
        f32 x0, x1, z0, z1;
    };
    std::vector<Span> spans;
    // What TargetSpan read of each weapon placed by its span, bit for bit:
    // the same inputs make the same span, so a weapon whose inputs held needs
    // no new span after a reaction.
    struct SpanInputs {
        const MeshObject* mesh = nullptr;
        u32 bits[6] = {};  // position x, z; the mesh sphere's centre x, z and radius, or the width
    };
    std::vector<SpanInputs> inputs;

    f32 perCell = 1.0f;  // 1 / cell
    // Any rounding of the place serves, so long as a larger coordinate never
    // gets a smaller index: a span and a box that overlap then share a cell.
    // Spans and bounds are finite, never NaN.
    static i32 Index(f32 v, f32 origin, f32 perCell, i32 count)
    {
        const f32 t = (v - origin) * perCell;
        if (!(t >= 1.0f)) return 0;
        if (t >= f32(count - 1)) return count - 1;
        return static_cast<i32>(t);
    }
    i32 Column(f32 x) const { return Index(x, x0, perCell, columns); }
    i32 Row(f32 z) const { return Index(z, z0, perCell, rows); }
    void Build(const std::vector<BB_Base*>& targets);
    void Recheck(const std::vector<BB_Base*>& targets);
    bool Stale() const { return moved || !touched.empty(); }
    // A reaction may have moved w (null: any weapon).
    void Touch(const BB_Base* w)
    {
        if (moved) return;
        // Past a few, looking at every weapon is as quick.
        if (!w || touched.size() >= kMostTouched) {
            moved = true;
            touched.clear();
        } else if (touched.empty() || touched.back() != w) {
            touched.push_back(w);
        }
    }
    static constexpr size_t kMostTouched = 16;
    // The weapons near the box, in list order; false when the box covers so
    // much of the grid that walking them all is as quick.
    bool Near(const Vec3& lo, const Vec3& hi);
} g_weaponGrid;

constexpr i32 kGridSide = 48;
constexpr f32 kGridMinCell = 4.0f;
constexpr i32 kGridMaxCellsPerWeapon = 64;

// What TargetSpan reads of a weapon.
WeaponGrid::SpanInputs SpanInputsOf(const BB_Base* target)
{
    const auto* w = static_cast<const LZ_Standard*>(target);
    WeaponGrid::SpanInputs in;
    in.mesh = w->Mesh;
    in.bits[0] = std::bit_cast<u32>(w->Laser.World.m[3][0]);
    in.bits[1] = std::bit_cast<u32>(w->Laser.World.m[3][2]);
    if (w->Mesh) {
        in.bits[2] = std::bit_cast<u32>(w->Mesh->sphereCentre.x);
        in.bits[3] = std::bit_cast<u32>(w->Mesh->sphereCentre.z);
        in.bits[4] = std::bit_cast<u32>(w->Mesh->sphereRadius);
    } else {
        in.bits[5] = std::bit_cast<u32>(w->Width);
    }
    return in;
}

// SpanInputsOf(target) == was, field by field: comparing the two records'
// bytes as a whole stalls on reading back the fresh record's stores.
bool SameInputs(const WeaponGrid::SpanInputs& was, const BB_Base* target)
{
    const WeaponGrid::SpanInputs now = SpanInputsOf(target);
    // One test of all the words, not a branch for each.
    u32 differ = 0;
    for (int k = 0; k < 6; ++k) differ |= now.bits[k] ^ was.bits[k];
    return now.mesh == was.mesh && differ == 0;
}

// Fetches what the grid reads of a weapon (its place, mesh and width) while
// earlier weapons are compared: the weapons lie scattered on the heap.
// Always inlined: a call that only prefetches looks free of effects to the
// optimiser, which then drops it.
[[gnu::always_inline]] inline void PrefetchSpanInputs(const BB_Base* target)
{
    const auto* w = static_cast<const LZ_Standard*>(target);
    __builtin_prefetch(&w->Laser.World.m[3][0]);
    __builtin_prefetch(&w->Mesh);
}

// The ground-plane span FarFromPass looks at for a weapon hit by weapons,
// widened by a unit; false when it has none a grid can hold.
bool TargetSpan(const BB_Base* target, WeaponGrid::Span* out)
{
    const auto* w = static_cast<const LZ_Standard*>(target);
    const Vec3 pos = w->Position();
    const Vec3 c = w->Mesh ? pos + w->Mesh->sphereCentre : pos;
    const f32 r = w->Mesh ? w->Mesh->sphereRadius : w->Width * kCubeDiagonal;
    const f32 reach = r + kBroadPhaseMargin + 1.0f + 1.0f;
    *out = {c.x - reach, c.x + reach, c.z - reach, c.z + reach};
    return reach >= 0.0f && std::isfinite(out->x0) && std::isfinite(out->x1) && std::isfinite(out->z0) &&
           std::isfinite(out->z1);
}

void WeaponGrid::Recheck(const std::vector<BB_Base*>& targets)
{
    const size_t n = std::min(targets.size(), inGrid.size());
    // A weapon placed by its span that has left it is visited by every tester.
    auto recheck = [&](size_t i) {
        if (inGrid[i] != 1 || SameInputs(inputs[i], targets[i])) return;
        Span now;
        const Span& was = spans[i];
        if (TargetSpan(targets[i], &now) && now.x0 == was.x0 && now.x1 == was.x1 && now.z0 == was.z0 &&
            now.z1 == was.z1) {
            inputs[i] = SpanInputsOf(targets[i]);
            return;
        }
        inGrid[i] = 2;
        always.push_back(static_cast<u32>(i));
    };
    if (!moved) {
        // The few weapons named, found by address: the list of addresses is
        // short and close together, the weapons themselves are not.
        for (const BB_Base* w : touched) {
            const auto at = std::find(targets.begin(), targets.begin() + n, w);
            if (at != targets.begin() + n) recheck(size_t(at - targets.begin()));
        }
        touched.clear();
        return;
    }
    moved = false;
    touched.clear();
    constexpr size_t kAhead = 4;
    for (size_t i = 0; i < kAhead && i < n; ++i) PrefetchSpanInputs(targets[i]);
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n) PrefetchSpanInputs(targets[i + kAhead]);
        recheck(i);
    }
}

void WeaponGrid::Build(const std::vector<BB_Base*>& targets)
{
    const size_t n = targets.size();
    spans.resize(n);
    inputs.resize(n);
    always.clear();
    taken.assign((n + 63) / 64, 0);
    moved = false;
    touched.clear();
    f32 lx = FLT_MAX, lz = FLT_MAX, hx = -FLT_MAX, hz = -FLT_MAX;
    inGrid.assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
        Span sp;
        if (!TargetSpan(targets[i], &sp)) {
            inGrid[i] = 2;
            always.push_back(static_cast<u32>(i));
            continue;
        }
        spans[i] = sp;
        inputs[i] = SpanInputsOf(targets[i]);
        inGrid[i] = 1;
        lx = std::min(lx, sp.x0);
        hx = std::max(hx, sp.x1);
        lz = std::min(lz, sp.z0);
        hz = std::max(hz, sp.z1);
    }
    x0 = lx;
    z0 = lz;
    columns = rows = 1;
    cell = kGridMinCell;
    if (lx <= hx) {
        // Cells a side by the weapons' count: a build pays for every cell, a
        // query for every weapon in the cells it looks at. Which weapons a
        // query names beyond the near ones changes nothing (FarFromPass
        // passes them over), only the time.
        const i32 side = std::clamp(3 * static_cast<i32>(std::ceil(std::sqrt(f32(n)))), 8, kGridSide);
        cell = std::max(kGridMinCell, std::max(hx - lx, hz - lz) / f32(side));
        columns = static_cast<i32>(std::min(f32(side), std::floor((hx - lx) / cell))) + 1;
        rows = static_cast<i32>(std::min(f32(side), std::floor((hz - lz) / cell))) + 1;
    }
    perCell = 1.0f / cell;
    cellStart.assign(size_t(columns) * rows + 1, 0);
    // Counted, then placed: each cell's weapons stay in list order.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            for (size_t k = 1; k < cellStart.size(); ++k) cellStart[k] += cellStart[k - 1];
            entries.resize(cellStart.back());
        }
        for (size_t i = 0; i < n; ++i) {
            if (inGrid[i] != 1) continue;
            const Span& sp = spans[i];
            const i32 c0 = Column(sp.x0), c1 = Column(sp.x1), r0 = Row(sp.z0), r1 = Row(sp.z1);
            if ((c1 - c0 + 1) * (r1 - r0 + 1) > kGridMaxCellsPerWeapon) {
                if (pass == 0) always.push_back(static_cast<u32>(i));
                inGrid[i] = 2;
                continue;
            }
            for (i32 row = r0; row <= r1; ++row)
                for (i32 column = c0; column <= c1; ++column) {
                    const size_t k = size_t(row) * columns + column;
                    if (pass == 0) ++cellStart[k + 1];
                    else entries[cellStart[k]++] = static_cast<u32>(i);
                }
        }
        if (pass == 1) {
            // Placing advanced each start to the next cell's: shift them back.
            for (size_t k = cellStart.size() - 1; k > 0; --k) cellStart[k] = cellStart[k - 1];
            cellStart[0] = 0;
        }
    }
    valid = true;
}

bool WeaponGrid::Near(const Vec3& lo, const Vec3& hi)
{
    const i32 c0 = Column(lo.x), c1 = Column(hi.x), r0 = Row(lo.z), r1 = Row(hi.z);
    if ((c1 - c0 + 1) * (r1 - r0 + 1) * 2 > columns * rows && columns * rows > 4) return false;
    // A bit per weapon taken: read off in order, they come out once each, in
    // list order, with no sort.
    for (i32 row = r0; row <= r1; ++row)
        for (i32 column = c0; column <= c1; ++column) {
            const size_t k = size_t(row) * columns + column;
            for (u32 e = cellStart[k]; e < cellStart[k + 1]; ++e) taken[entries[e] / 64] |= u64(1) << (entries[e] % 64);
        }
    for (const u32 i : always) taken[i / 64] |= u64(1) << (i % 64);
    picked.clear();
    for (size_t word = 0; word < taken.size(); ++word) {
        for (u64 bits = taken[word]; bits; bits &= bits - 1)
            picked.push_back(static_cast<u32>(word * 64 + std::countr_zero(bits)));
        taken[word] = 0;
    }
    return true;
}

// Where the gathering reads a weapon: its link, kind and hint at the front,
// its mask further on (offsets are well defined here: no virtual bases).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
constexpr std::uintptr_t kHintEnd = offsetof(BB_Base, RunAhead) + sizeof(BB_Base*) - 1;
constexpr std::uintptr_t kMaskAt = offsetof(LZ_Standard, HitMask);
#pragma GCC diagnostic pop

// Fetches only those lines of a weapon a few places ahead: fetching every
// line of each clogs the memory queue. A stale hint (any object, or one since
// freed) costs a useless fetch only, so only its bytes are named, not its
// fields. Always inlined, as above.
[[gnu::always_inline]] inline void PrefetchHinted(const BB_Base* o)
{
    if (!o) return;
    const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(o);
    __builtin_prefetch(reinterpret_cast<const void*>(p));
    __builtin_prefetch(reinterpret_cast<const void*>(p + kHintEnd));
    __builtin_prefetch(reinterpret_cast<const void*>(p + kMaskAt));
}

// A weapon of the tester's own team or owner answers its test with nothing
// (LZ_Standard::HitTestObject; the overrides do nothing at all), so the pass
// leaves out the call. Read at the call's turn, as the call would read them.
bool SameSide(const BB_Base* target, const LZ_Standard& tester)
{
    const auto* w = static_cast<const LZ_Standard*>(target);
    return w->Team == tester.Team || w->Owner == tester.Owner;
}

const std::vector<BB_Base*>& HitByWeapons(CList<BB_Base>& list)
{
    HitByWeaponsCache& c = g_hitByWeapons;
    if (c.list == &list && c.count == list.GetCount()) return c.items;
    c.list = &list;
    c.count = list.GetCount();
    c.items.clear();
    g_weaponGrid.valid = false;
    for (BB_Base* w = list.GetHead()->next; w && w != list.GetTail(); w = w->next) {
        // The run pass has just left its hints: fetch ahead as it did.
        PrefetchHinted(w->RunAhead);
        if (w->StandardWeapon && (static_cast<const LZ_Standard*>(w)->HitMask & kHitByWeapons)) c.items.push_back(w);
    }
    return c.items;
}

// Every hit reaction (weapon, robot, ship or stage) marks the pass before it
// acts, and only reactions move robots once the weapons' turn has come; so a
// count of those marks tells when the robots may have moved. Anything else
// run between two weapons' passes (another object's pass) counts as a mark,
// and so does gathering the robots again.
u64 g_passMarks = 0;
const BB_Base* g_lastTester = nullptr;
// The weapon whose pass runs: the one weapon a reaction may move.
const LZ_Standard* g_passTester = nullptr;

// The robots of the pass, each with the robot itself when it answers a weapon
// by CRobot_Normal's rules, so a robot far from a trail is passed over without
// the call. Kept while the list's count holds, as the weapons are.
struct RobotsCache {
    CList<BB_Base>* list = nullptr;
    u32 count = 0;
    std::vector<std::pair<BB_Base*, const CRobot_Normal*>> items;
} g_passRobots;

const std::vector<std::pair<BB_Base*, const CRobot_Normal*>>& PassRobots(CList<BB_Base>& list)
{
    RobotsCache& c = g_passRobots;
    if (c.list == &list && c.count == list.GetCount()) return c.items;
    c.list = &list;
    c.count = list.GetCount();
    c.items.clear();
    ++g_passMarks;
    for (BB_Base* r = list.GetHead()->next; r && r != list.GetTail(); r = r->next)
        c.items.emplace_back(r, r->GetKind() == kKindRobot ? static_cast<const CRobot_Normal*>(r) : nullptr);
    return c.items;
}

// Where each robot of the pass stood at the last mark, packed so the robot
// walk of every weapon reads a few cache lines instead of every robot's
// record, four robots to a test. reach is FarFromPass's widened radius,
// summed as it sums it; non-robots, and the padding up to a multiple of
// four, keep a NaN reach, which no bound test passes over.
struct RobotSpots {
    using Four = plat::Four;
    using FourMask = plat::FourMask;

    const std::vector<std::pair<BB_Base*, const CRobot_Normal*>>* robots = nullptr;
    u64 marks = ~u64(0);
    size_t count = 0;
    std::vector<f32> x, y, z, reach;

    void Take(const std::vector<std::pair<BB_Base*, const CRobot_Normal*>>& items)
    {
        robots = &items;
        marks = g_passMarks;
        count = items.size();
        const size_t padded = (count + 3) & ~size_t(3);
        if (x.size() != padded) {
            x.resize(padded);
            y.resize(padded);
            z.resize(padded);
            reach.resize(padded);
        }
        for (size_t i = 0; i < padded; ++i) {
            const CRobot_Normal* r = i < count ? items[i].second : nullptr;
            if (!r) {
                x[i] = y[i] = z[i] = 0.0f;
                reach[i] = std::numeric_limits<f32>::quiet_NaN();
                continue;
            }
            x[i] = r->worldMatrix.m[3][0];
            y[i] = r->worldMatrix.m[3][1];
            z[i] = r->worldMatrix.m[3][2];
            reach[i] = r->boundRadius + kBroadPhaseMargin + 1.0f;
        }
    }

    // FarFromPass's test for the bounds b, lane by lane: each lane makes
    // the same differences, sums and comparisons as it.
    static FourMask Far(const Four& px, const Four& py, const Four& pz, const Four& r, const PassBounds& b)
    {
        const Four lx = plat::Spread(b.lo.x), ly = plat::Spread(b.lo.y), lz = plat::Spread(b.lo.z);
        const Four hx = plat::Spread(b.hi.x), hy = plat::Spread(b.hi.y), hz = plat::Spread(b.hi.z);
        return (px < lx - r) | (py < ly - r) | (pz < lz - r) | (px > hx + r) | (py > hy + r) | (pz > hz + r);
    }

    // The first robot from `from` on that FarFromPass would not pass over
    // for the bounds b; count when there is none.
    size_t NextNear(size_t from, const PassBounds& b) const
    {
        for (size_t i = from & ~size_t(3); i < count; i += 4) {
            u32 near = ~plat::LaneBits(Far(plat::Lanes(&x[i]), plat::Lanes(&y[i]), plat::Lanes(&z[i]),
                                           plat::Lanes(&reach[i]), b)) & 15u;
            if (i < from) near &= ~0u << (from - i);
            if (near) return std::min(i + static_cast<size_t>(__builtin_ctz(near)), count);
        }
        return count;
    }
} g_robotSpots;

}  // namespace

void BeginWeaponHitPass()
{
    ++g_passMarks;
    g_passTester = nullptr;
    g_weaponGrid.touched.clear();
    g_lastTester = nullptr;
    g_robotSpots.robots = nullptr;
    g_hitByWeapons.open = true;
    g_hitByWeapons.list = nullptr;
    g_passRobots.list = nullptr;
    g_weaponGrid.valid = false;
}

void EndWeaponHitPass()
{
    ++g_passMarks;
    g_passTester = nullptr;
    g_weaponGrid.touched.clear();
    g_lastTester = nullptr;
    g_robotSpots.robots = nullptr;
    g_hitByWeapons.open = false;
    g_hitByWeapons.list = nullptr;
    g_hitByWeapons.items.clear();
    g_passRobots.list = nullptr;
    g_passRobots.items.clear();
    g_weaponGrid.valid = false;
}

bool WeaponPassFarFrom(const LZ_Standard* w, const Vec3& c, f32 radius) { return FarFromPass(w, c, radius); }

i32 WeaponPassNearSegment(const LZ_Standard* w, i32 from, const Vec3& c, f32 radius)
{
    if (g_passBounds.tester != w || from < 0) return from;
    // Each segment judged as the bounds judge the whole trail.
    const i32 count = static_cast<i32>(g_passSegments.size());
    for (i32 i = from; i < count; ++i) {
        const Box& box = g_passSegments.boxes[size_t(i)];
        if (!FarFromBox(box.lo, box.hi, c, radius)) return i;
    }
    return std::max(from, count);
}

LASERNODE* WeaponPassSegmentNewer(const LZ_Standard* w, i32 index)
{
    if (g_passBounds.tester != w || index < 0 || size_t(index) >= g_passSegments.size()) return nullptr;
    return g_passSegments.newer[size_t(index)];
}

void DropWeaponPassBounds()
{
    g_passBounds.tester = nullptr;
    g_weaponGrid.Touch(g_passTester);
    ++g_passMarks;
}

void MarkWeaponPassChanged()
{
    g_weaponGrid.Touch(g_passTester);
    ++g_passMarks;
}

i32 LZ_Standard::HitTestPass() { return HitTestPassIn(CurrentWeaponArena()); }

i32 LZ_Standard::HitTestPassIn(const WeaponArena& arena)
{
    // Something other than the weapon before this one ran since its pass.
    if (!g_lastTester || g_lastTester != prev) ++g_passMarks;
    g_lastTester = nullptr;
    struct Running {
        const LZ_Standard* was;
        ~Running() { g_passTester = was; }
    } running{std::exchange(g_passTester, this)};
    UpdateHitNodes();
    if (Laser.Count < 2) {
        g_lastTester = this;
        return 0;
    }
    if ((HitMask & kHitWeapons) && arena.weapons && arena.weapons->GetHead()) {
        // Objects are never erased during the hit pass, so the walk is stable;
        // objects created by reactions may or may not be visited.
        MakePassBounds(*this);
        if (g_hitByWeapons.open) {
            const std::vector<BB_Base*>& targets = HitByWeapons(*arena.weapons);
            size_t next = 0;
            if (g_passBounds.tester == this) {
                if (!g_weaponGrid.valid) g_weaponGrid.Build(targets);
                else if (g_weaponGrid.Stale()) g_weaponGrid.Recheck(targets);
                if (g_weaponGrid.Near(g_passBounds.lo, g_passBounds.hi)) {
                    next = targets.size();
                    for (const u32 i : g_weaponGrid.picked) {
                        if (SameSide(targets[i], *this)) continue;
                        targets[i]->HitTestObject(this);
                        // A hit's reaction may have changed the trail: the
                        // rest are tested one by one, as without the grid.
                        if (g_passBounds.tester != this) {
                            next = i + 1;
                            break;
                        }
                    }
                }
            }
            for (size_t i = next; i < targets.size(); ++i)
                if (!SameSide(targets[i], *this)) targets[i]->HitTestObject(this);
        } else {
            for (BB_Base* w = arena.weapons->GetHead()->next; w && w != arena.weapons->GetTail(); w = w->next)
                w->HitTestObject(this);
        }
    }
    if ((HitMask & kHitRobots) && arena.robots && arena.robots->GetHead()) {
        // Made again when a weapon's hit dropped them.
        if (g_passBounds.tester != this) MakePassBounds(*this);
        CList<BB_Base>& list = *arena.robots;
        BB_Base* rest = list.GetHead()->next;
        if (g_hitByWeapons.open) {
            const u32 count = list.GetCount();
            const auto& robots = PassRobots(list);
            RobotSpots& spots = g_robotSpots;
            if (spots.robots != &robots || spots.marks != g_passMarks || spots.count != robots.size())
                spots.Take(robots);
            rest = nullptr;
            for (size_t i = 0; i < robots.size(); ++i) {
                // Passed over: the robots CRobot_Normal::HitTestObject would
                // answer at once, as no reaction has moved one since.
                if (spots.marks != g_passMarks) spots.Take(robots);
                if (g_passBounds.tester == this) {
                    const PassBounds bounds = g_passBounds;
                    i = spots.NextNear(i, bounds);
                    if (i == robots.size()) break;
                }
                BB_Base* r = robots[i].first;
                r->HitTestObject(this);
                // A reaction added a robot: the walk goes on along the list.
                if (list.GetCount() != count) {
                    rest = r->next;
                    break;
                }
            }
        }
        for (BB_Base* r = rest; r && r != list.GetTail(); r = r->next) r->HitTestObject(this);
    }
    g_passBounds.tester = nullptr;
    if ((HitMask & kHitStage) && arena.map && Laser.Count >= 2) HitTestStage(*arena.map);
    CutMarkedPoints();
    g_lastTester = this;
    return 0;
}

void LZ_Standard::HitTestStage(BattleMap& map)
{
    const i32 limit = SegmentsToTest();
    i32 tested = 0;
    for (LASERNODE* newer = Laser.Newest(); newer; newer = Laser.Older(newer)) {
        LASERNODE* older = Laser.Older(newer);
        if (!older || tested == limit) break;
        ++tested;
        // The direction only for a hit: most segments meet nothing.
        Segment s = MakeSegment(newer, older, false);
        MapHitInfo info;
        f32 t = FLT_MAX;
        HitTestMapSegmentWithin(map, &s.p1, &s.p0, &t, &info);
        if (!(t < s.length)) continue;
        DirectSegment(s);
        MarkWeaponPassChanged();
        if (info.object) DamageMapObject(map, info, Damage);
        const Vec3 point = s.p0 - s.u * (s.length - t);
        OnHitMap(&point, newer, &info.normal);
    }
}

void LZ_Standard::CutMarkedPoints()
{
    const i32 limit = SegmentsToTest();
    i32 examined = 0;
    LASERNODE* p = Laser.Newest();
    while (p && examined < limit) {
        ++examined;
        switch (p->Mark) {
        case kMarkRemove:
            p = Laser.ErasePoint(p);
            if (p == Laser.Points.GetTail()) p = nullptr;
            break;
        case kMarkRemoveNewerStop:
        case kMarkRemoveNewerGoOn: {
            const bool goOn = p->Mark == kMarkRemoveNewerGoOn;
            while (LASERNODE* n = Laser.Newer(p)) Laser.ErasePoint(n);
            Laser.ErasePoint(p);
            p = goOn ? Laser.Newest() : nullptr;
            break;
        }
        default:
            p = Laser.Older(p);
            break;
        }
    }
}

i32 LZ_Standard::HitTestObject(BB_Base* tester)
{
    if (!tester || tester->GetKind() != kKindWeapon) return 0;
    if (!(HitMask & kHitByWeapons)) return 0;
    auto* a = static_cast<LZ_Standard*>(tester);
    if (a->Team == Team || a->Owner == Owner) return 0;
    // Inverted only once a segment comes near: most pairs never do.
    Mat4 inverse;
    i32 invertible = -1;
    const Vec3 pos = Position();
    // The sphere the broad phase keeps the tester's segments away from.
    const Vec3 centre = Mesh ? pos + Mesh->sphereCentre : pos;
    const f32 radius = Mesh ? Mesh->sphereRadius : Width * kCubeDiagonal;
    if (FarFromPass(a, centre, radius)) return 0;
    if (a->HasHit(this)) return 0;
    const i32 limit = a->SegmentsToTest();
    i32 tested = 0;
    Segment s;
    for (LASERNODE* newer = a->Laser.Newest(); newer; newer = a->Laser.Older(newer)) {
        LASERNODE* older = a->Laser.Older(newer);
        if (!older || tested >= limit) break;
        // The distance test below drops every segment whose box is far (the
        // box's margin is wider).
        if (!WeaponPassSkipFar(a, tested, newer, older, centre, radius)) break;
        ++tested;
        s = MakeSegment(newer, older, false);
        f32 t = FLT_MAX;
        bool hit = false;
        if (Mesh) {
            const Vec3 c = pos + Mesh->sphereCentre;
            if (Distance(c, s.mid) > s.length / 2.0f + Mesh->sphereRadius + kBroadPhaseMargin) continue;
            if (invertible < 0) invertible = plat::MatrixInverse(&inverse, nullptr, &Laser.World) != nullptr;
            if (!invertible) continue;
            DirectSegment(s);
            Vec3 lp, lu;
            plat::Vec3TransformCoord(&lp, &s.p1, &inverse);
            plat::Vec3TransformNormal(&lu, &s.u, &inverse);
            const Vec3 grow(kBoxGrowth, kBoxGrowth, kBoxGrowth);
            const Vec3 lo = Mesh->boxMin - grow, hi = Mesh->boxMax + grow;
            hit = SegmentMayMeetBox(lp, lp + lu * s.length, lo, hi) &&
                  BoxIntersectRayMinMax(&lo, &hi, &lp, &lu, &t) != 0;
        } else {
            if (Distance(pos, s.mid) > Width * kCubeDiagonal + s.length / 2.0f + kBroadPhaseMargin) continue;
            DirectSegment(s);
            const f32 h = Width + kBoxGrowth;
            const Vec3 lo = pos - Vec3(h, h, h), hi = pos + Vec3(h, h, h);
            hit = SegmentMayMeetBox(s.p1, s.p0, lo, hi) && BoxIntersectRayMinMax(&lo, &hi, &s.p1, &s.u, &t) != 0;
        }
        if (!hit || !(t < s.length)) continue;
        DropWeaponPassBounds();
        // The tester's pass runs; this weapon's reaction is the one other.
        g_weaponGrid.Touch(this);
        a->RecordHit(this);
        WearDown(a->Damage);
        const Vec3 contact = s.p0 - s.u * (s.length - t + kContactPullBack);
        OnHitByWeapon(&contact);
        a->OnHitWeapon(&contact);
    }
    return 0;
}

// ---- BB_AtkStandard ----------------------------------------------------------

BB_AtkStandard::~BB_AtkStandard() = default;

i32 BB_AtkStandard::OnHitRobot(const Vec3*, BB_Base*) { return 0; }
i32 BB_AtkStandard::OnHitMap(const Vec3*) { return 0; }
i32 BB_AtkStandard::GetDamageType() const { return 0; }
BB_Base* BB_AtkStandard::HitOwner() const { return nullptr; }
void BB_AtkStandard::SetHits(const BillboardHit& hit)
{
    HitRadius = hit.hitRadius;
    Damage = hit.damage;
    DownValue = hit.downValue;
    Knockback = hit.knockback;
    HitFlags = hit.hitFlags;
    Team = hit.team;
    RehitInterval = 10;
    HitMask = kHitRobots | kHitStage;
}

void BB_AtkStandard::UpdateHitNodes() { CountDown(HitList); }
bool BB_AtkStandard::HasHit(const BB_Base* object) const { return Holds(HitList, object); }
void BB_AtkStandard::RecordHit(BB_Base* object) { Remember(HitList, object, RehitInterval); }
void BB_AtkStandard::RecordHit(BB_Base* object, i32 countdown) { Remember(HitList, object, countdown); }

i32 BB_AtkStandard::HitTestPass()
{
    UpdateHitNodes();
    CList<BB_Base>* robots = CurrentWeaponWorld().robots;
    if ((HitMask & kHitRobots) && robots && robots->GetHead()) {
        for (BB_Base* r = robots->GetHead()->next; r && r != robots->GetTail(); r = r->next)
            if (!r->Removed) r->HitTestObject(this);
    }
    BattleMap* map = CurrentWeaponWorld().map;
    if (!(HitMask & kHitStage) || !map) return 0;
    const Vec3 at = Position();
    CList<MapHitInfo> touched;
    Vec3 push;
    if (!CollideSphereWithMap(*map, at.x, at.y, at.z, HitRadius, nullptr, &touched, &push)) return 0;
    MarkWeaponPassChanged();
    AddMatrixTranslation(&World, &push);
    if (touched.GetHead())
        for (MapHitInfo* h = touched.GetHead()->next; h && h != touched.GetTail(); h = h->next)
            DamageMapObject(*map, *h, Damage);
    OnHitMap(&push);
    return 0;
}

// ---- stage objects -----------------------------------------------------------

i32 DamageMapObject(BattleMap& map, const MapHitInfo& hit, i32 damage)
{
    CMapObjNode* obj = hit.object;
    if (!obj || obj->GetInt(kMapVarHitProc) == 0 || obj->GetInt(kMapVarFlag) != 0) return 0;
    const i32 hp = static_cast<i32>(std::clamp<i64>(i64(obj->GetInt(kMapVarHp)) - damage,
                                                    std::numeric_limits<i32>::min(), std::numeric_limits<i32>::max()));
    obj->SetInt(kMapVarHp, hp);
    if (hp > 0) return 0;
    obj->SetInt(kMapVarFlag, 1);
    MapDestroyObjNode* node = map.destroyList.NewNode(1);
    if (!node) return 1;
    node->column = hit.column;
    node->row = hit.row;
    node->cell = map.GetCell(hit.column, hit.row);
    node->object = obj;
    node->destroyProc = obj->GetInt(kMapVarDestroyProc);
    for (i32 i = 0; i < 10; ++i) node->destroyParams[i] = obj->GetInt(kMapVarDestroyParam00 + i);
    node->placement = obj->matrix;
    f32 height = 0.0f;
    if (i32(obj->partIndex) < map.parts.GetCount()) {
        const MapPartData& part = map.parts[obj->partIndex];
        const MeshObject* mesh = part.drawMesh ? part.drawMesh.get() : part.hitMesh.get();
        if (mesh) height = mesh->boxMax.y - mesh->boxMin.y;
    }
    node->dropHeight = static_cast<i32>(height * 50.0f);
    return 1;
}

// ---- shared rules ------------------------------------------------------------

bool ObjectGone(const BB_Base* object)
{
    if (!object) return false;
    if (object->Removed) return true;
    const i32 kind = object->GetKind();
    if (kind == kKindRobotBase || kind == kKindRobot || kind == kKindShip)
        return static_cast<const CRobot_Base*>(object)->state != kRobotStateLive;
    return false;
}
