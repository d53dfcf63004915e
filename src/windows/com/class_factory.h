// The class factory of an in-process server's one class: a static object
// whose references keep the module locked, so a host holding the factory
// keeps the code it points into loaded.
#pragma once
#include "windows/com/module_lock.h"
#include "windows/com/windows_headers.h"

namespace moravex::com {

class StaticClassFactory final : public IClassFactory {
 public:
  using Create = HRESULT (*)(IUnknown* outer, REFIID riid, void** out);
  explicit constexpr StaticClassFactory(Create create) : create_(create) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    ModuleLock();
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ModuleUnlock();
    return 1;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return create_(outer, riid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      ModuleLock();
    else
      ModuleUnlock();
    return S_OK;
  }

 private:
  Create create_;
};

}  // namespace moravex::com
