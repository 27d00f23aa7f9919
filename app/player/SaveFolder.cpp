#include "app/player/SaveFolder.h"

#include <algorithm>
#include <cstring>

#include "platform/core/FileSystem.h"
#include "platform/core/System.h"

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
    if (path.empty() || !EnsureSaveFolder()) return false;
    return plat::WriteFileAtomic(path.c_str(), data, size);
}

bool ReadSaveFile(const char* fileName, std::vector<u8>& out, u32 maxBytes, u64* fileSize)
{
    out.clear();
    const std::string path = SaveFilePath(fileName);
    if (path.empty()) return false;
    const plat::FileId file = plat::OpenFile(path.c_str(), plat::FileMode::Read);
    if (file == plat::InvalidFile) return false;
    const i64 size = plat::GetFileSize(file);
    bool ok = size >= 0;
    if (ok) {
        const u64 want = std::min<u64>(u64(size), maxBytes);
        out.resize(size_t(want));
        ok = plat::ReadFile(file, out.data(), want) == i64(want);
        if (fileSize) *fileSize = u64(size);
    }
    plat::CloseFile(file);
    if (!ok) out.clear();
    return ok;
}
