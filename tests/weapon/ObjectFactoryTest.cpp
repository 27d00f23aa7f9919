#include "weapon/ObjectFactory.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

class Tagged : public BB_Base {
public:
    int tag = 0;
};

std::vector<int> Walk(CList<BB_Base>& list)
{
    std::vector<int> tags;
    for (BB_Base* n = list.GetHead()->next; n != list.GetTail(); n = n->next) tags.push_back(static_cast<Tagged*>(n)->tag);
    return tags;
}

}  // namespace

TEST(ObjectFactoryTest, PrioritiesClampAndEqualsLineUpByFactory)
{
    CList<BB_Base> list;
    Tagged* low = NewObject<Tagged>(&list, 0);
    Tagged* high = NewObject<Tagged>(&list, 0xFFFFFFFFu);
    ASSERT_TRUE(low && high);
    EXPECT_EQ(low->priority, 1u);
    EXPECT_EQ(high->priority, 0xFFFFFFFEu);
    EXPECT_EQ(low->owner, &list);
    low->tag = 1;
    high->tag = 99;
    // Newest first among equals with NewObject, oldest first with NewObjectLast.
    NewObject<Tagged>(&list, 5)->tag = 10;
    NewObject<Tagged>(&list, 5)->tag = 11;
    NewObjectLast<Tagged>(&list, 5)->tag = 12;
    NewObjectLast<Tagged>(&list, 5)->tag = 13;
    EXPECT_EQ(Walk(list), (std::vector<int>{1, 11, 10, 12, 13, 99}));

    // Right behind a given object, with its priority; never behind the tail.
    BB_Base* eleven = list.GetHead()->next->next;
    Tagged* ring = NewObjectAfter<Tagged>(&list, eleven);
    ASSERT_NE(ring, nullptr);
    ring->tag = 20;
    EXPECT_EQ(ring->priority, 5u);
    Tagged* last = NewObjectAfter<Tagged>(&list, high);
    ASSERT_NE(last, nullptr);
    last->tag = 21;
    EXPECT_EQ(Walk(list), (std::vector<int>{1, 11, 20, 10, 12, 13, 99, 21}));
    const u32 count = list.GetCount();
    EXPECT_EQ(NewObjectAfter<Tagged>(&list, list.GetTail()), nullptr);
    CList<BB_Base> other;
    EXPECT_EQ(NewObjectAfter<Tagged>(&other, eleven), nullptr);
    EXPECT_EQ(list.GetCount(), count);
    EXPECT_EQ(other.GetCount(), 0u);
}
