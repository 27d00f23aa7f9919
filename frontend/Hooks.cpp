#include "frontend/Hooks.h"

#include <string>
#include <vector>

#include "app/Hooks.h"
#include "app/core/Application.h"
#include "app/core/GameSettings.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "frontend/arcade/NormalBattleScene.h"
#include "frontend/arcade/Story.h"
#include "frontend/charaselect/CharaSelectScene.h"
#include "frontend/hangar/HangarScene.h"
#include "frontend/score/ScoreScene.h"
#include "frontend/vsroom/VSRoomScene.h"
#include "platform/core/MessageBox.h"

namespace {

BaseScene* BattleScene() { return GetGameScene(); }

// The title menu's hangar entry.
constexpr i32 HangarEntry = 5;

// A story naming robots or maps that are not installed says so before the
// run; the stages leave those robots out.
CStoryBase* NewCheckedStory(u32 index)
{
    CStoryBase* story = NewStoryOrTestStory(index);
    const CApplication& app = *GetApplication();
    if (!story) return nullptr;
    const std::vector<std::string> missing =
        MissingStoryFolders(*story, app.robotFolders.count, app.stageFolders.count);
    if (!missing.empty()) {
        std::string text = "This arcade story needs folders that are not installed:";
        for (const std::string& line : missing) text += "\n" + line;
        plat::ReportError("Quillon", text.c_str());
    }
    return story;
}

void DeleteStoryObject(CStoryBase* story) { delete story; }

void SetupStoryStage(CGameScene* scene)
{
    if (CStoryBase* story = GetApplication()->currentStory) story->SetupBattle(scene);
}

}  // namespace

void RegisterFrontendHooks()
{
    TitleHooks& title = GetAppHooks().title;
    for (GameMode mode : {GameMode::Survival, GameMode::Practice, GameMode::Team, GameMode::Fleet})
        title.entries[i32(mode)].scene = GetCharaSelectSceneAsBase;
    title.entries[HangarEntry].scene = GetHangarSceneAsBase;
    title.entries[i32(GameMode::LocalBattle)] = {GetVSRoomSceneAsBase, CVSRoomScene::ResetPlayers};
    title.demoBattle = BattleScene;
    title.entries[i32(GameMode::Arcade)].scene = GetNormalBattleSceneAsBase;
    title.entries[i32(GameMode::Ranking)].scene = GetScoreSceneAsBase;
    title.newStory = NewCheckedStory;
    GetAppHooks().deleteStory = DeleteStoryObject;

    BattleHooks battle = GetBattleHooks();
    battle.setupArcadeStage = SetupStoryStage;
    battle.vsRoomScene = GetVSRoomSceneAsBase;
    battle.charaSelectScene = GetCharaSelectSceneAsBase;
    RegisterBattleHooks(battle);
}
