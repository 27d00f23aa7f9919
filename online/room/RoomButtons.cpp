#include "online/room/RoomButtons.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/core/Application.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/Camera.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "engine/graphics/TextureManager.h"
#include "app/net/ClientMessages.h"
#include "app/net/NetClientPair.h"
#include "online/room/RoomScene.h"
#include "app/player/RoomState.h"
#include "platform/core/TextCodec.h"
#include "platform/core/Time.h"
#include "platform/math/Math.h"

namespace {

CApplication& App() { return *GetApplication(); }
NetClientPair& Pair() { return *GetOnlineClients(); }
GameSettings& Settings() { return App().gameSettings; }
PlayerEntry& Row(i32 i) { return App().players[i]; }
i32 OwnIndex() { return i32(GetRoomState().ownSlot); }
// The host role passes on when the host leaves: who may press a row's
// arrows and the computer switch is asked again every frame.
bool IsHost() { return OwnIndex() == CRoomScene::HostIndex(); }

RoomSettingsRecord Current()
{
    const GameSettings& g = Settings();
    return {g.roomSetting, g.netDelay, g.chat,   i32(g.stage), g.hpRate,   g.energyRate,
            g.timeLimit,   g.voiceMode, g.item, g.costRate,   g.bgmNo,    g.popType};
}

// Every setting click sends all twelve with the one changed.
void SendSettings(const RoomSettingsRecord& s)
{
    SendRoomSettings(s.inputInterval, s.netDelay, s.chatEnabled, s.stageNo, s.hpRate, s.geneRate, s.gameTime,
                     s.voiceMode, s.itemEnabled, s.costRate, s.bgmNo, s.popType, &Pair().game);
}

void SendRow(i32 row, const char* name, i32 robot, i32 team, i32 state)
{
    const PlayerEntry& e = Row(row);
    SendPlayerSlot(u16(row), name ? name : e.name, u32(robot), u32(team), u32(state), e.rankLevel, &Pair().game);
}

u32 RuleSquads() { return GetRoomState().rule == 3 || GetRoomState().rule == 4 ? 2 : 10; }
i32 StageCount() { return i32(App().stageFolders.count); }

i32 UsableRecord(i32 from, i32 step)
{
    const PartInventory& inv = App().partInventory;
    for (i32 r = from; r >= 0 && r < i32(RobotRecordCount); r += step)
        if (inv.robots[r].available == 1) return r;
    return -1;
}

i32 RandomRobot()
{
    cMTRand& random = GetBattleRandom();
    random.Init(plat::TimeGetTime(), cMTRand::kDefaultSize);
    random.Init(plat::TimeGetTime(), cMTRand::kDefaultSize);
    const u32 types = App().robotFolders.count > 0 ? App().robotFolders.count : 1;
    return 1000 + i32((random.GetRand() % (types * 100)) / 100);
}

// The squad of a computer the host adds to a row. A battle needs an
// opponent: while every fighter stands in one squad the computer joins the
// lowest other one (under the interception rule it defends squad 0 when
// nobody does); otherwise it keeps the row's squad.
i32 OpponentSquad(i32 rowTeam)
{
    bool used[10] = {};
    u32 squads = 0, randoms = 0;
    for (i32 i = 0; i < PlayerEntryCount; ++i) {
        const PlayerEntry& e = Row(i);
        if (e.slotState == 0) continue;
        if (e.team == 50) ++randoms;
        else if (e.team >= 0 && e.team < 10 && !used[e.team]) used[e.team] = true, ++squads;
    }
    if (GetRoomState().rule == 2) return used[0] || randoms > 0 ? rowTeam : 0;
    if (squads != 1 || randoms > 0) return rowTeam;
    for (i32 t = 0; t < i32(RuleSquads()); ++t)
        if (!used[t]) return t;
    return rowTeam;
}

bool RowLocked(const PlayerEntry& e) { return e.inBattle == 1 || (e.readyState != 0 && e.slotState == 1); }

void ChangeRobot(i32 row, bool right)
{
    const PlayerEntry& e = Row(row);
    if (RowLocked(e)) return;
    i32 robot = e.robot;
    if (robot >= 0 && robot < 1000) {
        const i32 next = right ? UsableRecord(robot + 1, 1) : UsableRecord(robot - 1, -1);
        robot = next >= 0 ? next : RandomRobot();
    } else {
        robot = right ? UsableRecord(0, 1) : UsableRecord(i32(RobotRecordCount) - 1, -1);
    }
    SendRow(row, nullptr, robot, e.team, e.slotState);
}

void ChangeTeam(i32 row, bool right)
{
    const PlayerEntry& e = Row(row);
    if (e.inBattle == 1) return;
    const i32 squads = i32(RuleSquads());
    i32 t = e.team;
    if (right) {
        if (t == 100) t = 0;
        else if (t == 50) t = 100;
        else if (++t >= squads) t = 50;
    } else {
        if (t == 100) t = 50;
        else if (t == 50) t = squads - 1;
        else if (--t < 0) t = 100;
    }
    SendRow(row, nullptr, e.robot, t, e.slotState);
}

}  // namespace

