#include "frontend/hangar/HangarMenu.h"

#include <algorithm>
#include <cstdio>

#include "app/scene/SceneDevice.h"
#include "app/core/Application.h"
#include "app/scene/TitleScene.h"
#include "battle/hud/KillMessage.h"
#include "engine/graphics/GraphicsDevice.h"
#include "frontend/hangar/HangarEquipMenu.h"
#include "frontend/hangar/HangarScene.h"
#include "platform/gfx/Font.h"
#include "platform/math/Math.h"

namespace {

constexpr u32 PadUp = 1, PadDown = 3, PadDecide = 12, PadCancel = 13;

constexpr HangarMenuStyle TopStyle{300, 400, 0x000080, 100, 0.3f, 100, 500, 10000, 10000};
// The lists open over the top menu: their panels are opaque, or the grey
// rows not chosen would read mixed with the labels beneath.
constexpr HangarMenuStyle FrameStyle{600, 350, 0x800000, 255, 0.3f, 100, 500, 10000, 10000};
constexpr HangarMenuStyle ColorStyle{300, 470, 0x800000, 255, 0.3f, 100, 500, 10000, 10000};

bool Pressed(u32 button, u32 interval) { return GetApplication()->IsPadButtonRepeat(0, button, interval) != 0; }

u32 AlphaByte(f32 a) { return u32(i32(a)) & 0xFF; }

}  // namespace

void StepListCursor(i32& cursor, i32& first, i32 count, i32 step, i32 rows)
{
    if (count <= 0) {
        cursor = -1;
        first = 0;
        return;
    }
    if (step > 0) {
        if (++cursor >= count) cursor = first = 0;
        if (cursor - first >= rows) ++first;
    } else {
        if (--cursor < 0) {
            cursor = count - 1;
            first = std::max(count - rows, 0);
        }
        if (cursor < first) --first;
    }
}

// ---- shared behaviour ------------------------------------------------------------

HGTCB_MenuBase::HGTCB_MenuBase(const HangarMenuStyle& menuStyle) : style(menuStyle) {}

i32 HGTCB_MenuBase::Proc()
{
    if (state == Opening) {
        alpha += 0.08f;
        if (alpha >= 1.0f) {
            alpha = 1.0f;
            state = Open;
        }
        xSlide = std::min(xSlide + 4.0f, 0.0f);
        return kTaskKeep;
    }
    if (state == Open) return Input();
    if (state == Closing) {
        alpha -= 0.16f;
        if (alpha < 0.0f) {
            alpha = 0.0f;
            state = Closed;
        }
        xSlide -= 8.0f;
        if (xSlide < -50.0f) xSlide = -50.0f;
        return kTaskKeep;
    }
    if (state >= Closed && ++state >= Removed) return kTaskRemove;
    return kTaskKeep;
}

f32 HGTCB_MenuBase::ShownAlpha() const { return active ? alpha : alpha * style.dimmed; }

void HGTCB_MenuBase::DrawPanelAt(f32 px, f32 py, f32 width, f32 height, u32 rgb, f32 alphaFactor) const
{
    if (!scene) return;
    FillLayoutRect(scene->dot.texture, px, py, width, height,
                   AlphaByte(ShownAlpha() * alphaFactor) << 24 | (rgb & 0xFFFFFF));
}

void HGTCB_MenuBase::DrawPanel() const
{
    // An opaque list stays opaque while it waits, dimmed, for its child:
    // only its rows dim, or the menu beneath would read through them.
    if (style.panelAlpha >= 255.0f && !active) {
        if (!scene) return;
        FillLayoutRect(scene->dot.texture, X(), Y(), style.width, style.height,
                       AlphaByte(alpha * 255.0f) << 24 | (style.panelRgb & 0xFFFFFF));
        return;
    }
    DrawPanelAt(X(), Y(), style.width, style.height, style.panelRgb, style.panelAlpha);
}

void HGTCB_MenuBase::DrawRow(i32 font, f32 px, f32 py, i32 clipWidth, i32 clipHeight, u32 format, const char* rowText,
                             u32 rgb, bool selected, f32 shadow) const
{
    const u32 a = AlphaByte(ShownAlpha() * (selected ? 255.0f : style.otherRows)) << 24;
    const plat::GfxRect clip{0, 0, clipWidth, clipHeight};
    DrawShadowText(font, px, py, rowText, -1, &clip, format, a | (rgb & 0xFFFFFF), shadow, shadow, a);
}

bool HGTCB_MenuBase::Up() const { return Pressed(PadUp, style.moveMs); }
bool HGTCB_MenuBase::Down() const { return Pressed(PadDown, style.moveMs); }
bool HGTCB_MenuBase::Decide() const { return Pressed(PadDecide, style.decideMs); }
bool HGTCB_MenuBase::Cancel() const { return Pressed(PadCancel, style.cancelMs); }

bool HGTCB_MenuBase::WaitForChild(HGTCB_MenuBase*& child)
{
    if (active) return false;
    if (!child || child->IsClosed()) {
        active = 1;
        child = nullptr;
    }
    return true;
}

// ---- top menu --------------------------------------------------------------------

HGTCB_Menu_Top* HGTCB_Menu_Top::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<HGTCB_Menu_Top>(list, priority);
}

HGTCB_Menu_Top::HGTCB_Menu_Top() : HGTCB_MenuBase(TopStyle)
{
    x = y = 50.0f;
    rowCount = Rows;
}

