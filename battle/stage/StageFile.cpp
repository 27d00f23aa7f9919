// Reading "map.mpd". The file is read whole and walked with a cursor that
// never passes its end; every count, length, index and name is checked
// before it is used, and a file that fails a check is refused whole.
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "app/core/Application.h"
#include "battle/stage/BattleMap.h"
#include "engine/graphics/MeshBudget.h"
#include "engine/core/AssetFile.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/TextCodec.h"
#include "platform/math/Math.h"

namespace {

constexpr const char kRefusedCaption[] = "Map";
constexpr u32 kPlacementFixedBytes = 70;  // matrix, part index, script length

}  // namespace

// The parser of one stage file; friend of BattleMap.
class MapStageReader {
public:
    MapStageReader(BattleMap& map, const u8* data, u32 size) : map_(map), at_(data), end_(data + size) {}

    // 1 when the whole grid was read, 0 when the file was refused.
    int Parse(i32 version, u32 key);

private:
    bool Fail(const std::string& why)
    {
        map_.Refuse(why);
        return false;
    }
    bool Need(u32 n, const char* what)
    {
        if (static_cast<u32>(end_ - at_) >= n) return true;
        return Fail(std::string("the file ends inside ") + what);
    }
    u32 Left() const { return static_cast<u32>(end_ - at_); }
    i16 I16()
    {
        const i16 v = GetI16(at_);
        at_ += 2;
        return v;
    }
    i32 I32()
    {
        const i32 v = GetI32(at_);
        at_ += 4;
        return v;
    }
    f32 F32() { return std::bit_cast<f32>(I32()); }

    bool ReadName(char (&out)[kMapNameSize], const char* what);
    bool ReadScriptText(std::string& out, const char* what);
    bool ReadPart(MapPartData& part, i32 version, i32 partCount, i32 index);
    bool LoadPartMeshes(MapPartData& part, u32 key, u32 textureLevel);
    bool ReadCell(i32 column, i32 row);
    bool LoadMesh(std::shared_ptr<MeshObject>& mesh, const char* name, u32 level, u32 key, TextureManager* manager);

    BattleMap& map_;
    const u8* at_;
    const u8* end_;
    // The stage's meshes, each file admitted from its counts and loaded once
    // per set of load options.
    MeshBudget budget_{"the stage's meshes", kMapMaxVertices, kMapMaxFaces, kMapMaxWeights};
};

namespace {

// A mesh name may only reach into the stage folder and below it.
bool NameStaysInFolder(const char* name)
{
    if (name[0] == '/' || name[0] == '\\' || std::strchr(name, ':')) return false;
    const char* part = name;
    for (const char* p = name;; ++p) {
        if (*p == '/' || *p == '\\' || *p == '\0') {
            if (p - part == 2 && part[0] == '.' && part[1] == '.') return false;
            if (*p == '\0') return true;
            part = p + 1;
        }
    }
}

}  // namespace

bool MapStageReader::ReadName(char (&out)[kMapNameSize], const char* what)
{
    if (!Need(kMapNameSize, what)) return false;
    const void* zero = std::memchr(at_, 0, kMapNameSize);
    if (!zero) return Fail(std::string(what) + " has no terminator");
    const size_t n = static_cast<size_t>(static_cast<const u8*>(zero) - at_);
    std::string utf8;
    plat::Cp932ToUtf8(reinterpret_cast<const char*>(at_), n, utf8);
    at_ += kMapNameSize;
    plat::Utf8CopyTruncated(out, sizeof out, utf8.c_str());
    if (!NameStaysInFolder(out)) return Fail(std::string(what) + " '" + out + "' leaves the stage folder");
    return true;
}

bool MapStageReader::ReadScriptText(std::string& out, const char* what)
{
    if (!Need(4, what)) return false;
    const i32 n = I32();
    if (n < 0 || static_cast<u32>(n) > Left())
        return Fail(std::string(what) + " length " + std::to_string(n) + " does not fit the file");
    const void* zero = n > 0 ? std::memchr(at_, 0, static_cast<size_t>(n)) : nullptr;
    if (!zero) return Fail(std::string(what) + " has no terminating zero");
    out.assign(reinterpret_cast<const char*>(at_), static_cast<size_t>(static_cast<const u8*>(zero) - at_));
    at_ += n;
    return true;
}

