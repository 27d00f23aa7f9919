// What the room draws: the slide show behind the four player panels with
// each pad's cursor, the rule table, and the stage phase's heading.
#include <cmath>
#include <cstdio>

#include "app/core/Application.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/Camera.h"
#include "app/scene/SharedPictures.h"
#include "battle/hud/KillMessage.h"
#include "engine/graphics/GraphicsDevice.h"
#include "frontend/vsroom/VSRoomScene.h"
#include "frontend/vsroom/VSRoomTasks.h"
#include "platform/gfx/Font.h"
#include "platform/math/Math.h"

namespace {

constexpr f32 kDegree = 0.017453f;
constexpr u32 kWhite = 0xFFFFFFFFu;
constexpr u32 kBlack = 0xFF000000u;
constexpr f32 kPanelTop = 68.0f;
// The robot's and the pilot's names: clear of the panel's frame line, which
// is drawn over the panel's edge, and in a font whose strokes survive the
// layout's scaling down to a small window (the smallest loses rows).
constexpr f32 kNameInset = 6.0f;
constexpr i32 kNameFont = 4;

const CApplication& App() { return *GetApplication(); }

// A picture at a layout position, scaled, tinted.
void DrawPicture(TextureHandle& picture, f32 x, f32 y, f32 scale, u32 colour, const plat::GfxRect* source = nullptr)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!gd->sprite || !picture.texture) return;
    Mat4 size, at, screen, m;
    plat::MatrixScaling(&size, scale, scale, 1.0f);
    plat::MatrixTranslation(&at, x, y, 0.0f);
    plat::MatrixScaling(&screen, App().video.screenScaleX, App().video.screenScaleY, 1.0f);
    plat::MatrixMultiply(&m, &size, &at);
    plat::MatrixMultiply(&m, &m, &screen);
    gd->sprite->SetTransform(m);
    gd->sprite->Draw(picture.texture, source ? source : &picture.sourceRect, nullptr, nullptr, colour);
}

// Text in a width x height box at (x, y) of the layout.
void Text(i32 font, const char* text, f32 x, f32 y, i32 width, i32 height, u32 format, u32 colour)
{
    const plat::GfxRect box{0, 0, width, height};
    DrawTextAt(font, x, y, text, -1, &box, format, colour);
}

void Heading(const char* text) { Text(3, text, 0.0f, 0.0f, 1024, 68, plat::TextCenter, kWhite); }

// 0.25 .. 0.75 of full brightness along a sine of the angle in degrees.
u32 Pulse(f32 degrees) { return u32((((std::sin(degrees * kDegree) + 1.0f) / 4.0f) + 0.5f) * 255.0f); }

u32 PanelColour(const PlayerEntry& entry, u32 frame, i32 panel)
{
    if (entry.slotState == 0) return kBlack;
    const u32 v = Pulse(f32(i32(frame % 255) + 30 * panel) * 10.0f);
    switch (entry.team) {
    case 0: return kBlack | v;
    case 1: return kBlack | v << 16;
    case 2: return kBlack | v << 8;
    default: return kBlack | v << 16 | v << 8;
    }
}

}  // namespace

void VSTCB_Normal::DrawSP()
{
    if (!scene || !GetGraphicsDevice()->sprite) return;
    if (phase == VSPhasePlayers) DrawPlayers();
    else if (phase == VSPhaseRules) DrawRules();
    else DrawStage();
}

