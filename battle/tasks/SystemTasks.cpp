#include "battle/tasks/SystemTasks.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

#include "app/core/Application.h"
#include "app/player/RoomState.h"
#include "app/scene/TitleScene.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "battle/RoomMessages.h"
#include "battle/hud/OverlayTasks.h"
#include "battle/stage/BattleMap.h"
#include "battle/stage/MapCollision.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "engine/sound/SoundManager.h"
#include "platform/core/Time.h"
#include "platform/input/Keyboard.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponBase.h"

namespace {

i32 Clamp255(i32 v) { return std::clamp(v, 0, 255); }

// Thousands of effects lie scattered on the heap and each runs only briefly,
// so fetching the next one while this one runs comes too late. Instead each
// object is fetched a few places before its turn through the hint left by the
// last pass. A stale hint (an object moved or freed since) costs a useless
// fetch only: prefetches never fault.
constexpr u32 kRunAhead = 8;

// The cache lines (bit n: bytes 64n to 64n + 63) that bytes [at, at + size)
// of an object lie on.
constexpr u32 LinesOf(std::size_t at, std::size_t size)
{
    u32 lines = 0;
    for (std::size_t line = at / 64; line <= (at + size - 1) / 64 && line < 32; ++line) lines |= 1u << line;
    return lines;
}

// When effects are many the run pass waits on memory, not on the processor,
// so it fetches only the lines a plain effect's run reads: its links and
// flags, its colour, its place and the first fields of its own class (pool
// slots of that size start on a line). Other objects are few; what they read
// beyond those lines comes as they run. The hit pass reads more of its
// weapons and fetches their first five lines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
constexpr u32 kRunLines = LinesOf(0, sizeof(BB_Base)) | LinesOf(offsetof(BB_Standard, Quad.colour), sizeof(u32)) |
                          LinesOf(offsetof(BB_Standard, World.m[3]), 3 * sizeof(f32)) |
                          LinesOf(sizeof(BB_Standard), 4 * sizeof(f32));
#pragma GCC diagnostic pop
constexpr u32 kHitLines = LinesOf(0, 320);

// Always inlined: a call to a function that only prefetches looks free of
// effects to the optimiser, which then drops it.
template <u32 kLines>
[[gnu::always_inline]] inline void PrefetchObject(const BB_Base* o)
{
    if (!o) return;
    const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(o);
#pragma GCC unroll 32
    for (u32 line = 0; line < 32; ++line)
        if (kLines & (1u << line)) __builtin_prefetch(reinterpret_cast<const void*>(p + 64u * line));
}

// One run pass: a finished object stays in its list, drawn but not run, and
// is freed only once its countdown has passed, so others may still read its
// flag for two frames.
void RunObjects(CGameScene& scene, CList<BB_Base>& list)
{
    // The last objects walked, still alive: nothing is freed during the pass.
    BB_Base* recent[kRunAhead] = {};
    u32 step = 0;
    ScopedFireProc walk(0);
    for (BB_Base* o = list.GetHead()->next; o && o != list.GetTail(); o = o->next) {
        PrefetchObject<kRunLines>(o->RunAhead);
        BB_Base*& behind = recent[step++ % kRunAhead];
        if (behind) behind->RunAhead = o;
        behind = o;
        if (o->Removed) continue;
        RunAsFireProc(o->FireProc);
        const i32 r = o->Run();
        if (r == 0) continue;
        o->Removed = 1;
        scene.deleteQueue.push_back({&list, o, r < 1 ? 3 : (r > INT_MAX - 2 ? INT_MAX : r + 2)});
    }
}

// Frees in queue order; the records left keep theirs.
void RunDeleteQueue(CGameScene& scene)
{
    std::vector<BB_DelNode>& queue = scene.deleteQueue;
    size_t kept = 0;
    for (BB_DelNode& n : queue) {
        if (--n.countdown >= 1) {
            queue[kept++] = n;
            continue;
        }
        if (n.list && n.object) n.list->Erase(n.object);
    }
    queue.resize(kept);
}

f32 Uniform(cMTRand& random, f32 low, f32 high)
{
    return low + static_cast<f32>(static_cast<double>(random.GetRand()) / 4294967296.0) * (high - low);
}

void UpdateBounds(BattleMap& map, CMapObjNode& object)
{
    if (object.partIndex >= map.parts.GetCount()) return;
    MapPartData& part = map.parts[object.partIndex];
    if (part.hitMesh)
        TransformAabb(&object.hitMin, &object.hitMax, part.hitMesh->boxMin, part.hitMesh->boxMax, object.matrix);
    if (part.drawMesh)
        TransformAabb(&object.drawMin, &object.drawMax, part.drawMesh->boxMin, part.drawMesh->boxMax, object.matrix);
}

// Destroyed map objects: a replacement part appears in their place, the
// wreck sinks with ground smoke, and the record goes once it is under.
void SinkDestroyedObjects(CGameScene& scene)
{
    BattleMap& map = scene.battleMap;
    cMTRand& random = GetBattleRandom();
    CList<MapDestroyObjNode>& list = map.destroyList;
    for (MapDestroyObjNode* d = list.GetHead()->next; d && d != list.GetTail();) {
        if (d->destroyProc != 1 || !d->object) {
            d = list.Erase(d);
            continue;
        }
        CMapObjNode* object = d->object;
        const i32 replacement = d->destroyParams[0];
        if (d->frame == 0 && replacement >= 0 && replacement < map.parts.GetCount() && d->cell) {
            CMapObjNode* added = d->cell->objects.NewNode(object->priority);
            map.CellsChanged();
            if (added) {
                added->matrix = object->matrix;
                added->inverse = object->inverse;
                added->placement = object->placement;
                added->column = object->column;
                added->row = object->row;
                added->partIndex = static_cast<u16>(replacement);
                added->script = object->script;
                std::copy(std::begin(object->vars), std::end(object->vars), std::begin(added->vars));
                added->SetInt(kMapVarFlag, 0);
                UpdateBounds(map, *added);
            }
        }
        object->matrix.m[3][1] -= 0.02f;
        plat::MatrixInverse(&object->inverse, nullptr, &object->matrix);
        if (d->frame % 5 == 0) {
            for (i32 i = 0; i < 5; ++i) {
                // Draw order: a, b, then the rise speed.
                const f32 a = Uniform(random, -1.0f, 1.0f);
                const f32 b = Uniform(random, -1.0f, 1.0f);
                const f32 rise = Uniform(random, 0.0f, 0.2f);
                Vec3 dir{a, 0.0f, b};
                plat::Vec3Normalize(&dir, &dir);
                const Vec3 at{object->matrix.m[3][0] + 2.0f * dir.x, 0.0f, object->matrix.m[3][2] + 2.0f * dir.z};
                const Vec3 velocity{0.3f * a, rise, 0.3f * b};
                BB_GSmoke* smoke = NewObject<BB_GSmoke>(&scene.effectList, 1);
                if (smoke)
                    smoke->Set(&at, 8.0f, &velocity, 0, scene.effectTextures[11].texture, 0xC8FFFFFFu, -4, 0.005f);
            }
        }
        ++d->frame;
        if (d->frame >= d->dropHeight) {
            object->SetInt(kMapVarFlag, 2);
            d = list.Erase(d);
            continue;
        }
        d = d->next;
    }
}

void AdvancePhases(CGameScene& scene)
{
    for (i32 i = 0; i < 2; ++i) {
        scene.animPhase[i] += 0.0005f;
        if (scene.animPhase[i] >= 1.0f) scene.animPhase[i] = 0.0f;
    }
    scene.animPhase[2] += 0.01f;
    if (scene.animPhase[2] > 1.0f) scene.animPhase[2] = 0.0f;
}

}  // namespace

