// Start-up after the settings dialog, on the recording device with the
// sample data of the run folder, then the shutdown of the main loop.
#include "app/core/Startup.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "app/core/Application.h"
#include "app/core/MainLoop.h"
#include "app/scene/TitleScene.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Gfx.h"
#include "platform/gfx/Window.h"
#include "support/TempFolder.h"

namespace {

class StartupTest : public testing::Test {
protected:
    void SetUp() override
    {
        plat::SetGfxBackend(plat::GfxBackend::Recorder);
        std::snprintf(app.startupDir, sizeof app.startupDir, "%s", plat::GetCurrentDirectory().c_str());
        app.video.screenWidth = 800;
        app.video.screenHeight = 600;
        app.video.stereo = 0;
        app.video.shadow = 0;
    }
    void TearDown() override
    {
        ShutdownApplication(app);
        DestroyWindows(app);
        app.video.stereo = 0;
        app.video.shadow = 0;
    }

    TempFolder temp;
    ScopedRegistryFile registry{temp / "registry.ini"};
    ScopedEnv saves{"XDG_DATA_HOME", temp.Path().c_str()};
    CApplication& app = *GetApplication();
};

TEST_F(StartupTest, ShadowSettingFiveMakesNoShadowMapLikeSettingZero)
{
    app.video.shadow = 5;
    ASSERT_EQ(InitAfterSettings(app), 1);
    EXPECT_EQ(GetShaderShadowMap()->shadowSize, 0);
    EXPECT_EQ(GetShaderShadowMap()->shadowTarget.texture, nullptr);
    const std::vector<ShaderBase*>& effects = GetGraphicsDevice()->effects;
    ASSERT_EQ(effects.size(), 4u);
    EXPECT_EQ(effects[3], static_cast<ShaderBase*>(GetShaderShadowMap()));
}

TEST_F(StartupTest, WindowGetsTheConfiguredClientSizeAndTheTitleIsCurrent)
{
    app.video.shadow = 2;
    app.video.robotQuality = 20;  // as the "Lowest" preset leaves it
    ASSERT_EQ(InitAfterSettings(app), 1);
    ASSERT_NE(app.mainWindow, nullptr);
    i32 w = 0, h = 0;
    app.mainWindow->GetClientSize(&w, &h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    EXPECT_FLOAT_EQ(app.video.screenScaleX, 800.0f / 1024.0f);
    EXPECT_EQ(GetShaderShadowMap()->shadowSize, 1024);
    EXPECT_EQ(app.leftEyeWindow, nullptr);
    EXPECT_EQ(app.rightEyeWindow, nullptr);
    EXPECT_NE(dynamic_cast<CTitleScene*>(app.currentScene), nullptr);
    EXPECT_EQ(app.video.robotQuality, 20u) << "robots are drawn at the quality the settings chose";
    // The shared pictures of the sample data, at their own sizes.
    EXPECT_NE(app.sharedTextures[0].texture, nullptr);
    EXPECT_NE(app.sharedTextures[1].texture, nullptr);
    EXPECT_NE(app.sharedTextures[2].texture, nullptr);
    ASSERT_NE(app.sharedTextures[3].texture, nullptr);
    EXPECT_GE(app.sharedTextures[3].sourceRect.Width(), 11 * 46);
    EXPECT_EQ(app.sharedTextures[3].sourceRect.Height(), 64);
    EXPECT_NE(app.captureTexture.texture, nullptr);
    EXPECT_NE(GetGraphicsDevice()->fonts[2], nullptr);
    EXPECT_NE(GetGraphicsDevice()->lostCallbacks[2], nullptr);
}

TEST_F(StartupTest, StereoSettingOpensTwoEyeWindowsOfTheSameSize)
{
    app.video.stereo = 1;
    ASSERT_EQ(InitAfterSettings(app), 1);
    ASSERT_NE(app.leftEyeWindow, nullptr);
    ASSERT_NE(app.rightEyeWindow, nullptr);
    i32 w = 0, h = 0;
    app.rightEyeWindow->GetClientSize(&w, &h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
}

TEST_F(StartupTest, ShutdownReleasesTheDeviceAndEverythingOnIt)
{
    ASSERT_EQ(InitAfterSettings(app), 1);
    ShutdownApplication(app);
    EXPECT_EQ(app.currentScene, nullptr);
    EXPECT_EQ(GetGraphicsDevice()->device, nullptr);
    EXPECT_EQ(app.cubeMap, nullptr);
    EXPECT_EQ(GetShaderBasic()->effect, nullptr);
}

TEST(FolderListsTest, FixedListsAreFilled)
{
    CApplication& app = *GetApplication();
    FillFolderLists(app);
    EXPECT_EQ(app.robotFolders.count, 22u);
    EXPECT_EQ(app.shipFolders.count, 2u);
    EXPECT_STREQ(app.shipFolders.names[1], "robo/senkan01");
    ASSERT_EQ(app.stageFolders.count, 9u);
    EXPECT_STREQ(app.stageFolders.names[0], "war/City");
    EXPECT_STREQ(app.stageFolders.names[8], "war/Skyland");
    for (u32 i = 0; i < 9; ++i) EXPECT_STREQ(app.secondStageFolders.names[i], app.stageFolders.names[i]);
    for (u32 i = 0; i < 22; ++i) EXPECT_GT(std::strlen(app.robotFolders.names[i]), 0u);
}

}  // namespace
