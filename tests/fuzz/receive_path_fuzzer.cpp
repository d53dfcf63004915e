// libFuzzer target: the control, on the deterministic socket and timers, runs
// a script of arrivals cut at arbitrary sizes, timer ticks and method calls;
// after every step the host's events and the control's state must equal the
// reference model's prediction. Any difference aborts with both listed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/chart_service_client.h"
#include "tests/fuzz/fuzz_script.h"
#include "native/memory_table.h"
#include "native/windows_1252.h"
#include "tests/fuzz/observed_event.h"
#include "tests/fuzz/reference_model.h"
#include "tests/support/fake_socket.h"
#include "tests/support/fake_timer.h"

namespace moravex::fuzz {
namespace {

const Script* g_script = nullptr;
// MORAVEX_FUZZ_TRACE=1 lists every step and what the host saw.
const bool g_trace = std::getenv("MORAVEX_FUZZ_TRACE") != nullptr;
size_t g_step = 0;

[[noreturn]] void Fail(const std::string& what, const std::vector<ObservedEvent>* expected = nullptr,
                       const std::vector<ObservedEvent>* actual = nullptr) {
  std::fprintf(stderr, "\n*** receive path mismatch: %s\n", what.c_str());
  if (g_script != nullptr) {
    std::fprintf(stderr, "at step %zu of %zu:\n", g_step, g_script->ops.size());
    for (size_t i = 0; i < g_script->ops.size() && i <= g_step + 1; ++i) {
      std::fprintf(stderr, "  %s%zu %s\n", i == g_step ? ">" : " ", i, Describe(g_script->ops[i]).c_str());
    }
  }
  if (expected != nullptr && actual != nullptr) {
    std::fprintf(stderr, "expected:\n");
    for (const auto& e : *expected) std::fprintf(stderr, "  %s\n", Describe(e).c_str());
    std::fprintf(stderr, "actual:\n");
    for (const auto& e : *actual) std::fprintf(stderr, "  %s\n", Describe(e).c_str());
  }
  std::abort();
}

void Require(bool condition, const std::string& what) {
  if (!condition) Fail(what);
}

// Counts what the control takes from the socket, and where it closes it.
class CountingSocket final : public SocketComponent {
 public:
  explicit CountingSocket(std::unique_ptr<SocketComponent> inner) : inner_(std::move(inner)) {}
  void SetEvents(SocketEvents* events) override { inner_->SetEvents(events); }
  int32_t State() const override { return inner_->State(); }
  void Connect(const Text& host, int32_t port) override { inner_->Connect(host, port); }
  void Close() override {
    closes.push_back(taken);
    inner_->Close();
  }
  void SendData(std::span<const uint8_t> bytes) override { inner_->SendData(bytes); }
  int32_t BytesReceived() const override { return inner_->BytesReceived(); }
  void GetData(std::span<uint8_t> into) override {
    Require(into.size() <= static_cast<size_t>(inner_->BytesReceived()), "read past the waiting bytes");
    inner_->GetData(into);
    taken += into.size();
  }
  void PostDataArrival() override { inner_->PostDataArrival(); }

  uint64_t taken = 0;
  std::vector<uint64_t> closes;