void TransformAabb(Vec3* outMin, Vec3* outMax, const Vec3& boxMin, const Vec3& boxMax, const Mat4& matrix)
{
    for (i32 i = 0; i < 8; ++i) {
        const Vec3 corner{(i & 1) ? boxMax.x : boxMin.x, (i & 2) ? boxMax.y : boxMin.y, (i & 4) ? boxMax.z : boxMin.z};
        Vec3 p;
        plat::Vec3TransformCoord(&p, &corner, &matrix);
        if (i == 0) {
            *outMin = *outMax = p;
            continue;
        }
        outMin->x = std::min(outMin->x, p.x);
        outMin->y = std::min(outMin->y, p.y);
        outMin->z = std::min(outMin->z, p.z);
        outMax->x = std::max(outMax->x, p.x);
        outMax->y = std::max(outMax->y, p.y);
        outMax->z = std::max(outMax->z, p.z);
    }
}

// ---- start banner --------------------------------------------------------------

void GMTCB_Proc_GameStartDisp::Start()
{
    counter = 0;
    phase = 0;
    banner = GMTCB_DrawPS_Picture::Create(owner, 199);
    if (banner) banner->SetPicture(0, "Quillon/startbattle.png");
}

i32 GMTCB_Proc_GameStartDisp::Proc()
{
    CGameScene* scene = FindGameScene();
    if (scene && scene->paused) return kTaskKeep;
    if (!banner) return kTaskRemove;
    if (phase == 0) {
        if (banner->alpha + 10 > 255) {
            banner->alpha = 255;
            phase = 1;
            counter = 0;
        } else {
            banner->alpha += 10;
        }
    } else if (phase == 1) {
        if (++counter > 60) phase = 2;
    } else {
        if (banner->alpha - 5 < 0) {
            banner->alpha = -1;
            banner = nullptr;
            return kTaskRemove;
        }
        banner->alpha -= 5;
    }
    return kTaskKeep;
}

