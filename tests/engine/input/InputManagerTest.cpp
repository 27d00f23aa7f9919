#include "engine/input/InputManager.h"

#include <gtest/gtest.h>

#include "platform/input/Events.h"
#include "platform/input/InputScript.h"

namespace {

void PumpUntilScriptDone()
{
    plat::Event ev;
    for (int i = 0; i < 2000 && !plat::InputScriptFinished(); ++i) {
        while (plat::PollEvent(ev)) {
        }
    }
    while (plat::PollEvent(ev)) {
    }
}

TEST(InputManager, NoPadReadsFailForEverySlot)
{
    InputManager m;
    ASSERT_EQ(m.Init(nullptr), 1);
    JoyState s;
    // No controller is attached on the test machine, and this manager
    // enumerated before any script attached one.
    for (i32 i = m.GetPadCount(); i < InputManager::MaxPads; ++i) EXPECT_EQ(m.ReadJoystick(s, i), 0);
    m.Release();
    EXPECT_EQ(m.GetPadCount(), 0);
    EXPECT_EQ(m.ReadJoystick(s, 0), 0);
}

TEST(InputManager, ScriptedPadReadsButtonsAndAxesThroughTheFixedTable)
{
    ASSERT_TRUE(plat::InitEvents());
    std::string error;
    ASSERT_TRUE(plat::LoadInputScriptText("0 paddown 0 9\n"
                                          "0 paddown 0 7\n"
                                          "0 padaxis 0 y -1000\n"
                                          "0 paddown 0 15\n",
                                          &error))
        << error;
    InputManager m;
    ASSERT_EQ(m.Init(nullptr), 1);
    ASSERT_GE(m.GetPadCount(), 1);
    const i32 slot = m.GetPadCount() - 1; // the scripted pad comes after real ones
    PumpUntilScriptDone();
    JoyState s;
    ASSERT_EQ(m.ReadJoystick(s, slot), 1);
    EXPECT_EQ(s.buttons[plat::PadStart], 0x80);
    EXPECT_EQ(s.buttons[plat::PadRightTrigger], 0x80);
    EXPECT_EQ(s.buttons[plat::PadA], 0);
    EXPECT_EQ(s.y, -1000);
    EXPECT_EQ(s.x, -1000); // the D-pad drives X too
    EXPECT_FALSE(m.GetPadName(slot).empty());
    m.Release();
}

}  // namespace
