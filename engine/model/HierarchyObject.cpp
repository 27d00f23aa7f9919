// Posing, blending, track events, copies and swing nodes of model trees.
#include "engine/model/HierarchyObject.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/Shaders.h"
#include "engine/model/SkinObject.h"
#include "engine/core/VectorFunctions.h"
#include "platform/math/Math.h"

namespace {

// The parent of a walk given none; built once, not on every walk.
constexpr Mat4 kIdentity;

// Frame position split into a key index and the fraction towards the next
// key. Negative or NaN positions count as 0; huge ones saturate instead of
// overflowing the conversion.
void SplitFrame(f32 frame, u32* key, f32* fraction)
{
    if (!(frame > 0.0f)) {
        *key = 0;
        *fraction = 0.0f;
        return;
    }
    if (frame >= 4294967040.0f) {
        *key = 0xFFFFFF00u;
        *fraction = 0.0f;
        return;
    }
    *key = static_cast<u32>(frame);
    *fraction = frame - static_cast<f32>(*key);
}

Mat4 Multiply(const Mat4& a, const Mat4& b)
{
    Mat4 out;
    plat::MatrixMultiply(&out, &a, &b);
    return out;
}

Vec3 Row(const Mat4& m, int r) { return {m.m[r][0], m.m[r][1], m.m[r][2]}; }

Vec3 Normalized(const Vec3& v)
{
    Vec3 out;
    plat::Vec3Normalize(&out, &v);
    return out;
}

Vec3 CrossOf(const Vec3& a, const Vec3& b)
{
    Vec3 out;
    plat::Vec3Cross(&out, &a, &b);
    return out;
}

Vec3 TransformNormal(const Vec3& v, const Mat4& m)
{
    Vec3 out;
    plat::Vec3TransformNormal(&out, &v, &m);
    return out;
}

// Interpolation of one channel between two keys by the key's mode; false for
// a mode the data never uses, which leaves the previous value in place.
bool InterpolateRotation(const HodKeyTable& table, u32 k0, u32 k1, f32 f, Quat* out)
{
    const HodKey& a = table.keys[k0];
    const HodKey& b = table.keys[k1];
    switch (a.rotationMode) {
    case kHodRotSlerp:
        plat::QuaternionSlerp(out, &a.rotation, &b.rotation, f);
        return true;
    case kHodRotSquad:
        plat::QuaternionSquad(out, &a.rotation, &a.squadA, &a.squadB, &a.squadC, f);
        return true;
    case kHodRotSquadAuto: {
        const u32 prev = k0 > 0 ? k0 - 1 : 0;
        const u32 next = k1 + 1 < table.count ? k1 + 1 : table.count - 1;
        Quat qa, qb, qc;
        plat::QuaternionSquadSetup(&qa, &qb, &qc, &table.keys[prev].rotation, &a.rotation, &b.rotation,
                                   &table.keys[next].rotation);
        plat::QuaternionSquad(out, &a.rotation, &qa, &qb, &qc, f);
        return true;
    }
    default:
        return false;
    }
}

bool InterpolateVector(const HodKeyTable& table, u32 k0, u32 k1, f32 f, u8 mode, Vec3 HodKey::*field, Vec3* out)
{
    const Vec3& a = table.keys[k0].*field;
    const Vec3& b = table.keys[k1].*field;
    switch (mode) {
    case kHodVecLinear:
        *out = a + (b - a) * f;
        return true;
    case kHodVecCatmullRom: {
        const u32 prev = k0 > 0 ? k0 - 1 : 0;
        const u32 next = k1 + 1 < table.count ? k1 + 1 : table.count - 1;
        plat::Vec3CatmullRom(out, &(table.keys[prev].*field), &a, &b, &(table.keys[next].*field), f);
        return true;
    }
    default:
        return false;
    }
}

}  // namespace

// ---- construction and reset ------------------------------------------------------

CHierarchyObject::CHierarchyObject() { ResetAnime(); }

CHierarchyObject::~CHierarchyObject() { events.DeleteAll(); }

CHierarchyObjectEx::~CHierarchyObjectEx() { HodNode::FreePoseCacheTree(root); }

void CHierarchyObject::ResetAnime()
{
    currentTrack = previousTrack = 0;
    clock = 0.0f;
    activeCount = 0;
    events.Init();
    for (AnimeTrackSlot& slot : tracks) slot = AnimeTrackSlot{};
}

