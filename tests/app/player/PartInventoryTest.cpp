#include "app/player/PartInventory.h"

#include <cstring>
#include <random>
#include <string>

#include "support/SaveFolderFixture.h"
#include "app/core/ByteIo.h"
#include "engine/core/AssetFile.h"

namespace {

std::string ImageOf(const PartInventory& inv, u32 word)
{
    const std::vector<u8> image = inv.WriteImage(word);
    return std::string(image.begin(), image.end());
}

// Rebuilds a file image after editing its unscrambled body.
std::string Rescramble(std::string plain, u32 word)
{
    PutU32(reinterpret_cast<u8*>(plain.data()) + 3, word);
    XorWords(plain.data() + 7, u32(plain.size() - 7), word);
    return plain;
}

int ReadInto(PartInventory& inv, const std::string& bytes)
{
    return inv.ReadImage(reinterpret_cast<const u8*>(bytes.data()), u32(bytes.size()));
}

constexpr u32 PartsOffset = 5611;

}  // namespace

TEST(PartInventory, ResetGivesSixRobotsAndTheNoEquipmentPart)
{
    PartInventory inv;
    inv.robots[3].reserved = 0x77;
    inv.robots[3].partIds[2] = 9;
    inv.stageFlags[5] = 1;
    inv.Reset();
    int available = 0;
    for (u32 i = 0; i < RobotRecordCount; ++i) {
        available += inv.robots[i].available;
        EXPECT_EQ(inv.robots[i].colourOwned[0], 1);
        EXPECT_EQ(inv.robots[i].partIds[2], 0);
    }
    EXPECT_EQ(available, 6);
    for (int r : {0, 4, 7, 9, 12, 13}) EXPECT_EQ(inv.robots[r].available, 1) << r;
    EXPECT_EQ(inv.robots[3].reserved, 0x77);
    ASSERT_EQ(inv.parts.size(), 1u);
    EXPECT_EQ(inv.parts[0]->partId, 0u);
    EXPECT_STREQ(inv.parts[0]->name, "没有装备");
    EXPECT_EQ(inv.stageFlags[5], 0);
}

TEST(PartInventory, NewPartsTakeTheLowestFreeIdUpToAThousand)
{
    PartInventory inv;
    for (u32 id : {0u, 1u, 2u, 4u}) inv.parts.push_back(new CGameItem_PowerUp(id));
    CGameItem_PowerUp* part = inv.AddNewPart();
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->partId, 3u);
    EXPECT_EQ(inv.parts.back(), part);

    inv.FreeParts();
    for (int i = 0; i < MaxPartId; ++i) ASSERT_NE(inv.AddNewPart(), nullptr);
    EXPECT_EQ(inv.AddNewPart(), nullptr);
    EXPECT_EQ(inv.parts.size(), size_t(MaxPartId));

    inv.FreeParts();
    inv.parts.push_back(new CGameItem_PowerUp(5));
    inv.parts.push_back(new CGameItem_PowerUp(5));
    EXPECT_EQ(inv.FindPart(5), inv.parts[0]);
    EXPECT_EQ(inv.FindPart(6), nullptr);
}

TEST(PartInventory, StageRewardsFollowTheirOrderAndNeedEveryFlag)
{
    PartInventory inv;
    inv.Reset();
    EXPECT_EQ(inv.GrantStageReward(), -1);

    inv.stageFlags[6] = inv.stageFlags[10] = 1;
    EXPECT_EQ(inv.GrantStageReward(), -1);
    inv.stageFlags[11] = 1;
    EXPECT_EQ(inv.GrantStageReward(), 8);
    EXPECT_EQ(inv.GrantStageReward(), -1);

    inv.Reset();
    inv.stageFlags[0] = inv.stageFlags[1] = 1;
    inv.robots[1].available = 1;
    EXPECT_EQ(inv.GrantStageReward(), 2);

    // Clearing every stage unlocks all 22 robot types one by one.
    inv.Reset();
    std::memset(inv.stageFlags, 1, sizeof inv.stageFlags);
    while (inv.GrantStageReward() >= 0) {
    }
    for (int r = 0; r < 22; ++r) EXPECT_EQ(inv.robots[r].available, 1) << r;
}

