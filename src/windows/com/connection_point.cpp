#include "windows/com/connection_point.h"

#include <algorithm>
#include <new>
#include <span>

namespace moravex::com {
namespace {

// `size` default-constructed items: on the stack up to `Inline`, beyond that
// on the heap.
template <class Item, size_t Inline>
class InlineFirst {
 public:
  explicit InlineFirst(size_t size) : size_(size) {
    if (size > Inline) spilled_.resize(size);
  }
  Item* data() { return size_ > Inline ? spilled_.data() : inline_; }
  size_t size() const { return size_; }

 private:
  Item inline_[Inline]{};
  std::vector<Item> spilled_;
  size_t size_;
};

// Reference handling of the enumerated items.
struct ConnectDataItems {
  static void AddRef(const CONNECTDATA& item) { item.pUnk->AddRef(); }
  static void Release(const CONNECTDATA& item) { item.pUnk->Release(); }
};
struct ConnectionPointItems {
  static void AddRef(IConnectionPoint* item) { item->AddRef(); }
  static void Release(IConnectionPoint* item) { item->Release(); }
};

// A snapshot enumerator; clones share the snapshot and copy the position.
template <class Interface, class Item, class Items>
class Enumerator final : public ComObject<Enumerator<Interface, Item, Items>, Interface> {
  using Snapshot = std::shared_ptr<const std::vector<Item>>;

 public:
  explicit Enumerator(Snapshot items, size_t position = 0) : items_(std::move(items)), position_(position) {}

  // Takes its own reference to every item.
  static Snapshot Hold(std::vector<Item> items) {
    for (const Item& item : items) Items::AddRef(item);
    return Snapshot(new std::vector<Item>(std::move(items)), [](const std::vector<Item>* held) {
      for (const Item& item : *held) Items::Release(item);
      delete held;
    });
  }

  IFACEMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    if (out == nullptr || (fetched == nullptr && count != 1)) return E_POINTER;
    ULONG copied = 0;
    while (copied < count && position_ < items_->size()) {
      out[copied] = (*items_)[position_++];
      Items::AddRef(out[copied]);
      ++copied;
    }
    if (fetched != nullptr) *fetched = copied;
    return copied == count ? S_OK : S_FALSE;
  }
  IFACEMETHODIMP Skip(ULONG count) override {
    const size_t left = items_->size() - position_;
    position_ += std::min<size_t>(left, count);
    return count <= left ? S_OK : S_FALSE;
  }
  IFACEMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  IFACEMETHODIMP Clone(Interface** out) override {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) Enumerator(items_, position_);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  Snapshot items_;
  size_t position_;
};

using ConnectionsEnumerator = Enumerator<IEnumConnections, CONNECTDATA, ConnectDataItems>;
using PointsEnumerator = Enumerator<IEnumConnectionPoints, IConnectionPoint*, ConnectionPointItems>;

}  // namespace

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID events_iid)
    : container_(container), events_iid_(events_iid) {}

ConnectionPoint::~ConnectionPoint() { UnadviseAll(); }

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (riid == __uuidof(IUnknown) || riid == __uuidof(IConnectionPoint)) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = events_iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  container_->AddRef();
  *container = container_;
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  // The events interface itself, or plain IDispatch from hosts that sink by DISPID.
  ComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(events_iid_, dispatch.PutVoid())) &&
      FAILED(sink->QueryInterface(__uuidof(IDispatch), dispatch.PutVoid()))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  try {
    sinks_.push_back({next_cookie_, dispatch});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *cookie = next_cookie_++;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  auto found = std::find_if(sinks_.begin(), sinks_.end(), [cookie](const Sink& s) { return s.cookie == cookie; });
  if (found == sinks_.end()) return CONNECT_E_NOCONNECTION;
  // Released after the list is consistent: the sink's destructor may call back.
  ComPtr<IDispatch> released = std::move(found->dispatch);
  sinks_.erase(found);
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections == nullptr) return E_POINTER;
  *connections = nullptr;
  try {
    std::vector<CONNECTDATA> items;
    for (const Sink& sink : sinks_) items.push_back({sink.dispatch.Get(), sink.cookie});
    *connections = new ConnectionsEnumerator(ConnectionsEnumerator::Hold(std::move(items)));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

bool ConnectionPoint::IsAdvised(DWORD cookie) const {
  return std::any_of(sinks_.begin(), sinks_.end(), [cookie](const Sink& s) { return s.cookie == cookie; });
}

void ConnectionPoint::Fire(DISPID id, const VARIANTARG* args, UINT count) {
  // Copies hold every sink for the whole event, whatever the handlers do. A
  // control has one or two sinks and events take a few arguments: those
  // copies live on the stack, so an event costs no allocation.
  InlineFirst<Sink, 4> snapshot(sinks_.size());
  std::copy(sinks_.begin(), sinks_.end(), snapshot.data());
  InlineFirst<VARIANTARG, 8> reversed(count);
  std::reverse_copy(args, args + count, reversed.data());
  for (const Sink& sink : std::span(snapshot.data(), snapshot.size())) {
    if (!IsAdvised(sink.cookie)) continue;
    DISPPARAMS params{reversed.data(), nullptr, count, 0};
    sink.dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  }
}

void ConnectionPoint::UnadviseAll() {
  std::vector<Sink> released;
  released.swap(sinks_);
}

HRESULT CreateConnectionPointEnumerator(const std::vector<IConnectionPoint*>& points, IEnumConnectionPoints** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  try {
    *out = new PointsEnumerator(PointsEnumerator::Hold(points));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace moravex::com
