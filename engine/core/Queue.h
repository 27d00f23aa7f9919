#pragma once
// Intrusive singly linked first-in-first-out queue. The queue owns its nodes
// and deletes them through their virtual destructor; a popped node belongs to
// the caller.
#include <new>

#include "engine/core/NodeChain.h"
#include "platform/core/Types.h"

template <class T>
class CQueueNode {
public:
    CQueueNode() = default;
    CQueueNode(const CQueueNode&) = delete;
    CQueueNode& operator=(const CQueueNode&) = delete;
    virtual ~CQueueNode() = default;

    T* next = nullptr;
};

template <class T>
class CQueue {
public:
    CQueue() = default;
    CQueue(const CQueue&) = delete;
    CQueue& operator=(const CQueue&) = delete;

    // Virtual operations keep this order; the network queues override Init.
    virtual ~CQueue() { CQueue::DeleteAll(); }

    virtual void Init() { DeleteAll(); }

    virtual void DeleteAll()
    {
        if (!head) return;
        DeleteNodeChain(head);
        head = tail = nullptr;
        count = 0;
    }

    // Appends a default-constructed element; the caller fills in its data.
    virtual T* Add()
    {
        T* node = new (std::nothrow) T();
        if (!node) return nullptr;
        node->next = nullptr;
        if (tail) tail->next = node;
        else head = node;
        tail = node;
        ++count;
        return node;
    }

    // Puts an existing node back in front, e.g. a message that must go out first.
    virtual void PushFront(T* node)
    {
        if (!node) return;
        node->next = head;
        head = node;
        if (!tail) tail = node;
        ++count;
    }

    virtual T* Pop()
    {
        if (count == 0 || !head) return nullptr;
        T* node = head;
        head = node->next;
        if (!head) tail = nullptr;
        node->next = nullptr;
        --count;
        return node;
    }

    virtual T* Peek() { return (count == 0) ? nullptr : head; }

    u32 GetCount() const { return count; }
    T* GetHead() const { return head; }
    T* GetTail() const { return tail; }

protected:
    T* head = nullptr;
    T* tail = nullptr;
    u32 count = 0;
};
