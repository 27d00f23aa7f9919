#include "battle/hud/HudTasks.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/core/Application.h"
#include "app/player/GameItem.h"
#include "app/player/PilotRegistry.h"
#include "app/player/RoomState.h"
#include "app/scene/Camera.h"
#include "battle/hud/TimeDisplay.h"
#include "battle/GameScene.h"
#include "battle/hud/OverlayTasks.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "platform/input/Keyboard.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"

namespace {

// The element shows: the battle is not paused for the player and the hide
// bit is clear.
CRobot_Base* ShownWatched(u32 hideBit)
{
    CGameScene* scene = FindGameScene();
    if (!scene || PausedForPlayer(*scene) || (scene->hudHideBits & hideBit)) return nullptr;
    return WatchedRobot(*scene);
}

void SetLightingAndFog(u32 on)
{
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    if (!device) return;
    device->SetRenderState(plat::GfxRenderState::Lighting, on);
    device->SetRenderState(plat::GfxRenderState::FogEnable, on);
}

// A part's name, or a blank mark for an empty slot.
std::string PartName(const CGameItemBase* part)
{
    if (!part) return " \xE6\x97\xA0 ";
    return std::string(part->name, strnlen(part->name, sizeof part->name));
}

// A robot's chat line beside it, on a dark box that grows a row per 200
// pixels of text.
void DrawChatLabel(CRobot_Base* robot)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::Font* font = gd->fonts[0];
    const TextureHandle& dot = GetApplication()->sharedTextures[0];
    if (!font || !gd->sprite) return;
    const i32 bytes = WholeCharacterBytes(robot->chatLine, static_cast<i32>(sizeof robot->chatLine));
    char text[sizeof robot->chatLine + 1] = {};
    std::memcpy(text, robot->chatLine, static_cast<size_t>(bytes));
    const i32 x = static_cast<i32>(robot->screenPos.x), y = static_cast<i32>(robot->screenPos.y);
    const i32 width = font->GetTextExtent(text, bytes).cx;
    if (dot.texture && dot.sourceRect.Width() > 0 && dot.sourceRect.Height() > 0) {
        const f32 boxW = static_cast<f32>((width < 200 ? width : 200) + 2);
        const f32 boxH = static_cast<f32>((width / 200 + 1) * 12 + 2);
        Mat4 m;
        plat::MatrixScaling(&m, boxW / static_cast<f32>(dot.sourceRect.Width()),
                            boxH / static_cast<f32>(dot.sourceRect.Height()), 1.0f);
        m.m[3][0] = static_cast<f32>(x + 15);
        m.m[3][1] = static_cast<f32>(y - 11);
        gd->sprite->SetTransform(m);
        gd->sprite->Draw(dot.texture, &dot.sourceRect, nullptr, nullptr, 0x80000000u);
    }
    gd->sprite->SetTransform(Mat4::Identity());
    const plat::GfxRect rect{x + 16, y - 10, x + 216, y + 62};
    GetTextureCache()->DrawText(font, text, -1, &rect, 0x10, 0xFFFFFFFFu, 60, 0, 0);
}

}  // namespace

bool PausedForPlayer(const CGameScene& scene) { return scene.paused != 0 && scene.paused != kPausedWaitingOnline; }

CRobot_Base* WatchedRobot(CGameScene& scene)
{
    if (!scene.robotTable.IsCreated()) return nullptr;
    const u32 p = scene.currentView ? scene.currentView->player : scene.fullView.player;
    return p < static_cast<u32>(kRobotTableSize) ? scene.robotTable[static_cast<i32>(p)] : nullptr;
}

i32 WholeCharacterBytes(const char* text, i32 limit)
{
    i32 n = 0;
    while (n < limit && text[n]) ++n;
    if (n < limit || n == 0) return n;
    // Cut at the lead byte of the last character when it does not fit whole.
    i32 lead = n - 1;
    while (lead > 0 && (static_cast<u8>(text[lead]) & 0xC0u) == 0x80u) --lead;
    const u8 c = static_cast<u8>(text[lead]);
    const i32 length = c < 0x80u ? 1 : c >= 0xF0u ? 4 : c >= 0xE0u ? 3 : c >= 0xC0u ? 2 : 1;
    return lead + length <= n ? n : lead;
}

void GMTCB_DrawSP_Interface::DrawSP()
{
    if (CRobot_Base* robot = ShownWatched(1)) robot->DrawInterface();
}

void GMTCB_DrawSP_Ladar::Draw()
{
    CRobot_Base* robot = ShownWatched(1);
    if (!robot) return;
    SetLightingAndFog(0);
    robot->DrawRadar();
    SetLightingAndFog(1);
}

void GMTCB_DrawSP_Ladar::DrawSP()
{
    if (CRobot_Base* robot = ShownWatched(1 | kHudUnderCover)) robot->DrawRadarMarkers();
}

