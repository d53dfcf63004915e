// Every figure of the control beside a minimal baseline measured in the same
// run. The host's handler reads every value it receives; the baselines do the
// same work on their own arrays. Loopback figures talk to moravex_blaster, a
// server process started from the directory of this program.
//
//   moravex_bench [FIGURE...]          all figures, or those numbered
//   moravex_bench --trace-allocations  backtraces of the allocations of one
//                                      steady-state request and answer
//   moravex_bench --profile KIND [S]   the control's side only, for a profiler:
//                                      price<ROWS>, debug32 or roundtrip
#include <execinfo.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/baselines.h"
#include "bench/counting_allocator.h"
#include "client/chart_service_client.h"
#include "native/memory_table.h"
#include "native/windows_1252.h"
#include "posix/posix_components.h"
#include "trace/trace.h"
#include "bench/wire.h"

namespace moravex::bench {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// In-process work is timed on the thread's own CPU clock: on a shared
// machine, time other processes take from it is not the control's.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Keeps the totals observable so no work is optimised away.
volatile double g_sink = 0;
void Consume(const Totals& totals) {
  g_sink = g_sink + totals.values + static_cast<double>(totals.characters) + static_cast<double>(totals.rows);
}

const AnsiTable& Table() { return Windows1252Conversion().AnsiCharacters(); }

// ---------------------------------------------------------------------------
// The host: its handlers read everything, and may ask again from inside.

class Host final : public ChartServiceEvents {
 public:
  ChartServiceClient* client = nullptr;
  Totals totals;
  bool connected = false;
  bool logged_in = false;
  bool session_time = false;
  // Answers still to ask for from inside the answer events.
  uint64_t re_request = 0;
  int32_t pixels = kFullRows;

  void Error(int32_t, const Text& description) override {
    std::fprintf(stderr, "Error event: %s\n", ToUtf8(description).c_str());
  }
  void Connected() override { connected = true; }
  void Disconnected(const Text& reason) override { std::fprintf(stderr, "Disconnected: %s\n", ToUtf8(reason).c_str()); }
  void ConnectionFailed() override { std::fprintf(stderr, "ConnectionFailed\n"); }
  void LoggedIn() override { logged_in = true; }
  void LoginFailed(int32_t, const Text&) override { std::fprintf(stderr, "LoginFailed\n"); }
  void GotDebugMessage(const Text& message) override { AddText(message, totals); }
  void GotSessionDateTime(const Text&) override {}
  void GotSessionDate(const Text&) override {}
  void GotSessionTime(const Text& time) override {
    AddText(time, totals);
    session_time = true;
  }
  void Timeout(int32_t type) override { std::fprintf(stderr, "Timeout %d\n", type); }
  void GotFullVantrelData(ObjectRef& data) override {
    RecordSet& rows = static_cast<RecordSet&>(*data);
    PriceChannelRow chunk[kReadChunk];
    while (const size_t n = rows.GetRows(chunk)) AddRows({chunk, n}, totals);
    ++totals.messages;
    if (re_request > 0) {
      --re_request;
      client->GetFullPriceChannelData(u"IBM", pixels);
    }
  }
  void GotVantrelDataUpdates(ObjectRef&) override {}
  void GotPreviousSessionsSupportAndResistancePrices(float, float, float, float) override {}
  void GotPreviousSessionsLastAverageVantrelPrice(float) override {}
  void GotPreviousSessionsHighPrice(float price) override {
    totals.values += static_cast<double>(price);
    ++totals.messages;
    if (re_request > 0) {
      --re_request;
      client->GetPreviousSessionsHighPrice(u"IBM");
    }
  }
  void GotPreviousSessionsLowPrice(float) override {}
  void GotPreviousSessionsClosingPrice(float) override {}
};

// ---------------------------------------------------------------------------
// In process: the control on an in-memory socket.

class MemorySocket final : public SocketComponent {
 public:
  void SetEvents(SocketEvents* events) override { events_ = events; }
  int32_t State() const override { return state_; }
  void Connect(const Text&, int32_t) override { state_ = kSocketConnecting; }
  void Close() override { state_ = kSocketClosed; }
  void SendData(std::span<const uint8_t> bytes) override { sent += bytes.size(); }
  int32_t BytesReceived() const override { return static_cast<int32_t>(visible_ - read_); }
  void GetData(std::span<uint8_t> into) override {
    std::memcpy(into.data(), inbound_ + read_, into.size());
    read_ += into.size();
  }
  // Nothing pumps here: the loop of the notification under way reads on.
  void PostDataArrival() override {}

