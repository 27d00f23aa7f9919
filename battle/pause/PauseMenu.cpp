#include "battle/pause/PauseMenu.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/Hooks.h"
#include "app/core/Application.h"
#include "app/scene/BaseScene.h"
#include "app/scene/TitleScene.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "battle/RoomMessages.h"
#include "battle/hud/OverlayTasks.h"
#include "platform/gfx/Window.h"
#include "platform/input/Keyboard.h"
#include "platform/input/Mouse.h"
#include "platform/math/DetMath.h"
#include "robot/Robot.h"

namespace {

constexpr u32 kOnce = 999999;

struct Item {
    const char* label;
    i32 labelBlanks;
    const char* help;
    i32 helpBlanks;
    PauseAction action;
};

constexpr const char* kPhotoHelp = "暂停作战并进入摄影模式, 截图将保存在SceenShot文件夹";

std::string Padded(const char* text, i32 blanks) { return std::string(text) + std::string(static_cast<size_t>(blanks), ' '); }

// Copies into a text line's fixed field; what does not fit is cut on a
// whole character.
void SetText(GMTCB_DrawSP_DispString2* line, const std::string& text)
{
    if (!line) return;
    std::memset(line->text, 0, sizeof line->text);
    AppendWholeCharacters(line->text, sizeof line->text, text.c_str());
}

i32 ClampAlpha(i32 a) { return a < 0 ? 0 : (a > 255 ? 255 : a); }

BaseScene* CharaSelectOrTitle()
{
    if (auto f = GetBattleHooks().charaSelectScene) return f();
    return GetTitleSceneAsBase();
}
BaseScene* VsRoomOrTitle()
{
    if (auto f = GetBattleHooks().vsRoomScene) return f();
    return GetTitleSceneAsBase();
}
BaseScene* RoomOrTitle()
{
    if (auto f = GetBattleHooks().roomScene) return f();
    return GetTitleSceneAsBase();
}

// Every layout: fade, bar, description line, then the items.
void Build(PauseMenuTask* menu, CGameScene* scene, const Item* items, i32 count, i32 helpBlanks, bool wholeWindow,
           u32 helpFormat, i32 wrappedItem)
{
    CList<TCB>* list = &scene->tasks;
    menu->scene = scene;
    menu->fadeLevel = 0;
    menu->fade = GMTCB_DrawPS_Black::Create(list, 100000);
    if (menu->fade) {
        menu->fade->alpha = menu->fadeLevel;
        menu->fade->wholeWindow = wholeWindow;
    }
    menu->bar = GMTCB_DrawPS_Beta::Create(list, 100005);
    if (menu->bar) {
        menu->bar->alpha = 128;
        menu->bar->red = 255;
        menu->bar->x = 0;
        menu->bar->y = 200;
        menu->bar->width = 1024.0f;
        menu->bar->height = 48.0f;
        menu->bar->wholeWindow = wholeWindow;
    }
    auto line = [&](f32 y, i32 font, u32 format) {
        GMTCB_DrawSP_DispString2* t = GMTCB_DrawSP_DispString2::Create(list, 100010);
        if (!t) return t;
        t->x = 0.0f;
        t->y = y;
        t->rect = plat::GfxRect{0, 0, 1024, 768};
        t->font = font;
        t->format = format;
        t->wholeWindow = wholeWindow;
        return t;
    };
    menu->helpLine = line(708.0f, 1, helpFormat);
    SetText(menu->helpLine, std::string(static_cast<size_t>(helpBlanks), ' '));
    menu->count = count;
    for (i32 i = 0; i < count; ++i) {
        menu->items[i] = line(200.0f + 100.0f * static_cast<f32>(i), 2, i == wrappedItem ? 0x11u : 1u);
        SetText(menu->items[i], Padded(items[i].label, items[i].labelBlanks));
        menu->help[i] = Padded(items[i].help, items[i].helpBlanks);
        menu->actions[i] = items[i].action;
    }
    // Enter picks an item here; it must not also open the chat line.
    CApplication& app = *GetApplication();
    if (scene && scene->battleSettings.chat && app.textInputHandler == &CGameScene::ChatHook) {
        app.textInputHandler = nullptr;
        menu->chatHookTaken = 1;
    }
    menu->cursor = 0;
}

}  // namespace

