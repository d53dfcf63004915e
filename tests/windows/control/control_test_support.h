// Doubles and helpers for the control's tests: scripted socket and timers in
// place of the Windows ones, a recording event sink, a site with ambient
// properties, and wire frames.
#pragma once
#include "windows_headers.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "com_object.h"
#include "com_ptr.h"
#include "platform/platform.h"

namespace control_test {

// The .ocx under test (first program argument), for its type library.
const std::wstring& OcxPath();
void SetOcxPath(std::wstring path);

std::string Frame(uint8_t type, const std::string& payload);
std::string Long(int32_t value);
std::string Single(float value);

class FakeSocket final : public moravex::SocketComponent {
 public:
  void SetEvents(moravex::SocketEvents* events) override { events_ = events; }
  int32_t State() const override { return state_; }
  void Connect(const moravex::Text&, int32_t) override { state_ = moravex::kSocketConnecting; }
  void Close() override {
    state_ = moravex::kSocketClosed;
    inbound_.clear();
  }
  void SendData(std::span<const uint8_t> bytes) override { sent_.append(bytes.begin(), bytes.end()); }
  int32_t BytesReceived() const override { return static_cast<int32_t>(inbound_.size()); }
  void GetData(std::span<uint8_t> into) override;

  void FireConnect();
  void FireError(const moravex::Text& description);
  void FirePeerClose();
  void Arrive(const std::string& bytes);
  std::string TakeSent() { return std::exchange(sent_, {}); }

 private:
  moravex::SocketEvents* events_ = nullptr;
  int32_t state_ = moravex::kSocketClosed;
  std::deque<uint8_t> inbound_;
  std::string sent_;
};

class FakeTimer final : public moravex::TimerComponent {
 public:
  void SetTickHandler(std::function<void()> on_tick) override { on_tick_ = std::move(on_tick); }
  int32_t Interval() const override { return interval_; }
  void SetInterval(int32_t milliseconds) override;
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }

  // Fails every SetInterval with an Automation "Invalid property value".
  void Refuse() { refuse_ = true; }
  void Tick() {
    if (enabled_ && on_tick_) on_tick_();
  }

 private:
  std::function<void()> on_tick_;
  int32_t interval_ = 5000;
  bool enabled_ = false;
  bool refuse_ = false;
};

// The Windows components with the socket and timers replaced by fakes the
// test drives. The pointers stay valid while the control's core lives.
struct FakeParts {
  FakeSocket* socket = nullptr;
  FakeTimer* login_timer = nullptr;
  FakeTimer* data_timer = nullptr;
  FakeTimer* session_timer = nullptr;
};
moravex::Components MakeTestComponents(FakeParts& parts);

// One event as a sink saw it: DISPID and arguments in declaration order.
struct Event {
  DISPID id;
  std::vector<VARTYPE> types;
  std::vector<std::wstring> texts;  // each argument as text (VT_BSTR after coercion)
};

// Records every event; `on_event` runs inside Invoke with the raw parameters.
class RecordingSink final : public moravex_com::ComObject<RecordingSink, IDispatch> {
 public:
  std::vector<Event> events;
  std::function<void(DISPID, DISPPARAMS*)> on_event;

  void* QueryOther(REFIID riid);
  IFACEMETHODIMP GetTypeInfoCount(UINT* count) override;
  IFACEMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  IFACEMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  IFACEMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override;
};

// A client site; with `ambient` it answers DISPID_AMBIENT_USERMODE.
class TestSite final : public moravex_com::ComObject<TestSite, IOleClientSite, IOleInPlaceSite, IDispatch> {
 public:
  bool ambient = true;
  bool user_mode = true;
  int activations = 0;

  void* QueryOther(REFIID riid);
  // IOleClientSite.
  IFACEMETHODIMP SaveObject() override { return S_OK; }
  IFACEMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  IFACEMETHODIMP GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
  IFACEMETHODIMP ShowObject() override { return S_OK; }
  IFACEMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  IFACEMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleInPlaceSite.
  IFACEMETHODIMP GetWindow(HWND*) override { return E_FAIL; }
  IFACEMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  IFACEMETHODIMP CanInPlaceActivate() override { return S_OK; }
  IFACEMETHODIMP OnInPlaceActivate() override {
    ++activations;
    return S_OK;
  }
  IFACEMETHODIMP OnUIActivate() override { return S_OK; }
  IFACEMETHODIMP GetWindowContext(IOleInPlaceFrame**, IOleInPlaceUIWindow**, LPRECT, LPRECT,
                                  LPOLEINPLACEFRAMEINFO) override {
    return E_NOTIMPL;
  }
  IFACEMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  IFACEMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  IFACEMETHODIMP OnInPlaceDeactivate() override {
    --activations;
    return S_OK;
  }
  IFACEMETHODIMP DiscardUndoState() override { return S_OK; }
  IFACEMETHODIMP DeactivateAndUndo() override { return S_OK; }
  IFACEMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
  // IDispatch: the ambient properties.
  IFACEMETHODIMP GetTypeInfoCount(UINT* count) override;
  IFACEMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  IFACEMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  IFACEMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override;
};

// Draws the control's content into a 32-bit top-down DIB of the given size,
// pre-filled with `background`; returns the pixels (0x00RRGGBB).
std::vector<uint32_t> DrawToPixels(IViewObject* view, LONG width, LONG height, uint32_t background);
bool WriteBmp(const std::wstring& path, const std::vector<uint32_t>& pixels, LONG width, LONG height);

}  // namespace control_test