  void Establish() {
    state_ = kSocketConnected;
    events_->OnSocketConnect();
  }
  // Delivers the bytes in notifications of at most `chunk` bytes, as reads
  // of that size would.
  void Deliver(std::span<const uint8_t> bytes, size_t chunk) {
    inbound_ = bytes.data();
    read_ = 0;
    for (size_t end = chunk; read_ < bytes.size(); end += chunk) {
      visible_ = std::min(end, bytes.size());
      events_->OnSocketDataArrival(static_cast<int32_t>(visible_ - read_));
    }
    visible_ = read_ = 0;
  }
  size_t sent = 0;

 private:
  SocketEvents* events_ = nullptr;
  int32_t state_ = kSocketClosed;
  const uint8_t* inbound_ = nullptr;
  size_t read_ = 0;
  size_t visible_ = 0;
};

class IdleTimer final : public TimerComponent {
 public:
  void SetTickHandler(std::function<void()>) override {}
  int32_t Interval() const override { return 5000; }
  void SetInterval(int32_t) override {}
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }

 private:
  bool enabled_ = false;
};

inline constexpr size_t kReadSize = 64 * 1024;

// With a loop, the timers are the POSIX ones on it (the loop is not run, so
// they never tick); without, timers that only remember their state.
struct InProcess {
  explicit InProcess(EventLoop* loop = nullptr) {
    auto owned = std::make_unique<MemorySocket>();
    socket = owned.get();
    Components parts;
    parts.winsock1 = std::move(owned);
    const auto timer = [loop](const char* name) -> std::unique_ptr<TimerComponent> {
      if (loop != nullptr) return MakePosixTimer(*loop, name);
      return std::make_unique<IdleTimer>();
    };
    parts.tmr_login_and_connect_timeout = timer("tmrLoginAndConnectTimeout");
    parts.tmr_data_request_timeout = timer("tmrDataRequestTimeout");
    parts.tmr_session_info_timeout = timer("tmrSessionInfoTimeout");
    parts.record_sets = std::make_shared<MemoryTableFactory>();
    parts.text = std::make_shared<Windows1252Conversion>();
    // As a POSIX host: MORAVEX1_TRACE switches the trace on (scripts/trace-bench.sh).
    const char* trace = std::getenv("MORAVEX1_TRACE");
    const char* level = std::getenv("MORAVEX1_TRACE_LEVEL");
    parts.trace = Trace::ForProcess(trace != nullptr ? trace : "", level != nullptr ? level : "",
                                    static_cast<uint64_t>(getpid()));
    client = ChartServiceClient::Create(std::move(parts));
    host.client = client.get();
    client->SetEvents(std::shared_ptr<ChartServiceEvents>(std::shared_ptr<void>(), &host));
    client->Connect(u"127.0.0.1", 1);
    socket->Establish();
    client->Login(Text(36, u'u'), Text(36, u'p'), u"");
    const auto ok = EchoAnswer(1, {});
    socket->Deliver(ok, ok.size());
    if (!host.logged_in) throw std::runtime_error("in-process login failed");
  }

  MemorySocket* socket;
  Host host;
  std::shared_ptr<ChartServiceClient> client;
};

// ---------------------------------------------------------------------------
// Measuring: trials of control and baseline alternate, the median counts.

inline constexpr int kTrials = 5;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

// `run(n)` does n units of work and returns the seconds it took. Returns
// units per second, control first, median of alternating trials.
struct Rates {
  double control;
  double baseline;
  double allocations = 0;  // per unit of the control's work, where counted
};
Rates Compare(const std::function<double(uint64_t)>& control, const std::function<double(uint64_t)>& baseline,
              double trial_seconds = 0.25) {
  // Each side gets enough units for about trial_seconds.
  const auto size_for = [&](const std::function<double(uint64_t)>& run) {
    uint64_t n = 1;
    for (;;) {
      const double s = run(n);
      if (s > 0.02) return std::max<uint64_t>(1, static_cast<uint64_t>(static_cast<double>(n) * trial_seconds / s));
      n *= 4;
    }
  };
  const uint64_t nc = size_for(control);
  const uint64_t nb = size_for(baseline);
  std::vector<double> rc, rb;
  for (int t = 0; t < kTrials; ++t) {
    rc.push_back(static_cast<double>(nc) / control(nc));
    rb.push_back(static_cast<double>(nb) / baseline(nb));
  }
  return {Median(rc), Median(rb)};
}

struct Line {
  std::string figure;
  std::string control;
  std::string baseline;
  double ratio;
  std::string goal;
  bool met;
};
std::vector<Line> g_lines;

std::string Format(double value, const char* unit) {
  char text[64];
  if (value >= 1e9) {
    std::snprintf(text, sizeof text, "%.2f G%s", value / 1e9, unit);
  } else if (value >= 1e6) {
    std::snprintf(text, sizeof text, "%.2f M%s", value / 1e6, unit);
  } else if (value >= 1e3) {
    std::snprintf(text, sizeof text, "%.1f k%s", value / 1e3, unit);
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", value, unit);
  }
  return text;
}

