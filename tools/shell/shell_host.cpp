#include "tools/shell/shell_host.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "tools/shell/json_output.h"

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

}  // namespace

ShellHost::ShellHost(ShellDriver& driver, Output output) : driver_(driver), output_(std::move(output)) {
  driver_.SetEventHandler(
      [this](std::string_view event, const std::vector<EventArgument>& args) { OnEvent(event, args); });
}

ShellHost::~ShellHost() { driver_.SetEventHandler(nullptr); }

void ShellHost::Run(ShellInput& input) {
  while (!quit_requested_) {
    if (!input.lines.empty()) {
      const std::string line = std::move(input.lines.front());
      input.lines.pop_front();
      if (!Execute(line)) break;
      continue;
    }
    if (input.ended) break;
    driver_.Pump(1000, [&] { return !input.lines.empty() || input.ended || quit_requested_; });
  }
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
    driver_.New();
    return true;
  }
  if (verb == "get" || verb == "set") {
    if (rest.empty()) return ShellError(verb + " needs a property name"), true;
    const ControlMethod* property = FindProperty(verb, rest[0].raw);
    if (property == nullptr) return ShellError("unknown property " + rest[0].raw), true;
    RunControlCommand(*property, {rest.begin() + 1, rest.end()});
    return true;
  }
  if (verb == "wait" || verb == "until") {
    if (handler_depth_ > 0) return ShellError(verb + " cannot run inside an event handler"), true;
    if (verb == "wait") {
      if (rest.size() != 1 || rest[0].kind != Token::kInteger || rest[0].integer < 0) {
        return ShellError("wait takes a number of milliseconds"), true;
      }
      PumpFor(rest[0].integer, [] { return false; });
      return true;
    }
    if (rest.empty() || rest.size() > 2 || !IsEventName(rest[0].raw) ||
        (rest.size() == 2 && (rest[1].kind != Token::kInteger || rest[1].integer < 0))) {
      return ShellError("until takes an event name and an optional number of milliseconds"), true;
    }
    const std::string event = rest[0].raw;
    const long long start = fired_[event];
    const bool ok = PumpFor(rest.size() == 2 ? rest[1].integer : 10000, [&] { return fired_[event] > start; });
    output_(JsonObject().Str("until", event).Raw("ok", ok ? "true" : "false").Done());
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
  RunControlCommand(*method, rest);
  return true;
}

void ShellHost::RunControlCommand(const ControlMethod& method, const std::vector<Token>& args) {
  if (args.size() != method.args.size()) {
    ShellError(method.label + " takes " + std::to_string(method.args.size()) + " argument(s)");
    return;
  }
  std::vector<CallArgument> values;
  for (size_t i = 0; i < args.size(); ++i) {
    if (method.args[i] == ArgKind::kText) {
      values.emplace_back(args[i].text);
    } else if (args[i].kind == Token::kInteger && args[i].integer >= std::numeric_limits<int32_t>::min() &&
               args[i].integer <= std::numeric_limits<int32_t>::max()) {
      values.emplace_back(static_cast<int32_t>(args[i].integer));
    } else {
      ShellError("argument " + std::to_string(i + 1) + " of " + method.label + " must be a 32-bit integer");
      return;
    }
  }
  output_(CallLine(method.label, driver_.Call(method.name, method.kind, values)));
}

bool ShellHost::PumpFor(long long milliseconds, const std::function<bool()>& done) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  // A limit past the clock's range waits "for ever" instead of overflowing.
  const auto headroom = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - start);
  const Clock::time_point deadline =
      milliseconds < headroom.count() ? start + std::chrono::milliseconds(milliseconds) : Clock::time_point::max();
  // The driver takes at most a Long of milliseconds at a time.
  constexpr long long kMaxSlice = std::numeric_limits<int32_t>::max();
  do {
    const long long left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (driver_.Pump(static_cast<int32_t>(std::clamp(left, 0LL, kMaxSlice)), done)) return true;
  } while (Clock::now() < deadline);
  return false;
}

void ShellHost::OnEvent(std::string_view event, const std::vector<EventArgument>& args) {
  output_(EventLine(event, args));
  ++fired_[std::string(event)];
  auto found = hooks_.find(event);
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

}  // namespace moravex::shell
