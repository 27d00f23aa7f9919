#include "app/core/MainLoop.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/Hooks.h"
#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/scene/BaseScene.h"
#include "app/core/ScreenShot.h"
#include "engine/input/InputManager.h"
#include "engine/net/NetQueue.h"
#include "platform/input/Events.h"
#include "platform/core/FileSystem.h"
#include "platform/input/InputScript.h"
#include "platform/input/Keyboard.h"

namespace {

std::vector<std::string> gLog;
std::deque<RECVQUEUE*> gGameQueue;
std::deque<RECVQUEUE*> gDataQueue;

RECVQUEUE* Message(u8 id, u8 extra)
{
    auto* m = new RECVQUEUE();
    m->size = 2;
    m->payload = new u8[2]{id, extra};
    return m;
}

RECVQUEUE* Pop(std::deque<RECVQUEUE*>& q)
{
    if (q.empty()) return nullptr;
    RECVQUEUE* m = q.front();
    q.pop_front();
    return m;
}

void DispatchGame(u8 id, const u8* body, u32 size)
{
    gLog.push_back("G" + std::to_string(id) + (size == 1 && body[0] == 7 ? "" : "?"));
}
void DispatchData(u8 id, const u8*, u32) { gLog.push_back("D" + std::to_string(id)); }

NetworkHooks FakeNetwork()
{
    NetworkHooks h;
    h.popGame = [] { return Pop(gGameQueue); };
    h.popData = [] { return Pop(gDataQueue); };
    h.dispatchGame = DispatchGame;
    h.dispatchData = DispatchData;
    return h;
}

u32 gNow = 0;
u32 FakeNow() { return gNow; }

// Records what a frame sees of the pass that runs it.
class ProbeScene : public BaseScene {
public:
    u32 Frame() override
    {
        CApplication& app = *GetApplication();
        std::string seen = "frame";
        if (app.input.keyTable['Q'] & 0x80) seen += " key";
        if (app.closeRequest) seen += " close";
        if (app.input.wheelDelta) seen += " wheel";
        gLog.push_back(seen);
        if (quitNow) app.quit = 1;
        return 0;
    }
    bool quitNow = false;
};

class LoopFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        gLog.clear();
        gNow = 100000;
        SetAppClock({FakeNow, nullptr});
        GetAppHooks().network = FakeNetwork();
        app.currentScene = &scene;
        app.quit = 0;
        app.closeRequest = 0;
        app.input.wheelDelta = 0;
        app.frameDrawn = 0;
        plat::ReleaseAllKeys();
    }
    void TearDown() override
    {
        app.currentScene = nullptr;
        GetAppHooks().network = NetworkHooks();
        SetAppClock({});
        plat::ReleaseAllKeys();
        for (RECVQUEUE* m : gGameQueue) delete m;
        for (RECVQUEUE* m : gDataQueue) delete m;
        gGameQueue.clear();
        gDataQueue.clear();
        app.quit = 0;
        app.closeRequest = 0;
        app.textInputHandler = nullptr;
    }
    CApplication& app = *GetApplication();
    ProbeScene scene;
};

// A pass takes in everything that has arrived, the connections in turn; when
// the dispatchers use up the pass's time, the rest waits for the next pass.
TEST_F(LoopFixture, APassDrainsWhatArrivedAlternatingUntilItsTimeIsSpent)
{
    for (int i = 0; i < 30; ++i) gGameQueue.push_back(Message(static_cast<u8>(i), 7));
    for (int i = 0; i < 3; ++i) gDataQueue.push_back(Message(static_cast<u8>(100 + i), 0));
    auto count = [](char c) {
        int n = 0;
        for (const auto& s : gLog) n += s[0] == c;
        return n;
    };
    IdlePass(app);
    std::vector<std::string> first(gLog.begin(), gLog.begin() + 6);
    const std::vector<std::string> alternating = {"G0", "D100", "G1", "D101", "G2", "D102"};
    EXPECT_EQ(first, alternating);
    EXPECT_EQ(count('G'), 30) << "a fixed count per pass falls behind a busy room";
    EXPECT_EQ(gLog.back(), "frame") << "the network part comes before the frame";

    // Each game message now takes a millisecond: a pass stops at its budget.
    GetAppHooks().network.dispatchGame = [](u8 id, const u8* body, u32 size) {
        DispatchGame(id, body, size);
        ++gNow;
    };
    for (int i = 0; i < 30; ++i) gGameQueue.push_back(Message(static_cast<u8>(i), 7));
    int passes = 0;
    while (!gGameQueue.empty() && passes < 30) {
        gLog.clear();
        IdlePass(app);
        ++passes;
        EXPECT_LE(count('G'), static_cast<int>(NetworkBudgetMs));
        EXPECT_GE(count('G'), 1) << "every pass takes something in";
    }
    EXPECT_EQ(passes, static_cast<int>((30 + NetworkBudgetMs - 1) / NetworkBudgetMs));
}

