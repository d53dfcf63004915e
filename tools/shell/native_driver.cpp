#include "tools/shell/native_driver.h"

#include <algorithm>
#include <chrono>

#include "client/chart_service_client.h"
#include "posix/posix_components.h"

namespace moravex::shell {
namespace {

// What IDispatch::Invoke answers for a name or arguments the interface does not have.
constexpr int32_t kUnknownName = static_cast<int32_t>(0x80020006u);
constexpr int32_t kArgumentMismatch = static_cast<int32_t>(0x80020005u);

struct ArgumentMismatch {};

using C = ChartServiceClient;
using Args = const std::vector<CallArgument>&;

const Text& T(Args a, size_t i) {
  if (const auto* text = std::get_if<std::u16string>(&a.at(i))) return *text;
  throw ArgumentMismatch{};
}
int32_t L(Args a, size_t i) {
  if (const auto* value = std::get_if<int32_t>(&a.at(i))) return *value;
  throw ArgumentMismatch{};
}

struct Member {
  const char* name;
  CallKind kind;
  size_t arity;
  CallResult (*call)(C&, Args);
};

constexpr CallKind M = CallKind::kMethod;
constexpr CallKind G = CallKind::kPropertyGet;
constexpr CallKind P = CallKind::kPropertyPut;
constexpr std::monostate kNull;

constexpr Member kMembers[] = {
    {"Connect", M, 2, [](C& c, Args a) -> CallResult { return c.Connect(T(a, 0), L(a, 1)), kNull; }},
    {"Connected", M, 0, [](C& c, Args) -> CallResult { return c.Connected(); }},
    {"LoggedIn", M, 0, [](C& c, Args) -> CallResult { return c.LoggedIn(); }},
    {"Disconnect", M, 0, [](C& c, Args) -> CallResult { return c.Disconnect(), kNull; }},
    {"Login", M, 3, [](C& c, Args a) -> CallResult { return c.Login(T(a, 0), T(a, 1), T(a, 2)), kNull; }},
    {"SendDebugMessage", M, 1, [](C& c, Args a) -> CallResult { return c.SendDebugMessage(T(a, 0)), kNull; }},
    {"GetPriceChannelDataUpdates", M, 2,
     [](C& c, Args a) -> CallResult { return c.GetPriceChannelDataUpdates(T(a, 0), T(a, 1)), kNull; }},
    {"GetFullPriceChannelData", M, 2,
     [](C& c, Args a) -> CallResult { return c.GetFullPriceChannelData(T(a, 0), L(a, 1)), kNull; }},
    {"GetSessionTime", M, 0, [](C& c, Args) -> CallResult { return c.GetSessionTime(), kNull; }},
    {"GetSessionDate", M, 0, [](C& c, Args) -> CallResult { return c.GetSessionDate(), kNull; }},
    {"GetSessionDateTime", M, 0, [](C& c, Args) -> CallResult { return c.GetSessionDateTime(), kNull; }},
    {"GetPreviousSessionsLastAverageVantrelPrice", M, 1,
     [](C& c, Args a) -> CallResult { return c.GetPreviousSessionsLastAverageVantrelPrice(T(a, 0)), kNull; }},
    {"GetPreviousSessionsHighPrice", M, 1,
     [](C& c, Args a) -> CallResult { return c.GetPreviousSessionsHighPrice(T(a, 0)), kNull; }},
    {"GetPreviousSessionsLowPrice", M, 1,
     [](C& c, Args a) -> CallResult { return c.GetPreviousSessionsLowPrice(T(a, 0)), kNull; }},
    {"GetPreviousSessionsClosingPrice", M, 1,
     [](C& c, Args a) -> CallResult { return c.GetPreviousSessionsClosingPrice(T(a, 0)), kNull; }},
    {"GetPreviousSessionsSupportAndResistancePrices", M, 1,
     [](C& c, Args a) -> CallResult { return c.GetPreviousSessionsSupportAndResistancePrices(T(a, 0)), kNull; }},
    {"LoginAndConnectTimeout", G, 0, [](C& c, Args) -> CallResult { return c.LoginAndConnectTimeout(); }},
    {"LoginAndConnectTimeout", P, 1,
     [](C& c, Args a) -> CallResult { return c.SetLoginAndConnectTimeout(L(a, 0)), kNull; }},
    {"DataRequestTimeout", G, 0, [](C& c, Args) -> CallResult { return c.DataRequestTimeout(); }},
    {"DataRequestTimeout", P, 1, [](C& c, Args a) -> CallResult { return c.SetDataRequestTimeout(L(a, 0)), kNull; }},
    {"SessionInfoTimeout", G, 0, [](C& c, Args) -> CallResult { return c.SessionInfoTimeout(); }},
    {"SessionInfoTimeout", P, 1, [](C& c, Args a) -> CallResult { return c.SetSessionInfoTimeout(L(a, 0)), kNull; }},
};

// Rows are read from the cursor to the end, as a host walks the set.
EventValue ReadTable(const ObjectRef& object) {
  auto* set = dynamic_cast<RecordSet*>(object.get());
  if (set == nullptr) return std::monostate{};
  try {
    PriceTable table;
    table.record_count = set->RecordCount();
    for (int32_t i = 0; i < set->FieldCount(); ++i) table.fields.emplace_back(set->Field(i).name);
    for (; !set->Eof(); set->MoveNext()) {
      const PriceChannelRow row = set->Row();
      table.rows.push_back({std::u16string(row.Time.begin(), row.Time.end()),
                            {row.BuyReferencePrice, row.SellReferencePrice, row.Price, row.PriceOffsetPercent}});
    }
    return table;
  } catch (const Failure&) {
    return std::monostate{};
  }
}

}  // namespace

// Turns the control's events into named arguments for the shell.
class NativeDriver::Sink final : public ChartServiceEvents {
 public:
  EventHandler handler;

