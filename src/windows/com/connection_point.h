// The connection point of an outgoing dispinterface, its enumerators, and the
// one way events leave an object: Fire, by DISPID, to every advised sink.
#pragma once
#include "windows/com/windows_headers.h"

#include <memory>
#include <vector>

#include "windows/com/com_object.h"
#include "windows/com/com_ptr.h"

namespace moravex::com {

// Lives inside its container and shares the container's reference count, so a
// host holding the connection point holds the object.
class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(IConnectionPointContainer* container, REFIID events_iid);
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  IFACEMETHODIMP QueryInterface(REFIID riid, void** out) override;
  IFACEMETHODIMP_(ULONG) AddRef() override { return container_->AddRef(); }
  IFACEMETHODIMP_(ULONG) Release() override { return container_->Release(); }

  IFACEMETHODIMP GetConnectionInterface(IID* iid) override;
  IFACEMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  IFACEMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  IFACEMETHODIMP Unadvise(DWORD cookie) override;
  IFACEMETHODIMP EnumConnections(IEnumConnections** connections) override;

  REFIID EventsIid() const { return events_iid_; }
  bool HasSinks() const { return !sinks_.empty(); }

  // Calls `id` on every sink advised now, arguments in declaration order. Each
  // sink is held while it runs; a sink unadvised by an earlier handler of the
  // same event is skipped. Sinks' failures are ignored, as a source must.
  void Fire(DISPID id, const VARIANTARG* args = nullptr, UINT count = 0);
  void UnadviseAll();

 private:
  struct Sink {
    DWORD cookie;
    ComPtr<IDispatch> dispatch;
  };
  bool IsAdvised(DWORD cookie) const;

  IConnectionPointContainer* container_;
  IID events_iid_;
  std::vector<Sink> sinks_;
  DWORD next_cookie_ = 1;
};

// IEnumConnectionPoints over the given points (a snapshot, each held).
HRESULT CreateConnectionPointEnumerator(const std::vector<IConnectionPoint*>& points, IEnumConnectionPoints** out);

}  // namespace moravex::com