TEST_F(LoopFixture, EmptyMessagesAreDroppedUnread)
{
    auto* empty = new RECVQUEUE();
    gGameQueue.push_back(empty);
    gGameQueue.push_back(Message(9, 7));
    IdlePass(app);
    EXPECT_EQ(gLog, (std::vector<std::string>{"G9", "frame"}));
}

TEST_F(LoopFixture, PassReadsInputBeforeTheFrameAndClearsRequestsAfterIt)
{
    plat::SetKeyDown('Q', true);
    plat::Event close{plat::EventKind::Close, 0, false};
    plat::Event wheel{plat::EventKind::MouseWheel, -240, false};
    AppWndProc(app, close);
    AppWndProc(app, wheel);
    EXPECT_EQ(app.input.wheelDelta, -240);
    EXPECT_TRUE(IdlePass(app));
    EXPECT_EQ(gLog, std::vector<std::string>{"frame key close wheel"});
    EXPECT_EQ(app.closeRequest, 0u) << "a close request lives for one pass";
    EXPECT_EQ(app.input.wheelDelta, 0);
}

TEST_F(LoopFixture, QuitDuringTheFrameEndsThePassBeforeClearingAndScreenshots)
{
    app.frameDrawn = 1;
    plat::SetKeyDown(plat::vk::Snapshot, true);
    scene.quitNow = true;
    app.closeRequest = 1;
    const int shots = ScreenShotsTaken();
    EXPECT_FALSE(IdlePass(app));
    EXPECT_EQ(app.closeRequest, 1u);
    EXPECT_EQ(ScreenShotsTaken(), shots);
}

TEST_F(LoopFixture, HeldScreenshotKeyShootsAtOnceThenEveryTenSeconds)
{
    plat::SetKeyDown(plat::vk::Snapshot, true);
    app.frameDrawn = 0;
    const int before = ScreenShotsTaken();
    IdlePass(app);
    EXPECT_EQ(ScreenShotsTaken(), before) << "no shot of a frame that was not drawn";
    app.frameDrawn = 1;
    IdlePass(app);
    EXPECT_EQ(ScreenShotsTaken(), before + 1);
    gNow += 5000;
    IdlePass(app);
    EXPECT_EQ(ScreenShotsTaken(), before + 1);
    gNow += 5000;
    IdlePass(app);
    EXPECT_EQ(ScreenShotsTaken(), before + 2);
    plat::SetKeyDown(plat::vk::Snapshot, false);
    IdlePass(app);
    plat::SetKeyDown(plat::vk::Snapshot, true);
    gNow += 16;
    IdlePass(app);
    EXPECT_EQ(ScreenShotsTaken(), before + 3) << "a new press shoots at once";
}

TEST_F(LoopFixture, ScreenshotNamesTakeTheFirstFreeNumber)
{
    // A folder of this test's own, so no running game shares the numbers.
    const std::string home = plat::GetCurrentDirectory();
    const std::string dir = home + "/screenshot_names_test";
    plat::CreateDirectory(dir.c_str());
    ASSERT_TRUE(plat::SetCurrentDirectory(dir.c_str()));
    plat::CreateDirectory("ScreenShot");
    for (int n = 0; n < 3; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "ScreenShot/Shot%03d.png", n);
        plat::DeleteFile(name);
    }
    EXPECT_EQ(NextScreenShotName(), "ScreenShot/Shot000.png");
    const char dot = '.';
    ASSERT_TRUE(plat::WriteFileAtomic("ScreenShot/Shot000.png", &dot, 1));
    ASSERT_TRUE(plat::WriteFileAtomic("ScreenShot/Shot002.png", &dot, 1));
    EXPECT_EQ(NextScreenShotName(), "ScreenShot/Shot001.png") << "a gap is filled first";
    ASSERT_TRUE(plat::WriteFileAtomic("ScreenShot/Shot001.png", &dot, 1));
    EXPECT_EQ(NextScreenShotName(), "ScreenShot/Shot003.png");
    for (const char* f : {"ScreenShot/Shot000.png", "ScreenShot/Shot001.png", "ScreenShot/Shot002.png"})
        plat::DeleteFile(f);
    plat::SetCurrentDirectory(home.c_str());
}