// ---- start sequence ----------------------------------------------------------

void GMTCB_GameStart::Setup()
{
    fade = 255;
    cover = GMTCB_DrawPS_Black::Create(owner, 200);
    if (cover) cover->alpha = Clamp255(fade);
}

void GMTCB_GameStart::Cut(CGameScene& scene)
{
    if (cover) cover->alpha = -1;
    cover = nullptr;
    scene.hudHideBits &= ~kHudUnderCover;
    fade = -1;
}

i32 GMTCB_GameStart::Proc()
{
    if (fade < 0) return kTaskRemove;
    CGameScene* scene = FindGameScene();
    if (!scene || scene->paused) return kTaskKeep;
    if (cover) cover->alpha = Clamp255(fade);
    scene->hudHideBits |= kHudUnderCover;
    fade -= 2;
    if (fade > 0) return kTaskKeep;
    fade = 0;
    CList<BB_Base>& units = scene->unitList;
    for (BB_Base* o = units.GetHead()->next; o && o != units.GetTail(); o = o->next)
        if (IsUnit(o)) static_cast<CRobot_Base*>(o)->inputEnabled = 1;
    if (cover) cover->alpha = -1;
    cover = nullptr;
    scene->hudHideBits &= ~kHudUnderCover;
    return kTaskRemove;
}

// ---- camera ------------------------------------------------------------------

void GMTCB_Camera::Draw()
{
    CGameScene* scene = FindGameScene();
    if (!scene || !scene->currentView) return;
    CCamera& camera = scene->camera;
    camera.second = camera.world;
    const u32 p = scene->currentView->player;
    if (p < static_cast<u32>(scene->currentView->matrices.GetCount())) scene->currentView->matrices[p] = camera.world;
    CRobot_Base* robot = p < static_cast<u32>(kRobotTableSize) ? scene->robotTable[p] : nullptr;
    if (robot) {
        robot->UpdateCamera();
    } else {
        camera.world = Mat4::Identity();
        camera.Apply();
    }
    GraphicsDevice* gd = GetGraphicsDevice();
    const Vec3 eye = scene->Eye();
    const Vec4 eyePos{eye.x, eye.y, eye.z, 0.0f};
    const float dir[3] = {gd->light.direction.x, gd->light.direction.y, gd->light.direction.z};
    for (ShaderBase* effect : gd->effects)
        if (effect) effect->SetLighting(dir, &eyePos);
    const plat::GfxViewport& vp = scene->currentView->viewport;
    const double aspect = vp.height ? static_cast<double>(vp.width) / static_cast<double>(vp.height) : 1.0;
    scene->frustum.Build(60.0f, static_cast<float>(aspect), 0.1f, scene->StageFarDistance(), &camera.world);
    scene->ProjectUnitsToScreen();
}

// ---- keys --------------------------------------------------------------------

