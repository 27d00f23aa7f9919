#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/core/TaskList.h"

namespace {

int g_alive = 0;

struct Elem : CListNode<Elem> {
    Elem() { ++g_alive; }
    explicit Elem(int t) : tag(t) { ++g_alive; }
    ~Elem() override { --g_alive; }
    int tag = 0;
};

// Walks the list both ways and checks the invariants every operation keeps.
void ExpectWellFormed(CList<Elem>& list)
{
    Elem* head = list.GetHead();
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->priority, 0u);
    EXPECT_EQ(head->prev, nullptr);
    u32 users = 0;
    Elem* node = head;
    while (node->next) {
        EXPECT_EQ(node->next->prev, node);
        EXPECT_LE(node->priority, node->next->priority);
        EXPECT_EQ(node->owner, &list);
        node = node->next;
        if (node->next) ++users;
    }
    EXPECT_EQ(node, list.GetTail());
    EXPECT_EQ(node->priority, 0xFFFFFFFFu);
    EXPECT_EQ(users, list.GetCount());
}

std::vector<int> Tags(CList<Elem>& list)
{
    std::vector<int> out;
    for (Elem* n = list.GetHead()->next; n != list.GetTail(); n = n->next) out.push_back(n->tag);
    return out;
}

Elem* Add(CList<Elem>& list, u32 priority, int tag)
{
    return CreateInList<Elem>(&list, priority, tag);
}

} // namespace

TEST(PriorityList, EqualPrioritiesKeepInsertionOrderOrReverseWhenAddedInFront)
{
    CList<Elem> back;
    for (int i = 1; i <= 3; ++i) Add(back, 5, i);
    Add(back, 4, 0);
    Add(back, 6, 9);
    EXPECT_EQ(Tags(back), (std::vector<int>{0, 1, 2, 3, 9}));
    ExpectWellFormed(back);

    CList<Elem> front;
    for (int i = 1; i <= 3; ++i) CreateInListFront<Elem>(&front, 5, i);
    EXPECT_EQ(Tags(front), (std::vector<int>{3, 2, 1}));
    ExpectWellFormed(front);

    Elem* n = back.NewNode(5);
    n->tag = 4;
    Elem* f = back.NewNodeFront(5);
    f->tag = -1;
    EXPECT_EQ(Tags(back), (std::vector<int>{0, -1, 1, 2, 3, 4, 9}));
    ExpectWellFormed(back);

    // Mixed priorities added at either end of their run land where a plain
    // stable insertion puts them, whichever end of the list is nearer.
    CList<Elem> mixed;
    std::vector<std::pair<u32, int>> model;
    u32 seed = 12345;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245u + 12345u;
        const u32 p = 1 + (seed >> 16) % 4;
        const bool atFront = (seed >> 8) & 1;
        auto at = model.begin();
        while (at != model.end() && (atFront ? at->first < p : at->first <= p)) ++at;
        model.insert(at, {p, i});
        if (atFront) CreateInListFront<Elem>(&mixed, p, i);
        else Add(mixed, p, i);
    }
    std::vector<int> expected;
    for (const auto& m : model) expected.push_back(m.second);
    EXPECT_EQ(Tags(mixed), expected);
    ExpectWellFormed(mixed);
}

TEST(PriorityList, PrioritiesAreClampedBetweenTheSentinels)
{
    CList<Elem> list;
    Elem* low = Add(list, 0, 1);
    Elem* high = Add(list, 0xFFFFFFFFu, 2);
    EXPECT_EQ(low->priority, 1u);
    EXPECT_EQ(high->priority, 0xFFFFFFFEu);
    EXPECT_EQ(high->next, list.GetTail());
    EXPECT_EQ(list.NewNode(0)->priority, 1u);
    EXPECT_EQ(list.NewNodeFront(0xFFFFFFFFu)->priority, 0xFFFFFFFEu);
    EXPECT_EQ(list.GetHead()->next->priority, 1u);
    ExpectWellFormed(list);
}

