// A demanding host of MORAVEX1.ocx, driven by a seed against moravex-sim
// (started by host_soak.sh): random valid and invalid calls, message pumps
// inside random events, controls and sinks released and re-created (inside
// events too), and faults the simulator is told to inject on each connection.
// After every step: each request ended at most once, in its answer, Timeout,
// Error or a reset, and none outlives its time-out; no event reached a sink
// that was unadvised or whose control the host had released. At the end the
// library may unload, and handles and memory are back where they were after
// the warm-up.
//   host_soak OCX PORT SEED SECONDS
#include "windows/com/windows_headers.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/windows/control/control_test_support.h"
#include "tests/support/request_names.h"

namespace moravex::windows::test {
namespace {

using moravex::com::ComPtr;

constexpr HRESULT kNotConnected = 0x80040000, kInvalidUidAndPw = 0x80040001, kInvalidTicker = 0x80040002,
                  kInvalidDate = 0x80040003, kInternalError = 0x80040004, kNotLoggedIn = 0x80040005,
                  kAlreadyConnected = 0x80040006, kAlreadyLoggedIn = 0x80040007, kRequestPending = 0x80040008;
// Request kinds are the message types; 0 stands for the connect, which has no message.
constexpr int kConnect = 0, kLogin = 1, kKinds = 12;
// Supervision group of each kind: connect/login, data requests, session information.
constexpr int kGroup[kKinds] = {0, 0, 2, 2, 2, 1, 1, 2, 2, 2, 2, 2};
// TimeoutTypes value -> kind, answer DISPID -> kind.
constexpr int kTimeoutKind[12] = {0, 1, 5, 6, 2, 3, 4, 7, 8, 9, 10, 11};
int AnswerKind(DISPID id) {
  static const int kinds[19] = {-1, -1, -1, -1, -1, -1, -1, -1, 2, 3, 4, 5, 6, -1, 7, 8, 9, 10, 11};
  return id >= 0 && id < 19 ? kinds[id] : -1;
}
const wchar_t* const kTickers[] = {L"ABC", L"MSFT", L"", L"ZZZZZZ", L" Q "};

// A BSTR argument for the length of a call.
struct Arg {
  explicit Arg(const std::wstring& text) : value(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Arg() { SysFreeString(value); }
  BSTR Get() const { return value; }
  BSTR value;
};

struct Counts {
  long sessions = 0, calls = 0, events = 0, faults = 0, pumps = 0, answers = 0, timeouts = 0, errors = 0, resets = 0,
       released = 0, controls = 0, sinks = 0;
};

// What a sink may still receive: events while advised; after its control's
// last release by the host, only the rest of the events being fired then.
struct SinkState {
  bool advised = true;
  bool released = false;  // with its control, rather than unadvised
  bool dropped = false;   // the control no longer holds it
  std::multiset<DISPID> grace;
};
struct Watched {
  ComPtr<RecordingSink> sink;
  std::shared_ptr<SinkState> state;
  DWORD cookie = 0;
};

enum class Link { kClosed, kConnecting, kConnected };

// One control the host holds, and what the host knows of its requests.
struct Slot {
  ComPtr<_ChartServiceClient> control;
  ComPtr<IConnectionPoint> point;
  Watched main;                // the sink this model follows
  std::vector<Watched> extra;  // advised and unadvised at random
  std::vector<DISPID> firing;  // events the main sink is inside, outermost first
  Link link = Link::kClosed;
  bool logged_in = false, broken = false;
  int errors_in_a_row = 0;
  bool pending[kKinds] = {};
  ULONGLONG restarted[3] = {};
  LONG interval[3] = {5000, 5000, 5000};
};

class Soak {
 public:
  Soak(HMODULE library, int port, unsigned seed) : library_(library), port_(port), seed_(seed), random_(seed) {}
  int Run(ULONGLONG seconds);

