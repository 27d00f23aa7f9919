#pragma once
// Test hook: reports each long-lived singleton as it is destroyed at exit,
// so the order of destruction can be checked.

using SingletonObserver = void (*)(const char* name);

void SetSingletonObserver(SingletonObserver observer);
void NoteSingletonDestroyed(const char* name);
