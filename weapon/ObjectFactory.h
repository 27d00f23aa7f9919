#pragma once
// Every battle object is made by one of these on the scene list that is to
// own it, and its Set (SetEx, SetOption) is called at once: nothing of an
// object is used before its Set ran. Each returns null when the object
// cannot be made; callers skip their Set then.
#include <new>

#include "battle/BattleObject.h"
#include "engine/core/TaskList.h"

// First among equal priorities: the newest runs first. Priority 0 becomes 1
// and 0xFFFFFFFF becomes 0xFFFFFFFE.
template <class T>
T* NewObject(CList<BB_Base>* list, u32 priority)
{
    return CreateInListFront<T>(list, priority);
}

// Last among equal priorities.
template <class T>
T* NewObjectLast(CList<BB_Base>* list, u32 priority)
{
    return CreateInList<T>(list, priority);
}

// Right behind `node`, with its priority, so the new object runs in the same
// pass straight after it. Null (nothing made) behind the tail sentinel or a
// node of another list.
template <class T>
T* NewObjectAfter(CList<BB_Base>* list, BB_Base* node)
{
    if (!list || !node || node->owner != list || node == list->GetTail()) return nullptr;
    T* object = new (std::nothrow) T();
    if (!object) return nullptr;
    if (!list->InsertAfter(node, object)) {
        delete object;
        return nullptr;
    }
    return object;
}