 private:
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  void Fail(const std::string& what) {
    if (failure_.empty()) failure_ = what;
  }
  Watched NewSink(int slot);
  void Create(int slot);
  void Release(Slot& s);
  void AdviseExtra(Slot& s, int slot);
  void UnadviseExtra(Slot& s);
  void Reset(Slot& s) {
    for (bool& p : s.pending) counts_.resets += p, p = false;
    s.logged_in = s.broken = false;
  }
  void Started(Slot& s, int kind) {
    s.pending[kind] = true;
    s.restarted[kGroup[kind]] = GetTickCount64();
  }
  HRESULT Request(Slot& s, int kind, bool valid);
  void Expect(Slot& s, const char* call, HRESULT hr, std::initializer_list<HRESULT> allowed);
  void RandomCall(Slot& s);
  void OnEvent(int slot, DISPID id, DISPPARAMS* params);
  void ProbeAfterError(Slot& s);
  void Check();
  void ReleaseAll();
  bool Measure(DWORD& handles, SIZE_T& bytes);

  HMODULE library_;
  int port_;
  unsigned seed_;
  std::mt19937 random_;
  Slot slots_[2];
  std::vector<Watched> retired_;  // unadvised sinks, watched for late events
  Counts counts_;
  std::string failure_;
  int depth_ = 0;
  bool probing_ = false;
};

Watched Soak::NewSink(int slot) {
  Watched w{ComPtr<RecordingSink>::Attach(new RecordingSink()), std::make_shared<SinkState>(), 0};
  RecordingSink* sink = w.sink.Get();
  w.sink->on_event = [this, slot, sink, state = w.state](DISPID id, DISPPARAMS* params) {
    sink->events.clear();
    if (!state->advised) {
      // A control released inside an event lives until the notification in
      // progress is done, and may still fire from it; never once it has let
      // its sinks go.
      if (state->released && !state->dropped) return;
      auto grace = state->grace.find(id);
      if (grace == state->grace.end()) {
        return Fail("event " + std::to_string(id) + " reached a sink " +
                    (state->released ? "of a control the host had released" : "after Unadvise"));
      }
      state->grace.erase(grace);
    } else if (slots_[slot].main.sink.Get() == sink) {
      OnEvent(slot, id, params);
    }
  };
  ++counts_.sinks;
  return w;
}

void Soak::Create(int slot) {
  Slot& s = slots_[slot];
  s = Slot();
  s.main = NewSink(slot);
  const HRESULT hr = CreateThroughTheOcx(library_, s.main.sink->Identity(), s.control, &s.main.cookie);
  ComPtr<IConnectionPointContainer> container;
  if (FAILED(hr) || FAILED(s.control.As(container)) ||
      FAILED(container->FindConnectionPoint(DIID___ChartServiceClient, s.point.Put()))) {
    return Fail("no control from the class factory");
  }
  ++counts_.controls;
  for (int g = 0; g < 3; ++g) s.interval[g] = 200 + Pick(1300);
  s.control->put_LoginAndConnectTimeout(s.interval[0]);
  s.control->put_DataRequestTimeout(s.interval[1]);
  s.control->put_SessionInfoTimeout(s.interval[2]);
}

// The host's last reference goes, the sinks' with it (they stay watched).
void Soak::Release(Slot& s) {
  if (!s.control) return;
  for (bool p : s.pending) counts_.released += p;
  s.extra.push_back(s.main);
  for (Watched& w : s.extra) {
    w.state->advised = false;
    w.state->released = true;
    w.state->grace.insert(s.firing.begin(), s.firing.end());
    retired_.push_back(w);
  }
  s.extra.clear();
  s.main = Watched();
  s.point.Reset();
  s.control.Reset();
  s.link = Link::kClosed;
  std::fill(std::begin(s.pending), std::end(s.pending), false);
}

void Soak::AdviseExtra(Slot& s, int slot) {
  Watched w = NewSink(slot);
  if (s.point->Advise(w.sink->Identity(), &w.cookie) != S_OK) return Fail("Advise refused");
  s.extra.push_back(w);
}

void Soak::UnadviseExtra(Slot& s) {
  if (s.extra.empty()) return;
  const size_t i = static_cast<size_t>(Pick(static_cast<int>(s.extra.size())));
  Watched w = s.extra[i];
  s.extra.erase(s.extra.begin() + static_cast<std::ptrdiff_t>(i));
  w.state->advised = false;
  if (s.point->Unadvise(w.cookie) != S_OK) Fail("Unadvise refused");
  retired_.push_back(w);
}

// A result the host's knowledge allows. A socket that failed in a send is
// gone before its Disconnected comes: NotConnected and Connect are fine then.
void Soak::Expect(Slot& s, const char* call, HRESULT hr, std::initializer_list<HRESULT> allowed) {
  ++counts_.calls;
  if (hr == kInternalError && s.link == Link::kConnected) s.broken = true;
  for (HRESULT a : allowed) {
    if (hr == a || (s.broken && hr == kNotConnected) || (probing_ && hr == kRequestPending)) return;
  }
  char text[160];
  std::snprintf(text, sizeof text, "%s returned %08lx (link %d, logged in %d)", call, static_cast<unsigned long>(hr),
                static_cast<int>(s.link), s.logged_in);
  Fail(text);
}

HRESULT Soak::Request(Slot& s, int kind, bool valid) {
  _ChartServiceClient* c = s.control.Get();
  const bool up = s.link == Link::kConnected;
  const bool bad_ticker = !valid && (kind == 5 || kind == 6) && Chance(0.5);
  Arg ticker(bad_ticker ? L"TOOLONG" : kTickers[Pick(5)]);
  Arg stamp(!valid && kind == 6 ? L"not a date" : L"12/08/2026 10:15:00");
  HRESULT hr = E_FAIL, ok = bad_ticker ? kInvalidTicker : !valid && kind == 6 ? kInvalidDate : S_OK;
  if (kind == kLogin) {
    const std::wstring user = valid || Chance(0.5) ? L"demo-user-00000000000000000000000000" : L"short";
    Arg id(user), password(valid ? L"demo-password-0000000000000000000000" : std::wstring(36, L'x'));
    Arg cookie(L"");
    hr = c->Login(id.Get(), password.Get(), cookie.Get());
    ok = user.size() == 36 ? S_OK : kInvalidUidAndPw;
    Expect(s, "Login", hr,
           {!up            ? kNotConnected
            : s.logged_in  ? kAlreadyLoggedIn
            : s.pending[1] ? kRequestPending
                           : ok,
            kInternalError});
  } else {
    switch (kind) {
      case 2: hr = c->GetSessionDateTime(); break;
      case 3: hr = c->GetSessionDate(); break;
      case 4: hr = c->GetSessionTime(); break;
      case 5: hr = c->GetFullPriceChannelData(ticker.Get(), Pick(500) - 20); break;
      case 6: hr = c->GetPriceChannelDataUpdates(ticker.Get(), stamp.Get()); break;
      case 7: hr = c->GetPreviousSessionsLastAverageVantrelPrice(ticker.Get()); break;
      case 8: hr = c->GetPreviousSessionsHighPrice(ticker.Get()); break;
      case 9: hr = c->GetPreviousSessionsLowPrice(ticker.Get()); break;
      case 10: hr = c->GetPreviousSessionsClosingPrice(ticker.Get()); break;
      default: hr = c->GetPreviousSessionsSupportAndResistancePrices(ticker.Get()); break;
    }
    Expect(s, kind == 0 ? "Connect" : kRequestMethods[static_cast<size_t>(kind)], hr,
           {!up               ? kNotConnected
            : !s.logged_in    ? kNotLoggedIn
            : s.pending[kind] ? kRequestPending
                              : ok,
            kInternalError});
  }
  if (hr == S_OK) Started(s, kind);
  return hr;
}

std::wstring RandomFault(std::mt19937& random) {
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const std::wstring types = std::to_wstring(1 + pick(11)) + (pick(2) ? L"," + std::to_wstring(1 + pick(11)) : L"");
  switch (pick(12)) {
    case 0: return L"delay " + std::to_wstring(50 + pick(1500)) + L":" + types;
    case 1: return L"never " + types;
    case 2: return L"chunk " + std::to_wstring(1 + pick(7)) + L":" + types;
    case 3: return L"close-mid " + types;
    case 4: return L"bogus-length " + std::wstring(pick(2) ? L"100001" : pick(2) ? L"-1" : L"9") + L":" + types;
    case 5: return L"empty " + types;
    case 6: return L"short " + std::to_wstring(pick(7)) + L":" + types;
    case 7: return L"tail " + std::to_wstring(1 + pick(30)) + L":" + types;
    case 8: return L"login-refuse 7:No entry";
    case 9: return L"login-malformed";
    case 10: return L"push-debug tick:" + std::to_wstring(20 + pick(200));
    default: return L"reset";
  }
}

// One call the host makes, at the top level or inside an event handler.
void Soak::RandomCall(Slot& s) {
  const bool up = s.link == Link::kConnected;
  // Mostly on towards a logged-in session; anything goes otherwise.
  int r = Pick(100);
  if (s.link == Link::kClosed && Chance(0.5)) r = 0;
  if (up && !s.logged_in && !s.pending[kLogin] && Chance(0.5)) r = 10;
  if (r < 10) {
    const int port = Chance(0.9) ? port_ : Chance(0.5) ? 1 : 0;  // 1: refused; 0: refused by the socket
    Arg host(Chance(0.15) ? L"localhost" : L"127.0.0.1");
    const HRESULT hr = s.control->Connect(host.Get(), port);
    Expect(s, "Connect", hr, {up && !s.broken ? kAlreadyConnected : port ? S_OK : kInternalError});
    if (hr != kAlreadyConnected) Reset(s), s.link = hr == S_OK ? Link::kConnecting : Link::kClosed;
    if (hr == S_OK) Started(s, kConnect);
  } else if (r < 24) {
    Request(s, kLogin, Chance(0.9));
  } else if (r < 70) {
    Request(s, 2 + Pick(10), Chance(0.9));
  } else if (r < 84) {
    const bool fault = Chance(0.7);
    Arg text(fault ? L"!sim " + RandomFault(random_) : L"hello");
    const HRESULT hr = s.control->SendDebugMessage(text.Get());
    Expect(s, "SendDebugMessage", hr, {up ? S_OK : kNotConnected, kInternalError});
    counts_.faults += fault && hr == S_OK;
  } else if (r < 90) {
    const HRESULT hr = s.control->Disconnect();
    Expect(s, "Disconnect", hr, {up ? S_OK : kNotConnected, kInternalError});
    if (hr == S_OK) Reset(s), s.link = Link::kClosed;
  } else {
    VARIANT_BOOL connected = 0, logged_in = 0;
    s.control->Connected(&connected);
    s.control->LoggedIn(&logged_in);
    ++counts_.calls;
    if ((logged_in != 0) != s.logged_in) Fail("LoggedIn() disagrees with the events");
    if (connected && s.link == Link::kClosed) Fail("Connected() while closed");
    if (!connected && s.link == Link::kConnected && !s.broken) Fail("not Connected() after Connected");
  }
}

void Soak::OnEvent(int slot, DISPID id, DISPPARAMS* params) {
  Slot& s = slots_[slot];
  ++counts_.events;
  const int answer = AnswerKind(id);
  auto end = [&](int kind, long& count, const char* what) {
    if (!s.pending[kind]) Fail(std::string(what) + " for kind " + std::to_string(kind) + ", which is not pending");
    s.pending[kind] = false;
    ++count;
  };
  if (id == 2 || id == 4) {  // Connected, ConnectionFailed
    if (s.link != Link::kConnecting) Fail("connection event " + std::to_string(id) + " without a connect");
    counts_.answers += s.pending[kConnect];
    s.pending[kConnect] = false;
    if (id == 2) s.link = Link::kConnected, ++counts_.sessions;
    if (id == 4) Reset(s), s.link = Link::kClosed;
  } else if (id == 3) {
    if (s.link != Link::kConnected) Fail("Disconnected without a connection");
    Reset(s);
    s.link = Link::kClosed;
  } else if (id == 5 || id == 6) {
    end(kLogin, counts_.answers, "login answer");
    s.logged_in = id == 5;
  } else if (id == 13) {
    const LONG type = params->rgvarg[0].lVal;
    if (type < 0 || type > 11) return Fail("Timeout of an unknown type");
    end(kTimeoutKind[type], counts_.timeouts, "Timeout");
  } else if (answer > 0) {
    end(answer, counts_.answers, "answer");
    if ((id == 11 || id == 12) && Chance(0.1)) {
      IDispatch** set = params->rgvarg[0].ppdispVal;  // the host clears the argument
      if (*set != nullptr) (*set)->Release(), *set = nullptr;
    }
  } else if (id == 7) {
    if (s.link != Link::kConnected) Fail("GotDebugMessage without a connection");
  } else if (id == 1) {
    ++counts_.errors;
    ProbeAfterError(s);
    // A host gives up on a server that keeps failing (a probe asks again each time).
    if (++s.errors_in_a_row >= 3 && s.link == Link::kConnected) {
      Expect(s, "Disconnect", s.control->Disconnect(), {S_OK, kInternalError});
      Reset(s), s.link = Link::kClosed;
    }
  }
  if (id != 1) s.errors_in_a_row = 0;
  if (depth_ >= 3 || !s.control) return;
  ++depth_;
  s.firing.push_back(id);
  const int r = Pick(100);
  if (r < 20) {
    DoEvents(), ++counts_.pumps;
  } else if (r < 28) {
    const ULONGLONG until = GetTickCount64() + 10 + Pick(80);  // a modal loop
    PumpUntil([&] { return GetTickCount64() >= until; }), ++counts_.pumps;
  } else if (r < 36) {
    const int kind = 2 + Pick(10);  // a request, and a wait for how it ends
    if (Request(s, kind, true) == S_OK) {
      PumpUntil([&] { return !s.control || !s.pending[kind]; }, static_cast<DWORD>(s.interval[kGroup[kind]]) + 2000);
      ++counts_.pumps;
    }
  } else if (r < 39) {
    Release(s);
  } else if (r < 42) {
    Chance(0.5) ? AdviseExtra(s, slot) : UnadviseExtra(s);
  } else if (r < 50) {
    RandomCall(s);
  }
  if (!s.firing.empty()) s.firing.pop_back();
  --depth_;
}

// Error names no request: the host asks again for each one it still counts
// as pending. At most one was ended (that call is accepted); none only when a
// price-channel answer failed, which stays pending until its Timeout.
void Soak::ProbeAfterError(Slot& s) {
  int ended = 0;
  for (int kind = 1; kind < kKinds; ++kind) {
    if (!s.pending[kind] || s.link != Link::kConnected) continue;
    s.pending[kind] = false;
    probing_ = true;
    const HRESULT hr = Request(s, kind, true);
    probing_ = false;
    if (hr == kRequestPending) s.pending[kind] = true;
    ended += hr != kRequestPending;
  }
  if (ended > 1) Fail("one Error ended " + std::to_string(ended) + " requests");
  if (ended == 0 && !s.pending[5] && !s.pending[6]) Fail("Error without a request it could end");
}

// Between steps: no request outlives its time-out, and the control keeps no
// reference to a sink it no longer calls.
void Soak::Check() {
  const ULONGLONG now = GetTickCount64();
  for (Slot& s : slots_) {
    for (int kind = 0; kind < kKinds && s.control; ++kind) {
      const int g = kGroup[kind];
      if (s.pending[kind] && now > s.restarted[g] + static_cast<ULONGLONG>(s.interval[g]) + 3000) {
        Fail("kind " + std::to_string(kind) + " still pending " + std::to_string(now - s.restarted[g]) + " ms");
      }
    }
  }
  for (size_t i = 0; i < retired_.size(); ++i) {
    retired_[i].sink->AddRef();
    retired_[i].state->dropped = retired_[i].sink->Release() == 1;
    if (!retired_[i].state->dropped) Fail("the control still holds a sink it was told to drop");
  }
  if (retired_.size() > 16) retired_.erase(retired_.begin(), retired_.begin() + 8);
}

void Soak::ReleaseAll() {
  for (Slot& s : slots_) Release(s);
  PumpUntil([] { return false; }, 300);  // lookup threads end, late notifications find nothing
  Check();
  retired_.clear();
}

bool Soak::Measure(DWORD& handles, SIZE_T& bytes) {
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    return false;
  }
  bytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
  // Wine answers GetProcessHandleCount with 0: then the handle values in use are counted.
  if (!GetProcessHandleCount(GetCurrentProcess(), &handles) || handles == 0) {
    DWORD flags = 0;
    for (uintptr_t value = 4; value < (1u << 18); value += 4) {
      handles += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
    }
  }
  return bytes != 0 && handles != 0;
}

long step_now = 0;
unsigned seed_now = 0;

LONG WINAPI ExitOnFault(EXCEPTION_POINTERS* fault) {
  std::printf("FAILED: soak seed=%u step=%ld: exception %08lx at %p\n", seed_now, step_now,
              fault->ExceptionRecord->ExceptionCode, fault->ExceptionRecord->ExceptionAddress);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

int Soak::Run(ULONGLONG seconds) {
  auto can_unload = Export<HRESULT(WINAPI*)()>(library_, "DllCanUnloadNow");
  const ULONGLONG start = GetTickCount64(), end = start + seconds * 1000, warm = start + seconds * 100;
  DWORD handles = 0, last_handles = 0;
  SIZE_T bytes = 0, last_bytes = 0;
  bool warmed = false;
  for (step_now = 0; failure_.empty() && GetTickCount64() < end; ++step_now) {
    const int slot = Pick(2);
    Slot& s = slots_[slot];
    if (!s.control) {
      if (Chance(0.7)) Create(slot);
    } else if (const int r = Pick(100); r < 70) {
      RandomCall(s);
    } else if (r < 76) {
      Chance(0.5) ? AdviseExtra(s, slot) : UnadviseExtra(s);
    } else if (r < 78) {
      Watched old = s.main;  // the model moves to a new sink; no event comes between
      s.main = NewSink(slot);
      if (s.point->Advise(s.main.sink->Identity(), &s.main.cookie) != S_OK) Fail("Advise refused");
      old.state->advised = false;
      s.point->Unadvise(old.cookie);
      retired_.push_back(old);
    } else if (r < 80) {
      Release(s);
    } else {
      const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(Pick(150));
      PumpUntil([&] { return GetTickCount64() >= until; });
    }
    DoEvents();
    Check();
    if (!warmed && GetTickCount64() >= warm && failure_.empty()) {
      ReleaseAll();
      if (!Measure(handles, bytes)) Fail("no handle count or memory figures");
      warmed = true;
    }
  }
  ReleaseAll();
  const HRESULT unload = can_unload();
  if (failure_.empty() && unload != S_OK) Fail("DllCanUnloadNow is not S_OK with everything released");
  if (failure_.empty() && Measure(last_handles, last_bytes)) {
    if (last_handles > handles + 2)
      Fail("handles grew from " + std::to_string(handles) + " to " + std::to_string(last_handles));
    if (last_bytes > bytes + (4u << 20)) {
      Fail("private bytes grew from " + std::to_string(bytes >> 10) + " KiB to " + std::to_string(last_bytes >> 10) +
           " KiB");
    }
  }
  if (!failure_.empty()) {
    std::printf("FAILED: soak seed=%u step=%ld: %s\n", seed_, step_now, failure_.c_str());
    return 1;
  }
  const Counts& c = counts_;
  std::printf(
      "soak seed=%u: %ld s, %ld steps, %ld sessions, %ld calls, %ld events, %ld faults injected, %ld pumps "
      "inside events, %ld controls, %ld sinks; requests ended by %ld answers, %ld Timeout, %ld Error, %ld "
      "resets, %ld releases; handles %lu -> %lu, private KiB %lu -> %lu\n",
      seed_, static_cast<long>((GetTickCount64() - start) / 1000), step_now, c.sessions, c.calls, c.events, c.faults,
      c.pumps, c.controls, c.sinks, c.answers, c.timeouts, c.errors, c.resets, c.released,
      static_cast<unsigned long>(handles), static_cast<unsigned long>(last_handles),
      static_cast<unsigned long>(bytes >> 10), static_cast<unsigned long>(last_bytes >> 10));
  return 0;
}

}  // namespace
}  // namespace moravex::windows::test

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s MORAVEX1.ocx PORT SEED SECONDS\n", argv[0]);
    return 2;
  }
  wchar_t path[MAX_PATH];
  MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, path, MAX_PATH);
  moravex::windows::test::SetOcxPath(path);
  moravex::windows::test::seed_now = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
  SetUnhandledExceptionFilter(moravex::windows::test::ExitOnFault);
  if (FAILED(OleInitialize(nullptr))) return 3;
  HMODULE library = LoadLibraryW(path);
  if (library == nullptr) return 3;
  int result = 0;
  {
    moravex::windows::test::Soak soak(library, std::atoi(argv[2]), moravex::windows::test::seed_now);
    result = soak.Run(std::strtoull(argv[4], nullptr, 10));
  }
  OleUninitialize();
  return result;
}
