// "!sim ..." debug messages: fault switches changed at run time for one connection.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/simulator/faults.h"

namespace moravex::sim {

inline constexpr std::string_view kSimCommandPrefix = "!sim ";

// The command after the prefix, when `debug_text` is one.
std::optional<std::string_view> SimCommandOf(std::string_view debug_text);

// Runs "OPTION [VALUE]" (the fault switches without dashes, the value being the rest of the line) or "reset" against
// the connection's faults, and returns the reply text: "!sim ok" or "!sim error: ...".
std::string RunSimCommand(std::string_view command, FaultConfig& connection_faults, const FaultConfig& defaults);

}  // namespace moravex::sim
