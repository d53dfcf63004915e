// Doubles and helpers for the control's tests: scripted socket and timers, a
// recording event sink, a site with ambient properties, wire frames, and the
// design-time picture.
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
  void Close() override { state_ = moravex::kSocketClosed; }
  void SendData(std::span<const uint8_t>) override {}
  int32_t BytesReceived() const override { return static_cast<int32_t>(inbound_.size()); }
  void GetData(std::span<uint8_t> into) override;

  void FireConnect();
  void FireError(const moravex::Text& description);
  void FirePeerClose();
  void Arrive(const std::string& bytes);

 private:
  moravex::SocketEvents* events_ = nullptr;
  int32_t state_ = moravex::kSocketClosed;
  std::deque<uint8_t> inbound_;
};

class FakeTimer final : public moravex::TimerComponent {
 public:
  void SetTickHandler(std::function<void()> on_tick) override { on_tick_ = std::move(on_tick); }
  int32_t Interval() const override { return interval_; }
  void SetInterval(int32_t milliseconds) override;
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  // Every SetInterval fails from now on, as a timer refusing the value.
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

// The Windows components with socket and timers replaced by fakes; the
// pointers stay valid while the control's core lives.
struct FakeParts {
  FakeSocket* socket = nullptr;
  FakeTimer* data_timer = nullptr;
  FakeTimer* session_timer = nullptr;
};
moravex::Components MakeTestComponents(FakeParts& parts);

// One event as a sink saw it: DISPID, argument types and texts in declaration
// order (an object argument reads "object" when set).
struct Event {
  DISPID id;
  std::vector<VARTYPE> types;
  std::vector<std::wstring> texts;
};

// Records every event; `on_event` then runs inside Invoke.
class RecordingSink final : public moravex_com::ComObject<RecordingSink, IDispatch> {
 public:
  std::vector<Event> events;
  std::function<void(DISPID, DISPPARAMS*)> on_event;

  void* QueryOther(REFIID riid);
  IFACEMETHODIMP GetTypeInfoCount(UINT* count) override;
  IFACEMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  IFACEMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  IFACEMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;
};

// A client site whose IDispatch answers the ambient UserMode (unless `ambient`
// is false, then it knows no ambient property).
class TestSite final : public moravex_com::ComObject<TestSite, IOleClientSite, IDispatch> {
 public:
  bool ambient = true;
  bool user_mode = true;

  IFACEMETHODIMP SaveObject() override { return S_OK; }
  IFACEMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  IFACEMETHODIMP GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
  IFACEMETHODIMP ShowObject() override { return S_OK; }
  IFACEMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  IFACEMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  IFACEMETHODIMP GetTypeInfoCount(UINT* count) override;
  IFACEMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  IFACEMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  IFACEMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override;
};

// The control's content drawn at 364 x 51 pixels (its 5460 x 765 twips at
// 96 dpi) over a magenta background, as 0x00RRGGBB pixels.
std::vector<uint32_t> DrawPanel(IViewObject* view);
bool IsBlank(const std::vector<uint32_t>& pixels);
// Button face all over, the label's text at its place, icon lines beside it.
bool LooksLikeThePanel(const std::vector<uint32_t>& pixels);
bool WriteBmp(const std::wstring& path, const std::vector<uint32_t>& pixels);

}  // namespace control_test
