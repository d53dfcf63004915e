// The four entry points of MORAVEX1Rtd.dll.
#include "windows/com/class_factory.h"
#include "windows/com/module_lock.h"
#include "windows/library/server.h"
#include "windows/rtd/rtd_server.h"

namespace {

moravex::com::StaticClassFactory factory(&moravex::rtd::RtdServer::Create);

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(rclsid, CLSID_RtdServer)) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() {
  if (moravex::com::ModuleLockCount() != 0) return S_FALSE;
  moravex::windows::ReleaseCachedTypeLib();
  return S_OK;
}

STDAPI DllRegisterServer() { return moravex::windows::RegisterServer(); }

STDAPI DllUnregisterServer() { return moravex::windows::UnregisterServer(); }