void Report(const std::string& figure, const std::string& control, const std::string& baseline, double ratio,
            const std::string& goal, bool met) {
  g_lines.push_back({figure, control, baseline, ratio, goal, met});
  std::printf("%-64s %16s %16s %7.2f  %-12s %s\n", figure.c_str(), control.c_str(), baseline.c_str(), ratio,
              goal.c_str(),
              goal.empty() || goal == "rate" ? ""
              : met                          ? "met"
                                             : "MISSED");
  std::fflush(stdout);
}

// A rate goal: control / baseline at least `at_least`.
void ReportRate(const std::string& figure, const Rates& rates, const char* unit, double at_least) {
  const double ratio = rates.control / rates.baseline;
  char goal[32];
  std::snprintf(goal, sizeof goal, ">= %.2fx", at_least);
  Report(figure, Format(rates.control, unit), Format(rates.baseline, unit), ratio, goal, ratio >= at_least);
}

// ---------------------------------------------------------------------------
// The blaster process and bare sockets.

std::string ProgramDirectory() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) throw std::runtime_error("cannot find this program");
  std::string dir(path, static_cast<size_t>(n));
  return dir.substr(0, dir.rfind('/'));
}

class Blaster {
 public:
  explicit Blaster(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    const std::string program = ProgramDirectory() + "/moravex_blaster";
    args.insert(args.begin(), program);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    char line[32] = {};
    size_t got = 0;
    while (got < sizeof line - 1) {
      const ssize_t n = read(out[0], line + got, 1);
      if (n <= 0 || line[got] == '\n') break;
      ++got;
    }
    close(out[0]);
    port_ = std::atoi(line);
    if (port_ <= 0) throw std::runtime_error("moravex_blaster did not start");
  }
  ~Blaster() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  Blaster(const Blaster&) = delete;
  Blaster& operator=(const Blaster&) = delete;
  int Port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

int ConnectBare(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("bare connect failed");
  }
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

void SendAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) throw std::runtime_error("bare send failed");
    sent += static_cast<size_t>(n);
  }
}

// The bare receive loop: poll, then 64 KiB reads until one comes back short,
// each handed to the reassembler; until `messages` answers were decoded.
template <class Decoder>
double BareStream(int port, const std::vector<uint8_t>& go, Decoder& decoder, uint64_t messages, Totals& totals) {
  const int fd = ConnectBare(port);
  MinimalReceiver<Decoder> receiver(decoder);
  std::vector<uint8_t> buffer(kReadSize);
  const uint64_t target = totals.messages + messages;
  const auto start = Clock::now();
  SendAll(fd, go);
  while (totals.messages < target) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) throw std::runtime_error("bare stream stalled");
    for (;;) {
      const ssize_t n = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n <= 0) break;
      receiver.Feed(buffer.data(), static_cast<size_t>(n), totals);
      if (static_cast<size_t>(n) < buffer.size()) break;
    }
  }
  const double seconds = Seconds(start);
  close(fd);
  return seconds;
}

// CPU time of this process, to tell whether the client or the server limits
// a loopback stream: a client busy all the time is what is measured.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Busy {
  double cpu = 0;
  double wall = 0;
  double Percent() const { return wall > 0 ? 100 * cpu / wall : 0; }
};

// The same work per second of the client's own CPU time, and how much of the
// wall time the client had a CPU at all.
void ReportBusy(const std::string& figure, const Busy& control, const Busy& bare, double units, const char* unit) {
  char name[128];
  std::snprintf(name, sizeof name, "%s (busy %.0f%% / %.0f%%)", figure.c_str(), control.Percent(), bare.Percent());
  const double c = units / control.cpu, b = units / bare.cpu;
  Report(name, Format(c, unit), Format(b, unit), c / b, "", true);
}

// The control on the POSIX socket and event loop, connected to the blaster.
struct Loopback {
  explicit Loopback(int port, bool login) {
    client = ChartServiceClient::Create(MakePosixComponents(loop, ChartServiceClient::kSocketReadSize));
    host.client = client.get();
    client->SetEvents(std::shared_ptr<ChartServiceEvents>(std::shared_ptr<void>(), &host));
    client->Connect(u"127.0.0.1", port);
    Run([this] { return host.connected; });
    if (login) {
      client->Login(Text(36, u'u'), Text(36, u'p'), u"");
      Run([this] { return host.logged_in; });
    }
  }
  ~Loopback() {
    client->SetEvents(nullptr);
    client->Disconnect();
  }
  Loopback(const Loopback&) = delete;
  Loopback& operator=(const Loopback&) = delete;

  void Run(const std::function<bool()>& done) {
    if (!loop.RunUntil(done, milliseconds(20000))) throw std::runtime_error("loopback run stalled");
  }

  EventLoop loop;
  Host host;
  std::shared_ptr<ChartServiceClient> client;
};

