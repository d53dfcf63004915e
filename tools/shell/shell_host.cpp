#include "shell_host.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "control_methods.h"
#include "json_output.h"
#include "posix/posix_components.h"

namespace moravex::shell {
namespace {

constexpr const char* kEventNames[] = {
    "Error",
    "Connected",
    "Disconnected",
    "ConnectionFailed",
    "LoggedIn",
    "LoginFailed",
    "GotDebugMessage",
    "GotSessionDateTime",
    "GotSessionDate",
    "GotSessionTime",
    "Timeout",
    "GotFullVantrelData",
    "GotVantrelDataUpdates",
    "GotPreviousSessionsSupportAndResistancePrices",
    "GotPreviousSessionsLastAverageVantrelPrice",
    "GotPreviousSessionsHighPrice",
    "GotPreviousSessionsLowPrice",
    "GotPreviousSessionsClosingPrice",
};

bool IsEventName(const std::string& name) {
  return std::any_of(std::begin(kEventNames), std::end(kEventNames), [&](const char* e) { return name == e; });
}

JsonObject Event(const char* name) { return std::move(JsonObject().Str("event", name)); }

// Rows are read from the cursor to the end, as a host walks the set.
std::string RecordSetJson(const ObjectRef& object) {
  auto* table = dynamic_cast<RecordSet*>(object.get());
  if (table == nullptr) return "null";
  std::string fields = "[";
  for (int32_t i = 0; i < table->FieldCount(); ++i) {
    if (fields.size() > 1) fields += ',';
    fields += JsonString(Text(table->Field(i).name));
  }
  fields += ']';
  std::string rows = "[";
  for (; !table->Eof(); table->MoveNext()) {
    if (rows.size() > 1) rows += ',';
    const PriceChannelRow row = table->Row();
    rows += '[' + JsonString(Text(row.Time.begin(), row.Time.end()));
    for (float price : {row.BuyReferencePrice, row.SellReferencePrice, row.Price, row.PriceOffsetPercent}) {
      rows += ',' + JsonSingle(price);
    }
    rows += ']';
  }
  rows += ']';
  return JsonObject().Int("RecordCount", table->RecordCount()).Raw("Fields", fields).Raw("Rows", rows).Done();
}

}  // namespace

ShellHost::ShellHost(EventLoop& loop, Output output) : loop_(loop), output_(std::move(output)) { NewControl(); }

ShellHost::~ShellHost() {
  if (control_) control_->SetEvents(nullptr);
}

void ShellHost::NewControl() {
  // Detach the old control first: it may still be finishing the notification
  // that ran this command, and must not fire into the new one's stream.
  if (control_) control_->SetEvents(nullptr);
  control_ = ChartServiceClient::Create(MakePosixComponents(loop_));
  // The shell outlives every control it makes: a non-owning sink.
  control_->SetEvents(std::shared_ptr<ChartServiceEvents>(std::shared_ptr<void>(), this));
}

void ShellHost::ShellError(const std::string& what) { output_(JsonObject().Str("shell-error", what).Done()); }

bool ShellHost::Execute(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string_view::npos || line[first] == '#') return true;
  const Tokenized parsed = Tokenize(line);
  if (!parsed.error.empty()) {
    ShellError(parsed.error);
    return true;
  }
  const auto& tokens = parsed.tokens;
  const std::string& verb = tokens[0].raw;
  const std::vector<Token> rest(tokens.begin() + 1, tokens.end());

