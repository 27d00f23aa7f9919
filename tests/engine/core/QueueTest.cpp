#include <gtest/gtest.h>

#include "engine/core/Queue.h"

namespace {

int g_liveNodes = 0;

struct Item : CQueueNode<Item> {
    Item() { ++g_liveNodes; }
    ~Item() override { --g_liveNodes; }
    int value = 0;
};

// A derived queue that overrides Init, as the network queues do.
struct ResettingQueue : CQueue<Item> {
    int inits = 0;
    void Init() override
    {
        ++inits;
        DeleteAll();
    }
};

} // namespace

TEST(Queue, PopOnEmptyQueueReturnsNullAndChangesNothing)
{
    CQueue<Item> q;
    EXPECT_EQ(q.Pop(), nullptr);
    EXPECT_EQ(q.Peek(), nullptr);
    EXPECT_EQ(q.GetHead(), nullptr);
    EXPECT_EQ(q.GetTail(), nullptr);
    EXPECT_EQ(q.GetCount(), 0u);
}

TEST(Queue, PopsNodesInTheOrderTheyWereAdded)
{
    CQueue<Item> q;
    for (int i = 1; i <= 3; ++i) q.Add()->value = i;
    EXPECT_EQ(q.GetCount(), 3u);
    EXPECT_EQ(q.Peek()->value, 1);
    EXPECT_EQ(q.GetCount(), 3u) << "Peek must not remove";
    for (int i = 1; i <= 3; ++i) {
        Item* it = q.Pop();
        ASSERT_NE(it, nullptr);
        EXPECT_EQ(it->value, i);
        EXPECT_EQ(it->next, nullptr);
        delete it;
    }
    EXPECT_EQ(q.GetCount(), 0u);
    EXPECT_EQ(q.GetHead(), nullptr);
    EXPECT_EQ(q.GetTail(), nullptr);
    // Still usable after draining.
    q.Add()->value = 9;
    EXPECT_EQ(q.GetHead(), q.GetTail());
    EXPECT_EQ(q.Peek()->value, 9);
}

TEST(Queue, PushFrontPutsANodeAheadOfEarlierOnes)
{
    CQueue<Item> q;
    for (int i = 1; i <= 3; ++i) q.Add()->value = i;
    Item* first = q.Pop();
    q.PushFront(first);
    EXPECT_EQ(q.GetCount(), 3u);
    Item* again = q.Pop();
    EXPECT_EQ(again, first);
    delete again;

    CQueue<Item> empty;
    auto* lone = new Item;
    lone->value = 7;
    empty.PushFront(lone);
    EXPECT_EQ(empty.GetHead(), lone);
    EXPECT_EQ(empty.GetTail(), lone);
    EXPECT_EQ(empty.GetCount(), 1u);
    // Adding after a push-front appends behind it.
    empty.Add()->value = 8;
    EXPECT_EQ(empty.Pop()->value, 7);
    delete lone;
    Item* last = empty.Pop();
    EXPECT_EQ(last->value, 8);
    delete last;
    EXPECT_EQ(empty.GetTail(), nullptr);
}

TEST(Queue, DeleteAllAndDestructorFreeEveryNode)
{
    g_liveNodes = 0;
    {
        CQueue<Item> q;
        for (int i = 0; i < 4; ++i) q.Add();
        EXPECT_EQ(g_liveNodes, 4);
        q.DeleteAll();
        EXPECT_EQ(g_liveNodes, 0);
        EXPECT_EQ(q.GetCount(), 0u);
        q.DeleteAll(); // harmless twice
        for (int i = 0; i < 3; ++i) q.Add();
    }
    EXPECT_EQ(g_liveNodes, 0);
}

TEST(Queue, InitIsCalledVirtuallyThroughTheBase)
{
    g_liveNodes = 0;
    ResettingQueue rq;
    rq.Add();
    rq.Add();
    CQueue<Item>& base = rq;
    base.Init();
    EXPECT_EQ(rq.inits, 1);
    EXPECT_EQ(rq.GetCount(), 0u);
    EXPECT_EQ(g_liveNodes, 0);
}
