// Sounds and pilot voices started by scripts: presentation only, they never
// touch the battle's random generator.
#include "app/player/PilotRegistry.h"
#include "battle/GameScene.h"
#include "engine/sound/SoundManager.h"
#include "robot/Robot.h"
#include "script/ScriptInterpreter.h"

void PlayScriptSound(CRobot_Normal& robot, i32 n)
{
    SoundManager& sounds = GetSoundManager();
    if (n < 0 || n >= sounds.GetSoundCount()) return;
    if (SoundObject* s = sounds.GetSound(n))
        s->Play3D(robot.worldMatrix.m[3][0], robot.worldMatrix.m[3][1], robot.worldMatrix.m[3][2], 0, 0);
}

// The watched robot is always heard, others near the listener; without a
// battle scene nobody is listening.
bool ScriptVoiceAudible(const CRobot_Normal& robot)
{
    const CGameScene* scene = FindGameScene();
    if (!scene) return false;
    if (const RenderView* view = scene->currentView) {
        const i32 watched = static_cast<i32>(view->player);
        if (watched < scene->robotTable.GetCount() && scene->robotTable[watched] == &robot) return true;
    }
    const f32 dx = robot.worldMatrix.m[3][0] - scene->listenerPoint[0];
    const f32 dy = robot.worldMatrix.m[3][1] - scene->listenerPoint[1];
    const f32 dz = robot.worldMatrix.m[3][2] - scene->listenerPoint[2];
    return dx * dx + dy * dy + dz * dz < 40.0f * 40.0f;
}

void PlayScriptVoice(CRobot_Normal& robot, i32 v)
{
    if (v < 0 || v > 6 || robot.pilotIndex < 0 || !ScriptVoiceAudible(robot)) return;
    PilotRegistry* pilots = GetPilotRegistry();
    if (!pilots || robot.pilotIndex >= pilots->count || robot.pilotIndex >= MaxPilots) return;
    PilotSlot& pilot = pilots->slots[robot.pilotIndex];
    switch (v) {
    case 0: pilot.PlayAttackVoice(); break;
    case 1: pilot.PlaySpecialAttackVoice(); break;
    case 2: pilot.PlayDamageVoice(); break;
    case 3: pilot.PlayDieVoice(); break;
    case 4: pilot.PlayDestroyVoice(); break;
    case 5: pilot.PlayRebirthVoice(); break;
    case 6: pilot.PlayWakeVoice(); break;
    default: break;
    }
}
