#pragma once
// Full-screen fades: a colour laid over everything drawn before them (they
// run at priority 10000), its opacity falling (fade-in) or rising
// (fade-out) by a fixed step each frame. Callers set speed and colour right
// after Create.
#include "engine/core/TaskList.h"
#include "engine/graphics/TextureManager.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

// The picture stretched over the window.
inline constexpr const char* FadeDotPicture = "Quillon/dot.png";

class TCB_FadeIn : public TCB {
public:
    TCB_FadeIn();
    ~TCB_FadeIn() override;
    static TCB_FadeIn* Create(CList<TCB>* list, u32 priority);

    // alpha -= speed; removed once it reaches 0.
    i32 Proc() override;
    void DrawSP() override;

    TextureHandle dot;
    Mat4 transform;
    i32 alpha = 255;
    u8 speed = 1;
    u8 red = 0, green = 0, blue = 0;
};

class TCB_FadeOut : public TCB {
public:
    TCB_FadeOut();
    ~TCB_FadeOut() override;
    static TCB_FadeOut* Create(CList<TCB>* list, u32 priority);

    // alpha += speed up to 255; then it holds the screen covered until its
    // owner sets the release flag (or removes itself when removeWhenFull).
    i32 Proc() override;
    void DrawSP() override;

    u8 release = 0;
    u8 removeWhenFull = 0;
    TextureHandle dot;
    Mat4 transform;
    i32 alpha = 0;
    u8 speed = 1;
    u8 red = 0, green = 0, blue = 0;
};

// Layer colour of a fade: (alpha & 0xFF) << 24 | red << 16 | green << 8 | blue.
u32 FadeColour(i32 alpha, u8 red, u8 green, u8 blue);