namespace {

// Practice keys on the numeric keypad: Ctrl with a digit changes the
// opponent or adds robots near the player's; the spawned robots act at once.
void PracticeKeys(CGameScene& scene, CApplication& app)
{
    auto asRobot = [](CRobot_Base* r) {
        return r && r->GetKind() == kKindRobot ? static_cast<CRobot_Normal*>(r) : nullptr;
    };
    CRobot_Normal* player = asRobot(scene.robotTable[0]);
    CRobot_Normal* opponent = asRobot(scene.robotTable[1]);
    const bool ctrl = plat::IsKeyDown(plat::vk::Control);
    auto pressed = [&](i32 digit) { return app.IsKeyRepeat(plat::vk::Numpad0 + digit, 100000) != 0; };
    if (!ctrl) return;
    if (pressed(0) && opponent) opponent->aiLevel = std::max(0, opponent->aiLevel - 1);
    if (pressed(1) && opponent) opponent->aiLevel = std::min(10, opponent->aiLevel + 1);
    // Draw order: type, team, u, v, colour.
    auto spawn = [&](bool randomType, bool ownTeam, u8 control, i32 level) {
        if (!player) return;
        cMTRand& random = GetBattleRandom();
        const u32 types = std::min<u32>(app.robotFolders.count, kRobotTypeCount);
        const i32 type = randomType ? (types ? static_cast<i32>(random.GetRand() % types) : 0) : player->spawnType;
        const i32 team = ownTeam ? player->team : static_cast<i32>(random.GetRand() % 4);
        const f32 u = static_cast<f32>(static_cast<double>(random.GetRand()) / 4294967296.0);
        const f32 v = static_cast<f32>(static_cast<double>(random.GetRand()) / 4294967296.0);
        const i32 colour = static_cast<i32>(random.GetRand() % 4);
        const Mat4& at = player->worldMatrix;
        CRobot_Normal* r = scene.SpawnRobot(type, at.m[3][0] + 2.0f * u - 1.0f, at.m[3][1] + 2.0f,
                                            at.m[3][2] + 2.0f * v - 1.0f, 1.0f, team, control, colour, 0.0f, nullptr);
        if (!r) return;
        r->aiLevel = level;
        r->inputEnabled = 1;
    };
    if (pressed(2)) spawn(true, false, kControlComputer, 0);
    if (pressed(3)) spawn(true, false, kControlComputer, 10);
    if (pressed(4)) spawn(false, false, kControlComputer, 0);
    if (pressed(5)) spawn(false, true, kControlLocal, 0);
    if (pressed(6)) spawn(false, true, kControlComputer, 10);
    if (pressed(9)) {
        CList<BB_Base>& units = scene.unitList;
        for (BB_Base* o = units.GetHead()->next; o && o != units.GetTail(); o = o->next) {
            CRobot_Normal* r = asRobot(o->GetKind() == kKindRobot ? static_cast<CRobot_Base*>(o) : nullptr);
            if (r && r != scene.robotTable[0] && r != scene.robotTable[1] && r->state == kRobotStateLive) r->Defeat();
        }
    }
}

}  // namespace

i32 GMTCB_SystemKey::Proc()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return kTaskKeep;
    CApplication& app = *GetApplication();
    VideoSettings& video = app.video;
    constexpr u32 kOnce = 100000;
    if (app.IsKeyRepeat(plat::vk::F1 + 3, kOnce)) {
        if (video.hdr == 0) {
            if (video.disableShader == 0) video.hdr = 1;
        } else {
            video.hdr = 0;
        }
    }
    if (app.IsKeyRepeat(plat::vk::F1 + 4, kOnce)) {
        if (scene->shadowOn == 0) {
            if (video.disableShader == 0 && static_cast<i8>(video.shadow) > 0) scene->shadowOn = 1;
        } else {
            scene->shadowOn = 0;
        }
    }
    if (app.IsKeyRepeat(plat::vk::F1 + 5, kOnce)) video.viewMode = (video.viewMode + 1) % 3;
    if (app.IsKeyRepeat(plat::vk::F1 + 6, kOnce)) scene->chatLogShown = scene->chatLogShown ? 0 : 1;

    if (scene->radioVoiceWait >= 1) {
        --scene->radioVoiceWait;
    } else if (!scene->chatInputActive) {
        for (u32 n = 0; n < 10; ++n) {
            if (!app.IsKeyRepeat('0' + n, kOnce)) continue;
            if (scene->battleSettings.gameMode == GameMode::Online)
                SendRadioVoice(static_cast<u16>(n), plat::IsKeyDown(plat::vk::Control) ? 1 : 0);
            CRobot_Base* own = scene->robotTable[static_cast<i32>(scene->playerSlot % kRobotTableSize)];
            if (own) own->pendingRadioLine = static_cast<i32>(n);
            scene->radioVoiceWait = 60;
            break;
        }
    }

    if (scene->battleSettings.gameMode == GameMode::Practice) PracticeKeys(*scene, app);

    // Any of the player's keys ends a demonstration battle.
    if (scene->battleSettings.modeOption == 1) {
        bool pressed = app.input.keyTable[plat::vk::Return] & 0x80 || app.input.keyTable[plat::vk::Escape] & 0x80;
        for (i32 i = 0; i < app.input.padKeyMap.GetCount() && !pressed; ++i)
            pressed = app.input.keyTable[app.input.padKeyMap[i]] & 0x80;
        if (pressed) {
            SwitchScene(GetTitleSceneAsBase);
            return kTaskSceneReplaced;
        }
    }
    return kTaskKeep;
}