  if (verb == "quit") return false;
  if (verb == "new") {
    if (!rest.empty()) return ShellError("new takes no arguments"), true;
    NewControl();
    return true;
  }
  if (verb == "get" || verb == "set") {
    if (rest.empty()) return ShellError(verb + " needs a property name"), true;
    const ControlMethod* property = FindProperty(verb, rest[0].raw);
    if (property == nullptr) return ShellError("unknown property " + rest[0].raw), true;
    return RunControlCommand(*property, {rest.begin() + 1, rest.end()});
  }
  if (verb == "wait" || verb == "until") {
    if (handler_depth_ > 0) return ShellError(verb + " cannot run inside an event handler"), true;
    if (verb == "wait") {
      if (rest.size() != 1 || rest[0].kind != Token::kInteger || rest[0].integer < 0) {
        return ShellError("wait takes a number of milliseconds"), true;
      }
      WaitFor(rest[0].integer, [] { return false; }, {});
      return true;
    }
    if (rest.empty() || rest.size() > 2 || !IsEventName(rest[0].raw) ||
        (rest.size() == 2 && (rest[1].kind != Token::kInteger || rest[1].integer < 0))) {
      return ShellError("until takes an event name and an optional number of milliseconds"), true;
    }
    const std::string event = rest[0].raw;
    const long long start = fired_[event];
    WaitFor(rest.size() == 2 ? rest[1].integer : 10000, [&] { return fired_[event] > start; }, event);
    return true;
  }
  if (verb == "on" || verb == "once") {
    if (rest.size() < 2 || !IsEventName(rest[0].raw)) {
      return ShellError(verb + " takes an event name and a command"), true;
    }
    auto& hooks = hooks_[rest[0].raw];
    (verb == "on" ? hooks.every : hooks.next).emplace_back(RestOfLine(line, 2));
    return true;
  }
  if (verb == "off") {
    if (rest.size() != 1 || !IsEventName(rest[0].raw)) return ShellError("off takes an event name"), true;
    hooks_.erase(rest[0].raw);
    return true;
  }
  const ControlMethod* method = FindMethod(verb);
  if (method == nullptr) return ShellError("unknown command " + verb), true;
  return RunControlCommand(*method, rest);
}

bool ShellHost::RunControlCommand(const ControlMethod& method, const std::vector<Token>& args) {
  const std::string call_name = method.name;
  if (args.size() != method.args.size()) {
    ShellError(call_name + " takes " + std::to_string(method.args.size()) + " argument(s)");
    return true;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    if (method.args[i] == ArgKind::kLong &&
        (args[i].kind != Token::kInteger || args[i].integer < std::numeric_limits<int32_t>::min() ||
         args[i].integer > std::numeric_limits<int32_t>::max())) {
      ShellError("argument " + std::to_string(i + 1) + " of " + call_name + " must be a 32-bit integer");
      return true;
    }
  }
  // Keep the control alive through the call even if a nested command replaces it.
  const auto control = control_;
  try {
    const std::string result = method.call(*control, args);
    output_(JsonObject().Str("call", call_name).Raw("result", result).Done());
  } catch (const Failure& failure) {
    const std::string error = JsonObject()
                                  .Int("number", failure.Number())
                                  .Str("source", failure.Source())
                                  .Str("description", failure.Description())
                                  .Done();
    output_(JsonObject().Str("call", call_name).Raw("error", error).Done());
  }
  return true;
}

void ShellHost::WaitFor(long long milliseconds, const std::function<bool()>& done, const std::string& event) {
  const bool ok = loop_.RunUntil(done, std::chrono::milliseconds(milliseconds));
  if (!event.empty()) output_(JsonObject().Str("until", event).Raw("ok", ok ? "true" : "false").Done());
}

void ShellHost::Emit(const char* name, const std::string& line) {
  output_(line);
  ++fired_[name];
  auto found = hooks_.find(name);
  if (found == hooks_.end()) return;
  std::vector<std::string> commands = found->second.every;
  for (auto& once : found->second.next) commands.push_back(std::move(once));
  found->second.next.clear();
  ++handler_depth_;
  for (const std::string& command : commands) {
    if (!Execute(command)) quit_requested_ = true;
  }
  --handler_depth_;
}

