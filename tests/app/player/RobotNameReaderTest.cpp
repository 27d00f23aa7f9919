#include "app/player/RobotNameReader.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/core/AssetFile.h"
#include "support/TempFolder.h"

namespace {

class RobotNameReaderTest : public testing::Test {
protected:
    // Writes a script scrambled as the shipped ones are.
    std::string Script(const std::string& text)
    {
        std::string bytes = text;
        XorWords(bytes.data(), static_cast<u32>(bytes.size()), AssetKey);
        EXPECT_TRUE(temp.Write("Script.spt", bytes));
        return temp / "Script.spt";
    }
    std::string Read(const std::string& text)
    {
        RobotNameReader reader;
        std::strcpy(reader.name, "before");
        reader.Load(Script(text).c_str());
        return reader.name;
    }

    TempFolder temp;
};

TEST_F(RobotNameReaderTest, NameEngBeforeNameDoesNotEndTheScan)
{
    EXPECT_EQ(Read("NameEng = Falcon\r\nName = Hayabusa\r\n"), "Hayabusa");
}

TEST_F(RobotNameReaderTest, CommentsAndOtherEntriesAreSkipped)
{
    EXPECT_EQ(Read("' Name = Commented\r\nSpeed = 3;\r\n\tName=Kestrel;rest\r\n"), "Kestrel");
}

TEST_F(RobotNameReaderTest, ShiftJisNameComesOutAsUtf8)
{
    // "隼" in Shift-JIS is 0x94 0xB9.
    EXPECT_EQ(Read("Name = \x94\xB9\r\n"), "\xE9\x9A\xBC");
}

TEST_F(RobotNameReaderTest, TrailByteOfATwoByteCharacterNeverStartsAnEntry)
{
    // 0x83 0x4E is one character whose second byte reads as "N".
    EXPECT_EQ(Read("\x83Name = Wrong\r\nName = Right\r\n"), "Right");
}

TEST_F(RobotNameReaderTest, MissingEntryOrFileLeavesTheNameAlone)
{
    EXPECT_EQ(Read("NameEng = Only\r\nSpeed = 3\r\n"), "before");
    RobotNameReader reader;
    std::strcpy(reader.name, "kept");
    reader.Load((temp / "absent.spt").c_str());
    EXPECT_STREQ(reader.name, "kept");
}

TEST_F(RobotNameReaderTest, NameLongerThanTheBufferIsCutWhole)
{
    const std::string longName(300, 'A');
    const std::string got = Read("Name = " + longName + "\r\n");
    EXPECT_EQ(got, std::string(RobotNameReader::NameSize - 1, 'A'));
}

}  // namespace