TEST(PriorityList, InsertAfterTakesTheNeighboursPriorityAndRefusesTheTail)
{
    CList<Elem> list;
    Add(list, 10, 1);
    auto* first = new Elem(0);
    EXPECT_EQ(list.InsertAfter(list.GetHead(), first), 1u);
    EXPECT_EQ(first->priority, 1u);
    EXPECT_EQ(list.GetHead()->next, first);

    auto* stray = new Elem(5);
    EXPECT_EQ(list.InsertAfter(list.GetTail(), stray), 0u);
    EXPECT_EQ(stray->owner, nullptr);
    EXPECT_EQ(list.GetCount(), 2u);
    delete stray;

    Elem* ten = list.GetAt(1);
    Add(list, 10, 3);
    Elem* behind = list.NewNodeAfter(ten);
    ASSERT_NE(behind, nullptr);
    behind->tag = 2;
    EXPECT_EQ(behind->priority, 10u);
    EXPECT_EQ(Tags(list), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(list.NewNodeAfter(list.GetTail()), nullptr);
    EXPECT_EQ(list.NewNodeAfter(list.GetHead())->priority, 1u);
    ExpectWellFormed(list);
}

TEST(PriorityList, EraseAndDetachLeaveTheSentinelsAlone)
{
    g_alive = 0;
    CList<Elem> list;
    EXPECT_EQ(g_alive, 2) << "sentinels are complete elements";
    EXPECT_EQ(list.Erase(list.GetHead()), list.GetTail());
    EXPECT_EQ(list.Erase(list.GetTail()), nullptr);
    EXPECT_EQ(list.Detach(list.GetTail()), nullptr);

    Elem* a = Add(list, 3, 1);
    Elem* b = Add(list, 4, 2);
    EXPECT_EQ(list.Erase(list.GetHead()), a);
    EXPECT_EQ(list.GetCount(), 2u);
    EXPECT_EQ(g_alive, 4);

    // Erasing the last user node hands back the tail, ending a walk cleanly.
    EXPECT_EQ(list.Erase(b), list.GetTail());
    EXPECT_EQ(g_alive, 3);

    EXPECT_EQ(list.Detach(a), list.GetTail());
    EXPECT_EQ(a->owner, nullptr);
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(g_alive, 3) << "a detached node is not deleted";
    ExpectWellFormed(list);
    Add(list, 1, 7);
    list.AddNode(2, a); // a detached node can be linked again
    EXPECT_EQ(Tags(list), (std::vector<int>{7, 1}));
}

TEST(PriorityList, DeleteByPriorityRemovesOnlyThatPriority)
{
    g_alive = 0;
    CList<Elem> list;
    Add(list, 6, 1);
    Add(list, 7, 2);
    Add(list, 7, 3);
    Add(list, 8, 4);
    Add(list, 7, 5);
    list.DeleteByPriority(0);
    list.DeleteByPriority(0xFFFFFFFFu);
    EXPECT_EQ(list.GetCount(), 5u);
    EXPECT_EQ(g_alive, 7);
    list.DeleteByPriority(7);
    EXPECT_EQ(Tags(list), (std::vector<int>{1, 4}));
    EXPECT_EQ(g_alive, 4);
    ExpectWellFormed(list);
}

namespace {
// Counts erasures so the test sees DeleteByPriority go through the table.
struct CountingList : CList<Elem> {
    int erased = 0;
    Elem* Erase(Elem* node) override
    {
        ++erased;
        return CList<Elem>::Erase(node);
    }
};
} // namespace

TEST(PriorityList, DeleteByPriorityErasesThroughTheVirtualTable)
{
    CountingList list;
    Add(list, 2, 1);
    Add(list, 2, 2);
    Add(list, 3, 3);
    CList<Elem>& base = list;
    base.DeleteByPriority(2);
    EXPECT_EQ(list.erased, 2);
    EXPECT_EQ(list.GetCount(), 1u);
}

TEST(PriorityList, SetPriorityMovesAfterOrBeforeEqualsAndRefusesSentinelValues)
{
    CList<Elem> list;
    Elem* a = Add(list, 5, 1);
    Elem* b = Add(list, 5, 2);
    Elem* c = Add(list, 9, 3);

    // Same priority: stays put even though another node of that priority precedes it.
    EXPECT_EQ(list.SetPriority(b, 5), 1u);
    EXPECT_EQ(Tags(list), (std::vector<int>{1, 2, 3}));

    EXPECT_EQ(list.SetPriority(a, 9), 1u);
    EXPECT_EQ(Tags(list), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(list.SetPriorityFront(b, 9), 1u);
    EXPECT_EQ(Tags(list), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(b->priority, 9u);
    EXPECT_EQ(list.SetPriority(c, 2), 1u);
    EXPECT_EQ(Tags(list), (std::vector<int>{3, 2, 1}));

    EXPECT_EQ(list.SetPriority(a, 0), 0u);
    EXPECT_EQ(list.SetPriorityFront(a, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(a->priority, 9u);
    EXPECT_EQ(list.GetCount(), 3u);
    ExpectWellFormed(list);
}

TEST(PriorityList, FindAndGetAtStayInsideTheList)
{
    CList<Elem> list;
    EXPECT_EQ(list.GetAt(0), nullptr);
    EXPECT_EQ(list.Find(0), list.GetHead());
    EXPECT_EQ(list.Find(0xFFFFFFFFu), list.GetTail());
    Elem* a = Add(list, 4, 1);
    Elem* b = Add(list, 4, 2);
    Elem* c = Add(list, 8, 3);
    EXPECT_EQ(list.GetAt(0), a);
    EXPECT_EQ(list.GetAt(list.GetCount() - 1), c);
    EXPECT_EQ(list.GetAt(list.GetCount()), nullptr);
    EXPECT_EQ(list.Find(4), a);
    EXPECT_EQ(list.Find(8), c);
    EXPECT_EQ(list.Find(5), nullptr);
    (void)b;
}

TEST(PriorityList, DeleteAllAndInitFreeEveryNodeIncludingSentinels)
{
    g_alive = 0;
    {
        CList<Elem> list;
        Add(list, 1, 1);
        Add(list, 2, 2);
        EXPECT_EQ(g_alive, 4);
        list.DeleteAll();
        EXPECT_EQ(g_alive, 0);
        EXPECT_EQ(list.GetHead(), nullptr);
        EXPECT_EQ(list.GetCount(), 0u);
        list.DeleteAll();
        EXPECT_EQ(list.NewNode(3), nullptr) << "no sentinels, nothing to link into";
        EXPECT_EQ(list.GetAt(0), nullptr);
        EXPECT_EQ(CreateInList<Elem>(&list, 3, 1), nullptr);
        EXPECT_EQ(g_alive, 0) << "a node that could not be linked is not leaked";

        list.Init();
        EXPECT_EQ(list.GetCount(), 0u);
        Add(list, 5, 1);
        ExpectWellFormed(list);
        list.Init(); // on a used list: empties it
        EXPECT_EQ(list.GetCount(), 0u);
        EXPECT_EQ(g_alive, 2);
        ExpectWellFormed(list);
        Add(list, 5, 1);
    }
    EXPECT_EQ(g_alive, 0);
}

// A long list (thousands of effects in a battle) must order its nodes exactly
// as a short one does, whatever mix of adds, moves and erasures it sees.
TEST(PriorityList, LongListsKeepTheOrderOfAPlainSortedSequence)
{
    struct Entry {
        u32 priority;
        int tag;
    };
    std::vector<Entry> model;
    auto placeAt = [&](u32 p, bool front) {
        size_t i = 0;
        while (i < model.size() && (front ? model[i].priority < p : model[i].priority <= p)) ++i;
        return i;
    };
    std::mt19937 random(7);
    auto pick = [&](u32 n) { return static_cast<u32>(random() % n); };
    const u32 priorities[] = {1, 1, 2, 2, 3, 3, 4, 6, 7, 8, 9, 40};
    CList<Elem> list;
    int tag = 0;
    for (int step = 0; step < 4000; ++step) {
        const u32 op = pick(model.size() < 300 ? 10 : 14);
        const u32 p = priorities[pick(std::size(priorities))];
        if (op < 3 || model.empty()) {
            Add(list, p, ++tag);
            model.insert(model.begin() + static_cast<long>(placeAt(p, false)), {p, tag});
        } else if (op < 6) {
            CreateInListFront<Elem>(&list, p, ++tag);
            model.insert(model.begin() + static_cast<long>(placeAt(p, true)), {p, tag});
        } else if (op < 8) {
            const u32 i = pick(static_cast<u32>(model.size()) + 1);
            auto* node = new Elem(++tag);
            list.InsertAfter(i == 0 ? list.GetHead() : list.GetAt(i - 1), node);
            model.insert(model.begin() + i, {i == 0 ? 1u : model[i - 1].priority, tag});
        } else if (op < 10) {
            const u32 i = pick(static_cast<u32>(model.size()));
            Elem* node = list.GetAt(i);
            const bool front = op == 9;
            if (front) list.SetPriorityFront(node, p);
            else list.SetPriority(node, p);
            if (model[i].priority != p) {
                const int moved = model[i].tag;
                model.erase(model.begin() + i);
                model.insert(model.begin() + static_cast<long>(placeAt(p, front)), {p, moved});
            }
        } else if (op < 13) {
            const u32 i = pick(static_cast<u32>(model.size()));
            Elem* node = list.GetAt(i);
            if (op == 12) {
                list.Detach(node);
                delete node;
            } else {
                list.Erase(node);
            }
            model.erase(model.begin() + i);
        } else {
            list.DeleteByPriority(p);
            std::erase_if(model, [p](const Entry& e) { return e.priority == p; });
        }
        if (step % 50 != 0) continue;
        std::vector<int> tags;
        for (const Entry& e : model) tags.push_back(e.tag);
        ASSERT_EQ(Tags(list), tags) << "step " << step;
        ExpectWellFormed(list);
    }
    EXPECT_GT(model.size(), 200u);
}

// ---- the task walk ------------------------------------------------------

namespace {

struct Log {
    std::vector<std::string> lines;
};

class LogTask : public TCB {
public:
    LogTask(Log* log, std::string name, i32 result) : result_(result), log_(log), name_(std::move(name)) {}
    i32 Proc() override
    {
        log_->lines.push_back("P" + name_);
        const i32 result = result_; // the hook may delete this task
        if (onProc) onProc(this);
        return result;
    }
    void Draw() override { log_->lines.push_back("D" + name_); }
    void DrawSP() override { log_->lines.push_back("S" + name_); }
    std::function<void(LogTask*)> onProc;
    i32 result_;

private:
    Log* log_;
    std::string name_;
};

LogTask* AddTask(CList<TCB>& list, Log& log, u32 priority, const char* name, i32 result = 0)
{
    return CreateInList<LogTask>(&list, priority, &log, name, result);
}

using Lines = std::vector<std::string>;

} // namespace

TEST(TaskWalk, RunsProcsThenDrawsThenSpritesInPriorityOrder)
{
    Log log;
    CList<TCB> list;
    AddTask(list, log, 20, "b");
    AddTask(list, log, 10, "a");
    AddTask(list, log, 20, "c");
    EXPECT_EQ(RunTaskList(list), 0);
    EXPECT_EQ(log.lines, (Lines{"Pa", "Pb", "Pc", "Da", "Db", "Dc", "Sa", "Sb", "Sc"}));
}

TEST(TaskWalk, TaskReturningOneIsRemovedAndTheWalkGoesOn)
{
    g_alive = 0;
    Log log;
    CList<TCB> list;
    AddTask(list, log, 1, "a");
    AddTask(list, log, 2, "gone", 1);
    AddTask(list, log, 3, "c");
    EXPECT_EQ(RunTaskList(list), 0);
    EXPECT_EQ(log.lines, (Lines{"Pa", "Pgone", "Pc", "Da", "Dc", "Sa", "Sc"}));
    EXPECT_EQ(list.GetCount(), 2u);

    // The last task removing itself ends the pass at the tail.
    log.lines.clear();
    AddTask(list, log, 9, "last", 1);
    EXPECT_EQ(RunTaskProcs(list), 0);
    EXPECT_EQ(log.lines, (Lines{"Pa", "Pc", "Plast"}));
    EXPECT_EQ(list.GetCount(), 2u);
}

TEST(TaskWalk, MinusOneStopsTheFrameBeforeAnyLaterProcOrDraw)
{
    Log log;
    CList<TCB> list;
    AddTask(list, log, 1, "a");
    AddTask(list, log, 2, "stop", -1);
    AddTask(list, log, 3, "c");
    EXPECT_EQ(RunTaskList(list), -1);
    EXPECT_EQ(log.lines, (Lines{"Pa", "Pstop"}));
}

TEST(TaskWalk, StopsWhenATaskReplacesTheScene)
{
    // The running task deletes the list that holds it, as a scene switch does;
    // the walk must not touch the freed nodes (the sanitizer would catch it).
    Log log;
    auto* scene = new CList<TCB>;
    AddTask(*scene, log, 1, "a");
    LogTask* switcher = AddTask(*scene, log, 2, "switch", -1);
    AddTask(*scene, log, 3, "c");
    switcher->onProc = [&](LogTask*) { delete scene; };
    EXPECT_EQ(RunTaskList(*scene), -1);
    EXPECT_EQ(log.lines, (Lines{"Pa", "Pswitch"}));
}

TEST(TaskWalk, TaskCreatedAfterTheRunningOneRunsInTheSamePass)
{
    Log log;
    CList<TCB> list;
    LogTask* spawner = AddTask(list, log, 5, "spawner");
    AddTask(list, log, 5, "peer");
    bool spawned = false;
    spawner->onProc = [&](LogTask*) {
        if (spawned) return;
        spawned = true;
        AddTask(list, log, 5, "equal");  // behind every priority-5 task
        AddTask(list, log, 7, "higher");
        AddTask(list, log, 2, "lower");  // in front: waits for the next frame
    };
    EXPECT_EQ(RunTaskProcs(list), 0);
    EXPECT_EQ(log.lines, (Lines{"Pspawner", "Ppeer", "Pequal", "Phigher"}));
    log.lines.clear();
    EXPECT_EQ(RunTaskProcs(list), 0);
    EXPECT_EQ(log.lines, (Lines{"Plower", "Pspawner", "Ppeer", "Pequal", "Phigher"}));
}

TEST(TaskWalk, TaskMayEraseTheOneBehindIt)
{
    Log log;
    CList<TCB> list;
    LogTask* killer = AddTask(list, log, 1, "killer");
    LogTask* victim = AddTask(list, log, 2, "victim");
    AddTask(list, log, 3, "after");
    killer->onProc = [&](LogTask*) {
        if (victim) list.Erase(victim);
        victim = nullptr;
    };
    EXPECT_EQ(RunTaskProcs(list), 0);
    EXPECT_EQ(log.lines, (Lines{"Pkiller", "Pafter"}));
}

TEST(TaskWalk, EmptyOrClearedListRunsNothing)
{
    CList<TCB> list;
    EXPECT_EQ(RunTaskList(list), 0);
    list.DeleteAll();
    EXPECT_EQ(RunTaskList(list), 0);
}