void ShellHost::Error(int32_t ErrorID, const Text& ErrorDescription) {
  Emit("Error", Event("Error").Int("ErrorID", ErrorID).Str("ErrorDescription", ErrorDescription).Done());
}
void ShellHost::Connected() { Emit("Connected", Event("Connected").Done()); }
void ShellHost::Disconnected(const Text& strReason) {
  Emit("Disconnected", Event("Disconnected").Str("strReason", strReason).Done());
}
void ShellHost::ConnectionFailed() { Emit("ConnectionFailed", Event("ConnectionFailed").Done()); }
void ShellHost::LoggedIn() { Emit("LoggedIn", Event("LoggedIn").Done()); }
void ShellHost::LoginFailed(int32_t ErrorID, const Text& ErrorDescription) {
  Emit("LoginFailed", Event("LoginFailed").Int("ErrorID", ErrorID).Str("ErrorDescription", ErrorDescription).Done());
}
void ShellHost::GotDebugMessage(const Text& DebugMessage) {
  Emit("GotDebugMessage", Event("GotDebugMessage").Str("DebugMessage", DebugMessage).Done());
}
void ShellHost::GotSessionDateTime(const Text& CurrentSessionDateTime) {
  Emit("GotSessionDateTime",
       Event("GotSessionDateTime").Str("CurrentSessionDateTime", CurrentSessionDateTime).Done());
}
void ShellHost::GotSessionDate(const Text& CurrentSessionDate) {
  Emit("GotSessionDate", Event("GotSessionDate").Str("CurrentSessionDate", CurrentSessionDate).Done());
}
void ShellHost::GotSessionTime(const Text& CurrentSessionTime) {
  Emit("GotSessionTime", Event("GotSessionTime").Str("CurrentSessionTime", CurrentSessionTime).Done());
}
void ShellHost::Timeout(int32_t CommandType) {
  Emit("Timeout", Event("Timeout").Int("CommandType", CommandType).Done());
}
void ShellHost::GotFullVantrelData(ObjectRef& PriceChannelData) {
  Emit("GotFullVantrelData", Event("GotFullVantrelData").Raw("PriceChannelData", RecordSetJson(PriceChannelData)).Done());
}
void ShellHost::GotVantrelDataUpdates(ObjectRef& PriceChannelData) {
  Emit("GotVantrelDataUpdates",
       Event("GotVantrelDataUpdates").Raw("PriceChannelData", RecordSetJson(PriceChannelData)).Done());
}
void ShellHost::GotPreviousSessionsSupportAndResistancePrices(float PreviousSessionsLastAverageVantrelPrice,
                                                              float PreviousSessionsHighPrice,
                                                              float PreviousSessionsLowPrice,
                                                              float PreviousSessionsClosingPrice) {
  Emit("GotPreviousSessionsSupportAndResistancePrices",
       Event("GotPreviousSessionsSupportAndResistancePrices")
           .Single("PreviousSessionsLastAverageVantrelPrice", PreviousSessionsLastAverageVantrelPrice)
           .Single("PreviousSessionsHighPrice", PreviousSessionsHighPrice)
           .Single("PreviousSessionsLowPrice", PreviousSessionsLowPrice)
           .Single("PreviousSessionsClosingPrice", PreviousSessionsClosingPrice)
           .Done());
}
void ShellHost::GotPreviousSessionsLastAverageVantrelPrice(float PreviousSessionsLastAverageVantrelPrice) {
  Emit("GotPreviousSessionsLastAverageVantrelPrice",
       Event("GotPreviousSessionsLastAverageVantrelPrice")
           .Single("PreviousSessionsLastAverageVantrelPrice", PreviousSessionsLastAverageVantrelPrice)
           .Done());
}
void ShellHost::GotPreviousSessionsHighPrice(float PreviousSessionsHighPrice) {
  Emit("GotPreviousSessionsHighPrice",
       Event("GotPreviousSessionsHighPrice").Single("PreviousSessionsHighPrice", PreviousSessionsHighPrice).Done());
}
void ShellHost::GotPreviousSessionsLowPrice(float PreviousSessionsLowPrice) {
  Emit("GotPreviousSessionsLowPrice",
       Event("GotPreviousSessionsLowPrice").Single("PreviousSessionsLowPrice", PreviousSessionsLowPrice).Done());
}
void ShellHost::GotPreviousSessionsClosingPrice(float PreviousSessionsClosingPrice) {
  Emit("GotPreviousSessionsClosingPrice",
       Event("GotPreviousSessionsClosingPrice")
           .Single("PreviousSessionsClosingPrice", PreviousSessionsClosingPrice)
           .Done());
}

}  // namespace moravex::shell