void GMTCB_DrawSP_CharaInfo::DrawSP()
{
    CGameScene* scene = FindGameScene();
    if (!scene || PausedForPlayer(*scene) || (scene->hudHideBits & 2)) return;
    CRobot_Base* watched = WatchedRobot(*scene);
    CList<BB_Base>& units = scene->unitList;
    for (BB_Base* o = units.GetHead()->next; o && o != units.GetTail(); o = o->next) {
        const i32 kind = o->GetKind();
        if (kind < kKindRobotBase || kind > kKindShip) continue;
        auto* robot = static_cast<CRobot_Base*>(o);
        if (watched && robot != watched && robot != watched->lockTarget) watched->DrawCharaInfo(robot);
        if (robot->chatLineTimer > 0 && robot->screenPos.z > 0.0f) DrawChatLabel(robot);
    }
}

// ---- chat, rest, network detail, practice help ------------------------------

namespace {

plat::Font* FontSlot(i32 slot)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    return gd->sprite && slot >= 0 && slot < GraphicsDevice::kFontSlots ? gd->fonts[slot] : nullptr;
}

// The whole window darkened, in window pixels.
void Darken(u32 colour)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    const CApplication& app = *GetApplication();
    const TextureHandle& dot = app.sharedTextures[0];
    if (!gd->sprite || !dot.texture || dot.sourceRect.Width() <= 0 || dot.sourceRect.Height() <= 0) return;
    Mat4 m;
    plat::MatrixScaling(&m, static_cast<f32>(app.video.screenWidth) / static_cast<f32>(dot.sourceRect.Width()),
                        static_cast<f32>(app.video.screenHeight) / static_cast<f32>(dot.sourceRect.Height()), 1.0f);
    gd->sprite->SetTransform(m);
    gd->sprite->Draw(dot.texture, &dot.sourceRect, nullptr, nullptr, colour);
}

}  // namespace

void GMTCB_DrawSP_ChatInputStringDisp::DrawSP()
{
    CGameScene* scene = FindGameScene();
    plat::Font* font = FontSlot(1);
    if (!scene || !font) return;
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, 0.0f, 0.0f));
    if (scene->chatInputActive != 1) return;
    const ImeLineEditor& editor = GetApplication()->lineEditor;
    TextureCache* cache = GetTextureCache();
    const plat::GfxRect line{335, 728, 1000, 760};
    cache->DrawTextDefault(font, editor.GetText().c_str(), -1, &line, 0, 0xFFFFFFFFu);
    const i32 w = editor.GetCaretExtent().cx;
    if (editor.GetComposition().empty()) {
        const plat::GfxRect caret{332 + w, 728, 1000, 760};
        cache->DrawTextDefault(font, "|", -1, &caret, 0, 0xFFFFFFFFu);
    } else {
        const plat::GfxRect composition{335 + w, 728, 1000, 760};
        cache->DrawTextDefault(font, editor.GetComposition().c_str(), -1, &composition, 0, 0xFFFFFF00u);
        const plat::GfxRect caret{332 + w + editor.GetCompositionExtent().cx, 728, 1000, 760};
        cache->DrawTextDefault(font, "|", -1, &caret, 0, 0xFFFFFF00u);
    }
}

void GMTCB_DrawSP_ChatLogDisp::DrawSP()
{
    CGameScene* scene = FindGameScene();
    plat::Font* font = FontSlot(0);
    if (!scene || !font || !scene->chatLogShown || (scene->hudHideBits & kHudUnderCover)) return;
    CApplication& app = *GetApplication();
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->sprite->SetTransform(Mat4::Identity());
    const f32 sx = app.video.screenScaleX, sy = app.video.screenScaleY;
    const i32 left = static_cast<i32>(640.0f * sx) + 1, top = static_cast<i32>(557.0f * sy) + 1;
    const i32 right = static_cast<i32>(1008.0f * sx);
    const i32 rowHeight = font->LineHeight() > 0 ? font->LineHeight() : 12;
    // The newest lines, at most ten rows of them, each wrapped to the panel:
    // cut at its edge, a long name's leave line would lose its end.
    struct Shown {
        const ChatNode* line;
        i32 rows;
    };
    Shown shown[10];
    i32 count = 0, rows = 0;
    for (ChatNode* c = app.chatLog.GetHead()->next; c && c != app.chatLog.GetTail() && count < 10; c = c->next) {
        plat::GfxRect measure{left, 0, right, 0};
        const i32 height =
            font->DrawText(gd->sprite, c->text.c_str(), -1, &measure, plat::TextWordBreak | plat::TextCalcRect, 0);
        const i32 n = std::max(1, height / rowHeight);
        if (rows + n > 10) break;
        shown[count++] = Shown{c, n};
        rows += n;
    }
    // Oldest at the top, the newest at the bottom.
    i32 y = top;
    for (i32 k = count - 1; k >= 0; --k) {
        const i32 h = shown[k].rows * rowHeight;
        plat::GfxRect r{left, y, right, y + h};
        const char* text = shown[k].line->text.c_str();
        GetTextureCache()->DrawTextDefault(font, text, -1, &r, plat::TextWordBreak, 0xFF000000u);
        r = plat::GfxRect{r.left - 1, r.top - 1, r.right - 1, r.bottom - 1};
        GetTextureCache()->DrawTextDefault(font, text, -1, &r, plat::TextWordBreak, shown[k].line->colour);
        y += h;
    }
}

