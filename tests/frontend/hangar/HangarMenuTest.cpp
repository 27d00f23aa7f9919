// The hangar's menus and idle camera on their frame counts, and the
// equipment rules: a part carried twice refused, destroyed parts gone from
// every robot record, the list sorted with the no-equipment part first, and
// empty lists safe.
#include "frontend/hangar/HangarScene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "frontend/hangar/HangarEquipMenu.h"
#include "frontend/hangar/HangarMenu.h"
#include "frontend/hangar/HangarTasks.h"
#include "support/TaskTestHelpers.h"
#include "support/TempFolder.h"

namespace {

u32 gNow = 0;
u32 FakeNow() { return gNow; }

constexpr u32 Up = 1, Down = 3, Decide = 12, Cancel = 13;

class HangarMenuTest : public testing::Test {
protected:
    void SetUp() override
    {
        gNow = 1000000;
        SetAppClock({FakeNow, [](u32) {}});
        app.partInventory.Reset();
        SceneInstance<CHangarScene>() = &scene;
    }
    void TearDown() override
    {
        for (u32& w : app.input.padState[0]) w = 0;
        app.input.keyTable[0x2E] = 0;
        SetAppClock({});
    }
    // One frame of the task list, with buttons held during it.
    i32 Frame(std::initializer_list<u32> buttons = {})
    {
        gNow += 200000;  // every repeat interval has passed
        for (u32 b : buttons) app.input.padState[0][b] = 1;
        const i32 result = RunTaskProcs(scene.Tasks());
        for (u32 b : buttons) app.input.padState[0][b] = 0;
        for (u32 b : buttons) app.IsPadButtonRepeat(0, b, 0);  // released
        return result;
    }
    template <class M>
    M* Open()
    {
        M* menu = M::Create(&scene.Tasks(), 10);
        for (int i = 0; i < 13; ++i) Frame();
        EXPECT_EQ(menu->state, HGTCB_MenuBase::Open);
        return menu;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const CGameItem_PowerUp* p : app.partInventory.parts) names.emplace_back(p->name);
        return names;
    }
    void AddParts(std::initializer_list<const char*> names)
    {
        for (const char* n : names) app.partInventory.AddNewPart()->SetText(n, "");
    }
    // The inventory file as it is on disk now, read back.
    std::unique_ptr<PartInventory> Saved() const
    {
        auto saved = std::make_unique<PartInventory>();
        EXPECT_EQ(saved->Load("vant-D"), 1);
        return saved;
    }
    std::string SavedBytes() const { return home.Read("data/Tervalis/vant-D"); }

    CApplication& app = *GetApplication();
    CHangarScene scene;
    // The menus save every change: into a folder of this test's own.
    TempFolder home;
    ScopedEnv dataHome{"XDG_DATA_HOME", (home / "data").c_str()};
};