i32 HGTCB_Menu_Top::Input()
{
    if (WaitForChild(child)) return kTaskKeep;
    if (!visible) {
        if (Decide() || Cancel()) visible = 1;
        return kTaskKeep;
    }
    if (Down()) cursor = (cursor + 1) % Rows;
    if (Up()) cursor = (cursor + Rows - 1) % Rows;
    const bool leave = Cancel();
    if (!leave && Decide()) {
        switch (cursor) {
        case 0:
            if (auto* menu = OpenChild<HGTCB_Menu_SelectFrame>(child); menu && scene) {
                menu->cursor = scene->selected;
                menu->firstRow = menu->cursor >= 10 ? menu->cursor - 9 : 0;
            }
            return kTaskKeep;
        case 1:
            if (auto* menu = OpenChild<HGTCB_Menu_SelectColor>(child); menu && scene)
                menu->cursor = scene->ShownColourSet();
            return kTaskKeep;
        case 2: OpenChild<HGTCB_Menu_EquipItem>(child); return kTaskKeep;
        case 3: OpenChild<HGTCB_Menu_MyItem>(child); return kTaskKeep;
        case 4: visible = 0; return kTaskKeep;
        default: break;
        }
    } else if (!leave) {
        return kTaskKeep;
    }
    // Leaving deletes the hangar, which saves the inventory once more.
    SwitchScene(GetTitleSceneAsBase);
    return kTaskSceneReplaced;
}

void HGTCB_Menu_Top::DrawSP()
{
    if (!visible) return;
    static const char* const kLabels[Rows] = {"机体选择", "更换涂装", "装备部件", "持有部件", "隐藏菜单", "返回标题"};
    DrawPanel();
    for (i32 r = 0; r < Rows; ++r)
        DrawRow(5, X() + 5, Y() + 5 + f32(r * (rowSpacing + 36)), 300, 36, plat::TextCenter, kLabels[r], 0xFFFFFF,
                r == cursor, 4.0f);
}

// ---- robot menu ------------------------------------------------------------------

HGTCB_Menu_SelectFrame* HGTCB_Menu_SelectFrame::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<HGTCB_Menu_SelectFrame>(list, priority);
}

HGTCB_Menu_SelectFrame::HGTCB_Menu_SelectFrame() : HGTCB_MenuBase(FrameStyle) { rowSpacing = 10; }

i32 HGTCB_Menu_SelectFrame::Input()
{
    const i32 count = scene ? scene->robotCount : 0;
    if (Down()) StepListCursor(cursor, firstRow, count, 1);
    if (Up()) StepListCursor(cursor, firstRow, count, -1);
    if (Cancel()) {
        Close();
        return kTaskKeep;
    }
    if (!Decide()) return kTaskKeep;
    // With no robot listed there is nothing to show: decide only closes.
    if (scene && cursor >= 0 && cursor < count) {
        scene->ShowRobot(cursor);
        if (scene->cameraTask) scene->cameraTask->Restart();
    }
    Close();
    return kTaskKeep;
}

void HGTCB_Menu_SelectFrame::DrawSP()
{
    DrawPanel();
    if (!scene) return;
    for (i32 r = 0; r < 10 && firstRow + r < scene->robotCount; ++r) {
        const i32 e = firstRow + r;
        if (e < 0) continue;
        DrawRow(1, X() + 5, Y() + 5 + f32(r * (rowSpacing + 24)), 590, 24, plat::TextLeft, scene->robots[e].name,
                0xFFFFFF, e == cursor, 2.0f);
    }
}

// ---- paint menu ------------------------------------------------------------------

HGTCB_Menu_SelectColor* HGTCB_Menu_SelectColor::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<HGTCB_Menu_SelectColor>(list, priority);
}

HGTCB_Menu_SelectColor::HGTCB_Menu_SelectColor() : HGTCB_MenuBase(ColorStyle) { rowCount = BackRow + 1; }

bool HGTCB_Menu_SelectColor::Owned(i32 row) const
{
    return scene && row >= 0 && row < BackRow && scene->ShownRecord().colourOwned[row] == 1;
}

i32 HGTCB_Menu_SelectColor::Input()
{
    if (Down()) do
            cursor = (cursor + 1) % rowCount;
        while (cursor != BackRow && !Owned(cursor));
    if (Up()) do
            cursor = (cursor + rowCount - 1) % rowCount;
        while (cursor != BackRow && !Owned(cursor));
    if (Cancel()) {
        Close();
        return kTaskKeep;
    }
    if (!Decide()) return kTaskKeep;
    if (cursor == BackRow) {
        Close();
    } else if (Owned(cursor) && scene->ShownRecord().chosenColour != u32(cursor)) {
        scene->ShownRecord().chosenColour = u32(cursor);
        scene->SaveChange();
    }
    return kTaskKeep;
}

void HGTCB_Menu_SelectColor::DrawSP()
{
    DrawPanel();
    DrawRow(1, X() + 5, Y() + 5, 300, 24, plat::TextLeft, "涂装选择", 0xFFFFFF, true, 2.0f);
    for (i32 r = 0; r < rowCount; ++r) {
        if (r != BackRow && !Owned(r)) continue;
        if (r == BackRow)
            std::snprintf(text, sizeof text, "返回");
        else
            std::snprintf(text, sizeof text, " 涂 装 %d", r + 1);
        DrawRow(1, X() + 15, Y() + 39 + f32(r * (rowSpacing + 24)), 300, 24, plat::TextLeft, text, 0xFFFFFF,
                r == cursor, 2.0f);
    }
}
