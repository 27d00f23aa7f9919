#include "frontend/hangar/HangarEquipMenu.h"

#include <cstdio>
#include <vector>

#include "app/core/Application.h"
#include "battle/hud/KillMessage.h"
#include "frontend/hangar/HangarScene.h"
#include "platform/gfx/Font.h"

namespace {

constexpr i32 KeyDelete = 0x2E;
constexpr u32 DeleteRepeatMs = 10000;
constexpr i32 ListRows = 10;

// Each list opens over the menu that opened it: opaque, like the robot
// list, or the rows beneath would read through its own.
constexpr HangarMenuStyle EquipStyle{300, 240, 0x323232, 255, 0.5f, 100, 500, 100000, 10000};
constexpr HangarMenuStyle MyItemStyle{300, 440, 0x323232, 255, 0.3f, 128, 150, 100000, 100000};
constexpr HangarMenuStyle SelectItemStyle{300, 440, 0x323232, 255, 0.3f, 100, 200, 10000, 10000};
constexpr HangarMenuStyle ItemMenuStyle{120, 120, 0x323232, 255, 0.3f, 100, 500, 500, 10000};

PartInventory& Inventory() { return GetApplication()->partInventory; }

// Each part row in view: its place in the list, the part, its row on screen.
template <class Draw>
void ForPartRows(const HGTCB_MenuBase& menu, Draw draw)
{
    const PartInventory& inventory = Inventory();
    const i32 count = i32(inventory.parts.size());
    for (i32 r = 0; r < ListRows && menu.firstRow + r < count; ++r)
        if (const i32 e = menu.firstRow + r; e >= 0) draw(e, *inventory.parts[size_t(e)], r);
}

// The counter under a part list and the selected part's description beside it.
void DrawListFooter(const HGTCB_MenuBase& menu, char* text, size_t size)
{
    const i32 last = i32(Inventory().parts.size()) - 1;
    // No row selected (a slot whose part is gone) has no number to show.
    if (menu.cursor >= 0)
        std::snprintf(text, size, "(%d/%d)", menu.cursor, last);
    else
        std::snprintf(text, size, "(/%d)", last);
    menu.DrawRow(1, menu.X() + 5, menu.Y() + 400, 290, 24, plat::TextRight, text, 0xFFFFFF, true, 2.0f);
    if (menu.cursor < 1) return;
    const CGameItem_PowerUp* part = Inventory().PartAt(menu.cursor);
    if (!part) return;
    menu.DrawPanelAt(menu.X() + 320, menu.Y() + 200, 300, 300, 0x323232, 200);
    const plat::GfxRect clip{0, 0, 290, 300};
    const u32 a = u32(i32(menu.ShownAlpha() * 255.0f)) & 0xFF;
    DrawShadowText(1, menu.X() + 320, menu.Y() + 200, part->description, -1, &clip,
                   plat::TextLeft | plat::TextWordBreak, a << 24 | 0xFFFFFF, 2.0f, 2.0f, a << 24);
}

}  // namespace

bool RecordCarries(const RobotRecord& record, i32 partId)
{
    if (partId == 0) return false;
    for (i32 id : record.partIds)
        if (id == partId) return true;
    return false;
}

// ---- the four slots --------------------------------------------------------------

HGTCB_Menu_EquipItem* HGTCB_Menu_EquipItem::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<HGTCB_Menu_EquipItem>(list, priority);
}

HGTCB_Menu_EquipItem::HGTCB_Menu_EquipItem() : HGTCB_MenuBase(EquipStyle) { rowCount = Slots + 1; }

i32 HGTCB_Menu_EquipItem::Input()
{
    if (WaitForChild(child)) return kTaskKeep;
    if (Down()) cursor = (cursor + 1) % rowCount;
    if (Up()) cursor = (cursor + rowCount - 1) % rowCount;
    if (Decide()) {
        if (cursor == Slots) {
            Close();
        } else if (auto* menu = OpenChild<HGTCB_Menu_SelectItem>(child)) {
            menu->SetSlot(cursor);
        }
        return kTaskKeep;
    }
    if (Cancel()) Close();
    return kTaskKeep;
}