void VSTCB_Normal::DrawPlayers()
{
    CVSRoomScene& room = *scene;
    const i32 s = slideCounter % 500;
    if (s < 128) slideAlpha = slideAlpha + 2 > 255 ? 255 : slideAlpha + 2;
    if (s > 372) slideAlpha = slideAlpha - 2 < 0 ? 0 : slideAlpha - 2;
    const i32 slide = slideCounter / 500;
    if (slide < room.RobotCount())
        DrawPicture(room.RobotPicture(slide), 0.0f, 0.0f, 3.2f, u32(slideAlpha) << 24 | 64u << 16);

    const PilotRegistry& pilots = *GetPilotRegistry();
    static const char* const kPadLabels[4] = {"1P", "2P", "3P", "4P"};
    static const u32 kPadFormats[4] = {0, plat::TextRight, plat::TextBottom, plat::TextBottom | plat::TextRight};
    Heading("- 对 战 设 定 -");
    for (i32 p = 0; p < VSRoomPads; ++p) {
        const PlayerEntry& entry = App().players[p];
        const f32 x = 25.0f + 250.0f * f32(p);
        const f32 y = kPanelTop;
        const u32 colour = PanelColour(entry, room.frameCounter, p);
        room.FillRect(x, y, 200.0f, 680.0f, 0x20FFFFFFu);
        if (entry.slotState != 0) {
            room.FillRect(x, y, 200.0f, 24.0f, colour);
            Text(1, "机体  ", x, y, 200, 24, plat::TextCenter, kWhite);
            if (entry.robot >= 0 && entry.robot < room.RobotCount()) {
                DrawPicture(room.RobotPicture(entry.robot), x, y + 24.0f, 0.625f, kWhite);
                Text(kNameFont, room.robotNames[entry.robot], x + kNameInset, y + 174.0f, 200 - 2 * i32(kNameInset), 24,
                     0, kWhite);
            }
            room.FillRect(x, y + 200.0f, 200.0f, 24.0f, colour);
            Text(1, "机师      ", x, y + 200.0f, 200, 24, plat::TextCenter, kWhite);
            if (entry.pilot >= 0 && entry.pilot < pilots.count) {
                PilotSlot& pilot = GetPilotRegistry()->slots[entry.pilot];
                const plat::GfxRect face{0, 0, 200, 150};
                DrawPicture(pilot.pictures[0], x, y + 224.0f, 1.0f, kWhite, &face);
                Text(kNameFont, pilot.name, x + kNameInset, y + 374.0f, 200 - 2 * i32(kNameInset), 24, 0, kWhite);
            }
            room.FillRect(x, y + 400.0f, 200.0f, 24.0f, colour);
            char team[32];
            std::snprintf(team, sizeof team, "小队 %d ", entry.team);
            Text(1, team, x, y + 400.0f, 200, 68, plat::TextCenter, kWhite);
        }
        room.FillRect(x, y + 616.0f, 200.0f, 24.0f, colour);
        char control[32];
        if (entry.slotState == 0) std::snprintf(control, sizeof control, "无效");
        else if (entry.slotState == 1) std::snprintf(control, sizeof control, "玩家      ");
        else std::snprintf(control, sizeof control, "CPU Lv:%d", entry.computerLevel);
        Text(1, control, x, y + 616.0f, 200, 24, plat::TextCenter, kWhite);
        const bool readyShown = entry.slotState != 0 && room.ready[p];
        if (readyShown) room.FillRect(x, y + 656.0f, 200.0f, 24.0f, kWhite);
        room.DrawFrameRect({i32(x), i32(y), i32(x) + 200, i32(y) + 680}, colour);
        const u32 w = Pulse(f32(room.frameCounter % 255) * 50.0f);
        for (i32 j = 0; j < VSRoomPads; ++j) {
            if (!room.joined[j] || room.slotCursor[j] != p) continue;
            const i32 n = room.step[j] >= 0 && room.step[j] < 6 ? room.step[j] : 0;
            room.DrawFrameRectAt(x, y, rows[n], kBlack | w << 16 | w << 8 | w);
            // On the white ready bar the label is black, like the bar's own text.
            const bool onWhite = n == 5 && entry.slotState != 0 && room.ready[p];
            Text(1, kPadLabels[j], x, y + f32(rows[n].top), 200, 24, kPadFormats[j], onWhite ? kBlack : kWhite);
        }
        // The ready label over the frames that line its bar: in a small
        // window its letters fill the bar to the lines, which would cover
        // their tops and bottom strokes.
        if (entry.slotState != 0)
            Text(1, readyShown ? "准备完毕" : "准备", x, y + 656.0f, 200, 24, plat::TextCenter,
                 readyShown ? kBlack : kWhite);
    }
}

void VSTCB_Normal::DrawRules()
{
    CVSRoomScene& room = *scene;
    DrawFullScreenPicture(SharedPicture::Back, 0xC8FFFFFFu);
    const f32 c = f32((room.frameCounter * 20) % 360);
    const u32 alpha = u32(std::lround(((std::sin(c * kDegree) + 1.0f) * 0.5f) * 50.0f + 100.0f));
    room.FillRect(609.0f, 178.0f + 51.0f * f32(ruleCursor), 361.0f, 51.0f, alpha << 24 | 0xFF0000u);

    char values[VSRoomRuleRows][32];
    std::snprintf(values[0], sizeof values[0], "%s", ruleNames[ruleChoice & 1].c_str());
    std::snprintf(values[1], sizeof values[1], "%.1f倍", double(hpRate));
    if (energyRate < VSRoomRateMax) std::snprintf(values[2], sizeof values[2], "%.1f倍", double(energyRate));
    else std::snprintf(values[2], sizeof values[2], "无限");
    std::snprintf(values[3], sizeof values[3], "%.1f倍", double(costRate));
    std::snprintf(values[4], sizeof values[4], "%s", spawnType == 0 ? "默认  " : "随机    ");
    static const char* const kLabels[VSRoomRuleRows] = {"GameMode", "HP倍率", "推进能量倍率    ",
                                                        "战斗力                ", "出生点选择"};
    for (i32 i = 0; i < VSRoomRuleRows; ++i) {
        const f32 top = 178.0f + 51.0f * f32(i);
        const plat::GfxRect label{0, 0, 533, 51};
        const plat::GfxRect value{0, 0, 361, 51};
        DrawShadowText(2, 76.0f, top, kLabels[i], -1, &label, 0, kWhite, 2.0f, 2.0f, kBlack);
        DrawShadowText(2, 609.0f, top, values[i], -1, &value, 0, kWhite, 2.0f, 2.0f, kBlack);
    }
}

void VSTCB_Normal::DrawStage()
{
    DrawFullScreenPicture(SharedPicture::Back, 0xC8FFFFFFu);
    Heading("- 选择对战区域 -");
}
