#include "battle/tasks/GMTCB.h"

i32 GMTCB::Proc()
{
    return phaseProc ? (this->*phaseProc)() : kTaskKeep;
}