PauseMenuTask::PauseMenuTask() { state = &PauseMenuTask::MenuState; }

PauseMenuTask::~PauseMenuTask() { ShowCursorAgain(); }

void PauseMenuTask::ShowCursorAgain()
{
    if (!cursorHidden) return;
    cursorHidden = 0;
    plat::ShowSystemCursor(true);
}

void PauseMenuTask::Hide(bool hidden)
{
    if (fade) fade->alpha = hidden ? 0 : 128;
    if (bar) bar->alpha = hidden ? 0 : 128;
    for (GMTCB_DrawSP_DispString2* t : items)
        if (t) t->visible = hidden ? 0 : 1;
    if (helpLine) helpLine->visible = hidden ? 0 : 1;
    if (scene) scene->freeCameraMode = 0;
    if (online && scene) {
        if (hidden)
            scene->hudHideBits |= 1u;
        else
            scene->hudHideBits &= ~1u;
    }
}

i32 PauseMenuTask::MenuState()
{
    CApplication& app = *GetApplication();
    if (fade) fade->alpha = ClampAlpha(128);
    if (count > 0) {
        if (app.IsKeyRepeat(plat::vk::Up, kOnce)) cursor = cursor == 0 ? count - 1 : cursor - 1;
        if (app.IsKeyRepeat(plat::vk::Down, kOnce)) cursor = cursor == count - 1 ? 0 : cursor + 1;
    }
    if (cursor >= 0 && cursor < count) SetText(helpLine, help[cursor]);
    phase += 4;
    if (bar) {
        const f32 s = (plat::DetSin(static_cast<f32>(phase) * 0.017453f) + 1.0f) / 4.0f;
        bar->alpha = static_cast<i32>(s * 255.0f + 64.0f) & 0xFF;
        bar->y = 200 + 100 * cursor;
    }
    if (app.IsKeyRepeat(plat::vk::Escape, kOnce)) return Resume();
    if (app.IsKeyRepeat(plat::vk::Return, kOnce) && cursor >= 0 && cursor < count) return Choose(actions[cursor]);
    return kTaskKeep;
}

i32 PauseMenuTask::Resume()
{
    if (fade) fade->alpha = -1;
    for (GMTCB_DrawSP_DispString2*& t : items)
        if (t) t->finished = 1, t = nullptr;
    if (helpLine) helpLine->finished = 1, helpLine = nullptr;
    if (bar) bar->alpha = -1;
    fade = nullptr;
    bar = nullptr;
    // The online menu never stopped the battle: there the flag is the
    // lockstep's wait or a judge's decision, and clearing it would run a
    // frame without every input or set a decided battle going again.
    if (scene && !online) scene->paused = 0;
    // A battle decided while the menu was open has taken its chat line away
    // for good; Enter on the result belongs to the result.
    const bool running = scene && scene->battleEnd == 0;
    if (chatHookTaken && running && scene->battleSettings.chat)
        GetApplication()->textInputHandler = &CGameScene::ChatHook;
    chatHookTaken = 0;
    return kTaskRemove;
}

i32 PauseMenuTask::PhotoState()
{
    CApplication& app = *GetApplication();
    const bool back = app.IsKeyRepeat(plat::vk::Return, kOnce) || app.IsKeyRepeat(plat::vk::Escape, kOnce);
    if (!back) return kTaskKeep;
    Hide(false);
    state = &PauseMenuTask::MenuState;
    return kTaskKeep;
}