void ButtonBase::Place(i32 px, i32 py, TextureHandle* pic, u32 c)
{
    x = px;
    y = py;
    picture = pic;
    colour = c;
    enabled = visible = 1;
}

bool ButtonBase::Hit(i32 px, i32 py) const
{
    if (!picture) return false;
    const i32 w = picture->sourceRect.Width(), h = picture->sourceRect.Height();
    return px >= x && px <= x + w && py >= y && py <= y + h;
}

void GM_Button::Draw()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!visible || !gd->sprite) return;
    const CApplication& app = App();
    Mat4 place, scale;
    plat::MatrixTranslation(&place, f32(x), f32(y), 0.0f);
    plat::MatrixScaling(&scale, app.video.screenScaleX, app.video.screenScaleY, 1.0f);
    plat::MatrixMultiply(&transform, &place, &scale);
    gd->sprite->SetTransform(transform);
    if (picture && picture->texture)
        gd->sprite->Draw(picture->texture, &picture->sourceRect, nullptr, nullptr, colour);
    if (!label.empty()) GetTextureCache()->DrawText(gd->fonts[1], label.c_str(), -1, &labelRect, 0, 0xFFFFFFFFu, 60, 0, 0);
}

void CButton_RowBase::UpdateLabel()
{
    enabled = OwnIndex() == row || IsHost() ? 1 : 0;
    visible = Row(row).slotState != 0 && enabled ? 1 : 0;
}

void CButton_RoboL::OnClick() { ChangeRobot(row, false); }
void CButton_RoboR::OnClick() { ChangeRobot(row, true); }
void CButton_TeamL::OnClick() { ChangeTeam(row, false); }
void CButton_TeamR::OnClick() { ChangeTeam(row, true); }

void CButton_AI::UpdateLabel() { enabled = visible = IsHost() ? 1 : 0; }

void CButton_AI::OnClick()
{
    const PlayerEntry& e = Row(row);
    if (e.slotState == 0) {
        AiPilotRecord pilot;
        GetRandomAiPilot(&pilot);
        char name[24];
        plat::Utf8CopyTruncated(name, sizeof name, pilot.name);
        SendRow(row, name, e.robot, OpponentSquad(e.team), 2);
    } else {
        SendRow(row, nullptr, e.robot, e.team, 0);
    }
}

void CButton_Bgm_L::OnClick()
{
    MyBgmList& list = Settings().bgmList;
    if (--list.selectedBgm < -2) list.selectedBgm = i32(list.entries.size()) - 1;
}

void CButton_Bgm_R::OnClick()
{
    MyBgmList& list = Settings().bgmList;
    if (++list.selectedBgm >= i32(list.entries.size())) list.selectedBgm = -2;
}

namespace {
std::string Format(const char* format, double v)
{
    char text[52];
    std::snprintf(text, sizeof text, format, v);
    return text;
}
}  // namespace

void CButton_RagFM_L::UpdateLabel() { label = Format("网络延迟 %.0f     ", double(Settings().netDelay)); }
void CButton_RagFM_L::OnClick()
{
    RoomSettingsRecord s = Current();
    if (s.netDelay <= 1) s.netDelay = 20;
    else --s.netDelay;
    SendSettings(s);
}
void CButton_RagFM_R::OnClick()
{
    RoomSettingsRecord s = Current();
    if (++s.netDelay > 20) s.netDelay = 1;
    SendSettings(s);
}

