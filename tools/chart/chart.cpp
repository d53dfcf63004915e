// moravex-chart: a small front end, and the host developer's worked example.
//
//   moravex-chart HOST PORT [TICKER] [--user ID --password PW] [--screenshot FILE.bmp --after-ms N]
//
// It sites MORAVEX1.ChartServiceClient on its window through ATL's container
// (as a form would), logs in, asks for the full price channel of TICKER and
// then for updates every few seconds, and draws it: the buy and sell reference
// prices as a band, the price as a line, time along the bottom, and a status
// line. After Disconnected it connects again with a growing pause, and asks
// again after LoggedIn: a break forgets every pending request.
//
// Everything arrives as an event on this thread, from its message loop: the
// handlers below only store what came and invalidate the window.
#include "windows/com/windows_headers.h"
#include <adoint.h>  // classic ADO ids (_WIN32_WINNT 0x0601); C++ needs -fpermissive

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "MORAVEX1_events.h"
#include "MORAVEX1_h.h"
#include "windows/com/host_event_sink.h"

namespace {

using namespace moravex::events;  // the events' DISPIDs, from MORAVEX1.idl

constexpr UINT_PTR kUpdateTimer = 1, kReconnectTimer = 2, kScreenshotTimer = 3;
constexpr UINT kUpdateEveryMs = 3000;
constexpr COLORREF kBandColor = RGB(176, 208, 240), kPriceColor = RGB(16, 48, 160);

struct Row {
  int seconds;  // since midnight
  float buy, sell, price;
};

struct App {
  std::wstring host, ticker = L"IBM", user = L"demo-user-00000000000000000000000000",
                     password = L"demo-password-0000000000000000000000", screenshot;
  long port = 7401;
  int after_ms = 1000;
  HWND window = nullptr;
  _ChartServiceClient* client = nullptr;
  std::vector<Row> rows;
  std::wstring last_time;  // stamp of the newest row, for the next update request
  std::wstring state = L"connecting", last_event = L"-", last_error;
  int timeouts = 0, errors = 0;
  UINT backoff_ms = 1000;
} app;

BSTR Bstr(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

// Calls a method taking BSTRs and frees them; COM errors end up in the status line.
template <class Method, class... Args>
void Ask(Method method, Args... args) {
  HRESULT hr = method(args...);
  if (FAILED(hr)) {
    ++app.errors;
    IErrorInfo* info = nullptr;
    BSTR text = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr && SUCCEEDED(info->GetDescription(&text)) && text) {
      app.last_error = text;
      SysFreeString(text);
    }
    if (info != nullptr) info->Release();
  }
}

void Connect() {
  app.state = L"connecting";
  BSTR host = Bstr(app.host);
  Ask([&] { return app.client->Connect(host, app.port); });
  SysFreeString(host);
}

// Reads a record set through ADO's vtable (early bound: fast, see the guide).
std::vector<Row> ReadRows(IDispatch* object) {
  const IID recordset_iid = {0x00000556, 0, 0x0010, {0x80, 0, 0, 0xAA, 0, 0x6D, 0x2E, 0xA4}};
  std::vector<Row> rows;
  _ADORecordset* set = nullptr;
  ADOFields* fields = nullptr;
  if (object == nullptr || FAILED(object->QueryInterface(recordset_iid, reinterpret_cast<void**>(&set)))) return rows;
  VARIANT_BOOL eof = VARIANT_TRUE;
  if (SUCCEEDED(set->get_Fields(&fields))) {
    while (SUCCEEDED(set->get_EOF(&eof)) && eof == VARIANT_FALSE) {
      VARIANT value[5];
      for (short k = 0; k < 5; ++k) {  // Time, BuyReferencePrice, SellReferencePrice, Price, PriceOffsetPercent
        VARIANT index;
        index.vt = VT_I2;
        index.iVal = k;
        ADOField* field = nullptr;
        VariantInit(&value[k]);
        if (SUCCEEDED(fields->get_Item(index, &field))) {
          field->get_Value(&value[k]);
          field->Release();
        }
        VariantChangeType(&value[k], &value[k], 0, k == 0 ? VT_BSTR : VT_R4);
      }
      int h = 0, m = 0, s = 0;
      if (value[0].vt == VT_BSTR && swscanf(value[0].bstrVal, L"%d:%d:%d", &h, &m, &s) == 3) {
        rows.push_back({h * 3600 + m * 60 + s, value[1].fltVal, value[2].fltVal, value[3].fltVal});
        app.last_time = value[0].bstrVal;
      }
      for (VARIANT& v : value) VariantClear(&v);
      if (FAILED(set->MoveNext())) break;
    }
    fields->Release();
  }
  set->Release();
  return rows;
}

// What each event means for this front end.
void OnEvent(DISPID id, DISPPARAMS* params) {
  auto arg = [&](UINT i) -> VARIANTARG& { return params->rgvarg[params->cArgs - 1 - i]; };  // in declaration order
  static const wchar_t* names[] = {L"",
                                   L"Error",
                                   L"Connected",
                                   L"Disconnected",
                                   L"ConnectionFailed",
                                   L"LoggedIn",
                                   L"LoginFailed",
                                   L"GotDebugMessage",
                                   L"GotSessionDateTime",
                                   L"GotSessionDate",
                                   L"GotSessionTime",
                                   L"GotFullVantrelData",
                                   L"GotVantrelDataUpdates",
                                   L"Timeout"};
  app.last_event = id > 0 && id < 14 ? names[id] : L"event " + std::to_wstring(id);
  switch (id) {
    case kConnected: {
      app.state = L"connected";
      app.backoff_ms = 1000;
      BSTR user = Bstr(app.user), password = Bstr(app.password), cookie = Bstr(L"");
      Ask([&] { return app.client->Login(user, password, cookie); });
      for (BSTR b : {user, password, cookie}) SysFreeString(b);
      break;
    }
    case kLoggedIn: {  // (again) after every connect: ask for everything anew
      app.state = L"logged in";
      BSTR ticker = Bstr(app.ticker);
      Ask([&] { return app.client->GetFullPriceChannelData(ticker, 500); });
      SysFreeString(ticker);
      SetTimer(app.window, kUpdateTimer, kUpdateEveryMs, nullptr);
      break;
    }
    case kGotFullVantrelData:
    case kGotVantrelDataUpdates: {
      std::vector<Row> rows = ReadRows(*arg(0).ppdispVal);
      if (id == kGotFullVantrelData) app.rows.clear();
      for (const Row& row : rows) {
        if (app.rows.empty() || row.seconds > app.rows.back().seconds) app.rows.push_back(row);
      }
      if (id == kGotFullVantrelData && !app.screenshot.empty())
        SetTimer(app.window, kScreenshotTimer, app.after_ms, nullptr);
      break;
    }
    case kTimeout: ++app.timeouts; break;
    case kError:
    case kLoginFailed:
      ++app.errors;
      app.last_error = arg(1).vt == VT_BSTR ? arg(1).bstrVal : L"";
      break;
    case kDisconnected:
    case kConnectionFailed:  // pending requests are gone: reconnect after a growing pause
      app.state = id == kDisconnected ? L"disconnected" : L"connection failed";
      KillTimer(app.window, kUpdateTimer);
      SetTimer(app.window, kReconnectTimer, app.backoff_ms, nullptr);
      app.backoff_ms = std::min(app.backoff_ms * 2, 30000u);
      break;
  }
  InvalidateRect(app.window, nullptr, FALSE);
}

// The event sink: IDispatch whose Invoke hands each event to OnEvent.
class Sink final : public moravex::com::HostEventSink {
 public:
  Sink() : HostEventSink(DIID___ChartServiceClient) {}
  IFACEMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    OnEvent(id, params);
    return S_OK;
  }
} sink;

