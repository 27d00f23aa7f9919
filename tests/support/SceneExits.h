#pragma once
// Stand-in scenes a scene under test leaves for; each counts its arrivals.
#include "app/scene/BaseScene.h"

template <int Id>
class ExitScene : public MenuScene {
public:
    ~ExitScene() override { SceneInstance<ExitScene>() = nullptr; }
    void Init() { ++arrivals; }
    static inline int arrivals = 0;
};

inline BaseScene* GetBattleExit() { return GetSceneInstance<ExitScene<0>>(); }
inline BaseScene* GetTitleExit() { return GetSceneInstance<ExitScene<1>>(); }
