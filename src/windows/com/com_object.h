// IUnknown for a heap object implementing several interfaces, with one
// reference count for all of them. The object starts with one reference,
// owned by whoever created it, and keeps its module loaded while it lives:
// a host may hold any object (an enumerator, say) after the control is gone.
#pragma once
#include "windows/com/module_lock.h"
#include "windows/com/windows_headers.h"

#include <tuple>

namespace moravex::com {

template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
  using Primary = std::tuple_element_t<0, std::tuple<Interfaces...>>;

 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  IFACEMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (riid == __uuidof(IUnknown)) {
      *out = Identity();
    } else if (!((riid == __uuidof(Interfaces) ? (*out = static_cast<Interfaces*>(this), true) : false) || ...)) {
      *out = static_cast<Derived*>(this)->QueryOther(riid);
    }
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  IFACEMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  IFACEMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // The one IUnknown identity of the object.
  IUnknown* Identity() { return static_cast<Primary*>(this); }
  // Interfaces reached through a base of a listed one (IDispatch, IPersist...);
  // a derived class hides this to answer them.
  void* QueryOther(REFIID) { return nullptr; }

 protected:
  virtual ~ComObject() = default;

 private:
  // First member: released after every other part of the object is gone.
  ModuleReference module_;
  LONG refs_ = 1;
};

// Holds an object alive for a scope (around callbacks that may release it).
class KeepAlive {
 public:
  explicit KeepAlive(IUnknown* object) : object_(object) { object_->AddRef(); }
  ~KeepAlive() { object_->Release(); }
  KeepAlive(const KeepAlive&) = delete;
  KeepAlive& operator=(const KeepAlive&) = delete;

 private:
  IUnknown* object_;
};

}  // namespace moravex::com
