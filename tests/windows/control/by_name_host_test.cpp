// A host that binds its event handlers by name, as VBA's WithEvents and .NET's
// event wrappers do: it learns the source interface and every DISPID from the
// control's class information, checks each event's parameters against the
// handlers it declares, and reads the record sets through ADO by name. Run by
// hosted_test.sh with the .ocx registered and the simulator's port in
// MORAVEX_SIM_PORT.
#include "windows/com/windows_headers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "MORAVEX1_h.h"
#include "tests/windows/control/control_test_support.h"

namespace moravex::windows::test {
namespace {

using moravex::com::ComPtr;

struct Parameter {
  const wchar_t* name;
  VARTYPE type;
  bool by_reference;
};
struct Handler {
  const wchar_t* name;
  std::vector<Parameter> parameters;
};

// The handlers as a VBA host declares them: `Sub Client_Timeout(ByVal
// CommandType As Long)`, `Sub Client_GotFullVantrelData(PriceChannelData As Object)`.
const std::vector<Handler>& Handlers() {
  static const std::vector<Handler> handlers = {
      {L"Error", {{L"ErrorID", VT_I4, false}, {L"ErrorDescription", VT_BSTR, false}}},
      {L"Connected", {}},
      {L"Disconnected", {{L"strReason", VT_BSTR, false}}},
      {L"ConnectionFailed", {}},
      {L"LoggedIn", {}},
      {L"LoginFailed", {{L"ErrorID", VT_I4, false}, {L"ErrorDescription", VT_BSTR, false}}},
      {L"GotDebugMessage", {{L"DebugMessage", VT_BSTR, false}}},
      {L"GotSessionDateTime", {{L"CurrentSessionDateTime", VT_BSTR, false}}},
      {L"GotSessionDate", {{L"CurrentSessionDate", VT_BSTR, false}}},
      {L"GotSessionTime", {{L"CurrentSessionTime", VT_BSTR, false}}},
      {L"Timeout", {{L"CommandType", VT_I4, false}}},
      {L"GotFullVantrelData", {{L"PriceChannelData", VT_DISPATCH, true}}},
      {L"GotVantrelDataUpdates", {{L"PriceChannelData", VT_DISPATCH, true}}},
      {L"GotPreviousSessionsSupportAndResistancePrices",
       {{L"PreviousSessionsLastAverageVantrelPrice", VT_R4, false},
        {L"PreviousSessionsHighPrice", VT_R4, false},
        {L"PreviousSessionsLowPrice", VT_R4, false},
        {L"PreviousSessionsClosingPrice", VT_R4, false}}},
      {L"GotPreviousSessionsLastAverageVantrelPrice", {{L"PreviousSessionsLastAverageVantrelPrice", VT_R4, false}}},
      {L"GotPreviousSessionsHighPrice", {{L"PreviousSessionsHighPrice", VT_R4, false}}},
      {L"GotPreviousSessionsLowPrice", {{L"PreviousSessionsLowPrice", VT_R4, false}}},
      {L"GotPreviousSessionsClosingPrice", {{L"PreviousSessionsClosingPrice", VT_R4, false}}},
  };
  return handlers;
}

// One call of a handler: its name and arguments (texts, numbers, row counts).
struct Call {
  std::wstring handler;
  std::vector<std::wstring> texts;
};

// Late-bound property get or method call by name, as `obj.Name(args)` in VBA.
HRESULT ByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
  DISPID id = 0;
  auto* names = const_cast<LPOLESTR>(name);
  HRESULT hr = object->GetIDsOfNames(IID_NULL, &names, 1, 0, &id);
  if (FAILED(hr)) return hr;
  std::reverse(args.begin(), args.end());
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  VariantInit(result);
  return object->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

VARIANT Text(const wchar_t* text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

// `rs.Fields.Item(field).Value`, by name at every step.
std::wstring FieldValue(IDispatch* recordset, const wchar_t* field) {
  VARIANT fields, item, value, text;
  VariantInit(&text);
  std::wstring out = L"?";
  VARIANT name = Text(field);
  if (SUCCEEDED(ByName(recordset, L"Fields", DISPATCH_PROPERTYGET, {}, &fields)) && fields.vt == VT_DISPATCH &&
      SUCCEEDED(ByName(fields.pdispVal, L"Item", DISPATCH_PROPERTYGET | DISPATCH_METHOD, {name}, &item)) &&
      item.vt == VT_DISPATCH && SUCCEEDED(ByName(item.pdispVal, L"Value", DISPATCH_PROPERTYGET, {}, &value))) {
    if (SUCCEEDED(VariantChangeType(&text, &value, 0, VT_BSTR))) out.assign(text.bstrVal, SysStringLen(text.bstrVal));
    VariantClear(&value);
    VariantClear(&item);
  }
  VariantClear(&fields);
  VariantClear(&name);
  VariantClear(&text);
  return out;
}

// Walks `Do Until rs.EOF ... rs.MoveNext`; each row "time buy sell price".
std::vector<std::wstring> WalkByName(IDispatch* recordset) {
  std::vector<std::wstring> rows;
  VARIANT eof, ignored;
  while (SUCCEEDED(ByName(recordset, L"EOF", DISPATCH_PROPERTYGET, {}, &eof)) && eof.vt == VT_BOOL &&
         eof.boolVal == VARIANT_FALSE && rows.size() < 1000) {
    rows.push_back(FieldValue(recordset, L"Time") + L" " + FieldValue(recordset, L"BuyReferencePrice") + L" " +
                   FieldValue(recordset, L"SellReferencePrice") + L" " + FieldValue(recordset, L"Price"));
    if (FAILED(ByName(recordset, L"MoveNext", DISPATCH_METHOD, {}, &ignored))) break;
    VariantClear(&ignored);
  }
  return rows;
}

// Wine's msado15 asks for its type library as version 1.0, registered only as
// 2.8: without 1.0, GetIDsOfNames on a record set fails (0x8002801D). Register
// a copy of its TYPELIB resource marked 1.0, for this process's bitness.
bool RegisterAdoTypeLibraryForLateBinding() {
  wchar_t dll[MAX_PATH], tlb[MAX_PATH], folder[MAX_PATH];
  ExpandEnvironmentStringsW(L"%CommonProgramFiles%\\System\\ADO\\msado15.dll", dll, MAX_PATH);
  HMODULE ado = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = ado != nullptr ? FindResourceW(ado, MAKEINTRESOURCEW(1), L"TYPELIB") : nullptr;
  if (found == nullptr) return false;
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(ado, found)));
  std::vector<BYTE> copy(bytes, bytes + SizeofResource(ado, found));
  FreeLibrary(ado);
  if (copy.size() < 0x1C) return false;
  const DWORD version = 1;  // major 1, minor 0
  memcpy(copy.data() + 0x18, &version, sizeof(version));
  GetTempPathW(MAX_PATH, folder);
  swprintf(tlb, MAX_PATH, L"%lsmsado15_v1_%d.tlb", folder, static_cast<int>(sizeof(void*) * 8));
  HANDLE out = CreateFileW(tlb, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool wrote =
      out != INVALID_HANDLE_VALUE && WriteFile(out, copy.data(), static_cast<DWORD>(copy.size()), &written, nullptr);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  const wchar_t* key = sizeof(void*) == 8 ? L"TypeLib\\{2A75196C-D9EB-4129-B803-931327F72D5C}\\1.0\\0\\win64"
                                          : L"TypeLib\\{2A75196C-D9EB-4129-B803-931327F72D5C}\\1.0\\0\\win32";
  return wrote &&
         RegSetValueW(HKEY_CLASSES_ROOT, key, REG_SZ, tlb, static_cast<DWORD>(wcslen(tlb) * 2)) == ERROR_SUCCESS;
}

// The sink: Invoke dispatches by the DISPIDs looked up from the type info and
// checks the arguments against the handler's declaration.
class ByNameSink final : public moravex::com::ComObject<ByNameSink, IDispatch> {
 public:
  IID source{};
  std::map<DISPID, const Handler*> handlers;
  std::vector<Call> calls;
  std::vector<std::wstring> mismatches;

