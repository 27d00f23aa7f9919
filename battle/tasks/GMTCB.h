#pragma once
// The battle's task base for tasks driven by a stored phase procedure, and
// the one creator every battle task shares.
#include "engine/core/TaskList.h"
#include "platform/core/Types.h"

class GMTCB : public TCB {
public:
    using Phase = i32 (GMTCB::*)();

    // Runs the stored phase; a task without one stays and does nothing.
    i32 Proc() override;

    template <class D>
    void SetPhase(i32 (D::*phase)())
    {
        phaseProc = static_cast<Phase>(phase);
    }
    template <class D>
    bool InPhase(i32 (D::*phase)()) const
    {
        return phaseProc == static_cast<Phase>(phase);
    }

    u32 word = 0; // a counter or pointer of the derived class
    Phase phaseProc = nullptr;
};

// The creator pattern of every battle task: priority 0 becomes 1 and
// 0xFFFFFFFF becomes 0xFFFFFFFE, and the task runs after every task of
// equal priority created before it.
template <class T>
T* CreateBattleTask(CList<TCB>* list, u32 priority)
{
    return CreateInList<T>(list, priority);
}

// Gives a task class its Create(list, priority).
template <class D, class Base = TCB>
class BattleTask : public Base {
public:
    static D* Create(CList<TCB>* list, u32 priority) { return CreateBattleTask<D>(list, priority); }
};
