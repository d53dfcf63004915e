// moravex_feed_bench: the feed engine's cost per delivered value, beside a
// host that drives one control itself with the same polling; and the refresh
// cycle of 1000 topics over pools of 1, 4 and 16 connections.
//
// Both run in process over the same answering socket: every round, each of N
// tickers has its price-channel updates asked for since its last row (one
// pending request at a time, as the protocol allows on one connection) and
// gets one new row; the host keeps the newest price per ticker. The engine
// runs one connection, polls every interval (the round) and its consumer takes
// the changes after each round. Figures are per second of this thread's CPU
// time, medians of 5 trials, engine and host alternating.
//
// The refresh cycle: the Price of 1000 tickers polled as fast as the pool
// allows (interval 0, no pace limit) on the POSIX components against the
// simulator on a thread over loopback TCP, its clock fixed so an updates
// answer carries no rows. The engine's timer never ticks within a trial, so
// nothing goes stale; the cycle is the wall time of 1000 price-channel answers,
// the median of 7 trials, pool sizes alternating, each against the 1-connection
// figure of its trial.
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "feed/feed_control.h"
#include "feed/feed_engine.h"
#include "feed/posix/posix_sources.h"
#include "native/memory_table.h"
#include "native/windows_1252.h"
#include "tools/simulator/embedded_server.h"
#include "tools/simulator/options.h"

namespace moravex::feed {
namespace {

double ThreadSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void PutLong(std::vector<uint8_t>& out, int32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
}

void PutSingle(std::vector<uint8_t>& out, float value) {
  int32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutLong(out, bits);
}

// A server in the socket: every request is answered when the bench pumps;
// an updates request gets the ticker's next row.
class AnsweringSocket final : public SocketComponent {
 public:
  void SetEvents(SocketEvents* events) override { events_ = events; }
  int32_t State() const override { return state_; }
  void Connect(const Text&, int32_t) override { state_ = kSocketConnecting; }
  void Close() override { state_ = kSocketClosed; }
  void SendData(std::span<const uint8_t> bytes) override {
    const uint8_t type = bytes[0];
    std::vector<uint8_t> payload;
    if (type == 1) {
      PutLong(payload, 0);
      payload.insert(payload.end(), {'O', 'K'});
    } else if (type == 3) {
      payload.assign({'1', '2', '/', '0', '8', '/', '2', '0', '2', '6'});
    } else if (type == 5 || type == 6) {
      uint64_t ticker = 0;  // its six bytes
      std::memcpy(&ticker, bytes.data() + 6, 6);
      const int row = rows_[ticker]++;
      char time[16];
      std::snprintf(time, sizeof time, "%02d:%02d:%02d", (row / 3600) % 24, (row / 60) % 60, row % 60);
      payload.insert(payload.end(), time, time + 8);
      const auto price = static_cast<float>(100 + row % 1000);
      for (float value : {price + 1, price - 1, price, 0.5f}) PutSingle(payload, value);
    }
    inbound_.insert(inbound_.end(), {type, 0});
    PutLong(inbound_, static_cast<int32_t>(payload.size()));
    inbound_.insert(inbound_.end(), payload.begin(), payload.end());
  }
  int32_t BytesReceived() const override { return static_cast<int32_t>(inbound_.size() - read_); }
  void GetData(std::span<uint8_t> into) override {
    std::copy_n(inbound_.begin() + static_cast<std::ptrdiff_t>(read_), into.size(), into.begin());
    read_ += into.size();
    if (read_ == inbound_.size()) inbound_.clear(), read_ = 0;
  }
  // The bench's pump delivers whatever still waits, so a posted arrival needs no queue.
  void PostDataArrival() override {}
  // Delivers what waits; false when nothing did.
  bool Pump() {
    if (state_ == kSocketConnecting) {
      state_ = kSocketConnected;
      events_->OnSocketConnect();
      return true;
    }
    if (BytesReceived() == 0 || events_ == nullptr) return false;
    events_->OnSocketDataArrival(BytesReceived());
    return true;
  }

