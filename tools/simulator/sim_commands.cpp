#include "tools/simulator/sim_commands.h"

namespace moravex::sim {
namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::optional<std::string_view> SimCommandOf(std::string_view debug_text) {
  if (debug_text.substr(0, kSimCommandPrefix.size()) != kSimCommandPrefix) return std::nullopt;
  return debug_text.substr(kSimCommandPrefix.size());
}

std::string RunSimCommand(std::string_view command, FaultConfig& connection_faults, const FaultConfig& defaults) {
  command = Trim(command);
  const auto blank = command.find(' ');
  std::string_view name = command.substr(0, blank);
  const std::string_view value = blank == std::string_view::npos ? std::string_view{} : Trim(command.substr(blank));
  if (name.substr(0, 2) == "--") name.remove_prefix(2);
  if (name == "reset" && value.empty()) {
    connection_faults = defaults;
    return "!sim ok";
  }
  if (!IsFaultOption(name)) return "!sim error: unknown command '" + std::string(name) + "'";
  if (FaultOptionTakesValue(name) == value.empty()) {
    return "!sim error: " + std::string(name) + (value.empty() ? " needs a value" : " takes no value");
  }
  // Apply to a copy so that a bad value leaves the connection as it was.
  FaultConfig changed = connection_faults;
  const std::string error = ApplyFaultOption(changed, name, value);
  if (!error.empty()) return "!sim error: " + error;
  connection_faults = changed;
  return "!sim ok";
}

}  // namespace moravex::sim
