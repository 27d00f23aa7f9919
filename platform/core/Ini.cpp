#include "platform/core/Ini.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/core/FileSystem.h"
#include "platform/core/TextCodec.h"

namespace plat {
namespace {

// Read-modify-write of one file must not interleave between threads.
std::mutex g_writeLock;

std::atomic<u64> g_parses{0};

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

struct Line {
    size_t begin;  // offset of the line in the text
    size_t end;    // offset after its line break
    std::string_view body;  // without the line break
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    size_t pos = 0;
    // A byte-order mark is not part of the first section name.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        const size_t stop = nl == std::string::npos ? text.size() : nl;
        size_t bodyEnd = stop;
        if (bodyEnd > pos && text[bodyEnd - 1] == '\r') --bodyEnd;
        lines.push_back({pos, nl == std::string::npos ? text.size() : nl + 1,
                         std::string_view(text).substr(pos, bodyEnd - pos)});
        pos = lines.back().end;
    }
    return lines;
}

// The section name when line is a section header.
bool SectionOf(std::string_view body, std::string_view& name) {
    body = Trim(body);
    if (body.empty() || body.front() != '[') return false;
    body.remove_prefix(1);
    const size_t close = body.find(']');
    name = Trim(close == std::string_view::npos ? body : body.substr(0, close));
    return true;
}

// The key and value when line is an entry.
bool EntryOf(std::string_view body, std::string_view& key, std::string_view& value) {
    const std::string_view trimmed = Trim(body);
    if (trimmed.empty() || trimmed.front() == ';') return false;
    const size_t eq = trimmed.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(trimmed.substr(0, eq));
    value = Trim(trimmed.substr(eq + 1));
    return true;
}

// Finds key in section: index of the entry line (or -1), and the index of
// the section header (or -1) and of the section's last non-blank line.
struct Place {
    long header = -1;
    long entry = -1;
    long lastInSection = -1;
};

Place Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Place place;
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        if (SectionOf(lines[i].body, name)) {
            // Only the first section of a name counts, as the readers see it.
            if (inside) break;
            inside = place.header < 0 && EqualsFolded(name, section);
            if (inside) {
                place.header = long(i);
                place.lastInSection = long(i);
            }
            continue;
        }
        if (!inside) continue;
        if (!Trim(lines[i].body).empty()) place.lastInSection = long(i);
        std::string_view k, v;
        if (place.entry < 0 && EntryOf(lines[i].body, k, v) && EqualsFolded(k, key)) {
            place.entry = long(i);
        }
    }
    return place;
}

// Names that would break the file's structure, or that no read would find
// again (the readers match names without their surrounding blanks).
bool BadName(std::string_view section, std::string_view key) {
    const auto has = [](std::string_view s, const char* bytes) { return s.find_first_of(bytes) != std::string_view::npos; };
    return has(section, "\r\n]") || has(key, "\r\n=") || key.empty() || key[0] == '[' || key[0] == ';' ||
           Trim(section).size() != section.size() || Trim(key).size() != key.size();
}

// One pair of enclosing quotes is not part of the value.
std::string_view Unquoted(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) return v.substr(1, v.size() - 2);
    return v;
}

u32 CopyValue(std::string_view value, const char* defaultValue, bool found, char* out, u32 size) {
    const std::string text = found ? std::string(Unquoted(value)) : std::string(defaultValue != nullptr ? defaultValue : "");
    return u32(Utf8CopyTruncated(out, size, text.c_str()));
}

// The leading number of a value as read into a 256-byte buffer.
i32 LeadingNumber(const char* buffer, i32 defaultValue) {
    const char* p = buffer;
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    u32 base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && p[2] != '\0' &&
        std::strchr("0123456789abcdefABCDEF", p[2]) != nullptr) {
        base = 16;
        p += 2;
    }
    // Wraps at 32 bits, as the Windows profile functions do.
    u32 value = 0;
    bool any = false;
    for (;; ++p) {
        u32 digit;
        if (*p >= '0' && *p <= '9') digit = u32(*p - '0');
        else if (base == 16 && *p >= 'a' && *p <= 'f') digit = u32(*p - 'a' + 10);
        else if (base == 16 && *p >= 'A' && *p <= 'F') digit = u32(*p - 'A' + 10);
        else break;
        value = value * base + digit;
        any = true;
    }
    if (!any) return defaultValue;
    return i32(negative ? 0u - value : value);
}

}  // namespace

