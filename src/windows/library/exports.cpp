// The four entry points of an in-process server: MORAVEX1.ocx and
// MORAVEX1Rtd.dll each link this file with their own ServedClassFactory.
#include "windows/library/server.h"

#include "windows/com/module_lock.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  IClassFactory* factory = moravex::windows::ServedClassFactory(rclsid);
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() {
  if (moravex::com::ModuleLockCount() != 0) return S_FALSE;
  moravex::windows::ReleaseCachedTypeLib();
  return S_OK;
}

STDAPI DllRegisterServer() { return moravex::windows::RegisterServer(); }

STDAPI DllUnregisterServer() { return moravex::windows::UnregisterServer(); }
