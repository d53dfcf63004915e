// Internals of the in-process server behind the four exports.
#pragma once

#include "windows/com/windows_headers.h"

#include "windows/control/control_factory.h"

namespace moravex::windows {

// The one class factory of the library, for CLSID_ChartServiceClient.
IClassFactory* ChartServiceClientFactory();

// Writes or removes the registration of the control and its type library.
HRESULT RegisterServer();
HRESULT UnregisterServer();

// Releases the type library LoadControlTypeLib caches.
void ReleaseCachedTypeLib();

}  // namespace moravex::windows
