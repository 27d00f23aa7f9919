#pragma once
// The standing head-up display tasks the set-up creates. Elements whose
// drawing is not here yet draw nothing.
#include "battle/tasks/GMTCB.h"

class GMTCB_DrawSP_Interface : public BattleTask<GMTCB_DrawSP_Interface> {};
class GMTCB_DrawSP_Ladar : public BattleTask<GMTCB_DrawSP_Ladar> {};
class GMTCB_DrawSP_CharaInfo : public BattleTask<GMTCB_DrawSP_CharaInfo> {};
class GMTCB_DrawSP_ChatInputStringDisp : public BattleTask<GMTCB_DrawSP_ChatInputStringDisp> {};
class GMTCB_DrawSP_ChatLogDisp : public BattleTask<GMTCB_DrawSP_ChatLogDisp> {};
class GMTCB_DrawSP_PracticeDisp : public BattleTask<GMTCB_DrawSP_PracticeDisp> {};
class GMTCB_DrawSP_NetDetailDisp : public BattleTask<GMTCB_DrawSP_NetDetailDisp> {};
