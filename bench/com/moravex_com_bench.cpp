// The COM path under Wine, in one process on one apartment thread: the control
// of MORAVEX1.ocx (loaded by path, created through its class object, events by
// IDispatch) beside a minimal client that does the same work with no control,
// both talking to the same loopback server thread. Trials alternate between
// the two; each figure is the median of the trials' rates.
//
//   moravex_com_bench OCX_PATH [TRIALS] [MILLISECONDS_PER_TRIAL]
//
// Price-channel answers: the host asks for the next answer from inside each
// event and reads every value of the record set through ADO's vtable; the
// minimal client receives the same frames on a WSAAsyncSelect socket, makes the
// control's ADO calls itself on the payload and reads the set the same way.
// Round trips: a previous-session price and a 32-byte debug echo asked for
// again from inside each event, against the minimal client's same requests.
#include "windows/com/windows_headers.h"
#include <adoint.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "MORAVEX1_events.h"
#include "MORAVEX1_h.h"
#include "windows/com/host_event_sink.h"
#include "windows/com/variant.h"
#include "bench/wire.h"

namespace {

using moravex::bench::Frame;
using moravex::bench::kHeader;
using moravex::bench::kRecord;
using moravex::bench::PayloadLength;
using moravex::bench::PriceChannelPayload;

constexpr GUID kClsidRecordset = {0x00000535, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr GUID kIidRecordset = {0x00000556, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr uint8_t kHighPriceType = 8;
constexpr int kDebugLength = 32;
constexpr int kRowCounts[] = {10, 100, 1000, 4166};

[[noreturn]] void Die(const char* what, long code = 0) {
  std::fprintf(stderr, "moravex_com_bench: %s (0x%08lX)\n", what, static_cast<unsigned long>(code));
  std::fflush(stderr);
  ExitProcess(2);
}

void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) Die(what, hr);
}

double Seconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

// This thread's CPU time (user and kernel) in seconds. Wine reads it from the
// kernel's per-thread clock ticks (10 ms), so it is summed over all trials.
double ThreadSeconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

// ---------------------------------------------------------------------------
// The loopback server: one thread per connection, blocking sockets. Full
// price-channel requests get as many rows as they ask pixels for (at most
// 4166); everything else gets the echo server's answer.

bool ReadAll(SOCKET s, uint8_t* into, size_t n) {
  for (size_t got = 0; got < n;) {
    const int r = recv(s, reinterpret_cast<char*>(into + got), static_cast<int>(n - got), 0);
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

void Serve(SOCKET s) {
  std::map<uint32_t, std::vector<uint8_t>> price_frames;
  for (const int rows : kRowCounts) price_frames[static_cast<uint32_t>(rows)] = Frame(5, PriceChannelPayload(rows));
  std::vector<uint8_t> payload;
  for (;;) {
    uint8_t header[kHeader];
    if (!ReadAll(s, header, kHeader)) break;
    payload.resize(PayloadLength(header));
    if (!payload.empty() && !ReadAll(s, payload.data(), payload.size())) break;
    std::vector<uint8_t> answer;
    if (header[0] == 5 && payload.size() == 10) {
      uint32_t pixels = 0;
      std::memcpy(&pixels, payload.data() + 6, 4);
      const auto found = price_frames.find(pixels);
      answer = found != price_frames.end() ? found->second : Frame(5, PriceChannelPayload(static_cast<int>(pixels)));
    } else {
      answer = moravex::bench::EchoAnswer(header[0], payload);
    }
    if (send(s, reinterpret_cast<const char*>(answer.data()), static_cast<int>(answer.size()), 0) <= 0) break;
  }
  closesocket(s);
}

class Server {
 public:
  Server() {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 4) != 0) {
      Die("listen", WSAGetLastError());
    }
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] {
      for (;;) {
        const SOCKET s = accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET) return;
        const BOOL on = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        std::thread(Serve, s).detach();
      }
    });
  }
  ~Server() {
    closesocket(listener_);
    acceptor_.join();
  }
  USHORT Port() const { return port_; }

 private:
  SOCKET listener_;
  USHORT port_ = 0;
  std::thread acceptor_;
};