 private:
  std::unique_ptr<SocketComponent> inner_;
};

uint32_t BitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

ObservedRow Observe(const PriceChannelRow& row) {
  ObservedRow out;
  for (size_t k = 0; k < 8; ++k) out.time[k] = row.Time[k];
  out.price_bits = {BitsOf(row.BuyReferencePrice), BitsOf(row.SellReferencePrice), BitsOf(row.Price),
                    BitsOf(row.PriceOffsetPercent)};
  return out;
}

// Reads a record set as a host does: columns, cursor on the first row, a walk
// to the end, then the same rows again through GetRows.
std::vector<ObservedRow> ReadBack(RecordSet& set, bool fresh, std::string& problem) {
  static const char16_t* const kNames[5] = {u"Time", u"BuyReferencePrice", u"SellReferencePrice", u"Price",
                                            u"PriceOffsetPercent"};
  std::vector<ObservedRow> rows;
  try {
    if (set.FieldCount() != 5) problem += "field count; ";
    for (int32_t i = 0; i < 5; ++i) {
      const FieldInfo field = set.Field(i);
      if (Text(field.name) != kNames[i]) problem += "field name; ";
      if (field.type != (i == 0 ? FieldType::Bstr : FieldType::Single)) problem += "field type; ";
    }
    const int32_t count = set.RecordCount();
    if (!fresh) set.MoveFirst();
    if (set.Eof() != (count == 0)) problem += "cursor not on the first row; ";
    while (!set.Eof()) {
      rows.push_back(Observe(set.Row()));
      set.MoveNext();
    }
    if (rows.size() != static_cast<size_t>(count)) problem += "walk and RecordCount differ; ";
    set.MoveFirst();
    std::vector<PriceChannelRow> block(static_cast<size_t>(count) + 1);
    const size_t got = set.GetRows(block);
    if (got != static_cast<size_t>(count)) problem += "GetRows count; ";
    for (size_t i = 0; i < got && i < rows.size(); ++i) {
      if (!(Observe(block[i]) == rows[i])) problem += "GetRows row; ";
    }
    set.MoveFirst();
  } catch (const Failure& failure) {
    problem += "read side failed: " + failure.Description();
  }
  return rows;
}

int32_t CallRequest(ChartServiceClient& client, int type) {
  try {
    switch (type) {
      case 2: client.GetSessionDateTime(); break;
      case 3: client.GetSessionDate(); break;
      case 4: client.GetSessionTime(); break;
      case 5: client.GetFullPriceChannelData(u"IBM", 500); break;
      case 6: client.GetPriceChannelDataUpdates(u"IBM", u"2026-12-08 09:30:00"); break;
      case 7: client.GetPreviousSessionsLastAverageVantrelPrice(u"IBM"); break;
      case 8: client.GetPreviousSessionsHighPrice(u"IBM"); break;
      case 9: client.GetPreviousSessionsLowPrice(u"IBM"); break;
      case 10: client.GetPreviousSessionsClosingPrice(u"IBM"); break;
      case 11: client.GetPreviousSessionsSupportAndResistancePrices(u"IBM"); break;
      default: Fail("bad request type");
    }
  } catch (const Failure& failure) {
    return failure.Number();
  }
  return 0;
}

ObservedEvent CallResult(const std::string& method, int32_t number) {
  ObservedEvent event;
  event.name = "Call:" + method;
  event.number = number;
  return event;
}

int32_t Outcome(const std::function<void()>& call) {
  try {
    call();
  } catch (const Failure& failure) {
    return failure.Number();
  }
  return 0;
}

class Host final : public ChartServiceEvents {
 public:
  Host(uint16_t reissue_mask, bool keep_record_sets, int argument_swap)
      : reissue_mask_(reissue_mask), keep_(keep_record_sets), swap_(argument_swap) {}

  ChartServiceClient* client = nullptr;
  std::vector<ObservedEvent> seen;
  struct Kept {
    std::shared_ptr<RecordSet> set;
    std::vector<ObservedRow> rows;
  };
  std::vector<Kept> kept;

  FakeSocket* socket = nullptr;
  // The host disconnects from inside the next event it receives.
  bool armed = false;
  // Arrivals the host pumps from inside events, the next event takes the first.
  std::deque<Op> nested;
  int depth = 0;  // handlers running

  void Error(int32_t ErrorID, const Text& ErrorDescription) override { Add("Error", ErrorID, ErrorDescription); }
  void Connected() override { Add("Connected"); }
  void Disconnected(const Text& strReason) override { Add("Disconnected", 0, strReason); }
  void ConnectionFailed() override { Add("ConnectionFailed"); }
  void LoggedIn() override { Add("LoggedIn"); }
  void LoginFailed(int32_t ErrorID, const Text& ErrorDescription) override {
    Add("LoginFailed", ErrorID, ErrorDescription);
  }
  void GotDebugMessage(const Text& DebugMessage) override { Add("GotDebugMessage", 0, DebugMessage); }
  void GotSessionDateTime(const Text& CurrentSessionDateTime) override {
    Add("GotSessionDateTime", 0, CurrentSessionDateTime, 2);
  }
  void GotSessionDate(const Text& CurrentSessionDate) override { Add("GotSessionDate", 0, CurrentSessionDate, 3); }
  void GotSessionTime(const Text& CurrentSessionTime) override { Add("GotSessionTime", 0, CurrentSessionTime, 4); }
  void Timeout(int32_t CommandType) override { Add("Timeout", CommandType); }
  void GotFullVantrelData(ObjectRef& PriceChannelData) override { Rows("GotFullVantrelData", PriceChannelData, 5); }
  void GotVantrelDataUpdates(ObjectRef& PriceChannelData) override {
    Rows("GotVantrelDataUpdates", PriceChannelData, 6);
  }
  void GotPreviousSessionsSupportAndResistancePrices(float PreviousSessionsLastAverageVantrelPrice,
                                                     float PreviousSessionsHighPrice, float PreviousSessionsLowPrice,
                                                     float PreviousSessionsClosingPrice) override {
    Prices("GotPreviousSessionsSupportAndResistancePrices",
           {BitsOf(PreviousSessionsLastAverageVantrelPrice), BitsOf(PreviousSessionsHighPrice),
            BitsOf(PreviousSessionsLowPrice), BitsOf(PreviousSessionsClosingPrice)},
           11);
  }
  void GotPreviousSessionsLastAverageVantrelPrice(float PreviousSessionsLastAverageVantrelPrice) override {
    Prices("GotPreviousSessionsLastAverageVantrelPrice", {BitsOf(PreviousSessionsLastAverageVantrelPrice)}, 7);
  }
  void GotPreviousSessionsHighPrice(float PreviousSessionsHighPrice) override {
    Prices("GotPreviousSessionsHighPrice", {BitsOf(PreviousSessionsHighPrice)}, 8);
  }
  void GotPreviousSessionsLowPrice(float PreviousSessionsLowPrice) override {
    Prices("GotPreviousSessionsLowPrice", {BitsOf(PreviousSessionsLowPrice)}, 9);
  }
  void GotPreviousSessionsClosingPrice(float PreviousSessionsClosingPrice) override {
    Prices("GotPreviousSessionsClosingPrice", {BitsOf(PreviousSessionsClosingPrice)}, 10);
  }

