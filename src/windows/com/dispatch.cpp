#include "windows/com/dispatch.h"

namespace moravex::com {

HRESULT TypeInfoDispatch::Load(ITypeLib* library, REFIID iid) {
  ComPtr<ITypeInfo> info;
  HRESULT hr = library->GetTypeInfoOfGuid(iid, info.Put());
  if (FAILED(hr)) return hr;
  TYPEATTR* attributes = nullptr;
  hr = info->GetTypeAttr(&attributes);
  if (FAILED(hr)) return hr;
  const TYPEKIND kind = attributes->typekind;
  info->ReleaseTypeAttr(attributes);
  ComPtr<ITypeInfo> vtable = info;
  if (kind == TKIND_DISPATCH) {
    // A dual interface: -1 reaches its vtable half.
    HREFTYPE reference = 0;
    hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference);
    if (SUCCEEDED(hr)) hr = info->GetRefTypeInfo(reference, vtable.Put());
    if (FAILED(hr)) return hr;
  }
  dispatch_ = info;
  vtable_ = vtable;
  return S_OK;
}

HRESULT TypeInfoDispatch::GetTypeInfoCount(UINT* count) const {
  if (count == nullptr) return E_POINTER;
  *count = dispatch_ ? 1 : 0;
  return S_OK;
}

HRESULT TypeInfoDispatch::GetTypeInfo(UINT index, ITypeInfo** info) const {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0 || !dispatch_) return DISP_E_BADINDEX;
  *info = dispatch_.Copy();
  return S_OK;
}

HRESULT TypeInfoDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) const {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!dispatch_) return E_UNEXPECTED;
  return DispGetIDsOfNames(dispatch_.Get(), names, count, ids);
}

HRESULT TypeInfoDispatch::Invoke(void* instance, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* exception, UINT* bad_argument) const {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!vtable_) return E_UNEXPECTED;
  // The thread's error info belongs to this call only.
  SetErrorInfo(0, nullptr);
  return vtable_->Invoke(instance, id, flags, params, result, exception, bad_argument);
}

}  // namespace moravex::com