// ---------------------------------------------------------------------------
// ADO, as the host and the minimal client use it through the vtable.

using moravex::com::Missing;
using moravex::com::Ordinal;

// The five field objects of a set, fetched once.
struct Columns {
  ADOField* field[5] = {};
  explicit Columns(_ADORecordset* set) {
    ADOFields* fields = nullptr;
    Check(set->get_Fields(&fields), "Fields");
    for (int k = 0; k < 5; ++k) Check(fields->get_Item(Ordinal(k), &field[k]), "Fields.Item");
    fields->Release();
  }
  ~Columns() {
    for (ADOField* f : field) f->Release();
  }
};

// Reads every value from the cursor to the end: what a host that walks a set
// through the vtable does. Returns a sum so nothing is optimized away.
double Walk(_ADORecordset* set) {
  const Columns columns(set);
  double sum = 0;
  for (;;) {
    VARIANT_BOOL eof = VARIANT_TRUE;
    Check(set->get_EOF(&eof), "EOF");
    if (eof != VARIANT_FALSE) break;
    for (ADOField* field : columns.field) {
      VARIANT value;
      VariantInit(&value);
      Check(field->get_Value(&value), "Field.Value");
      if (V_VT(&value) == VT_BSTR) {
        for (const OLECHAR* c = V_BSTR(&value); *c != 0; ++c) sum += *c;
      } else {
        sum += V_R4(&value);
      }
      VariantClear(&value);
    }
    Check(set->MoveNext(), "MoveNext");
  }
  return sum;
}

// The control's own ADO calls on a payload, in its order, with its savings:
// the class object taken once, the field objects once per answer.
class AdoFiller {
 public:
  AdoFiller() {
    Check(CoGetClassObject(kClsidRecordset, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                           reinterpret_cast<void**>(&class_object_)),
          "CoGetClassObject");
  }
  ~AdoFiller() { class_object_->Release(); }

  _ADORecordset* Fill(const uint8_t* payload, size_t length) {
    const size_t n = length / kRecord;
    rows_.resize(n);
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* record = payload + i * kRecord;
      MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(record), 8, rows_[i].time, 8);
      std::memcpy(rows_[i].prices, record + 8, 16);
    }
    _ADORecordset* set = nullptr;
    Check(class_object_->CreateInstance(nullptr, kIidRecordset, reinterpret_cast<void**>(&set)), "Recordset");
    Check(set->put_CursorLocation(adUseClient), "CursorLocation");
    Check(set->put_CursorType(adOpenDynamic), "CursorType");
    set->put_LockType(adLockOptimistic);  // E_NOTIMPL under Wine
    {
      static const wchar_t* const names[] = {L"Time", L"BuyReferencePrice", L"SellReferencePrice", L"Price",
                                             L"PriceOffsetPercent"};
      ADOFields* fields = nullptr;
      Check(set->get_Fields(&fields), "Fields");
      for (int k = 0; k < 5; ++k) {
        const BSTR name = SysAllocString(names[k]);
        Check(fields->Append(name, k == 0 ? adBSTR : adSingle, 0, adFldUnspecified, Missing()), "Append");
        SysFreeString(name);
      }
      fields->Release();
    }
    Check(set->Open(Missing(), Missing(), adOpenUnspecified, adLockUnspecified, adCmdUnspecified), "Open");
    if (n == 0) return set;
    for (size_t i = 0; i < n; ++i) Check(set->AddNew(Missing(), Missing()), "AddNew");
    Check(set->MoveFirst(), "MoveFirst");
    {
      const Columns columns(set);
      VARIANT time;
      VariantInit(&time);
      V_VT(&time) = VT_BSTR;
      V_BSTR(&time) = SysAllocStringLen(nullptr, 8);
      VARIANT price;
      VariantInit(&price);
      V_VT(&price) = VT_R4;
      for (const Row& row : rows_) {
        std::memcpy(V_BSTR(&time), row.time, sizeof row.time);
        Check(columns.field[0]->put_Value(time), "Value");
        for (int k = 0; k < 4; ++k) {
          V_R4(&price) = row.prices[k];
          Check(columns.field[k + 1]->put_Value(price), "Value");
        }
        Check(set->MoveNext(), "MoveNext");
      }
      VariantClear(&time);
    }
    Check(set->MoveFirst(), "MoveFirst");
    return set;
  }

 private:
  struct Row {
    wchar_t time[8];
    float prices[4];
  };
  IClassFactory* class_object_ = nullptr;
  std::vector<Row> rows_;
};

