#pragma once
// The per-mode tasks the set-up creates: the judges of each mode and the
// online rules' clock and score tasks. Those whose rules are not here yet
// only keep their place in the task list.
#include "battle/tasks/GMTCB.h"

class CGameScene;

class GMTCB_Judge_SurvivalMode : public BattleTask<GMTCB_Judge_SurvivalMode, GMTCB> {};
class GMTCB_Judge_TeamBattleMode : public BattleTask<GMTCB_Judge_TeamBattleMode, GMTCB> {};
class GMTCB_Judge_BlitzTacticsMode : public BattleTask<GMTCB_Judge_BlitzTacticsMode, GMTCB> {};
class GMTCB_Judge_LocalBattle_RestBody : public BattleTask<GMTCB_Judge_LocalBattle_RestBody, GMTCB> {};

// Online judges keep the scene they judge in their first field.
class GMTCB_Judge_NetTeamSurvival : public BattleTask<GMTCB_Judge_NetTeamSurvival, GMTCB> {
public:
    CGameScene* scene = nullptr;
};
class GMTCB_Judge_NetTimeSurvival : public BattleTask<GMTCB_Judge_NetTimeSurvival, GMTCB> {
public:
    CGameScene* scene = nullptr;
};
class GMTCB_Judge_NetGeigekisen : public BattleTask<GMTCB_Judge_NetGeigekisen, GMTCB> {
public:
    CGameScene* scene = nullptr;
};
class GMTCB_Judge_NetTeamCost : public BattleTask<GMTCB_Judge_NetTeamCost, GMTCB> {
public:
    CGameScene* scene = nullptr;
};

class GMTCB_Proc_TimeDec : public BattleTask<GMTCB_Proc_TimeDec> {};
class GMTCB_DrawPS_AllTeamScore : public BattleTask<GMTCB_DrawPS_AllTeamScore> {};
