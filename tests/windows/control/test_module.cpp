// The module functions the control expects from the library it is linked
// into (the lock count comes with the COM helpers). Here: the type library
// read from the .ocx named on the command line.
#include "windows/com/windows_headers.h"

#include "tests/windows/control/control_test_support.h"
#include "windows/library/module.h"

namespace moravex::windows {

HMODULE ModuleHandle() { return GetModuleHandleW(nullptr); }

HRESULT LoadControlTypeLib(ITypeLib** out) {
  static ITypeLib* cached = nullptr;
  if (out == nullptr) return E_POINTER;
  if (cached == nullptr) {
    const HRESULT hr = LoadTypeLibEx(moravex::windows::test::OcxPath().c_str(), REGKIND_NONE, &cached);
    if (FAILED(hr)) return hr;
  }
  cached->AddRef();
  *out = cached;
  return S_OK;
}

}  // namespace moravex::windows