  void* QueryOther(REFIID riid) { return riid == source ? static_cast<IDispatch*>(this) : nullptr; }
  IFACEMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  IFACEMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  IFACEMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  IFACEMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    const auto found = handlers.find(id);
    if (found == handlers.end()) {
      mismatches.push_back(L"no handler for DISPID " + std::to_wstring(id));
      return DISP_E_MEMBERNOTFOUND;
    }
    const Handler& handler = *found->second;
    Call call{handler.name, {}};
    if (params->cArgs != handler.parameters.size()) mismatches.push_back(call.handler + L": argument count");
    for (UINT i = 0; i < params->cArgs && i < handler.parameters.size(); ++i) {
      const Parameter& declared = handler.parameters[i];
      VARIANTARG& arg = params->rgvarg[params->cArgs - 1 - i];
      if (arg.vt != (declared.type | (declared.by_reference ? VT_BYREF : 0))) {
        mismatches.push_back(call.handler + L"." + declared.name + L": VARTYPE " + std::to_wstring(arg.vt));
      } else if (declared.type == VT_DISPATCH) {
        const std::vector<std::wstring> rows = WalkByName(*arg.ppdispVal);
        call.texts.push_back(std::to_wstring(rows.size()));
        call.texts.insert(call.texts.end(), rows.begin(), rows.end());
      } else {
        VARIANT text;
        VariantInit(&text);
        VariantChangeType(&text, &arg, 0, VT_BSTR);
        call.texts.emplace_back(text.bstrVal != nullptr ? text.bstrVal : L"");
        VariantClear(&text);
      }
    }
    calls.push_back(call);
    return S_OK;
  }

