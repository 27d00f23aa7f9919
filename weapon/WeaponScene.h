#pragma once
// What weapons and effects read of the battle scene: its object lists, its
// stage and its camera.
#include "platform/math/MathTypes.h"
#include "weapon/WeaponBase.h"

// The scene's weapon and robot lists and its stage.
WeaponArena CurrentWeaponArena();
// The camera's eye position (sound ranges, trail facing).
Vec3 WeaponCameraEye();
