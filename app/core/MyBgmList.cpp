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

// Holds the same picture as from: music files without a picture of their
// own share the placeholder's one texture instead of a copy each.
void SharePicture(TextureHandle& to, const TextureHandle& from)
{
    to.Release();
    if (!from.texture) return;
    to.texture = from.texture;
    to.texture->AddRef();
    to.surface = from.surface;
    if (to.surface) to.surface->AddRef();
    to.imageInfo = from.imageInfo;
    to.uScale = from.uScale;
    to.vScale = from.vScale;
    to.sourceRect = from.sourceRect;
    to.refCount = from.refCount;
    to.fileName = from.fileName;
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
    TextureHandle placeholder;
    bool placeholderTried = false;
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
            if (!placeholderTried) LoadMusicPicture(placeholder, "NoImage.png");
            placeholderTried = true;
            SharePicture(entry->picture, placeholder);
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