int gHandlerCalls = 0;
u32 gLastMessage = 0;
u64 gLastParam = 0;
void Handler(u32 message, u64 wParam, i64)
{
    ++gHandlerCalls;
    gLastMessage = message;
    gLastParam = wParam;
}

TEST_F(LoopFixture, EnterReachesTextFieldsOnlyAsAKeyDown)
{
    gHandlerCalls = 0;
    AppWndProc(app, {plat::EventKind::Char, 'a', false});
    EXPECT_EQ(gHandlerCalls, 0) << "no text field has focus";
    app.textInputHandler = Handler;
    AppWndProc(app, {plat::EventKind::Char, 13, false});
    EXPECT_EQ(gHandlerCalls, 0);
    AppWndProc(app, {plat::EventKind::KeyDown, 13, false});
    EXPECT_EQ(gHandlerCalls, 1);
    EXPECT_EQ(gLastMessage, MessageKeyDown);
    AppWndProc(app, {plat::EventKind::Char, 0xE3, false});
    EXPECT_EQ(gHandlerCalls, 2);
    EXPECT_EQ(gLastMessage, MessageChar);
    EXPECT_EQ(gLastParam, 0xE3u);
    AppWndProc(app, {plat::EventKind::Activate, 1, false});
    EXPECT_EQ(app.notMinimised, 0u);
    AppWndProc(app, {plat::EventKind::Activate, 0, false});
    EXPECT_EQ(app.notMinimised, 1u);
}

TEST_F(LoopFixture, CursorMapsToTheVirtualScreenWhateverTheWindowSize)
{
    app.video.screenWidth = 1024;
    app.video.screenHeight = 768;
    app.video.screenScaleX = 1.0f;
    app.video.screenScaleY = 1.0f;
    i32 x = -1, y = -1;
    ASSERT_TRUE(MapCursorToScreen(app, 512, 384, 256, 100, x, y));
    EXPECT_EQ(x, 512);
    EXPECT_EQ(y, 200);
    app.video.screenWidth = 640;
    app.video.screenHeight = 480;
    app.video.screenScaleX = 640 / 1024.0f;
    app.video.screenScaleY = 480 / 768.0f;
    ASSERT_TRUE(MapCursorToScreen(app, 640, 480, 639, 479, x, y));
    EXPECT_EQ(x, 1022);
    EXPECT_EQ(y, 766);
    x = y = 77;
    EXPECT_FALSE(MapCursorToScreen(app, 0, 0, 10, 10, x, y)) << "minimised";
    EXPECT_EQ(x, 77);
}

TEST_F(LoopFixture, PadZeroMergesIntoTheKeyTableAndEveryPadIntoItsWords)
{
    ASSERT_TRUE(plat::InitEvents());
    std::string error;
    ASSERT_TRUE(plat::LoadInputScriptText("0 padaxis 0 x -1000\n0 paddown 0 2\n", &error)) << error;
    InputManager* input = GetInputManager();
    ASSERT_EQ(input->Init(nullptr), 1);
    ASSERT_GE(input->GetPadCount(), 1);
    plat::Event ev;
    for (int i = 0; i < 100 && !plat::InputScriptFinished(); ++i)
        while (plat::PollEvent(ev)) {
        }
    while (plat::PollEvent(ev)) {
    }
    for (u32 i = 0; i < PadButtonCount; ++i) app.input.padButtonMap[0][i] = static_cast<u8>(i);
    app.input.padButtonMap[0][0] = 200; // past the pad's buttons: never pressed
    for (i32 k = 0; k < 12; ++k) app.input.padKeyMap[k] = 0;
    app.input.padKeyMap[6] = 'J'; // saber on J
    plat::SetKeyDown('J', true);
    plat::SetKeyDown(plat::vk::Return, true);

    PollKeyboard(app, 0);
    PollPads(app);
    EXPECT_TRUE(app.input.keyTable[plat::vk::Left] & 0x80);
    EXPECT_FALSE(app.input.keyTable[plat::vk::Right] & 0x80);
    EXPECT_TRUE(app.input.keyTable['C'] & 0x80) << "button 2 is bound to saber, whose key is C";
    EXPECT_FALSE(app.input.keyTable['Z'] & 0x80);
    EXPECT_EQ(app.input.padState[0][0], 1u);
    EXPECT_EQ(app.input.padState[0][2], 0u);
    EXPECT_EQ(app.input.padState[0][6], 1u);
    EXPECT_EQ(app.input.padState[0][12], 1u);
    EXPECT_EQ(app.input.padState[0][13], 0u);
    EXPECT_EQ(app.input.padState[1][0], 0u);
    input->Release();
}

}  // namespace