TEST_F(HangarMenuTest, MenusOpenCloseAndTheCameraCyclesOnTheirFrameCounts)
{
    // A menu opens in 13 frames, fades out in 7, and goes 30 frames later;
    // its opener waits dimmed and takes input again once it has closed.
    auto* top = HGTCB_Menu_Top::Create(&scene.Tasks(), 10);
    for (int i = 0; i < 12; ++i) Frame();
    EXPECT_EQ(top->state, HGTCB_MenuBase::Opening);
    Frame();
    EXPECT_EQ(top->state, HGTCB_MenuBase::Open);
    EXPECT_FLOAT_EQ(top->alpha, 1.0f);
    EXPECT_FLOAT_EQ(top->xSlide, 0.0f);
    Frame({Up});
    EXPECT_EQ(top->cursor, 5) << "wraps upwards";
    Frame({Down});
    EXPECT_EQ(top->cursor, 0) << "and downwards";

    Frame({Decide});
    auto* robots = dynamic_cast<HGTCB_Menu_SelectFrame*>(top->child);
    ASSERT_NE(robots, nullptr);
    EXPECT_EQ(top->active, 0u);
    EXPECT_FLOAT_EQ(top->ShownAlpha(), 0.3f);
    EXPECT_FLOAT_EQ(robots->x, 150.0f);
    EXPECT_FLOAT_EQ(robots->y, 100.0f);
    for (int i = 0; i < 13; ++i) Frame();
    EXPECT_EQ(robots->state, HGTCB_MenuBase::Open);
    // No robot listed: decide only closes (the cursor lies outside the list).
    Frame({Decide});
    EXPECT_EQ(robots->state, HGTCB_MenuBase::Closing);
    for (int i = 0; i < 6; ++i) Frame();
    EXPECT_EQ(robots->state, HGTCB_MenuBase::Closing);
    Frame();
    EXPECT_EQ(robots->state, HGTCB_MenuBase::Closed);
    Frame();
    EXPECT_EQ(top->active, 1u) << "the opener sees the closed state the next frame";
    for (int i = 0; i < 28; ++i) Frame();
    EXPECT_EQ(CountOf<HGTCB_Menu_SelectFrame>(scene.Tasks()), 1);
    Frame();
    EXPECT_EQ(CountOf<HGTCB_Menu_SelectFrame>(scene.Tasks()), 0);

    // Hidden, cancel only shows the menu again.
    top->cursor = 4;
    Frame({Decide});
    EXPECT_EQ(top->visible, 0u);
    EXPECT_EQ(Frame({Cancel}), 0);
    EXPECT_EQ(top->visible, 1u);

    // The robot menu's ten-row window wraps with its cursor.
    struct Step {
        i32 count, cursor, first, step, wantCursor, wantFirst;
    } steps[] = {
        {25, 0, 0, -1, 24, 15},  {25, 24, 15, 1, 0, 0}, {25, 9, 0, 1, 10, 1},
        {25, 10, 1, -1, 9, 1},   {25, 1, 1, -1, 0, 0},  {4, 0, 0, -1, 3, 0},
        {0, 3, 2, 1, -1, 0},     {5, -1, 0, 1, 0, 0},
    };
    for (const Step& s : steps) {
        i32 cursor = s.cursor, first = s.first;
        StepListCursor(cursor, first, s.count, s.step);
        EXPECT_EQ(cursor, s.wantCursor) << s.count << " " << s.cursor << " " << s.step;
        EXPECT_EQ(first, s.wantFirst) << s.count << " " << s.cursor << " " << s.step;
    }

    // The camera: each shot starts at its pose plus one drift, asks for a
    // fade when its length is reached, and cuts in the frame that fade turns
    // dark (its 128th), the new pose set the frame after.
    auto* camera = HGTCB_Camera::Create(&scene.Tasks(), 1);
    scene.cameraTask = camera;
    const auto eye = [&] { return Vec3(scene.camera.world.m[3][0], scene.camera.world.m[3][1], scene.camera.world.m[3][2]); };
    for (int lap = 0; lap < 2; ++lap)
        for (i32 s = 0; s < HangarShotCount; ++s) {
            const HangarShot& shot = HangarShots[s];
            Frame();
            camera->Draw();
            EXPECT_NEAR(eye().x, shot.start[0] + shot.drift[0], 1e-5f) << "shot " << s;
            EXPECT_NEAR(eye().y, shot.start[1] + shot.drift[1], 1e-5f) << "shot " << s;
            EXPECT_NEAR(eye().z, shot.start[2] + shot.drift[2], 1e-5f) << "shot " << s;
            const Vec3 z(scene.camera.world.m[2][0], scene.camera.world.m[2][1], scene.camera.world.m[2][2]);
            const Vec3 at = HGTCB_Camera::Target(s, 0);
            const Vec3 to(at.x - eye().x, at.y - eye().y, at.z - eye().z);
            EXPECT_GT(z.x * to.x + z.y * to.y + z.z * to.z, 0.99f * std::sqrt(to.x * to.x + to.y * to.y + to.z * to.z));
            for (i32 f = 1; f < shot.length; ++f) {
                Frame();
                camera->Draw();
            }
            ASSERT_NE(camera->fade, nullptr) << "shot " << s;
            for (int f = 0; f < 127; ++f) {
                Frame();
                camera->Draw();
            }
            EXPECT_EQ(camera->shot, s);
            Frame();
            camera->Draw();
            EXPECT_EQ(camera->shot, (s + 1) % HangarShotCount);
            EXPECT_EQ(camera->fade, nullptr);
        }
    // Choosing a robot restarts at shot 0 without a fade.
    camera->shot = 3;
    camera->frameInShot = 55;
    camera->Restart();
    camera->Draw();
    EXPECT_NEAR(eye().x, 1.5f - 0.002f, 1e-5f);
    EXPECT_EQ(camera->frameInShot, 1);

    // The fade a hangar opens with clears in 255 frames and then goes.
    auto* fade = HGTCB_FadeInOut::Create(&scene.Tasks(), 100);
    fade->phase = 1;
    fade->level = HGTCB_FadeInOut::FullLevel;
    for (int i = 0; i < 255; ++i) {
        ASSERT_TRUE(InList(scene.Tasks(), fade));
        Frame();
    }
    EXPECT_EQ(fade->level, 0);
    Frame();
    EXPECT_FALSE(InList(scene.Tasks(), fade));
}

