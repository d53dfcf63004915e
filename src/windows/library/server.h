// Internals of an in-process server behind the four exports.
#pragma once
#include "windows/com/windows_headers.h"

#include <string>

namespace moravex::windows {

// The factory of the one class this DLL serves, or null for any other CLSID.
// Each DLL defines it; the four exports are shared.
IClassFactory* ServedClassFactory(REFCLSID clsid);

// Writes or removes the registration of the control and its type library.
HRESULT RegisterServer();
HRESULT UnregisterServer();

// Full path of this module file, or an empty string on failure.
std::wstring ModulePath();

// Releases the type library LoadModuleTypeLib caches.
void ReleaseCachedTypeLib();

}  // namespace moravex::windows
