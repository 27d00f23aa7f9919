#include "battle/stage/BattleMap.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>

#include "app/core/Application.h"
#include "engine/core/MTRand.h"
#include "platform/core/MessageBox.h"
#include "platform/math/Math.h"

namespace {

BattleMap::MessageHook g_messageHook = nullptr;

// A load with a pathological file could pile up thousands of script errors;
// the box lists the first few and counts the rest.
constexpr u32 kMessagesShown = 12;

// Erases the nodes between the sentinels; the sentinels stay, so emptying
// ten thousand cells costs no allocations.
template <class T>
void EmptyList(CList<T>& list)
{
    T* head = list.GetHead();
    if (!head) return;
    T* node = head->next;
    while (node && node != list.GetTail()) node = list.Erase(node);
}

// Where a float coordinate falls on the grid, truncating toward zero; false
// for values no cell index can hold (NaN, infinities, huge values).
bool GridIndex(f32 v, f32 cellSize, i32* index)
{
    if (!(cellSize > 0.0f)) return false;
    const f32 q = v / cellSize;
    if (!(q > -1.0e6f && q < 1.0e6f)) return false;
    *index = static_cast<i32>(q);
    return true;
}

Mat4 DefaultStartPoint()
{
    Mat4 m;
    plat::MatrixTranslation(&m, kMapAreaOrigin, 20.0f, kMapAreaOrigin);
    return m;
}

// World box of a mesh's bounding box under a matrix: the 8 corners transformed.
void TransformBox(const MeshObject& mesh, const Mat4& m, Vec3* outMin, Vec3* outMax)
{
    const Vec3& lo = mesh.boxMin;
    const Vec3 hi = mesh.boxMax;
    for (int i = 0; i < 8; ++i) {
        const Vec3 corner((i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z);
        Vec3 w;
        plat::Vec3TransformCoord(&w, &corner, &m);
        if (i == 0) {
            *outMin = *outMax = w;
            continue;
        }
        outMin->x = std::fmin(outMin->x, w.x);
        outMin->y = std::fmin(outMin->y, w.y);
        outMin->z = std::fmin(outMin->z, w.z);
        outMax->x = std::fmax(outMax->x, w.x);
        outMax->y = std::fmax(outMax->y, w.y);
        outMax->z = std::fmax(outMax->z, w.z);
    }
}

void Extend(Vec3* mn, Vec3* mx, const Vec3& bmin, const Vec3& bmax)
{
    mn->x = std::fmin(mn->x, bmin.x);
    mn->y = std::fmin(mn->y, bmin.y);
    mn->z = std::fmin(mn->z, bmin.z);
    mx->x = std::fmax(mx->x, bmax.x);
    mx->y = std::fmax(mx->y, bmax.y);
    mx->z = std::fmax(mx->z, bmax.z);
}

u8 ChannelF(f32 x)
{
    if (std::isnan(x) || x <= 0.0f) return 0;
    if (x >= 1.0f) return 255;
    return static_cast<u8>(static_cast<i32>(x * 255.0f + 0.5f));
}

}  // namespace

u32 MapPackColor(i32 r, i32 g, i32 b)
{
    return 0xFF000000u | (static_cast<u32>(r & 255) << 16) | (static_cast<u32>(g & 255) << 8) |
           static_cast<u32>(b & 255);
}

u32 MapPackColorF(f32 r, f32 g, f32 b)
{
    return MapPackColor(ChannelF(r), ChannelF(g), ChannelF(b));
}

// ---- parts, objects, cells -------------------------------------------------

void MapPartData::Reset()
{
    std::memset(drawMeshName, 0, sizeof drawMeshName);
    std::memset(hitMeshName, 0, sizeof hitMeshName);
    script.clear();
    materialSource = -1;
    drawMesh.reset();
    hitMesh.reset();
    reserved = 0;
}

CMapObjNode::CMapObjNode()
{
    ResetVars();
}

void CMapObjNode::ResetVars()
{
    std::memset(vars, 0, sizeof vars);
    vars[kMapVarHitFlag] = 1;
    SetFloat(kMapVarCullFar, 150.0f);
    vars[kMapVarShadowDrawFlag] = 1;
    vars[kMapVarLightEnable] = 1;
    vars[kMapVarZWriteEnable] = 1;
}

i32 CMapObjNode::GetInt(i32 slot) const
{
    return slot >= 0 && slot < kMapObjVarCount ? vars[slot] : 0;
}

f32 CMapObjNode::GetFloat(i32 slot) const
{
    return slot >= 0 && slot < kMapObjVarCount ? std::bit_cast<f32>(vars[slot]) : 0.0f;
}

void CMapObjNode::SetInt(i32 slot, i32 value)
{
    if (slot >= 0 && slot < kMapObjVarCount) vars[slot] = value;
}

void CMapObjNode::SetFloat(i32 slot, f32 value)
{
    if (slot >= 0 && slot < kMapObjVarCount) vars[slot] = std::bit_cast<i32>(value);
}

void MapCell::Reset(BattleMap* map)
{
    owner = map;
    EmptyList(objects);
    for (auto& group : drawGroups) group.clear();
    hitMin = hitMax = drawMin = drawMax = Vec3();
    waterY = kMapNoWater;
}

// ---- the map ---------------------------------------------------------------

void BattleMap::SetMessageHook(MessageHook hook)
{
    g_messageHook = hook;
}

BattleMap::BattleMap() : cells(new MapCell[kMapGridMax][kMapGridMax])
{
    Clear();
}

BattleMap::~BattleMap()
{
    // Objects go before the parts whose meshes they name.
    EmptyCells();
    parts.Release();
}

void BattleMap::EmptyCells()
{
    for (i32 r = 0; r < kMapGridMax; ++r)
        for (i32 c = 0; c < kMapGridMax; ++c) cells[r][c].Reset(this);
    CellsChanged();
}

void BattleMap::CellsChanged()
{
    static std::atomic<u32> versions{0};
    cellsVersion = ++versions;
}

void BattleMap::Clear()
{
    EmptyCells();
    for (MapPartData& part : parts) part.Reset();
    parts.Release();
    EmptyList(destroyList);
    EmptyList(alphaList);
    areaHitMesh = nullptr;
    skyMesh = nullptr;
    sky.mesh = nullptr;
    sky.world = Mat4();
    fogColor = 0xFFFFFFFFu;
    lightColor = 0xFFFFFFFFu;
    ambientColor = MapPackColorF(0.2f, 0.2f, 0.2f);
    lightDir = Vec3(0.0f, -1.0f, 0.0f);
    for (std::string& name : musicNames) name.clear();
    for (i32 i = 0; i < kMapTeamStartLists; ++i) {
        teamStarts[i].clear();
        teamCursors[i] = 0;
    }
    freeStarts.clear();
    gridWidth = 0;
    gridDepth = 0;
    cellSize = 0.0f;
    viewRadius = 0;
    CellsChanged();
}

MapCell* BattleMap::CellAt(f32 x, f32 z)
{
    i32 column = 0, row = 0;
    if (!GridIndex(x, cellSize, &column) || !GridIndex(z, cellSize, &row)) return nullptr;
    return GetCell(column, row);
}

f32 BattleMap::WaterHeightAt(f32 x, f32 z)
{
    const MapCell* cell = CellAt(x, z);
    return cell ? cell->waterY : kMapNoWater;
}

void BattleMap::ComputeCellBounds(i32 column, i32 row)
{
    MapCell* cell = GetCell(column, row);
    if (!cell) return;
    CellsChanged();
    bool anyHit = false, anyDraw = false;
    cell->hitMin = cell->hitMax = cell->drawMin = cell->drawMax = Vec3();
    for (CMapObjNode* o = cell->objects.GetHead()->next; o != cell->objects.GetTail(); o = o->next) {
        if (o->partIndex >= parts.GetCount()) continue;
        const MapPartData& part = parts[o->partIndex];
        if (part.hitMesh) {
            TransformBox(*part.hitMesh, o->matrix, &o->hitMin, &o->hitMax);
            if (!anyHit) {
                cell->hitMin = o->hitMin;
                cell->hitMax = o->hitMax;
                anyHit = true;
            } else {
                Extend(&cell->hitMin, &cell->hitMax, o->hitMin, o->hitMax);
            }
        }
        if (part.drawMesh) {
            TransformBox(*part.drawMesh, o->matrix, &o->drawMin, &o->drawMax);
            if (!anyDraw) {
                cell->drawMin = o->drawMin;
                cell->drawMax = o->drawMax;
                anyDraw = true;
            } else {
                Extend(&cell->drawMin, &cell->drawMax, o->drawMin, o->drawMax);
            }
        }
    }
}

void BattleMap::ResetMapObjects()
{
    EmptyList(destroyList);
    EmptyList(alphaList);
    for (i32 r = 0; r < kMapGridMax; ++r) {
        for (i32 c = 0; c < kMapGridMax; ++c) {
            MapCell& cell = cells[r][c];
            for (CMapObjNode* o = cell.objects.GetHead()->next; o != cell.objects.GetTail(); o = o->next) {
                // A script that was a start point was never kept, so re-reading
                // one cannot add start points again.
                o->ReadScript(&cell);
                o->matrix = o->placement;
                o->inverse = o->matrix;
                plat::MatrixInverse(&o->inverse, nullptr, &o->matrix);
            }
        }
    }
    CellsChanged();
    // Messages a re-read raises were shown at load already.
    messages_.clear();
    messageCaption_.clear();
    messageCount_ = 0;
}

Mat4 BattleMap::NextTeamStartPoint(i32 team)
{
    if (team < 0 || team >= kMapTeamStartLists || teamStarts[team].empty()) return DefaultStartPoint();
    std::vector<Mat4>& list = teamStarts[team];
    u32& cursor = teamCursors[team];
    if (cursor >= list.size()) cursor = 0;
    const Mat4 m = list[cursor];
    if (++cursor >= list.size()) cursor = 0;
    return m;
}

Mat4 BattleMap::PickRandomStartPoint()
{
    if (freeStarts.empty()) return DefaultStartPoint();
    const u32 n = GetBattleRandom().GetRand();
    return freeStarts[n % freeStarts.size()];
}

void BattleMap::AddMessage(const char* text, const char* caption)
{
    if (messageCount_ == 0) messageCaption_ = caption ? caption : "";
    if (messageCount_ < kMessagesShown) {
        if (!messages_.empty()) messages_ += "\n";
        messages_ += text ? text : "";
    }
    ++messageCount_;
}

void BattleMap::Refuse(const std::string& why)
{
    if (refused_) return;
    refused_ = true;
    lastError = why;
}

void BattleMap::FlushMessages()
{
    if (messageCount_ == 0) return;
    std::string text = messages_;
    if (messageCount_ > kMessagesShown)
        text += "\n(+" + std::to_string(messageCount_ - kMessagesShown) + ")";
    if (g_messageHook)
        g_messageHook(text.c_str(), messageCaption_.c_str());
    else
        plat::ShowMessageBox(nullptr, text.c_str(), messageCaption_.c_str());
    messages_.clear();
    messageCaption_.clear();
    messageCount_ = 0;
}
