// The event sink of a host that owns it (on its stack, or as a static): an
// IDispatch for one events interface, called by DISPID only, its references
// not counted. The host's class implements Invoke.
#pragma once
#include "windows/com/windows_headers.h"

namespace moravex::com {

class HostEventSink : public IDispatch {
 public:
  explicit HostEventSink(REFIID events) : events_(events) {}

  IFACEMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == events_) {
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  IFACEMETHODIMP_(ULONG) AddRef() override { return 2; }
  IFACEMETHODIMP_(ULONG) Release() override { return 1; }
  IFACEMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  IFACEMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  IFACEMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

 protected:
  ~HostEventSink() = default;

 private:
  const IID events_;
};

}  // namespace moravex::com
