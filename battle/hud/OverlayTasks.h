#pragma once
// Overlays other tasks own and end: the black cover, pictures, a text line
// and a 2D line. Owners end a cover or picture with alpha -1 and a text or
// line with its finished byte; the task then removes itself.
#include "battle/tasks/GMTCB.h"
#include "engine/graphics/TextureManager.h"
#include "platform/gfx/Gfx.h"

// The scene's HUD-hide bit for a black cover over the battle (its opening,
// a fade to another screen, a ranking): the elements that draw above the
// covers (the radar's blips, kill messages, the chat log) wait under it.
inline constexpr u32 kHudUnderCover = 4;

class GMTCB_DrawPS_Black : public BattleTask<GMTCB_DrawPS_Black> {
public:
    i32 Proc() override;
    void DrawSP() override;

    i32 alpha = 0;      // drawn from its low byte; -1 finished
    u8 wholeWindow = 0; // drawn once over the whole window, in the last view
};

// A solid rectangle in layout units (the pause menus' cursor bar).
class GMTCB_DrawPS_Beta : public BattleTask<GMTCB_DrawPS_Beta> {
public:
    i32 Proc() override;
    void DrawSP() override;

    i32 alpha = 0; // drawn from its low byte; -1 finished
    i32 x = 0, y = 0;
    f32 width = 0.0f, height = 0.0f;
    u8 red = 0, green = 0, blue = 0;
    u8 wholeWindow = 0;
};

// A picture centred on the layout screen; the task owns it.
// Layout space: (x, y) in 1024 x 768 units, scaled, then placed in the view
// being drawn (the whole window outside a split screen).
Mat4 LayoutMatrix(f32 scaleX, f32 scaleY, f32 x, f32 y);

class GMTCB_DrawPS_Picture : public BattleTask<GMTCB_DrawPS_Picture> {
public:
    i32 Proc() override;
    void DrawSP() override;
    // Stores the alpha and loads the picture (scrambled with the asset key).
    void SetPicture(u8 startAlpha, const char* file);

    i32 alpha = 0;
    TextureHandle picture;
};

// A borrowed picture centred on (x, y) with its own scale.
class GMTCB_DrawPS_Picture2 : public BattleTask<GMTCB_DrawPS_Picture2> {
public:
    i32 Proc() override;
    void DrawSP() override;

    i32 alpha = 0;
    f32 x = 0.0f, y = 0.0f;
    f32 scaleX = 0.0f, scaleY = 0.0f;
    TextureHandle* texture = nullptr;
};

// A 2D line in layout space, drawn in the 3D pass.
class GMTCB_Draw_Line : public BattleTask<GMTCB_Draw_Line> {
public:
    i32 Proc() override;
    void Draw() override;

    u8 finished = 0;
    u32 colour = 0xFFFFFFFFu;
    u32 visible = 1;
    f32 x1 = 0.0f, y1 = 0.0f, x2 = 0.0f, y2 = 0.0f;
};

// A notice centred on a darkened window until its owner sets finished.
class GMTCB_DrawSP_DispString : public BattleTask<GMTCB_DrawSP_DispString> {
public:
    i32 Proc() override;
    void DrawSP() override;

    u8 finished = 0;
    u32 visible = 1;
    char text[256] = {};
};

// A shadowed line of text, whole or typed out a character at a time.
class GMTCB_DrawSP_DispString2 : public BattleTask<GMTCB_DrawSP_DispString2> {
public:
    i32 Proc() override;
    void DrawSP() override;

    u8 finished = 0;
    u32 visible = 1;
    char text[256] = {};
    i32 frameCounter = 0;
    plat::GfxRect rect{0, 0, 1024, 768};
    f32 x = 0.0f, y = 0.0f;
    u32 format = 0x10;
    u32 colour = 0xFFFFFFFFu;
    i32 font = 1;
    u8 mode = 0; // 0 whole text, 1 typewriter
    i32 shown = 0;
    u8 framesPerChar = 1;
    u8 wholeWindow = 0;
};