  void Error(int32_t ErrorID, const Text& ErrorDescription) override {
    Fire("Error", {{"ErrorID", ErrorID}, {"ErrorDescription", ErrorDescription}});
  }
  void Connected() override { Fire("Connected", {}); }
  void Disconnected(const Text& strReason) override { Fire("Disconnected", {{"strReason", strReason}}); }
  void ConnectionFailed() override { Fire("ConnectionFailed", {}); }
  void LoggedIn() override { Fire("LoggedIn", {}); }
  void LoginFailed(int32_t ErrorID, const Text& ErrorDescription) override {
    Fire("LoginFailed", {{"ErrorID", ErrorID}, {"ErrorDescription", ErrorDescription}});
  }
  void GotDebugMessage(const Text& DebugMessage) override { Fire("GotDebugMessage", {{"DebugMessage", DebugMessage}}); }
  void GotSessionDateTime(const Text& CurrentSessionDateTime) override {
    Fire("GotSessionDateTime", {{"CurrentSessionDateTime", CurrentSessionDateTime}});
  }
  void GotSessionDate(const Text& CurrentSessionDate) override {
    Fire("GotSessionDate", {{"CurrentSessionDate", CurrentSessionDate}});
  }
  void GotSessionTime(const Text& CurrentSessionTime) override {
    Fire("GotSessionTime", {{"CurrentSessionTime", CurrentSessionTime}});
  }
  void Timeout(int32_t CommandType) override { Fire("Timeout", {{"CommandType", CommandType}}); }
  void GotFullVantrelData(ObjectRef& PriceChannelData) override {
    Fire("GotFullVantrelData", {{"PriceChannelData", ReadTable(PriceChannelData)}});
  }
  void GotVantrelDataUpdates(ObjectRef& PriceChannelData) override {
    Fire("GotVantrelDataUpdates", {{"PriceChannelData", ReadTable(PriceChannelData)}});
  }
  void GotPreviousSessionsSupportAndResistancePrices(float PreviousSessionsLastAverageVantrelPrice,
                                                     float PreviousSessionsHighPrice, float PreviousSessionsLowPrice,
                                                     float PreviousSessionsClosingPrice) override {
    Fire("GotPreviousSessionsSupportAndResistancePrices",
         {{"PreviousSessionsLastAverageVantrelPrice", PreviousSessionsLastAverageVantrelPrice},
          {"PreviousSessionsHighPrice", PreviousSessionsHighPrice},
          {"PreviousSessionsLowPrice", PreviousSessionsLowPrice},
          {"PreviousSessionsClosingPrice", PreviousSessionsClosingPrice}});
  }
  void GotPreviousSessionsLastAverageVantrelPrice(float PreviousSessionsLastAverageVantrelPrice) override {
    Fire("GotPreviousSessionsLastAverageVantrelPrice",
         {{"PreviousSessionsLastAverageVantrelPrice", PreviousSessionsLastAverageVantrelPrice}});
  }
  void GotPreviousSessionsHighPrice(float PreviousSessionsHighPrice) override {
    Fire("GotPreviousSessionsHighPrice", {{"PreviousSessionsHighPrice", PreviousSessionsHighPrice}});
  }
  void GotPreviousSessionsLowPrice(float PreviousSessionsLowPrice) override {
    Fire("GotPreviousSessionsLowPrice", {{"PreviousSessionsLowPrice", PreviousSessionsLowPrice}});
  }
  void GotPreviousSessionsClosingPrice(float PreviousSessionsClosingPrice) override {
    Fire("GotPreviousSessionsClosingPrice", {{"PreviousSessionsClosingPrice", PreviousSessionsClosingPrice}});
  }

 private:
  void Fire(std::string_view event, const std::vector<EventArgument>& args) const {
    // A copy: the handler may replace itself.
    const EventHandler current = handler;
    if (current) current(event, args);
  }
};

NativeDriver::NativeDriver(EventLoop& loop) : loop_(loop), sink_(std::make_shared<Sink>()) { New(); }

NativeDriver::~NativeDriver() {
  if (control_) control_->SetEvents(nullptr);
}

void NativeDriver::SetEventHandler(EventHandler handler) { sink_->handler = std::move(handler); }

CallResult NativeDriver::Call(std::string_view name, CallKind kind, const std::vector<CallArgument>& args) {
  const auto member = std::find_if(std::begin(kMembers), std::end(kMembers),
                                   [&](const Member& m) { return m.name == name && m.kind == kind; });
  if (member == std::end(kMembers)) return CallError{kUnknownName, {}, "Unknown name."};
  // Keep the control alive through the call even if something replaces it.
  const auto control = control_;
  try {
    if (args.size() != member->arity) throw ArgumentMismatch{};
    return member->call(*control, args);
  } catch (const ArgumentMismatch&) {
    return CallError{kArgumentMismatch, {}, "Type mismatch."};
  } catch (const Failure& failure) {
    return CallError{failure.Number(), failure.Source(), failure.Description()};
  }
}

bool NativeDriver::Pump(int32_t milliseconds, const std::function<bool()>& done) {
  return loop_.RunUntil(done, std::chrono::milliseconds(std::max(milliseconds, 0)));
}

void NativeDriver::New() {
  // Detach the old control first: it may still be finishing the notification
  // that ran this command, and must not fire into the new one's stream.
  if (control_) control_->SetEvents(nullptr);
  control_ = ChartServiceClient::Create(MakePosixComponents(loop_, ChartServiceClient::kSocketReadSize));
  control_->SetEvents(sink_);
}

}  // namespace moravex::shell