u64 IniParseCount() { return g_parses.load(); }

std::string IniTextFileFault(const std::string& bytes) {
    if (bytes.find('\0') != std::string::npos) return "it holds binary data, not text";
    const char* s = bytes.data();
    const char* end = s + bytes.size();
    while (s < end) {
        size_t length = 0;
        // A replacement character written out is text; one that stands for broken bytes is not.
        if (DecodeUtf8(s, end, length) == 0xFFFD && !(length == 3 && std::string_view(s, 3) == "\xEF\xBF\xBD"))
            return "it is not UTF-8 text";
        s += length;
    }
    return {};
}

std::vector<size_t> IniSkippedLines(const std::string& bytes) {
    std::vector<size_t> skipped;
    std::string_view rest(bytes);
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
    for (size_t number = 1; !rest.empty(); ++number) {
        const size_t newline = rest.find('\n');
        const std::string_view line = Trim(rest.substr(0, newline));
        rest = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']' && line.size() > 2) continue;
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos && equals > 0) continue;
        skipped.push_back(number);
    }
    return skipped;
}

std::string IniTextFault(const std::string& bytes) {
    std::string fault = IniTextFileFault(bytes);
    if (!fault.empty()) return fault;
    const std::vector<size_t> skipped = IniSkippedLines(bytes);
    if (skipped.empty()) return {};
    return "line " + std::to_string(skipped.front()) + " is neither a [section], a key=value pair nor a comment";
}

u32 GetProfileString(const char* section, const char* key, const char* defaultValue, char* out,
                     u32 size, const char* file) {
    if (out == nullptr || size == 0) return 0;
    std::string text;
    std::string_view value;
    bool found = false;
    if (section != nullptr && key != nullptr && file != nullptr && ReadWholeFile(file, text)) {
        ++g_parses;
        const std::vector<Line> lines = SplitLines(text);
        const Place place = Locate(lines, section, key);
        std::string_view k;
        found = place.entry >= 0 && EntryOf(lines[size_t(place.entry)].body, k, value);
    }
    return CopyValue(value, defaultValue, found, out, size);
}

i32 GetProfileInt(const char* section, const char* key, i32 defaultValue, const char* file) {
    char buffer[256];
    GetProfileString(section, key, "", buffer, sizeof(buffer), file);
    return LeadingNumber(buffer, defaultValue);
}

size_t ParsedIni::FoldedHash::operator()(std::string_view s) const {
    // Seeded per run, so a file cannot be made of names that all share a bucket.
    static const u64 seed = 1469598103934665603ull ^ std::random_device{}();
    u64 h = seed;
    for (char c : s) h = (h ^ u8(Fold(c))) * 1099511628211ull;
    return size_t(h);
}

bool ParsedIni::FoldedEqual::operator()(std::string_view a, std::string_view b) const { return EqualsFolded(a, b); }

ParsedIni::ParsedIni(const char* file) {
    if (file == nullptr || !ReadWholeFile(file, text_)) {
        text_.clear();
        if (file != nullptr && PathExists(file)) read_ = IsDirectory(file) ? Read::Folder : Read::Unreadable;
        return;
    }
    read_ = Read::Whole;
    ++g_parses;
    // The same lines, sections and entries the single-key reader finds.
    Entries* current = nullptr;
    for (const Line& line : SplitLines(text_)) {
        std::string_view name;
        if (SectionOf(line.body, name)) {
            const auto [at, fresh] = sections_.try_emplace(name);
            current = fresh ? &at->second : nullptr;
            continue;
        }
        std::string_view k, v;
        if (current != nullptr && EntryOf(line.body, k, v)) current->try_emplace(k, v);
    }
}