// ---------------------------------------------------------------------------
// The figures.

const std::vector<uint8_t>& PriceFrame(int rows) {
  static std::vector<uint8_t> frames[kFullRows + 1];
  auto& frame = frames[rows];
  if (frame.empty()) frame = Frame(5, PriceChannelPayload(rows));
  return frame;
}

// Control and baseline for `rows`-row answers in process; rates in rows/s.
Rates PriceInProcess(int rows) {
  InProcess p;
  const auto& frame = PriceFrame(rows);
  MinimalPriceDecoder decoder(Table());
  MinimalReceiver<MinimalPriceDecoder> receiver(decoder);
  Totals base;
  const auto control = [&](uint64_t n) {
    const double start = ThreadSeconds();
    for (uint64_t i = 0; i < n; ++i) {
      p.client->GetFullPriceChannelData(u"IBM", rows);
      p.socket->Deliver(frame, kReadSize);
    }
    return ThreadSeconds() - start;
  };
  const auto baseline = [&](uint64_t n) {
    const double start = ThreadSeconds();
    for (uint64_t i = 0; i < n; ++i) {
      for (size_t at = 0; at < frame.size(); at += kReadSize) {
        receiver.Feed(frame.data() + at, std::min(kReadSize, frame.size() - at), base);
      }
    }
    return ThreadSeconds() - start;
  };
  Rates r = Compare(control, baseline);
  const uint64_t before = Allocations();
  control(1000);
  r.allocations = static_cast<double>(Allocations() - before) / 1000;
  if (p.host.totals.rows == 0 || p.host.totals.characters / p.host.totals.rows != base.characters / base.rows) {
    throw std::runtime_error("price answers: control and baseline read different values");
  }
  Consume(p.host.totals);
  Consume(base);
  r.control *= rows;
  r.baseline *= rows;
  return r;
}

void ReportAllocations(const std::string& figure, double per) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", per);
  Report(figure, text, "0", 0, "", true);
}

void Figure1() {
  const Rates r = PriceInProcess(kFullRows);
  ReportRate("1 full price-channel answers, in process", r, "rows/s", 0.5);
  ReportAllocations("1 heap allocations per request and answer", r.allocations);
}

void Figure2() {
  constexpr uint64_t kAnswers = 1500;
  Blaster blaster({"price", std::to_string(kFullRows), std::to_string(kAnswers)});
  MinimalPriceDecoder decoder(Table());
  Totals base;
  const auto go = FullDataRequest();
  std::vector<double> rc, rb;
  Busy busy_control, busy_bare;
  Totals control_totals;
  uint64_t allocations = 0;
  for (int t = 0; t < kTrials; ++t) {
    {
      Loopback c(blaster.Port(), true);
      c.host.re_request = kAnswers - 1;
      const double cpu = CpuSeconds();
      const uint64_t before = Allocations();
      const auto start = Clock::now();
      c.client->GetFullPriceChannelData(u"IBM", kFullRows);
      c.Run([&] { return c.host.totals.messages == kAnswers; });
      const double seconds = Seconds(start);
      allocations += Allocations() - before;
      busy_control.cpu += CpuSeconds() - cpu;
      busy_control.wall += seconds;
      rc.push_back(static_cast<double>(kAnswers * kFullRows) / seconds);
      control_totals = c.host.totals;
      Consume(c.host.totals);
    }
    const double cpu = CpuSeconds();
    const double seconds = BareStream(blaster.Port(), go, decoder, kAnswers, base);
    busy_bare.cpu += CpuSeconds() - cpu;
    busy_bare.wall += seconds;
    rb.push_back(static_cast<double>(kAnswers * kFullRows) / seconds);
  }
  if (control_totals.rows != kAnswers * kFullRows ||
      control_totals.characters / control_totals.rows != base.characters / base.rows) {
    throw std::runtime_error("loopback price answers: control and bare loop read different values");
  }
  Consume(base);
  ReportRate("2 full price-channel answers, loopback TCP", {Median(rc), Median(rb)}, "rows/s", 0.8);
  ReportBusy("2 (diagnostic) per client CPU-second", busy_control, busy_bare,
             static_cast<double>(kTrials * kAnswers * kFullRows), "rows/s");
  ReportAllocations("2 heap allocations per request and answer (POSIX timers)",
                    static_cast<double>(allocations) / (kTrials * kAnswers));
}

