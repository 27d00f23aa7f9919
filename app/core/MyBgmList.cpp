#include "app/core/MyBgmList.h"

#include "platform/core/FileSystem.h"
#include "platform/gfx/TextureFile.h"

namespace {

std::string MusicFolder(const char* folder) { return std::string(folder ? folder : ".") + "/Sound/MyBgm"; }

bool LoadMusicPicture(TextureHandle& picture, const char* file)
{
    return picture.LoadFileEx(file, 320, 240, 1, 0, plat::GfxFormat::Unknown, plat::GfxPool::Managed,
                              plat::kGfxDefault, plat::kGfxDefault, 0, nullptr) != 0;
}

}  // namespace

void MyBgmList::Scan(const char* folder)
{
    entries.clear();
    const std::string pattern = MusicFolder(folder) + "/*.ogg";
    plat::FileFind find;
    plat::FindEntry found;
    for (bool more = find.First(pattern.c_str(), found); more; more = find.Next(found)) {
        if (found.isDirectory || found.name == "." || found.name == "..") continue;
        if (found.name.size() > MyBgmNameMax) continue;
        auto entry = std::make_unique<MyBgmEntry>();
        entry->fileName = found.name;
        entries.push_back(std::move(entry));
    }
    selectedBgm = -1;
}

void MyBgmList::LoadPictures(const char* folder)
{
    const std::string saved = plat::GetCurrentDirectory();
    plat::SetCurrentDirectory(MusicFolder(folder).c_str());
    for (auto& entry : entries) {
        const std::string& name = entry->fileName;
        const std::string own = name.substr(0, name.size() >= 3 ? name.size() - 3 : 0) + "png";
        entry->picture.Release();
        const plat::FileId probe = plat::OpenFile(own.c_str(), plat::FileMode::Read);
        if (probe != plat::InvalidFile) {
            plat::CloseFile(probe);
            entry->hasPicture = 1;
            LoadMusicPicture(entry->picture, own.c_str());
        } else {
            entry->hasPicture = 0;
            LoadMusicPicture(entry->picture, "NoImage.png");
        }
    }
    plat::SetCurrentDirectory(saved.c_str());
}

void MyBgmList::ReleasePictures()
{
    for (auto& entry : entries) {
        entry->picture.Release();
        entry->hasPicture = 0;
    }
}

void MyBgmList::Clear()
{
    entries.clear();
    if (selectedBgm >= 0) selectedBgm = -1;
}
