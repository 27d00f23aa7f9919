#include "frontend/Hooks.h"

#include "app/Hooks.h"
#include "app/core/GameSettings.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "frontend/charaselect/CharaSelectScene.h"
#include "frontend/ranking/RankingInput.h"
#include "frontend/ranking/RankingList.h"

namespace {

BaseScene* BattleScene() { return GetGameScene(); }

// The judge's tasks run at priority 1.
constexpr u32 RankingPriority = 1;

TCB* StartInput(CList<TCB>* list, RankingTable* table, i32 robotType, i32 score, i32 kills)
{
    TCB_RankingInput* input = TCB_RankingInput::Create(list, RankingPriority);
    if (input) input->Start(table, u32(robotType), score, u32(kills));
    return input;
}

void FinishInput(TCB* input) { static_cast<TCB_RankingInput*>(input)->done = 1; }

TCB* StartList(CList<TCB>* list, RankingTable* table, float x, const char* title)
{
    TCB_RankingList* ranking = TCB_RankingList::Create(list, RankingPriority);
    if (!ranking) return nullptr;
    ranking->Start(table, x);
    ranking->title = title ? title : "";
    return ranking;
}

void MoveList(TCB* ranking, float x) { static_cast<TCB_RankingList*>(ranking)->x = x; }

}  // namespace

void RegisterFrontendHooks()
{
    TitleHooks& title = GetAppHooks().title;
    for (GameMode mode : {GameMode::Survival, GameMode::Practice, GameMode::Team, GameMode::Fleet})
        title.entries[i32(mode)].scene = GetCharaSelectSceneAsBase;
    title.demoBattle = BattleScene;

    BattleHooks battle = GetBattleHooks();
    battle.startRankingInput = StartInput;
    battle.finishRankingInput = FinishInput;
    battle.startRankingList = StartList;
    battle.setRankingListX = MoveList;
    RegisterBattleHooks(battle);
}