// Debug messages of `size` bytes in process; rates in messages/s.
Rates DebugInProcess(size_t size) {
  InProcess p;
  const auto frame = Frame(0, DebugPayload(size));
  // About 64 KiB of messages per delivery, at least one.
  const size_t per_stream = std::max<size_t>(1, kReadSize / frame.size());
  std::vector<uint8_t> stream;
  for (size_t i = 0; i < per_stream; ++i) stream.insert(stream.end(), frame.begin(), frame.end());
  MinimalTextDecoder decoder(Table());
  MinimalReceiver<MinimalTextDecoder> receiver(decoder);
  Totals base;
  const auto control = [&](uint64_t n) {
    const double start = ThreadSeconds();
    for (uint64_t i = 0; i < n; ++i) p.socket->Deliver(stream, kReadSize);
    return ThreadSeconds() - start;
  };
  const auto baseline = [&](uint64_t n) {
    const double start = ThreadSeconds();
    for (uint64_t i = 0; i < n; ++i) {
      for (size_t at = 0; at < stream.size(); at += kReadSize) {
        receiver.Feed(stream.data() + at, std::min(kReadSize, stream.size() - at), base);
      }
    }
    return ThreadSeconds() - start;
  };
  Rates r = Compare(control, baseline);
  if (p.host.totals.characters / p.host.totals.messages != base.characters / base.messages) {
    throw std::runtime_error("debug messages: control and baseline read different text");
  }
  Consume(p.host.totals);
  Consume(base);
  r.control *= static_cast<double>(per_stream);
  r.baseline *= static_cast<double>(per_stream);
  return r;
}

void Figure3() {
  ReportRate("3 debug messages of 32 bytes, in process", DebugInProcess(32), "msg/s", 0.5);
  ReportRate("3 debug messages of 100000 bytes, in process", DebugInProcess(100000), "msg/s", 0.5);

  constexpr uint64_t kMessages = 1500;
  constexpr size_t kSize = 100000;
  Blaster blaster({"debug", std::to_string(kSize), std::to_string(kMessages)});
  MinimalTextDecoder decoder(Table());
  Totals base;
  const auto go = Frame(0, {'g', 'o'});
  std::vector<double> rc, rb;
  Busy busy_control, busy_bare;
  Totals control_totals;
  for (int t = 0; t < kTrials; ++t) {
    {
      Loopback c(blaster.Port(), false);
      const double cpu = CpuSeconds();
      const auto start = Clock::now();
      c.client->SendDebugMessage(u"go");
      c.Run([&] { return c.host.totals.messages == kMessages; });
      const double seconds = Seconds(start);
      busy_control.cpu += CpuSeconds() - cpu;
      busy_control.wall += seconds;
      rc.push_back(static_cast<double>(kMessages) / seconds);
      control_totals = c.host.totals;
      Consume(c.host.totals);
    }
    const double cpu = CpuSeconds();
    const double seconds = BareStream(blaster.Port(), go, decoder, kMessages, base);
    busy_bare.cpu += CpuSeconds() - cpu;
    busy_bare.wall += seconds;
    rb.push_back(static_cast<double>(kMessages) / seconds);
  }
  if (control_totals.messages != kMessages ||
      control_totals.characters / control_totals.messages != base.characters / base.messages) {
    throw std::runtime_error("loopback debug messages: control and bare loop read different text");
  }
  Consume(base);
  ReportRate("3 debug messages of 100000 bytes, loopback TCP", {Median(rc), Median(rb)}, "msg/s", 0.8);
  ReportBusy("3 (diagnostic) per client CPU-second", busy_control, busy_bare, static_cast<double>(kTrials * kMessages),
             "msg/s");
}

// The previous-session high price, asked again from inside each answer.
void PreviousSessionPrice(bool posix_timers) {
  EventLoop loop;
  InProcess p(posix_timers ? &loop : nullptr);
  const auto answer = Frame(8, {0, 0, 0x80, 0x3F});
  p.host.re_request = UINT64_MAX;
  p.client->GetPreviousSessionsHighPrice(u"IBM");
  for (int i = 0; i < 1000; ++i) p.socket->Deliver(answer, kReadSize);
  const auto control = [&](uint64_t n) {
    const double start = ThreadSeconds();
    for (uint64_t i = 0; i < n; ++i) p.socket->Deliver(answer, kReadSize);
    return ThreadSeconds() - start;
  };
  // Baseline: read the single out of the frame, then write the next request
  // (header and 6-character ticker) into a frame buffer and hand it on.
  Totals base;
  size_t sent = 0;
  uint8_t request[12];
  const auto baseline = [&](uint64_t n) {
    const double start = ThreadSeconds();
    for (uint64_t i = 0; i < n; ++i) {
      const uint8_t* volatile in = answer.data();
      if (in[0] == 8 && PayloadLength(in) == 4) {
        float price;
        std::memcpy(&price, in + kHeader, 4);
        base.values += static_cast<double>(price);
        ++base.messages;
        const uint8_t head[6] = {8, 0, 6, 0, 0, 0};
        std::memcpy(request, head, 6);
        std::memcpy(request + 6, "   IBM", 6);
        sent += sizeof request + request[11] - 'M';
      }
    }
    return ThreadSeconds() - start;
  };
  const Rates r = Compare(control, baseline);
  constexpr uint64_t kCounted = 100000;
  const uint64_t before = Allocations();
  control(kCounted);
  const double per = static_cast<double>(Allocations() - before) / kCounted;
  Consume(p.host.totals);
  Consume(base);
  g_sink = g_sink + static_cast<double>(sent + p.socket->sent);
  const std::string timers = posix_timers ? ", POSIX timers" : ", idle timers";
  Report("4 previous-session price, re-asked in its event" + timers, Format(r.control, "req/s"),
         Format(r.baseline, "req/s"), r.control / r.baseline, "rate", true);
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", per);
  Report("4 heap allocations per request and answer" + timers, text, "0", 0, "0", per == 0);
}

