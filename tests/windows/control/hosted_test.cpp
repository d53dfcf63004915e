// The control as hosts meet it, through MORAVEX1.ocx: its exports over real
// components and a loopback chart server, and (run by hosted_test.sh with the
// .ocx registered and a display) sited by ProgID in Wine's ATL container.
#include "windows/com/windows_headers.h"

#include <gtest/gtest.h>

#include "MORAVEX1_events.h"
#include "MORAVEX1_h.h"
#include "tests/windows/control/control_test_support.h"

namespace moravex::windows::test {
namespace {

using moravex::com::ComPtr;
using namespace moravex::events;

bool Saw(const RecordingSink* sink, DISPID id) {
  return std::any_of(sink->events.begin(), sink->events.end(), [id](const Event& e) { return e.id == id; });
}

size_t Receive(SOCKET socket, size_t count) {
  std::string bytes(count, '\0');
  size_t got = 0;
  for (int n = 1; got < count && n > 0; got += static_cast<size_t>(n > 0 ? n : 0)) {
    n = recv(socket, bytes.data() + got, static_cast<int>(count - got), 0);
  }
  return got;
}

void Send(SOCKET socket, const moravex::Bytes& bytes) {
  send(socket, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
}

// A chart server on a loopback port; the test thread plays it.
struct LoopbackServer {
  SOCKET listener = INVALID_SOCKET;
  SOCKET server = INVALID_SOCKET;
  sockaddr_in address{};

  LoopbackServer() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  }
  ~LoopbackServer() {
    if (server != INVALID_SOCKET) closesocket(server);
    closesocket(listener);
    WSACleanup();
  }
  // Connects the control, accepts it and logs it in; LoggedIn's handler runs in here.
  void ConnectAndLogIn(_ChartServiceClient* control, RecordingSink* sink) {
    BSTR host = SysAllocString(L"127.0.0.1"), user = SysAllocString(std::wstring(36, L'u').c_str()),
         cookie = SysAllocString(L"");
    ASSERT_EQ(S_OK, control->Connect(host, ntohs(address.sin_port)));
    ASSERT_TRUE(PumpUntil([&] { return Saw(sink, kConnected); }));
    server = accept(listener, nullptr, nullptr);
    const DWORD wait = 5000;
    setsockopt(server, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof(wait));
    ASSERT_EQ(S_OK, control->Login(user, user, cookie));
    ASSERT_EQ(6u + 73u, Receive(server, 6 + 73));
    Send(server, moravex::Frame(1, moravex::Concat({moravex::LongBytes(0), moravex::AnsiBytes("OK")})));
    ASSERT_TRUE(PumpUntil([&] { return Saw(sink, kLoggedIn); }));
    for (BSTR text : {host, user, cookie}) SysFreeString(text);
  }
};

TEST(Hosted, LoopbackThroughTheOcx) {
  HMODULE library = LoadLibraryW(OcxPath().c_str());
  ASSERT_NE(nullptr, library);
  auto can_unload = Export<HRESULT(WINAPI*)()>(library, "DllCanUnloadNow");
  ComPtr<_ChartServiceClient> control;
  auto sink = ComPtr<RecordingSink>::Attach(new RecordingSink());
  ASSERT_EQ(S_OK, CreateThroughTheOcx(library, sink->Identity(), control));
  LoopbackServer loopback;
  ASSERT_NO_FATAL_FAILURE(loopback.ConnectAndLogIn(control.Get(), sink.Get()));
  const SOCKET server = loopback.server;
  BSTR ticker = SysAllocString(L"ABC");

  // Two rows in an ADO Recordset, by reference.
  bool recordset = false;
  sink->on_event = [&](DISPID id, DISPPARAMS* params) {
    const IID ado_recordset = {0x0000050E, 0, 0x0010, {0x80, 0, 0, 0xAA, 0, 0x6D, 0x2E, 0xA4}};
    ComPtr<IUnknown> ado;
    recordset = id == kGotFullVantrelData && params->rgvarg[0].vt == (VT_BYREF | VT_DISPATCH) &&
                SUCCEEDED((*params->rgvarg[0].ppdispVal)->QueryInterface(ado_recordset, ado.PutVoid()));
  };
  ASSERT_EQ(S_OK, control->GetFullPriceChannelData(ticker, 100));
  ASSERT_EQ(16u, Receive(server, 16));
  const moravex::Bytes price = moravex::SingleBytes(1.5f), time = moravex::AnsiBytes("10:00:00");
  Send(server,
       moravex::Frame(5, moravex::Concat({time, price, price, price, price, time, price, price, price, price})));
  ASSERT_TRUE(PumpUntil([&] { return Saw(sink.Get(), kGotFullVantrelData); }));
  EXPECT_TRUE(recordset);

  // A real timer reports an unanswered request.
  ASSERT_EQ(S_OK, control->put_SessionInfoTimeout(50));
  ASSERT_EQ(S_OK, control->GetSessionTime());
  EXPECT_TRUE(PumpUntil([&] { return Saw(sink.Get(), kTimeout); }));

  // The peer closes; the host drops its last reference inside Disconnected,
  // and the library may go as soon as that notification is over.
  EXPECT_EQ(S_FALSE, can_unload());
  sink->on_event = [&](DISPID id, DISPPARAMS*) {
    if (id == kDisconnected) control.Reset();
  };
  closesocket(server);
  loopback.server = INVALID_SOCKET;
  EXPECT_TRUE(PumpUntil([&] { return Saw(sink.Get(), kDisconnected); }));
  EXPECT_FALSE(control);
  EXPECT_EQ(S_OK, can_unload());
  SysFreeString(ticker);
}

// Hosts pump messages inside events (DoEvents, a modal loop, a wait for the
// answer of a request made there): each answer comes once, in wire order, and
// before the close that arrived with it.
TEST(Hosted, LoopbackHostPumpsInsideEvents) {
  HMODULE library = LoadLibraryW(OcxPath().c_str());
  ASSERT_NE(nullptr, library);
  ComPtr<_ChartServiceClient> control;
  auto sink = ComPtr<RecordingSink>::Attach(new RecordingSink());
  ASSERT_EQ(S_OK, CreateThroughTheOcx(library, sink->Identity(), control));
  ASSERT_EQ(S_OK, control->put_SessionInfoTimeout(1000));
  LoopbackServer loopback;
  const moravex::Bytes date = moravex::Frame(3, moravex::AnsiBytes("12/08/2026"));

  // LoggedIn asks for the session date and waits, pumping; the server answers at once.
  bool answered_inside = false;
  sink->on_event = [&](DISPID id, DISPPARAMS*) {
    if (id != kLoggedIn) return;
    bool served = false;
    answered_inside = control->GetSessionDate() == S_OK && PumpUntil([&] {
                        if (!served && Receive(loopback.server, 6) == 6) Send(loopback.server, date);
                        served = true;
                        return Saw(sink.Get(), kGotSessionDate) || Saw(sink.Get(), kTimeout);
                      }) &&
                      !Saw(sink.Get(), kTimeout);
  };
  ASSERT_NO_FATAL_FAILURE(loopback.ConnectAndLogIn(control.Get(), sink.Get()));
  EXPECT_TRUE(answered_inside) << "no GotSessionDate inside LoggedIn (Timeout: " << Saw(sink.Get(), kTimeout) << ")";
  EXPECT_EQ(1, std::count_if(sink->events.begin(), sink->events.end(),
                             [](const Event& e) { return e.id == kGotSessionDate; }));

  // Two answers, a debug message and the close in one segment. The first
  // handler's DoEvents meets the close's notification (queued by then), the
  // record set's runs a modal loop, the last one DoEvents again.
  BSTR ticker = SysAllocString(L"ABC");
  ASSERT_EQ(S_OK, control->GetSessionDate());
  ASSERT_EQ(S_OK, control->GetFullPriceChannelData(ticker, 100));
  SysFreeString(ticker);
  ASSERT_EQ(6u + 16u, Receive(loopback.server, 6 + 16));
  const size_t before = sink->events.size();
  sink->on_event = [&](DISPID id, DISPPARAMS*) {
    if (id == kGotSessionDate) Sleep(100);
    if (id == kGotFullVantrelData) {
      const ULONGLONG until = GetTickCount64() + 100;
      PumpUntil([&] { return GetTickCount64() >= until; });
    }
    DoEvents();
  };
  const moravex::Bytes price = moravex::SingleBytes(1.5f), time = moravex::AnsiBytes("10:00:00");
  Send(loopback.server, moravex::Concat({date, moravex::Frame(5, moravex::Concat({time, price, price, price, price})),
                                         moravex::Frame(0, moravex::AnsiBytes("last"))}));
  closesocket(loopback.server);
  loopback.server = INVALID_SOCKET;
  EXPECT_TRUE(PumpUntil([&] { return Saw(sink.Get(), kDisconnected); }));
  DoEvents();
  std::vector<DISPID> seen;
  for (size_t i = before; i < sink->events.size(); ++i) seen.push_back(sink->events[i].id);
  EXPECT_EQ((std::vector<DISPID>{kGotSessionDate, kGotFullVantrelData, kGotDebugMessage, kDisconnected}), seen);
  if (seen.size() == 4) {
    EXPECT_EQ(L"12/08/2026", sink->events[before].texts.at(0));
    EXPECT_EQ(L"last", sink->events[before + 2].texts.at(0));
  }
  sink->on_event = nullptr;
}

// Two answers in one segment, and the first one's handler runs a message loop
// three times as long as the time-out (as a message box would): the second
// answer comes inside that loop, and nothing times out.
TEST(Hosted, LoopbackAnswerInHandComesInsideAModalLoopAndIsNotTimedOut) {
  HMODULE library = LoadLibraryW(OcxPath().c_str());
  ASSERT_NE(nullptr, library);
  ComPtr<_ChartServiceClient> control;
  auto sink = ComPtr<RecordingSink>::Attach(new RecordingSink());
  ASSERT_EQ(S_OK, CreateThroughTheOcx(library, sink->Identity(), control));
  LoopbackServer loopback;
  ASSERT_NO_FATAL_FAILURE(loopback.ConnectAndLogIn(control.Get(), sink.Get()));
  ASSERT_EQ(S_OK, control->put_SessionInfoTimeout(200));
  ASSERT_EQ(S_OK, control->GetSessionTime());
  ASSERT_EQ(S_OK, control->GetSessionDate());
  ASSERT_EQ(12u, Receive(loopback.server, 12));
  bool date_inside = false;
  sink->on_event = [&](DISPID id, DISPPARAMS*) {
    if (id != kGotSessionTime) return;
    const ULONGLONG until = GetTickCount64() + 600;
    PumpUntil([&] { return GetTickCount64() >= until; });
    date_inside = Saw(sink.Get(), kGotSessionDate);
  };
  const size_t before = sink->events.size();
  Send(loopback.server, moravex::Concat({moravex::Frame(4, moravex::AnsiBytes("09:30:00")),
                                         moravex::Frame(3, moravex::AnsiBytes("12/09/2026"))}));
  ASSERT_TRUE(PumpUntil([&] { return Saw(sink.Get(), kGotSessionDate); }));
  PumpUntil([] { return false; }, 300);
  sink->on_event = nullptr;
  std::vector<DISPID> seen;
  for (size_t i = before; i < sink->events.size(); ++i) seen.push_back(sink->events[i].id);
  EXPECT_EQ((std::vector<DISPID>{kGotSessionTime, kGotSessionDate}), seen);
  EXPECT_TRUE(date_inside);
}

TEST(Hosted, AtlContainerSitesTheRegisteredControl) {
  HMODULE atl = LoadLibraryW(L"atl.dll");
  auto init = Export<BOOL(WINAPI*)()>(atl, "AtlAxWinInit");
  auto get_control = Export<HRESULT(WINAPI*)(HWND, IUnknown**)>(atl, "AtlAxGetControl");
  ASSERT_TRUE(init != nullptr && get_control != nullptr && init());
  HWND frame = CreateWindowW(L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 200, nullptr, nullptr,
                             nullptr, nullptr);
  ASSERT_NE(nullptr, frame) << "needs a display";
  HWND host = CreateWindowW(L"AtlAxWin", L"MORAVEX1.ChartServiceClient", WS_CHILD | WS_VISIBLE, 0, 0, 364, 51, frame,
                            nullptr, nullptr, nullptr);
  ComPtr<IUnknown> unknown;
  ComPtr<IViewObject> view;
  ComPtr<IOleObject> ole;
  ASSERT_NE(nullptr, host);
  ASSERT_EQ(S_OK, get_control(host, unknown.Put()));
  ASSERT_EQ(S_OK, unknown.As(view));
  ASSERT_EQ(S_OK, unknown.As(ole));

  // Wine's ATL site has no ambient properties: a running host, nothing drawn.
  EXPECT_TRUE(IsBlank(DrawPanel(view.Get())));
  // Re-sited with a designer's site, it paints its panel.
  ComPtr<IOleClientSite> atl_site;
  ole->GetClientSite(atl_site.Put());
  auto designer = ComPtr<TestSite>::Attach(new TestSite());
  designer->user_mode = false;
  ole->SetClientSite(designer.Get());
  const std::vector<uint32_t> design = DrawPanel(view.Get());
  EXPECT_TRUE(LooksLikeThePanel(design));
  EXPECT_TRUE(WriteBmp(L"design_time_atl.bmp", design));
  ole->SetClientSite(atl_site.Get());
  DestroyWindow(frame);
}

}  // namespace
}  // namespace moravex::windows::test
