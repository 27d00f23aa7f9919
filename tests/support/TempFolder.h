#pragma once
// A fresh folder under /tmp for one test, removed with everything in it
// when the test ends. Tests never touch the user's real folders.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/core/FileSystem.h"
#include "platform/core/Registry.h"
#include "platform/core/SingleInstance.h"

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/quillon-test-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        if (made != nullptr) path_ = made;
    }
    ~TempFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Absolute path of a name inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Writes a file (folders must exist) through the platform layer.
    bool Write(const std::string& name, const std::string& bytes) const {
        const std::string full = *this / name;
        return plat::WriteFileAtomic(full.c_str(), bytes.data(), bytes.size());
    }
    std::string Read(const std::string& name) const {
        std::string out;
        const std::string full = *this / name;
        plat::ReadWholeFile(full.c_str(), out);
        return out;
    }

private:
    std::string path_;
};

// Restores the calling thread's current directory when a test ends.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard() : saved_(plat::GetCurrentDirectory()) {}
    ~CurrentDirectoryGuard() { plat::InheritCurrentDirectory(saved_); }

private:
    std::string saved_;
};

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        if (value != nullptr) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_) ::setenv(name_.c_str(), old_.c_str(), 1);
        else ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// Puts the registry file somewhere else for one scope.
class ScopedRegistryFile {
public:
    explicit ScopedRegistryFile(const std::string& path) { plat::SetRegistryFile(path.c_str()); }
    ~ScopedRegistryFile() { plat::SetRegistryFile(nullptr); }
    ScopedRegistryFile(const ScopedRegistryFile&) = delete;
    ScopedRegistryFile& operator=(const ScopedRegistryFile&) = delete;
};