void Figure4() {
  PreviousSessionPrice(false);
  PreviousSessionPrice(true);
}

// Request-to-event round trips: GetSessionTime (6 bytes out, 14 back).
void Figure5() {
  Blaster blaster({"echo"});
  constexpr int kBlocks = 5;
  constexpr int kPerBlock = 2000;
  std::vector<double> control_us, bare_us, polled_us;
  uint64_t allocations_before = 0, allocations = 0;
  // The client thread's own CPU time per round trip, apart from waiting.
  double cpu_start = 0, cpu_control = 0, cpu_bare = 0, cpu_polled = 0;
  for (int b = 0; b < kBlocks; ++b) {
    {
      Loopback c(blaster.Port(), true);
      const std::function<bool()> done = [&] { return c.host.session_time; };
      for (int i = 0; i < kPerBlock + 100; ++i) {
        if (i == 100) {
          allocations_before = Allocations();
          cpu_start = ThreadSeconds();
        }
        c.host.session_time = false;
        const auto start = Clock::now();
        c.client->GetSessionTime();
        c.Run(done);
        if (i >= 100) control_us.push_back(Seconds(start) * 1e6);
      }
      cpu_control += ThreadSeconds() - cpu_start;
      allocations += Allocations() - allocations_before;
      Consume(c.host.totals);
    }
    {
      const int fd = ConnectBare(blaster.Port());
      const auto request = Frame(4, {});
      uint8_t answer[64];
      Totals base;
      MinimalTextDecoder decoder(Table());
      for (int i = 0; i < kPerBlock + 100; ++i) {
        if (i == 100) cpu_start = ThreadSeconds();
        const auto start = Clock::now();
        SendAll(fd, request);
        size_t got = 0;
        while (got < 14) {
          const ssize_t n = recv(fd, answer + got, sizeof answer - got, 0);
          if (n <= 0) throw std::runtime_error("bare echo failed");
          got += static_cast<size_t>(n);
        }
        decoder.Answer(answer + kHeader, 8, base);
        if (i >= 100) bare_us.push_back(Seconds(start) * 1e6);
      }
      cpu_bare += ThreadSeconds() - cpu_start;
      close(fd);
      Consume(base);
    }
    {
      // Where the event loop's share goes: the same ping-pong waiting in
      // poll before each recv, as any loop on readiness does.
      const int fd = ConnectBare(blaster.Port());
      const auto request = Frame(4, {});
      uint8_t answer[64];
      for (int i = 0; i < kPerBlock + 100; ++i) {
        if (i == 100) cpu_start = ThreadSeconds();
        const auto start = Clock::now();
        SendAll(fd, request);
        size_t got = 0;
        while (got < 14) {
          pollfd pfd{fd, POLLIN, 0};
          if (poll(&pfd, 1, 10000) <= 0) throw std::runtime_error("bare echo stalled");
          const ssize_t n = recv(fd, answer + got, sizeof answer - got, MSG_DONTWAIT);
          if (n == 0 || (n < 0 && errno != EAGAIN)) throw std::runtime_error("bare echo failed");
          if (n > 0) got += static_cast<size_t>(n);
        }
        if (i >= 100) polled_us.push_back(Seconds(start) * 1e6);
      }
      cpu_polled += ThreadSeconds() - cpu_start;
      close(fd);
    }
  }
  for (const double p : {0.5, 0.99}) {
    const double c = Percentile(polled_us, p);
    const double b = Percentile(bare_us, p);
    char name[80], cs[32], bs[32];
    std::snprintf(name, sizeof name, "5 (diagnostic) bare ping-pong with poll, p%.0f", p * 100);
    std::snprintf(cs, sizeof cs, "%.1f us", c);
    std::snprintf(bs, sizeof bs, "%.1f us", b);
    Report(name, cs, bs, c / b, "", true);
  }
  for (const double p : {0.5, 0.99}) {
    const double c = Percentile(control_us, p);
    const double b = Percentile(bare_us, p);
    char name[80], cs[32], bs[32];
    std::snprintf(name, sizeof name, "5 round trip GetSessionTime, loopback, p%.0f", p * 100);
    std::snprintf(cs, sizeof cs, "%.1f us", c);
    std::snprintf(bs, sizeof bs, "%.1f us", b);
    Report(name, cs, bs, c / b, "<= 1.15x", c / b <= 1.15);
  }
  {
    char cs[32], bs[32];
    const double c = cpu_control * 1e6 / (kBlocks * kPerBlock), b = cpu_bare * 1e6 / (kBlocks * kPerBlock);
    std::snprintf(cs, sizeof cs, "%.2f us", c);
    std::snprintf(bs, sizeof bs, "%.2f us", b);
    Report("5 (diagnostic) client thread CPU per round trip", cs, bs, c / b, "", true);
    const double p = cpu_polled * 1e6 / (kBlocks * kPerBlock);
    std::snprintf(cs, sizeof cs, "%.2f us", p);
    Report("5 (diagnostic) the same, bare ping-pong with poll", cs, bs, p / b, "", true);
  }
  ReportAllocations("5 heap allocations per round trip (loop and timers)",
                    static_cast<double>(allocations) / (kBlocks * kPerBlock));
}

