#pragma once
// The radio cut-in: a pilot's face opening in a box, the speaker's name, the
// line typed out, a pointer line from the speaking robot to the box, and a
// voice. Robots start it; it closes itself.
#include "battle/tasks/GMTCB.h"

class CGameScene;
class CDSBufferNode;
class SoundObject;
class TextureHandle;
class PilotSlot;
class CRobot_Base;
class GMTCB_DrawPS_Picture2;
class GMTCB_DrawSP_DispString2;
class GMTCB_Draw_Line;

class GMTCB_Proc_MusenFaceDisp : public BattleTask<GMTCB_Proc_MusenFaceDisp> {
public:
    using Phase = i32 (GMTCB_Proc_MusenFaceDisp::*)();

    i32 Proc() override;
    // A line with a given face and an optional voice; returns the speaker.
    virtual CRobot_Base* StartText(TextureHandle* face, f32 x, f32 y, SoundObject* voiceSound, const char* name,
                                   const char* line, CRobot_Base* speaker);
    // One of the pilot's 10 animations (faces and voices frame by frame).
    virtual GMTCB_Proc_MusenFaceDisp* StartAnimation(PilotSlot* pilot, u32 animation, f32 x, f32 y,
                                                     const char* name, const char* line, CRobot_Base* speaker);

    i32 Proc_Text();
    i32 Proc_Animation();

    CGameScene* scene = nullptr;
    CDSBufferNode* voice = nullptr;
    i32 counter = 0;
    i8 phase = 0;
    GMTCB_DrawPS_Picture2* face = nullptr;
    GMTCB_DrawSP_DispString2* nameText = nullptr;
    GMTCB_DrawSP_DispString2* lineText = nullptr;
    GMTCB_Draw_Line* pointer = nullptr;
    SoundObject* voiceSound = nullptr;
    CRobot_Base* speaker = nullptr;
    Phase phaseProc = nullptr;
    i32 faceNumber = 0;
    i32 frameVoice = 0;
    i32 frameCursor = -1;
    i32 frameTime = -1;
    i32 animation = 0;
    PilotSlot* pilot = nullptr;

private:
    // Ends the display tasks and voice of an earlier start.
    void ReleaseDisplay();
    void OpenDisplay(TextureHandle* faceTexture, f32 x, f32 y, const char* name, const char* line);
    void UpdatePointer();
    // 1 when the box has closed and the task ends.
    i32 Close();
    i32 Open();
};