void CHierarchyObject::ClearTrackEvents() { events.Init(); }

// ---- tree ------------------------------------------------------------------------

HodNode* CHierarchyObject::CreateRoot()
{
    ReleaseTree();
    root = new (std::nothrow) HodNode();
    if (root) root->HoldMesh(std::make_shared<MeshObject>());
    return root;
}

void CHierarchyObject::FreeNodeTable()
{
    delete[] nodeTable;
    nodeTable = nullptr;
    nodeCount = 0;
}

void CHierarchyObject::RebuildNodeTable()
{
    FreeNodeTable();
    nodeCount = CollectNodes(root, &nodeTable);
}

namespace {

u32 CountNodes(const HodNode* node)
{
    u32 n = 1;
    for (const HodNode* child : node->children)
        if (child) n += CountNodes(child);
    return n;
}

void FillNodes(HodNode* node, HodNode** out, u32* at)
{
    out[(*at)++] = node;
    for (HodNode* child : node->children)
        if (child) FillNodes(child, out, at);
}

HodNode* FindByName(HodNode* node, const char* name)
{
    if (std::strcmp(node->meshName, name) == 0) return node;
    for (HodNode* child : node->children)
        if (child)
            if (HodNode* found = FindByName(child, name)) return found;
    return nullptr;
}

}  // namespace

u32 CHierarchyObject::CollectNodes(HodNode* start, HodNode*** out) const
{
    if (out) *out = nullptr;
    if (!root || !start || !out) return 0;
    const u32 n = CountNodes(start);
    HodNode** nodes = new (std::nothrow) HodNode*[n];
    if (!nodes) return 0;
    u32 at = 0;
    FillNodes(start, nodes, &at);
    *out = nodes;
    return n;
}

HodNode* CHierarchyObject::FindNode(const char* meshName) const
{
    if (!root || !meshName) return nullptr;
    return FindByName(root, meshName);
}

void CHierarchyObject::SetNodeHidden(HodNode* node, u8 hidden)
{
    if (!node) return;
    node->hidden = hidden;
    for (HodNode* child : node->children) SetNodeHidden(child, hidden);
}

void CHierarchyObject::SetNodeLinkMode(HodNode* node, u8 mode)
{
    if (!node) return;
    node->linkMode = mode;
    for (HodNode* child : node->children) SetNodeLinkMode(child, mode);
}

void CHierarchyObject::ReleaseTree()
{
    if (root) {
        if (share && share->copies > 0) {
            --share->copies;
            root->FreeTree(false);
        } else {
            root->FreeTree(true);
        }
        root = nullptr;
    }
    share.reset();
    source = nullptr;
}

void CHierarchyObject::Release()
{
    ReleaseTree();
    events.DeleteAll();
    FreeNodeTable();
}

void CHierarchyObject::CopyNode(const HodNode* from, HodNode* to, u32 depth)
{
    std::memcpy(to->meshName, from->meshName, kHodNameBytes);
    to->HoldMesh(from->meshHold);
    delete[] to->keyTables;
    to->keyTables = from->keyTables;
    to->local = from->local;
    to->hidden = from->hidden;
    to->linkMode = from->linkMode;
    std::memcpy(to->swingParams, from->swingParams, kHodSwingParamBytes);
    to->skinned = from->skinned;
    to->HoldSkin(from->skinHold);
    if (to->skinMesh) {
        if (!to->skinObject) to->skinObject = new (std::nothrow) CSkinObject();
        if (to->skinObject) to->skinObject->SetMesh(to->skinMesh);
    }
    if (depth + 1 >= kHodMaxDepth * 4) return;  // code-built trees only; keeps recursion bounded
    for (u32 i = 0; i < kHodMaxChildren; ++i) {
        if (!from->children[i]) continue;
        HodNode* child = to->AddChildAt(static_cast<int>(i));
        if (child) CopyNode(from->children[i], child, depth + 1);
    }
}

void CHierarchyObject::CopyTo(CHierarchyObject* dest)
{
    if (!dest || dest == this || !root) return;
    if (!dest->CreateRoot()) return;
    CopyNode(root, dest->root, 0);
    dest->RebuildNodeTable();
    RebindCopy(root, dest->root);
    if (!share) share = std::make_shared<HodShareCount>();
    ++share->copies;
    dest->share = share;
    dest->source = source ? source : this;
}

// ---- drawing ---------------------------------------------------------------------

