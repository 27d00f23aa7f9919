// The scene's stage queries: the ones in battle/stage/MapCollision.h on the
// stage of the current battle.
#include "battle/GameScene.h"
#include "battle/stage/MapCollision.h"

i32 CGameScene::HitTestMapSegment(const Vec3* start, const Vec3* end, float* distance, MapHitInfo* record)
{
    return ::HitTestMapSegment(battleMap, start, end, distance, record);
}

i32 CGameScene::CollideSphereWithMap(float x, float y, float z, float radius, i32* count, CList<MapHitInfo>* hits,
                                     Vec3* push)
{
    return ::CollideSphereWithMap(battleMap, x, y, z, radius, count, hits, push);
}

i32 CGameScene::HitTestQuadAgainstMesh(const Vec3 quad[4], MeshObject* mesh, const Mat4* placement, Vec3* hitPoint)
{
    return ::HitTestQuadAgainstMesh(quad, mesh, placement, hitPoint);
}
