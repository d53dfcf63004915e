// Helpers for the control's tests: scripted components, a recording event
// sink, a site with ambient properties, and the design-time picture.
#pragma once
#include "windows/com/windows_headers.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "MORAVEX1_h.h"
#include "windows/com/com_object.h"
#include "windows/com/com_ptr.h"
#include "platform/platform.h"
#include "tests/support/fake_socket.h"
#include "tests/support/fake_timer.h"
#include "tests/support/wire_bytes.h"
#include "tests/windows/pump.h"

namespace moravex::windows::test {

// The .ocx under test (first program argument), for its type library.
const std::wstring& OcxPath();
void SetOcxPath(std::wstring path);

// The Windows components with socket and timers replaced by the core tests'
// scripted fakes (the test keeps them through shared handles).
struct FakeParts {
  std::shared_ptr<moravex::FakeSocket> socket = std::make_shared<moravex::FakeSocket>();
  std::shared_ptr<moravex::FakeTimer> data_timer = std::make_shared<moravex::FakeTimer>("tmrDataRequestTimeout");
  std::shared_ptr<moravex::FakeTimer> session_timer = std::make_shared<moravex::FakeTimer>("tmrSessionInfoTimeout");
};
moravex::Components MakeTestComponents(const FakeParts& parts);

// One event as a sink saw it: DISPID, argument types and texts in declaration
// order (an object argument reads "object" when set).
struct Event {
  DISPID id;
  std::vector<VARTYPE> types;
  std::vector<std::wstring> texts;
};

// Records every event; `on_event` then runs inside Invoke.
class RecordingSink final : public moravex::com::ComObject<RecordingSink, IDispatch> {
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
class TestSite final : public moravex::com::ComObject<TestSite, IOleClientSite, IDispatch> {
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

// A function the library exports, by name.
template <class Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The control made through the .ocx's class factory (DllGetClassObject),
// with `sink` advised; the first failing HRESULT otherwise.
HRESULT CreateThroughTheOcx(HMODULE library, IUnknown* sink, moravex::com::ComPtr<_ChartServiceClient>& control,
                            DWORD* cookie = nullptr);

// The control's content drawn at 364 x 51 pixels (its 5460 x 765 twips at
// 96 dpi) over a magenta background, as 0x00RRGGBB pixels.
std::vector<uint32_t> DrawPanel(IViewObject* view);
bool IsBlank(const std::vector<uint32_t>& pixels);
// Button face all over, the label's text at its place, icon lines beside it.
bool LooksLikeThePanel(const std::vector<uint32_t>& pixels);
bool WriteBmp(const std::wstring& path, const std::vector<uint32_t>& pixels);

}  // namespace moravex::windows::test
