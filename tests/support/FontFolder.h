#pragma once
// A font folder of a test's own that the system's font lookup sees instead
// of the installed fonts (through FONTCONFIG_FILE and a fonts.conf listing
// only it, with a cache of its own): installed faces linked in, and junk put
// in place of a face after the lookup's cache was written, which is how a
// font damaged since the system last scanned it looks.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "platform/gfx/Font.h"
#include "support/TempFolder.h"

inline constexpr const char* kNotoSans = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
inline constexpr const char* kNotoSerif = "/usr/share/fonts/opentype/noto/NotoSerifCJK-Regular.ttc";
inline constexpr const char* kLatinOnly = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class FontFolder {
public:
    FontFolder()
    {
        std::filesystem::create_directory(fonts);
        EXPECT_TRUE(temp.Write("fonts.conf", "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                                             "<fontconfig>\n  <dir>" + fonts + "</dir>\n  <cachedir>" +
                                                 temp / "cache" + "</cachedir>\n</fontconfig>\n"));
    }

    void Link(const std::string& name, const std::string& target)
    {
        std::error_code error;
        std::filesystem::create_symlink(target, fonts + "/" + name, error);
        EXPECT_FALSE(error) << target << ": " << error.message();
    }

    // The lookup scans the folder as it is now and keeps that in its cache.
    void Scan()
    {
        Use();
        plat::ChooseFontFace("黑体");
        Leave();
    }

    // name's bytes become random junk, and the folder keeps the time it had,
    // so the lookup's cache still lists the face that was there.
    void Junk(const std::string& name)
    {
        struct stat before {};
        ASSERT_EQ(::stat(fonts.c_str(), &before), 0);
        std::filesystem::remove(fonts + "/" + name);
        std::mt19937 rng(7);
        std::string junk(70000, '\0');
        for (char& c : junk) c = char(rng());
        ASSERT_TRUE(temp.Write("fonts/" + name, junk));
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, fonts.c_str(), times, 0), 0);
    }

    // This process looks fonts up in the folder until Leave.
    void Use()
    {
        const char* had = std::getenv("FONTCONFIG_FILE");
        saved_ = had ? had : "";
        hadSaved_ = had != nullptr;
        ::setenv("FONTCONFIG_FILE", (temp / "fonts.conf").c_str(), 1);
        plat::ReloadSystemFonts();
    }
    void Leave()
    {
        if (hadSaved_) ::setenv("FONTCONFIG_FILE", saved_.c_str(), 1);
        else ::unsetenv("FONTCONFIG_FILE");
        plat::ReloadSystemFonts();
    }

    // For a game started with it.
    std::string EnvEntry() const { return "FONTCONFIG_FILE=" + temp / "fonts.conf"; }

    TempFolder temp;
    std::string fonts = temp / "fonts";

private:
    std::string saved_;
    bool hadSaved_ = false;
};