namespace {

void DrawNode(plat::GfxDevice* device, HodNode* node, MeshObject* palette)
{
    if (!node->hidden) {
        device->SetTransform(plat::GfxTransform::World, node->world);
        if (node->level > 0 && node->mesh) node->mesh->DrawMeshObject(palette);
    }
    for (HodNode* child : node->children)
        if (child) DrawNode(device, child, palette);
}

bool NodeDrawsOpaque(const HodNode* node, const MeshObject* palette)
{
    if (!node->hidden && node->level > 0 && node->mesh && !node->mesh->DrawsOpaque(palette)) return false;
    for (const HodNode* child : node->children)
        if (child && !NodeDrawsOpaque(child, palette)) return false;
    return true;
}

}  // namespace

bool CHierarchyObject::DrawsOpaque() const
{
    return !root || !root->mesh || NodeDrawsOpaque(root, root->mesh);
}

void CHierarchyObject::Draw()
{
    if (!root || !root->mesh) return;
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    if (!device) return;
    DrawNode(device, root, root->mesh);
}

void HodNode::DrawSubsetsWith(ShaderBase* shader, HodNode* other)
{
    if (!shader || !shader->effect || !other || !mesh || !other->mesh || !other->mesh->materials) return;
    plat::BaseMesh* drawn = mesh->DrawnMesh();
    if (!drawn) return;
    plat::SetMeshDevice(GetGraphicsDevice()->device);
    const u32 count = std::min(mesh->materialCount, other->mesh->materialCount);
    for (u32 i = 0; i < count; ++i) {
        shader->SetMaterial(&other->mesh->materials[i], other->mesh->textures[i]);
        shader->effect->CommitChanges();
        drawn->DrawSubset(i);
    }
}

// ---- animation -------------------------------------------------------------------

u32 CHierarchyObject::AnimeKeyCount(u32 anime) const
{
    const HodKeyTable* table = root ? root->KeyTable(anime) : nullptr;
    return table && table->keys ? table->count : 0;
}

void CHierarchyObject::AddEvent(u32 type, u32 track, u32 flag, f32 endValue, f32 startValue, f32 startTime,
                                f32 duration)
{
    TrackEvent* e = events.NewNode(1);
    if (!e) return;
    e->type = type;
    e->track = track;
    e->flag = flag;
    e->endValue = endValue;
    e->startValue = startValue;
    e->startTime = startTime;
    e->duration = duration;
}

void CHierarchyObject::DropTrackEvents(u32 track)
{
    TrackEvent* e = events.GetHead() ? events.GetHead()->next : nullptr;
    while (e && e != events.GetTail()) e = e->track == track ? events.Erase(e) : e->next;
}

void CHierarchyObject::ChangeAnime(u32 anime, float startTime, float blendTime, float speed, float weight,
                                   float startFrame, u32 loop)
{
    previousTrack = currentTrack;
    currentTrack = (currentTrack + 1) % kHierarchyChangeTracks;
    DropTrackEvents(previousTrack);
    DropTrackEvents(currentTrack);
    // Tracks still fading from earlier changes fade out now instead.
    for (TrackEvent* e = events.GetHead() ? events.GetHead()->next : nullptr; e && e != events.GetTail();
         e = e->next) {
        if (e->type == kTrackEventEnable && e->flag == 1) e->flag = 0;
        if (e->type == kTrackEventWeight && e->track < kHierarchyTracks) {
            e->endValue = 0.0f;
            e->startValue = tracks[e->track].weight;
            e->startTime = 0.0f;
            e->duration = 5.0f;
        }
    }
    AnimeTrackSlot& next = tracks[currentTrack];
    const AnimeTrackSlot& prev = tracks[previousTrack];
    next.keyCount = AnimeKeyCount(anime);
    next.anime = anime;
    next.loop = loop;
    AddEvent(kTrackEventEnable, previousTrack, 0, 0.0f, 0.0f, startTime + blendTime, 0.0f);
    AddEvent(kTrackEventWeight, previousTrack, 0, 0.0f, prev.weight, startTime, blendTime);
    next.enabled = 1;
    AddEvent(kTrackEventWeight, currentTrack, 0, weight, next.weight, startTime, blendTime);
    next.speed = speed;
    next.frame = startFrame;
}

