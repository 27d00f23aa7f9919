#include "app/player/PilotRegistry.h"

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/Application.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/core/ScriptTokenizer.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Window.h"
#include "platform/audio/Audio.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"
#include "support/SoundFixtures.h"
#include "support/TempFolder.h"

namespace {

std::vector<std::string> g_messages;
void Capture(const char* text) { g_messages.push_back(text); }

class PilotTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_messages.clear();
        PilotScript::SetMessageHook(Capture);
        plat::CreateDirectory((temp / "pilot").c_str());
    }
    void TearDown() override { PilotScript::SetMessageHook(nullptr); }

    std::string MakePilot(const std::string& folder)
    {
        const std::string path = temp / ("pilot/" + folder);
        plat::CreateDirectory(path.c_str());
        return path;
    }
    void Put(const std::string& folder, const std::string& file, const std::string& bytes)
    {
        ASSERT_TRUE(temp.Write("pilot/" + folder + "/" + file, bytes));
    }
    // Runs a script text on a fresh slot.
    void RunScript(const std::string& text)
    {
        ScriptTokenizer tokenizer;
        tokenizer.SetText(text.c_str());
        PilotScript::Run(tokenizer, "pilot.spt", slot);
    }

    CurrentDirectoryGuard cwd;
    TempFolder temp;
    PilotSlot slot;
};

}  // namespace

TEST_F(PilotTest, ScanKeepsFiveHundredFoldersAndSkipsFiles)
{
    for (int i = 0; i < 501; ++i) MakePilot("p" + std::to_string(1000 + i));
    Put("p1000", "face.png", "x");
    ASSERT_TRUE(temp.Write("pilot/readme.txt", "not a pilot"));
    auto registryOwner = std::make_unique<PilotRegistry>(); // far too big for the stack
    PilotRegistry& registry = *registryOwner;
    registry.ScanFolders(temp.Path().c_str());
    EXPECT_EQ(registry.count, 500);
    EXPECT_EQ(registry.folderPaths[0], temp / "pilot/p1000");
    for (int i = 0; i < registry.count; ++i) EXPECT_EQ(registry.folderPaths[i].find("readme"), std::string::npos);

    auto noneOwner = std::make_unique<PilotRegistry>(); // far too big for the stack
    PilotRegistry& none = *noneOwner;
    none.ScanFolders((temp / "missing").c_str());
    EXPECT_EQ(none.count, 0);
}

TEST_F(PilotTest, FaceComesFromTheFirstLoadPicWithIndexZero)
{
    ScriptTokenizer tokenizer;
    tokenizer.SetText("' comment LoadPic(0, no.png)\r\nLoadPic(3, three.png)\r\nAnimation(0)\r\n"
                      "LoadPic( 0 , face2.png )\r\nLoadPic(0, later.png)\r\n");
    std::string face;
    EXPECT_EQ(PilotScript::FindFacePicture(tokenizer, "pilot.spt", face), 1);
    EXPECT_EQ(face, "face2.png");

    const std::string before = plat::GetCurrentDirectory();
    MakePilot("a");
    Put("a", "pilot.spt", "LoadPic(0, face2.png)\r\n");
    Put("a", "pilot.txt", "Ace\r\nsecond line\r\n");
    slot.LoadHeader((temp / "pilot/a").c_str());
    EXPECT_EQ(slot.pictureSource, 2);
    EXPECT_STREQ(slot.name, "Ace"); // the line break is no part of the name
    EXPECT_EQ(plat::GetCurrentDirectory(), before);
}