void HGTCB_Menu_EquipItem::DrawSP()
{
    DrawPanel();
    DrawRow(1, X() + 5, Y() + 5, 300, 24, plat::TextLeft, "装备列表", 0xFFFFFF, true, 2.0f);
    for (i32 r = 0; r < rowCount; ++r) {
        u32 rgb = 0xFFFFFF;
        if (r == Slots) {
            std::snprintf(text, sizeof text, "返回");
        } else {
            const CGameItem_PowerUp* part = scene ? Inventory().FindPart(scene->ShownRecord().partIds[r]) : nullptr;
            // A slot whose part is gone shows an empty row.
            if (!part) continue;
            std::snprintf(text, sizeof text, "%d: %s", r + 1, part->name);
            rgb = part->colour;
        }
        DrawRow(1, X() + 15, Y() + 39 + f32(r * 39), 300, 24, plat::TextLeft, text, rgb, r == cursor, 2.0f);
    }
}

// ---- the part for one slot -------------------------------------------------------

HGTCB_Menu_SelectItem* HGTCB_Menu_SelectItem::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<HGTCB_Menu_SelectItem>(list, priority);
}

HGTCB_Menu_SelectItem::HGTCB_Menu_SelectItem() : HGTCB_MenuBase(SelectItemStyle) { rowCount = 4; }

void HGTCB_Menu_SelectItem::SetSlot(i32 newSlot)
{
    slot = newSlot;
    cursor = scene && slot >= 0 && slot < 10 ? Inventory().IndexOfPart(scene->ShownRecord().partIds[slot]) : -1;
    if (cursor >= ListRows) firstRow = cursor - (ListRows - 1);
}

i32 HGTCB_Menu_SelectItem::Input()
{
    const i32 count = i32(Inventory().parts.size());
    if (Down()) StepListCursor(cursor, firstRow, count, 1);
    if (Up()) StepListCursor(cursor, firstRow, count, -1);
    if (Cancel()) {
        Close();
        return kTaskKeep;
    }
    if (!Decide() || !scene || slot < 0 || slot >= 10) return kTaskKeep;
    // No row selected: nothing to fit.
    const CGameItem_PowerUp* part = Inventory().PartAt(cursor);
    if (!part) return kTaskKeep;
    RobotRecord& record = scene->ShownRecord();
    // A part already carried in another slot is refused; it must be taken
    // out of that slot first.
    if (RecordCarries(record, i32(part->partId))) return kTaskKeep;
    if (record.partIds[slot] != i32(part->partId)) {
        record.partIds[slot] = i32(part->partId);
        scene->SaveChange();
    }
    Close();
    return kTaskKeep;
}

void HGTCB_Menu_SelectItem::DrawSP()
{
    DrawPanel();
    ForPartRows(*this, [&](i32 e, const CGameItem_PowerUp& part, i32 r) {
        const bool carried = scene && RecordCarries(scene->ShownRecord(), i32(part.partId));
        DrawRow(1, X() + 5, Y() + 5 + f32(r * 39), 290, 24, plat::TextLeft, part.name, carried ? 0 : part.colour,
                e == cursor, 2.0f);
    });
    DrawListFooter(*this, text, sizeof text);
}

// ---- the owned parts -------------------------------------------------------------

HGTCB_Menu_MyItem* HGTCB_Menu_MyItem::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<HGTCB_Menu_MyItem>(list, priority);
}

HGTCB_Menu_MyItem::HGTCB_Menu_MyItem() : HGTCB_MenuBase(MyItemStyle) { rowCount = 4; }