// ---------------------------------------------------------------------------
// One trial: the side's first request, then the thread's message loop until
// the handlers have stopped asking (they stop once the trial's time is up).

struct Trial {
  double until = 0;
  double started = 0;
  double cpu_started = 0;
  long done = 0;
  bool running = false;
  double sum = 0;

  void Begin(double seconds) {
    cpu_started = ThreadSeconds();
    started = Seconds();
    until = started + seconds;
    done = 0;
    running = true;
  }
  // After one answer: true when the handler should ask for the next.
  bool Next() {
    ++done;
    if (Seconds() < until) return true;
    running = false;
    return false;
  }
  double Rate() const { return static_cast<double>(done) / (Seconds() - started); }
  double CpuSeconds() const { return ThreadSeconds() - cpu_started; }
};

// What one trial of one side measured.
struct Result {
  double rate;  // per second of wall time
  long done;
  double cpu;  // the thread's CPU seconds
};

void PumpWhile(const std::function<bool()>& condition) {
  MSG message;
  while (condition() && GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}

// ---------------------------------------------------------------------------
// The host of the control: an IDispatch sink on its events.

enum class Work { kPriceChannel, kHighPrice, kDebug };

class Host final : public moravex::com::HostEventSink {
 public:
  Host(HMODULE library, USHORT port) : HostEventSink(DIID___ChartServiceClient) {
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto get_class =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    if (get_class == nullptr) Die("DllGetClassObject");
    IClassFactory* factory = nullptr;
    Check(get_class(CLSID_ChartServiceClient, IID_IClassFactory, reinterpret_cast<void**>(&factory)), "class");
    Check(factory->CreateInstance(nullptr, IID__ChartServiceClient, reinterpret_cast<void**>(&control_)), "create");
    factory->Release();
    IConnectionPointContainer* container = nullptr;
    Check(control_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)), "cpc");
    Check(container->FindConnectionPoint(DIID___ChartServiceClient, &point_), "cp");
    container->Release();
    Check(point_->Advise(this, &cookie_), "Advise");

    ticker_ = SysAllocString(L"IBM");
    debug_ = SysAllocString(std::wstring(kDebugLength, L'x').c_str());
    const BSTR server = SysAllocString(L"127.0.0.1");
    const BSTR user = SysAllocString(std::wstring(36, L'u').c_str());
    const BSTR cookie = SysAllocString(L"");
    Check(control_->Connect(server, port), "Connect");
    PumpWhile([&] { return !connected_; });
    Check(control_->Login(user, user, cookie), "Login");
    PumpWhile([&] { return !logged_in_; });
    SysFreeString(server);
    SysFreeString(user);
    SysFreeString(cookie);
  }
  ~Host() {
    point_->Unadvise(cookie_);
    point_->Release();
    control_->Disconnect();
    control_->Release();
    SysFreeString(ticker_);
    SysFreeString(debug_);
  }

  Result Run(Work work, int rows, double seconds) {
    work_ = work;
    rows_ = rows;
    trial_.Begin(seconds);
    Ask();
    PumpWhile([&] { return trial_.running; });
    return {trial_.Rate(), trial_.done, trial_.CpuSeconds()};
  }

  IFACEMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    switch (id) {
      case moravex::events::kConnected: connected_ = true; break;
      case moravex::events::kLoggedIn: logged_in_ = true; break;
      case moravex::events::kGotFullVantrelData: {
        const VARIANTARG& arg = params->rgvarg[0];
        _ADORecordset* set = nullptr;
        if (arg.vt != (VT_BYREF | VT_DISPATCH) || *arg.ppdispVal == nullptr ||
            FAILED((*arg.ppdispVal)->QueryInterface(kIidRecordset, reinterpret_cast<void**>(&set)))) {
          Die("GotFullVantrelData without a record set");
        }
        trial_.sum += Walk(set);
        set->Release();
        if (trial_.Next()) Ask();
        break;
      }
      case moravex::events::kGotPreviousSessionsHighPrice:
        trial_.sum += params->rgvarg[0].fltVal;
        if (trial_.Next()) Ask();
        break;
      case moravex::events::kGotDebugMessage: {
        const BSTR text = params->rgvarg[0].bstrVal;
        for (UINT i = 0; i < SysStringLen(text); ++i) trial_.sum += text[i];
        if (trial_.Next()) Ask();
        break;
      }
      case moravex::events::kError: Die("Error event", params->rgvarg[1].lVal);
      case moravex::events::kDisconnected: Die("Disconnected event");
      case moravex::events::kTimeout: Die("Timeout event", params->rgvarg[0].lVal);
      default: break;
    }
    return S_OK;
  }

 private:
  void Ask() {
    switch (work_) {
      case Work::kPriceChannel: Check(control_->GetFullPriceChannelData(ticker_, rows_), "GetFull"); break;
      case Work::kHighPrice: Check(control_->GetPreviousSessionsHighPrice(ticker_), "GetHigh"); break;
      case Work::kDebug: Check(control_->SendDebugMessage(debug_), "SendDebugMessage"); break;
    }
  }

  _ChartServiceClient* control_ = nullptr;
  IConnectionPoint* point_ = nullptr;
  DWORD cookie_ = 0;
  BSTR ticker_ = nullptr;
  BSTR debug_ = nullptr;
  bool connected_ = false;
  bool logged_in_ = false;
  Work work_ = Work::kDebug;
  int rows_ = 0;
  Trial trial_;
};

