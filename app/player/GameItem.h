#pragma once
// Equipment parts: the items a player owns and fits to a robot's ten slots.
#include "platform/core/Types.h"

// Size of a part as it travels between clients.
inline constexpr u32 PartWireRecordSize = 414;
// Size of a kind-1 part inside the part-inventory file.
inline constexpr u32 PartFileRecordSize = 442;
// Part ids run from 0 to MaxPartId - 1.
inline constexpr i32 MaxPartId = 1000;

class CGameItemBase {
public:
    explicit CGameItemBase(u32 partId);
    // Parts are deleted through their concrete type only (the inventory holds
    // CGameItem_PowerUp*), so the destructor stays non-virtual as designed.

    // Virtual operations in slot order.
    virtual i32 GetKind() const = 0;
    // Copies both texts; too long a text is cut before a whole character.
    virtual void SetText(const char* newName, const char* newDescription);

    u32 partId;
    char name[50];
    char description[256];
    u32 colour;
    i32 grade;
    u32 reserved[10];

protected:
    ~CGameItemBase() = default;
};

class CGameItem_PowerUp final : public CGameItemBase {
public:
    explicit CGameItem_PowerUp(u32 partId);
    ~CGameItem_PowerUp() = default;

    i32 GetKind() const override { return 1; }

    // Wire record of online play (414 bytes). The part id does not travel.
    void WriteWireRecord(u8 out[PartWireRecordSize]) const;
    // Fills the fields from a received record; the id and the last two
    // bytes of the reserved block are left alone.
    void ReadWireRecord(const u8 in[PartWireRecordSize]);
    // Record inside the part-inventory file (442 bytes, kind 1).
    void WriteFileRecord(u8 out[PartFileRecordSize]) const;
    void ReadFileRecord(const u8 in[PartFileRecordSize]);

    // Random content (the part generator): fills a freshly created part.
    void Randomize(f32 chance);
    void MakeRanged(f32 chance);
    void MakeArmour(f32 chance);
    void MakeThruster(f32 chance);
    void MakeSpecial0();
    void MakeSpecial1();
    void MakeSpecial2();
    void MakeSpecial3();
    void MakeSpecial4();
    void MakeSpecial5();
    void MakeSpecial6();
    void AppendBonusLines();

    i16 bonus[10];
    u32 extra[10];
    // Two bytes that travel in the wire record between the description and
    // the colour; kept as received.
    u8 wireSpare[2];
};

// Bonus indices.
enum PartBonus : int {
    BonusShootAttack = 0,
    BonusMeleeAttack = 1,
    BonusBeamDefence = 2,
    BonusSolidDefence = 3,
    BonusMeleeDefence = 4,
    BonusThrustMax = 5,
    BonusWeaponMax = 6,
    BonusThrustRecharge = 7,
    BonusWeaponRecharge = 8,
};
