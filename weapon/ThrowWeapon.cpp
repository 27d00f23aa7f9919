#include "weapon/ThrowWeapon.h"

#include "weapon/Bullet.h"
#include "weapon/Fannel.h"

// Until thrown parts fly, one comes straight back to the robot.
i32 LZ_ThrowBase::Run()
{
    if (!ObjectGone(Owner)) SetModelNodeHidden(Node, 0);
    return 1;
}

i32 LZ_ThrowBase::GetDamageType() const { return 1; }

void LZ_ThrowBase::Set(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnLimit, i32 blendMode,
                       plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 damage,
                       i32 downValue, f32 knockback, u32 hitFlags, i32 rehitInterval, i32 testSegments, i32 team,
                       i32 flightFrames)
{
    SetTrail(start, width, maxPoints, blendMode, texture, colour);
    SetHits(owner, target, damage, downValue, knockback, hitFlags, rehitInterval, testSegments, team);
    Speed = speed;
    TurnLimit = turnLimit;
    FlightFrames = flightFrames;
    HitMask = kHitRobots | kHitStage | kHitWeapons;
}

void LZ_ThrowBase::SetEx(HodNode* node, i32, i32, MeshObject* mesh, u8 shaderMode, RobotColorData* colourSet)
{
    Node = node;
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    ColourSet = colourSet;
    SetModelNodeHidden(node, 1);
}