 private:
  SocketEvents* events_ = nullptr;
  int32_t state_ = kSocketClosed;
  std::vector<uint8_t> inbound_;
  size_t read_ = 0;
  std::map<uint64_t, int> rows_;
};

class QuietTimer final : public TimerComponent {
 public:
  void SetTickHandler(std::function<void()> on_tick) override { on_tick_ = std::move(on_tick); }
  int32_t Interval() const override { return interval_; }
  void SetInterval(int32_t milliseconds) override { interval_ = milliseconds; }
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  void Tick() {
    if (enabled_ && on_tick_) on_tick_();
  }

 private:
  std::function<void()> on_tick_;
  int32_t interval_ = 1000;
  bool enabled_ = false;
};

// Every socket the bench made; each owned by its control through a proxy-free pointer.
struct Sockets {
  std::vector<AnsweringSocket*> all;
  void PumpAll() {
    for (bool any = true; any;) {
      any = false;
      for (AnsweringSocket* socket : all) any |= socket->Pump();
    }
  }
};

Components MakeComponents(Sockets& sockets) {
  auto socket = std::make_unique<AnsweringSocket>();
  sockets.all.push_back(socket.get());
  Components components;
  components.winsock1 = std::move(socket);
  components.tmr_login_and_connect_timeout = std::make_unique<QuietTimer>();
  components.tmr_data_request_timeout = std::make_unique<QuietTimer>();
  components.tmr_session_info_timeout = std::make_unique<QuietTimer>();
  components.record_sets = std::make_shared<MemoryTableFactory>();
  components.text = std::make_shared<Windows1252Conversion>();
  return components;
}

std::vector<Text> Tickers(int count) {
  std::vector<Text> tickers;
  for (int i = 0; i < count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "T%d", i);
    tickers.push_back(FromUtf8(name));
  }
  return tickers;
}

class RoundClock final : public FeedClock {
 public:
  int64_t now = 0;
  int64_t SteadyMs() const override { return now; }
  Text WallText() const override { return u"2026-12-08 10:00:00"; }
};

// Values per CPU second through the engine.
double EngineRate(int tickers, int rounds, double& checksum) {
  Sockets sockets;
  auto clock = std::make_shared<RoundClock>();
  QuietTimer* engine_timer = nullptr;
  FeedPlatform platform;
  platform.make_components = [&] { return MakeComponents(sockets); };
  platform.make_timer = [&](const std::string&) {
    auto timer = std::make_unique<QuietTimer>();
    engine_timer = timer.get();
    return timer;
  };
  platform.clock = clock;
  auto profiles = std::make_shared<FixedProfiles>();
  Profile& profile = profiles->profiles[kDefaultProfile];
  profile.user = Text(36, u'U');
  profile.connections = 1;
  profile.pace = 0;
  profile.interval_ms = 1000;
  profile.session_interval_ms = 1000000000;
  auto credentials = std::make_shared<FixedCredentials>();
  credentials->passwords[kDefaultProfile] = Text(36, u'P');
  platform.profiles = profiles;
  platform.credentials = credentials;
  auto engine = FeedEngine::Create(std::move(platform));
  for (const Text& ticker : Tickers(tickers)) engine->Subscribe(std::vector<Text>{ticker, u"Price"});
  sockets.PumpAll();
  size_t values = 0;
  const double start = ThreadSeconds();
  for (int round = 0; round < rounds; ++round) {
    clock->now += 1000;
    engine_timer->Tick();
    sockets.PumpAll();
    for (const FeedEngine::Change& change : engine->TakeChanges()) {
      checksum += std::get<float>(change.value);
      ++values;
    }
  }
  return static_cast<double>(values) / (ThreadSeconds() - start);
}

// The same polling written by hand on one control: each answer names no
// ticker, so the host keeps which one it asked for and asks for the next.
class Host final : public ChartServiceEvents {
 public:
  explicit Host(int tickers) : tickers_(Tickers(tickers)), stamps_(tickers_.size()), prices_(tickers_.size()) {}
  std::shared_ptr<Control> control;
  size_t next = 0;
  size_t values = 0;
  bool logged_in = false;

