#pragma once
// Random content for equipment parts: three graded makers (grades D to S)
// and seven fixed makers. The operations are members of CGameItem_PowerUp
// (app/player/GameItem.h); every number is drawn from the application's generator
// in a fixed order, so one generator state always yields the same part.
#include "platform/core/Types.h"

enum PartGrade : i32 {
    GradeD = 1,
    GradeC = 2,
    GradeB = 3,
    GradeA = 4,
    GradeS = 5,
    GradeFixed = 6,
    GradeFixedTop = 7,
};

inline constexpr u32 PartColourGold = 0xFFFFFF00u;  // S and every fixed part
inline constexpr u32 PartColourGreen = 0xFF00FF00u; // A
inline constexpr u32 PartColourBlue = 0xFF565EE9u;  // B
inline constexpr u32 PartColourWhite = 0xFFFFFFFFu; // C, D and new parts