void GMTCB_DrawSP_PlayerRestDisp::DrawSP()
{
    CRobot_Base* robot = ShownWatched(1);
    CGameScene* scene = FindGameScene();
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!robot || !gd->sprite || !scene->interfaceTextures.IsCreated()) return;
    const TextureHandle& icon = scene->interfaceTextures[20];
    if (!icon.texture) return;
    for (i32 i = 0; i < robot->restBody && i < 100; ++i) {
        gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, 246.0f - 16.0f * static_cast<f32>(i), 15.0f));
        gd->sprite->Draw(icon.texture, &icon.sourceRect, nullptr, nullptr, 0xFFFFFFFFu);
    }
}

GMTCB_DrawSP_PracticeDisp::GMTCB_DrawSP_PracticeDisp()
{
    static const char* const kLines[] = {"按Ctrl+0创造1级AI",     "按Ctrl+1升级原靶机为1级AI", "按Ctrl+2创造靶机",
                                         "按Ctrl+3创造10级AI",    "按Ctrl+4创造相同靶机",      "按Ctrl+5创造相同动作AI",
                                         "按Ctrl+6创造相同10级AI", "按Ctrl+9摧毁全部AI"};
    for (const char* line : kLines) help += std::string(line) + "  \n";
}

i32 GMTCB_DrawSP_PracticeDisp::Proc()
{
    if (GetApplication()->IsKeyRepeat(plat::vk::Tab, 1000)) shown = shown ? 0 : 1;
    return kTaskKeep;
}

void GMTCB_DrawSP_PracticeDisp::DrawSP()
{
    CGameScene* scene = FindGameScene();
    plat::Font* font = FontSlot(1);
    if (!scene || !shown || PausedForPlayer(*scene) || !font) return;
    Darken(0xC0000000u);
    GetGraphicsDevice()->sprite->SetTransform(Mat4::Identity());
    const plat::GfxRect r{50, 50, 974, 718};
    GetTextureCache()->DrawTextDefault(font, help.c_str(), -1, &r, 0, 0xFFFFFFFFu);
}

i32 GMTCB_DrawSP_NetDetailDisp::Proc()
{
    if (GetApplication()->IsKeyRepeat(plat::vk::Tab, 1000)) shown = shown ? 0 : 1;
    CGameScene* scene = FindGameScene();
    if (shown && scene && frameCounter % 10 == 0) RebuildGroups(*scene);
    ++frameCounter;
    return kTaskKeep;
}

void GMTCB_DrawSP_NetDetailDisp::RebuildGroups(CGameScene& scene)
{
    groups.assign(20, {});
    if (!scene.robotTable.IsCreated()) return;
    for (i32 i = 0; i < 10; ++i) {
        const CRobot_Base* r = scene.robotTable[i];
        // A team outside the groups (only room settings set it) is not listed.
        if (!r || r->displayTeam == static_cast<i32>(kSpectatorTeam)) continue;
        if (r->displayTeam < 0 || r->displayTeam >= static_cast<i32>(groups.size())) continue;
        groups[static_cast<size_t>(r->displayTeam)].push_back(i);
    }
}

