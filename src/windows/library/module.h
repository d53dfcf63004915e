// The in-process server's module state, shared by the library and the control.
#pragma once

#include "windows/com/windows_headers.h"

#include <string>

#include "windows/com/module_lock.h"  // ModuleLock, ModuleUnlock, ModuleLockCount

namespace moravex::windows {

// This library's own module handle (set in DllMain).
HMODULE ModuleHandle();

// The type library embedded in this module as TYPELIB 1, loaded once and
// cached. On success *out holds a new reference the caller releases.
HRESULT LoadControlTypeLib(ITypeLib** out);

// Full path of this module file, or an empty string on failure.
std::wstring ModulePath();

}  // namespace moravex::windows
