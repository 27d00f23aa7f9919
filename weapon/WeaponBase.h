#pragma once
// The two weapon bases and the damaging billboard base, with the lists that
// remember what each has already hit. LZ_Basic is a line object drawn as its
// trail (or a mesh); LZ_Standard is the weapon that hits robots, other
// weapons and the stage through the segments of its trail.
#include "app/core/BattleRandom.h"
#include "battle/BattleObject.h"
#include "engine/core/TaskList.h"
#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"
#include "weapon/Laser.h"

class BattleMap;
class MapHitInfo;
class MeshObject;

// An object a weapon hit and may not hit again before Countdown runs out.
// HitObject is only ever compared, never followed: it may be gone.
class LASERHITNODE : public CListNode<LASERHITNODE>, public SizePooled {
public:
    i32 Countdown = 0;
    BB_Base* HitObject = nullptr;
};

class BBHITNODE : public CListNode<BBHITNODE>, public SizePooled {
public:
    i32 Countdown = 0;
    BB_Base* HitObject = nullptr;
};

// Bits of LZ_Standard::HitMask.
enum WeaponHitMask : u32 {
    kHitRobots = 1,      // offer this weapon to every robot
    kHitStage = 2,       // test the trail against the stage
    kHitWeapons = 4,     // offer this weapon to every weapon
    kHitByWeapons = 8,   // other weapons may hit this one
};

// The set-up records the weapon initialisers take, so a call site names
// every value it passes (designated initialisers: fields in the order below,
// evaluated in that order; the battle's draws stay out of them).

// The start every trail weapon shares (what LZ_Basic::SetTrail takes).
struct WeaponTrail {
    const Mat4* start = nullptr;
    f32 width = 0.0f;
    i32 maxPoints = 0;
    i32 blendMode = 0;
    plat::GfxTexture* texture = nullptr;
    u32 colour = 0;
};

// How a flying weapon moves: distance a frame along its forward axis, turn
// toward its target a frame, and the frames it flies (its life).
struct WeaponFlight {
    f32 speed = 0.0f;
    f32 turnRate = 0.0f;
    i32 life = 0;
};

// What a weapon's hits carry and whom they count for (LZ_Standard::SetHits).
struct WeaponHit {
    BB_Base* owner = nullptr;
    BB_Base* target = nullptr;
    i32 damage = 0;
    i32 downValue = 0;
    f32 knockback = 0.0f;
    u32 hitFlags = 0;
    i32 rehitInterval = 0;  // passes before the same object may be hit again
    i32 testSegments = 0;   // trail segments tested, from the newest
    i32 team = 0;
};

// A weapon with a body: the hits it stands and the mesh it is drawn with,
// in the render mode asked for (kept only while shaders are enabled).
struct WeaponBody {
    i16 durability = 0;
    MeshObject* mesh = nullptr;
    u8 shaderMode = 0;
};

// What a damaging billboard's hits carry (BB_AtkStandard::SetHits).
struct BillboardHit {
    f32 hitRadius = 0.0f;
    i32 damage = 0;
    i32 downValue = 0;
    f32 knockback = 0.0f;
    u32 hitFlags = 0;
    i32 team = 0;
};

// What a weapon's hit pass looks at; the scene's lists in a battle.
struct WeaponArena {
    CList<BB_Base>* weapons = nullptr;
    CList<BB_Base>* robots = nullptr;
    BattleMap* map = nullptr;
};

class LZ_Basic : public BB_Base {
public:
    LZ_Basic() = default;
    ~LZ_Basic() override = default;

    // The trail with the battle camera's eye; nothing for a BlendMode other than 0 or 1.
    i32 Draw() override;
    i32 GetKind() const override;
    Mat4* GetTargetMatrix() override;
    Mat4* GetMatrix() override;
    // The mesh at the world matrix, in the normal and in the glow pass.
    virtual i32 DrawXFile();
    virtual i32 DrawXFileHDR();
    // 0 energy, 1 physical: which of a robot's resistances applies.
    virtual i32 GetDamageType() const;

