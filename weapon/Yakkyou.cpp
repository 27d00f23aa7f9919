#include "weapon/Yakkyou.h"

#include "weapon/Bullet.h"

i32 LZ_Yakkyou::Run() { return 1; }
i32 LZ_Yakkyou::GetDamageType() const { return 1; }

void LZ_Yakkyou::Set(const Mat4* start, MeshObject* mesh, u8 shaderMode, const Vec3* velocity)
{
    if (start) DrawMatrix = *start;
    SetTrail(start, 0.0f, 2, 2, nullptr, 0);  // the trail is never shown
    SetHits(nullptr, nullptr, 0, 0, 0.0f, 0, 0, 1, 0);
    HitMask = kHitStage;
    Counter = 0;
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    if (velocity) Velocity = *velocity;
    SpinX = f32(BattleUnit() * 20.0 - 10.0);
    SpinY = f32(BattleUnit() * 20.0 - 10.0);
}