// Resident and resident anonymous (resident less file-backed) KiB.
std::pair<long, long> ResidentKiB() {
  long size = 0, resident = 0, shared = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld %ld", &size, &resident, &shared) != 3) resident = shared = 0;
    std::fclose(f);
  }
  const long page = sysconf(_SC_PAGESIZE) / 1024;
  return {resident * page, (resident - shared) * page};
}

void Figure6() {
  // Resident memory across 10^6 messages: debug texts, prices and 10-row
  // answers in turn, every answer asked for first.
  {
    InProcess p;
    const auto debug = Frame(0, DebugPayload(32));
    const auto price = Frame(8, {0, 0, 0x80, 0x3F});
    const auto& rows = PriceFrame(10);
    const auto run = [&](uint64_t n) {
      for (uint64_t i = 0; i < n; ++i) {
        switch (i % 3) {
          case 0: p.socket->Deliver(debug, kReadSize); break;
          case 1:
            p.client->GetPreviousSessionsHighPrice(u"IBM");
            p.socket->Deliver(price, kReadSize);
            break;
          default:
            p.client->GetFullPriceChannelData(u"IBM", 10);
            p.socket->Deliver(rows, kReadSize);
            break;
        }
      }
    };
    run(100000);
    // The reading and the printing fault their own code in first, so only
    // what the messages did shows.
    char warm[64];
    std::snprintf(warm, sizeof warm, "%ld %ld KiB %.2f", ResidentKiB().first, ResidentKiB().second, 1.0);
    const auto before = ResidentKiB();
    run(1000000);
    const auto after = ResidentKiB();
    Consume(p.host.totals);
    char b[32], a[32];
    std::snprintf(b, sizeof b, "%ld KiB", before.first);
    std::snprintf(a, sizeof a, "%ld KiB", after.first);
    Report("6 resident memory after 10^6 messages (baseline: before)", a, b,
           static_cast<double>(after.first) / static_cast<double>(before.first), "flat", after.first <= before.first);
    std::snprintf(b, sizeof b, "%ld KiB", before.second);
    std::snprintf(a, sizeof a, "%ld KiB", after.second);
    Report("6 of it anonymous (heap, stacks), after vs before", a, b,
           static_cast<double>(after.second) / static_cast<double>(before.second), "flat",
           after.second <= before.second);
  }
  // Time per row by answer size.
  double first = 0, last = 0;
  for (const int rows : {10, 100, 1000, kFullRows}) {
    const Rates r = PriceInProcess(rows);
    const double c = 1e9 / r.control, b = 1e9 / r.baseline;
    if (rows == 10) first = c;
    last = c;
    char name[80], cs[32], bs[32];
    std::snprintf(name, sizeof name, "6 time per row, %d-row answers, in process", rows);
    std::snprintf(cs, sizeof cs, "%.2f ns/row", c);
    std::snprintf(bs, sizeof bs, "%.2f ns/row", b);
    Report(name, cs, bs, c / b, "", true);
  }
  char cs[32];
  std::snprintf(cs, sizeof cs, "%.2fx", first / last);
  Report("6 ns/row at 10 rows over ns/row at 4166 rows", cs, "", first / last, "flat (<= 2x)", first / last <= 2);
}