bool ParsedIni::Find(const char* section, const char* key, std::string_view& value) const {
    if (section == nullptr || key == nullptr) return false;
    const auto s = sections_.find(std::string_view(section));
    if (s == sections_.end()) return false;
    const auto e = s->second.find(std::string_view(key));
    if (e == s->second.end()) return false;
    value = e->second;
    return true;
}

u32 ParsedIni::GetString(const char* section, const char* key, const char* defaultValue, char* out, u32 size) const {
    if (out == nullptr || size == 0) return 0;
    std::string_view value;
    const bool found = Find(section, key, value);
    return CopyValue(value, defaultValue, found, out, size);
}

std::string ParsedIni::Fault() const {
    switch (read_) {
    case Read::Missing: return {};
    case Read::Folder: return "it is a folder, not a file";
    case Read::Unreadable: return "it cannot be read";
    case Read::Whole: break;
    }
    return IniTextFault(text_);
}

i32 ParsedIni::GetInt(const char* section, const char* key, i32 defaultValue) const {
    char buffer[256];
    GetString(section, key, "", buffer, sizeof(buffer));
    return LeadingNumber(buffer, defaultValue);
}

namespace {

// Values waiting to be written into one section, in the order first written.
struct Additions {
    std::vector<std::pair<std::string_view, std::string>> entries;
    std::unordered_map<std::string_view, size_t, ParsedIni::FoldedHash, ParsedIni::FoldedEqual> byKey;

    void Set(std::string_view key, std::string value) {
        const auto [at, fresh] = byKey.try_emplace(key, entries.size());
        if (fresh) entries.emplace_back(key, std::move(value));
        else entries[at->second].second = std::move(value);
    }
};

// Where the values of one section the writes name go in the old text.
struct SectionPlace {
    long header = -1;
    long last = -1;  // its last non-blank line
    std::unordered_map<std::string_view, long, ParsedIni::FoldedHash, ParsedIni::FoldedEqual> entries;
    Additions added;  // keys it does not have yet
};

// The file's new text: each value set as a WriteProfileString of its own
// would set it, one after the other.
std::string Edited(const std::string& text, const std::vector<IniValue>& values) {
    const std::vector<Line> lines = SplitLines(text);
    const bool crlf = !lines.empty() && text[lines[0].end - 1] == '\n' &&
                      lines[0].end >= 2 && text[lines[0].end - 2] == '\r';
    const char* eol = crlf ? "\r\n" : "\n";

    // Only the sections written to are indexed, each at its first header.
    std::unordered_map<std::string_view, SectionPlace, ParsedIni::FoldedHash, ParsedIni::FoldedEqual> places;
    for (const IniValue& v : values) places.try_emplace(v.section);
    SectionPlace* current = nullptr;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        if (SectionOf(lines[i].body, name)) {
            const auto at = places.find(name);
            current = at != places.end() && at->second.header < 0 ? &at->second : nullptr;
            if (current != nullptr) current->header = current->last = long(i);
            continue;
        }
        if (current == nullptr) continue;
        if (!Trim(lines[i].body).empty()) current->last = long(i);
        std::string_view k, v;
        if (EntryOf(lines[i].body, k, v)) current->entries.try_emplace(k, long(i));
    }

    std::unordered_map<long, std::string> replaced;  // entry line -> its new value
    std::vector<std::pair<std::string_view, Additions>> fresh;  // sections the file lacks
    for (const IniValue& v : values) {
        std::string value = v.value;
        for (char& c : value) {
            if (c == '\r' || c == '\n') c = ' ';
        }
        SectionPlace& place = places.find(v.section)->second;
        if (place.header < 0) {
            auto s = std::find_if(fresh.begin(), fresh.end(),
                                  [&](const auto& f) { return EqualsFolded(f.first, v.section); });
            if (s == fresh.end()) {
                fresh.emplace_back(v.section, Additions{});
                s = fresh.end() - 1;
            }
            s->second.Set(v.key, std::move(value));
            continue;
        }
        const auto entry = place.entries.find(v.key);
        if (entry != place.entries.end()) replaced[entry->second] = std::move(value);
        else place.added.Set(v.key, std::move(value));
    }
    std::unordered_map<long, const Additions*> after;  // last line of a section -> what follows it
    for (const auto& [name, place] : places) {
        if (place.header >= 0 && !place.added.entries.empty()) after[place.last] = &place.added;
    }

