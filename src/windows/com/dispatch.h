// IDispatch served by a type library: names and invocation go through the
// ITypeInfo of a dual interface, so DISPIDs, coercion and EXCEPINFO behave as
// the typelib declares.
#pragma once
#include "windows/com/windows_headers.h"

#include "windows/com/com_ptr.h"

namespace moravex::com {

class TypeInfoDispatch {
 public:
  // Finds the dual interface `iid` in `library`; fails when it is not there.
  HRESULT Load(ITypeLib* library, REFIID iid);

  HRESULT GetTypeInfoCount(UINT* count) const;
  HRESULT GetTypeInfo(UINT index, ITypeInfo** info) const;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) const;
  // `instance` is the object's vtable interface pointer for that dual interface.
  HRESULT Invoke(void* instance, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* bad_argument) const;

 private:
  ComPtr<ITypeInfo> dispatch_;  // what GetTypeInfo hands out
  ComPtr<ITypeInfo> vtable_;    // what invocation walks
};

}  // namespace moravex::com
