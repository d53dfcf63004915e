// The four entry points of the in-process server.
#include "windows/library/server.h"

#include "windows/com/module_lock.h"

#include "MORAVEX1_h.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(rclsid, CLSID_ChartServiceClient)) return CLASS_E_CLASSNOTAVAILABLE;
  return moravex::windows::ChartServiceClientFactory()->QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() {
  if (moravex::com::ModuleLockCount() != 0) return S_FALSE;
  moravex::windows::ReleaseCachedTypeLib();
  return S_OK;
}

STDAPI DllRegisterServer() { return moravex::windows::RegisterServer(); }

STDAPI DllUnregisterServer() { return moravex::windows::UnregisterServer(); }