CHierarchyObject* CHierarchyObject::PlayAnimation(u32 anime, u32 track, float speed, float weight, float frame,
                                                  u32 loop, u32 enabled)
{
    if (track >= kHierarchyTracks) return this;
    previousTrack = currentTrack;
    currentTrack = track;
    AnimeTrackSlot& slot = tracks[track];
    slot.anime = anime;
    if (frame >= 0.0f) slot.frame = frame;
    if (speed >= 0.0f) slot.speed = speed;
    if (weight >= 0.0f) slot.weight = weight;
    slot.enabled = enabled;
    slot.loop = loop;
    slot.keyCount = AnimeKeyCount(anime);
    return this;
}

void CHierarchyObject::AdvanceAnime(float dt)
{
    for (AnimeTrackSlot& slot : tracks) {
        if (!slot.enabled) continue;
        const u32 count = AnimeKeyCount(slot.anime);
        if (count < 2) continue;
        slot.frame += slot.speed * dt;
        const u32 last = count - 1;
        u32 key;
        f32 fraction;
        SplitFrame(slot.frame, &key, &fraction);
        if (key >= last) slot.frame = slot.loop ? slot.frame - static_cast<f32>(last) : static_cast<f32>(last);
    }
    TrackEvent* e = events.GetHead() ? events.GetHead()->next : nullptr;
    while (e && e != events.GetTail()) {
        if (!(clock >= e->startTime) || e->track >= kHierarchyTracks) {
            e = e->next;
            continue;
        }
        AnimeTrackSlot& slot = tracks[e->track];
        bool done = true;
        switch (e->type) {
        case kTrackEventEnable:
            slot.enabled = e->flag;
            break;
        case kTrackEventFrame:
            slot.frame = e->endValue;
            break;
        case kTrackEventSpeed:
        case kTrackEventWeight: {
            // A ramp of no (or negative) length lands on its end value at once.
            f32 t = e->duration > 0.0f ? (clock - e->startTime) / e->duration : 1.0f;
            if (t > 1.0f) t = 1.0f;
            const f32 value = e->endValue * t + e->startValue * (1.0f - t);
            (e->type == kTrackEventSpeed ? slot.speed : slot.weight) = value;
            done = t >= 1.0f;
            break;
        }
        default:
            break;
        }
        e = done ? events.Erase(e) : e->next;
    }
    clock += dt;
}

void CHierarchyObject::RebaseClock()
{
    for (TrackEvent* e = events.GetHead() ? events.GetHead()->next : nullptr; e && e != events.GetTail();
         e = e->next)
        e->startTime -= clock;
    clock = 0.0f;
}

void CHierarchyObject::CollectActiveTracks()
{
    activeCount = 0;
    f32 sum = 0.0f;
    u32 slots[kHierarchyTracks];
    for (u32 s = 0; s < kHierarchyTracks; ++s) {
        const AnimeTrackSlot& slot = tracks[s];
        if (!slot.enabled) continue;
        const u32 count = AnimeKeyCount(slot.anime);
        if (count == 0) continue;  // nothing to sample, and no modulo by zero
        u32 key0;
        f32 fraction;
        SplitFrame(slot.frame, &key0, &fraction);
        if (key0 >= count) key0 = slot.loop ? key0 % count : count - 1;
        u32 key1 = key0 + 1;
        if (key1 >= count) {
            if (slot.loop) {
                key1 %= count;
            } else {
                key1 = count - 1;
                fraction = 0.0f;
            }
        }
        const u32 i = activeCount++;
        slots[i] = s;
        activeAnime[i] = slot.anime;
        activeKeys[i][0] = key0;
        activeKeys[i][1] = key1;
        activeFraction[i] = fraction;
        activeWeight[i] = slot.weight;
        sum += slot.weight;
    }
    // Normalise the weights of the tracks that are actually blended, before
    // the blend uses them.
    if (activeCount > 1 && sum > 0.0f) {
        for (u32 i = 0; i < activeCount; ++i) {
            tracks[slots[i]].weight /= sum;
            activeWeight[i] = tracks[slots[i]].weight;
        }
    }
}