TEST_F(PilotTest, NamesFallBackAndAreCutOnWholeCharacters)
{
    MakePilot("empty");
    Put("empty", "pilot.txt", "\n");
    slot.LoadHeader((temp / "pilot/empty").c_str());
    EXPECT_STREQ(slot.name, "無名兵"); // a bare line break is an empty name

    PilotSlot carriage;
    MakePilot("cr");
    Put("cr", "pilot.txt", "Rex\rJunk");
    carriage.LoadHeader((temp / "pilot/cr").c_str());
    EXPECT_STREQ(carriage.name, "Rex");

    PilotSlot missing;
    MakePilot("bare");
    missing.LoadHeader((temp / "pilot/bare").c_str());
    EXPECT_STREQ(missing.name, "無名兵");
    EXPECT_EQ(missing.pictureSource, 1);

    PilotSlot empty;
    Put("bare", "pilot.txt", "");
    empty.LoadHeader((temp / "pilot/bare").c_str());
    EXPECT_STREQ(empty.name, "無名兵");

    PilotSlot longName;
    MakePilot("long");
    Put("long", "pilot.txt", "一二三四五六七八九十\n"); // 30 bytes
    longName.LoadHeader((temp / "pilot/long").c_str());
    EXPECT_STREQ(longName.name, "一二三四五六七八");
}

TEST_F(PilotTest, FramesGrowTheirAnimationAndTakePictureAndVoice)
{
    RunScript("Animation(2)\r\n#30\r\nChangePic(3)\r\nPlayOgg(4)\r\n#12\r\n");
    ASSERT_EQ(slot.animations[2].size(), 2u);
    EXPECT_EQ(slot.animations[2][0].duration, 30);
    EXPECT_EQ(slot.animations[2][0].picture, 3);
    EXPECT_EQ(slot.animations[2][0].voice, 4);
    EXPECT_EQ(slot.animations[2][1].duration, 12);
    EXPECT_EQ(slot.animations[2][1].picture, 0);
    EXPECT_EQ(slot.animations[2][1].voice, 255);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(PilotTest, NumbersOutsideTheirTablesAreReportedAndIgnored)
{
    RunScript("Animation(12)\r\n#5\r\nChangePic(1)\r\nAnimation(-1)\r\n#6\r\n"
              "Animation(1)\r\nChangePic(2)\r\n#7\r\nChangePic(60)\r\nPlayOgg(-1)\r\nPlayOgg(50)\r\n"
              "LoadPic(50, x.png)\r\nLoadOgg(-3, y.ogg)\r\nLoadPic(-1, z.png)\r\n"
              "LoadPic(1, ../../face.png)\r\nLoadOgg(2, /etc/passwd)\r\nLoadPic(3, ..)\r\n");
    // One message per kind of mistake, in the order each kind first shows;
    // names that leave the pilot's folder are never read.
    EXPECT_EQ(g_messages, (std::vector<std::string>{"不正なAnimeNo", "不正なChangePic番号", "不正なPlayOgg番号",
                                                    "不正なLoadPic番号", "不正なLoadOgg番号", "不正なファイル名"}));
    EXPECT_TRUE(slot.pictureNames[1].empty());
    EXPECT_TRUE(slot.voiceNames[2].empty());
    for (int a = 0; a < PilotAnimationCount; ++a) EXPECT_EQ(slot.animations[a].size(), a == 1 ? 1u : 0u) << a;
    // ChangePic before the first frame changes nothing; the bad numbers neither.
    EXPECT_EQ(slot.animations[1][0].picture, 0);
    EXPECT_EQ(slot.animations[1][0].voice, 255);
    EXPECT_EQ(slot.pictureBytes, 0u);
}

TEST_F(PilotTest, AScriptFullOfOneMistakeRaisesOneMessagePerKindWithDetailsOnStderr)
{
    // A change before any frame has nothing to change, even in an empty list.
    std::string text = "ChangePic(1)\r\nPlayOgg(2)\r\n";
    for (int i = 0; i < 20000; ++i) text += "LoadPic(99, a.png)\r\nChangePic(@int(250))\r\n";
    testing::internal::CaptureStderr();
    RunScript(text);
    const std::string details = testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_messages, (std::vector<std::string>{"不正なLoadPic番号", "変数番号が不正"}));
    EXPECT_NE(details.find("pilot.spt line 3: 不正なLoadPic番号"), std::string::npos) << details.substr(0, 400);
    EXPECT_NE(details.find("pilot.spt line 4: 変数番号が不正"), std::string::npos);
    EXPECT_NE(details.find("不正なLoadPic番号: 19980 more"), std::string::npos);
    EXPECT_LT(details.size(), 20000u);
    EXPECT_TRUE(slot.animations[0].empty());
}

