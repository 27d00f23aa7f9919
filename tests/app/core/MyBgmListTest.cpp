// The user's music list: files without a picture of their own share one
// placeholder picture.
#include "app/core/MyBgmList.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/core/FileSystem.h"
#include "support/RecordingGraphics.h"
#include "support/TempFolder.h"

namespace {

TEST(MyBgmList, FilesWithoutTheirOwnPictureShareOnePlaceholder)
{
    RecordingGraphics gfx;
    TempFolder temp;
    const std::string dir = temp / "Sound/MyBgm";
    ASSERT_TRUE(plat::CreateDirectory((temp / "Sound").c_str()));
    ASSERT_TRUE(plat::CreateDirectory(dir.c_str()));
    std::string png;
    ASSERT_TRUE(plat::ReadWholeFile("Sound/MyBgm/NoImage.png", png));
    ASSERT_TRUE(plat::WriteFileAtomic((dir + "/NoImage.png").c_str(), png.data(), png.size()));
    ASSERT_TRUE(plat::WriteFileAtomic((dir + "/m050.png").c_str(), png.data(), png.size()));
    for (int i = 0; i < 200; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "/m%03d.ogg", i);
        ASSERT_TRUE(plat::WriteFileAtomic((dir + name).c_str(), "OggS", 4));
    }
    MyBgmList list;
    list.Scan(temp.Path().c_str());
    ASSERT_EQ(list.entries.size(), 200u);
    list.LoadPictures(temp.Path().c_str());
    plat::GfxTexture* shared = list.entries[0]->picture.texture;
    ASSERT_NE(shared, nullptr);
    for (const auto& entry : list.entries) {
        if (entry->fileName == "m050.ogg") {
            EXPECT_EQ(entry->hasPicture, 1);
            EXPECT_NE(entry->picture.texture, shared) << "its own picture";
            continue;
        }
        EXPECT_EQ(entry->hasPicture, 0);
        EXPECT_EQ(entry->picture.texture, shared) << entry->fileName << " holds a copy of the placeholder";
        EXPECT_EQ(entry->picture.sourceRect.Width(), list.entries[0]->picture.sourceRect.Width());
    }
    list.ReleasePictures();
    EXPECT_EQ(list.entries[0]->picture.texture, nullptr);
    list.LoadPictures(temp.Path().c_str());
    EXPECT_NE(list.entries[199]->picture.texture, nullptr) << "loaded again after a release";
    list.Clear();
}

}  // namespace
