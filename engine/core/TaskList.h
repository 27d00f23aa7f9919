#pragma once
// Intrusive doubly linked lists kept in ascending priority between two
// sentinels, and the task node every scene runs from its list each frame.
#include <algorithm>
#include <cassert>
#include <new>
#include <utility>

#include "engine/core/NodeChain.h"
#include "platform/core/Types.h"

template <class T>
class CList;

inline constexpr u32 kListHeadPriority = 0;
inline constexpr u32 kListTailPriority = 0xFFFFFFFFu;
inline constexpr u32 kListMaxUserPriority = 0xFFFFFFFEu;

// Base of every list element. The element class adds its own data and
// virtual operations after the destructor.
template <class T>
class CListNode {
public:
    CListNode() = default;
    CListNode(const CListNode&) = delete;
    CListNode& operator=(const CListNode&) = delete;
    virtual ~CListNode() = default;

    u32 priority = 0;
    T* next = nullptr;
    T* prev = nullptr;
    CList<T>* owner = nullptr;
};

// The list owns its nodes, sentinels included: both sentinels are complete
// default-constructed T objects, so an element type must be default
// constructible. Callers reach every operation through the virtual table.
template <class T>
class CList {
public:
    CList() { Init(); }
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;

    virtual ~CList()
    {
        CList::DeleteAll();
        delete runs;
    }

    // Empties the list and starts afresh with new sentinels.
    virtual void Init()
    {
        DeleteAll();
        T* h = new (std::nothrow) T();
        if (!h) return;
        T* t = new (std::nothrow) T();
        if (!t) {
            delete h;
            return;
        }
        h->priority = kListHeadPriority;
        h->prev = nullptr;
        h->next = t;
        h->owner = this;
        t->priority = kListTailPriority;
        t->next = nullptr;
        t->prev = h;
        t->owner = this;
        head = h;
        tail = t;
        ForgetRuns();
    }

    virtual void DeleteAll()
    {
        if (!head) return;
        DeleteNodeChain(head);
        head = tail = nullptr;
        count = 0;
        ForgetRuns();
    }

    // The node a new one of priority p goes before: the first above p (last
    // among equals) or at least p (first among equals). A long list keeps the
    // ends of its runs of small priorities (a battle's thousands of effects),
    // so those are found at once; otherwise the sorted list is searched from
    // both ends at once, so long runs of one priority cost nothing whichever
    // end the new node belongs at.
    T* InsertionPoint(u32 p, bool firstAmongEquals) const
    {
        if (runs && p < kRunSlots) {
            if (runs->first[p]) return firstAmongEquals ? runs->first[p] : runs->last[p]->next;
            for (u32 q = p + 1; q < kRunSlots; ++q)
                if (runs->first[q]) return runs->first[q];
        }
        auto ahead = [p, firstAmongEquals](const T* n) { return firstAmongEquals ? n->priority < p : n->priority <= p; };
        T* forward = head->next;
        T* backward = tail;  // never ahead: the tail sentinel's priority is above every user priority
        for (;;) {
            if (!ahead(forward)) return forward;
            if (ahead(backward->prev)) return backward;
            forward = forward->next;
            backward = backward->prev;
        }
    }

    // Last among equals.
    virtual T* NewNode(u32 priority)
    {
        if (!head) return nullptr;
        T* node = new (std::nothrow) T();
        if (!node) return nullptr;
        node->priority = ClampPriority(priority);
        node->owner = this;
        AddNode(priority, node);
        return node;
    }

    virtual void AddNode(u32 priority, T* node)
    {
        if (!head || !node) return;
        const u32 p = ClampPriority(priority);
        LinkBefore(InsertionPoint(p, false), node, p);
    }

    // First among equals.
    virtual T* NewNodeFront(u32 priority)
    {
        if (!head) return nullptr;
        T* node = new (std::nothrow) T();
        if (!node) return nullptr;
        node->priority = ClampPriority(priority);
        node->owner = this;
        AddNodeFront(priority, node);
        return node;
    }