TEST_F(PilotTest, ComplaintLinesAreCountedInOnePassOverTheScript)
{
    // Thousands of complaints: telling each one's line must not walk the
    // text from its start again.
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "LoadPic(99, a.png)\r\nPlayOgg(@int(250))\r\n' padding padding\r\n";
    text += "LoadOgg(-3, late.ogg)\r\n";
    testing::internal::CaptureStderr();
    const u64 work = PilotScript::LineCountWork();
    RunScript(text);
    const std::string details = testing::internal::GetCapturedStderr();
    EXPECT_LE(PilotScript::LineCountWork() - work, text.size());
    EXPECT_NE(details.find("pilot.spt line 9001: 不正なLoadOgg番号"), std::string::npos) << details.substr(0, 400);
    EXPECT_NE(details.find("pilot.spt line 58: 不正なLoadPic番号"), std::string::npos);
}

TEST_F(PilotTest, UnknownCommandStopsTheScriptAndKeepsWhatCameBefore)
{
    RunScript("Animation(0)\r\n#4\r\nJump(3)\r\n#9\r\n");
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "不明なスクリプト。読み込み中断");
    ASSERT_EQ(slot.animations[0].size(), 1u);
    EXPECT_EQ(slot.animations[0][0].duration, 4);
}

TEST_F(PilotTest, ScriptLoadCountsTheBytesOfWhatItNames)
{
    MakePilot("s");
    Put("s", "pilot.spt", "LoadPic(0, f.png)\r\nLoadOgg(0, r.ogg)\r\nLoadOgg(12, c.ogg)\r\n");
    Put("s", "f.png", std::string(100, 'p'));
    Put("s", "r.ogg", std::string(40, 'o'));
    Put("s", "c.ogg", std::string(7, 'o'));
    Put("s", "3.txt", std::string(150, 'z') + "\n");
    slot.Load((temp / "pilot/s").c_str());
    EXPECT_EQ(slot.pictureBytes, 100u);
    EXPECT_EQ(slot.scriptPictureBytes, 100u);
    EXPECT_EQ(slot.voiceBytes, 47u);
    EXPECT_EQ(slot.radioVoiceBytes, 40u);
    EXPECT_EQ(slot.pictureNames[0], "f.png");
    EXPECT_EQ(slot.voiceNames[12], "c.ogg");
    EXPECT_EQ(std::strlen(slot.radioTexts[3]), 98u);
    EXPECT_STREQ(slot.name, "無名兵");
}

TEST_F(PilotTest, FolderLoadWithoutScriptCountsVoicesAndFace)
{
    MakePilot("f");
    Put("f", "face.png", std::string(10, 'p'));
    Put("f", "0.ogg", std::string(20, 'o'));
    Put("f", "atk1.ogg", std::string(3, 'o'));
    Put("f", "wake5.ogg", std::string(5, 'o'));
    Put("f", "0.txt", "Roger\r\n");
    slot.Load((temp / "pilot/f").c_str());
    EXPECT_EQ(slot.pictureSource, 1);
    EXPECT_EQ(slot.pictureBytes, 10u);
    EXPECT_EQ(slot.voiceBytes, 28u);
    EXPECT_EQ(slot.radioVoiceBytes, 20u);
    EXPECT_STREQ(slot.radioTexts[0], "Roger\n");
}

TEST_F(PilotTest, LoadPilotIgnoresIndicesOutsideTheRegistry)
{
    MakePilot("only");
    Put("only", "pilot.txt", "Solo");
    auto registryOwner = std::make_unique<PilotRegistry>(); // far too big for the stack
    PilotRegistry& registry = *registryOwner;
    registry.ScanFolders(temp.Path().c_str());
    ASSERT_EQ(registry.count, 1);
    registry.LoadPilot(1);
    registry.LoadPilot(-1);
    EXPECT_STREQ(registry.slots[1].name, "");
    registry.LoadPilot(0);
    EXPECT_STREQ(registry.slots[0].name, "Solo");
    registry.slots[0].Clear();
    EXPECT_STREQ(registry.slots[0].name, "");
}

