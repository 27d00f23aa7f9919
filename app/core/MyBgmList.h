#pragma once
// The user's own battle music: every "*.ogg" the player drops into
// "Sound/MyBgm" of the start-up folder, each with a same-name ".png" picture
// or the folder's "NoImage.png". Held by the application object; the
// character selection and the online room build it, the battle plays it.
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/TextureManager.h"
#include "platform/core/Types.h"

// Longest music file name taken: names travel in 100-byte fields like every
// other name of the game; a longer one is skipped rather than cut into the
// name of a different file.
inline constexpr size_t MyBgmNameMax = 99;

struct MyBgmEntry {
    std::string fileName;
    u8 hasPicture = 0;
    TextureHandle picture; // its own picture, or the placeholder
};

struct MyBgmList {
    // Empties the list and lists "<folder>/Sound/MyBgm/*.ogg" (regular files
    // only), then chooses the stage's music.
    void Scan(const char* folder);
    // Each entry's own picture, else "NoImage.png" (empty when that is
    // missing too), from "<folder>/Sound/MyBgm".
    void LoadPictures(const char* folder);
    // Drops the pictures; the entries stay playable.
    void ReleasePictures();
    // Destroys every entry; the choice falls back to the stage's music.
    void Clear();

    // Held by pointer: a picture handle cannot be copied or moved.
    std::vector<std::unique_ptr<MyBgmEntry>> entries;
    // -1 the stage's music, -2 a random user file, otherwise an entry index.
    i32 selectedBgm = -1;
};
