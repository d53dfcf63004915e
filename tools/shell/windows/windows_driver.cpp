#include "tools/shell/windows/windows_driver.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "MORAVEX1_events.h"
#include "MORAVEX1_h.h"
#include "tools/shell/windows/ado_table.h"
#include "platform/text.h"

namespace moravex::shell {
namespace {

using moravex::com::ComPtr;

constexpr const wchar_t* kProgId = L"MORAVEX1.ChartServiceClient";

std::u16string FromBstr(BSTR text) {
  if (text == nullptr) return {};
  return {reinterpret_cast<const char16_t*>(text), SysStringLen(text)};
}

std::string Utf8(BSTR text) { return ToUtf8(FromBstr(text)); }

// The system's text for an HRESULT, without its line end.
std::string Describe(HRESULT hr) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message(reinterpret_cast<const char16_t*>(text), text != nullptr ? length : 0);
  LocalFree(text);
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' ')) {
    message.pop_back();
  }
  if (!message.empty()) return ToUtf8(message);
  char fallback[32];
  std::snprintf(fallback, sizeof fallback, "Error 0x%08lX", static_cast<unsigned long>(hr));
  return fallback;
}

CallError Failed(HRESULT hr) { return CallError{static_cast<int32_t>(hr), {}, Describe(hr)}; }

// What Invoke's EXCEPINFO says; a 16-bit code is a control-facility HRESULT,
// as Automation clients report it.
CallError FromException(EXCEPINFO& exception) {
  if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
  CallError error;
  if (exception.scode != 0) {
    error.number = static_cast<int32_t>(exception.scode);
  } else if (exception.wCode != 0) {
    error.number = static_cast<int32_t>(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, exception.wCode));
  } else {
    error.number = static_cast<int32_t>(DISP_E_EXCEPTION);
  }
  error.source = Utf8(exception.bstrSource);
  error.description = Utf8(exception.bstrDescription);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return error;
}

EventValue ValueOf(const VARIANT& v) {
  const bool by_reference = (V_VT(&v) & VT_BYREF) != 0;
  switch (V_VT(&v) & ~VT_BYREF) {
    case VT_BSTR: return FromBstr(by_reference ? *V_BSTRREF(&v) : V_BSTR(&v));
    case VT_I4: return static_cast<int32_t>(by_reference ? *V_I4REF(&v) : V_I4(&v));
    case VT_R4: return by_reference ? *V_R4REF(&v) : V_R4(&v);
    case VT_DISPATCH:
      if (!by_reference) return ReadAdoTable(V_DISPATCH(&v));
      return ReadAdoTable(V_DISPATCHREF(&v) != nullptr ? *V_DISPATCHREF(&v) : nullptr);
    default: return std::monostate{};
  }
}

}  // namespace

// The event sink of one control. Detached when the driver lets its control
// go, so a control still finishing a notification reaches no one.
class WindowsDriver::Sink final : public IDispatch {
 public:
  explicit Sink(const EventHandler* handler) : handler_(handler) {}
  void Detach() { handler_ = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID___ChartServiceClient) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    using moravex::events::kEvents;
    const auto event = std::find_if(std::begin(kEvents), std::end(kEvents), [&](const auto& e) { return e.id == id; });
    if (event == std::end(kEvents)) return DISP_E_MEMBERNOTFOUND;
    if (params == nullptr || params->cArgs != event->parameter_count) return DISP_E_BADPARAMCOUNT;
    if (handler_ == nullptr || !*handler_) return S_OK;
    std::vector<EventArgument> args;
    for (size_t i = 0; i < event->parameter_count; ++i) {
      // Automation passes the arguments last first.
      args.push_back({event->parameters[i], ValueOf(params->rgvarg[params->cArgs - 1 - i])});
    }
    // The handler may replace the control, and with it drop this sink, or
    // replace itself: keep both alive through the call.
    const ComPtr<Sink> self(this);
    const EventHandler handler = *handler_;
    try {
      handler(event->name, args);
    } catch (...) {
      return E_UNEXPECTED;
    }
    return S_OK;
  }

 private:
  ~Sink() = default;

  const EventHandler* handler_;
  ULONG references_ = 1;
};

