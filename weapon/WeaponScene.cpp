#include "weapon/WeaponScene.h"

WeaponArena CurrentWeaponArena() { return WeaponArena{}; }

Vec3 WeaponCameraEye() { return Vec3(); }