i32 PauseMenuTask::MousePhotoState()
{
    CApplication& app = *GetApplication();
    const bool back = app.IsKeyRepeat(plat::vk::Return, kOnce) || app.IsKeyRepeat(plat::vk::Escape, kOnce);
    if (!back) return kTaskKeep;
    ShowCursorAgain();
    Hide(false);
    state = &PauseMenuTask::MenuState;
    return kTaskKeep;
}

i32 PauseMenuTask::ClosedState() { return kTaskRemove; }

void PauseMenuTask::CloseForBattleEnd()
{
    if (state == &PauseMenuTask::ClosedState) return;
    ShowCursorAgain();
    Hide(false);
    Resume();
    state = &PauseMenuTask::ClosedState;
}

void ClosePauseMenus(CGameScene& scene)
{
    for (TCB* t = scene.tasks.GetHead()->next; t && t != scene.tasks.GetTail(); t = t->next)
        if (auto* menu = dynamic_cast<PauseMenuTask*>(t)) menu->CloseForBattleEnd();
}

i32 PauseMenuTask::LeaveState()
{
    SwitchScene(leaveTo ? leaveTo : GetTitleSceneAsBase);
    return kTaskSceneReplaced;
}

void PauseMenuTask::LeavePenalty()
{
    // A decided battle has its result; leaving it then is no desertion.
    if (!scene || scene->battleEnd == 1) return;
    CRobot_Base* own = scene->robotTable.IsCreated()
                           ? scene->robotTable[static_cast<i32>(scene->playerSlot % kRobotTableSize)]
                           : nullptr;
    if (!own || !LeavingCostsExperience(scene->battleTime, own->displayTeam)) return;
    PlayerProfile& profile = GetApplication()->Profile();
    profile.AddExp(-10000);
    profile.Save();
}

i32 PauseMenuTask::Choose(PauseAction action)
{
    CApplication& app = *GetApplication();
    switch (action) {
    case PauseAction::Resume: return Resume();
    case PauseAction::Photo:
        Hide(true);
        if (scene) scene->freeCameraMode = 1;
        state = &PauseMenuTask::PhotoState;
        return kTaskKeep;
    case PauseAction::MousePhoto:
        Hide(true);
        if (scene) scene->freeCameraMode = 2;
        if (!cursorHidden) {
            plat::ShowSystemCursor(false);
            cursorHidden = 1;
        }
        plat::MoveCursorToClient(app.mainWindow, app.video.screenWidth / 2, app.video.screenHeight / 2);
        state = &PauseMenuTask::MousePhotoState;
        return kTaskKeep;
    case PauseAction::LeaveToCharaSelect:
        leaveTo = CharaSelectOrTitle;
        state = &PauseMenuTask::LeaveState;
        return kTaskKeep;
    case PauseAction::LeaveToVsRoom:
        leaveTo = VsRoomOrTitle;
        state = &PauseMenuTask::LeaveState;
        return kTaskKeep;
    case PauseAction::TitleDisconnect:
        DisconnectNetClients();
        SwitchScene(GetTitleSceneAsBase);
        return kTaskSceneReplaced;
    case PauseAction::TitleEndStory:
        if (app.currentStory) {
            CStoryBase* story = app.currentStory;
            app.currentStory = nullptr;
            DeleteStory(story);
        }
        SwitchScene(GetTitleSceneAsBase);
        return kTaskSceneReplaced;
    case PauseAction::LeaveToRoom:
        SendReturnToRoom();
        LeavePenalty();
        if (scene) {
            const u32 own = scene->playerSlot;
            if (own < static_cast<u32>(app.players.GetCount())) app.players[static_cast<i32>(own)].inBattle = 0;
        }
        SwitchScene(RoomOrTitle);
        return kTaskSceneReplaced;
    case PauseAction::TitleFromOnline:
        LeavePenalty();
        DisconnectNetClients();
        SwitchScene(GetTitleSceneAsBase);
        return kTaskSceneReplaced;
    }
    return kTaskKeep;
}