    virtual void AddNodeFront(u32 priority, T* node)
    {
        if (!head || !node) return;
        const u32 p = ClampPriority(priority);
        LinkBefore(InsertionPoint(p, true), node, p);
    }

    virtual T* NewNodeAfter(T* existing)
    {
        if (!existing || existing->priority == kListTailPriority) return nullptr;
        T* node = new (std::nothrow) T();
        if (!node) return nullptr;
        node->priority = existing->priority;
        node->owner = this;
        InsertAfter(existing, node);
        return node;
    }

    // Right behind a given node, taking its priority (1 behind the head sentinel).
    virtual u32 InsertAfter(T* existing, T* node)
    {
        if (!existing || !node || existing->priority > kListMaxUserPriority) return 0;
        node->priority = existing->priority == kListHeadPriority ? 1 : existing->priority;
        node->prev = existing;
        node->next = existing->next;
        existing->next->prev = node;
        existing->next = node;
        node->owner = this;
        ++count;
        NoteLinked(node);
        return 1;
    }

    virtual void DeleteByPriority(u32 priority)
    {
        T* node = head;
        while (node) {
            if (node->priority != priority) {
                node = node->next;
                continue;
            }
            if (!node->prev || !node->next) break; // a sentinel of that priority
            node = Erase(node);
        }
    }

    // Returns the node that followed the erased one, so a walk can go on.
    virtual T* Erase(T* node)
    {
        if (!node) return nullptr;
        if (!node->prev) return node->next;
        if (!node->next) return nullptr;
        assert(node->owner == this);
        T* following = Unlink(node);
        delete node;
        return following;
    }

    // As Erase, but the node is handed back to the caller instead of deleted.
    virtual T* Detach(T* node)
    {
        if (!node) return nullptr;
        if (!node->prev) return node->next;
        if (!node->next) return nullptr;
        assert(node->owner == this);
        T* following = Unlink(node);
        node->owner = nullptr;
        return following;
    }

    virtual T* Find(u32 priority)
    {
        for (T* node = head; node; node = node->next)
            if (node->priority == priority) return node;
        return nullptr;
    }

    virtual T* GetAt(u32 index)
    {
        if (!head) return nullptr;
        u32 i = 0;
        for (T* node = head->next; node && node != tail; node = node->next, ++i)
            if (i == index) return node;
        return nullptr;
    }

    virtual u32 SetPriority(T* node, u32 priority)
    {
        if (!node || priority == kListHeadPriority || priority == kListTailPriority) return 0;
        if (node->priority == priority) return 1;
        Relink(node, priority, false);
        return 1;
    }

    virtual u32 SetPriorityFront(T* node, u32 priority)
    {
        if (!node || priority == kListHeadPriority || priority == kListTailPriority) return 0;
        if (node->priority == priority) return 1;
        Relink(node, priority, true);
        return 1;
    }

    virtual u32 GetCount() { return count; }
    // Without touching a node: the sentinels may lie far off in memory.
    bool Empty() const { return count == 0; }

    T* GetHead() const { return head; }
    T* GetTail() const { return tail; }

    static u32 ClampPriority(u32 priority)
    {
        if (priority == kListHeadPriority) return 1;
        return std::min(priority, kListMaxUserPriority);
    }

protected:
    T* head = nullptr;
    T* tail = nullptr;
    u32 count = 0;

private:
    // Priorities below kRunSlots keep the first and last node of their run
    // once the list has grown past kRunsFrom nodes; short lists (a laser's
    // points, a cell's objects) stay small without them.
    static constexpr u32 kRunSlots = 8;
    static constexpr u32 kRunsFrom = 32;
    struct Runs {
        T* first[kRunSlots] = {};
        T* last[kRunSlots] = {};
    };
    Runs* runs = nullptr;

    void ForgetRuns()
    {
        delete runs;
        runs = nullptr;
    }

    void BuildRuns()
    {
        runs = new (std::nothrow) Runs();
        if (!runs) return;
        for (T* n = head->next; n != tail; n = n->next) {
            const u32 p = n->priority;
            if (p >= kRunSlots) break;
            if (!runs->first[p]) runs->first[p] = n;
            runs->last[p] = n;
        }
    }

