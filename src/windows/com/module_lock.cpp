#include "windows/com/module_lock.h"

namespace moravex::com {

namespace {
LONG lock_count = 0;
}

void ModuleLock() { InterlockedIncrement(&lock_count); }

void ModuleUnlock() { InterlockedDecrement(&lock_count); }

LONG ModuleLockCount() { return InterlockedCompareExchange(&lock_count, 0, 0); }

}  // namespace moravex::com
