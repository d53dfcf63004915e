// The lock count of the module this code is linked into (the .ocx, or a test
// program). Control instances, every COM object the module hands out, class
// factory references, LockServer(TRUE) and notifications being delivered each
// hold one; DllCanUnloadNow answers S_OK only while it is 0, so no code of
// the module runs once COM may unload it.
#pragma once
#include "windows/com/windows_headers.h"

namespace moravex::com {

void ModuleLock();
void ModuleUnlock();
LONG ModuleLockCount();

// One lock for the life of the object that holds it.
class ModuleReference {
 public:
  ModuleReference() { ModuleLock(); }
  ModuleReference(const ModuleReference&) { ModuleLock(); }
  ModuleReference& operator=(const ModuleReference&) { return *this; }
  ~ModuleReference() { ModuleUnlock(); }
};

}  // namespace moravex::com
