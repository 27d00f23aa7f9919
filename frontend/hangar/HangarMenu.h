#pragma once
// The hangar's menus: panels (see-through for the top menu, opaque for
// every list, which covers the menu that opened it) that slide in beside their opener, take
// pad 0's input while open, and fade out when closed. An opener waits,
// dimmed, until its child has closed.
#include "frontend/hangar/HangarTasks.h"

// How a menu looks and repeats its buttons.
struct HangarMenuStyle {
    f32 width, height;
    u32 panelRgb;
    f32 panelAlpha;     // panel alpha = menu alpha x this
    f32 dimmed;         // menu alpha factor while a child is open
    f32 otherRows;      // alpha of the rows not selected = menu alpha x this
    u32 moveMs, decideMs, cancelMs;
};

class HGTCB_MenuBase : public HGTCB {
public:
    static constexpr i32 Opening = 0, Open = 1, Closing = 2, Closed = 1000, Removed = 1030;

    explicit HGTCB_MenuBase(const HangarMenuStyle& style);
    i32 Proc() final;
    // One step of the open menu's input: 0, or -1 after a scene switch.
    virtual i32 Input() = 0;

    void Close() { state = Closing; }
    bool IsClosed() const { return state >= Closed; }
    // The menu's alpha with the dimming of a waiting opener.
    f32 ShownAlpha() const;
    f32 X() const { return x + xSlide; }
    f32 Y() const { return y + yOffset; }
    // The dot stretched into the panel, in layout units.
    void DrawPanel() const;
    void DrawPanelAt(f32 px, f32 py, f32 width, f32 height, u32 rgb, f32 alphaFactor) const;
    // A row's text with its shadow, in the row's alpha.
    void DrawRow(i32 font, f32 px, f32 py, i32 clipWidth, i32 clipHeight, u32 format, const char* text, u32 rgb,
                 bool selected, f32 shadow) const;
    // Pad 0's buttons with this menu's repeats.
    bool Up() const;
    bool Down() const;
    bool Decide() const;
    bool Cancel() const;
    // Waits for the child; true while it is open (the opener takes no input).
    bool WaitForChild(HGTCB_MenuBase*& child);
    // Creates a child menu at (x + dx, y + dy) at this menu's priority and waits for it.
    template <class M>
    M* OpenChild(HGTCB_MenuBase*& child, f32 dx = 100.0f, f32 dy = 50.0f)
    {
        M* menu = M::Create(owner, priority);
        if (!menu) return nullptr;
        menu->x = x + dx;
        menu->y = y + dy;
        child = menu;
        active = 0;
        return menu;
    }

    const HangarMenuStyle& style;
    f32 x = 0.0f, y = 0.0f;
    i32 state = Opening;
    f32 alpha = 0.0f;
    f32 xSlide = -50.0f;
    f32 yOffset = 0.0f;
    u32 active = 1;
    i32 cursor = 0;
    i32 rowSpacing = 15;
    i32 rowCount = 0;
    i32 firstRow = 0;
    char text[256] = {};
};

class HGTCB_Menu_Top : public HGTCB_MenuBase {
public:
    static constexpr i32 Rows = 6;
    static HGTCB_Menu_Top* Create(CList<TCB>* list, u32 priority);
    HGTCB_Menu_Top();
    i32 Input() override;
    void DrawSP() override;

    HGTCB_MenuBase* child = nullptr;
    u32 visible = 1;
};

// The robots listed by their names, ten rows at a time.
class HGTCB_Menu_SelectFrame : public HGTCB_MenuBase {
public:
    static HGTCB_Menu_SelectFrame* Create(CList<TCB>* list, u32 priority);
    HGTCB_Menu_SelectFrame();
    i32 Input() override;
    void DrawSP() override;
};

// The owned colour sets of the robot shown, and a way back.
class HGTCB_Menu_SelectColor : public HGTCB_MenuBase {
public:
    static constexpr i32 BackRow = 10;
    static HGTCB_Menu_SelectColor* Create(CList<TCB>* list, u32 priority);
    HGTCB_Menu_SelectColor();
    i32 Input() override;
    void DrawSP() override;
    bool Owned(i32 row) const;
};

// Moves a list cursor by one with a window of `rows` rows shown: wraps at
// both ends and keeps the cursor inside the window. An empty list leaves
// the cursor at -1.
void StepListCursor(i32& cursor, i32& first, i32 count, i32 step, i32 rows = 10);