bool MapStageReader::LoadMesh(std::shared_ptr<MeshObject>& mesh, const char* name, u32 level, u32 key,
                              TextureManager* manager)
{
    // Draw meshes load their textures into the stage's manager; hit meshes none.
    auto [at, fresh] = budget_.meshes.try_emplace({name, (u64(manager != nullptr) << 32) | level});
    if (!fresh) {
        mesh = at->second;
        return mesh != nullptr;
    }
    auto loaded = std::make_shared<MeshObject>();
    if (!loaded->LoadScrambledWithTextures(name, level, key, manager, &budget_)) {
        mesh.reset();
        if (budget_.Refused()) return Fail(budget_.Why());
        // A missing mesh leaves its parts without it; the stage still plays.
        map_.AddMessage((std::string("メッシュを読み込めません: ") + name + " (" + MeshObject::LastLoadError() + ")").c_str(),
                        kRefusedCaption);
        return false;
    }
    loaded->BuildCollisionTriangles();
    loaded->ComputeBounds();
    at->second = loaded;
    mesh = std::move(loaded);
    return true;
}

bool MapStageReader::ReadPart(MapPartData& part, i32 version, i32 partCount, i32 index)
{
    part.Reset();
    const std::string what = "part " + std::to_string(index);
    if (!ReadName(part.drawMeshName, (what + " draw mesh name").c_str())) return false;
    if (!ReadName(part.hitMeshName, (what + " hit mesh name").c_str())) return false;
    if (!Need(version == kMapVersionNew ? 3 : 2, what.c_str())) return false;
    part.materialSource = I16();
    if (part.materialSource < -1 || part.materialSource >= partCount)
        return Fail(what + " takes its materials from part " + std::to_string(part.materialSource) + " of " +
                    std::to_string(partCount));
    if (version == kMapVersionNew) part.reserved = *at_++;
    return ReadScriptText(part.script, (what + " script").c_str());
}

bool MapStageReader::LoadPartMeshes(MapPartData& part, u32 key, u32 textureLevel)
{
    if (part.drawMeshName[0])
        LoadMesh(part.drawMesh, part.drawMeshName, part.materialSource == -1 ? textureLevel : MeshObject::NoTextures,
                 key, &map_.textureManager);
    if (!map_.IsRefused() && part.hitMeshName[0])
        LoadMesh(part.hitMesh, part.hitMeshName, MeshObject::NoTextures, key, nullptr);
    return !map_.IsRefused();
}

bool MapStageReader::ReadCell(i32 column, i32 row)
{
    MapCell& cell = map_.cells[row][column];
    const std::string what = "cell " + std::to_string(column) + "," + std::to_string(row);
    if (!Need(4, what.c_str())) return false;
    const i32 count = I32();
    if (count < 0 || static_cast<u64>(count) * kPlacementFixedBytes > Left())
        return Fail(what + " object count " + std::to_string(count) + " does not fit the file");
    for (i32 i = 0; i < count; ++i) {
        if (!Need(kPlacementFixedBytes, what.c_str())) return false;
        CMapObjNode* node = new CMapObjNode();
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) node->matrix.m[r][c] = F32();
        const i16 part = I16();
        bool ok = true;
        for (int r = 0; r < 4 && ok; ++r)
            for (int c = 0; c < 4; ++c) ok &= std::isfinite(node->matrix.m[r][c]);
        if (!ok) Fail(what + " holds a matrix that is not finite");
        else if (part < 0 || part >= map_.parts.GetCount())
            Fail(what + " places part " + std::to_string(part) + " of " + std::to_string(map_.parts.GetCount()));
        else ok = ReadScriptText(node->script, (what + " script").c_str());
        if (!ok || map_.IsRefused()) {
            delete node;
            return false;
        }
        node->placement = node->matrix;
        node->inverse = node->matrix;
        plat::MatrixInverse(&node->inverse, nullptr, &node->matrix);
        node->partIndex = static_cast<u16>(part);
        const int pop = node->ReadScript(&cell);
        const i32 group = node->vars[kMapVarDrawGroup];
        if (!map_.IsRefused() && pop == 0 && (group < 0 || group >= kMapDrawGroups))
            Fail(what + " puts an object in draw group " + std::to_string(group));
        if (pop == 1 || map_.IsRefused()) {
            delete node;
            if (map_.IsRefused()) return false;
            continue;
        }
        node->column = static_cast<u16>(column);
        node->row = static_cast<u16>(row);
        // Alpha-tested objects draw after the solid ones of their cell.
        cell.objects.AddNode(node->vars[kMapVarAlphaTestFlag] == 1 ? 10 : 1, node);
    }
    map_.ComputeCellBounds(column, row);
    for (CMapObjNode* o = cell.objects.GetHead()->next; o != cell.objects.GetTail(); o = o->next)
        cell.drawGroups[o->vars[kMapVarDrawGroup]].push_back(o);
    return true;
}

