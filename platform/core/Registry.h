#pragma once
// A small settings store standing in for the system registry, for the two
// values the game sets around its run. Values are 32-bit numbers kept in an
// INI file: one section per key path, one entry per value.
//
// The file is the one SetRegistryFile named, else
// <config folder>/quillon/registry.ini.
#include <string>

#include "platform/core/Types.h"

namespace plat {

// The store's file path (see above); empty when no folder is known.
std::string GetRegistryFile();
// Puts the store in another file (a test run's own); null or empty: the
// usual one.
void SetRegistryFile(const char* path);

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens the key at path, e.g. "software\Microsoft\Direct3D"
    // (case-insensitive); it is created with its first value. false when no
    // store file is known.
    bool Open(const char* path);
    // Reads a value; false when it does not exist or is not a number.
    bool QueryDword(const char* name, u32& value) const;
    // Writes a value at once, creating the store's folders and file as
    // needed; false when the store cannot be written.
    bool SetDword(const char* name, u32 value);
    // Writes are already durable; kept for the callers' shape.
    void Flush() {}
    void Close();
    bool IsOpen() const { return !section_.empty(); }

private:
    std::string file_;
    std::string section_;
};

}  // namespace plat
