#pragma once
// The room's arrow buttons. A button that changes a participant or a room
// setting only sends the changed value; what is shown changes when the
// server's answer reaches every client. The music choice alone is local.
#include <string>

#include "platform/core/Types.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"

class CRoomScene;
class TextureHandle;

class ButtonBase {
public:
    ButtonBase() = default;
    virtual ~ButtonBase() = default;
    virtual void UpdateLabel() {}
    virtual void Place(i32 px, i32 py, TextureHandle* pic, u32 c);
    virtual void OnClick() = 0;
    virtual void Draw() {}
    // The picture's rectangle at the button's corner holds the point (edges in).
    bool Hit(i32 px, i32 py) const;

    i32 x = 0, y = 0;
    u32 colour = 0;
    TextureHandle* picture = nullptr;
    u32 enabled = 0;
    u32 visible = 0;
    Mat4 transform;
    i32 row = 0;
    std::string label;
    plat::GfxRect labelRect{16, -4, 276, 24};
};

class GM_Button : public ButtonBase {
public:
    void Draw() override;
};

// Rows: robot, team and computer player of participant `row`.
class CButton_RowBase : public GM_Button {
public:
    void UpdateLabel() override;
};
class CButton_RoboL : public CButton_RowBase { public: void OnClick() override; };
class CButton_RoboR : public CButton_RowBase { public: void OnClick() override; };
class CButton_TeamL : public CButton_RowBase { public: void OnClick() override; };
class CButton_TeamR : public CButton_RowBase { public: void OnClick() override; };
class CButton_AI : public GM_Button {
public:
    void UpdateLabel() override;
    void OnClick() override;
};
class CButton_Bgm_L : public GM_Button { public: void OnClick() override; };
class CButton_Bgm_R : public GM_Button { public: void OnClick() override; };

// Setting rows.
class CButton_RagFM_L : public GM_Button {
public:
    void UpdateLabel() override;
    void OnClick() override;
};
class CButton_RagFM_R : public GM_Button { public: void OnClick() override; };
class CButton_Chat : public GM_Button {
public:
    CButton_Chat() { labelRect = {-260, -4, 0, 24}; }
    void UpdateLabel() override;
    void OnClick() override;
};
class CButton_StageNo_L : public GM_Button {
public:
    void UpdateLabel() override;
    void OnClick() override;
};
class CButton_StageNo_R : public GM_Button { public: void OnClick() override; };
class CButton_CostRate_L : public GM_Button {
public:
    void UpdateLabel() override;
    void OnClick() override;
};
class CButton_CostRate_R : public GM_Button { public: void OnClick() override; };
class CButton_HpRate_L : public GM_Button {
public:
    void UpdateLabel() override;
    void OnClick() override;
    f32 step = 0.1f, minimum = 0.1f;
};
class CButton_HpRate_R : public GM_Button {
public:
    void OnClick() override;
    f32 step = 0.1f, maximum = 10.0f;
};
class CButton_GeneRate_L : public GM_Button {
public:
    void UpdateLabel() override;
    void OnClick() override;
};
class CButton_GeneRate_R : public GM_Button {
public:
    void OnClick() override;
    f32 maximum = 10.0f;
};
class CButton_GameTime_L : public GM_Button {
public:
    void UpdateLabel() override;
    void OnClick() override;
};
class CButton_GameTime_R : public GM_Button { public: void OnClick() override; };
class CButton_Voice : public GM_Button {
public:
    CButton_Voice() { labelRect = {-260, -4, 0, 24}; }
    void UpdateLabel() override;
    void OnClick() override;
};
class CButton_Item : public GM_Button {
public:
    CButton_Item() { labelRect = {-260, -4, 0, 24}; }
    void UpdateLabel() override;
    void OnClick() override;
};
class CButton_PopType : public GM_Button {
public:
    CButton_PopType() { labelRect = {-260, -4, 0, 24}; }
    void UpdateLabel() override;
    void OnClick() override;
};

// Creates the room's whole button set into the scene's slots.
void CreateRoomButtons(CRoomScene& scene);
