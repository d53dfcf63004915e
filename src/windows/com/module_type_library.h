// The type library of the module this code is linked into: the .ocx's
// embedded TYPELIB 1, or what a test program stands in with. That module
// defines it, so the COM objects describe themselves from it without knowing
// which module serves them.
#pragma once
#include "windows/com/windows_headers.h"

namespace moravex::com {

// Loaded once and cached. On success *out holds a new reference the caller releases.
HRESULT LoadModuleTypeLib(ITypeLib** out);

}  // namespace moravex::com