    // A node just linked in its place: it may start or end its run.
    void NoteLinked(T* node)
    {
        if (!runs) {
            if (count > kRunsFrom) BuildRuns();
            return;
        }
        const u32 p = node->priority;
        if (p >= kRunSlots) return;
        if (!runs->first[p]) {
            runs->first[p] = runs->last[p] = node;
            return;
        }
        if (node->next == runs->first[p]) runs->first[p] = node;
        if (node->prev == runs->last[p]) runs->last[p] = node;
    }

    // A node about to leave its place.
    void NoteUnlinking(T* node)
    {
        if (!runs) return;
        const u32 p = node->priority;
        if (p >= kRunSlots) return;
        if (runs->first[p] == node && runs->last[p] == node) {
            runs->first[p] = runs->last[p] = nullptr;
        } else if (runs->first[p] == node) {
            runs->first[p] = node->next;
        } else if (runs->last[p] == node) {
            runs->last[p] = node->prev;
        }
    }

    void LinkBefore(T* at, T* node, u32 p)
    {
        node->priority = p;
        node->owner = this;
        node->next = at;
        node->prev = at->prev;
        at->prev->next = node;
        at->prev = node;
        ++count;
        NoteLinked(node);
    }

    T* Unlink(T* node)
    {
        NoteUnlinking(node);
        T* following = node->next;
        node->prev->next = following;
        following->prev = node->prev;
        node->next = nullptr;
        node->prev = nullptr;
        --count;
        return following;
    }

    // Count stays the same: the node leaves and comes back.
    void Relink(T* node, u32 priority, bool front)
    {
        NoteUnlinking(node);
        node->prev->next = node->next;
        node->next->prev = node->prev;
        T* at = head;
        if (front)
            while (at->priority < priority) at = at->next;
        else
            while (at->priority <= priority) at = at->next;
        node->priority = priority;
        node->next = at;
        node->prev = at->prev;
        at->prev->next = node;
        at->prev = node;
        NoteLinked(node);
    }
};

// Allocates a derived element and links it after the nodes of equal priority
// (the order tasks and draw passes run in). Null when allocation fails or the
// list has no sentinels.
template <class D, class B, class... A>
D* CreateInList(CList<B>* list, u32 priority, A&&... args)
{
    if (!list) return nullptr;
    D* node = new (std::nothrow) D(std::forward<A>(args)...);
    if (!node) return nullptr;
    list->AddNode(priority, node);
    if (node->owner != list) {
        delete node;
        return nullptr;
    }
    return node;
}

// As CreateInList, but first among equals: newest objects run first.
template <class D, class B, class... A>
D* CreateInListFront(CList<B>* list, u32 priority, A&&... args)
{
    if (!list) return nullptr;
    D* node = new (std::nothrow) D(std::forward<A>(args)...);
    if (!node) return nullptr;
    list->AddNodeFront(priority, node);
    if (node->owner != list) {
        delete node;
        return nullptr;
    }
    return node;
}

// The task node. A bare TCB is what the sentinels of a task list are made of.
class TCB : public CListNode<TCB> {
public:
    ~TCB() override = default;
    // 0 keeps the task, 1 removes and deletes it, -1 means the scene that owns
    // the list was replaced: the walk must stop touching it at once.
    virtual i32 Proc() { return 0; }
    virtual void Draw() {}
    virtual void DrawSP() {}
};

inline constexpr i32 kTaskKeep = 0;
inline constexpr i32 kTaskRemove = 1;
inline constexpr i32 kTaskSceneReplaced = -1;

// Process pass: every Proc in ascending priority. Returns -1 when a Proc
// returned -1; the list may no longer exist then. Otherwise 0.
i32 RunTaskProcs(CList<TCB>& list);
// Draw pass (3D) and sprite pass (2D); results are not looked at.
void RunTaskDraws(CList<TCB>& list);
void RunTaskSprites(CList<TCB>& list);
// The whole walk of a frame for scenes that draw nothing between the passes.
i32 RunTaskList(CList<TCB>& list);
