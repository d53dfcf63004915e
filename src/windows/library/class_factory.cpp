#include "windows/library/server.h"

#include "windows/com/module_lock.h"
#include "windows/control/control_factory.h"

namespace moravex::windows {

namespace {

// A static object: its references keep the module locked, so a host holding
// the factory keeps the code it points into loaded.
class ClassFactory final : public IClassFactory {
 public:
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
    com::ModuleLock();
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    com::ModuleUnlock();
    return 1;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CreateChartServiceClient(outer, riid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      com::ModuleLock();
    else
      com::ModuleUnlock();
    return S_OK;
  }
};

ClassFactory factory;

}  // namespace

IClassFactory* ChartServiceClientFactory() { return &factory; }

}  // namespace moravex::windows