// The chart: band between buy and sell reference, price line, time axis, status line.
void Draw(HDC dc, const RECT& client) {
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  const int status_height = 22, left = 60, right = client.right - 12, top = 12,
            bottom = client.bottom - status_height - 24;
  if (app.rows.size() >= 2 && right > left && bottom > top) {
    float low = app.rows[0].sell, high = app.rows[0].buy;
    for (const Row& r : app.rows) low = std::min(low, r.sell), high = std::max(high, r.buy);
    const int t0 = app.rows.front().seconds, t1 = std::max(app.rows.back().seconds, t0 + 1);
    auto x = [&](int t) {
      return left + static_cast<int>(static_cast<long long>(t - t0) * (right - left) / (t1 - t0));
    };
    auto y = [&](float p) {
      return bottom - static_cast<int>((p - low) / std::max(high - low, 0.01f) * static_cast<float>(bottom - top));
    };
    std::vector<POINT> band, line;
    for (const Row& r : app.rows) band.push_back({x(r.seconds), y(r.buy)}), line.push_back({x(r.seconds), y(r.price)});
    for (auto r = app.rows.rbegin(); r != app.rows.rend(); ++r) band.push_back({x(r->seconds), y(r->sell)});
    HBRUSH fill = CreateSolidBrush(kBandColor);
    HPEN none = static_cast<HPEN>(GetStockObject(NULL_PEN)), pen = CreatePen(PS_SOLID, 2, kPriceColor);
    HGDIOBJ old_brush = SelectObject(dc, fill), old_pen = SelectObject(dc, none);
    Polygon(dc, band.data(), static_cast<int>(band.size()));
    SelectObject(dc, pen);
    Polyline(dc, line.data(), static_cast<int>(line.size()));
    SelectObject(dc, GetStockObject(BLACK_PEN));
    MoveToEx(dc, left, top, nullptr);
    LineTo(dc, left, bottom);
    LineTo(dc, right, bottom);
    // Time labels every 15 minutes, prices at the top and bottom.
    wchar_t text[32];
    for (int t = (t0 + 899) / 900 * 900; t <= t1; t += 900) {
      swprintf(text, 32, L"%d:%02d", t / 3600, t / 60 % 60);
      TextOutW(dc, x(t) - 14, bottom + 4, text, static_cast<int>(wcslen(text)));
    }
    for (float p : {low, high}) {
      swprintf(text, 32, L"%.2f", static_cast<double>(p));
      TextOutW(dc, 4, y(p) - 8, text, static_cast<int>(wcslen(text)));
    }
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(fill);
    DeleteObject(pen);
  }
  RECT status = {0, client.bottom - status_height, client.right, client.bottom};
  FillRect(dc, &status, GetSysColorBrush(COLOR_BTNFACE));
  const std::wstring line = app.ticker + L"  |  " + app.state + L"  |  last event: " + app.last_event + L"  |  rows: " +
                            std::to_wstring(app.rows.size()) + L"  |  time-outs: " + std::to_wstring(app.timeouts) +
                            L"  |  errors: " + std::to_wstring(app.errors) +
                            (app.last_error.empty() ? L"" : L" (" + app.last_error + L")");
  TextOutW(dc, 6, status.top + 3, line.c_str(), static_cast<int>(line.size()));
}