    // The start every initialiser shares: world matrix, trail size, texture
    // and looks, and the start position as the first trail point.
    void SetTrail(const Mat4* start, f32 width, i32 maxPoints, i32 blendMode, plat::GfxTexture* texture, u32 colour);
    void SetTrail(const WeaponTrail& t) { SetTrail(t.start, t.width, t.maxPoints, t.blendMode, t.texture, t.colour); }

    // Draw with a given eye (the camera's in a battle).
    i32 DrawTrail(const Vec3& eye);
    Vec3 Position() const { return Vec3(Laser.World.m[3][0], Laser.World.m[3][1], Laser.World.m[3][2]); }

    CLaser Laser;  // its matrix is the weapon's world matrix
    f32 Width = 0.0f;
    u8 TrailFlag = 4;
    f32 TrailFactor = 0.999998f;
    u32 Colour = 0;
    i32 BlendMode = 0;
    MeshObject* Mesh = nullptr;  // not owned
    i8 ShaderMode = 0;           // 0 fixed function, 1 through the reflection / bloom effects
    BB_Base* Target = nullptr;
    BB_Base* Owner = nullptr;
};

class LZ_Standard : public LZ_Basic {
public:
    LZ_Standard() { StandardWeapon = 1; }
    ~LZ_Standard() override;

    i32 HitTestPass() override;
    // Weapon against weapon, this one the target and `tester` the attacker.
    // Nothing between weapons of one team or one owner: the hit pass leaves
    // out those calls, so an override must do nothing for them either.
    i32 HitTestObject(BB_Base* tester) override;
    i32 GetKind() const override;

    // Hit reactions; the defaults do nothing. Points and normals are 3 floats.
    virtual i32 OnHitRobot(const Vec3* point, LASERNODE* segment, BB_Base* robot);
    virtual i32 OnHitGuard(const Vec3* point, LASERNODE* segment, BB_Base* robot, const Mat4* guard);
    virtual i32 OnHitMap(const Vec3* point, LASERNODE* segment, const Vec3* normal);
    virtual i32 OnReflect(const Vec3* point, LASERNODE* segment, BB_Base* robot);
    virtual i32 OnHitWeapon(const Vec3* contact);
    virtual i32 OnHitByWeapon(const Vec3* contact);

    // The hit values every weapon initialiser takes.
    void SetHits(const WeaponHit& hit);

    // The hit pass against explicit lists (tests, and the battle through HitTestPass).
    i32 HitTestPassIn(const WeaponArena& arena);
    // Counts every record down; drops those that reach 0.
    void UpdateHitNodes();
    // Forgets one record of `object`: 1 when there was one.
    i32 RemoveHitNode(BB_Base* object);
    bool HasHit(const BB_Base* object) const;
    // Remembers a hit on `object` for RehitInterval passes.
    void RecordHit(BB_Base* object);
    // Segments (and points of the cut) tested from the newest; a negative
    // setting tests none, in every test alike.
    i32 SegmentsToTest() const { return TestSegments < 0 ? 0 : TestSegments; }
    // Lowers Durability by a hit's damage, held at the 16-bit limits so a big
    // hit never wraps round to a sturdy weapon.
    void WearDown(i32 damage);
    // Applies the Mark requests of the newest points.
    void CutMarkedPoints();

    CList<LASERHITNODE> HitList;
    u32 HitMask = 0;
    i32 Damage = 0;
    f32 Knockback = 0.0f;
    i32 DownValue = 0;
    i32 RehitInterval = 0;
    u32 HitFlags = 0;
    i32 Team = 0;
    i32 TestSegments = 0;
    i16 Durability = 0;

private:
    void HitTestStage(BattleMap& map);
};

// A damaging billboard: a hit sphere around its position.
class BB_AtkStandard : public BB_Standard {
public:
    BB_AtkStandard() { AttackBillboard = 1; }
    ~BB_AtkStandard() override;

