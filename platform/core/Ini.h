#pragma once
// INI settings files, read and written the way the game's settings code
// expects: sections and keys match without regard to ASCII case, a missing
// file, section or key reads as the default, and a write keeps every other
// line of the file. Files are UTF-8 text; writes replace the file whole
// through a temporary file, so it is never left half written.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/core/Types.h"

namespace plat {

// Copies the value of key (or defaultValue, null meaning "") into out of
// size bytes, cut so no UTF-8 character is split, always zero-terminated.
// Surrounding blanks and one pair of enclosing quotes are dropped. Returns
// the bytes copied, without the zero.
u32 GetProfileString(const char* section, const char* key, const char* defaultValue,
                     char* out, u32 size, const char* file);

// The leading number of key's value (blanks, sign, decimal or 0x hex
// digits); defaultValue when the key is missing or does not start with a
// number.
i32 GetProfileInt(const char* section, const char* key, i32 defaultValue, const char* file);

// Why bytes are no settings file at all (a zero byte, broken UTF-8, or a
// line that is neither a section, a key=value pair, a comment nor blank), in
// words for the player; empty when they are one.
std::string IniTextFault(const std::string& bytes);
// The same for the text as a whole (a zero byte or broken UTF-8) ...
std::string IniTextFileFault(const std::string& bytes);
// ... and the numbers (from 1) of its lines that are neither a section, a
// key=value pair, a comment nor blank: a reader that keeps the rest of the
// file passes over them.
std::vector<size_t> IniSkippedLines(const std::string& bytes);

// A settings file read and parsed once, for callers that read many keys of
// it: every lookup gives what GetProfileString and GetProfileInt would give
// for the file as it was when read, without reading it again. A missing or
// unreadable file reads as empty.
class ParsedIni {
public:
    explicit ParsedIni(const char* file);
    ParsedIni(const ParsedIni&) = delete;
    ParsedIni& operator=(const ParsedIni&) = delete;

    u32 GetString(const char* section, const char* key, const char* defaultValue, char* out, u32 size) const;
    i32 GetInt(const char* section, const char* key, i32 defaultValue) const;
    // Why the file is no settings file the game can use (a folder, unreadable,
    // or IniTextFault of its text); empty when it is one, and when there is
    // no file at all.
    std::string Fault() const;

    // Folds ASCII case, so names match as the readers match them.
    struct FoldedHash {
        size_t operator()(std::string_view s) const;
    };
    struct FoldedEqual {
        bool operator()(std::string_view a, std::string_view b) const;
    };

private:
    using Entries = std::unordered_map<std::string_view, std::string_view, FoldedHash, FoldedEqual>;
    // The raw value of key in section, or false.
    bool Find(const char* section, const char* key, std::string_view& value) const;

    enum class Read { Missing, Whole, Folder, Unreadable };
    Read read_ = Read::Missing;
    std::string text_;
    // Only the first section of a name counts; its entries by key, the first
    // entry of a key winning.
    std::unordered_map<std::string_view, Entries, FoldedHash, FoldedEqual> sections_;
};

// Test hook: how many times a file's text has been parsed for reading.
u64 IniParseCount();

// Sets key in section to value, creating the file, section or key as needed.
// false when the file cannot be written.
bool WriteProfileString(const char* section, const char* key, const char* value,
                        const char* file);

struct IniValue {
    std::string section;
    std::string key;
    std::string value;
};
// Sets every value, in one pass over the file, to what the same
// WriteProfileString calls in order would leave, and replaces the file once
// (not at all when nothing changes): a kill leaves the old file or the new
// one, never a part of the values. false, writing nothing, when a name would
// break the file's structure or the file cannot be written.
bool WriteProfileStrings(const std::vector<IniValue>& values, const char* file);

}  // namespace plat