  void AskNext() {
    if (next < tickers_.size()) {
      const Text& stamp = stamps_[next];
      if (stamp.empty()) {
        control->GetFullPriceChannelData(tickers_[next], 1000);
      } else {
        control->GetPriceChannelDataUpdates(tickers_[next], stamp);
      }
    }
  }
  void Error(int32_t, const Text&) override {}
  void Connected() override { control->Login(Text(36, u'U'), Text(36, u'P'), u""); }
  void Disconnected(const Text&) override {}
  void ConnectionFailed() override {}
  void LoggedIn() override { logged_in = true; }
  void LoginFailed(int32_t, const Text&) override {}
  void GotDebugMessage(const Text&) override {}
  void GotSessionDateTime(const Text&) override {}
  void GotSessionDate(const Text&) override {}
  void GotSessionTime(const Text&) override {}
  void Timeout(int32_t) override {}
  void GotFullVantrelData(ObjectRef& rows) override { Rows(rows); }
  void GotVantrelDataUpdates(ObjectRef& rows) override { Rows(rows); }
  void GotPreviousSessionsSupportAndResistancePrices(float, float, float, float) override {}
  void GotPreviousSessionsLastAverageVantrelPrice(float) override {}
  void GotPreviousSessionsHighPrice(float) override {}
  void GotPreviousSessionsLowPrice(float) override {}
  void GotPreviousSessionsClosingPrice(float) override {}

  double checksum = 0;

 private:
  void Rows(ObjectRef& rows) {
    auto& table = static_cast<RecordSet&>(*rows);
    PriceChannelRow buffer[16];
    PriceChannelRow last{};
    for (size_t got; (got = table.GetRows(buffer)) > 0;) last = buffer[got - 1];
    stamps_[next].assign(last.Time.begin(), last.Time.end());
    if (prices_[next] != last.Price) {
      prices_[next] = last.Price;
      checksum += last.Price;
      ++values;
    }
    ++next;
    AskNext();
  }
  std::vector<Text> tickers_;
  std::vector<Text> stamps_;
  std::vector<float> prices_;
};

double HostRate(int tickers, int rounds, double& checksum) {
  Sockets sockets;
  auto host = std::make_shared<Host>(tickers);
  host->control = Control::Create(MakeComponents(sockets));
  host->control->SetEvents(host);
  host->control->Connect(u"127.0.0.1", 7401);
  sockets.PumpAll();
  host->AskNext();
  sockets.PumpAll();
  const size_t before = host->values;
  const double start = ThreadSeconds();
  for (int round = 0; round < rounds; ++round) {
    host->next = 0;
    host->AskNext();
    sockets.PumpAll();
  }
  const double seconds = ThreadSeconds() - start;
  checksum += host->checksum;
  host->control->SetEvents(nullptr);
  return static_cast<double>(host->values - before) / seconds;
}

// Counts the price-channel answers of a control: each one makes a table.
class CountingTables final : public RecordSetFactory {
 public:
  CountingTables(std::shared_ptr<RecordSetFactory> tables, size_t& count) : tables_(std::move(tables)), count_(count) {}
  std::shared_ptr<RecordSet> Create() override {
    ++count_;
    return tables_->Create();
  }