bool CHierarchyObject::SampleTrack(const HodNode* node, u32 entry, Quat* rotation, Vec3* scale,
                                   Vec3* translation) const
{
    const HodKeyTable* table = node->KeyTable(activeAnime[entry]);
    const u32 k0 = activeKeys[entry][0], k1 = activeKeys[entry][1];
    if (!table || !table->keys || k0 >= table->count || k1 >= table->count) return false;
    const f32 f = activeFraction[entry];
    const HodKey& key = table->keys[k0];
    if (f == 0.0f) {
        *rotation = key.rotation;
        *scale = key.scale;
        *translation = key.translation;
        return true;
    }
    InterpolateRotation(*table, k0, k1, f, rotation);
    InterpolateVector(*table, k0, k1, f, key.scaleMode, &HodKey::scale, scale);
    InterpolateVector(*table, k0, k1, f, key.translationMode, &HodKey::translation, translation);
    return true;
}

void CHierarchyObject::AnimateSingle(HodNode* node)
{
    const HodKeyTable* table = node->KeyTable(activeAnime[0]);
    const u32 k0 = activeKeys[0][0];
    // A node without keys for the animation keeps its local matrix.
    if (!table || !table->keys || k0 >= table->count || activeKeys[0][1] >= table->count) return;
    if (activeFraction[0] == 0.0f) {
        node->local = table->keys[k0].matrix;
        return;
    }
    Quat rotation;
    Vec3 scale{1.0f, 1.0f, 1.0f}, translation;
    SampleTrack(node, 0, &rotation, &scale, &translation);
    plat::QuaternionNormalize(&rotation, &rotation);
    plat::MatrixScaleRotateTranslate(&node->local, &scale, &rotation, &translation);
}

void CHierarchyObject::AnimateBlended(HodNode* node)
{
    Quat acc;
    Vec3 accScale{1.0f, 1.0f, 1.0f}, accTranslation;
    bool any = false;
    for (u32 i = 0; i < activeCount; ++i) {
        Quat rotation = acc;
        Vec3 scale = accScale, translation = accTranslation;
        if (!SampleTrack(node, i, &rotation, &scale, &translation)) continue;
        if (!any) {
            acc = rotation;
            accScale = scale;
            accTranslation = translation;
            any = true;
            continue;
        }
        const f32 w = activeWeight[i];
        plat::QuaternionSlerp(&acc, &acc, &rotation, w);
        accScale = accScale + (scale - accScale) * w;
        accTranslation = accTranslation + (translation - accTranslation) * w;
    }
    if (!any) return;
    plat::QuaternionNormalize(&acc, &acc);
    plat::MatrixScaleRotateTranslate(&node->local, &accScale, &acc, &accTranslation);
}

bool CHierarchyObject::WalkLinkModes(HodNode* node, const Mat4* parentWorld, AnimateNode animate,
                                     const HodNode* placedLater)
{
    switch (node->linkMode) {
    case kHodLinkAnimated:
        if (animate) (this->*animate)(node);
        plat::MatrixMultiply(&node->world, &node->local, parentWorld);
        break;
    case kHodLinkFixed:
        plat::MatrixMultiply(&node->world, &node->local, parentWorld);
        break;
    case kHodLinkCallback:
        if (nodeCallback && !nodeCallback(node, parentWorld, nodeCallbackArg)) return false;
        break;
    default:
        return false;
    }
    if (node == placedLater) return true;
    bool left = false;
    for (HodNode* child : node->UsedChildSlots())
        if (child) left |= WalkLinkModes(child, &node->world, animate, placedLater);
    return left;
}

bool CHierarchyObject::CallbackBelow(const HodNode* node)
{
    for (const HodNode* child : node->UsedChildSlots()) {
        if (!child) continue;
        if (child->linkMode == kHodLinkCallback) return true;
        // Leaves are most of a tree: no call for them.
        if (child->childSlots > 0 && (child->linkMode == kHodLinkAnimated || child->linkMode == kHodLinkFixed) &&
            CallbackBelow(child))
            return true;
    }
    return false;
}

CHierarchyObject::AnimateNode CHierarchyObject::Animator() const
{
    if (activeCount > 1) return &CHierarchyObject::AnimateBlended;
    if (activeCount == 1) return &CHierarchyObject::AnimateSingle;
    return nullptr;
}

void CHierarchyObject::ApplyAnime(const Mat4* parentWorld) { ApplyAnimeFrom(root, parentWorld); }

bool CHierarchyObject::ApplyAnimeFrom(HodNode* start, const Mat4* parentWorld, const HodNode* placedLater)
{
    if (!root || !start) return false;
    if (!parentWorld) parentWorld = &kIdentity;
    CollectActiveTracks();
    // A callback may read placed matrices and keeps state: with one below
    // placedLater the whole walk runs.
    if (placedLater && CallbackBelow(placedLater)) placedLater = nullptr;
    return WalkLinkModes(start, parentWorld, Animator(), placedLater);
}