void CButton_Chat::UpdateLabel() { label = std::string("开启作战通讯  ") + (Settings().chat ? "ON" : "OFF"); }
void CButton_Chat::OnClick()
{
    RoomSettingsRecord s = Current();
    s.chatEnabled = s.chatEnabled == 0 ? 1 : 0;
    SendSettings(s);
}

void CButton_StageNo_L::UpdateLabel()
{
    const i32 stage = i32(Settings().stage);
    label = std::string("选择对战区域  ") + (stage == -1 ? std::string("Random") : Format("%.0f", double(stage)));
}
void CButton_StageNo_L::OnClick()
{
    RoomSettingsRecord s = Current();
    if (--s.stageNo < -1) s.stageNo = StageCount() - 1;
    SendSettings(s);
}
void CButton_StageNo_R::OnClick()
{
    RoomSettingsRecord s = Current();
    // Only stages this client has: past the last comes Random.
    if (++s.stageNo >= StageCount() || s.stageNo < -1) s.stageNo = -1;
    SendSettings(s);
}

void CButton_CostRate_L::UpdateLabel() { label = Format("战力  %.1f倍", double(Settings().costRate)); }
// The cost rate steps in whole tenths: float steps of 0.1 drift off the
// tenths (0.2f - 0.1f is 0.0999999) and never reach the ends.
namespace {
i32 CostTenths() { return i32(std::lround(double(Settings().costRate) * 10.0)); }
}  // namespace
void CButton_CostRate_L::OnClick()
{
    RoomSettingsRecord s = Current();
    i32 tenths = CostTenths() - 1;
    if (tenths < 1) tenths = 100;
    s.costRate = f32(tenths) / 10.0f;
    SendSettings(s);
}
void CButton_CostRate_R::OnClick()
{
    RoomSettingsRecord s = Current();
    i32 tenths = CostTenths() + 1;
    if (tenths > 100) tenths = 1;
    s.costRate = f32(tenths) / 10.0f;
    SendSettings(s);
}

void CButton_HpRate_L::UpdateLabel() { label = Format("HP倍率  %.2f", double(Settings().hpRate)); }
void CButton_HpRate_L::OnClick()
{
    RoomSettingsRecord s = Current();
    s.hpRate -= step;
    if (s.hpRate < minimum) s.hpRate = minimum;
    SendSettings(s);
}
void CButton_HpRate_R::OnClick()
{
    RoomSettingsRecord s = Current();
    s.hpRate += step;
    if (s.hpRate > maximum) s.hpRate = maximum;
    SendSettings(s);
}

void CButton_GeneRate_L::UpdateLabel()
{
    const f32 g = Settings().energyRate;
    label = g >= 10.0f ? "能量倍率  无限   " : Format("能量倍率  %.1f   ", double(g));
}
void CButton_GeneRate_L::OnClick()
{
    RoomSettingsRecord s = Current();
    s.geneRate -= 0.1f;
    if (s.geneRate < 0.1f) s.geneRate = 0.1f;
    SendSettings(s);
}
void CButton_GeneRate_R::OnClick()
{
    RoomSettingsRecord s = Current();
    s.geneRate += 0.1f;
    if (s.geneRate > maximum) s.geneRate = maximum;
    SendSettings(s);
}

void CButton_GameTime_L::UpdateLabel() { label = Format("時間：%.0f", double(Settings().timeLimit)); }
void CButton_GameTime_L::OnClick()
{
    RoomSettingsRecord s = Current();
    s.gameTime = s.gameTime <= 10 ? 5 : s.gameTime - 5;
    SendSettings(s);
}
void CButton_GameTime_R::OnClick()
{
    RoomSettingsRecord s = Current();
    s.gameTime += 5;
    if (s.gameTime >= 60) s.gameTime = 60;
    SendSettings(s);
}