TEST_F(HangarMenuTest, EquipRefusesACarriedPartAndDestroyAndSortKeepTheInventorySound)
{
    PartInventory& inventory = app.partInventory;
    AddParts({"b", "a", "a", "c"});  // ids 1..4
    scene.current.robotIndex = 4;
    RobotRecord& shown = inventory.robots[4];
    shown.partIds[5] = 2;  // a slot the menus cannot edit still counts

    // The paint menu: a chosen set that is not owned reads as an owned one.
    shown.chosenColour = 42;
    shown.colourOwned[3] = shown.colourOwned[7] = 1;
    EXPECT_EQ(scene.ShownColourSet(), 0);
    shown.colourOwned[0] = 0;
    EXPECT_EQ(scene.ShownColourSet(), 3);
    auto* paint = Open<HGTCB_Menu_SelectColor>();
    paint->cursor = scene.ShownColourSet();
    Frame({Down});
    EXPECT_EQ(paint->cursor, 7) << "unowned sets are skipped";
    EXPECT_EQ(SavedBytes(), "") << "nothing is written before a change";
    Frame({Decide});
    EXPECT_EQ(shown.chosenColour, 7u);
    EXPECT_EQ(Saved()->robots[4].chosenColour, 7u) << "a change is on disk as it is made";
    EXPECT_EQ(paint->state, HGTCB_MenuBase::Open);
    const std::string painted = SavedBytes();
    Frame({Decide});
    EXPECT_EQ(SavedBytes(), painted) << "the set already chosen is no change";
    Frame({Down});
    EXPECT_EQ(paint->cursor, HGTCB_Menu_SelectColor::BackRow);
    Frame({Down});
    EXPECT_EQ(paint->cursor, 3) << "wraps to the first owned set";
    Frame({Cancel});

    // Fitting: the part carried in slot 5 is refused for slot 0 and the menu
    // stays; another part fits and closes it; entry 0 empties the slot.
    auto* choose = Open<HGTCB_Menu_SelectItem>();
    choose->SetSlot(0);
    EXPECT_EQ(choose->cursor, 0);
    choose->cursor = 2;
    Frame({Decide});
    EXPECT_EQ(shown.partIds[0], 0);
    EXPECT_EQ(choose->state, HGTCB_MenuBase::Open);
    EXPECT_EQ(SavedBytes(), painted) << "a refused part is no change";
    Frame({Down});
    Frame({Decide});
    EXPECT_EQ(shown.partIds[0], 3);
    EXPECT_EQ(Saved()->robots[4].partIds[0], 3);
    EXPECT_EQ(choose->state, HGTCB_MenuBase::Closing);
    choose = Open<HGTCB_Menu_SelectItem>();
    choose->SetSlot(0);
    EXPECT_EQ(choose->cursor, 3);
    choose->cursor = 0;
    Frame({Decide});
    EXPECT_EQ(shown.partIds[0], 0);
    EXPECT_EQ(Saved()->robots[4].partIds[0], 0);
    // A slot whose part is gone opens with no row selected; decide does nothing.
    shown.partIds[1] = 777;
    choose = Open<HGTCB_Menu_SelectItem>();
    choose->SetSlot(1);
    EXPECT_EQ(choose->cursor, -1);
    Frame({Decide});
    EXPECT_EQ(shown.partIds[1], 777);
    EXPECT_EQ(choose->state, HGTCB_MenuBase::Open);
    Frame({Down});
    EXPECT_EQ(choose->cursor, 0);
    Frame({Cancel});

    // Destroying part "a" (id 2) takes it off every robot, in use or not: a
    // later part given id 2 must not appear fitted to a robot unlocked later.
    inventory.robots[0].partIds[9] = 2;
    inventory.robots[60].partIds[3] = 2;
    ASSERT_EQ(inventory.robots[60].available, 0);
    auto* owned = Open<HGTCB_Menu_MyItem>();
    owned->cursor = 2;
    app.input.keyTable[0x2E] = 0x80;
    Frame();
    app.input.keyTable[0x2E] = 0;
    app.IsKeyRepeat(0x2E, 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"没有装备", "b", "a", "c"}));
    EXPECT_EQ(inventory.IndexOfPart(2), -1);
    EXPECT_EQ(shown.partIds[5], 0);
    EXPECT_EQ(inventory.robots[0].partIds[9], 0);
    EXPECT_EQ(inventory.robots[60].partIds[3], 0);
    EXPECT_EQ(owned->cursor, 2) << "the next part moved into its place";
    {
        const auto saved = Saved();
        EXPECT_EQ(saved->IndexOfPart(2), -1);
        EXPECT_EQ(saved->parts.size(), 4u);
        EXPECT_EQ(saved->robots[4].partIds[5], 0);
        EXPECT_EQ(saved->robots[60].partIds[3], 0);
    }
    EXPECT_EQ(inventory.AddNewPart()->partId, 2u);
    inventory.PartAt(4)->SetText("B", "");

    // Sorting through the item menu: bytes compared, entry 0 stays first
    // although its name sorts last.
    owned->cursor = 1;
    Frame({Decide});
    auto* item = dynamic_cast<HGTCB_Menu_ItemMenu*>(owned->child);
    ASSERT_NE(item, nullptr);
    for (int i = 0; i < 13; ++i) Frame();
    Frame({Decide});  // "sort"
    for (int i = 0; i < 8; ++i) Frame();
    EXPECT_EQ(owned->active, 1u);
    EXPECT_EQ(Names(), (std::vector<std::string>{"没有装备", "B", "a", "b", "c"}));
    {
        const auto saved = Saved();
        std::vector<std::string> names;
        for (const CGameItem_PowerUp* p : saved->parts) names.emplace_back(p->name);
        EXPECT_EQ(names, Names()) << "the sorted list, the new part among them";
    }
    // "Confirm" destroys the cursor part; the last part's destruction moves
    // the cursor up.
    owned->cursor = 4;
    Frame({Decide});
    item = dynamic_cast<HGTCB_Menu_ItemMenu*>(owned->child);
    ASSERT_NE(item, nullptr);
    for (int i = 0; i < 13; ++i) Frame();
    Frame({Down});
    Frame({Decide});
    for (int i = 0; i < 8; ++i) Frame();
    EXPECT_EQ(Names(), (std::vector<std::string>{"没有装备", "B", "a", "b"}));
    EXPECT_EQ(owned->cursor, 3);

    // Entry 0 can be neither destroyed nor sorted away.
    inventory.DestroyPartAt(0);
    inventory.DestroyPartAt(-1);
    inventory.DestroyPartAt(4);
    EXPECT_EQ(Names().size(), 4u);
    while (inventory.parts.size() > 1) inventory.DestroyPartAt(1);
    inventory.SortPartsByName();
    owned->cursor = 0;
    app.input.keyTable[0x2E] = 0x80;
    Frame();
    app.input.keyTable[0x2E] = 0;
    EXPECT_EQ(Names(), std::vector<std::string>{"没有装备"});
    AddParts({"b", "a", "a"});
    inventory.SortPartsByName();
    EXPECT_EQ(Names(), (std::vector<std::string>{"没有装备", "a", "a", "b"}));

    // Leaving saves the inventory; a save that cannot be written says so.
    TempFolder temp;
    ASSERT_TRUE(temp.Write("not-a-folder", "x"));
    {
        ScopedEnv home("XDG_DATA_HOME", (temp / "not-a-folder").c_str());
        ScopedEnv quiet("QUILLON_QUIET_BOXES", "1");
        scene.initialised = true;
        testing::internal::CaptureStderr();
        scene.Release();
        EXPECT_NE(testing::internal::GetCapturedStderr().find("部件数据无法保存"), std::string::npos);
        EXPECT_EQ(scene.lastSaveResult, 0);
    }
    ScopedEnv home("XDG_DATA_HOME", temp.Path().c_str());
    scene.initialised = true;
    scene.Release();
    EXPECT_EQ(scene.lastSaveResult, 1);
    PartInventory saved;
    EXPECT_EQ(saved.Load("vant-D"), 1);
    EXPECT_EQ(saved.parts.size(), 4u);
}

}  // namespace
