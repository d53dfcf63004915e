// The four entry points of the in-process server.
#include "module.h"
#include "server.h"

#include <olectl.h>

#include "MORAVEX1_h.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_ChartServiceClient)) return CLASS_E_CLASSNOTAVAILABLE;
    return ChartServiceClientFactory()->QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() {
    if (ModuleLockCount() != 0) return S_FALSE;
    ReleaseCachedTypeLib();
    return S_OK;
}

STDAPI DllRegisterServer() { return RegisterServer(); }

STDAPI DllUnregisterServer() { return UnregisterServer(); }