// ---------------------------------------------------------------------------
// The minimal client: one socket under WSAAsyncSelect on a message-only window,
// reading what is waiting at each FD_READ and cutting frames out of it.

constexpr UINT kSocketMessage = WM_APP + 7;

class MinimalClient {
 public:
  explicit MinimalClient(USHORT port) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &MinimalClient::Procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"moravex_com_bench.MinimalClient";
    RegisterClassW(&wc);
    window_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const BOOL on = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Die("connect", WSAGetLastError());
    WSAAsyncSelect(socket_, window_, kSocketMessage, FD_READ | FD_CLOSE);
    high_request_ = Frame(kHighPriceType, {' ', ' ', ' ', 'I', 'B', 'M'});
    debug_request_ = Frame(0, std::vector<uint8_t>(kDebugLength, 'x'));
    buffer_.resize(256 * 1024);
  }
  ~MinimalClient() {
    closesocket(socket_);
    DestroyWindow(window_);
  }

  // `drain`: read until WSAEWOULDBLOCK at each notification, as the
  // control's socket does, instead of once.
  Result Run(Work work, int rows, double seconds, bool drain = false) {
    work_ = work;
    drain_ = drain;
    std::vector<uint8_t> payload = {' ', ' ', ' ', 'I', 'B', 'M'};
    for (int i = 0; i < 4; ++i) payload.push_back(static_cast<uint8_t>(static_cast<uint32_t>(rows) >> (8 * i)));
    price_request_ = Frame(5, payload);
    trial_.Begin(seconds);
    Ask();
    PumpWhile([&] { return trial_.running; });
    return {trial_.Rate(), trial_.done, trial_.CpuSeconds()};
  }

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<MinimalClient*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message != kSocketMessage || self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    if (WSAGETSELECTEVENT(lparam) == FD_CLOSE) Die("the server closed");
    self->OnReadable();
    return 0;
  }

  void OnReadable() {
    // One recv of what is waiting; draining goes on until WSAEWOULDBLOCK.
    for (bool first = true; first || drain_; first = false) {
      const int got = recv(socket_, reinterpret_cast<char*>(buffer_.data() + filled_),
                           static_cast<int>(buffer_.size() - filled_), 0);
      if (got <= 0) break;
      filled_ += static_cast<size_t>(got);
    }
    size_t at = 0;
    while (filled_ - at >= kHeader) {
      const size_t length = PayloadLength(buffer_.data() + at);
      if (filled_ - at < kHeader + length) break;
      OnMessage(buffer_[at], buffer_.data() + at + kHeader, length);
      at += kHeader + length;
    }
    if (at > 0) {
      std::memmove(buffer_.data(), buffer_.data() + at, filled_ - at);
      filled_ -= at;
    }
  }

  void OnMessage(uint8_t type, const uint8_t* payload, size_t length) {
    if (type == 5) {
      _ADORecordset* set = ado_.Fill(payload, length);
      trial_.sum += Walk(set);
      set->Release();
    } else if (type == kHighPriceType) {
      float price;
      std::memcpy(&price, payload, sizeof price);
      trial_.sum += price;
    } else if (type == 0) {
      wchar_t text[kDebugLength];
      const int n = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(payload), static_cast<int>(length),
                                        text, kDebugLength);
      for (int i = 0; i < n; ++i) trial_.sum += text[i];
    } else {
      return;
    }
    if (trial_.Next()) Ask();
  }

  void Ask() {
    const std::vector<uint8_t>& request = work_ == Work::kPriceChannel ? price_request_
                                          : work_ == Work::kHighPrice  ? high_request_
                                                                       : debug_request_;
    send(socket_, reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size()), 0);
  }

  HWND window_ = nullptr;
  SOCKET socket_ = INVALID_SOCKET;
  std::vector<uint8_t> buffer_;
  size_t filled_ = 0;
  std::vector<uint8_t> price_request_, high_request_, debug_request_;
  Work work_ = Work::kDebug;
  bool drain_ = false;
  AdoFiller ado_;
  Trial trial_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string LoadAverage() {
  char text[64] = {};
  if (FILE* file = std::fopen("Z:\\proc\\loadavg", "r")) {
    if (std::fgets(text, sizeof text, file) == nullptr) text[0] = 0;
    std::fclose(file);
  }
  std::string s(text);
  return s.substr(0, s.find(' ', s.find(' ', s.find(' ') + 1) + 1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: moravex_com_bench OCX_PATH [TRIALS] [MILLISECONDS_PER_TRIAL] [FIGURE]\n");
    return 2;
  }
  const int trials = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  const double seconds = (argc > 3 ? std::max(10, std::atoi(argv[3])) : 300) / 1000.0;
  // Only the figures whose name holds this text, for profiling one of them.
  const std::string only = argc > 4 ? argv[4] : "";
  Check(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx");
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) Die("WSAStartup");
  const HMODULE library = LoadLibraryA(argv[1]);
  if (library == nullptr) Die("LoadLibrary of the control", static_cast<long>(GetLastError()));
  SYSTEM_INFO system;
  GetNativeSystemInfo(&system);
  {
    Server server;
    Host host(library, server.Port());
    MinimalClient minimal(server.Port());
    std::printf(
        "COM path under Wine, %u-bit: %lu CPUs, load average %s; median of %d trials of %.0f ms, control and\n"
        "minimal client alternating. Ratio: the control's rate over the minimal client's (higher is better).\n\n",
        static_cast<unsigned>(sizeof(void*) * 8), system.dwNumberOfProcessors, LoadAverage().c_str(), trials,
        seconds * 1000);
    std::printf("| Figure | Control | Minimal client | Ratio | Goal |\n|---|---|---|---|---|\n");
    struct Figure {
      const char* name;
      Work work;
      int rows;
      double goal;
    };
    std::vector<Figure> figures;
    for (const int rows : kRowCounts) figures.push_back({"price-channel answer", Work::kPriceChannel, rows, 0.9});
    figures.push_back({"previous-session price asked again from its event", Work::kHighPrice, 0, 0.95});
    figures.push_back({"debug echo of 32 bytes asked again from its event", Work::kDebug, 0, 0.95});
    const auto median_rate = [](const std::vector<Result>& results) {
      std::vector<double> rates;
      for (const Result& r : results) rates.push_back(r.rate);
      return Median(rates);
    };
    // CPU time per operation over all trials of a side.
    const auto cpu_per = [](const std::vector<Result>& results) {
      double cpu = 0;
      long done = 0;
      for (const Result& r : results) {
        cpu += r.cpu;
        done += r.done;
      }
      return cpu / static_cast<double>(done);
    };
    const auto verdict = [](double ratio, double goal) { return ratio >= goal ? "met" : "**missed**"; };
    for (const Figure& figure : figures) {
      if (std::string(figure.name).find(only) == std::string::npos) continue;
      // Warm every side up: ADO's heap, the sockets' buffers, the pages.
      host.Run(figure.work, figure.rows, seconds / 4);
      minimal.Run(figure.work, figure.rows, seconds / 4);
      minimal.Run(figure.work, figure.rows, seconds / 4, true);
      std::vector<Result> control, baseline, draining;
      for (int t = 0; t < trials; ++t) {
        // Each side's place in the round moves, so drift over a round is shared.
        for (int k = 0; k < 3; ++k) {
          switch ((t + k) % 3) {
            case 0: control.push_back(host.Run(figure.work, figure.rows, seconds)); break;
            case 1: baseline.push_back(minimal.Run(figure.work, figure.rows, seconds)); break;
            default: draining.push_back(minimal.Run(figure.work, figure.rows, seconds, true)); break;
          }
        }
      }
      const double wall_ratio = median_rate(control) / median_rate(baseline);
      const double cpu_control = cpu_per(control), cpu_baseline = cpu_per(baseline);
      const double cpu_draining = cpu_per(draining);
      const double cpu_ratio = cpu_baseline / cpu_control;
      char name[96];
      if (figure.work == Work::kPriceChannel) {
        std::snprintf(name, sizeof name, "%s, %d rows", figure.name, figure.rows);
      } else {
        std::snprintf(name, sizeof name, "%s", figure.name);
      }
      std::printf("| %s, wall time | %.3f ms | %.3f ms | %.2f | >= %.2f, %s |\n", name, 1000 / median_rate(control),
                  1000 / median_rate(baseline), wall_ratio, figure.goal, verdict(wall_ratio, figure.goal));
      std::printf("| the same, client thread's CPU per answer | %.3f ms | %.3f ms | %.2f | >= %.2f, %s |\n",
                  1000 * cpu_control, 1000 * cpu_baseline, cpu_ratio, figure.goal, verdict(cpu_ratio, figure.goal));
      std::printf("| the same, minimal client reading until WSAEWOULDBLOCK (CPU) | %.3f ms | %.3f ms | %.2f | |\n",
                  1000 * cpu_control, 1000 * cpu_draining, cpu_draining / cpu_control);
      std::fflush(stdout);
    }
  }
  WSACleanup();
  CoUninitialize();
  return 0;
}