int MapStageReader::Parse(i32 version, u32 key)
{
    const i32 level = GetApplication()->video.textureLevel;
    const u32 textureLevel = level < 0 ? MeshObject::NoTextures : static_cast<u32>(level);
    i32 partCount = kMapPartsOld;
    if (version == kMapVersionNew) {
        if (!Need(2, "the part count")) return 0;
        partCount = I16();
        if (partCount < 0) {
        Fail("the part count " + std::to_string(partCount) + " is negative");
        return 0;
    }
    }
    // Every part record takes at least 518 bytes, so a count the file cannot
    // hold is refused before anything is allocated.
    if (static_cast<u64>(partCount) * 518u > Left())
        {
        Fail("the part count " + std::to_string(partCount) + " does not fit the file");
        return 0;
    }
    map_.parts.Release();
    if (partCount > 0) map_.parts.Create(partCount);
    // Every record is read and checked before the first mesh is loaded, so a
    // damaged file is refused at once, whatever meshes it names.
    for (i32 i = 0; i < partCount; ++i)
        if (!ReadPart(map_.parts[i], version, partCount, i)) return 0;
    for (i32 i = 0; i < partCount; ++i) {
        MapPartData& part = map_.parts[i];
        if (!LoadPartMeshes(part, key, textureLevel)) return 0;
        part.ReadScript(&map_);
        if (map_.IsRefused()) return 0;
    }
    if (!Need(version == kMapVersionNew ? 8 : 4, "the grid size")) return 0;
    const i16 w = I16();
    const i16 h = I16();
    const f32 size = version == kMapVersionNew ? F32() : kMapCellSizeOld;
    if (w < 0 || h < 0 || w > kMapGridMax || h > kMapGridMax)
        {
        Fail("the grid " + std::to_string(w) + " x " + std::to_string(h) + " is outside 0-100");
        return 0;
    }
    if (!(size > 0.0f) || !std::isfinite(size)) {
        Fail("the cell size is not a positive number");
        return 0;
    }
    map_.gridWidth = w;
    map_.gridDepth = h;
    map_.cellSize = size;
    for (i32 r = 0; r < h; ++r)
        for (i32 c = 0; c < w; ++c)
            if (!ReadCell(c, r)) return 0;
    return 1;
}

int BattleMap::LoadStageFile(const char* fileName, u32 key)
{
    FileBuffer file;
    if (!fileName || !file.Load(fileName)) return 0;
    Clear();
    refused_ = false;
    lastError.clear();
    messages_.clear();
    messageCount_ = 0;
    int result = 0;
    if (file.size < 7) {
        Refuse("the file is too short for its header");
    } else {
        const u8* d = file.data;
        const i32 version = static_cast<i32>(static_cast<u32>(d[3]) | (static_cast<u32>(d[4]) << 8) |
                                             (static_cast<u32>(d[5]) << 16) | (static_cast<u32>(d[6]) << 24));
        if (version != kMapVersionOld && version != kMapVersionNew) {
            Refuse("version " + std::to_string(version) + " is not 10000 or 20000");
        } else {
            // Memory running short anywhere in the load refuses the stage
            // like any other fault of its files.
            try {
                MapStageReader reader(*this, d + 7, file.size - 7);
                result = reader.Parse(version, key);
            } catch (const std::bad_alloc&) {
                Refuse("out of memory while loading it");
                result = 0;
            }
        }
    }
    if (refused_ || !result) {
        const std::string why = lastError;
        Clear();
        lastError = why;
        // The refusal heads the box; script messages gathered before it follow.
        std::string text = std::string("ステージファイルを読み込めません: ") + fileName + "\n" + why;
        std::string rest = messages_;
        const u32 restCount = messageCount_;
        messages_.clear();
        messageCount_ = 0;
        AddMessage(text.c_str(), kRefusedCaption);
        if (restCount) AddMessage(rest.c_str(), nullptr);
        result = 0;
    }
    CellsChanged();  // the grid's size came with the file
    FlushMessages();
    return result;
}
