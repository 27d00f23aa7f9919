#include "script/ScriptFile.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/model/HodModel.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/FileSystem.h"
#include "robot/RobotType.h"
#include "script/ScriptCommand.h"
#include "script/ScriptParser.h"

namespace {

std::string FolderOf(const char* path)
{
    const std::string p = path ? path : "";
    const size_t cut = p.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : p.substr(0, cut);
}

u32 TextureLevel()
{
    const i32 level = GetApplication()->video.textureLevel;
    return level < 0 ? 0u : static_cast<u32>(level);
}

TextureManager* Textures()
{
    return &GetGraphicsDevice()->textureManager;
}

// Reads from an untrusted file: every read is exact, every count is checked
// against what the file could still hold.
class AniReader {
public:
    explicit AniReader(FileHandle& f) : file(f)
    {
        const u32 s = f.Size();
        size = s == FileIoError ? 0 : s;
    }
    bool Bytes(void* out, u32 n) { return n == 0 || file.Read(out, n) == n; }
    bool I32(i32* out)
    {
        u8 b[4];
        if (!Bytes(b, 4)) return false;
        *out = GetI32(b);
        return true;
    }
    bool I16(i16* out)
    {
        u8 b[2];
        if (!Bytes(b, 2)) return false;
        *out = GetI16(b);
        return true;
    }
    bool F32(f32* out)
    {
        i32 v = 0;
        if (!I32(&v)) return false;
        std::memcpy(out, &v, 4);
        return true;
    }
    bool Skip(u32 n)
    {
        u8 buf[256];
        while (n > 0) {
            const u32 step = n < sizeof buf ? n : static_cast<u32>(sizeof buf);
            if (!Bytes(buf, step)) return false;
            n -= step;
        }
        return true;
    }
    // A count of records of at least `minBytes` each that the rest of the
    // file could hold.
    bool Plausible(i32 count, u64 minBytes) const
    {
        const u64 at = file.Position();
        const u64 left = at < size ? size - at : 0;
        return count >= 0 && (count == 0 || (minBytes != 0 && static_cast<u64>(count) <= left / minBytes));
    }

    FileHandle& file;
    u32 size = 0;
};

// The tokenizer's complaints about a statement join the file's others.
void TokenizerComplaint(void*, const char* text, const char* caption)
{
    ShowScriptMessage(text, caption);
}

// Memory a type's animations may take (keys, entries, commands); real robots
// need a few megabytes, so a type asking more is damaged data, refused before
// it is allocated.
constexpr u64 kScriptAniMemoryBudget = u64(64) << 20;
// Command objects built per byte of statement text, at most.
constexpr u64 kCommandBytesPerTextByte = 32;

} // namespace

int RobotModelData::LoadScriptSpt(const char* path, u32 key, std::string* why)
{
    auto refuse = [&](const char* reason) {
        if (why) *why = reason;
        scriptReader.FreeText();
        SetScriptFolder("");
        return 0;
    };
    SetScriptFolder(FolderOf(path));
    if (!path || !plat::PathExists(path)) return refuse("the file is missing");
    if (!scriptReader.LoadFile(path, key)) return refuse("the file cannot be read");
    // A file of nothing but blanks sets nothing: as good as missing.
    const char* text = scriptReader.GetText();
    if (text[std::strspn(text, " \t\r\n")] == '\0') return refuse("the file is empty");
    {
        ScriptFileComplaints complaints(path);
        scriptReader.SetReporter(TokenizerComplaint, nullptr);
        ParseScriptLine(scriptReader.GetText(), -1, -1);
        scriptReader.SetReporter(nullptr, nullptr);
    }
    scriptReader.FreeText();
    SetScriptFolder("");
    return 1;
}

