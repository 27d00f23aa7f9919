#include "weapon/Fannel.h"

#include "engine/model/HodModel.h"
#include "weapon/Bullet.h"

void SetModelNodeHidden(HodNode* node, u8 hidden)
{
    if (!node) return;
    node->hidden = hidden;
    for (HodNode* child : node->children) SetModelNodeHidden(child, hidden);
}

// Until drones fly, one comes straight home: its part shows on the robot again.
i32 LZ_Fannel::Run()
{
    if (!ObjectGone(Owner)) SetModelNodeHidden(BayNode, 0);
    return 1;
}
i32 LZ_Fannel::GetDamageType() const { return 1; }

void LZ_Fannel::Set(const Mat4* start, f32 width, i32 maxPoints, f32 speed, f32 turnLimit, i32 blendMode,
                    plat::GfxTexture* texture, u32 colour, BB_Base* owner, BB_Base* target, i32 team, i16 durability,
                    MeshObject* mesh, u8 shaderMode)
{
    SetTrail(start, width, maxPoints, blendMode, texture, colour);
    Speed = speed;
    TurnLimit = turnLimit;
    Owner = owner;
    Target = target;
    Team = team;
    Durability = durability;
    Mesh = mesh;
    ShaderMode = AllowedShaderMode(shaderMode);
    HitMask = kHitStage | kHitByWeapons;
}

void LZ_Fannel::SetEx(HodNode* bayNode, i32 shots, i32 firstDelay, i8 weaponKind, RobotColorData* colourSet)
{
    WeaponKind = weaponKind;
    BayNode = bayNode;
    HomeMatrix = bayNode ? &bayNode->world : nullptr;
    HomeMatrixCopy = HomeMatrix ? *HomeMatrix : Mat4::Identity();
    ShotsLeft = shots;
    FireCountdown = firstDelay;
    SetModelNodeHidden(bayNode, 1);
    ColourSet = colourSet;
}