 private:
  void Add(const char* name, int32_t number = 0, const Text& text = {}, int type = 0) {
    ObservedEvent event;
    event.name = name;
    event.number = number;
    event.text = text;
    event.depth = depth;
    seen.push_back(event);
    React(type);
    // Whatever the handler did, its text argument stays as it was handed in.
    if (text != event.text) Fail(std::string("the text argument of ") + name + " changed inside its handler");
  }
  void Prices(const char* name, std::vector<uint32_t> bits, int type) {
    ObservedEvent event;
    event.name = name;
    event.price_bits = std::move(bits);
    event.depth = depth;
    seen.push_back(std::move(event));
    React(type);
  }
  void Rows(const char* name, ObjectRef& argument, int type) {
    ObservedEvent event;
    event.name = name;
    auto set = std::dynamic_pointer_cast<RecordSet>(argument);
    std::string problem;
    if (!set) {
      problem = "no record set in the argument";
    } else {
      event.rows = ReadBack(*set, true, problem);
      if (keep_) kept.push_back({set, event.rows});
    }
    event.depth = depth;
    seen.push_back(std::move(event));
    if (!problem.empty()) Fail("record set read side: " + problem);
    React(type);
    switch (swap_) {
      case 1: argument.reset(); break;
      case 2: argument = std::make_shared<ForeignObject>(); break;
      case 3: argument = std::make_shared<MemoryTable>(); break;
      default: break;
    }
  }
  struct ForeignObject final : HostObject {};
  // What the host does inside the event: ask again for the answer's kind of
  // data, pump a nested arrival (and the peer's close behind it), then
  // disconnect, each if told to.
  void React(int type) {
    ++depth;
    const bool disconnect = armed;
    armed = false;
    if (type > 0 && (reissue_mask_ >> type & 1) != 0) {
      seen.push_back(CallResult(RequestName(type), CallRequest(*client, type)));
      seen.back().depth = depth;
    }
    if (!nested.empty()) {
      const Op pumped = std::move(nested.front());
      nested.pop_front();
      socket->Arrive(pumped.bytes);
      // The nested loop took every byte, so the close comes after them all.
      if (pumped.arg == 1 && socket->State() != kSocketClosed) socket->FirePeerClose();
    }
    if (disconnect) {
      seen.push_back(CallResult("Disconnect", Outcome([this] { client->Disconnect(); })));
      seen.back().depth = depth;
    }
    --depth;
  }

