#include "app/player/SaveFolder.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "app/core/Application.h"
#include "platform/core/FileSystem.h"
#include "platform/core/MessageBox.h"
#include "platform/core/System.h"

namespace {

SaveReadFault g_readFault = nullptr;

// Files whose read failed this run; saving over them would replace data the
// game never saw with what it made up in its place.
std::set<std::string>& KeptFiles()
{
    static std::set<std::string> kept;
    return kept;
}

void KeepUnreadFile(const char* fileName, const std::string& path)
{
    if (!KeptFiles().insert(path).second) return;
    plat::ReportLoadFailure(path.c_str(), "could not be read; it is kept as it is and not saved over this run");
    const std::string text = std::string("无法读取存档文件") + fileName + "，文件保持原样，本次不会覆盖保存";
    const CApplication* app = GetApplication();
    plat::ShowMessageBox(app ? app->mainWindow : nullptr, text.c_str(), "");
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
    if (path.empty() || SaveFileIsKept(fileName) || !EnsureSaveFolder()) return false;
    return plat::WriteFileAtomic(path.c_str(), data, size);
}

bool ReadSaveFile(const char* fileName, std::vector<u8>& out, u32 maxBytes, u64* fileSize)
{
    out.clear();
    const std::string path = SaveFilePath(fileName);
    if (path.empty()) return false;
    const plat::FileId file =
        g_readFault && g_readFault(fileName) ? plat::InvalidFile : plat::OpenFile(path.c_str(), plat::FileMode::Read);
    if (file == plat::InvalidFile) {
        if (plat::PathExists(path.c_str())) KeepUnreadFile(fileName, path);
        return false;
    }
    const i64 size = plat::GetFileSize(file);
    bool ok = size >= 0;
    if (ok) {
        const u64 want = std::min<u64>(u64(size), maxBytes);
        out.resize(size_t(want));
        ok = plat::ReadFile(file, out.data(), want) == i64(want);
        if (fileSize) *fileSize = u64(size);
    }
    plat::CloseFile(file);
    if (!ok) {
        out.clear();
        KeepUnreadFile(fileName, path);
    }
    return ok;
}

bool SaveFileIsKept(const char* fileName)
{
    const std::string path = SaveFilePath(fileName);
    return !path.empty() && KeptFiles().count(path) != 0;
}

void RemoveInterruptedSaves()
{
    const std::string folder = GetSaveFolder();
    if (folder.empty()) return;
    // Only the names WriteFileAtomic gives its temporary files.
    plat::FileFind find;
    plat::FindEntry entry;
    std::vector<std::string> leftovers;
    for (bool more = find.First((folder + "/*.tmp-??????").c_str(), entry); more; more = find.Next(entry))
        if (!entry.isDirectory) leftovers.push_back(folder + "/" + entry.name);
    find.Close();
    for (const std::string& path : leftovers) plat::DeleteFile(path.c_str());
}

void SetSaveReadFault(SaveReadFault fails)
{
    g_readFault = fails;
}
