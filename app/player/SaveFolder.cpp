#include "app/player/SaveFolder.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "app/core/Application.h"
#include "app/core/Config.h"
#include "app/core/ScreenShot.h"
#include "platform/core/FileSystem.h"
#include "platform/core/MessageBox.h"
#include "platform/core/Registry.h"
#include "platform/core/System.h"

namespace {

SaveReadFault g_readFault = nullptr;

// How many set-aside copies of one file are kept before the next one stays
// where it is.
constexpr int MaxSetAsideCopies = 100;

// Files that could be neither read nor moved this run; saving over them
// would replace data the game never saw with what it made up in its place.
std::set<std::string>& LockedFiles()
{
    static std::set<std::string> locked;
    return locked;
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The first of "<path>.bad", "<path>.bad.1", ... that names nothing yet.
std::string FreeSetAsideName(const std::string& path)
{
    for (int n = 0; n < MaxSetAsideCopies; ++n) {
        const std::string name = n == 0 ? path + ".bad" : path + ".bad." + std::to_string(n);
        if (!plat::PathExists(name.c_str())) return name;
    }
    return {};
}

void Tell(const std::string& caption, const std::string& text)
{
    const CApplication* app = GetApplication();
    plat::ShowMessageBox(app ? app->mainWindow : nullptr, text.c_str(), caption.c_str());
}

} // namespace

std::string GetSaveFolder()
{
    const std::string base = plat::GetLocalAppDataFolder();
    if (base.empty()) return {};
    return base + "/Tervalis";
}

bool EnsureSaveFolder()
{
    const std::string base = plat::GetLocalAppDataFolder();
    if (base.empty()) return false;
    // A fresh account may not have the application-data folder yet.
    if (!plat::IsDirectory(base.c_str())) plat::CreateDirectory(base.c_str());
    return plat::CreateDirectory((base + "/Tervalis").c_str());
}

bool IsPlainFileName(const char* fileName)
{
    if (!fileName || !fileName[0]) return false;
    if (std::strcmp(fileName, ".") == 0 || std::strcmp(fileName, "..") == 0) return false;
    return std::strpbrk(fileName, "/\\") == nullptr;
}

std::string SaveFilePath(const char* fileName)
{
    if (!IsPlainFileName(fileName)) return {};
    const std::string folder = GetSaveFolder();
    if (folder.empty()) return {};
    return folder + "/" + fileName;
}

bool WriteSaveFile(const char* fileName, const void* data, u32 size)
{
    const std::string path = SaveFilePath(fileName);
    if (path.empty() || KeptFileIsLocked(path) || !EnsureSaveFolder()) return false;
    return plat::WriteFileAtomic(path.c_str(), data, size);
}

int LoadSaveFile(const char* fileName, u32 maxBytes, const std::function<bool(const u8*, u32)>& accept)
{
    const std::string path = SaveFilePath(fileName);
    if (path.empty()) return KeptFileMissing;
    const plat::FileId file =
        g_readFault && g_readFault(fileName) ? plat::InvalidFile : plat::OpenFile(path.c_str(), plat::FileMode::Read);
    if (file == plat::InvalidFile) {
        if (!plat::PathExists(path.c_str())) return KeptFileMissing;
        SetAsideKeptFile(path, true);
        return KeptFileRefused;
    }
    // One byte past the largest file tells a larger one without reading it all.
    const i64 size = plat::GetFileSize(file);
    std::vector<u8> bytes(size_t(std::clamp<i64>(size, 0, i64(maxBytes) + 1)));
    const bool read = size >= 0 && plat::ReadFile(file, bytes.data(), bytes.size()) == i64(bytes.size());
    plat::CloseFile(file);
    if (!read) {
        SetAsideKeptFile(path, true);
        return KeptFileRefused;
    }
    if (bytes.size() <= maxBytes && accept(bytes.data(), u32(bytes.size()))) return KeptFileRead;
    SetAsideKeptFile(path, false);
    return KeptFileRefused;
}

std::string SetAsideKeptFile(const std::string& path, bool unreadable)
{
    // A folder in the file's place is no file to move: it stays, closed to
    // saving like any file that could not be moved.
    const bool movable = !plat::IsDirectory(path.c_str());
    const std::string aside = movable ? FreeSetAsideName(path) : std::string();
    const char* what = unreadable ? "文件无法读取：" : "文件已损坏：";
    if (!aside.empty() && plat::RenameFile(path.c_str(), aside.c_str())) {
        // Once: the file is out of the way, so the next read finds none.
        Tell(BaseName(path), what + BaseName(path) + "，已保留为 " + aside + "，改用默认数据");
        return aside;
    }
    if (!LockedFiles().insert(path).second) return {};
    Tell(BaseName(path), what + path + "，无法移开，文件保持原样，本次不会覆盖保存");
    return {};
}

bool KeptFileIsLocked(const std::string& path)
{
    return LockedFiles().count(path) != 0;
}

bool SaveFileIsKept(const char* fileName)
{
    const std::string path = SaveFilePath(fileName);
    return !path.empty() && KeptFileIsLocked(path);
}

void RemoveInterruptedWrites(const WrittenWhole& written)
{
    if (written.folder.empty()) return;
    // Only the temporary names WriteFileAtomic gives the game's own files:
    // a player's files beside them are theirs, whatever they are called.
    plat::FileFind find;
    plat::FindEntry entry;
    std::vector<std::string> leftovers;
    for (bool more = find.First((written.folder + "/*.tmp-*").c_str(), entry); more; more = find.Next(entry)) {
        if (entry.isDirectory) continue;
        for (const std::string& names : written.names)
            if (plat::IsAtomicWriteTemporary(entry.name.c_str(), names.c_str())) {
                leftovers.push_back(written.folder + "/" + entry.name);
                break;
            }
    }
    find.Close();
    for (const std::string& path : leftovers) plat::DeleteFile(path.c_str());
}

std::vector<WrittenWhole> FoldersWrittenWhole(const CApplication& app)
{
    const auto split = [](const std::string& path) {
        const size_t slash = path.find_last_of('/');
        return slash == std::string::npos ? std::pair<std::string, std::string>{".", path}
                                          : std::pair{path.substr(0, slash), path.substr(slash + 1)};
    };
    const auto [configFolder, config] = split(ConfigPath(app));
    const auto [registryFolder, registry] = split(plat::GetRegistryFile());
    return {{configFolder, {config}},
            {ScreenShotFolder(app), {"Shot*.png"}},
            {GetSaveFolder(), {"*.psd", "vant-D", "score_*.dat"}},
            {registryFolder, {registry}}};
}

void RemoveInterruptedWritesAtStartUp(const CApplication& app)
{
    for (const WrittenWhole& written : FoldersWrittenWhole(app)) RemoveInterruptedWrites(written);
}

void SetSaveReadFault(SaveReadFault fails)
{
    g_readFault = fails;
}