// Renders the client area into a 32-bit BMP file.
bool SaveScreenshot(const std::wstring& path) {
  RECT client;
  GetClientRect(app.window, &client);
  BITMAPINFOHEADER header{sizeof(header), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return false;
  HGDIOBJ old = SelectObject(dc, bitmap);
  Draw(dc, client);
  GdiFlush();
  header.biSizeImage = static_cast<DWORD>(client.right * client.bottom * 4);
  BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  file.bfSize = file.bfOffBits + header.biSizeImage;
  FILE* out = _wfopen(path.c_str(), L"wb");
  const bool ok = out != nullptr && fwrite(&file, sizeof(file), 1, out) == 1 &&
                  fwrite(&header, sizeof(header), 1, out) == 1 && fwrite(bits, header.biSizeImage, 1, out) == 1;
  if (out != nullptr) fclose(out);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return ok;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {  // drawn off screen, then copied: no flicker
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
      HGDIOBJ old = SelectObject(memory, bitmap);
      Draw(memory, client);
      BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteObject(bitmap);
      DeleteDC(memory);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      if (wparam == kUpdateTimer && !app.last_time.empty()) {
        BSTR ticker = Bstr(app.ticker), stamp = Bstr(app.last_time);
        Ask([&] { return app.client->GetPriceChannelDataUpdates(ticker, stamp); });
        SysFreeString(ticker);
        SysFreeString(stamp);
      } else if (wparam == kReconnectTimer) {
        KillTimer(window, kReconnectTimer);
        Connect();
      } else if (wparam == kScreenshotTimer) {
        PostQuitMessage(SaveScreenshot(app.screenshot) ? 0 : 1);
      }
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fwprintf(
        stderr,
        L"usage: moravex-chart HOST PORT [TICKER] [--user ID --password PW] [--screenshot FILE.bmp --after-ms N]\n");
    return 2;
  }
  app.host = argv[1];
  app.port = wcstol(argv[2], nullptr, 10);
  for (int i = 3; i < argc; ++i) {
    const std::wstring option = argv[i];
    const bool has_value = i + 1 < argc;
    if (option == L"--user" && has_value)
      app.user = argv[++i];
    else if (option == L"--password" && has_value)
      app.password = argv[++i];
    else if (option == L"--screenshot" && has_value)
      app.screenshot = argv[++i];
    else if (option == L"--after-ms" && has_value)
      app.after_ms = _wtoi(argv[++i]);
    else
      app.ticker = option;
  }
  if (FAILED(OleInitialize(nullptr))) return 3;

  // ATL's container window class: atl.dll exports it, no ATL headers needed.
  HMODULE atl = LoadLibraryW(L"atl.dll");
  auto init = reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
  auto get_control = reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
      reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
  if (init == nullptr || get_control == nullptr || !init()) return fwprintf(stderr, L"no ATL container\n"), 4;

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.lpszClassName = L"MoravexChart";
  RegisterClassW(&window_class);
  app.window =
      CreateWindowW(L"MoravexChart", (L"moravex-chart - " + app.ticker).c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                    CW_USEDEFAULT, CW_USEDEFAULT, 720, 400, nullptr, nullptr, window_class.hInstance, nullptr);
  if (app.window == nullptr) return fwprintf(stderr, L"no window (no display?)\n"), 5;

  // Site the control as a form would: an "AtlAxWin" child named by ProgID. It
  // is invisible at run time, so the child takes no room.
  HWND site = CreateWindowW(L"AtlAxWin", L"MORAVEX1.ChartServiceClient", WS_CHILD, 0, 0, 0, 0, app.window, nullptr,
                            window_class.hInstance, nullptr);
  IUnknown* control = nullptr;
  IConnectionPointContainer* points = nullptr;
  IConnectionPoint* point = nullptr;
  DWORD cookie = 0;
  if (site == nullptr || FAILED(get_control(site, &control)) ||
      FAILED(control->QueryInterface(IID__ChartServiceClient, reinterpret_cast<void**>(&app.client))) ||
      FAILED(control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))) ||
      FAILED(points->FindConnectionPoint(DIID___ChartServiceClient, &point)) || FAILED(point->Advise(&sink, &cookie))) {
    return fwprintf(stderr, L"the control is not registered or could not be sited\n"), 6;
  }
  Connect();

  MSG message;  // the message loop: every event of the control arrives from here
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  point->Unadvise(cookie);
  point->Release();
  points->Release();
  app.client->Release();
  control->Release();
  DestroyWindow(app.window);
  OleUninitialize();
  return static_cast<int>(message.wParam);
}