    // Counts the hit list down, offers itself to every robot (mask 1) and
    // pushes itself out of the stage (mask 2), breaking what it damages.
    i32 HitTestPass() override;

    virtual i32 OnHitRobot(const Vec3* point, BB_Base* robot);
    virtual i32 OnHitMap(const Vec3* push);
    virtual i32 GetDamageType() const;
    // Who scores with this billboard's hits; null for none.
    virtual BB_Base* HitOwner() const;

    // What its hits carry; it meets robots and the stage, an object it hit
    // again after 10 passes.
    void SetHits(const BillboardHit& hit);
    void UpdateHitNodes();
    bool HasHit(const BB_Base* object) const;
    void RecordHit(BB_Base* object);
    // The same for a given number of passes.
    void RecordHit(BB_Base* object, i32 countdown);

    f32 HitRadius = 0.0f;
    u32 HitMask = 0;
    CList<BBHITNODE> HitList;
    i32 Damage = 0;
    f32 Knockback = 0.0f;
    i32 DownValue = 0;
    i32 RehitInterval = 10;
    u32 HitFlags = 0;
    i32 Team = 0;
};

// A map object hit for `damage`: breakable objects lose it from their hit
// points and break at 0, joining the map's list of destroyed objects. 1 when
// this hit broke it.
i32 DamageMapObject(BattleMap& map, const MapHitInfo& hit, i32 damage);

// The battle's hit pass brackets its walk with these: while it is open, a
// weapon testing the weapon list visits only the weapons that other weapons
// can hit, gathered once (and again when the pass adds to the list) instead
// of walking every trail and spark of the list for every tester.
void BeginWeaponHitPass();
void EndWeaponHitPass();
// While w runs its hit pass: true when none of its tested segments can come
// within `radius` of c, so a robot may pass over the whole trail at once.
// False outside the pass and after its first hit.
bool WeaponPassFarFrom(const LZ_Standard* w, const Vec3& c, f32 radius);
// The same, segment by segment: the first of w's tested segments from `from`
// on (0 the newest) that may come within `radius` of c, past the last when
// none may; `from` itself outside the pass and after its first hit.
i32 WeaponPassNearSegment(const LZ_Standard* w, i32 from, const Vec3& c, f32 radius);
// While w's pass bounds hold: the newer point of its tested segment `index`
// (0 the newest), so a walk can go straight to the segment
// WeaponPassNearSegment named; null past the last, or when they do not hold.
LASERNODE* WeaponPassSegmentNewer(const LZ_Standard* w, i32 index);
// A walk over w's tested segments at segment `tested` (newer and older its
// points) goes straight on to the first from there WeaponPassNearSegment
// leaves near; false when none is (the walk is done). Inline: it runs for
// every segment a robot or weapon walks.
inline bool WeaponPassSkipFar(const LZ_Standard* w, i32& tested, LASERNODE*& newer, LASERNODE*& older,
                              const Vec3& c, f32 radius)
{
    const i32 near = WeaponPassNearSegment(w, tested, c, radius);
    if (near == tested) return true;
    newer = WeaponPassSegmentNewer(w, near);
    if (!newer) return false;
    older = w->Laser.Older(newer);
    tested = near;
    return true;
}
// A hit's reaction may change the trail: the pass's bounds no longer hold
// (nor, as for MarkWeaponPassChanged, where the weapons were gathered).
void DropWeaponPassBounds();
// A hit's reaction ran and may have moved or added weapons: the pass gathers
// where the weapons are again before the next tester.
void MarkWeaponPassChanged();

// A followed object (owner, target, parent) that may no longer be used: null
// is not gone; a finished object is; a robot also once it is not live.
bool ObjectGone(const BB_Base* object);
// The next battle draw.
inline u32 BattleDraw() { return GetBattleRandom().GetRand(); }
// The next battle draw as a fraction in [0, 1).
inline double BattleUnit() { return double(BattleDraw()) / 4294967296.0; }