WindowsDriver::WindowsDriver(HANDLE wake, std::function<void()> on_wake) : wake_(wake), on_wake_(std::move(on_wake)) {
  New();
}

WindowsDriver::~WindowsDriver() { Release(); }

void WindowsDriver::SetEventHandler(EventHandler handler) { handler_ = std::move(handler); }

void WindowsDriver::Release() {
  if (sink_) sink_->Detach();
  if (point_) point_->Unadvise(cookie_);
  cookie_ = 0;
  point_.Reset();
  sink_.Reset();
  control_.Reset();
}

void WindowsDriver::New() {
  Release();
  CLSID clsid{};
  status_ = CLSIDFromProgID(kProgId, &clsid);
  ComPtr<IDispatch> control;
  if (SUCCEEDED(status_)) {
    // The class is not marked creatable in its type library; its factory
    // creates it all the same.
    status_ = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.PutVoid());
  }
  ComPtr<IConnectionPointContainer> container;
  if (SUCCEEDED(status_)) status_ = control->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
  ComPtr<IConnectionPoint> point;
  if (SUCCEEDED(status_)) status_ = container->FindConnectionPoint(DIID___ChartServiceClient, point.Put());
  auto sink = ComPtr<Sink>::Attach(new Sink(&handler_));
  DWORD cookie = 0;
  if (SUCCEEDED(status_)) status_ = point->Advise(sink.Get(), &cookie);
  if (FAILED(status_)) return;
  control_ = control;
  point_ = point;
  sink_ = sink;
  cookie_ = cookie;
}

CallResult WindowsDriver::Call(std::string_view name, CallKind kind, const std::vector<CallArgument>& args) {
  // Kept alive through the call even if something replaces it.
  const ComPtr<IDispatch> control = control_;
  if (!control) return Failed(status_);
  std::wstring wide(name.begin(), name.end());
  LPOLESTR names[] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return Failed(hr);

  // Automation takes the arguments last first.
  std::vector<VARIANT> values(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    VARIANT& value = values[args.size() - 1 - i];
    VariantInit(&value);
    if (const auto* text = std::get_if<std::u16string>(&args[i])) {
      V_VT(&value) = VT_BSTR;
      V_BSTR(&value) =
          SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text->data()), static_cast<UINT>(text->size()));
    } else {
      V_VT(&value) = VT_I4;
      V_I4(&value) = std::get<int32_t>(args[i]);
    }
  }
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{values.data(), nullptr, static_cast<UINT>(values.size()), 0};
  WORD flags = DISPATCH_METHOD;
  if (kind == CallKind::kPropertyGet) flags = DISPATCH_PROPERTYGET;
  if (kind == CallKind::kPropertyPut) {
    flags = DISPATCH_PROPERTYPUT;
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception{};
  UINT bad_argument = 0;
  hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                       kind == CallKind::kPropertyPut ? nullptr : &result, &exception, &bad_argument);
  for (VARIANT& value : values) VariantClear(&value);
  if (hr == DISP_E_EXCEPTION) return FromException(exception);
  if (FAILED(hr)) return Failed(hr);

  CallResult out = std::monostate{};
  if (V_VT(&result) == VT_BOOL) {
    out = V_BOOL(&result) != VARIANT_FALSE;
  } else if (V_VT(&result) != VT_EMPTY && SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I4))) {
    out = static_cast<int32_t>(V_I4(&result));
  }
  VariantClear(&result);
  return out;
}

bool WindowsDriver::Pump(int32_t milliseconds, const std::function<bool()>& done) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(milliseconds, 0));
  const DWORD handles = wake_ != nullptr ? 1 : 0;
  // Every message ready now, checking after each one: one notification may
  // fire any number of events.
  auto dispatch_ready = [&] {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
      if (done()) return true;
    }
    return done();
  };
  for (;;) {
    if (dispatch_ready()) return true;
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    const DWORD woke = MsgWaitForMultipleObjectsEx(handles, &wake_, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0 && handles == 1) {
      if (on_wake_) on_wake_();
      if (done()) return true;
    } else if (woke == WAIT_TIMEOUT || woke == WAIT_FAILED) {
      return done();
    } else if (left == 0) {
      // Past the deadline: what is ready now, once.
      return dispatch_ready();
    }
  }
}

}  // namespace moravex::shell
