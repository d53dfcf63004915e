// The type library the control expects from the module it is linked into
// (the lock count comes with the COM helpers). Here: the one read from the
// .ocx named on the command line.
#include "windows/com/module_type_library.h"

#include "tests/windows/control/control_test_support.h"

namespace moravex::com {

HRESULT LoadModuleTypeLib(ITypeLib** out) {
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

}  // namespace moravex::com