void GMTCB_DrawSP_NetDetailDisp::DrawSP()
{
    CGameScene* scene = FindGameScene();
    plat::Font* font = FontSlot(1);
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!scene || !shown || PausedForPlayer(*scene) || !font || !scene->robotTable.IsCreated()) return;
    CApplication& app = *GetApplication();
    Darken(0x64000000u);
    const TextureHandle& dot = app.sharedTextures[0];
    TextureCache* cache = GetTextureCache();
    auto text = [&](f32 x, f32 y, const char* s, u32 colour) {
        gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, x, y));
        const plat::GfxRect grey{1, 1, 513, 61}, main{0, 0, 512, 60};
        cache->DrawTextDefault(font, s, -1, &grey, 0, 0xFFB4B4B4u);
        cache->DrawTextDefault(font, s, -1, &main, 0, colour);
    };
    auto fill = [&](f32 x, f32 y, f32 w, f32 h, u32 colour) {
        if (!dot.texture || dot.sourceRect.Width() <= 0 || dot.sourceRect.Height() <= 0) return;
        Mat4 m;
        plat::MatrixScaling(&m, w / static_cast<f32>(dot.sourceRect.Width()) * app.video.screenScaleX,
                            h / static_cast<f32>(dot.sourceRect.Height()) * app.video.screenScaleY, 1.0f);
        m.m[3][0] = x * app.video.screenScaleX;
        m.m[3][1] = y * app.video.screenScaleY;
        gd->sprite->SetTransform(m);
        gd->sprite->Draw(dot.texture, &dot.sourceRect, nullptr, nullptr, colour);
    };
    const u32 own = GetRoomState().ownSlot;
    i32 row = 0;
    for (const std::vector<i32>& group : groups)
        for (i32 index : group) {
            CRobot_Base* r = scene->robotTable[index];
            if (!r || r->displayTeam == static_cast<i32>(kSpectatorTeam)) continue;
            const f32 y = 50.0f + 60.0f * static_cast<f32>(row++);
            const u32 c = CApplication::GetColor(r->displayTeam);
            if (static_cast<u32>(index) == own) {
                gd->sprite->Flush();
                SetAddBlend();
                fill(0.0f, y, 1024.0f, 60.0f, 0xC8646464u);
                gd->sprite->Flush();
                SetAlphaBlend();
            }
            if (r->pilotIndex >= 0 && r->pilotIndex < MaxPilots) {
                TextureHandle& face = GetPilotRegistry()->slots[r->pilotIndex].pictures[0];
                if (face.texture) {
                    Mat4 m = LayoutMatrix(1.0f, 1.0f, 774.0f, y);
                    m.m[0][0] *= 0.4f;
                    m.m[1][1] *= 0.4f;
                    gd->sprite->SetTransform(m);
                    const plat::GfxRect src{0, 0, 200, 150};
                    gd->sprite->Draw(face.texture, &src, nullptr, nullptr, 0xC0FFFFFFu);
                }
            }
            if (r->GetKind() == kKindRobot) {
                const auto* robot = static_cast<CRobot_Normal*>(r);
                if (robot->modelData && robot->modelData->faceTexture.texture) {
                    Mat4 m = LayoutMatrix(1.0f, 1.0f, 854.0f, y);
                    m.m[0][0] *= 0.9375f;
                    m.m[1][1] *= 0.9375f;
                    gd->sprite->SetTransform(m);
                    const TextureHandle& face = robot->modelData->faceTexture;
                    gd->sprite->Draw(face.texture, &face.sourceRect, nullptr, nullptr, 0xC0FFFFFFu);
                }
            }
            char line[512];
            std::snprintf(line, sizeof line, "%02d:%s", index + 1, r->displayName);
            text(20.0f, y, line, c);
            std::snprintf(line, sizeof line, "机:%s", r->typeName);
            text(400.0f, y, line, c);
            const PlayerEntry* entry = index < app.players.GetCount() ? &app.players[index] : nullptr;
            if (r->controlMode == kControlNetwork && entry) {
                if (entry->waitCounter >= 10)
                    std::snprintf(line, sizeof line, "Fps=%d Ping=%d 等待[%d]", entry->peerFps,
                                  static_cast<i32>(entry->peerPing), entry->waitCounter / 10);
                else
                    std::snprintf(line, sizeof line, "Fps=%d Ping=%d", entry->peerFps, static_cast<i32>(entry->peerPing));
                text(640.0f, y, line, c);
            }
            std::string parts = "HP:                残机数-" + std::to_string(r->restBody) + " ";
            for (i32 p = 0; p < 4; ++p) parts += "[" + PartName(r->Part(p)) + "]";
            text(30.0f, y + 24.0f, parts.c_str(), c);
            fill(70.0f, y + 36.0f, 100.0f, 4.0f, 0xFFFF0000u);
            f32 green = r->HpFraction() * 100.0f;
            if (r->pilotIndex >= 0 && r->pilotIndex < MaxPilots) {
                const PilotSlot& slot = GetPilotRegistry()->slots[r->pilotIndex];
                if (slot.uploadTotal != -1) {
                    green = slot.uploadTotal > 0 ? static_cast<f32>(slot.uploadReceived) /
                                                       static_cast<f32>(slot.uploadTotal) * 100.0f
                                                 : 0.0f;
                    std::snprintf(line, sizeof line, "(%u/%d)", slot.uploadReceived, slot.uploadTotal);
                    if (plat::Font* small = FontSlot(4)) {
                        gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, 70.0f, y + 42.0f));
                        const plat::GfxRect rr{0, 0, 512, 60};
                        cache->DrawTextDefault(small, line, -1, &rr, 0, c);
                    }
                }
            }
            fill(70.0f, y + 36.0f, green, 4.0f, 0xFF00FF00u);
        }
}
