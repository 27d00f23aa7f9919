#include "engine/core/TaskList.h"

i32 RunTaskProcs(CList<TCB>& list)
{
    TCB* head = list.GetHead();
    if (!head) return 0;
    // The next node is read only after Proc returns, so tasks created or
    // erased by the running task are seen as the list stands then.
    TCB* node = head->next;
    while (node && node->priority != kListTailPriority) {
        const i32 result = node->Proc();
        if (result == kTaskSceneReplaced) return kTaskSceneReplaced;
        if (result == kTaskRemove)
            node = list.Erase(node);
        else
            node = node->next;
    }
    return 0;
}

void RunTaskDraws(CList<TCB>& list)
{
    TCB* head = list.GetHead();
    if (!head) return;
    for (TCB* node = head->next; node && node->priority != kListTailPriority; node = node->next)
        node->Draw();
}

void RunTaskSprites(CList<TCB>& list)
{
    TCB* head = list.GetHead();
    if (!head) return;
    for (TCB* node = head->next; node && node->priority != kListTailPriority; node = node->next)
        node->DrawSP();
}

i32 RunTaskList(CList<TCB>& list)
{
    if (RunTaskProcs(list) == kTaskSceneReplaced) return kTaskSceneReplaced;
    RunTaskDraws(list);
    RunTaskSprites(list);
    return 0;
}