TEST(AiPilots, TableEntriesAndTheBattleDraw)
{
    AiPilotRecord r{};
    AiPilotTable(&r, 43);
    EXPECT_STREQ(r.name, "(AI)1   ");
    EXPECT_EQ(r.level, 2u);
    EXPECT_STREQ(AiPilotTable(nullptr, 8).name, "(AI)34        ");
    EXPECT_STREQ(AiPilotTable(nullptr, 44).name, "(AI)42    ");
    EXPECT_EQ(AiPilotTable(nullptr, -1).level, 10u);

    cMTRand twin;
    twin.Init(1234);
    GetBattleRandom().Init(1234);
    for (int i = 0; i < 5; ++i) {
        const AiPilotRecord want = AiPilotTable(nullptr, i32(twin.GetRand() % 44));
        GetRandomAiPilot(&r);
        EXPECT_STREQ(r.name, want.name);
    }
}

TEST_F(PilotTest, CorruptScriptsNeverCrashOrIndexOutsideTheTables)
{
    const std::string good = "LoadPic(0, f.png)\r\nLoadOgg(3, v.ogg)\r\nAnimation(1)\r\n#10\r\nChangePic(2)\r\n"
                             "PlayOgg(3)\r\n#20\r\nAnimation(9)\r\n#5\r\n' note\r\n";
    std::mt19937 rng(3);
    const char alphabet[] = "#()@,;'\r\n 0123456789-LoadPicOggAnimationChangePlay\x81\xE0\xFF";
    for (int round = 0; round < 500; ++round) {
        std::string text = good;
        const int edits = 1 + int(rng() % 6);
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % (text.size() + 1);
            switch (rng() % 3) {
            case 0: text.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]); break;
            case 1:
                if (at < text.size()) text.erase(at, 1);
                break;
            default: text.resize(at); break;
            }
        }
        PilotSlot fuzzed;
        ScriptTokenizer tokenizer;
        tokenizer.SetText(text.c_str());
        EXPECT_EQ(PilotScript::Run(tokenizer, "pilot.spt", fuzzed), 1);
        for (const auto& frames : fuzzed.animations) {
            for (const AnimationFrame& f : frames) {
                EXPECT_LT(f.picture, PilotPictureCount);
                EXPECT_TRUE(f.voice < PilotSoundCount || f.voice == 255);
            }
        }
        tokenizer.SetText(text.c_str());
        std::string face;
        PilotScript::FindFacePicture(tokenizer, "pilot.spt", face);
    }
}

TEST(SamplePilots, TheRunFolderPilotsLoadWithTheirScriptAndVoices)
{
    CurrentDirectoryGuard cwd;
    const std::string run = plat::GetCurrentDirectory();
    auto registryOwner = std::make_unique<PilotRegistry>(); // far too big for the stack
    PilotRegistry& registry = *registryOwner;
    registry.ScanFolders(run.c_str());
    ASSERT_GE(registry.count, 3);
    registry.LoadPilotHeaders();
    i32 kaede = -1, rex = -1;
    for (i32 i = 0; i < registry.count; ++i) {
        if (std::strcmp(registry.slots[i].name, "カエデ") == 0) kaede = i;
        if (std::strcmp(registry.slots[i].name, "Rex") == 0) rex = i;
    }
    ASSERT_GE(kaede, 0);
    ASSERT_GE(rex, 0);
    EXPECT_EQ(registry.slots[kaede].pictureSource, 2);
    EXPECT_EQ(registry.slots[rex].pictureSource, 1);

    registry.LoadPilot(kaede);
    const PilotSlot& k = registry.slots[kaede];
    EXPECT_EQ(k.folderIndex, u32(kaede));
    EXPECT_EQ(k.pictureNames[1], "talk.png");
    EXPECT_EQ(k.voiceNames[10], "attack1.ogg");
    ASSERT_EQ(k.animations[0].size(), 3u);
    EXPECT_EQ(k.animations[0][0].picture, 1);
    EXPECT_EQ(k.animations[0][0].voice, 0);
    EXPECT_GT(k.pictureBytes, 0u);
    EXPECT_GT(k.radioVoiceBytes, 0u);
    EXPECT_GT(k.voiceBytes, k.radioVoiceBytes);
    EXPECT_STREQ(k.radioTexts[1], "敵機接近！\n");

    registry.LoadPilot(rex);
    EXPECT_GT(registry.slots[rex].voiceBytes, registry.slots[rex].radioVoiceBytes);
    EXPECT_EQ(plat::GetCurrentDirectory(), run);
}