 private:
  std::shared_ptr<RecordSetFactory> tables_;
  size_t& count_;
};

struct Cycle {
  double wall_ms;
  double client_cpu_ms;  // of this thread, which runs the engine and its loop
};

// Per 1000 price-channel answers, after the first full answer and one update
// of every ticker.
Cycle RefreshCycle(const sim::EmbeddedServer& server, int connections) {
  constexpr size_t kTopics = 1000;
  EventLoop loop;
  auto profiles = std::make_shared<FixedProfiles>();
  Profile& profile = profiles->profiles[kDefaultProfile];
  profile.port = server.port();
  profile.user = FromUtf8(sim::kDemoUser);
  profile.connections = connections;
  profile.interval_ms = 0;
  profile.session_interval_ms = 1000000000;
  profile.pace = 0;
  profile.full_rows = 1;
  auto credentials = std::make_shared<FixedCredentials>();
  credentials->passwords[kDefaultProfile] = FromUtf8(sim::kDemoPassword);
  FeedPlatform platform = MakePosixFeedPlatform(loop, profiles, credentials);
  size_t answers = 0;
  platform.make_components = [&answers, make = platform.make_components] {
    Components components = make();
    components.record_sets = std::make_shared<CountingTables>(components.record_sets, answers);
    return components;
  };
  auto engine = FeedEngine::Create(std::move(platform), FeedOptions{1 << 30, 1 << 30});
  for (const Text& ticker : Tickers(static_cast<int>(kTopics))) engine->Subscribe(std::vector<Text>{ticker, u"Price"});
  const auto after = [&](size_t count) {
    if (!loop.RunUntil([&] { return answers >= count; }, std::chrono::seconds(60))) {
      std::fprintf(stderr, "no answers from the simulator\n");
      std::exit(1);
    }
  };
  after(2 * kTopics);
  const size_t first = answers;
  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = ThreadSeconds();
  after(first + 3 * kTopics);
  const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
  const double cpu_ms = (ThreadSeconds() - cpu_start) * 1000;
  engine->Shutdown();
  const double cycles = static_cast<double>(answers - first) / static_cast<double>(kTopics);
  return {elapsed.count() / cycles, cpu_ms / cycles};
}

void PrintValueCost() {
  std::printf("feed engine beside a host driving the control itself (values per CPU second, medians of 5)\n");
  std::printf("| Tickers | Engine | Host | Ratio |\n|---|---|---|---|\n");
  double checksum = 0;
  for (const int tickers : {10, 100, 1000}) {
    const int rounds = 200000 / tickers;
    std::vector<double> engine, host;
    for (int trial = 0; trial < 5; ++trial) {
      engine.push_back(EngineRate(tickers, rounds, checksum));
      host.push_back(HostRate(tickers, rounds, checksum));
    }
    std::sort(engine.begin(), engine.end());
    std::sort(host.begin(), host.end());
    std::printf("| %d | %.2f M/s | %.2f M/s | %.2f |\n", tickers, engine[2] / 1e6, host[2] / 1e6, engine[2] / host[2]);
  }
  std::printf("(checksum %g)\n", checksum);
}

void PrintRefreshCycle() {
  sim::EmbeddedServer server;
  if (const std::string error = server.Start({"--port", "0", "--clock", "2026-12-08 10:00:00"}); !error.empty()) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    std::exit(1);
  }
  // Each trial runs every pool size in turn; a ratio is taken within a trial,
  // so load that comes and goes on a shared machine moves it less.
  constexpr int kTrials = 7;
  const int pools[] = {1, 4, 16};
  std::vector<double> cycles[std::size(pools)], cpu[std::size(pools)], ratios[std::size(pools)];
  for (int trial = 0; trial < kTrials; ++trial) {
    for (size_t pool = 0; pool < std::size(pools); ++pool) {
      const Cycle cycle = RefreshCycle(server, pools[pool]);
      cycles[pool].push_back(cycle.wall_ms);
      cpu[pool].push_back(cycle.client_cpu_ms);
    }
    for (size_t pool = 0; pool < std::size(pools); ++pool) {
      ratios[pool].push_back(cycles[pool].back() / cycles[0].back());
    }
  }
  const auto median = [](std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  std::printf("refresh cycle of 1000 topics against the simulator (wall time, medians of %d)\n", kTrials);
  std::printf("| Connections | Cycle | Ratio to 1 connection | Client CPU per cycle |\n|---|---|---|---|\n");
  for (size_t pool = 0; pool < std::size(pools); ++pool) {
    std::printf("| %d | %.1f ms | %.2f | %.1f ms |\n", pools[pool], median(cycles[pool]), median(ratios[pool]),
                median(cpu[pool]));
  }
}

// No argument: every figure; "value" or "cycle": that one.
int Main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  double load[3] = {0, 0, 0};
  ::getloadavg(load, 3);
  std::printf("load average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  if (only.empty() || only == "value") PrintValueCost();
  if (only.empty() || only == "cycle") PrintRefreshCycle();
  return 0;
}

}  // namespace
}  // namespace moravex::feed

int main(int argc, char** argv) { return moravex::feed::Main(argc, argv); }
