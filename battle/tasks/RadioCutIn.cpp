#include "battle/tasks/RadioCutIn.h"

#include <cstdio>
#include <cstring>

#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "app/player/PilotRegistry.h"
#include "battle/GameScene.h"
#include "battle/hud/OverlayTasks.h"
#include "engine/sound/SoundManager.h"
#include "platform/core/FileSystem.h"
#include "robot/Robot.h"

namespace {

void PlayIfLoaded(i32 slot)
{
    SoundManager& sound = GetSoundManager();
    if (sound.GetSoundCount() > slot) sound.PlaySlot(slot, 0, 0);
}

// Under the voice-log test switch every pilot voice a radio line starts is
// written to "VoiceLog.log" beside the executable: a test hears through it
// whose voice the player heard.
void LogStartedVoice(const CRobot_Base* speaker, const SoundObject* sound, const CDSBufferNode* started)
{
    if (!GetTestSwitches().voiceLog || !started || !speaker || speaker->pilotIndex < 0 ||
        speaker->pilotIndex >= MaxPilots)
        return;
    static const plat::FileId log =
        plat::OpenFile((plat::GetExecutableDirectory() + "/VoiceLog.log").c_str(), plat::FileMode::Write);
    const PilotSlot& pilot = GetPilotRegistry()->slots[speaker->pilotIndex];
    const std::ptrdiff_t n = sound - pilot.sounds;
    if (log == plat::InvalidFile || n < 0 || n >= PilotSoundCount) return;
    char line[64];
    const int size = std::snprintf(line, sizeof line, "pilot %d voice %d\n", speaker->pilotIndex, static_cast<int>(n));
    plat::WriteFile(log, line, static_cast<u32>(size));
}

}  // namespace

void GMTCB_Proc_MusenFaceDisp::ReleaseDisplay()
{
    if (face) face->alpha = -1;
    if (nameText) nameText->finished = 1;
    if (lineText) lineText->finished = 1;
    if (pointer) pointer->finished = 1;
    face = nullptr;
    nameText = lineText = nullptr;
    pointer = nullptr;
    if (voice) voice->Stop();
    voice = nullptr;
}

void GMTCB_Proc_MusenFaceDisp::OpenDisplay(TextureHandle* faceTexture, f32 x, f32 y, const char* name,
                                           const char* line)
{
    ReleaseDisplay();
    scene = FindGameScene();
    counter = 0;
    phase = 0;
    face = GMTCB_DrawPS_Picture2::Create(owner, 5000);
    if (face) {
        face->alpha = 192;
        face->x = x;
        face->y = y;
        face->scaleX = 1.0f;
        face->scaleY = 0.0f; // the box opens vertically
        face->texture = faceTexture;
    }
    nameText = GMTCB_DrawSP_DispString2::Create(owner, 5000);
    if (nameText) {
        std::snprintf(nameText->text, sizeof nameText->text, "%s", name ? name : "");
        nameText->x = x - 99.0f;
        nameText->y = y - 75.0f;
        nameText->rect = {0, 0, 198, 25};
    }
    lineText = GMTCB_DrawSP_DispString2::Create(owner, 5000);
    if (lineText) {
        std::snprintf(lineText->text, sizeof lineText->text, "%s", line ? line : "");
        lineText->x = x - 99.0f;
        lineText->y = y + 50.0f;
        lineText->rect = {0, 0, 240, 768};
        lineText->mode = 1;
        lineText->framesPerChar = 4;
        lineText->shown = 0;
        lineText->frameCounter = 0;
        lineText->format = 16;
    }
    pointer = GMTCB_Draw_Line::Create(owner, 5000);
    if (pointer) {
        pointer->x1 = 10.0f;
        pointer->y1 = 10.0f;
        pointer->x2 = 300.0f;
        pointer->y2 = 10.0f;
        pointer->colour = 0xA000FF00u;
    }
}

CRobot_Base* GMTCB_Proc_MusenFaceDisp::StartText(TextureHandle* faceTexture, f32 x, f32 y, SoundObject* sound,
                                                 const char* name, const char* line, CRobot_Base* who)
{
    OpenDisplay(faceTexture, x, y, name, line);
    speaker = who;
    voiceSound = sound;
    phaseProc = &GMTCB_Proc_MusenFaceDisp::Proc_Text;
    return speaker;
}

