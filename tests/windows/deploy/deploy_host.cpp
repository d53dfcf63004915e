// A host that registers nothing itself: it finds MORAVEX1.ocx through what an
// installer wrote, through its own application manifest, or through the
// control's manifest activated at run time, and then uses it as a form would.
//   deploy_host registered PORT        (the registry: an .msi installed it)
//   deploy_host manifest PORT          (deploy_host.exe.manifest beside it)
//   deploy_host actctx MANIFEST PORT   (MORAVEX1.sxs.manifest, activated here)
// PORT is a chart server's on 127.0.0.1; the session's Connected event ends it.
#include "windows/com/windows_headers.h"

#include <cstdio>
#include <cwchar>
#include <string>

#include "MORAVEX1_events.h"
#include "MORAVEX1_h.h"
#include "registration_table.h"  // kMiscStatus, as registered
#include "tests/windows/pump.h"
#include "windows/com/host_event_sink.h"

namespace {

int failures = 0;

void Expect(bool condition, const char* what) {
  std::printf("%s: %s\n", condition ? "ok" : "FAILED", what);
  if (!condition) ++failures;
}

// The event sink: counts Connected.
class Sink final : public moravex::com::HostEventSink {
 public:
  Sink() : HostEventSink(DIID___ChartServiceClient) {}
  int connected = 0;
  IFACEMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id == moravex::events::kConnected) ++connected;
    return S_OK;
  }
};

// Both ways of naming the class, the misc status, the type library, and a
// Connected event from a session. Registration-free, CLSIDFromProgID gives an
// alias CLSID, which CoCreateInstance takes.
void UseControl(bool registered, long port) {
  IUnknown* by_clsid = nullptr;
  Expect(CoCreateInstance(CLSID_ChartServiceClient, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(&by_clsid)) == S_OK,
         "created by CLSID");
  CLSID from_progid{};
  _ChartServiceClient* control = nullptr;
  Expect(CLSIDFromProgID(L"MORAVEX1.ChartServiceClient", &from_progid) == S_OK &&
             CoCreateInstance(from_progid, nullptr, CLSCTX_INPROC_SERVER, IID__ChartServiceClient,
                              reinterpret_cast<void**>(&control)) == S_OK,
         "created by ProgID");
  if (registered) Expect(from_progid == CLSID_ChartServiceClient, "the ProgID names the CLSID");
  LPOLESTR progid = nullptr;
  Expect(ProgIDFromCLSID(CLSID_ChartServiceClient, &progid) == S_OK &&
             std::wcscmp(progid, L"MORAVEX1.ChartServiceClient") == 0,
         "the CLSID names the ProgID");
  CoTaskMemFree(progid);
  IPersist* persist = nullptr;
  CLSID class_id{};
  Expect(control != nullptr && control->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)) == S_OK &&
             persist->GetClassID(&class_id) == S_OK && class_id == CLSID_ChartServiceClient,
         "the control made by ProgID is the ChartServiceClient");
  if (persist != nullptr) persist->Release();

  DWORD status = 0;
  Expect(OleRegGetMiscStatus(CLSID_ChartServiceClient, DVASPECT_CONTENT, &status) == S_OK &&
             status == moravex::windows::kMiscStatus,
         "the misc status is the control's");
  ITypeLib* library = nullptr;
  ITypeInfo* coclass = nullptr;
  Expect(LoadRegTypeLib(LIBID_MORAVEX1, 6, 0, 0, &library) == S_OK &&
             library->GetTypeInfoOfGuid(CLSID_ChartServiceClient, &coclass) == S_OK,
         "the type library is found");
  if (coclass != nullptr) coclass->Release();
  if (library != nullptr) library->Release();

  Sink sink;
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  DWORD cookie = 0;
  if (control != nullptr &&
      control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)) == S_OK &&
      container->FindConnectionPoint(DIID___ChartServiceClient, &point) == S_OK &&
      point->Advise(&sink, &cookie) == S_OK) {
    BSTR server = SysAllocString(L"127.0.0.1");
    Expect(control->Connect(server, port) == S_OK, "Connect");
    SysFreeString(server);
    // Events come through this thread's messages.
    moravex::windows::test::PumpUntil([&] { return sink.connected != 0; }, 15000);
    control->Disconnect();
    point->Unadvise(cookie);
  }
  Expect(sink.connected == 1, "the Connected event arrives");
  if (point != nullptr) point->Release();
  if (container != nullptr) container->Release();
  if (control != nullptr) control->Release();
  if (by_clsid != nullptr) by_clsid->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  const bool actctx = mode == L"actctx";
  if ((mode != L"registered" && mode != L"manifest" && !actctx) || argc != (actctx ? 4 : 3)) {
    std::printf("usage: deploy_host registered|manifest PORT | deploy_host actctx MANIFEST PORT\n");
    return 2;
  }
  HANDLE context = INVALID_HANDLE_VALUE;
  ULONG_PTR activation = 0;
  if (actctx) {
    // What a host that cannot be rebuilt does: the control's own manifest,
    // with the folder it names its file in.
    ACTCTXW description{};
    description.cbSize = sizeof(description);
    description.lpSource = argv[2];
    context = CreateActCtxW(&description);
    Expect(context != INVALID_HANDLE_VALUE && ActivateActCtx(context, &activation),
           "the control's manifest is activated");
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  UseControl(mode == L"registered", std::wcstol(argv[argc - 1], nullptr, 10));
  CoUninitialize();
  if (context != INVALID_HANDLE_VALUE) {
    DeactivateActCtx(0, activation);
    ReleaseActCtx(context);
  }
  std::printf(failures == 0 ? "deploy_host: passed\n" : "deploy_host: %d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