// Every allocation of one steady-state round of each kind, with its backtrace.
void TraceAllocations() {
  InProcess p;
  const auto high = Frame(8, {0, 0, 0x80, 0x3F});
  const auto debug = Frame(0, DebugPayload(32));
  const auto& rows = PriceFrame(10);
  p.host.re_request = UINT64_MAX;
  p.client->GetPreviousSessionsHighPrice(u"IBM");
  for (int i = 0; i < 1000; ++i) p.socket->Deliver(high, kReadSize);
  p.host.re_request = 0;
  p.socket->Deliver(high, kReadSize);
  for (int i = 0; i < 1000; ++i) {
    p.socket->Deliver(debug, kReadSize);
    p.client->GetFullPriceChannelData(u"IBM", 10);
    p.socket->Deliver(rows, kReadSize);
  }
  void* frames[4];
  backtrace(frames, 4);  // loads the unwinder before tracing starts
  const auto trace = [](const char* what, const std::function<void()>& run) {
    std::fprintf(stderr, "=== %s\n", what);
    const uint64_t before = Allocations();
    g_trace = true;
    run();
    g_trace = false;
    std::fprintf(stderr, "=== %llu allocations\n", static_cast<unsigned long long>(Allocations() - before));
  };
  trace("GetPreviousSessionsHighPrice and its answer", [&] {
    p.client->GetPreviousSessionsHighPrice(u"IBM");
    p.socket->Deliver(high, kReadSize);
  });
  trace("GetFullPriceChannelData and a 10-row answer", [&] {
    p.client->GetFullPriceChannelData(u"IBM", 10);
    p.socket->Deliver(rows, kReadSize);
  });
  trace("a 32-byte debug message", [&] { p.socket->Deliver(debug, kReadSize); });

  // The same on the POSIX socket, event loop and timers.
  Blaster blaster({"echo"});
  Loopback c(blaster.Port(), true);
  const std::function<bool()> done = [&] { return c.host.session_time; };
  const auto round_trip = [&] {
    c.host.session_time = false;
    c.client->GetSessionTime();
    c.Run(done);
  };
  for (int i = 0; i < 1000; ++i) round_trip();
  trace("GetSessionTime and its answer over loopback TCP", round_trip);
}

// Only the control's side of one figure, for about `seconds`, to run under a profiler.
void Profile(const std::string& kind, double seconds) {
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  if (kind.rfind("price", 0) == 0) {
    const int rows = std::atoi(kind.c_str() + 5);
    InProcess p;
    const auto& frame = PriceFrame(std::clamp(rows, 1, kFullRows));
    while (Clock::now() < until) {
      for (int i = 0; i < 1000; ++i) {
        p.client->GetFullPriceChannelData(u"IBM", rows);
        p.socket->Deliver(frame, kReadSize);
      }
    }
    Consume(p.host.totals);
  } else if (kind == "debug32") {
    InProcess p;
    const auto frame = Frame(0, DebugPayload(32));
    std::vector<uint8_t> stream;
    for (int i = 0; i < 1700; ++i) stream.insert(stream.end(), frame.begin(), frame.end());
    while (Clock::now() < until) p.socket->Deliver(stream, kReadSize);
    Consume(p.host.totals);
  } else if (kind == "roundtrip") {
    Blaster blaster({"echo"});
    Loopback c(blaster.Port(), true);
    const std::function<bool()> done = [&] { return c.host.session_time; };
    while (Clock::now() < until) {
      c.host.session_time = false;
      c.client->GetSessionTime();
      c.Run(done);
    }
  } else {
    throw std::runtime_error("--profile price<ROWS> | debug32 | roundtrip");
  }
}

int Main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--trace-allocations") == 0) {
    TraceAllocations();
    return 0;
  }
  if (argc > 2 && std::strcmp(argv[1], "--profile") == 0) {
    Profile(argv[2], argc > 3 ? std::atof(argv[3]) : 5.0);
    return 0;
  }
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) < 0) load[0] = -1;
  std::printf("moravex_bench: %ld cores online (hardware_concurrency %u), load average %.2f\n",
              sysconf(_SC_NPROCESSORS_ONLN), std::thread::hardware_concurrency(), load[0]);
  std::printf("each rate is the median of %d alternating trials of control and baseline\n\n", kTrials);
  std::printf("%-64s %16s %16s %7s  %-12s %s\n", "figure", "control", "baseline", "ratio", "goal", "");
  // Figures named on the command line (1-6), or all of them.
  void (*const figures[])() = {Figure1, Figure2, Figure3, Figure4, Figure5, Figure6};
  for (int f = 1; f <= 6; ++f) {
    bool wanted = argc == 1;
    for (int a = 1; a < argc; ++a) wanted = wanted || std::atoi(argv[a]) == f;
    if (wanted) figures[f - 1]();
  }
  int goals = 0, missed = 0;
  for (const Line& line : g_lines) {
    if (line.goal.empty() || line.goal == "rate") continue;
    ++goals;
    missed += line.met ? 0 : 1;
  }
  std::printf("\n%d of %d goals met\n", goals - missed, goals);
  return 0;
}

}  // namespace
}  // namespace moravex::bench

int main(int argc, char** argv) {
  try {
    return moravex::bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "moravex_bench: %s\n", e.what());
    return 1;
  }
}
