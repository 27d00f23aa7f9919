#pragma once
// The hangar's equipment menus: the four part slots of the robot shown,
// the choice of a part for one slot, and the owned parts with their
// destroy and sort commands.
#include "frontend/hangar/HangarMenu.h"

class HGTCB_Menu_EquipItem : public HGTCB_MenuBase {
public:
    static constexpr i32 Slots = 4;
    static HGTCB_Menu_EquipItem* Create(CList<TCB>* list, u32 priority);
    HGTCB_Menu_EquipItem();
    i32 Input() override;
    void DrawSP() override;

    HGTCB_MenuBase* child = nullptr;
};

class HGTCB_Menu_SelectItem : public HGTCB_MenuBase {
public:
    static HGTCB_Menu_SelectItem* Create(CList<TCB>* list, u32 priority);
    HGTCB_Menu_SelectItem();
    // The slot to edit; the cursor starts on the part in it (-1 when no
    // owned part has its id).
    void SetSlot(i32 newSlot);
    i32 Input() override;
    void DrawSP() override;

    i32 slot = 0;
};

class HGTCB_Menu_MyItem : public HGTCB_MenuBase {
public:
    static HGTCB_Menu_MyItem* Create(CList<TCB>* list, u32 priority);
    HGTCB_Menu_MyItem();
    i32 Input() override;
    void DrawSP() override;
    // Takes the cursor part off every robot and destroys it.
    void DestroyCursorPart();

    HGTCB_MenuBase* child = nullptr;
};

// Sort, destroy or cancel for one owned part.
class HGTCB_Menu_ItemMenu : public HGTCB_MenuBase {
public:
    static constexpr i32 Sort = 0, Destroy = 1, Back = 2, Cancelled = -1;
    static HGTCB_Menu_ItemMenu* Create(CList<TCB>* list, u32 priority);
    HGTCB_Menu_ItemMenu();
    i32 Input() override;
    void DrawSP() override;

    i32 result = 0;
};

// Whether a robot record carries the part id in any of its ten slots (id 0,
// the empty slot, never counts).
bool RecordCarries(const struct RobotRecord& record, i32 partId);
