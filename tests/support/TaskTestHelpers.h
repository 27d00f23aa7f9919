#pragma once
// Helpers for task tests: finding tasks in a list and reading back the
// sprite quads the recorder saw.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/core/TaskList.h"
#include "platform/gfx/GfxRecorder.h"

template <class T>
bool InList(CList<TCB>& list, const T* task)
{
    for (TCB* t = list.GetHead()->next; t != list.GetTail(); t = t->next)
        if (t == task) return true;
    return false;
}

template <class T>
int CountOf(CList<TCB>& list)
{
    int n = 0;
    for (TCB* t = list.GetHead()->next; t != list.GetTail(); t = t->next)
        if (dynamic_cast<T*>(t)) ++n;
    return n;
}

// Sprite quads of the last flush: corner positions and colour.
struct SpriteQuad {
    float left, top, right, bottom;
    u32 colour;
};
inline std::vector<SpriteQuad> SpriteQuads(plat::GfxRecorderDevice* rec)
{
    struct V {
        float x, y, z, rhw;
        u32 colour;
        float u, v;
    };
    std::vector<SpriteQuad> quads;
    for (const plat::GfxRecordedCall& c : rec->Calls()) {
        if (c.text.rfind("DrawPrimitiveUP TriangleList", 0) != 0) continue;
        if (c.stride != sizeof(V)) continue;
        const size_t n = c.vertices.size() / sizeof(V);
        std::vector<V> v(n);
        std::memcpy(v.data(), c.vertices.data(), n * sizeof(V));
        // Two triangles of three vertices per quad.
        for (size_t i = 0; i + 5 < n; i += 6) {
            SpriteQuad q{v[i].x, v[i].y, v[i].x, v[i].y, v[i].colour};
            for (size_t k = i; k < i + 6; ++k) {
                q.left = std::min(q.left, v[k].x);
                q.top = std::min(q.top, v[k].y);
                q.right = std::max(q.right, v[k].x);
                q.bottom = std::max(q.bottom, v[k].y);
            }
            quads.push_back(q);
        }
    }
    return quads;
}