  size_t Count(const wchar_t* name) const {
    return static_cast<size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.handler == name; }));
  }
};

// Pumps until `handler` has run once more, up to five seconds; its last call.
const Call* AwaitHandler(ByNameSink* sink, const wchar_t* handler) {
  const size_t before = sink->Count(handler);
  PumpUntil([&] { return sink->Count(handler) > before; });
  for (auto it = sink->calls.rbegin(); it != sink->calls.rend(); ++it) {
    if (sink->Count(handler) > before && it->handler == handler) return &*it;
  }
  return nullptr;
}

// What VBA does when the host's code declares `WithEvents`: the default source
// interface from the coclass, then each handler's DISPID and parameter list.
void BindByName(IUnknown* control, ByNameSink* sink) {
  ComPtr<IProvideClassInfo> provide;
  ComPtr<ITypeInfo> coclass, events;
  ASSERT_EQ(S_OK, control->QueryInterface(__uuidof(IProvideClassInfo), provide.PutVoid()));
  ASSERT_EQ(S_OK, provide->GetClassInfo(coclass.Put()));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attributes));
  const WORD implemented = attributes->cImplTypes;
  coclass->ReleaseTypeAttr(attributes);
  for (UINT i = 0; i < implemented && !events; ++i) {
    INT flags = 0;
    HREFTYPE reference = 0;
    ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(i, &flags));
    if ((flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE))
      continue;
    ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(i, &reference));
    ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(reference, events.Put()));
  }
  ASSERT_TRUE(events) << "no default source interface";
  ASSERT_EQ(S_OK, events->GetTypeAttr(&attributes));
  sink->source = attributes->guid;
  EXPECT_EQ(TKIND_DISPATCH, attributes->typekind);
  const WORD functions = attributes->cFuncs;
  events->ReleaseTypeAttr(attributes);
  EXPECT_EQ(Handlers().size(), functions) << "events the host declares no handler for";

  for (const Handler& handler : Handlers()) {
    // GetIDsOfNames as a host does: the member's DISPID, then its parameters by name.
    std::vector<LPOLESTR> names{const_cast<LPOLESTR>(handler.name)};
    for (const Parameter& p : handler.parameters) names.push_back(const_cast<LPOLESTR>(p.name));
    std::vector<MEMBERID> ids(names.size());
    ASSERT_EQ(S_OK, events->GetIDsOfNames(names.data(), static_cast<UINT>(names.size()), ids.data()))
        << "names of " << std::string(handler.name, handler.name + wcslen(handler.name));
    for (size_t p = 1; p < ids.size(); ++p) EXPECT_EQ(MEMBERID(p - 1), ids[p]) << "parameter order";
    EXPECT_TRUE(sink->handlers.emplace(ids[0], &handler).second) << "two events share DISPID " << ids[0];

    // The function description: names, types and directions of the parameters.
    for (UINT f = 0; f < functions; ++f) {
      FUNCDESC* function = nullptr;
      ASSERT_EQ(S_OK, events->GetFuncDesc(f, &function));
      if (function->memid == ids[0]) {
        BSTR found[8] = {};
        UINT count = 0;
        events->GetNames(function->memid, found, 8, &count);
        ASSERT_EQ(handler.parameters.size() + 1, count);
        EXPECT_EQ(VT_VOID, function->elemdescFunc.tdesc.vt);
        for (size_t p = 0; p < handler.parameters.size(); ++p) {
          const Parameter& declared = handler.parameters[p];
          const ELEMDESC& element = function->lprgelemdescParam[p];
          const bool by_reference = element.tdesc.vt == VT_PTR;
          const VARTYPE type = by_reference ? element.tdesc.lptdesc->vt : element.tdesc.vt;
          EXPECT_STREQ(declared.name, found[p + 1]);
          EXPECT_EQ(declared.type, type) << "type of " << p;
          EXPECT_EQ(declared.by_reference, by_reference) << "by reference " << p;
          EXPECT_EQ(declared.by_reference, (element.paramdesc.wParamFlags & PARAMFLAG_FOUT) != 0);
        }
        for (UINT n = 0; n < count; ++n) SysFreeString(found[n]);
      }
      events->ReleaseFuncDesc(function);
    }
  }
}