TEST(PartInventory, ImageHasFixedLayoutAndRoundTrips)
{
    PartInventory inv;
    inv.Reset();
    inv.robots[2].chosenColour = 0x01020304;
    inv.robots[2].partIds[9] = 42;
    inv.robots[2].reserved = 0x33;
    CGameItem_PowerUp* part = inv.AddNewPart();
    part->SetText("S级/弹药夹", "text");
    part->colour = 0xFF00FF00;
    part->grade = 4;
    part->bonus[0] = 17;
    part->bonus[9] = -1;
    part->reserved[9] = 0xCAFEBABE;
    part->extra[3] = 99;
    inv.stageFlags[499] = 1;
    inv.block[399] = 0xEE;

    const std::string scrambled = ImageOf(inv, 0x5EED1234);
    ASSERT_EQ(scrambled.size(), 6511u + 2 * 442u);
    EXPECT_EQ(scrambled.substr(0, 3), "QKF");
    const std::string plain = ImageOf(inv, 0);
    EXPECT_NE(scrambled.substr(7, 64), plain.substr(7, 64));
    const u8* b = reinterpret_cast<const u8*>(plain.data());
    EXPECT_EQ(GetU32(b + 7 + 2 * 56 + 12), 0x01020304u);
    EXPECT_EQ(b[7 + 2 * 56 + 11], 0x33);
    EXPECT_EQ(GetU32(b + 7 + 2 * 56 + 16 + 36), 42u);
    EXPECT_EQ(GetU32(b + 5607), 2u);
    const u8* rec = b + PartsOffset + 442;
    EXPECT_EQ(GetU32(rec), 1u);      // id
    EXPECT_EQ(GetU32(rec + 4), 1u);  // kind
    EXPECT_STREQ(reinterpret_cast<const char*>(rec + 8), "S级/弹药夹");
    EXPECT_EQ(GetU32(rec + 314), 0xFF00FF00u);
    EXPECT_EQ(GetU32(rec + 318), 4u);
    EXPECT_EQ(GetU32(rec + 322 + 36), 0xCAFEBABEu);
    EXPECT_EQ(GetU32(rec + 362), 17u);
    EXPECT_EQ(GetU32(rec + 362 + 36), 0xFFFFu); // zero-extended slot
    EXPECT_EQ(GetU32(rec + 402 + 12), 99u);
    EXPECT_EQ(b[PartsOffset + 2 * 442 + 499], 1);

    PartInventory back;
    ASSERT_EQ(ReadInto(back, scrambled), 1);
    EXPECT_EQ(ImageOf(back, 0), plain);
    EXPECT_EQ(back.parts[1]->bonus[9], -1);
}

TEST(PartInventory, LoaderRefusesCountsIdsAndKindsOutsideTheFormat)
{
    PartInventory inv;
    inv.Reset();
    inv.AddNewPart();
    const std::string plain = ImageOf(inv, 0);

    auto edited = [&](auto edit) {
        std::string copy = plain;
        edit(reinterpret_cast<u8*>(copy.data()), copy);
        return Rescramble(copy, 0x0BADF00D);
    };
    const std::string cases[] = {
        edited([](u8* b, std::string&) { PutU32(b + 5607, 3); }),          // count beyond the file
        edited([](u8* b, std::string&) { PutU32(b + 5607, 0xFFFFFFFF); }), // huge count
        edited([](u8* b, std::string&) { PutU32(b + PartsOffset + 442, 0); }), // duplicate id
        edited([](u8* b, std::string&) { PutU32(b + PartsOffset, 1000); }),    // id out of range
        edited([](u8* b, std::string&) { PutU32(b + PartsOffset + 4, 2); }),   // unknown kind
        edited([](u8*, std::string& s) { s.resize(s.size() - 1); }),
        edited([](u8*, std::string& s) { s.push_back('x'); }),
        edited([](u8* b, std::string&) { b[0] = 'q'; }),
        std::string("QKF"),
    };
    for (const std::string& bytes : cases) {
        PartInventory target;
        target.Reset();
        target.stageFlags[1] = 1;
        const std::string before = ImageOf(target, 0);
        EXPECT_EQ(ReadInto(target, bytes), 0);
        EXPECT_EQ(ImageOf(target, 0), before);
    }
}