void CButton_Voice::UpdateLabel()
{
    static const char* const kinds[3] = {"不发送    ", "0～9.ogg发送", "全部发送  "};
    const u8 v = Settings().voiceMode;
    label = std::string("语音发送    ") + (v < 3 ? kinds[v] : "");
}
void CButton_Voice::OnClick()
{
    RoomSettingsRecord s = Current();
    s.voiceMode = s.voiceMode == 0 ? 1 : (s.voiceMode == 1 ? 2 : 0);
    SendSettings(s);
}

void CButton_Item::UpdateLabel()
{
    const u8 v = Settings().item;
    label = std::string("使用装备部件  ") + (v == 1 ? "ON" : (v == 0 ? "OFF" : ""));
}
void CButton_Item::OnClick()
{
    RoomSettingsRecord s = Current();
    if (s.itemEnabled <= 1) s.itemEnabled = s.itemEnabled ? 0 : 1;
    SendSettings(s);
}

void CButton_PopType::UpdateLabel()
{
    const u8 v = Settings().popType;
    label = std::string("出生点选择  ") + (v == 0 ? "默认  " : (v == 1 ? "随机    " : ""));
}
void CButton_PopType::OnClick()
{
    RoomSettingsRecord s = Current();
    if (s.popType <= 1) s.popType = s.popType ? 0 : 1;
    SendSettings(s);
}

void CreateRoomButtons(CRoomScene& scene)
{
    TextureHandle* L = &scene.pictures[50];
    TextureHandle* R = &scene.pictures[51];
    const u32 capacity = scene.Capacity();
    auto add = [&](ButtonBase* b, i32 x, i32 y, TextureHandle* pic, i32 row = 0) {
        if (!b) return;
        b->Place(x, y, pic, 0xFFFFFFFFu);
        b->row = row;
        scene.AddButton(b);
        return;
    };
    for (u32 i = 0; i < capacity; ++i) {
        const plat::GfxRect& r = scene.rowRects[i];
        add(new CButton_RoboL(), r.left + 471, r.top + 1, L, i32(i));
        add(new CButton_RoboR(), r.left + 487, r.top + 1, R, i32(i));
    }
    for (i32 i = 0; i < 10; ++i) {
        const plat::GfxRect& r = scene.rowRects[i];
        add(new CButton_TeamL(), r.left + 865, r.top + 1, L, i);
        add(new CButton_TeamR(), r.left + 881, r.top + 1, R, i);
    }
    for (u32 i = 0; i < capacity; ++i) {
        const plat::GfxRect& r = scene.rowRects[i];
        add(new CButton_AI(), r.left + 914, r.top + 23, R, i32(i));
    }
    add(new CButton_Bgm_L(), 644, 30, L);
    add(new CButton_Bgm_R(), 660, 30, R);

    const u8 rule = GetRoomState().rule;
    i32 x = 730, y = 480;
    auto pair = [&](ButtonBase* l, ButtonBase* r) {
        add(l, x - 16, y + 3, L);
        add(r, x + 260, y + 3, R);
        y += 24;
    };
    auto single = [&](ButtonBase* b) {
        add(b, x + 260, y + 3, R);
        y += 24;
    };
    pair(new CButton_RagFM_L(), new CButton_RagFM_R());
    single(new CButton_Chat());
    if (rule != 2) pair(new CButton_StageNo_L(), new CButton_StageNo_R());
    if (rule == 3 || rule == 4) pair(new CButton_CostRate_L(), new CButton_CostRate_R());
    auto* hpL = new CButton_HpRate_L();
    auto* hpR = new CButton_HpRate_R();
    auto* geneR = new CButton_GeneRate_R();
    if (rule == 4) {
        hpL->step = hpR->step = 0.05f;
        hpL->minimum = 0.05f;
        hpR->maximum = 0.3f;
        geneR->maximum = 0.2f;
    }
    pair(hpL, hpR);
    pair(new CButton_GeneRate_L(), geneR);
    if (rule == 1) pair(new CButton_GameTime_L(), new CButton_GameTime_R());
    single(new CButton_Voice());
    single(new CButton_Item());
    single(new CButton_PopType());
    // Who may press what, from the first frame on.
    scene.UpdateLabels();
}