TEST_F(PilotTest, ASecondCombatVoiceStopsTheFirst)
{
    // Rendered into memory only when asked, so a started voice keeps playing.
    plat::AudioSetTarget(plat::AudioTarget::Loopback, 48000);
    ASSERT_EQ(GetSoundManager().Init(nullptr), 1);
    std::string bytes;
    ASSERT_TRUE(plat::ReadWholeFile("pilot/Rex/atk1.ogg", bytes));
    MakePilot("v");
    for (int i = 1; i <= 5; ++i) Put("v", "atk" + std::to_string(i) + ".ogg", bytes);
    slot.Load((temp / "pilot/v").c_str());
    ASSERT_TRUE(fixtures::WaitForVoiceDecodes());
    CDSBufferNode* first = slot.PlayAttackVoice();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->IsPlaying());
    CDSBufferNode* second = slot.PlayAttackVoice();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_FALSE(first->IsPlaying());
    EXPECT_TRUE(second->IsPlaying());
    EXPECT_EQ(slot.currentVoice, second);
    slot.Clear();
    EXPECT_EQ(slot.currentVoice, nullptr);
    GetSoundManager().Release();
    plat::AudioSetTarget(plat::AudioTarget::Default);
}

TEST_F(PilotTest, FacePicturesLoadAtTheirOwnSizeAndClearReleasesThem)
{
    plat::SetGfxBackend(plat::GfxBackend::Recorder);
    auto window = plat::Window::Create("pilot", 0, 0, 640, 480, plat::Window::Headless);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(GetGraphicsDevice()->Create(window.get(), 640, 480, plat::GfxFormat::X8R8G8B8, false), 1);
    std::string png;
    ASSERT_TRUE(plat::ReadWholeFile("pilot/Rex/face.png", png));
    MakePilot("face");
    Put("face", "face.png", png);
    MakePilot("scripted");
    Put("scripted", "pilot.spt", "LoadPic(2, other.png)\r\nLoadPic(0, mine.png)\r\n");
    Put("scripted", "mine.png", png);

    slot.LoadHeader((temp / "pilot/face").c_str());
    ASSERT_NE(slot.pictures[0].texture, nullptr);
    EXPECT_EQ(slot.pictures[0].imageInfo.width, 128u);
    PilotSlot scripted;
    scripted.LoadHeader((temp / "pilot/scripted").c_str());
    EXPECT_NE(scripted.pictures[0].texture, nullptr);
    EXPECT_EQ(scripted.pictures[2].texture, nullptr);

    slot.Clear();
    scripted.Clear();
    EXPECT_EQ(slot.pictures[0].texture, nullptr);
    GetGraphicsDevice()->Release();
}

// A pilot folder naming many large pictures: each is checked from its
// header against what the pilot's pictures may hold, and those past it are
// refused and named in the load-failure report before they are decoded.
TEST_F(PilotTest, PicturesPastThePilotsBudgetAreRefusedFromTheirHeaders)
{
    plat::SetGfxBackend(plat::GfxBackend::Recorder);
    auto window = plat::Window::Create("pilot", 0, 0, 640, 480, plat::Window::Headless);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(GetGraphicsDevice()->Create(window.get(), 640, 480, plat::GfxFormat::X8R8G8B8, false), 1);
    const std::vector<u32> grey(2048 * 2048, 0xFF808080u);
    std::vector<u8> png;
    ASSERT_TRUE(plat::EncodePng(grey.data(), 2048, 2048, false, &png));
    MakePilot("wide");
    Put("wide", "big.png", std::string(png.begin(), png.end()));
    std::string script;
    for (int n = 1; n < PilotPictureCount; ++n) script += "LoadPic(" + std::to_string(n) + ", big.png)\r\n";
    Put("wide", "pilot.spt", script);

    testing::internal::CaptureStderr();
    slot.Load((temp / "pilot/wide").c_str());
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("big.png: is refused: the pilot's pictures may take 32 MB at most"), std::string::npos)
        << report.substr(0, 400);
    EXPECT_LE(slot.PictureBytesHeld(), PilotPictureBudget);
    EXPECT_NE(slot.pictures[1].texture, nullptr);
    EXPECT_NE(slot.pictures[2].texture, nullptr);
    for (int n = 3; n < PilotPictureCount; ++n) EXPECT_EQ(slot.pictures[n].texture, nullptr) << n;
    slot.Clear();
    EXPECT_EQ(slot.PictureBytesHeld(), 0u);
    GetGraphicsDevice()->Release();
}