bool LeavingCostsExperience(u32 clockFrames, i32 displayTeam)
{
    return displayTeam != static_cast<i32>(kSpectatorTeam) && clockFrames / 60u >= 120u;
}

void BuildPauseMenu_Battle(PauseMenuTask* menu, CGameScene* scene)
{
    const Item items[] = {
        {"继续作战", 0, "退出菜单继续作战", 2, PauseAction::Resume},
        {"-摄影模式-", 0, kPhotoHelp, 34, PauseAction::Photo},
        {"作战准备", 8, "结束作战并返回准备界面", 16, PauseAction::LeaveToCharaSelect},
        {"返回标题", 2, "结束作战并返回标题界面", 10, PauseAction::TitleDisconnect},
    };
    Build(menu, scene, items, 4, 30, false, 1u, -1);
}

void BuildPauseMenu_Arcade(PauseMenuTask* menu, CGameScene* scene)
{
    const Item items[] = {
        {"继续作战", 0, "退出菜单继续作战", 2, PauseAction::Resume},
        {"-摄影模式-", 0, kPhotoHelp, 34, PauseAction::Photo},
        {"返回标题", 2, "结束作战并返回标题界面", 10, PauseAction::TitleEndStory},
    };
    Build(menu, scene, items, 3, 30, true, 1u, -1);
}

void BuildPauseMenu_Local(PauseMenuTask* menu, CGameScene* scene)
{
    const Item items[] = {
        {"继续作战", 0, "退出菜单继续作战", 2, PauseAction::Resume},
        {"-摄影模式-", 0, kPhotoHelp, 34, PauseAction::Photo},
        {"-作战设定-", 0, "结束作战并回到作战设定", 10, PauseAction::LeaveToVsRoom},
        {"返回标题", 2, "结束作战并返回标题界面", 10, PauseAction::TitleDisconnect},
    };
    Build(menu, scene, items, 4, 28, true, 1u, -1);
}

void BuildPauseMenu_Online(PauseMenuTask* menu, CGameScene* scene)
{
    const Item items[] = {
        {"继续作战", 0, "退出菜单继续作战", 2, PauseAction::Resume},
        {"-摄影模式-", 0, kPhotoHelp, 34, PauseAction::Photo},
        {"鼠标摄影模式", 8, "", 169, PauseAction::MousePhoto},
        {"-待机房间-", 0, "", 69, PauseAction::LeaveToRoom},
        {"返回标题", 2, "", 69, PauseAction::TitleFromOnline},
    };
    menu->online = 1;
    Build(menu, scene, items, 5, 30, false, 0x11u, 1);
}

bool CGameScene::OpenPauseMenu()
{
    // Once decided, the result screens own the keys (online the battle's
    // pause flag does not stop the menu opening).
    if (battleEnd == 1) return false;
    CList<TCB>* list = &tasks;
    PauseMenuTask* menu = nullptr;
    switch (battleSettings.gameMode) {
    case GameMode::Arcade:
        menu = GMTCB_Proc_Pause_NormalMode::Create(list, 1);
        if (menu) BuildPauseMenu_Arcade(menu, this);
        break;
    case GameMode::Survival:
    case GameMode::Team:
    case GameMode::Fleet:
        menu = GMTCB_Proc_Pause_SurvivalMode::Create(list, 1);
        if (menu) BuildPauseMenu_Battle(menu, this);
        break;
    case GameMode::Practice:
        menu = GMTCB_Proc_Pause_PracticeMode::Create(list, 1);
        if (menu) BuildPauseMenu_Battle(menu, this);
        break;
    case GameMode::LocalBattle:
        menu = GMTCB_Proc_Pause_LocalBattleMode::Create(list, 1);
        if (menu) BuildPauseMenu_Local(menu, this);
        break;
    case GameMode::Online:
        menu = GMTCB_Proc_Pause_OnlineMode::Create(list, 1);
        if (menu) BuildPauseMenu_Online(menu, this);
        break;
    default: break;
    }
    return menu != nullptr;
}
