#include "app/core/SingletonLog.h"

namespace {
// Constant-initialised, so it outlives every singleton's destructor.
SingletonObserver g_observer = nullptr;
}

void SetSingletonObserver(SingletonObserver observer) { g_observer = observer; }

void NoteSingletonDestroyed(const char* name)
{
    if (g_observer) g_observer(name);
}