// A pilot's voice longer than a voice may last is refused from its headers,
// before any decoding, and named in the load-failure report; voices that
// would take the pilot past its budget are refused the same way, and a file
// too big to read is refused for its size. Those taken are decoded off the
// loading thread and then play.
TEST_F(PilotTest, LongVoicesAndVoicesPastThePilotsBudgetAreRefusedBeforeDecoding)
{
    plat::AudioSetTarget(plat::AudioTarget::Loopback, 48000);
    ASSERT_EQ(GetSoundManager().Init(nullptr), 1);
    // Ten minutes of silence: a small file of 9.6 MB of samples.
    const std::vector<u8> endless = fixtures::Ogg(fixtures::Tone(1, 8000, 600.0f, 440.0f, 0.0f), 1, 8000, -0.1f);
    // 28 s at 48 kHz stereo: 5.4 MB of samples, within a voice's length;
    // the fifth is past the pilot's budget.
    const std::vector<u8> big = fixtures::Ogg(fixtures::Tone(2, 48000, 28.0f, 440.0f, 0.0f), 2, 48000, 0.0f);
    // Within a voice's length, but a file past the size a voice may have.
    std::vector<u8> padded = fixtures::Ogg(fixtures::Tone(1, 8000, 29.0f, 440.0f, 0.0f), 1, 8000, -0.1f);
    padded.resize(5200000, 0);
    MakePilot("h");
    Put("h", "endless.ogg", std::string(endless.begin(), endless.end()));
    Put("h", "big.ogg", std::string(big.begin(), big.end()));
    Put("h", "padded.ogg", std::string(padded.begin(), padded.end()));
    std::string script = "LoadOgg(0, endless.ogg)\r\nLoadOgg(1, padded.ogg)\r\n";
    for (int n = 10; n < 15; ++n) script += "LoadOgg(" + std::to_string(n) + ", big.ogg)\r\n";
    Put("h", "pilot.spt", script);

    testing::internal::CaptureStderr();
    slot.Load((temp / "pilot/h").c_str());
    // The game takes what the worker finished once a frame.
    ASSERT_TRUE(fixtures::WaitForVoiceDecodes());
    slot.TakeDecoded();
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(slot.sounds[0].IsEmpty());
    EXPECT_NE(report.find("endless.ogg: is refused: a voice may last 30 s"), std::string::npos) << report;
    EXPECT_TRUE(slot.sounds[1].IsEmpty());
    EXPECT_NE(report.find("padded.ogg: is refused: a voice file may take 4 MB at most"), std::string::npos) << report;
    EXPECT_EQ(report.find("padded.ogg: is refused: a voice may last"), std::string::npos) << report;
    for (int n = 10; n < 14; ++n) EXPECT_FALSE(slot.sounds[n].IsEmpty()) << n;
    EXPECT_TRUE(slot.sounds[14].IsEmpty());
    EXPECT_NE(report.find("big.ogg: is refused: the pilot's voices may take 24 MB"), std::string::npos) << report;
    EXPECT_LE(slot.VoiceSampleBytes(), PilotVoiceBudget);
    // Sizes still count what the script named.
    EXPECT_EQ(slot.voiceBytes, endless.size() + padded.size() + 5 * big.size());
    EXPECT_EQ(slot.VoiceSampleBytes(), 4u * 28 * 48000 * 4);
    EXPECT_NE(slot.sounds[13].Play(kVolumeSlotVoices, 0), nullptr);
    slot.Clear();
    EXPECT_EQ(slot.VoiceSampleBytes(), 0u);
    GetSoundManager().Release();
    plat::AudioSetTarget(plat::AudioTarget::Default);
}
