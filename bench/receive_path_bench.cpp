// Throughput of the receive path (reassembly, dispatch, decoding into the row
// table) and of request framing, on an in-memory socket.
#include <benchmark/benchmark.h>

#include <cstring>
#include <deque>
#include <vector>

#include "control/chart_service_client.h"
#include "native/memory_table.h"
#include "native/windows_1252.h"

namespace moravex {
namespace {

class MemorySocket final : public SocketComponent {
 public:
  void SetEvents(SocketEvents* events) override { events_ = events; }
  int32_t State() const override { return state_; }
  void Connect(const Text&, int32_t) override { state_ = kSocketConnecting; }
  void Close() override { state_ = kSocketClosed; }
  void SendData(std::span<const uint8_t> bytes) override { sent_ += bytes.size(); }
  int32_t BytesReceived() const override { return static_cast<int32_t>(visible_ - read_); }
  void GetData(std::span<uint8_t> into) override {
    std::memcpy(into.data(), inbound_.data() + read_, into.size());
    read_ += into.size();
  }

  void Establish() {
    state_ = kSocketConnected;
    events_->OnSocketConnect();
  }
  // Delivers `bytes` in notifications of at most `chunk` bytes.
  void Deliver(const std::vector<uint8_t>& bytes, size_t chunk) {
    inbound_ = bytes;
    read_ = 0;
    for (size_t end = chunk; read_ < inbound_.size(); end += chunk) {
      visible_ = std::min(end, inbound_.size());
      events_->OnSocketDataArrival(0);
    }
  }
  size_t sent_ = 0;

 private:
  SocketEvents* events_ = nullptr;
  int32_t state_ = kSocketClosed;
  std::vector<uint8_t> inbound_;
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

class CountingEvents final : public ChartServiceEvents {
 public:
  void Error(int32_t, const Text&) override {}
  void Connected() override {}
  void Disconnected(const Text&) override {}
  void ConnectionFailed() override {}
  void LoggedIn() override {}
  void LoginFailed(int32_t, const Text&) override {}
  void GotDebugMessage(const Text&) override { ++messages; }
  void GotSessionDateTime(const Text&) override {}
  void GotSessionDate(const Text&) override {}
  void GotSessionTime(const Text&) override {}
  void Timeout(int32_t) override {}
  void GotFullVantrelData(ObjectRef& rows) override {
    messages += static_cast<size_t>(static_cast<RecordSet&>(*rows).RecordCount());
  }
  void GotVantrelDataUpdates(ObjectRef&) override {}
  void GotPreviousSessionsSupportAndResistancePrices(float, float, float, float) override {}
  void GotPreviousSessionsLastAverageVantrelPrice(float) override {}
  void GotPreviousSessionsHighPrice(float) override {}
  void GotPreviousSessionsLowPrice(float) override {}
  void GotPreviousSessionsClosingPrice(float) override {}
  size_t messages = 0;
};

struct Bench {
  Bench() {
    auto owned = std::make_unique<MemorySocket>();
    socket = owned.get();
    Components parts;
    parts.winsock1 = std::move(owned);
    parts.tmr_login_and_connect_timeout = std::make_unique<IdleTimer>();
    parts.tmr_data_request_timeout = std::make_unique<IdleTimer>();
    parts.tmr_session_info_timeout = std::make_unique<IdleTimer>();
    parts.record_sets = std::make_shared<MemoryTableFactory>();
    parts.text = std::make_shared<Windows1252Conversion>();
    client = ChartServiceClient::Create(std::move(parts));
    client->SetEvents(std::shared_ptr<ChartServiceEvents>(std::shared_ptr<void>(), &events));
    client->Connect(u"127.0.0.1", 1);
    socket->Establish();
    std::vector<uint8_t> ok = Frame(1, {0, 0, 0, 0, 'O', 'K'});
    client->Login(Text(36, u'u'), Text(36, u'p'), u"");
    socket->Deliver(ok, ok.size());
  }

  static std::vector<uint8_t> Frame(uint8_t type, const std::vector<uint8_t>& payload) {
    const auto n = static_cast<uint32_t>(payload.size());
    std::vector<uint8_t> out(6 + payload.size());
    out[0] = type;
    for (int i = 0; i < 4; ++i) out[2 + i] = static_cast<uint8_t>(n >> (8 * i));
    std::copy(payload.begin(), payload.end(), out.begin() + 6);
    return out;
  }

  MemorySocket* socket;
  CountingEvents events;
  std::shared_ptr<ChartServiceClient> client;
};

// The largest price-channel answer the limit allows (4166 records), delivered
// in network-sized notifications.
void BM_FullPriceChannelAnswer(benchmark::State& state) {
  Bench bench;
  std::vector<uint8_t> payload;
  for (int i = 0; i < 4166; ++i) {
    const char time[9] = "09:30:00";
    payload.insert(payload.end(), time, time + 8);
    for (int k = 0; k < 4; ++k) {
      const float value = 100.0f + static_cast<float>(i) * 0.01f + static_cast<float>(k);
      uint8_t bytes[4];
      std::memcpy(bytes, &value, 4);
      payload.insert(payload.end(), bytes, bytes + 4);
    }
  }
  const std::vector<uint8_t> frame = Bench::Frame(5, payload);
  const auto chunk = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    bench.client->GetFullPriceChannelData(u"IBM", 5000);
    bench.socket->Deliver(frame, chunk);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 4166);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frame.size()));
  state.counters["rows"] = static_cast<double>(bench.events.messages);
}
BENCHMARK(BM_FullPriceChannelAnswer)->Arg(1460)->Arg(65536);

// Many small debug messages in one notification.
void BM_SmallMessages(benchmark::State& state) {
  Bench bench;
  std::vector<uint8_t> stream;
  for (int i = 0; i < 1000; ++i) {
    const auto frame = Bench::Frame(0, std::vector<uint8_t>(32, 'x'));
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  for (auto _ : state) bench.socket->Deliver(stream, stream.size());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1000);
}
BENCHMARK(BM_SmallMessages);

// Request framing: checks, ANSI conversion, frame build and send.
void BM_RequestFraming(benchmark::State& state) {
  Bench bench;
  const std::vector<uint8_t> answer = Bench::Frame(8, {0, 0, 0x80, 0x3F});
  for (auto _ : state) {
    bench.client->GetPreviousSessionsHighPrice(u"IBM");
    bench.socket->Deliver(answer, answer.size());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_RequestFraming);

}  // namespace
}  // namespace moravex