void HGTCB_Menu_MyItem::DestroyCursorPart()
{
    PartInventory& inventory = Inventory();
    if (cursor < 1 || !inventory.PartAt(cursor)) return;
    inventory.UnequipPartAt(cursor);
    inventory.DestroyPartAt(cursor);
    if (cursor >= i32(inventory.parts.size())) --cursor;
    if (scene) scene->SaveChange();
}

i32 HGTCB_Menu_MyItem::Input()
{
    if (!active) {
        if (child && !child->IsClosed()) return kTaskKeep;
        if (auto* item = dynamic_cast<HGTCB_Menu_ItemMenu*>(child)) {
            if (item->result == HGTCB_Menu_ItemMenu::Sort) {
                const std::vector<CGameItem_PowerUp*> before = Inventory().parts;
                Inventory().SortPartsByName();
                if (scene && Inventory().parts != before) scene->SaveChange();
            }
            if (item->result == HGTCB_Menu_ItemMenu::Destroy) DestroyCursorPart();
        }
        child = nullptr;
        active = 1;
        return kTaskKeep;
    }
    const i32 count = i32(Inventory().parts.size());
    if (Down()) StepListCursor(cursor, firstRow, count, 1);
    if (Up()) StepListCursor(cursor, firstRow, count, -1);
    if (Cancel()) {
        Close();
        return kTaskKeep;
    }
    if (Decide()) {
        if (cursor <= 0)
            Close();
        else
            OpenChild<HGTCB_Menu_ItemMenu>(child, 100.0f, f32((cursor - firstRow) * 39));
        return kTaskKeep;
    }
    if (GetApplication()->IsKeyRepeat(KeyDelete, DeleteRepeatMs)) DestroyCursorPart();
    return kTaskKeep;
}

void HGTCB_Menu_MyItem::DrawSP()
{
    DrawPanel();
    ForPartRows(*this, [&](i32 e, const CGameItem_PowerUp& part, i32 r) {
        if (e == 0)
            std::snprintf(text, sizeof text, "返回");
        else if (scene && RecordCarries(scene->ShownRecord(), i32(part.partId)))
            std::snprintf(text, sizeof text, "%s [装备]", part.name);
        else
            std::snprintf(text, sizeof text, "%s", part.name);
        DrawRow(1, X() + 5, Y() + 5 + f32(r * 39), 290, 24, plat::TextLeft, text, part.colour, e == cursor, 2.0f);
    });
    DrawListFooter(*this, text, sizeof text);
    DrawPanelAt(50, 550, 300, 200, 0x323232, 100);
    DrawRow(1, 55, 555, 290, 190, plat::TextLeft | plat::TextWordBreak, "[Delete]摧毁装备", 0xFFFFFF, true, 2.0f);
}

// ---- sort / destroy / cancel -----------------------------------------------------

HGTCB_Menu_ItemMenu* HGTCB_Menu_ItemMenu::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<HGTCB_Menu_ItemMenu>(list, priority);
}

HGTCB_Menu_ItemMenu::HGTCB_Menu_ItemMenu() : HGTCB_MenuBase(ItemMenuStyle) { rowCount = 3; }

i32 HGTCB_Menu_ItemMenu::Input()
{
    if (Down()) cursor = (cursor + 1) % rowCount;
    if (Up()) cursor = (cursor + rowCount - 1) % rowCount;
    if (Cancel()) {
        result = Cancelled;
        Close();
    } else if (Decide()) {
        result = cursor;
        Close();
    }
    return kTaskKeep;
}

void HGTCB_Menu_ItemMenu::DrawSP()
{
    static const char* const kRows[3] = {"排序", "确定", "取消"};
    DrawPanel();
    for (i32 r = 0; r < rowCount; ++r)
        DrawRow(1, X() + 5, Y() + 5 + f32(r * 39), 110, 24, plat::TextLeft, kRows[r], 0xFFFFFF, r == cursor, 2.0f);
}
