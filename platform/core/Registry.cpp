#include "platform/core/Registry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/FileSystem.h"
#include "platform/core/Ini.h"
#include "platform/core/System.h"

namespace plat {
namespace {

// Creates every missing folder above file.
bool MakeParentFolders(const std::string& file) {
    size_t pos = 1;
    while ((pos = file.find('/', pos)) != std::string::npos) {
        const std::string folder = file.substr(0, pos);
        if (!CreateDirectory(folder.c_str())) return false;
        ++pos;
    }
    return true;
}

std::string g_registryFile;  // set by the start-up for a driven test run

}  // namespace

void SetRegistryFile(const char* path) { g_registryFile = path != nullptr ? path : ""; }

std::string GetRegistryFile() {
    if (!g_registryFile.empty()) return ResolvePath(g_registryFile.c_str());
    const std::string config = GetConfigFolder();
    if (config.empty()) return {};
    return config + "/quillon/registry.ini";
}

bool RegistryKey::Open(const char* path) {
    Close();
    if (path == nullptr || path[0] == '\0') return false;
    std::string file = GetRegistryFile();
    if (file.empty()) return false;
    std::string section(path);
    for (char& c : section) {
        if (c == '/') c = '\\';
    }
    file_ = std::move(file);
    section_ = std::move(section);
    return true;
}

bool RegistryKey::QueryDword(const char* name, u32& value) const {
    if (!IsOpen() || name == nullptr) return false;
    char text[32];
    if (GetProfileString(section_.c_str(), name, "", text, sizeof(text), file_.c_str()) == 0) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || parsed > 0xFFFFFFFFull || text[0] == '-') {
        return false;
    }
    value = u32(parsed);
    return true;
}

bool RegistryKey::SetDword(const char* name, u32 value) {
    if (!IsOpen() || name == nullptr) return false;
    // The store's folder appears with its first value, not on a mere read.
    if (!MakeParentFolders(file_)) return false;
    char text[16];
    std::snprintf(text, sizeof(text), "%u", value);
    return WriteProfileString(section_.c_str(), name, text, file_.c_str());
}

void RegistryKey::Close() {
    file_.clear();
    section_.clear();
}

}  // namespace plat