// ---- objects -----------------------------------------------------------------

i32 GMTCB_ObjectRun::Proc()
{
    CGameScene* scene = FindGameScene();
    if (!scene) return kTaskKeep;
    CApplication& app = *GetApplication();
    if (app.IsKeyRepeat(plat::vk::Escape, 999999)) {
        const bool online = scene->battleSettings.gameMode == GameMode::Online;
        if (online || scene->paused == 0) {
            if (scene->OpenPauseMenu() && !online) scene->paused = 1;
        }
    }
    if (scene->paused) return kTaskKeep;
    RunObjects(*scene, scene->unitList);
    Mat4 scale, sky;
    plat::MatrixScaling(&scale, 350.0f, 350.0f, 350.0f);
    sky = scale;
    const Vec3 eye = scene->Eye();
    sky.m[3][0] = eye.x;
    sky.m[3][1] = -20.0f;
    sky.m[3][2] = eye.z;
    scene->battleMap.sky.world = sky;
    scene->laserDrawList.Init();
    RunObjects(*scene, scene->weaponList);
    RunObjects(*scene, scene->effectList);
    RunObjects(*scene, scene->itemList);
    RunDeleteQueue(*scene);
    SinkDestroyedObjects(*scene);
    AdvancePhases(*scene);
    return kTaskKeep;
}

// ---- collisions --------------------------------------------------------------

i32 GMTCB_HitTestRun::Proc()
{
    CGameScene* scene = FindGameScene();
    if (!scene || scene->paused) return kTaskKeep;
    BeginWeaponHitPass();
    BeginMapHitPass(scene->battleMap);
    for (CList<BB_Base>* list : {&scene->unitList, &scene->weaponList, &scene->itemList})
        for (BB_Base* o = list->GetHead()->next; o && o != list->GetTail(); o = o->next) {
            // The run pass has just left its hints: fetch ahead as it did.
            PrefetchObject<kHitLines>(o->RunAhead);
            if (!o->Removed) o->HitTestPass();
        }
    EndMapHitPass();
    EndWeaponHitPass();
    return kTaskKeep;
}

// ---- listener ----------------------------------------------------------------

i32 GMTCB_Listener::Proc()
{
    CGameScene* scene = FindGameScene();
    SoundManager& sound = GetSoundManager();
    if (!scene || !sound.HasListener()) return kTaskKeep;
    const Mat4& world = scene->camera.world;
    const Mat4& previous = scene->camera.second;
    const Vec3 eye{world.m[3][0], world.m[3][1], world.m[3][2]};
    const Vec3 velocity{(eye.x - previous.m[3][0]) * 6.0f, (eye.y - previous.m[3][1]) * 6.0f,
                        (eye.z - previous.m[3][2]) * 6.0f};
    const Vec3 front{world.m[2][0], world.m[2][1], world.m[2][2]};
    const Vec3 top{world.m[1][0], world.m[1][1], world.m[1][2]};
    sound.SetListener(eye, velocity, front, top);
    sound.CommitDeferredSettings();
    return kTaskKeep;
}

// ---- back to the title -------------------------------------------------------

GoTitleWait& GetGoTitleWait()
{
    static GoTitleWait wait;
    return wait;
}

void GMTCB_GoTitle::Start(CGameScene*)
{
    fade = 0;
    overlay = GMTCB_DrawPS_Black::Create(owner, 100000);
    if (overlay) overlay->alpha = Clamp255(fade);
}

i32 GMTCB_GoTitle::Proc()
{
    if (overlay) overlay->alpha = Clamp255(fade);
    fade += 6;
    if (fade <= 255) return kTaskKeep;
    fade = 255;
    if (overlay) overlay->alpha = -1;
    DisconnectNetClients();
    // The second of black stays, but the window keeps answering meanwhile.
    const GoTitleWait& wait = GetGoTitleWait();
    const u32 start = plat::TimeGetTime();
    do {
        ServeWindowEvents();
        plat::Sleep(wait.ms < 10 ? wait.ms : 10);
    } while (plat::TimeGetTime() - start < wait.ms);
    SwitchScene(GetTitleSceneAsBase);
    return kTaskSceneReplaced;
}