TEST(PartInventory, AThousandPartsFitTheSaveImage)
{
    PartInventory inv;
    inv.Reset();
    while (CGameItem_PowerUp* part = inv.AddNewPart()) {
        std::memset(part->description, 'x', sizeof part->description - 1);
        part->extra[9] = part->partId;
    }
    const std::string image = ImageOf(inv, 99);
    ASSERT_EQ(image.size(), 6511u + 1000u * 442u);
    PartInventory back;
    ASSERT_EQ(ReadInto(back, image), 1);
    ASSERT_EQ(back.parts.size(), 1000u);
    EXPECT_EQ(back.parts[999]->extra[9], 999u);
}

class InventoryFile : public SaveFolderTest {};

TEST_F(InventoryFile, SaveThenLoadGivesBackTheDefaults)
{
    PartInventory inv;
    inv.Reset();
    ASSERT_EQ(inv.Save("vant-D"), 1);
    EXPECT_EQ(ReadSave("vant-D").size(), 6511u + 442u);
    PartInventory back;
    ASSERT_EQ(back.Load("vant-D"), 1);
    EXPECT_EQ(ImageOf(back, 0), ImageOf(inv, 0));
}

TEST_F(InventoryFile, MissingOrRefusedFileLeavesAPlayableDefaultAndKeepsTheRefusedBytes)
{
    PartInventory inv;
    inv.stageFlags[3] = 1;
    EXPECT_EQ(inv.Load("vant-D"), 0);
    ASSERT_EQ(inv.parts.size(), 1u);
    EXPECT_EQ(inv.robots[0].available, 1);
    EXPECT_EQ(inv.stageFlags[3], 0);

    WriteSave("vant-D", "QKF-not-really");
    inv.AddNewPart();
    testing::internal::CaptureStderr();
    EXPECT_EQ(inv.Load("vant-D"), -1);
    // The player hears once that the damaged file was kept aside.
    EXPECT_EQ(inv.Load("vant-D"), 0);
    const std::string told = testing::internal::GetCapturedStderr();
    const size_t first = told.find("vant-D.bad");
    EXPECT_NE(first, std::string::npos) << told;
    EXPECT_EQ(told.find("vant-D.bad", first + 1), std::string::npos) << told;
    EXPECT_EQ(inv.parts.size(), 1u);
    EXPECT_EQ(ReadSave("vant-D.bad"), "QKF-not-really");
    // The next save cannot destroy the refused file's bytes.
    ASSERT_EQ(inv.Save("vant-D"), 1);
    EXPECT_EQ(ReadSave("vant-D.bad"), "QKF-not-really");
}

TEST_F(InventoryFile, FailedSaveKeepsTheOldFile)
{
    PartInventory inv;
    inv.Reset();
    ASSERT_EQ(inv.Save("vant-D"), 1);
    const std::string good = ReadSave("vant-D");
    for (int i = 0; i < 20; ++i) inv.AddNewPart();
    {
        FileSizeLimit full(good.size() + 100);
        EXPECT_EQ(inv.Save("vant-D"), 0);
    }
    EXPECT_EQ(ReadSave("vant-D"), good);
}

TEST(PartInventory, CorruptAndTruncatedImagesNeverCrashOrHalfLoad)
{
    PartInventory source;
    source.Reset();
    for (int i = 0; i < 4; ++i) source.AddNewPart()->SetText("名前", "説明");
    const std::string good = ImageOf(source, 0x13579BDF);
    std::mt19937 rng(11);
    for (int round = 0; round < 400; ++round) {
        std::string bytes = good;
        switch (round % 4) {
        case 0: bytes.resize(rng() % (good.size() + 1)); break;
        case 1:
            for (int i = 0; i < 6; ++i) bytes[rng() % bytes.size()] = char(rng());
            break;
        case 2: // a plausible count that disagrees with the size
            PutU32(reinterpret_cast<u8*>(bytes.data()) + 5607,
                   GetU32(reinterpret_cast<const u8*>(good.data()) + 5607) ^ (rng() % 2048));
            break;
        default: bytes.append(rng() % 900, char(rng())); break;
        }
        PartInventory target;
        target.Reset();
        const std::string before = ImageOf(target, 0);
        if (!ReadInto(target, bytes)) {
            EXPECT_EQ(ImageOf(target, 0), before);
        } else {
            EXPECT_LE(target.parts.size(), 1000u);
            for (const CGameItem_PowerUp* p : target.parts) {
                EXPECT_LT(std::strlen(p->name), 50u);
                EXPECT_LT(std::strlen(p->description), 256u);
            }
        }
    }
}