namespace {

void UpdatePlain(HodNode* node, const Mat4* parentWorld)
{
    plat::MatrixMultiply(&node->world, &node->local, parentWorld);
    for (HodNode* child : node->UsedChildSlots())
        if (child) UpdatePlain(child, &node->world);
}

}  // namespace

void CHierarchyObject::UpdateMatrices(const Mat4* parentWorld)
{
    if (!root) return;
    UpdatePlain(root, parentWorld ? parentWorld : &kIdentity);
}

void CHierarchyObject::UpdateMatricesEx(const Mat4* parentWorld) { UpdateNodeMatricesEx(root, parentWorld); }

void CHierarchyObject::UpdateNodeMatricesEx(HodNode* node, const Mat4* parentWorld, bool animate)
{
    if (!root || !node) return;
    WalkLinkModes(node, parentWorld ? parentWorld : &kIdentity, animate ? Animator() : nullptr);
}

// ---- swing nodes -----------------------------------------------------------------

void HodNode::CreatePoseCacheTree(HodNode* node)
{
    if (!node) return;
    if (!node->poseCache) node->poseCache = new (std::nothrow) HodPoseCache();
    if (node->poseCache) node->poseCache->rest = node->local;
    for (HodNode* child : node->children) CreatePoseCacheTree(child);
}

void HodNode::StoreAimLimitsTree(HodNode* node)
{
    if (!node) return;
    if (HodPoseCache* cache = node->poseCache) {
        cache->maxAngle = node->SwingMaxAngle();
        cache->follow = node->SwingFollow();
        cache->spring = node->SwingSpring();
    }
    for (HodNode* child : node->children) StoreAimLimitsTree(child);
}

void HodNode::FreePoseCacheTree(HodNode* node)
{
    if (!node) return;
    delete node->poseCache;
    node->poseCache = nullptr;
    for (HodNode* child : node->children) FreePoseCacheTree(child);
}

bool AimNodeCallback(HodNode* node, const Mat4* /*parentWorld*/, void* /*arg*/)
{
    if (!node) return true;
    HodNode* parent = node->parent;
    if (parent) node->world = Multiply(node->local, parent->world);
    HodNode* tip = node->children[0];
    HodPoseCache* cache = node->poseCache;
    if (!tip || !cache || cache->disabled == 1) return true;

    Mat4 inv;
    if (parent) plat::MatrixInverse(&inv, nullptr, &parent->world);  // a singular parent leaves identity
    Vec3 d = Row(node->world, 3) - Row(tip->world, 3);
    const f32 length = plat::Vec3Length(&d);
    d = Normalized(TransformNormal(d, inv));

    Vec3 a = Normalized(TransformNormal(Row(node->world, 2), inv));
    const Vec3 r = Normalized(Row(cache->rest, 2));
    const Vec3 up = Normalized(Row(cache->rest, 1));

    if (Vec3DotClamped(a, d) < 1.0f) a = Normalized(a + (d - a) * cache->follow);

    const f32 angle = plat::DetAcos(Vec3DotClamped(a, r)) * plat::kRadToDegRough;
    if (angle > cache->maxAngle) {
        const Vec3 axis = Normalized(CrossOf(a, r));
        if (plat::Vec3Length(&axis) > 0.0f) {
            Mat4 turn;
            plat::MatrixRotationAxis(&turn, &axis, (angle - cache->maxAngle) * plat::kDegToRad);
            a = Normalized(TransformNormal(a, turn));
        }
    }

    cache->velocity += (r - a) * length * cache->spring * cache->follow;
    cache->velocity *= 0.92f;

    const Vec3 t = Normalized(a * length + cache->velocity);
    const f32 c = Vec3DotClamped(a, t);
    const Vec3 axis = Normalized(CrossOf(a, Normalized(cache->velocity)));
    if (plat::Vec3Length(&axis) > 0.0f) {
        Mat4 turn;
        plat::MatrixRotationAxis(&turn, &axis, plat::DetAcos(c));
        a = Normalized(TransformNormal(a, turn));
    }

    Matrix local(node->local);
    local.MatrixLookDirection(a, up);
    node->local = local;
    if (parent) node->world = Multiply(node->local, parent->world);
    return true;
}
