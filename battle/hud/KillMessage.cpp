#include "battle/hud/KillMessage.h"

#include <cstring>
#include <string>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "battle/hud/HudTasks.h"
#include "battle/hud/OverlayTasks.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"

TextCacheEntry* DrawShadowText(i32 font, f32 x, f32 y, const char* text, i32 count, const plat::GfxRect* rect,
                               u32 format, u32 colour, f32 shadowX, f32 shadowY, u32 shadowColour)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::Font* f = font >= 0 && font < GraphicsDevice::kFontSlots ? gd->fonts[font] : nullptr;
    if (!f || !gd->sprite || !text) return nullptr;
    gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, x + shadowX, y + shadowY));
    TextCacheEntry* e = GetTextureCache()->DrawText(f, text, count, rect, format, shadowColour, 60, 0, 0);
    gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, x, y));
    if (e) e->Draw(f, text, count, rect, format, colour);
    return e;
}

void GMTCB_DrawSP_KillMessage::Set(const char* first, const char* second, i32 frames, CRobot_Base* robot)
{
    line1[0] = line2[0] = 0;
    if (first) AppendWholeCharacters(line1, sizeof line1, first);
    if (second) AppendWholeCharacters(line2, sizeof line2, second);
    framesLeft = frames;
    alpha = 255;
    ownerRobot = robot;
}

i32 GMTCB_DrawSP_KillMessage::Proc()
{
    --framesLeft;
    // The last 64 frames fade out, four steps of alpha a frame.
    if (framesLeft < 64) alpha = alpha > 4 ? alpha - 4 : 0;
    return framesLeft < 1 ? kTaskRemove : kTaskKeep;
}

void GMTCB_DrawSP_KillMessage::DrawSP()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !visible || !ownerRobot || WatchedRobot(*scene) != ownerRobot) return;
    if (scene->hudHideBits & kHudUnderCover) return;
    const u32 colour = static_cast<u32>(alpha & 0xFF) << 24 | 0xFFFFFFu;
    const plat::GfxRect first{0, 0, 1024, 768}, second{0, 100, 1024, 768};
    DrawShadowText(2, offset[0], offset[1], line1, -1, &first, 5, colour, 2.0f, 2.0f, 0xFF000000u);
    DrawShadowText(8, offset[0], offset[1], line2, -1, &second, 5, colour, 2.0f, 2.0f, 0xFF000000u);
}

void ShowRewardMessage(CRobot_Normal* robot, const char* message)
{
    CGameScene* scene = FindGameScene();
    if (!scene || !robot) return;
    GMTCB_DrawSP_KillMessage* m = GMTCB_DrawSP_KillMessage::Create(&scene->tasks, 200);
    if (!m) return;
    m->Set(message, "", 120, robot);
    m->offset[1] = 100.0f;
}

void ShowStreakMessage(CRobot_Normal* robot, i32 code)
{
    CGameScene* scene = FindGameScene();
    if (!scene || !robot) return;
    static const char* const kDigits[] = {"", "", "２", "３", "４", "５", "６", "７", "８", "９", "１０"};
    static const char* const kReady[] = {"衛星軌道砲 準備完了", "巡航ミサイル 準備完了", "魔方陣 準備完了",
                                         "巡航ミサイルｘ３ 準備完了"};
    const bool loss = code > 10000;
    const i32 n = loss ? code - 10000 : code;
    if (n < 2 || n > 10) return;
    std::string first = std::string("連続") + kDigits[n] + (loss ? "損害" : "撃破");
    std::string second;
    if (!loss && n <= 5) {
        second = kReady[n - 2];
    } else {
        // The called unit's name, once its type is loaded.
        bool ship = false;
        const i32 type = CRobot_Normal::RewardUnitType(code, &ship);
        const CFixedArray<RobotModelData>& types = ship ? scene->shipTypes : scene->robotTypes;
        if (type >= 0 && types.IsCreated() && type < types.GetCount() && types[type].loaded.load() == 1)
            second = types[type].name;
        second += loss ? " 救援準備完了" : " 出撃準備完了";
    }
    second += "\n(ガード中にサブ３で発動)";
    GMTCB_DrawSP_KillMessage* m = GMTCB_DrawSP_KillMessage::Create(&scene->tasks, 200);
    if (m) m->Set(first.c_str(), second.c_str(), 120, robot);
}
