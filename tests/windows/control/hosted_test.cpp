// The control as hosts meet it, outside GoogleTest (run by scripts):
//   hosted_test loopback OCX   - through the .ocx's exports over real
//                                components and a loopback chart server;
//   hosted_test atl BMP        - sited by ProgID in Wine's ATL container
//                                (registered .ocx, a display), drawn to BMP.
#include "windows_headers.h"

#include <cstdio>
#include <string>

#include "MORAVEX1_h.h"
#include "control_test_support.h"

using control_test::RecordingSink;
using moravex_com::ComPtr;

namespace {

int failures = 0;
void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

// Runs the message loop until `done` or five seconds have passed.
template <class Done>
bool PumpUntil(Done done) {
  const ULONGLONG end = GetTickCount64() + 5000;
  while (!done() && GetTickCount64() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(5);
  }
  return done();
}

bool Saw(const RecordingSink* sink, DISPID id) {
  for (const auto& event : sink->events) {
    if (event.id == id) return true;
  }
  return false;
}

std::string Receive(SOCKET socket, size_t count) {
  std::string bytes(count, '\0');
  size_t got = 0;
  while (got < count) {
    const int n = recv(socket, bytes.data() + got, static_cast<int>(count - got), 0);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

void Send(SOCKET socket, const std::string& bytes) { send(socket, bytes.data(), static_cast<int>(bytes.size()), 0); }

int Loopback(const wchar_t* ocx) {
  HMODULE library = LoadLibraryW(ocx);
  Check(library != nullptr, "LoadLibrary");
  if (library == nullptr) return 1;
  auto get_class = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
  auto can_unload = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
  ComPtr<_ChartServiceClient> control;
  {
    ComPtr<IClassFactory> factory;
    Check(SUCCEEDED(get_class(CLSID_ChartServiceClient, __uuidof(IClassFactory), factory.PutVoid())), "factory");
    Check(SUCCEEDED(factory->CreateInstance(nullptr, IID__ChartServiceClient, control.PutVoid())), "instance");
  }
  if (!control) return 1;
  auto sink = ComPtr<RecordingSink>::Attach(new RecordingSink());
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  control.As(container);
  container->FindConnectionPoint(DIID___ChartServiceClient, point.Put());
  Check(point && point->Advise(sink->Identity(), &cookie) == S_OK, "Advise");
  point.Reset();
  container.Reset();

  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  bind(listener, reinterpret_cast<sockaddr*>(&address), length);
  listen(listener, 1);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

  BSTR host = SysAllocString(L"127.0.0.1");
  Check(control->Connect(host, ntohs(address.sin_port)) == S_OK, "Connect");
  SysFreeString(host);
  Check(PumpUntil([&] { return Saw(sink.Get(), 2); }), "Connected event");
  SOCKET server = accept(listener, nullptr, nullptr);
  DWORD wait = 5000;
  setsockopt(server, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof(wait));

  BSTR user = SysAllocString(std::wstring(36, L'u').c_str());
  BSTR password = SysAllocString(std::wstring(36, L'p').c_str());
  BSTR cookie_text = SysAllocString(L"");
  Check(control->Login(user, password, cookie_text) == S_OK, "Login");
  Check(Receive(server, 6 + 73).size() == 79, "login request");
  Send(server, control_test::Frame(1, control_test::Long(0) + "OK"));
  Check(PumpUntil([&] { return Saw(sink.Get(), 5); }), "LoggedIn event");

  // Two rows in an ADO record set, by reference.
  bool recordset = false;
  sink->on_event = [&](DISPID id, DISPPARAMS* params) {
    if (id != 11) return;
    IDispatch* data = *params->rgvarg[0].ppdispVal;
    ComPtr<IUnknown> ado;
    const IID ado_recordset = {0x0000050E, 0, 0x0010, {0x80, 0, 0, 0xAA, 0, 0x6D, 0x2E, 0xA4}};
    recordset = params->rgvarg[0].vt == (VT_BYREF | VT_DISPATCH) && data != nullptr &&
                SUCCEEDED(data->QueryInterface(ado_recordset, ado.PutVoid()));
  };
  BSTR ticker = SysAllocString(L"ABC");
  Check(control->GetFullPriceChannelData(ticker, 100) == S_OK, "GetFullPriceChannelData");
  SysFreeString(ticker);
  Check(Receive(server, 16).size() == 16, "data request");
  const std::string row = std::string("10:00:00") + control_test::Single(1) + control_test::Single(2) +
                          control_test::Single(3) + control_test::Single(4);
  Send(server, control_test::Frame(5, row + row));
  Check(PumpUntil([&] { return Saw(sink.Get(), 11); }) && recordset, "GotFullVantrelData with a Recordset");

  // A real timer reports the unanswered request.
  Check(control->put_SessionInfoTimeout(50) == S_OK, "SessionInfoTimeout");
  Check(control->GetSessionTime() == S_OK, "GetSessionTime");
  Check(PumpUntil([&] { return Saw(sink.Get(), 13); }), "Timeout event");

  // The peer closes; the host drops its last reference inside Disconnected,
  // and the library may go as soon as that notification is over.
  Check(can_unload() == S_FALSE, "DllCanUnloadNow while the control lives");
  sink->on_event = [&](DISPID id, DISPPARAMS*) {
    if (id == 3) control.Reset();
  };
  closesocket(server);
  Check(PumpUntil([&] { return Saw(sink.Get(), 3); }), "Disconnected event");
  Check(!control, "released inside the event");
  Check(can_unload() == S_OK, "DllCanUnloadNow after the last release");
  closesocket(listener);
  WSACleanup();
  SysFreeString(user);
  SysFreeString(password);
  SysFreeString(cookie_text);
  return failures;
}

int AtlContainer(const wchar_t* bmp) {
  HMODULE atl = LoadLibraryW(L"atl.dll");
  auto init = reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
  auto get_control = reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
      reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
  Check(init != nullptr && get_control != nullptr && init(), "AtlAxWinInit");
  HWND frame = CreateWindowW(L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 200, nullptr,
                             nullptr, nullptr, nullptr);
  Check(frame != nullptr, "frame window (needs a display)");
  HWND host = CreateWindowW(L"AtlAxWin", L"MORAVEX1.ChartServiceClient", WS_CHILD | WS_VISIBLE, 0, 0, 364, 51,
                            frame, nullptr, nullptr, nullptr);
  ComPtr<IUnknown> unknown;
  ComPtr<IViewObject> view;
  ComPtr<IOleObject> ole;
  Check(host != nullptr && SUCCEEDED(get_control(host, unknown.Put())) && SUCCEEDED(unknown.As(view)) &&
            SUCCEEDED(unknown.As(ole)),
        "control sited by ProgID");
  if (failures) return failures;

  // Wine's ATL site has no ambient properties: a running host, nothing drawn.
  Check(control_test::IsBlank(control_test::DrawPanel(view.Get())), "nothing drawn in ATL's site");
  // Re-sited with a designer's site, it paints its panel.
  ComPtr<IOleClientSite> atl_site;
  ole->GetClientSite(atl_site.Put());
  auto designer = ComPtr<control_test::TestSite>::Attach(new control_test::TestSite());
  designer->user_mode = false;
  ole->SetClientSite(designer.Get());
  const std::vector<uint32_t> design = control_test::DrawPanel(view.Get());
  Check(control_test::LooksLikeThePanel(design), "design-time panel");
  Check(control_test::WriteBmp(bmp, design), "BMP written");
  ole->SetClientSite(atl_site.Get());
  DestroyWindow(frame);
  return failures;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  OleInitialize(nullptr);
  const std::wstring mode = argv[1];
  const int result = mode == L"loopback" ? Loopback(argv[2]) : mode == L"atl" ? AtlContainer(argv[2]) : 2;
  OleUninitialize();
  std::printf("%s: %s\n", mode == L"loopback" ? "loopback" : "atl", result == 0 ? "passed" : "FAILED");
  return result;
}