TEST(ByName, HostBindsEveryEventByNameThroughASimulatedSession) {
  const char* port_text = getenv("MORAVEX_SIM_PORT");
  ASSERT_NE(nullptr, port_text) << "run by hosted_test.sh, which starts the simulator";
  ASSERT_TRUE(RegisterAdoTypeLibraryForLateBinding());
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"MORAVEX1.ChartServiceClient", &clsid));
  ComPtr<_ChartServiceClient> control;
  ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__ChartServiceClient, control.PutVoid()));
  auto sink = ComPtr<ByNameSink>::Attach(new ByNameSink());
  ASSERT_NO_FATAL_FAILURE(BindByName(control.Get(), sink.Get()));
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, control.As(container));
  ASSERT_EQ(S_OK, container->FindConnectionPoint(sink->source, point.Put()));
  ASSERT_EQ(S_OK, point->Advise(sink->Identity(), &cookie));

  auto bstr = [](const wchar_t* text) { return SysAllocString(text); };  // leaked: a test's handful of strings
  BSTR host = bstr(L"127.0.0.1"), user = bstr(L"demo-user-00000000000000000000000000"),
       password = bstr(L"demo-password-0000000000000000000000"), wrong = bstr(std::wstring(36, L'x').c_str()),
       ticker = bstr(L"IBM"), empty = bstr(L"");
  const LONG port = atol(port_text);

  // A closed port: ConnectionFailed.
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  bind(probe, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(probe);
  ASSERT_EQ(S_OK, control->Connect(host, ntohs(address.sin_port)));
  EXPECT_NE(nullptr, AwaitHandler(sink.Get(), L"ConnectionFailed"));

  // A refused login, then the right one.
  ASSERT_EQ(S_OK, control->Connect(host, port));
  ASSERT_NE(nullptr, AwaitHandler(sink.Get(), L"Connected"));
  ASSERT_EQ(S_OK, control->Login(wrong, wrong, empty));
  const Call* refused = AwaitHandler(sink.Get(), L"LoginFailed");
  ASSERT_NE(nullptr, refused);
  EXPECT_EQ((std::vector<std::wstring>{L"1", L"Invalid user ID or password"}), refused->texts);
  VARIANT_BOOL connected = VARIANT_FALSE;
  control->Connected(&connected);
  if (connected == VARIANT_FALSE) {
    ASSERT_EQ(S_OK, control->Connect(host, port));
    ASSERT_NE(nullptr, AwaitHandler(sink.Get(), L"Connected"));
  }
  ASSERT_EQ(S_OK, control->Login(user, password, empty));
  ASSERT_NE(nullptr, AwaitHandler(sink.Get(), L"LoggedIn"));

  // Every answer kind, each through its handler.
  const Call* echo = (control->SendDebugMessage(bstr(L"hello")), AwaitHandler(sink.Get(), L"GotDebugMessage"));
  ASSERT_NE(nullptr, echo);
  EXPECT_EQ(L"hello", echo->texts.at(0));
  EXPECT_EQ(S_OK, control->GetSessionDateTime());
  const Call* when = AwaitHandler(sink.Get(), L"GotSessionDateTime");
  ASSERT_NE(nullptr, when);
  EXPECT_EQ(L"12/08/2026 09:45:00", when->texts.at(0));
  EXPECT_EQ(S_OK, control->GetSessionDate());
  EXPECT_NE(nullptr, AwaitHandler(sink.Get(), L"GotSessionDate"));
  EXPECT_EQ(S_OK, control->GetSessionTime());
  EXPECT_NE(nullptr, AwaitHandler(sink.Get(), L"GotSessionTime"));
  EXPECT_EQ(S_OK, control->GetPreviousSessionsLastAverageVantrelPrice(ticker));
  EXPECT_NE(nullptr, AwaitHandler(sink.Get(), L"GotPreviousSessionsLastAverageVantrelPrice"));
  EXPECT_EQ(S_OK, control->GetPreviousSessionsHighPrice(ticker));
  EXPECT_NE(nullptr, AwaitHandler(sink.Get(), L"GotPreviousSessionsHighPrice"));
  EXPECT_EQ(S_OK, control->GetPreviousSessionsLowPrice(ticker));
  EXPECT_NE(nullptr, AwaitHandler(sink.Get(), L"GotPreviousSessionsLowPrice"));
  EXPECT_EQ(S_OK, control->GetPreviousSessionsClosingPrice(ticker));
  EXPECT_NE(nullptr, AwaitHandler(sink.Get(), L"GotPreviousSessionsClosingPrice"));
  EXPECT_EQ(S_OK, control->GetPreviousSessionsSupportAndResistancePrices(ticker));
  const Call* levels = AwaitHandler(sink.Get(), L"GotPreviousSessionsSupportAndResistancePrices");
  ASSERT_NE(nullptr, levels);
  EXPECT_EQ(4u, levels->texts.size());

  // The full price channel, walked by name: 09:30 to 09:45, buy > price > sell.
  EXPECT_EQ(S_OK, control->GetFullPriceChannelData(ticker, 500));
  const Call* full = AwaitHandler(sink.Get(), L"GotFullVantrelData");
  ASSERT_NE(nullptr, full);
  ASSERT_EQ(L"16", full->texts.at(0));
  ASSERT_EQ(17u, full->texts.size());
  EXPECT_EQ(L"09:30:00", full->texts[1].substr(0, 8));
  EXPECT_EQ(L"09:45:00", full->texts[16].substr(0, 8));
  for (size_t row = 1; row < full->texts.size(); ++row) {
    float buy = 0, sell = 0, price = 0;
    ASSERT_EQ(3, swscanf(full->texts[row].c_str() + 9, L"%f %f %f", &buy, &sell, &price)) << row;
    EXPECT_TRUE(buy > price && price > sell) << row;
  }
  EXPECT_EQ(S_OK, control->GetPriceChannelDataUpdates(ticker, bstr(L"09:43:00")));
  const Call* updates = AwaitHandler(sink.Get(), L"GotVantrelDataUpdates");
  ASSERT_NE(nullptr, updates);
  EXPECT_EQ((std::vector<std::wstring>{L"2"}),
            std::vector<std::wstring>(updates->texts.begin(), updates->texts.begin() + 1));

  // Faults set per connection by debug commands: no answer, a short answer, a close mid-answer.
  auto simulate = [&](const wchar_t* command) {
    control->SendDebugMessage(bstr(command));
    const Call* reply = AwaitHandler(sink.Get(), L"GotDebugMessage");
    ASSERT_NE(nullptr, reply);
    EXPECT_EQ(L"!sim ok", reply->texts.at(0));
  };
  simulate(L"!sim never 4");
  control->put_SessionInfoTimeout(300);
  EXPECT_EQ(S_OK, control->GetSessionTime());
  const Call* timeout = AwaitHandler(sink.Get(), L"Timeout");
  ASSERT_NE(nullptr, timeout);
  EXPECT_EQ(L"6", timeout->texts.at(0));  // SessionTimeTimeout
  simulate(L"!sim short 3:8");
  EXPECT_EQ(S_OK, control->GetPreviousSessionsHighPrice(ticker));
  const Call* error = AwaitHandler(sink.Get(), L"Error");
  ASSERT_NE(nullptr, error);
  EXPECT_EQ(L"-2147221500", error->texts.at(0));
  simulate(L"!sim close-mid 5");
  EXPECT_EQ(S_OK, control->GetFullPriceChannelData(ticker, 500));
  const Call* gone = AwaitHandler(sink.Get(), L"Disconnected");
  ASSERT_NE(nullptr, gone);
  EXPECT_EQ(L"Winsock1_Close", gone->texts.at(0));

  // Every handler ran, and nothing arrived that the declarations did not fit.
  for (const Handler& handler : Handlers()) {
    EXPECT_GE(sink->Count(handler.name), 1u) << std::string(handler.name, handler.name + wcslen(handler.name));
  }
  EXPECT_TRUE(sink->mismatches.empty()) << sink->mismatches.size() << " mismatches";
  point->Unadvise(cookie);
  WSACleanup();
}

}  // namespace
}  // namespace moravex::windows::test
