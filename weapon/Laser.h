#pragma once
// Light trails: a strip of points, newest first, that beams, bullets,
// missiles and sword sweeps leave behind. The owner adds and removes points;
// the trail keeps no time of its own.
#include "engine/core/SizePool.h"
#include "engine/core/TaskList.h"
#include "engine/graphics/MatrixHelpers.h"
#include "platform/core/Types.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"

// One cache line: walks over a trail read little else.
struct LASERNODE {
    LASERNODE* next = nullptr;  // older; the tail sentinel's is null
    LASERNODE* prev = nullptr;  // newer; the head sentinel's is null
    Vec3 Direction;  // the draw overwrites it with the segment direction
    // What a hit reaction asks of the cut step (see LaserMark).
    i32 Mark = 0;
    Vec3 Position;
    i32 Life = 0;
    // The stream laser's own travel direction for this point; unlike
    // Direction, the draw leaves it alone.
    Vec3 Heading;
};

// Values of LASERNODE::Mark.
enum LaserMark : i32 {
    kMarkNone = 0,
    kMarkRemove = 1,             // this point
    kMarkRemoveNewerStop = 2,    // this point and every newer one, then stop
    kMarkRemoveNewerGoOn = 3,    // this point and every newer one, then go on
};

// A trail's points in order between two sentinels that live in the list
// itself, so reaching either end never leaves the trail's own memory.
class LaserPoints {
public:
    LaserPoints()
    {
        head.next = &tail;
        tail.prev = &head;
    }
    LaserPoints(const LaserPoints&) = delete;
    LaserPoints& operator=(const LaserPoints&) = delete;

    LASERNODE* GetHead() const { return &head; }
    LASERNODE* GetTail() const { return &tail; }
    u32 GetCount() const { return count; }
    bool Empty() const { return count == 0; }

    void LinkAfter(LASERNODE* at, LASERNODE* node)
    {
        node->prev = at;
        node->next = at->next;
        at->next->prev = node;
        at->next = node;
        ++count;
    }
    // Returns the node that followed.
    LASERNODE* Unlink(LASERNODE* node)
    {
        LASERNODE* following = node->next;
        node->prev->next = following;
        following->prev = node->prev;
        --count;
        return following;
    }
    // Puts every point, newest first, in front of a chain linked by next;
    // only the oldest point is written.
    void MoveAllTo(LASERNODE*& chain)
    {
        if (count == 0) return;
        tail.prev->next = chain;
        chain = head.next;
        head.next = &tail;
        tail.prev = &head;
        count = 0;
    }

private:
    mutable LASERNODE head;
    mutable LASERNODE tail;
    u32 count = 0;
};

class CLaser {
public:
    // Both draws fill one shared array of this many vertices and stop two
    // short of it.
    static constexpr i32 kSharedVertices = 5000;
    static constexpr i32 kMaxDrawVertices = 4998;
    static constexpr i32 kPointLife = 60;

    CLaser() = default;
    CLaser(const CLaser&) = delete;
    CLaser& operator=(const CLaser&) = delete;
    virtual ~CLaser();

    // New newest point; the oldest goes when the trail is over its size.
    LASERNODE* AddPoint(const Vec3& position);
    void AddPointDir(const Vec3& position, const Vec3& direction);
    // New point right behind `after` (its older side); over size, the newest
    // goes when trimFromHead is non-zero, else the oldest. Null when `after`
    // is not one of this trail's points.
    LASERNODE* InsertPoint(const Vec3& position, LASERNODE* after, i32 trimFromHead);
    // Drops the oldest point.
    void RemovePoint();
    // Drops one point; returns the one that was older than it (or the tail sentinel).
    LASERNODE* ErasePoint(LASERNODE* point);
    void Clear();

    // Inline: every hit test walks trails point by point.
    LASERNODE* Newest() const  // null when empty
    {
        LASERNODE* head = Points.GetHead();
        if (head->next == Points.GetTail()) return nullptr;
        return head->next;
    }
    LASERNODE* Oldest() const  // null when empty
    {
        LASERNODE* tail = Points.GetTail();
        if (tail->prev == Points.GetHead()) return nullptr;
        return tail->prev;
    }
    // The point older than p, null past the oldest.
    LASERNODE* Older(const LASERNODE* p) const
    {
        if (!p || !p->next || p->next == Points.GetTail()) return nullptr;
        return p->next;
    }
    LASERNODE* Newer(const LASERNODE* p) const
    {
        if (!p || !p->prev || p->prev == Points.GetHead()) return nullptr;
        return p->prev;
    }

    // Camera-facing strip, one vertex pair per point, v from 0 at the newest
    // point to TextureLength at the oldest. The flag and factor are not read.
    i32 Draw(plat::GfxDevice* device, const Vec3& eye, f32 halfWidth, u8 flag, f32 factor, u32 colour);
    // Smoothed band from the points to the points pushed along their
    // directions by tipLength, five samples per point.
    i32 DrawSmooth(plat::GfxDevice* device, f32 tipLength, u32 baseColour, u32 tipColour);

    plat::GfxTexture* Texture = nullptr;  // not owned; null draws untextured
    LaserPoints Points;
    i32 MaxPoints = 0;
    f32 TextureLength = 1.0f;
    Matrix World;
    i32 Count = 0;

private:
    struct NodeBlock;

    // A trail's points come from blocks of its own, so a trail's points sit
    // side by side and a finished trail gives them all back at once.
    // Links a fresh point and counts it.
    LASERNODE* NewPointAfter(LASERNODE* after, const Vec3& position);
    bool AddBlock();
    bool Holds(const LASERNODE* p) const;
    LASERNODE* Drop(LASERNODE* point);

    LASERNODE* spare = nullptr;  // free points, linked by next
    NodeBlock* blocks = nullptr;
    i32 capacity = 0;
};
