#pragma once
// The arcade screen between battles: on a new run the number of players,
// the difficulty and each player's character selection (run nested); before
// every stage its picture and title over flying light streaks; after the
// last stage GAME CLEAR with the reward, the ranking and, when a robot was
// unlocked, the new robot. It leaves for the battle or the title.
#include "app/scene/BaseScene.h"
#include "app/scene/Camera.h"
#include "engine/graphics/BillboardQuad.h"
#include "engine/graphics/TextureManager.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class CCharaSelectScene;
class TCB_FadeOut;
class TCB_RankingInput;
class TCB_RankingList;

enum NormalBattlePicture : i32 { NBPictureDot = 0, NBPictureBlueBall = 1, NBPictureBeam = 2 };
enum NormalBattleSound : i32 { NBSoundTurn = 0, NBSoundDecide = 1, NBSoundShift = 2 };

class CNormalBattleScene : public MenuScene {
public:
    CNormalBattleScene() = default;
    ~CNormalBattleScene() override;

    void Init();
    // Saves the part inventory once more and frees the sounds.
    void Release();
    // Writes the part inventory at once: the clear reward is saved as it is
    // given, so a crash on the screens after it keeps the parts. A failed
    // save keeps the old file and is told in the notice strip.
    void SaveInventory(bool tell);

    i32 frame = 0;
    TextureHandle images[3];
    TextureHandle stagePicture;
    i32 flag = 0;
    CCamera camera;
    // 1 when the last save of the part inventory failed.
    i32 saveFailed = 0;

protected:
    i32 FrameBody() override;
    void DrawFrame() override;
    bool PassesReplacementOn() const override { return true; }
};

CNormalBattleScene* GetNormalBattleScene();
BaseScene* GetNormalBattleSceneAsBase();

class NBTCB_Normal : public TCB {
public:
    using Phase = i32 (NBTCB_Normal::*)();
    using Drawing = void (NBTCB_Normal::*)();

    NBTCB_Normal();
    ~NBTCB_Normal() override;
    static NBTCB_Normal* Create(CList<TCB>* list, u32 priority);

    i32 Proc() override { return (this->*phase)(); }
    void Draw() override;
    void DrawSP() override
    {
        if (draw) (this->*draw)();
    }

    i32 Phase_Players();
    i32 Phase_Difficulty();
    i32 Phase_Select1();
    i32 Phase_Select2();
    i32 Phase_Stage();
    i32 Phase_Clear();
    i32 Phase_RankingEntry();
    i32 Phase_RankingList();
    i32 Phase_NewRobot();
    i32 Phase_ToTitle();
    i32 Phase_ToBattle();

    void Draw_Players();
    void Draw_Difficulty();
    void Draw_Stage();
    void Draw_Clear();
    void Draw_Ranking();
    void Draw_NewRobot();

    CNormalBattleScene* scene = nullptr;
    i32 counter = 0;
    Phase phase = nullptr;
    Drawing draw = nullptr;
    char rewardText[1024] = {};
    CCharaSelectScene* subScene = nullptr;
    i32 fading = 0;
    TCB_FadeOut* fade = nullptr;
    i32 players = 0;
    i32 unlockedRobot = -1;
    TextureHandle robotPicture;
    TCB_RankingInput* rankingInput = nullptr;
    TCB_RankingList* rankingList = nullptr;

private:
    void SetPhase(Phase p, Drawing d)
    {
        phase = p;
        draw = d;
    }
    void SetPhase(Phase p) { phase = p; }
    void StartSelection(i32 playerIndex);
    void EndSelection();
    i32 RunSelection(bool second);
    void SpawnStreak(i32 picture);
    void FadeIn(u8 speed, bool white = false);
    void FadeOutBlack();
};

// One light streak of the stage screen.
class NBTCB_Beam : public TCB {
public:
    static NBTCB_Beam* Create(CList<TCB>* list, u32 priority);
    void Init(plat::GfxTexture* texture, f32 x, f32 y, f32 z);
    i32 Proc() override;
    void Draw() override;

    BillboardQuad quad;
    Mat4 world = Mat4::Identity();
    Vec3 velocity;
    i32 age = 0;
};