  uint16_t reissue_mask_;
  bool keep_;
  int swap_;
};

// Pending flags by message type, in the control's own order of kinds.
constexpr Pending kKindOfType[12] = {
    Pending::Connect,
    Pending::Login,
    Pending::SessionDateTime,
    Pending::SessionDate,
    Pending::SessionTime,
    Pending::FullDataRequest,
    Pending::DataUpdates,
    Pending::PreviousSessionsLastAverageVantrelPrice,
    Pending::PreviousSessionsHighPrice,
    Pending::PreviousSessionsLowPrice,
    Pending::PreviousSessionsClosingPrice,
    Pending::PreviousSessionsSupportAndResistancePrices,
};

void Run(const Script& script) {
  g_script = &script;
  g_step = 0;
  auto socket = std::make_shared<FakeSocket>();
  std::shared_ptr<FakeTimer> timers[3] = {std::make_shared<FakeTimer>("tmrLoginAndConnectTimeout"),
                                          std::make_shared<FakeTimer>("tmrDataRequestTimeout"),
                                          std::make_shared<FakeTimer>("tmrSessionInfoTimeout")};
  Components components;
  auto counting = std::make_unique<CountingSocket>(FakeSocket::Share(socket));
  CountingSocket& counter = *counting;
  components.winsock1 = std::move(counting);
  components.tmr_login_and_connect_timeout = FakeTimer::Share(timers[0]);
  components.tmr_data_request_timeout = FakeTimer::Share(timers[1]);
  components.tmr_session_info_timeout = FakeTimer::Share(timers[2]);
  components.record_sets = std::make_shared<MemoryTableFactory>();
  components.text = std::make_shared<Windows1252Conversion>();
  auto client = ChartServiceClient::Create(std::move(components));
  auto host = std::make_shared<Host>(script.reissue_mask, script.keep_record_sets, script.argument_swap);
  host->client = client.get();
  host->socket = socket.get();
  client->SetEvents(host);

  const Text kServer = u"chart.example.test";
  client->Connect(kServer, 4100);
  socket->FireConnect();
  Require(host->seen.size() == 1 && host->seen[0].name == "Connected", "no Connected event");
  host->seen.clear();
  ReferenceModel model(script.reissue_mask, script.argument_swap);
  model.StartConnected();

  for (g_step = 0; g_step < script.ops.size(); ++g_step) {
    const Op& op = script.ops[g_step];
    counter.closes.clear();
    switch (op.kind) {
      case OpKind::Arrive: socket->Arrive(op.bytes); break;
      case OpKind::ArmNestedArrival: host->nested.push_back(op); break;
      case OpKind::Tick: timers[op.arg]->Tick(); break;
      case OpKind::Request: host->seen.push_back(CallResult(RequestName(op.arg), CallRequest(*client, op.arg))); break;
      case OpKind::Login:
        host->seen.push_back(CallResult("Login", Outcome([&] { client->Login(Text(36, u'U'), Text(36, u'P'), u""); })));
        break;
      case OpKind::Disconnect:
        host->seen.push_back(CallResult("Disconnect", Outcome([&] { client->Disconnect(); })));
        break;
      case OpKind::ArmDisconnect: host->armed = true; break;
      case OpKind::Reconnect: {
        const int32_t outcome = Outcome([&] { client->Connect(kServer, 4100); });
        host->seen.push_back(CallResult("Connect", outcome));
        if (outcome == 0) socket->FireConnect();
        break;
      }
    }
    const std::vector<ObservedEvent> expected = model.Apply(op);
    if (g_trace) {
      std::fprintf(stderr, "%zu %s\n", g_step, Describe(op).c_str());
      for (const auto& e : host->seen) std::fprintf(stderr, "    %s\n", Describe(e).c_str());
    }
    if (host->seen != expected) Fail("events differ", &expected, &host->seen);
    host->seen.clear();

    // A reset closes the socket exactly where the model ends the stream: a
    // frame announcing too much is never read past its header.
    Require(counter.closes == model.closes, "socket closes differ from the model's");
    Require(counter.taken == model.consumed, "bytes taken from the socket differ from the model's");
    Require(socket->BytesReceived() == 0, "bytes left waiting after a notification");
    Require(socket->State() == (model.connected ? kSocketConnected : kSocketClosed), "socket state");
    Require(client->Connected() == model.connected, "Connected()");
    Require(client->LoggedIn() == model.logged_in, "LoggedIn()");

    const ClientState& state = client->State();
    Require(!state[Pending::Connect], "ConnectPending left set");
    for (int type = 1; type <= 11; ++type) {
      Require(state[kKindOfType[type]] == model.pending[static_cast<size_t>(type)],
              "pending flag of type " + std::to_string(type));
    }
    const ReceiveProgress& receiving = client->Receiving();
    Require(static_cast<int32_t>(receiving.ReceiveState) == model.receive_state, "ReceiveState");
    Require(receiving.HeaderBytesReceived == model.header_count, "HeaderBytesReceived");
    Require(receiving.PayloadLength == model.payload_length, "PayloadLength");
    Require(receiving.PayloadBytesReceived == model.payload_count, "PayloadBytesReceived");
    Require(receiving.PayloadBuffer.size() <= 100001, "payload buffer above the limit");
    for (size_t t = 0; t < 3; ++t) {
      Require(timers[t]->Enabled() == model.timer_on[t], "timer " + std::to_string(t) + " enabled");
    }
  }

  // Kept record sets must still hold their own rows, whatever came after,
  // and outlive the control and its record-set factory.
  client->SetEvents(nullptr);
  host->client = nullptr;
  client.reset();
  for (Host::Kept& kept : host->kept) {
    std::string problem;
    const auto rows = ReadBack(*kept.set, false, problem);
    Require(problem.empty(), "kept record set: " + problem);
    Require(rows == kept.rows, "a kept record set changed after its event");
  }
  g_script = nullptr;
}

}  // namespace
}  // namespace moravex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  moravex::fuzz::Run(moravex::fuzz::ParseScript(data, size));
  return 0;
}
