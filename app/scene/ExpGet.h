#pragma once
// The experience notice after a battle: adds the battle's experience to the
// player's profile and shows the rank changing one level at a time, each
// step with its picture and title, confirmed with Enter. The owner (a
// battle judge) reads `confirmed` and then calls Finish.
#include "engine/core/TaskList.h"
#include "engine/graphics/TextureManager.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class TCB_ExpGetDraw;

class TCB_ExpGet : public TCB {
public:
    using Phase = i32 (TCB_ExpGet::*)();

    TCB_ExpGet() = default;
    ~TCB_ExpGet() override;
    static TCB_ExpGet* Create(CList<TCB>* list, u32 priority);

    // Mode 0 counts the experience (it may be negative); mode 1 tells the
    // player the battle was too short to count.
    void Start(i32 experience, u32 mode);
    // Lets go of the display; the task removes itself at its next Proc.
    void Finish();
    // The owner stops waiting: every step counts as seen and the notice is
    // confirmed at once, as after the last Enter.
    void ConfirmAll();

    i32 Proc() override { return (this->*phase)(); }

    i32 Proc_RankStep();
    i32 Proc_StepWait();
    i32 Proc_WaitKey();
    i32 Proc_Done();

    i32 counter = 0;
    i32 shownLevel = 0;
    i32 newLevel = 0;
    i32 stepShown = 0;
    i32 mode = 0;
    char message[100] = {};
    TCB_ExpGetDraw* display = nullptr;
    Phase phase = &TCB_ExpGet::Proc_RankStep;
    u8 confirmed = 0;
    u8 finished = 0;

private:
    // The common end of a phase: 1 (remove) once the owner has finished.
    i32 EndPhase();
    void MakeDisplay();
};

class TCB_ExpGetDraw : public TCB {
public:
    TCB_ExpGetDraw() = default;
    ~TCB_ExpGetDraw() override;
    static TCB_ExpGetDraw* Create(CList<TCB>* list, u32 priority);

    i32 Proc() override { return remove != 0 ? kTaskRemove : kTaskKeep; }
    void DrawSP() override;

    Mat4 transform;
    TextureHandle rankPicture;
    i32 remove = 0;
    // The notice this draws; null once it has let go (CListNode::owner is the list).
    TCB_ExpGet* notice = nullptr;
};

// Pictures of the notice.
inline constexpr const char* PromotionPicture = "Quillon/congratulations.png";
inline constexpr const char* DemotionPicture = "Quillon/demotion.png";