GMTCB_Proc_MusenFaceDisp* GMTCB_Proc_MusenFaceDisp::StartAnimation(PilotSlot* who, u32 number, f32 x, f32 y,
                                                                  const char* name, const char* line,
                                                                  CRobot_Base* robot)
{
    TextureHandle* first = nullptr;
    if (who && number < static_cast<u32>(PilotAnimationCount) && !who->animations[number].empty()) {
        const u8 picture = who->animations[number].front().picture;
        if (picture < PilotPictureCount) first = &who->pictures[picture];
    }
    OpenDisplay(first, x, y, name, line);
    speaker = robot;
    voiceSound = nullptr;
    animation = static_cast<i32>(number);
    pilot = who;
    frameCursor = -1;
    frameTime = -1;
    phaseProc = &GMTCB_Proc_MusenFaceDisp::Proc_Animation;
    return this;
}

i32 GMTCB_Proc_MusenFaceDisp::Proc()
{
    return phaseProc ? (this->*phaseProc)() : kTaskKeep;
}

void GMTCB_Proc_MusenFaceDisp::UpdatePointer()
{
    // A finished robot is still readable for two frames; it is let go at once.
    if (speaker && (speaker->Removed || speaker->state != kRobotStateLive)) speaker = nullptr;
    if (!speaker || !pointer || !face) return;
    const CApplication& app = *GetApplication();
    const f32 sx = app.video.screenScaleX;
    const f32 sy = app.video.screenScaleY;
    pointer->x1 = speaker->screenPos.x;
    pointer->y1 = speaker->screenPos.y;
    pointer->visible = speaker->screenPos.z > 0.0f ? 1 : 0;
    pointer->x2 = pointer->x1 <= face->x * sx ? (face->x - 100.0f) * sx : (face->x + 100.0f) * sx;
    pointer->y2 = pointer->y1 <= face->y * sy ? (face->y - 75.0f) * sy : (face->y + 75.0f) * sy;
}

i32 GMTCB_Proc_MusenFaceDisp::Open()
{
    if (counter == 0) PlayIfLoaded(kSoundRadioOpen);
    ++counter;
    if (!face) return 1;
    face->scaleY += 0.15f;
    if (face->scaleY > 1.0f) {
        face->scaleY = 1.0f;
        counter = 0;
        return 1;
    }
    return 0;
}

i32 GMTCB_Proc_MusenFaceDisp::Close()
{
    if (voice) voice->Stop();
    voice = nullptr;
    ++counter;
    if (face) {
        if (face->scaleY - 0.15f < 0.0f) {
            face->scaleY = 0.007f;
            face->scaleX += 0.2f;
        } else {
            face->scaleY -= 0.15f;
        }
    }
    if (counter < 10) return kTaskKeep;
    ReleaseDisplay();
    return kTaskRemove;
}

i32 GMTCB_Proc_MusenFaceDisp::Proc_Text()
{
    UpdatePointer();
    switch (phase) {
        case 0:
            if (Open()) phase = 1;
            return kTaskKeep;
        case 1: {
            if (counter++ == 0 && voiceSound) {
                voice = voiceSound->Play(1, 0);
                LogStartedVoice(speaker, voiceSound, voice);
            }
            const bool typed = !lineText || lineText->shown >= static_cast<i32>(strnlen(lineText->text, 256));
            const bool quiet = !voice || !voice->IsPlaying();
            if (typed && quiet) {
                phase = 2;
                counter = 0;
            }
            return kTaskKeep;
        }
        case 2:
            if (++counter >= 60) {
                phase = 3;
                counter = 0;
                PlayIfLoaded(kSoundRadioClose);
            }
            return kTaskKeep;
        default:
            return Close();
    }
}

i32 GMTCB_Proc_MusenFaceDisp::Proc_Animation()
{
    UpdatePointer();
    if (phase == 0) {
        if (Open()) phase = 1;
        return kTaskKeep;
    }
    if (phase == 2) return Close();
    const std::vector<AnimationFrame>* frames =
        pilot && animation >= 0 && animation < PilotAnimationCount ? &pilot->animations[animation] : nullptr;
    --frameTime;
    while (frameTime <= 0) {
        ++frameCursor;
        if (!frames || frameCursor >= static_cast<i32>(frames->size())) {
            phase = 2;
            counter = 1;
            PlayIfLoaded(kSoundRadioClose);
            return kTaskKeep;
        }
        const AnimationFrame& f = (*frames)[static_cast<size_t>(frameCursor)];
        frameTime = f.duration;
        faceNumber = f.picture;
        frameVoice = f.voice < PilotSoundCount ? f.voice : -1;
        if (face && faceNumber < PilotPictureCount) face->texture = &pilot->pictures[faceNumber];
        if (frameVoice >= 0) {
            voice = pilot->sounds[frameVoice].Play(1, 0);
            LogStartedVoice(speaker, &pilot->sounds[frameVoice], voice);
        }
    }
    return kTaskKeep;
}