    const auto appendEntries = [&](std::string& out, const Additions& a) {
        for (const auto& [key, value] : a.entries) out.append(key).append("=").append(value).append(eol);
    };
    std::string result;
    result.reserve(text.size() + 64 * values.size());
    result.append(text, 0, lines.empty() ? text.size() : lines[0].begin);
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        const auto r = replaced.find(long(i));
        if (r == replaced.end()) {
            result.append(text, line.begin, line.end - line.begin);
        } else {
            std::string_view k, v;
            EntryOf(line.body, k, v);
            const size_t rest = line.begin + line.body.size();
            result.append(k).append("=").append(r->second).append(text, rest, line.end - rest);
        }
        const auto a = after.find(long(i));
        if (a == after.end()) continue;
        if (result.empty() || result.back() != '\n') result += eol;
        appendEntries(result, *a->second);
    }
    for (const auto& [name, additions] : fresh) {
        if (!result.empty() && result.back() != '\n') result += eol;
        result.append("[").append(name).append("]").append(eol);
        appendEntries(result, additions);
    }
    return result;
}

}  // namespace

bool WriteProfileStrings(const std::vector<IniValue>& values, const char* file) {
    if (file == nullptr) return false;
    for (const IniValue& v : values) {
        if (BadName(v.section, v.key)) return false;
    }
    std::lock_guard<std::mutex> lock(g_writeLock);
    std::string text;
    const bool read = ReadWholeFile(file, text);
    if (!read && PathExists(file)) return false;  // unreadable: keep it
    if (values.empty()) return true;
    const std::string result = Edited(text, values);
    if (read && result == text) return true;
    return WriteFileAtomic(file, result.data(), result.size());
}

bool WriteProfileString(const char* section, const char* key, const char* value, const char* file) {
    if (section == nullptr || key == nullptr || value == nullptr || file == nullptr) return false;
    if (BadName(section, key)) return false;
    std::string safeValue(value);
    for (char& c : safeValue) {
        if (c == '\r' || c == '\n') c = ' ';
    }

    std::lock_guard<std::mutex> lock(g_writeLock);
    std::string text;
    if (!ReadWholeFile(file, text) && PathExists(file)) return false;  // unreadable: keep it
    const std::vector<Line> lines = SplitLines(text);
    const bool crlf = !lines.empty() && text[lines[0].end - 1] == '\n' &&
                      lines[0].end >= 2 && text[lines[0].end - 2] == '\r';
    const char* eol = crlf ? "\r\n" : "\n";
    const Place place = Locate(lines, section, key);

    std::string result;
    if (place.entry >= 0) {
        const Line& line = lines[size_t(place.entry)];
        std::string_view k, v;
        EntryOf(line.body, k, v);
        result = text.substr(0, line.begin);
        result.append(k).append("=").append(safeValue);
        result += text.substr(line.begin + line.body.size());
    } else if (place.header >= 0) {
        const Line& last = lines[size_t(place.lastInSection)];
        result = text.substr(0, last.end);
        if (result.empty() || result.back() != '\n') result += eol;
        result.append(key).append("=").append(safeValue).append(eol);
        result += text.substr(last.end);
    } else {
        result = text;
        if (!result.empty() && result.back() != '\n') result += eol;
        result.append("[").append(section).append("]").append(eol);
        result.append(key).append("=").append(safeValue).append(eol);
    }
    return WriteFileAtomic(file, result.data(), result.size());
}

}  // namespace plat