int RobotModelData::LoadScriptAni(const char* path, std::string* why)
{
    auto refuse = [&](std::string reason) {
        if (why) *why = std::move(reason);
        return 0;
    };
    FileHandle file;
    if (!path || !plat::PathExists(path)) return refuse("the file is missing");
    if (!file.OpenRead(path)) return refuse("the file cannot be opened");
    AniReader in(file);
    char magic[3] = {};
    if (!in.Bytes(magic, 3)) return refuse("the file is shorter than its header");
    const bool v1 = std::memcmp(magic, "ANI", 3) == 0;
    const bool v2 = std::memcmp(magic, "AN2", 3) == 0;
    if (!v1 && !v2) return refuse("the file does not begin with \"ANI\" or \"AN2\"");
    if (!in.Skip(256)) return refuse("the file ends inside its header");
    const int model = v1 ? hierarchy.ReadHod(&file, TextureLevel(), AssetKey, Textures(), meshBudget)
                         : hierarchy.ReadHd2(&file, TextureLevel(), AssetKey, Textures(), meshBudget);
    if (!model) return refuse("its model cannot be read");
    i32 animeCount = kScriptAniAnimes;
    if (v2 && !in.I32(&animeCount)) return refuse("the file ends before its animation count");
    if (animeCount < 0 || animeCount > kScriptAniAnimes)
        return refuse("it declares " + std::to_string(animeCount) + " animations (at most " +
                      std::to_string(kScriptAniAnimes) + ")");
    if (!scriptTables.IsCreated() || !scriptEntryCounts.IsCreated()) return refuse("the robot type is not set up");

    SetScriptFolder(FolderOf(path));
    ScriptFileComplaints complaints(path);
    scriptReader.SetReporter(TokenizerComplaint, nullptr);
    const u32 nodes = hierarchy.nodeCount;
    // Every key names itself (v1: a fixed field, v2: at least its length)
    // and holds one record per node.
    const u64 keyBytes = (v1 ? kScriptAniV1KeyNameBytes : 2) + CHierarchyObject::KeyDataBytes(v2, nodes);
    u64 memory = 0;
    bool tooBig = false;
    auto afford = [&](u64 bytes) {
        memory += bytes;
        tooBig = tooBig || memory > kScriptAniMemoryBudget;
        return !tooBig;
    };
    bool ok = true;
    // Where a damaged file stopped being readable.
    i32 badAnime = -1;
    i32 badEntry = -1;
    std::vector<char> text;
    for (i32 a = 0; ok && a < animeCount; ++a) {
        badAnime = a;
        badEntry = -1;
        ok = in.Skip(256);
        if (ok && v2) {
            i32 noteLength = 0;
            ok = in.I32(&noteLength) && in.Plausible(noteLength, 1) && in.Skip(noteLength > 0 ? noteLength : 0);
        }
        i32 keyCount = 0;
        ok = ok && in.I32(&keyCount) && in.Plausible(keyCount, keyBytes) &&
             afford(static_cast<u64>(keyCount) * nodes * sizeof(HodKey)) &&
             hierarchy.AllocAnimeKeys(static_cast<u32>(a), static_cast<u32>(keyCount));
        for (i32 k = 0; ok && k < keyCount; ++k) {
            char name[kScriptAniKeyNameBytes + 1] = {};
            if (v1) {
                ok = in.Bytes(name, kScriptAniV1KeyNameBytes);
            } else {
                i16 nameLength = 0;
                ok = in.I16(&nameLength) && nameLength >= 0 && nameLength <= kScriptAniKeyNameBytes &&
                     in.Bytes(name, static_cast<u32>(nameLength));
            }
            if (!ok) break;
            HodKeyTable* table = hierarchy.root ? hierarchy.root->KeyTable(static_cast<u32>(a)) : nullptr;
            if (name[0] != '\0' && table && static_cast<u32>(k) < table->count) table->keys[k].name = name;
            ok = v1 ? hierarchy.LoadDataToTable_Ver1(&file, static_cast<u32>(a), static_cast<u32>(k))
                    : hierarchy.LoadDataToTable_Ver2(&file, static_cast<u32>(a), static_cast<u32>(k));
        }
        i32 entryCount = 0;
        ok = ok && in.I32(&entryCount) && in.Plausible(entryCount, 12) && entryCount < INT32_MAX &&
             afford(entryCount > 0 ? (static_cast<u64>(entryCount) + 1) * sizeof(ScriptEntry) : 0);
        if (!ok || entryCount <= 0) continue;

        FreeScriptTable(a);
        ScriptEntry* entries = new (std::nothrow) ScriptEntry[static_cast<size_t>(entryCount) + 1];
        if (!entries) {
            ok = false;
            break;
        }
        scriptTables[a] = entries;
        scriptEntryCounts[a] = entryCount + 1;
        for (i32 e = 0; ok && e < entryCount; ++e) {
            badEntry = e;
            i32 length = 0;
            ok = in.I32(&entries[e].wait) && in.F32(&entries[e].speed) && in.I32(&length) &&
                 length >= 0 && length <= kScriptAniMaxText && in.Plausible(length, 1) &&
                 afford(static_cast<u64>(length) * kCommandBytesPerTextByte);
            if (!ok) break;
            if (length == 0) continue;
            text.assign(static_cast<size_t>(length) + 1, '\0');
            ok = in.Bytes(text.data(), static_cast<u32>(length));
            // A problem in one statement text is reported by the parser and
            // does not stop the next entry.
            complaints.SetPlace("animation " + std::to_string(a) + " entry " + std::to_string(e));
            if (ok) ParseScriptLine(text.data(), a, e);
        }
        entries[entryCount].wait = kScriptEndMark;
    }
    complaints.SetPlace("");
    scriptReader.SetReporter(nullptr, nullptr);
    SetScriptFolder("");
    file.Close();
    if (tooBig) return refuse("it declares more animation data than a robot type may hold");
    if (!ok) {
        std::string place = "animation " + std::to_string(badAnime);
        if (badEntry >= 0) place += " entry " + std::to_string(badEntry);
        return refuse("it is cut short or damaged at " + place);
    }

    hierarchy.nodeCallback = AimNodeCallback;
    hierarchy.nodeCallbackArg = &hierarchy;
    hierarchy.UpdateMatrices(&hierarchy.baseMatrix);
    HodNode::FreePoseCacheTree(hierarchy.root);
    HodNode::CreatePoseCacheTree(hierarchy.root);
    HodNode::StoreAimLimitsTree(hierarchy.root);
    RecreateNodeMatrices();
    return 1;
}

int RobotModelData::LoadHod(const char* name, u32 key)
{
    const int result = hierarchy.LoadHod(name, TextureLevel(), key, Textures());
    if (result) RecreateNodeMatrices();
    return result;
}

void RobotModelData::RecreateNodeMatrices()
{
    nodeMatricesA.Release();
    nodeMatricesB.Release();
    const i32 n = static_cast<i32>(hierarchy.nodeCount);
    nodeMatricesA.Create(n);
    nodeMatricesB.Create(n);
    for (i32 i = 0; i < nodeMatricesA.GetCount(); ++i) nodeMatricesA[i] = Mat4::Identity();
    for (i32 i = 0; i < nodeMatricesB.GetCount(); ++i) nodeMatricesB[i] = Mat4::Identity();
}
