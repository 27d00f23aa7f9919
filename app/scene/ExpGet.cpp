#include "app/scene/ExpGet.h"

#include <cstdio>

#include "app/core/Application.h"
#include "app/scene/Camera.h"
#include "app/scene/Fade.h"
#include "app/player/PlayerProfile.h"
#include "app/scene/SharedPictures.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/gfx/Font.h"
#include "platform/math/Math.h"

namespace {

constexpr u32 EnterKey = 13;
constexpr u32 OncePerPress = 10000;
constexpr u32 NoticePriority = 10000;
// A step stays at least this many frames before Enter moves on.
constexpr i32 StepMinimumFrames = 61;

void FormatStep(char (&message)[100], const char* format, i32 level)
{
    char title[RankTitleBufferSize];
    GetRankTitle(static_cast<u32>(level), title, sizeof title);
    std::snprintf(message, sizeof message, format, title);
}

}  // namespace

TCB_ExpGet::~TCB_ExpGet()
{
    if (display) display->notice = nullptr;
}

TCB_ExpGet* TCB_ExpGet::Create(CList<TCB>* list, u32 priority) { return CreateInList<TCB_ExpGet>(list, priority); }

void TCB_ExpGet::MakeDisplay()
{
    display = TCB_ExpGetDraw::Create(owner, NoticePriority);
    if (display) display->notice = this;
}

void TCB_ExpGet::Start(i32 experience, u32 startMode)
{
    mode = static_cast<i32>(startMode);
    counter = 0;
    if (mode == 0) {
        PlayerProfile& profile = GetApplication()->Profile();
        shownLevel = static_cast<i32>(profile.rankLevel);
        newLevel = static_cast<i32>(profile.AddExp(experience));
        if (shownLevel != newLevel) MakeDisplay();
    } else {
        shownLevel = 0;
        newLevel = 0;
        MakeDisplay();
    }
}

void TCB_ExpGet::Finish()
{
    finished = 1;
    if (display) display->notice = nullptr;
    display = nullptr;
}

void TCB_ExpGet::ConfirmAll()
{
    shownLevel = newLevel;
    stepShown = 0;
    phase = &TCB_ExpGet::Proc_Done;
    confirmed = 1;
}

i32 TCB_ExpGet::EndPhase()
{
    if (!finished) return kTaskKeep;
    if (display) display->notice = nullptr;
    display = nullptr;
    return kTaskRemove;
}

i32 TCB_ExpGet::Proc_RankStep()
{
    if (stepShown == 0 && mode == 0) {
        if (shownLevel == newLevel) {
            phase = &TCB_ExpGet::Proc_Done;
        } else {
            const bool promotion = shownLevel < newLevel;
            if (promotion) {
                if (TCB_FadeIn* flash = TCB_FadeIn::Create(owner, NoticePriority)) {
                    flash->speed = 5;
                    flash->red = flash->green = flash->blue = 255;
                }
                shownLevel += 1;
                FormatStep(message, "军现升级为[%s]            ", shownLevel);
            } else {
                shownLevel -= 1;
                FormatStep(message, "军衔降低为[%s]               ", shownLevel);
            }
            phase = &TCB_ExpGet::Proc_StepWait;
            stepShown = 1;
            counter = 0;
            if (display && !display->rankPicture.texture)
                LoadPicture(display->rankPicture, promotion ? PromotionPicture : DemotionPicture);
            return kTaskKeep;
        }
    } else if (mode == 1) {
        counter += 1;
        if (counter > 60) phase = &TCB_ExpGet::Proc_WaitKey;
    }
    return EndPhase();
}

i32 TCB_ExpGet::Proc_StepWait()
{
    counter += 1;
    if (counter >= StepMinimumFrames && GetApplication()->IsKeyRepeat(EnterKey, OncePerPress)) {
        phase = &TCB_ExpGet::Proc_RankStep;
        stepShown = 0;
        counter = 0;
    }
    return kTaskKeep;
}

i32 TCB_ExpGet::Proc_WaitKey()
{
    if (GetApplication()->IsKeyRepeat(EnterKey, OncePerPress)) confirmed = 1;
    return EndPhase();
}

i32 TCB_ExpGet::Proc_Done()
{
    confirmed = 1;
    return EndPhase();
}

TCB_ExpGetDraw::~TCB_ExpGetDraw()
{
    if (notice && notice->display == this) notice->display = nullptr;
    rankPicture.Release();
}

TCB_ExpGetDraw* TCB_ExpGetDraw::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<TCB_ExpGetDraw>(list, priority);
}

void TCB_ExpGetDraw::DrawSP()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!notice || !gd->sprite) return;
    DrawFullScreenPicture(SharedPicture::Back, 0xC8FFFFFFu);
    const plat::GfxRect screen{0, 0, 1024, 768};
    if (notice->mode == 0) {
        if (rankPicture.texture) {
            const CApplication* app = GetApplication();
            Mat4 scale;
            plat::MatrixTranslation(&transform, 256.0f, 150.0f, 0.0f);
            plat::MatrixScaling(&scale, app->video.screenScaleX, app->video.screenScaleY, 1.0f);
            plat::MatrixMultiply(&transform, &transform, &scale);
            gd->sprite->SetTransform(transform);
            gd->sprite->Draw(rankPicture.texture, &rankPicture.sourceRect, nullptr, nullptr, 0xFFFFFFFFu);
        }
        if (notice->stepShown == 1)
            DrawTextAt(2, 0.0f, 384.0f, notice->message, -1, &screen, plat::TextCenter, 0xFFFFFFFFu);
    } else {
        static const char tooShort[] = "2分以内での戦闘は経験値取得対象外です。";
        DrawTextAt(2, 0.0f, 384.0f, tooShort, -1, &screen, plat::TextCenter, 0xFFFFFFFFu);
    }
}
